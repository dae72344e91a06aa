#include "present_limiter.h"

#include <cerrno>

#include <time.h>

namespace platform {

std::int64_t monotonic_nanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * NANOSECONDS_PER_SECOND + now.tv_nsec;
}

void wait_until(std::int64_t deadline) {
    // An absolute deadline on the same clock: a signal or an early wake-up just sleeps again to
    // the same instant, and no spinning is needed for precision.
    if (deadline <= 0) return;
    const timespec until{static_cast<time_t>(deadline / NANOSECONDS_PER_SECOND),
                         static_cast<long>(deadline % NANOSECONDS_PER_SECOND)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void PresentLimiter::before_show(bool vsync) {
    if (!paced_ || vsync) return;
    wait_until(schedule_.next_deadline(monotonic_nanoseconds()));
}

bool PresentLimiter::after_show(bool vsync) {
    if (!paced_ || !vsync) return true;
    if (vsync_watch_.presented(monotonic_nanoseconds())) return true;
    schedule_.restart();
    return false;
}

}  // namespace platform
