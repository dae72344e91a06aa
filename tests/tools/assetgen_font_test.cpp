// "font.raw" read back from its bytes with the game's rules: third byte of each pixel, marks of 255 in
// the top row, one lead column, the glyph, one mark column per character code 32..127.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "assetgen/assets.h"

namespace {

constexpr int kWidth = 648, kHeight = 12;

struct Strip {
    std::vector<uint8_t> bytes = assetgen::generate_asset("font.raw");
    int at(int x, int y) const { return bytes.at((size_t(y) * kWidth + size_t(x)) * 3 + 2); }
};

struct Span {
    int start = 0, width = 0;
};

// The scan the game does; a code whose mark is missing keeps width 0.
std::vector<Span> scan(const Strip& s)
{
    std::vector<Span> spans(256);
    int p = 0;
    for (int code = 32; code <= 127; ++code) {
        int m = p;
        while (m < kWidth && s.at(m, 0) != 255) ++m;
        if (m >= kWidth) break;
        spans[size_t(code)] = {p + 1, m - p - 1};
        p = m + 1;
    }
    return spans;
}

std::vector<int> glyph_pixels(const Strip& s, Span g)
{
    std::vector<int> px;
    for (int y = 1; y < kHeight; ++y)
        for (int x = g.start; x < g.start + g.width; ++x) px.push_back(s.at(x, y));
    return px;
}

bool inked_rows(const Strip& s, Span g, int from, int to)
{
    for (int y = from; y <= to; ++y)
        for (int x = g.start; x < g.start + g.width; ++x)
            if (s.at(x, y) > 128) return true;
    return false;
}

TEST(AssetgenFont, StripIs648By12PixelsOfThreeBytes)
{
    EXPECT_EQ(Strip().bytes.size(), 23328u);
}

TEST(AssetgenFont, MarksGiveEveryCodeAPositiveWidthInsideTheStrip)
{
    Strip s;
    int marks = 0;
    for (int x = 0; x < kWidth; ++x) marks += s.at(x, 0) == 255;
    EXPECT_EQ(marks, 96);
    std::vector<Span> spans = scan(s);
    for (int code = 32; code <= 127; ++code) {
        EXPECT_GT(spans[size_t(code)].width, 0) << "code " << code;
        EXPECT_LE(spans[size_t(code)].start + spans[size_t(code)].width, kWidth - 1) << "code " << code;
    }
    // Coverage never reaches the mark value anywhere else, so no glyph can be cut short.
    for (int y = 1; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) ASSERT_LT(s.at(x, y), 255) << x << "," << y;
}

TEST(AssetgenFont, EveryVisibleCharacterHasInkAndItsOwnShape)
{
    Strip s;
    std::vector<Span> spans = scan(s);
    EXPECT_FALSE(inked_rows(s, spans[' '], 1, kHeight - 1));
    std::set<std::vector<int>> seen;
    for (int code = 33; code <= 127; ++code) {
        Span g = spans[size_t(code)];
        EXPECT_TRUE(inked_rows(s, g, 1, kHeight - 1)) << "code " << code;
        EXPECT_TRUE(seen.insert(glyph_pixels(s, g)).second) << "code " << code << " repeats another glyph";
    }
}

TEST(AssetgenFont, LettersShareABaselineAndDescendersDropBelowIt)
{
    Strip s;
    std::vector<Span> spans = scan(s);
    // Capitals and digits stand on row 8; only descenders reach rows 9 and 10.
    for (char c : std::string("ABCDEFGHIJKLMNOPRSTUVWXYZ0123456789acehmnorsuvwxz")) {
        EXPECT_TRUE(inked_rows(s, spans[size_t(c)], 8, 8)) << c;
        EXPECT_FALSE(inked_rows(s, spans[size_t(c)], 9, 11)) << c;
    }
    for (char c : std::string("gjpqy")) EXPECT_TRUE(inked_rows(s, spans[size_t(c)], 9, 10)) << c;
}

TEST(AssetgenFont, TheLevelLineFitsTheTitleScreen)
{
    Strip s;
    std::vector<Span> spans = scan(s);
    // Drawn from x = 150 at scale 4; level numbers can run to several digits in a long game.
    int width = 0;
    for (char c : std::string("welcome to level 9999")) width += 4 * (spans[size_t(c)].width + 2);
    EXPECT_LE(150 + width, 800);
}

}  // namespace
