// The clock and the precise wait behind the frame limiter; the schedule itself is in
// common/frame_schedule.h, shared with the game's Windows build.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::int64_t NANOSECONDS_PER_SECOND = 1000000000;

std::int64_t monotonic_nanoseconds();

// Sleeps until `deadline` on the monotonic clock (clock_nanosleep with an absolute time), never
// spinning; returns at once for a deadline already past.
void wait_until(std::int64_t deadline);

}  // namespace platform
