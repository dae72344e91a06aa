// The title picture, shown behind "welcome to level N" and while the game is paused.
#pragma once

#include "assetgen/font.h"
#include "assetgen/image.h"

namespace assetgen {

constexpr int kTitleWidth = 800, kTitleHeight = 600;
// The game writes its level line at (150, 500), four times the font's size, in opaque black; this band
// stays light behind it.
constexpr int kLevelBandTop = 488, kLevelBandBottom = 568;

Image draw_title(const FontStrip& font);

}  // namespace assetgen
