#include "frame_pacer.h"

#include <cerrno>

#include <time.h>

namespace platform {

std::int64_t FrameSchedule::next_deadline(std::int64_t now) {
    if (!started_) {
        started_ = true;
        start_ = now;
        frame_ = 0;
        return now;
    }
    const std::int64_t due = deadline(frame_ + 1);
    const std::int64_t period = NANOSECONDS_PER_SECOND / rate_;
    if (now > due + period) {
        // A stall (a slow frame, a dragged window): begin a new schedule from here.
        start_ = now;
        frame_ = 0;
        return now;
    }
    ++frame_;
    return due > now ? due : now;
}

std::int64_t monotonic_nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * NANOSECONDS_PER_SECOND + now.tv_nsec;
}

void wait_until(std::int64_t deadline) {
    // The scheduler may wake us late by a fraction of a millisecond; spin the last one.
    constexpr std::int64_t spin = 1200000;
    std::int64_t remaining = deadline - monotonic_nanoseconds();
    if (remaining > spin) {
        const std::int64_t sleep_for = remaining - spin;
        timespec pause{static_cast<time_t>(sleep_for / NANOSECONDS_PER_SECOND),
                       static_cast<long>(sleep_for % NANOSECONDS_PER_SECOND)};
        while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
        }
    }
    while (monotonic_nanoseconds() < deadline) {
    }
}

bool VsyncWatch::presented(std::int64_t now) {
    if (frames_ < 0) {
        frames_ = 0;
        window_start_ = now;
        return true;
    }
    if (++frames_ < window_) return true;
    const std::int64_t elapsed = now - window_start_;
    frames_ = 0;
    window_start_ = now;
    // At 60 Hz the window takes window/60 s; well under that (faster than ~80 Hz) means the
    // presents are not waiting for the display at the rate the game needs.
    return elapsed * 4 >= window_ * NANOSECONDS_PER_SECOND / rate_ * 3;
}

}  // namespace platform
