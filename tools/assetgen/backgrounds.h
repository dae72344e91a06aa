// Stage backgrounds: transparent sky (the starfield shows through) over opaque, lit terrain.
#pragma once

#include "assetgen/image.h"

namespace assetgen {

constexpr int kStageCount = 3;
constexpr int kStageHeight = 600;
// Stages are two, three and four screens of 800 pixels wide.
constexpr int stage_width(int stage) { return (stage + 2) * 800; }

Image draw_background(int stage);

}  // namespace assetgen
