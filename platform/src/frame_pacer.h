// The clock and the precise wait behind the frame limiter; the schedule itself is the game's
// own (gfx/frame_schedule.h), shared with the Windows build.
#pragma once

#include <cstdint>

namespace platform {

constexpr std::int64_t NANOSECONDS_PER_SECOND = 1000000000;

std::int64_t monotonic_nanoseconds();

// Sleeps most of the way to `deadline` and spins the last stretch, where a sleep could overshoot.
void wait_until(std::int64_t deadline);

}  // namespace platform
