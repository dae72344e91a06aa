// Pictures and sounds that arrive after the game has started (late_assets.cpp).
#pragma once

#include <cstdint>

namespace web {

// The colour of every pixel of a late picture's stand-in (page/assets.js writes the same).
inline constexpr std::uint32_t STAND_IN_PIXEL = 0x004C565Au;
// The first and last bytes of a late sound's stand-in samples (assets.js writes the same): two
// 16-bit samples of 1 and -1, the rest silence.
inline constexpr std::uint8_t STAND_IN_SAMPLES[4] = {0x01, 0x00, 0xFF, 0xFF};

// Yields to the browser until every late picture has landed or will not.
void wait_for_late_pictures();

}  // namespace web
