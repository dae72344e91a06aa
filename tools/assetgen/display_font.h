// Large capitals built from thick strokes, for the title picture's name.
#pragma once

#include <string_view>

#include "assetgen/paint.h"

namespace assetgen {

struct DisplayText {
    Sdf shape;
    float width = 0;  // pixels from the left edge of the first letter to the right edge of the last
};

// Lays out capitals A-Z and spaces with their top-left at (x, y), cap height in pixels. Letters lean
// forward slightly. Other characters are skipped.
DisplayText display_text(std::string_view text, float x, float y, float cap_height);

}  // namespace assetgen
