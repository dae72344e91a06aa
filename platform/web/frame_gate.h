// Which of the page's animation frames shows the next game frame. Animation frames come at
// the display's rate; the game must see 60 frames a second whatever that is. Pure arithmetic
// on microseconds, so it can be tried against any display's rate.
#pragma once

#include <cstdint>

#include "common/frame_schedule.h"

namespace web {

class FrameGate {
public:
    // A game frame is ready at `now`: from here on it waits for its animation frame.
    void frame_ready(int64_t now) { deadline_ = schedule_.next_deadline(now); }
    // Whether the animation frame stamped `time` shows it. On a 60 Hz display every one does;
    // on faster ones, the first that is no more than a few milliseconds early (a little early
    // is better than a whole display frame late).
    bool shows(int64_t time) const { return time >= deadline_ - EARLY_ENOUGH; }

    static constexpr int64_t MICROSECONDS_PER_SECOND = 1000000;
    static constexpr int64_t EARLY_ENOUGH = 4000;

private:
    FrameSchedule schedule_{MICROSECONDS_PER_SECOND, 60};
    int64_t deadline_ = 0;
};

}  // namespace web
