#include "assetgen/font.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "assetgen/font_glyphs.h"

namespace assetgen {

namespace {

constexpr int kDesignRows = 10;
constexpr int kFirstDesignRow = 1;  // strip row of design row 0; row 0 holds the marks
constexpr uint8_t kInk = 254;       // full coverage; 255 is reserved for the marks
constexpr uint8_t kSoft = 84;       // half-tone that smooths diagonal steps

using Bitmap = std::vector<std::vector<uint8_t>>;  // [row][column]

Bitmap rasterise(const GlyphDesign& g)
{
    size_t w = std::strlen(g.rows.at(0));
    Bitmap bm(kDesignRows, std::vector<uint8_t>(w, 0));
    if (g.top < 0 || g.top + int(g.rows.size()) > kDesignRows)
        throw std::logic_error(std::string("glyph leaves its design box: ") + g.code);
    for (size_t r = 0; r < g.rows.size(); ++r) {
        if (std::strlen(g.rows[r]) != w) throw std::logic_error(std::string("ragged glyph: ") + g.code);
        for (size_t c = 0; c < w; ++c)
            if (g.rows[r][c] == '#') bm[size_t(g.top) + r][c] = kInk;
    }
    // Where a stroke steps diagonally, tint the two paper pixels of the step so that slanted strokes
    // read as lines rather than staircases once the game scales them up.
    auto ink = [&](int r, int c) {
        return r >= 0 && c >= 0 && r < kDesignRows && c < int(w) && bm[size_t(r)][size_t(c)] == kInk;
    };
    Bitmap soft = bm;
    for (int r = 0; r < kDesignRows; ++r) {
        for (int c = 0; c < int(w); ++c) {
            if (ink(r, c)) continue;
            int neighbours = int(ink(r - 1, c)) + int(ink(r + 1, c)) + int(ink(r, c - 1)) + int(ink(r, c + 1));
            if (neighbours != 2) continue;
            for (int dy : {-1, 1})
                for (int dx : {-1, 1})
                    if (ink(r + dy, c) && ink(r, c + dx) && !ink(r + dy, c + dx)) soft[size_t(r)][size_t(c)] = kSoft;
        }
    }
    return soft;
}

const GlyphDesign& design_for(int code)
{
    for (const GlyphDesign& g : glyph_designs())
        if (int(static_cast<unsigned char>(g.code)) == code) return g;
    throw std::logic_error("no glyph designed for code " + std::to_string(code));
}

}  // namespace

FontStrip build_font_strip()
{
    FontStrip strip;
    int p = 0;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        Bitmap bm = rasterise(design_for(code));
        int w = int(bm[0].size());
        if (p + w + 2 > kStripWidth) throw std::logic_error("glyphs do not fit in the font strip");
        // Column p is the lead column and stays blank; the glyph follows, then its mark.
        for (int r = 0; r < kDesignRows; ++r)
            for (int c = 0; c < w; ++c)
                strip.coverage[size_t(kFirstDesignRow + r) * kStripWidth + size_t(p + 1 + c)] = bm[size_t(r)][size_t(c)];
        strip.coverage[size_t(p + 1 + w)] = kGlyphMark;
        p += w + 2;
    }
    return strip;
}

std::vector<uint8_t> encode_font_raw(const FontStrip& strip)
{
    std::vector<uint8_t> out(strip.coverage.size() * 3);
    for (size_t i = 0; i < strip.coverage.size(); ++i) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = strip.coverage[i];
    return out;
}

GlyphTable glyph_table(const FontStrip& strip)
{
    GlyphTable t{};
    int p = 0;
    for (int code = kFirstCode; code <= kLastCode; ++code) {
        int m = p;
        while (m < kStripWidth && strip.at(m, 0) != kGlyphMark) ++m;
        if (m >= kStripWidth) break;  // fewer marks than glyphs: the rest keep width 0
        t[size_t(code)] = {p + 1, m - p - 1};
        p = m + 1;
    }
    return t;
}

int text_width(const GlyphTable& glyphs, std::string_view text, int scale)
{
    int w = 0;
    for (char ch : text) w += scale * (glyphs[static_cast<unsigned char>(ch)].width + kFontSpacing);
    return w;
}

int draw_game_text(Image& img, const FontStrip& strip, const GlyphTable& glyphs, int x, int y,
                   std::string_view text, Rgba colour, int scale)
{
    const int qh = (kStripHeight + 1) * scale;
    for (char ch : text) {
        const GlyphSpan& g = glyphs[static_cast<unsigned char>(ch)];
        const int qw = (g.width + 1) * scale;
        for (int py = 0; py < qh; ++py) {
            int row = std::min(kStripHeight - 1, int((float(py) + 0.5f) / float(qh) * float(kStripHeight)));
            for (int px = 0; px < qw; ++px) {
                int col = g.start + int((float(px) + 0.5f) / float(qw) * float(g.width));
                col = std::clamp(col, 0, kStripWidth - 1);
                float v = float(strip.at(col, row)) / 255.0f;
                if (v <= 0.0f) continue;
                img.blend(x + px, y + py, {colour.r * v, colour.g * v, colour.b * v, colour.a}, v);
            }
        }
        x += (g.width + kFontSpacing) * scale;
    }
    return x;
}

}  // namespace assetgen
