// The compositor's pixel rules, exactly: Direct3D 9's pixel centres and fill rule, point
// sampling, texel x vertex colour rounded to nearest, the three blends the game uses, clipping,
// and bad input that must draw what the device would and never read outside a buffer. Every
// case runs on the portable kernels and, where the processor has them, on the SSE2 ones.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "compositor/compositor.h"
#include "device_state.h"

namespace {

using platform::Compositor;
using platform::DrawStates;
using platform::QuadCorners;
using platform::TextureView;

constexpr std::uint32_t BLEND_ONE = 2, BLEND_SRCALPHA = 5, BLEND_INVSRCALPHA = 6, BLEND_DESTCOLOR = 9,
                        BLEND_ZERO = 1;

// draw_quad's four corners in strip order, with no half-pixel offset.
QuadCorners quad(int x, int y, int w, int h, std::uint32_t colour, float u0 = 0, float v0 = 0, float u1 = 1,
                 float v1 = 1) {
    QuadCorners q{};
    const float left = static_cast<float>(x), top = static_cast<float>(y);
    const float right = static_cast<float>(x + w), bottom = static_cast<float>(y + h);
    const float xs[4] = {left, right, left, right}, ys[4] = {top, top, bottom, bottom};
    const float us[4] = {u0, u1, u0, u1}, vs[4] = {v0, v0, v1, v1};
    for (int i = 0; i < 4; ++i) {
        q.x[i] = xs[i];
        q.y[i] = ys[i];
        q.u[i] = us[i];
        q.v[i] = vs[i];
        q.colour[i] = colour;
    }
    return q;
}

struct Texture {
    std::vector<std::uint32_t> pixels;
    TextureView view;
    Texture(int width, int height, std::uint32_t (*texel)(int, int), bool alpha = true) {
        pixels.resize(static_cast<std::size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) pixels[static_cast<std::size_t>(y) * width + x] = texel(x, y);
        view.pixels = pixels.data();
        view.width = width;
        view.height = height;
        view.pitch = width;
        view.alpha = alpha;
    }
};

// The states each draw operation sets, with the device's texture stage (texel x diffuse).
DrawStates image(const TextureView* texture) {
    DrawStates states;
    states.texture = texture;
    return states;
}
DrawStates sprite(const TextureView* texture) {
    DrawStates states = image(texture);
    states.blend = true;
    states.source_blend = BLEND_SRCALPHA;
    states.destination_blend = BLEND_INVSRCALPHA;
    return states;
}
DrawStates additive(const TextureView* texture) {
    DrawStates states = sprite(texture);
    states.destination_blend = BLEND_ONE;
    return states;
}
DrawStates rect() { return sprite(nullptr); }

// The sprite colour from an alpha argument: only its low byte counts.
std::uint32_t alpha_colour(int alpha) { return (static_cast<std::uint32_t>(alpha) << 24) | 0x00FFFFFFu; }

std::uint32_t rounded(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::uint32_t>(std::floor(a * b / 255.0 + 0.5));
}

class CompositorTest : public ::testing::TestWithParam<Compositor::Kernels> {
protected:
    void SetUp() override {
        if (GetParam() == Compositor::Kernels::sse2 && !Compositor::has_sse2()) GTEST_SKIP() << "no SSE2 here";
        target.set_kernels(GetParam());
        target.clear(0xFF000000u);
    }
    std::uint32_t at(int x, int y) {
        const platform::FrameView frame = target.frame();
        return frame.pixels[static_cast<std::size_t>(y) * (frame.pitch / 4) + x];
    }
    // The pixels of one row where the colour is not `background`.
    std::vector<int> covered_columns(int y, std::uint32_t background = 0xFF000000u) {
        std::vector<int> columns;
        for (int x = 0; x < target.width(); ++x)
            if (at(x, y) != background) columns.push_back(x);
        return columns;
    }

    Compositor target{800, 600};
};

TEST_P(CompositorTest, AQuadCoversThePixelsFromItsLeftAndTopEdgesUpToButNotIncludingItsRightAndBottom) {
    target.draw(quad(10, 20, 64, 32, 0xFF336699u), rect());
    EXPECT_EQ(at(10, 20), 0xFF336699u);
    EXPECT_EQ(at(73, 51), 0xFF336699u);
    EXPECT_EQ(at(74, 20), 0xFF000000u);
    EXPECT_EQ(at(10, 52), 0xFF000000u);
    EXPECT_EQ(at(9, 20), 0xFF000000u);
    EXPECT_EQ(at(10, 19), 0xFF000000u);
    const std::vector<int> columns = covered_columns(30);
    ASSERT_EQ(columns.size(), 64u);
    EXPECT_EQ(columns.front(), 10);
    EXPECT_EQ(columns.back(), 73);
}

TEST_P(CompositorTest, FractionalEdgesTakeThePixelsWhoseCentresLieInside) {
    QuadCorners q = quad(0, 0, 1, 1, 0xFFFFFFFFu);
    const float xs[4] = {10.5f, 13.0f, 10.5f, 13.0f}, ys[4] = {2.25f, 2.25f, 4.0f, 4.0f};
    for (int i = 0; i < 4; ++i) {
        q.x[i] = xs[i];
        q.y[i] = ys[i];
    }
    target.draw(q, rect());
    EXPECT_EQ(covered_columns(3), (std::vector<int>{11, 12}));
    EXPECT_EQ(at(11, 2), 0xFF000000u) << "the centre of row 2 lies above 2.25";
    EXPECT_EQ(at(11, 4), 0xFF000000u);
}

TEST_P(CompositorTest, ASpriteAtItsOwnSizeTakesTexelKAtPixelK) {
    const Texture texture(5, 3, [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x << 16 | y << 8 | 7); });
    target.draw(quad(100, 200, 5, 3, 0xFFFFFFFFu), image(&texture.view));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(at(100 + x, 200 + y), 0xFF000000u | static_cast<std::uint32_t>(x << 16 | y << 8 | 7)) << x << ", " << y;
    EXPECT_EQ(at(105, 200), 0xFF000000u);
}

TEST_P(CompositorTest, AMirroredSpriteSpansXPlusWidthToXAndStartsAtUOneWhichWrapsToTexelZero) {
    // draw_sprite_sized with w = -width: u runs from 1 at the left pixel down to 1/width at the right.
    const Texture texture(4, 1, [](int x, int) { return 0xFF000000u | static_cast<std::uint32_t>(x + 1) * 0x10u; });
    target.draw(quad(300, 10, -4, 1, 0xFFFFFFFFu), sprite(&texture.view));
    EXPECT_EQ(covered_columns(10), (std::vector<int>{296, 297, 298, 299}));
    EXPECT_EQ(at(296, 10), 0xFF000010u) << "u = 1 at the pixel centre: texel 4 wraps to texel 0";
    EXPECT_EQ(at(297, 10), 0xFF000040u);
    EXPECT_EQ(at(298, 10), 0xFF000030u);
    EXPECT_EQ(at(299, 10), 0xFF000020u);
}

TEST_P(CompositorTest, AMirroredSpriteTwiceItsSizeShowsItsHalvesSwapped) {
    const Texture halves(2, 1, [](int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    target.draw(quad(300, 10, -20, 10, 0xFFFFFFFFu), sprite(&halves.view));
    EXPECT_EQ(at(285, 15), 0xFF0000FFu);
    EXPECT_EQ(at(295, 15), 0xFFFF0000u);
    EXPECT_EQ(at(279, 15), 0xFF000000u);
    EXPECT_EQ(at(300, 15), 0xFF000000u);
}

TEST_P(CompositorTest, AGlyphQuadOnePixelWiderAndTallerShowsItsFirstColumnAndRowTwice) {
    // draw_text's quad: a glyph of w texels at column s of a 648 x 12 strip, drawn w + 1 by 13.
    const Texture strip(648, 12, [](int x, int y) { return static_cast<std::uint32_t>(0xFF000000u | x << 8 | y); });
    const int s = 301, w = 5;
    const float u0 = static_cast<float>(s) / 648.0f, u1 = static_cast<float>(s + w) / 648.0f;
    target.draw(quad(10, 50, w + 1, 13, 0xFFFFFFFFu, u0, 0.0f, u1, 1.0f), image(&strip.view));
    const int expected_columns[w + 1] = {s, s, s + 1, s + 2, s + 3, s + 4};
    const int expected_rows[13] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x <= w; ++x) {
            const std::uint32_t pixel = at(10 + x, 50 + y);
            EXPECT_EQ(static_cast<int>((pixel >> 8) & 0xFFFF) & 0xFFF, expected_columns[x] & 0xFFF) << x << ", " << y;
            EXPECT_EQ(static_cast<int>(pixel & 0xFF), expected_rows[y]) << x << ", " << y;
        }
    EXPECT_EQ(at(10 + w + 1, 55), 0xFF000000u);
    EXPECT_EQ(at(12, 63), 0xFF000000u);
}

TEST_P(CompositorTest, AScaledSpriteRepeatsEachTexelOverItsBlock) {
    const Texture texture(4, 2, [](int x, int y) { return 0xFF000000u | static_cast<std::uint32_t>(x * 60 << 16 | y * 200); });
    target.draw(quad(100, 100, 12, 6, 0xFFFFFFFFu), sprite(&texture.view));
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(at(100 + x, 100 + y), texture.pixels[static_cast<std::size_t>(y / 3) * 4 + x / 3]) << x << ", " << y;
}

TEST_P(CompositorTest, AlphaTwoFiftySixIsInvisibleAndMinusOneOpaque) {
    const Texture white(8, 8, [](int, int) { return 0xFFFFFFFFu; });
    target.draw(quad(500, 0, 8, 8, alpha_colour(256)), sprite(&white.view));
    target.draw(quad(520, 0, 8, 8, alpha_colour(-1)), sprite(&white.view));
    target.draw(quad(540, 0, 8, 8, alpha_colour(128)), sprite(&white.view));
    EXPECT_EQ(at(504, 4), 0xFF000000u);
    EXPECT_EQ(at(524, 4), 0xFFFFFFFFu);
    // 255 x 128 / 255 over black: 128; the back buffer's alpha blends too: round((128 x 128 + 255 x 127) / 255).
    EXPECT_EQ(at(544, 4), (rounded(128, 128) + 127) << 24 | 0x808080u);
}

TEST_P(CompositorTest, HalfAlphaBlackDarkensByHalfAndOpaqueBlackPaintsBlack) {
    target.draw(quad(0, 0, 800, 600, 0xFFFFFFFFu), rect());
    target.draw(quad(0, 0, 400, 600, 0x80000000u), rect());
    target.draw(quad(500, 0, 100, 100, 0xFF000000u), rect());
    EXPECT_EQ(at(10, 10) & 0xFFFFFF, 0x7F7F7Fu) << "round(255 x 127 / 255) = 127";
    EXPECT_EQ(at(410, 10), 0xFFFFFFFFu);
    EXPECT_EQ(at(510, 10), 0xFF000000u);
}

TEST_P(CompositorTest, AdditiveSpritesBrightenByTheirAlphaAndSaturate) {
    const Texture white(8, 8, [](int, int) { return 0xFFFFFFFFu; });
    const Texture half_red(8, 8, [](int, int) { return 0x80FF0000u; });
    target.draw(quad(0, 0, 100, 100, 0xFF643200u), rect());
    target.draw(quad(0, 0, 50, 50, alpha_colour(128)), additive(&white.view));
    target.draw(quad(200, 0, 100, 100, 0xFFC8C8C8u), rect());
    target.draw(quad(200, 0, 50, 50, alpha_colour(128)), additive(&white.view));
    target.draw(quad(400, 0, 50, 50, alpha_colour(255)), additive(&half_red.view));
    EXPECT_EQ(at(10, 10) & 0xFFFFFF, 0xE4B280u) << "(100, 50, 0) + 128";
    EXPECT_EQ(at(60, 60), 0xFF643200u);
    EXPECT_EQ(at(210, 10) & 0xFFFFFF, 0xFFFFFFu) << "200 + 128 saturates at 255";
    EXPECT_EQ(at(410, 10) & 0xFFFFFF, 0x800000u) << "the texel's alpha counts too";
}

TEST_P(CompositorTest, TheVertexColourModulatesEveryChannelRoundedToNearest) {
    // Texel value x in row k times k: round(x x k / 255), for every pair.
    const Texture ramp(256, 1, [](int x, int) { return static_cast<std::uint32_t>(x) * 0x01010101u; });
    for (int k = 0; k < 256; ++k) {
        const std::uint32_t colour = static_cast<std::uint32_t>(k) * 0x01010101u;
        target.draw(quad(0, k, 256, 1, colour), image(&ramp.view));
    }
    int wrong = 0;
    for (int k = 0; k < 256; ++k)
        for (int x = 0; x < 256; ++x)
            if (at(x, k) != rounded(x, k) * 0x01010101u && wrong++ < 5)
                ADD_FAILURE() << x << " x " << k << " gives " << std::hex << at(x, k);
    EXPECT_EQ(wrong, 0);
}

TEST_P(CompositorTest, BlendingRoundsTheWeightedSumToNearest) {
    // Source s = x with alpha a = row; destination d = 255 - x.
    const Texture ramp(256, 1, [](int x, int) { return static_cast<std::uint32_t>(x) * 0x010101u | 0xFF000000u; });
    for (int a = 0; a < 256; ++a) {
        for (int x = 0; x < 256; ++x) {
            QuadCorners q = quad(x, a, 1, 1, 0xFF000000u | static_cast<std::uint32_t>(255 - x) * 0x010101u);
            target.draw(q, image(nullptr));
        }
        target.draw(quad(0, a, 256, 1, static_cast<std::uint32_t>(a) << 24 | 0xFFFFFFu), sprite(&ramp.view));
    }
    int wrong = 0;
    for (int a = 0; a < 256; ++a)
        for (int x = 0; x < 256; ++x) {
            const std::uint32_t expected =
                static_cast<std::uint32_t>(std::floor((x * a + (255 - x) * (255 - a)) / 255.0 + 0.5));
            if ((at(x, a) & 0xFF) != expected && wrong++ < 5)
                ADD_FAILURE() << "s " << x << " a " << a << " gives " << (at(x, a) & 0xFF) << ", not " << expected;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_P(CompositorTest, BlendingOffWritesTheSourceAndIgnoresItsAlpha) {
    const Texture clear(2, 2, [](int, int) { return 0x00336699u; });
    target.draw(quad(0, 0, 2, 2, 0xFFFFFFFFu), image(&clear.view));
    EXPECT_EQ(at(1, 1), 0x00336699u) << "the back buffer keeps the alpha; the colour shows as it is";
}

TEST_P(CompositorTest, AnX8R8G8B8TextureReadsOpaque) {
    const Texture opaque(2, 2, [](int, int) { return 0x00FFFFFFu; }, false);
    target.draw(quad(0, 0, 2, 2, 0xFFFFFFFFu), sprite(&opaque.view));
    EXPECT_EQ(at(0, 0), 0xFFFFFFFFu);
}

// A texture that tells where its visible texels lie has its clear part skipped: the same
// pixels as when the whole of it is blended, wherever a quad cuts into it.
// What the device tells of a picture (its clear spans, its opaque runs) only spares work: a frame
// drawn with it has the pixels of one drawn without.
TEST_P(CompositorTest, SkippingAPicturesClearSpansAndWhatItsOpaqueRowsHideGivesThePixelsOfBlendingItAll) {
    platform::MemoryTexture stage(400, 300, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(stage.LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x) {
            // Clear blocks, gaps of every length, opaque runs and soft edges.
            const std::uint32_t alpha = (x / 40 + y / 30) % 3 == 0 ? 0u : (x * 7 + y) % 23 < 3 ? 0u : x % 50 < 5 ? 90u : 255u;
            static_cast<std::uint32_t*>(locked.pBits)[y * 400 + x] = alpha << 24 | static_cast<std::uint32_t>(x * 977 + y * 31);
        }
    stage.UnlockRect(0);
    // Ground wider than the frame, opaque but in its top rows, a hole at the texel over the
    // frame's last column in row 160 and at the one over its first in row 161.
    platform::MemoryTexture ground(900, 300, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
    ASSERT_EQ(ground.LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 900; ++x) {
            const bool hole = y < 100 ? x % 3 == 0 : (y == 160 && x == 836) || (y == 161 && x == 37);
            static_cast<std::uint32_t*>(locked.pBits)[y * 900 + x] =
                (hole ? 0u : 255u) << 24 | static_cast<std::uint32_t>(x * 131 + y);
        }
    ground.UnlockRect(0);
    const TextureView spans = stage.view(), ground_runs = ground.view();
    ASSERT_NE(spans.row_visible, nullptr);
    ASSERT_NE(ground_runs.opaque, nullptr);
    TextureView whole = spans, ground_whole = ground_runs;
    whole.row_visible = whole.visible = whole.opaque = ground_whole.row_visible = ground_whole.visible =
        ground_whole.opaque = nullptr;
    Compositor skipping(800, 600), blending(800, 600);
    for (Compositor* compositor : {&skipping, &blending}) {
        const TextureView* view = compositor == &skipping ? &spans : &whole;
        compositor->set_kernels(GetParam());
        compositor->clear(0xFF203040u);
        compositor->draw(quad(0, 0, 800, 600, 0xFF000000u), rect());
        for (int star = 0; star < 600; ++star)
            compositor->draw(quad(star * 37 % 800, star * 53 % 600, 4, 4, 0xFFC0C0C0u), rect());
        const TextureView* ground_view = compositor == &skipping ? &ground_runs : &ground_whole;
        compositor->draw(quad(-37, 250, 900, 300, 0xFFFFFFFFu), sprite(ground_view));
        compositor->draw(quad(-37, -11, 400, 300, 0xFFFFFFFFu), sprite(view));
        compositor->draw(quad(500, 350, 400, 300, 0xFFFFFFFFu), sprite(view));
        compositor->draw(quad(100, 200, 200, 150, 0xFFFFFFFFu, 0.25f, 0.25f, 0.75f, 0.75f), sprite(view));
    }
    const platform::FrameView a = skipping.frame(), b = blending.frame();
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            ASSERT_EQ(a.pixels[static_cast<std::size_t>(y) * (a.pitch / 4) + x],
                      b.pixels[static_cast<std::size_t>(y) * (b.pitch / 4) + x])
                << x << "," << y;
}

TEST_P(CompositorTest, OtherBlendFactorsTakeTheGeneralPath) {
    target.draw(quad(0, 0, 10, 10, 0xFF808080u), rect());
    DrawStates multiply = rect();
    multiply.source_blend = BLEND_DESTCOLOR;
    multiply.destination_blend = BLEND_ZERO;
    target.draw(quad(0, 0, 10, 10, 0xFF804020u), multiply);
    EXPECT_EQ(at(5, 5), 0xFF000000u | rounded(0x80, 0x80) << 16 | rounded(0x40, 0x80) << 8 | rounded(0x20, 0x80));
}

TEST_P(CompositorTest, TheClearAndItsRectanglesFillTheBackBuffer) {
    target.clear(0xFF204060u);
    EXPECT_EQ(at(799, 599), 0xFF204060u);
    target.fill(-10, -10, 5, 5, 0xFF0000FFu);
    target.fill(795, 595, 900, 900, 0xFF00FF00u);
    EXPECT_EQ(at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(at(4, 4), 0xFF0000FFu);
    EXPECT_EQ(at(5, 5), 0xFF204060u);
    EXPECT_EQ(at(799, 599), 0xFF00FF00u);
    EXPECT_EQ(at(794, 599), 0xFF204060u);
}

TEST_P(CompositorTest, AQuadOverAPendingClearBlendsOverTheClearColour) {
    target.clear(0xFF646464u);
    target.draw(quad(0, 0, 800, 600, 0x80000000u), rect());
    EXPECT_EQ(at(400, 300) & 0xFFFFFF, rounded(100, 127) * 0x010101u);
    target.clear(0xFF646464u);
    target.draw(quad(0, 0, 800, 600, 0xFF102030u), rect());
    EXPECT_EQ(at(0, 0), 0xFF102030u);
}

TEST_P(CompositorTest, QuadsFarOutsideAreClippedAndZeroSizedOnesDrawNothing) {
    target.draw(quad(-40000, -40000, 4, 4, 0xFFFFFFFFu), rect());
    target.draw(quad(40000, 300, 4, 4, 0xFFFFFFFFu), rect());
    target.draw(quad(100, 100, 0, 50, 0xFFFFFFFFu), rect());
    target.draw(quad(100, 100, 50, 0, 0xFFFFFFFFu), rect());
    target.draw(quad(-30000, 590, 60000, 30000, 0xFFFF0000u), rect());
    for (int y = 0; y < 590; ++y) EXPECT_TRUE(covered_columns(y).empty()) << y;
    EXPECT_EQ(covered_columns(599, 0xFFFF0000u).size(), 0u) << "the big quad covers the bottom rows, clipped";
    target.draw(quad(790, 590, 2000000000, 2000000000, 0xFF00FF00u), rect());
    EXPECT_EQ(at(799, 599), 0xFF00FF00u);
}

TEST_P(CompositorTest, NotANumberAndInfinityDrawNothingOrClip) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    QuadCorners bad = quad(0, 0, 10, 10, 0xFFFFFFFFu);
    bad.x[1] = bad.x[3] = nan;
    target.draw(bad, rect());
    QuadCorners huge = quad(0, 0, 10, 10, 0xFFFF0000u);
    huge.x[1] = huge.x[3] = inf;
    target.draw(huge, rect());
    QuadCorners nan_texture = quad(20, 20, 10, 10, 0xFFFFFFFFu, nan, nan, inf, -inf);
    const Texture texture(3, 3, [](int, int) { return 0xFF00FF00u; });
    target.draw(nan_texture, sprite(&texture.view));
    EXPECT_EQ(at(5, 5), 0xFFFF0000u);
    EXPECT_EQ(at(25, 25), 0xFF00FF00u) << "any texel of the texture, never outside it";
}

TEST_P(CompositorTest, AMissingTextureReadsAsOpaqueWhite) {
    TextureView empty;  // a texture that failed to load
    target.draw(quad(0, 0, 4, 4, 0xFF808080u), sprite(&empty));
    target.draw(quad(10, 0, 4, 4, 0xFF808080u), sprite(nullptr));
    EXPECT_EQ(at(1, 1), 0xFF808080u);
    EXPECT_EQ(at(11, 1), 0xFF808080u);
}

TEST_P(CompositorTest, TextureCoordinatesOutsideZeroToOneWrap) {
    const Texture texture(2, 1, [](int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    target.draw(quad(0, 0, 8, 1, 0xFFFFFFFFu, -1.0f, 0.0f, 3.0f, 1.0f), image(&texture.view));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(at(x, 0), x % 2 == 0 ? 0xFFFF0000u : 0xFF0000FFu) << x;
}

TEST_P(CompositorTest, ACulledTriangleLeavesHalfTheQuadAndTheDiagonalIsFilledOnce) {
    target.draw(quad(0, 0, 10, 10, 0xFFFFFFFFu), rect(), true, false);
    // The first triangle (top-left, top-right, bottom-left) keeps the pixels above the diagonal.
    EXPECT_EQ(at(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(at(8, 0), 0xFFFFFFFFu);
    EXPECT_EQ(at(9, 9), 0xFF000000u);
    target.draw(quad(0, 0, 10, 10, 0xFFFFFFFFu), rect(), false, false);
    // Both triangles through the general path cover the same pixels as the rectangle, each once.
    target.clear(0xFF000000u);
    target.draw(quad(100, 100, 10, 10, 0x80FFFFFFu), rect(), true, false);
    target.draw(quad(100, 100, 10, 10, 0x80FFFFFFu), rect(), false, true);
    for (int y = 95; y < 115; ++y)
        for (int x = 95; x < 115; ++x) {
            const bool inside = x >= 100 && x < 110 && y >= 100 && y < 110;
            EXPECT_EQ(at(x, y) & 0xFFFFFF, inside ? 0x808080u : 0u) << x << ", " << y;
        }
}

TEST_P(CompositorTest, AQuadOfFourColoursIsShadedAcrossTheSamePixels) {
    QuadCorners q = quad(10, 10, 4, 1, 0xFF000000u);
    q.colour[1] = q.colour[3] = 0xFF0000FFu;
    target.draw(q, image(nullptr));
    EXPECT_EQ(covered_columns(10, 0xFF000000u).size(), 3u) << "pixel 10 takes the black corner itself";
    EXPECT_EQ(at(10, 10), 0xFF000000u);
    EXPECT_EQ(at(12, 10), 0xFF000080u) << "half way: 127.5 rounds to 128";
    EXPECT_EQ(at(14, 10), 0xFF000000u);
}

TEST_P(CompositorTest, ARotatedQuadIsDrawnByItsTriangles) {
    QuadCorners q = quad(0, 0, 1, 1, 0xFFFFFFFFu);
    const float xs[4] = {50, 60, 40, 50}, ys[4] = {40, 50, 50, 60};  // a diamond, clockwise on screen
    for (int i = 0; i < 4; ++i) {
        q.x[i] = xs[i];
        q.y[i] = ys[i];
    }
    target.draw(q, rect());
    EXPECT_EQ(at(50, 50), 0xFFFFFFFFu);
    EXPECT_EQ(at(40, 50), 0xFFFFFFFFu) << "the left vertex lies on two left edges";
    EXPECT_EQ(at(50, 40), 0xFF000000u) << "the top vertex lies on a right edge too";
    EXPECT_EQ(at(41, 41), 0xFF000000u);
    EXPECT_EQ(at(50, 60), 0xFF000000u);
    int covered = 0;
    for (int y = 30; y < 70; ++y) covered += static_cast<int>(covered_columns(y).size());
    EXPECT_EQ(covered, 200) << "the diamond's area, each pixel once";
}

INSTANTIATE_TEST_SUITE_P(Kernels, CompositorTest,
                         ::testing::Values(Compositor::Kernels::portable, Compositor::Kernels::sse2),
                         [](const ::testing::TestParamInfo<Compositor::Kernels>& info) {
                             return std::string(info.param == Compositor::Kernels::sse2 ? "Sse2" : "Portable");
                         });

// The two sets of kernels agree to the bit on many random quads of every kind.
TEST(CompositorKernels, SseAndPortableGiveTheSamePixels) {
    if (!Compositor::has_sse2()) GTEST_SKIP() << "no SSE2 here";
    std::mt19937 random(7);
    Texture texture(37, 23, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 7919 + y * 104729) * 2654435761u);
    });
    Compositor portable(800, 600), sse2(800, 600);
    portable.set_kernels(Compositor::Kernels::portable);
    sse2.set_kernels(Compositor::Kernels::sse2);
    for (int i = 0; i < 3000; ++i) {
        const int x = static_cast<int>(random() % 900) - 50, y = static_cast<int>(random() % 700) - 50;
        const int w = static_cast<int>(random() % 200) - 40, h = static_cast<int>(random() % 200) - 40;
        const std::uint32_t colour = static_cast<std::uint32_t>(random());
        const float u0 = static_cast<float>(random() % 100) / 50.0f - 0.5f;
        const float u1 = static_cast<float>(random() % 100) / 50.0f - 0.5f;
        DrawStates states;
        switch (random() % 5) {
        case 0: states = image(&texture.view); break;
        case 1: states = sprite(&texture.view); break;
        case 2: states = additive(&texture.view); break;
        case 3: states = rect(); break;
        default: states = additive(nullptr); break;
        }
        const QuadCorners q = quad(x, y, w, h, colour, u0, 0.0f, u1, 1.0f);
        portable.draw(q, states);
        sse2.draw(q, states);
    }
    // And quads from anywhere: huge, inverted, not a number, texture coordinates far out.
    const float extremes[] = {0.0f, -1e9f, 1e9f, 3e38f, -3e38f, std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(), 799.5f, 600.0f, -0.5f};
    for (int i = 0; i < 2000; ++i) {
        QuadCorners q = quad(static_cast<int>(random() % 1000) - 100, static_cast<int>(random() % 800) - 100,
                             static_cast<int>(random() % 300) - 150, static_cast<int>(random() % 300) - 150,
                             static_cast<std::uint32_t>(random()));
        for (int v = 0; v < 4; ++v) {
            if (random() % 8 == 0) q.x[v] = extremes[random() % 10];
            if (random() % 8 == 0) q.y[v] = extremes[random() % 10];
            if (random() % 4 == 0) q.u[v] = extremes[random() % 10];
            if (random() % 4 == 0) q.v[v] = extremes[random() % 10];
        }
        const DrawStates states = random() % 2 == 0 ? sprite(&texture.view) : additive(&texture.view);
        const bool first = random() % 4 != 0, second = random() % 4 != 0;
        portable.draw(q, states, first, second);
        sse2.draw(q, states, first, second);
    }
    const platform::FrameView a = portable.frame(), b = sse2.frame();
    int differing = 0;
    for (int p = 0; p < 800 * 600; ++p) differing += a.pixels[p] != b.pixels[p];
    EXPECT_EQ(differing, 0);
}

// A frame made by the same calls since a full clear as the one before it is left as the target
// holds it; anything else that could change the picture draws it in full. Each case runs two
// frames on a compositor as the device drives it and on one told before every frame that
// everything changed: their pixels must agree, and only the first may reuse a frame.
TEST(CompositorReuse, AStillFrameIsLeftInItsTargetAndEveryChangeDrawsItAgain) {
    Texture texture(8, 8, [](int x, int y) { return 0x80000000u | static_cast<std::uint32_t>(x * 30 + y); });
    std::vector<std::uint32_t> other_target(800 * 600, 0u);
    struct Case {
        const char* what;
        void (*between)(Compositor&, Texture&, std::vector<std::uint32_t>&);  // after the first frame
        bool clear_second, fill_second;
        int change_second;  // SAME, MOVED, or RESTYLED: the second quad drawn with the first's states
        bool reused;
    };
    enum { SAME, MOVED, RESTYLED };
    auto nothing = [](Compositor&, Texture&, std::vector<std::uint32_t>&) {};
    const Case cases[] = {
        {"the same calls", nothing, true, false, SAME, true},
        {"a quad moved", nothing, true, false, MOVED, false},
        {"a quad drawn with the states of the one before it", nothing, true, false, RESTYLED, false},
        {"no clear: the quads blend over the last frame", nothing, false, false, SAME, false},
        {"a rectangle filled", nothing, true, true, SAME, false},
        {"a texture's pixels changed", [](Compositor& c, Texture& t, std::vector<std::uint32_t>&) {
             c.forget_shown();
             t.pixels[0] = 0xFF00FF00u;
         }, true, false, SAME, false},
        {"another target", [](Compositor& c, Texture&, std::vector<std::uint32_t>& buffer) {
             c.set_target(buffer.data(), 800);
         }, true, false, SAME, false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Texture used = texture;
        used.view.pixels = used.pixels.data();
        Compositor reusing{800, 600}, fresh{800, 600};
        auto draw_frame = [&](Compositor& c, bool clear, bool fill, int change) {
            if (clear) c.clear(0xFF102030u);
            c.draw(quad(change == MOVED ? 110 : 100, 50, 64, 64, 0xFFFFFFFFu), sprite(&used.view));
            c.draw(quad(300, 200, 40, 40, 0x80FF8040u), change == RESTYLED ? sprite(&used.view) : additive(nullptr));
            if (fill) c.fill(10, 10, 20, 20, 0xFFFFFFFFu);
        };
        draw_frame(reusing, true, false, SAME);
        draw_frame(fresh, true, false, SAME);
        reusing.frame();
        fresh.frame();
        test.between(reusing, used, other_target);
        draw_frame(reusing, test.clear_second, test.fill_second, test.change_second);
        draw_frame(fresh, test.clear_second, test.fill_second, test.change_second);
        fresh.forget_shown();
        const platform::FrameView a = reusing.frame(), b = fresh.frame();
        EXPECT_EQ(reusing.frames_reused(), test.reused ? 1u : 0u);
        EXPECT_EQ(fresh.frames_reused(), 0u);
        int differing = 0;
        for (int y = 0; y < 600; ++y)
            for (int x = 0; x < 800; ++x)
                differing += a.pixels[y * (a.pitch / 4) + x] != b.pixels[y * (b.pitch / 4) + x];
        EXPECT_EQ(differing, 0);
    }
}

}  // namespace
