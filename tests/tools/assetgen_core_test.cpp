// The generator's building blocks: shapes, blending, noise, the game-faithful text renderer and the
// sample conversion. Faults here would show up in every asset at once.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "assetgen/font.h"
#include "assetgen/image.h"
#include "assetgen/noise.h"
#include "assetgen/paint.h"
#include "assetgen/sound.h"

namespace {

using namespace assetgen;

TEST(AssetgenShapes, DistancesAreNegativeInsideAndMeasuredInPixels)
{
    Sdf c = circle(10, 10, 5);
    EXPECT_FLOAT_EQ(c(10, 10), -5.0f);
    EXPECT_FLOAT_EQ(c(18, 10), 3.0f);
    Sdf b = box(0, 0, 4, 2);
    EXPECT_FLOAT_EQ(b(0, 0), -2.0f);
    EXPECT_FLOAT_EQ(b(7, 0), 3.0f);
    // A turned box: a quarter turn swaps its half-extents.
    Sdf turned = box(0, 0, 4, 2, 0.0f, 1.5707963f);
    EXPECT_NEAR(turned(0, 3.5f), -0.5f, 1e-4f);
    EXPECT_NEAR(turned(3.5f, 0), 1.5f, 1e-4f);
    // Concave polygon (an L): the notch is outside.
    Sdf l = polygon({{0, 0}, {2, 0}, {2, 6}, {6, 6}, {6, 8}, {0, 8}});
    EXPECT_LT(l(1, 1), 0.0f);
    EXPECT_LT(l(5, 7), 0.0f);
    EXPECT_NEAR(l(4, 3), 2.0f, 1e-4f);
    // A tapered limb ends in round caps of the radii asked for, and thins between them.
    Sdf t = taper(0, 0, 20, 0, 6, 2);
    EXPECT_NEAR(t(-6, 0), 0.0f, 1e-3f);
    EXPECT_NEAR(t(22, 0), 0.0f, 1e-3f);
    EXPECT_LT(t(4, -4.5f), 0.0f);
    EXPECT_GT(t(16, -4.5f), 0.0f);
}

TEST(AssetgenShapes, CombinationsFollowSetRules)
{
    Sdf a = circle(0, 0, 4), b = circle(6, 0, 4);
    EXPECT_LT(unite(a, b)(6, 0), 0.0f);
    EXPECT_GT(intersect(a, b)(-3, 0), 0.0f);
    EXPECT_LT(intersect(a, b)(3, 0), 0.0f);
    EXPECT_GT(subtract(a, b)(3, 0), 0.0f);
    EXPECT_LT(subtract(a, b)(-3, 0), 0.0f);
    EXPECT_FLOAT_EQ(shift(a, 10, 0)(10, 0), -4.0f);
    // The fillet fills the waist between two discs that merely touch.
    Sdf touching = circle(8, 0, 4);
    EXPECT_GT(unite(a, touching)(4, 2), 0.0f);
    EXPECT_LT(blend(a, touching, 3)(4, 2), 0.0f);
}

TEST(AssetgenPaint, CoverageIsAntiAliasedAndConfinedToTheShapeAndBounds)
{
    Image img(20, 20);
    Material flat = light(rgb(1, 0, 0));
    paint(img, box(10, 10, 5, 5), flat);
    EXPECT_FLOAT_EQ(img.at(10, 10).a, 1.0f);
    EXPECT_FLOAT_EQ(img.at(2, 10).a, 0.0f);
    // Edge pixels of a box whose side runs through pixel centres are half covered.
    Image half(20, 20);
    paint(half, box(10, 10, 4.5f, 20), flat);
    EXPECT_NEAR(half.at(5, 10).a, 0.5f, 0.02f);
    EXPECT_NEAR(half.at(14, 10).a, 0.5f, 0.02f);
    Image clipped(20, 20);
    paint(clipped, box(10, 10, 8, 8), flat, {0, 0, 10, 20});
    EXPECT_GT(clipped.at(9, 10).a, 0.0f);
    EXPECT_FLOAT_EQ(clipped.at(10, 10).a, 0.0f);
}

TEST(AssetgenPaint, LitBodiesAreBrighterTowardsTheLightAndInkedAtTheRim)
{
    Image img(64, 64);
    paint(img, circle(32, 32, 24), body(rgb(0.5f, 0.5f, 0.5f), 12));
    auto level = [&](int x, int y) { return img.at(x, y).r; };
    EXPECT_GT(level(22, 22), level(42, 42));  // light comes from the upper left
    EXPECT_LT(level(32, 8), 0.2f);            // the one-pixel rim is dark ink
    EXPECT_NEAR(level(32, 32), 0.5f, 0.08f);  // a flat top keeps the base colour
}

TEST(AssetgenImage, BlendingAndAddingFollowPorterDuff)
{
    Image img(2, 1);
    img.at(0, 0) = rgb(0, 0, 1);
    img.blend(0, 0, rgb(1, 0, 0, 0.5f));
    EXPECT_NEAR(img.at(0, 0).r, 0.5f, 1e-6f);
    EXPECT_NEAR(img.at(0, 0).b, 0.5f, 1e-6f);
    EXPECT_NEAR(img.at(0, 0).a, 1.0f, 1e-6f);
    // Over transparency the source keeps its own colour and gains only opacity.
    img.blend(1, 0, rgb(0, 1, 0, 0.5f), 0.5f);
    EXPECT_NEAR(img.at(1, 0).g, 1.0f, 1e-6f);
    EXPECT_NEAR(img.at(1, 0).a, 0.25f, 1e-6f);
    // Light added over transparency is light of that hue, not darkened by the empty pixel's black.
    Image glow_img(1, 1);
    glow_img.add(0, 0, rgb(1, 0.5f, 0), 0.4f);
    EXPECT_NEAR(glow_img.at(0, 0).g / glow_img.at(0, 0).r, 0.5f, 1e-5f);
    EXPECT_NEAR(glow_img.at(0, 0).a, 0.4f, 1e-5f);
}

TEST(AssetgenImage, ResizingDoesNotBleedTheColourOfEmptyTexels)
{
    Image img(2, 1);
    img.at(0, 0) = rgb(1, 1, 1);
    img.at(1, 0) = rgb(0, 0, 0, 0);
    Image wide = img.resized(8, 1);
    for (int x = 0; x < 8; ++x) {
        if (wide.at(x, 0).a > 0.0f) {
            EXPECT_NEAR(wide.at(x, 0).r, 1.0f, 1e-5f) << x;
        }
    }
    EXPECT_LT(wide.at(7, 0).a, wide.at(0, 0).a);
    // Quantising rounds, clamps, and stores nothing but zeros for a fully transparent texel.
    Image q(3, 1);
    q.at(0, 0) = rgb(0.5f, 1.5f, -1.0f, 1.0f);
    q.at(1, 0) = rgb(1, 1, 1, 0.001f);
    std::vector<uint8_t> bytes = q.rgba8();
    EXPECT_EQ(bytes[0], 128);
    EXPECT_EQ(bytes[1], 255);
    EXPECT_EQ(bytes[2], 0);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(bytes[size_t(i)], 0);
}

TEST(AssetgenNoise, SeededRandomnessRepeatsAndStaysInRange)
{
    Rng a(5), b(5), c(6);
    bool differs = false;
    for (int i = 0; i < 100; ++i) {
        uint64_t va = a.next();
        EXPECT_EQ(va, b.next());
        differs |= va != c.next();
        float u = a.uniform();
        b.uniform();
        EXPECT_GE(u, 0.0f);
        EXPECT_LT(u, 1.0f);
    }
    EXPECT_TRUE(differs);
    for (float x = -50.0f; x < 50.0f; x += 0.37f) {
        float v = fbm(x, x * 0.5f, 3u, 4);
        EXPECT_GE(v, 0.0f);
        EXPECT_LT(v, 1.0f);
        // Continuous: no jumps between close samples.
        EXPECT_LT(std::fabs(value_noise(x + 0.01f, 9u) - value_noise(x, 9u)), 0.05f);
    }
}

TEST(AssetgenText, DrawsTheQuadsTheGameDrawsAndAdvancesByTheGlyphWidth)
{
    FontStrip strip = build_font_strip();
    GlyphTable glyphs = glyph_table(strip);
    const GlyphSpan h = glyphs[size_t('H')];
    ASSERT_GT(h.width, 0);
    for (int scale : {1, 2, 4}) {
        SCOPED_TRACE(scale);
        Image img(200, 80);
        int end = draw_game_text(img, strip, glyphs, 10, 5, "HH", rgb(1, 1, 1), scale);
        EXPECT_EQ(end, 10 + 2 * scale * (h.width + kFontSpacing));
        EXPECT_EQ(text_width(glyphs, "HH", scale), 2 * scale * (h.width + kFontSpacing));
        // Ink stays inside each quad: (width + 1) by (strip height + 1), times the scale.
        int x1 = -1, y1 = -1, y0 = 1000;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.at(x, y).a > 0.0f) {
                    x1 = std::max(x1, x);
                    y1 = std::max(y1, y);
                    y0 = std::min(y0, y);
                }
        EXPECT_LE(x1, 10 + scale * (h.width + kFontSpacing) + scale * (h.width + 1) - 1);
        EXPECT_LE(y1, 5 + scale * (kStripHeight + 1) - 1);
        EXPECT_GE(y0, 5);
        EXPECT_GT(x1, 10 + scale * (h.width + kFontSpacing));  // the second H was drawn
    }
}

TEST(AssetgenSamples, ConversionScalesToThePeakAndSurvivesSilence)
{
    Sound s = to_pcm({0.0f, 0.25f, -0.5f, 0.1f}, 0.5f);
    ASSERT_EQ(s.samples.size(), 4u);
    EXPECT_EQ(s.samples[2], -16384);  // the loudest sample lands on the requested peak
    EXPECT_EQ(s.samples[1], 8192);
    EXPECT_EQ(s.samples[0], 0);
    Sound quiet = to_pcm({0.0f, 0.0f}, 0.9f);
    EXPECT_EQ(quiet.samples, (std::vector<int16_t>{0, 0}));
    // Negative samples survive the trip through the file's little-endian bytes.
    std::vector<uint8_t> wav = encode_wav(s);
    ASSERT_EQ(wav.size(), 44u + 8u);
    EXPECT_EQ(int16_t(wav[44 + 4] | (wav[44 + 5] << 8)), -16384);
}

}  // namespace
