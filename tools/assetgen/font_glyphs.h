// Hand-drawn glyphs of the pixel font, one per character code 32..127.
#pragma once

#include <vector>

namespace assetgen {

struct GlyphDesign {
    char code;
    int top;                         // first design row the drawing occupies (0..9)
    std::vector<const char*> rows;   // equal-length rows of '#' (ink) and '.' (paper)
};

const std::vector<GlyphDesign>& glyph_designs();

}  // namespace assetgen
