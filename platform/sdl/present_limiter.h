// What holds the desktop's Present to the game's 60 frames a second: the monotonic clock, the
// precise wait, and the limiter that waits with them unless the display's retrace holds the pace.
// The schedule's arithmetic is common/frame_schedule.h, which the game's own limiter on Windows
// (src/gfx/present_limiter_win32) uses too.
#pragma once

#include <cstdint>

#include "common/frame_schedule.h"

namespace platform {

constexpr std::int64_t NANOSECONDS_PER_SECOND = 1000000000;

std::int64_t monotonic_nanoseconds();

// Sleeps until `deadline` on the monotonic clock (clock_nanosleep with an absolute time), never
// spinning; returns at once for a deadline already past.
void wait_until(std::int64_t deadline);

class PresentLimiter {
public:
    static constexpr std::int32_t FRAME_RATE = 60;

    // An unpaced limiter never waits: the headless runs and an immediate presentation interval.
    explicit PresentLimiter(bool paced) : paced_(paced) {}

    // Right before the frame is shown: waits until it is due, unless the retrace holds the pace.
    void before_show(bool vsync);
    // Right after: false when presents meant to wait for the retrace turned out not to (some
    // drivers accept vsync and then do not wait); the caller stops asking for it, and the
    // limiter takes over from here.
    bool after_show(bool vsync);

private:
    bool paced_;
    FrameSchedule schedule_{NANOSECONDS_PER_SECOND, FRAME_RATE};
    VsyncWatch vsync_watch_{NANOSECONDS_PER_SECOND, FRAME_RATE, 60};
};

}  // namespace platform
