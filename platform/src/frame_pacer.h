// Holds the game at 60 frames per second where the display does not: every speed in the
// game is counted in frames, so the frame rate is the game's clock.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::int64_t NANOSECONDS_PER_SECOND = 1000000000;

// The schedule of frame deadlines. Deadlines are counted from a start time in whole frames,
// so rounding never accumulates; a frame that runs late is absorbed by the next deadlines
// until the game is more than a frame behind, when the schedule starts afresh from now
// instead of rushing frames out to catch up.
class FrameSchedule {
public:
    explicit FrameSchedule(std::int64_t frames_per_second) : rate_(frames_per_second) {}

    // Called once per frame, just before it is shown. Returns the time to wait until
    // (`now` itself when the frame is due already).
    std::int64_t next_deadline(std::int64_t now);

    void restart() { started_ = false; }

private:
    std::int64_t deadline(std::int64_t frame) const { return start_ + frame * NANOSECONDS_PER_SECOND / rate_; }

    std::int64_t rate_;
    bool started_ = false;
    std::int64_t start_ = 0;
    std::int64_t frame_ = 0;
};

std::int64_t monotonic_nanoseconds();

// Sleeps most of the way to `deadline` and spins the last stretch, where a sleep could overshoot.
void wait_until(std::int64_t deadline);

// Tells whether presents that should block on the display's vertical retrace really do.
// Fed with the time of every present; after each window of `window` frames it judges.
class VsyncWatch {
public:
    VsyncWatch(int window, std::int64_t frames_per_second) : window_(window), rate_(frames_per_second) {}

    // False once a whole window of presents came faster than the display could show them.
    bool presented(std::int64_t now);

private:
    int window_;
    std::int64_t rate_;
    int frames_ = -1;
    std::int64_t window_start_ = 0;
};

}  // namespace platform
