#include "frame_pacer.h"

#include <cerrno>

#include <time.h>

namespace platform {

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

}  // namespace platform
