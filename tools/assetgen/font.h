// The game's proportional pixel font: designed glyphs, the "font.raw" strip built from them, and a
// renderer that draws text exactly the way the game does (for the title picture and the contact sheet).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "assetgen/image.h"

namespace assetgen {

constexpr int kStripWidth = 648;
constexpr int kStripHeight = 12;
constexpr int kFirstCode = 32;
constexpr int kLastCode = 127;
constexpr int kGlyphCount = kLastCode - kFirstCode + 1;
constexpr int kFontSpacing = 2;
constexpr uint8_t kGlyphMark = 255;

// One coverage byte per strip pixel, rows top first; row 0 carries the glyph marks.
struct FontStrip {
    std::vector<uint8_t> coverage = std::vector<uint8_t>(size_t(kStripWidth) * kStripHeight, 0);
    uint8_t at(int x, int y) const { return coverage[size_t(y) * kStripWidth + size_t(x)]; }
};

struct GlyphSpan {
    int start = 0;
    int width = 0;
};
using GlyphTable = std::array<GlyphSpan, 256>;

FontStrip build_font_strip();

// "font.raw": 3 bytes per pixel, the coverage in all three (the game reads the third).
std::vector<uint8_t> encode_font_raw(const FontStrip& strip);

// Reads the glyph positions back from the marks the way the game's loader does.
GlyphTable glyph_table(const FontStrip& strip);

// Width in pixels that the game's text drawing advances over the string at this scale.
int text_width(const GlyphTable& glyphs, std::string_view text, int scale);

// Draws like the game: each glyph a quad (width + 1) x (strip height + 1) pixels times the scale,
// nearest sampling, colour times coverage, alpha-blended. Returns the pen's final x.
int draw_game_text(Image& img, const FontStrip& strip, const GlyphTable& glyphs, int x, int y,
                   std::string_view text, Rgba colour, int scale);

}  // namespace assetgen
