// Real pixels: the draw operations rendered and read back. Each case runs on our own compositor,
// whose pixels are exact (tolerance 0), and on the GPU path through SDL's offscreen driver: on the
// renderer SDL picks (OpenGL through EGL) and on SDL's software renderer, which the layer feeds
// copies and filled rectangles instead of triangles.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <d3dx9.h>
#include <headless.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "sdl_window.h"
#include "gfx/graphics.h"
#include "gfx/sprite.h"
#include "support/game_fixture.h"

namespace {

struct Colour {
    int r, g, b;
};

::testing::AssertionResult looks_like(std::uint32_t pixel, Colour expected, int tolerance = 2) {
    const Colour actual{static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                        static_cast<int>(pixel & 0xFF)};
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << actual.r << ", " << actual.g << ", " << actual.b
                                         << "), expected (" << expected.r << ", " << expected.g << ", "
                                         << expected.b << ")";
}

constexpr Colour BLACK{0, 0, 0};
constexpr Colour WHITE{255, 255, 255};
constexpr Colour RED{255, 0, 0};
constexpr Colour BLUE{0, 0, 255};

class RenderTest : public ::testing::TestWithParam<std::string> {
protected:
    bool compositor() const { return GetParam() == "compositor"; }
    // The compositor's pixels are exact; the GPU path's blending may round either way.
    int tolerance() const { return compositor() ? 0 : 2; }

    void SetUp() override {
        headless::set_mode(headless::Mode::render);
        reset_world();
        if (!compositor()) SDL_SetHint("ZORVALEN_PRESENTATION", "gpu");
        if (GetParam() == "software") SDL_SetHint(SDL_HINT_RENDER_DRIVER, GetParam().c_str());
        world.main_window = CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 100, 100, 640, 480, nullptr,
                                            nullptr, nullptr, nullptr);
        ASSERT_NE(world.main_window, nullptr) << SDL_GetError();
        create_graphics(800, 600, true);
        ASSERT_NE(world.d3d_device, nullptr) << SDL_GetError();
        if (compositor()) {
            EXPECT_EQ(platform::main_sdl_window(), nullptr) << "the compositor needs no window system";
            return;
        }
        SDL_RendererInfo info{};
        ASSERT_EQ(SDL_GetRendererInfo(SDL_GetRenderer(platform::main_sdl_window()), &info), 0);
        if (GetParam() == "gpu")
            EXPECT_NE(info.flags & SDL_RENDERER_ACCELERATED, 0u) << "the render mode draws with OpenGL";
        else
            EXPECT_EQ(GetParam(), info.name);
    }
    void TearDown() override {
        if (world.d3d_device != nullptr) world.d3d_device->SetTexture(0, nullptr);
        for (Sprite& sprite : sprites_)
            if (sprite.texture != nullptr) sprite.texture->Release();
        release_graphics();
        SDL_ResetHint(SDL_HINT_RENDER_DRIVER);
        SDL_ResetHint("ZORVALEN_PRESENTATION");
        headless::set_mode(headless::Mode::record);
    }

    Sprite make_sprite(int width, int height, const std::function<std::uint32_t(int, int)>& texel) {
        Sprite sprite{nullptr, width, height};
        EXPECT_EQ(D3DXCreateTexture(world.d3d_device, width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    &sprite.texture),
                  D3D_OK);
        fill(sprite, texel);
        sprites_.push_back(sprite);
        return sprite;
    }
    static void fill(const Sprite& sprite, const std::function<std::uint32_t(int, int)>& texel) {
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(sprite.texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int y = 0; y < sprite.height; ++y)
            for (int x = 0; x < sprite.width; ++x)
                reinterpret_cast<std::uint32_t*>(static_cast<char*>(locked.pBits) + y * locked.Pitch)[x] =
                    texel(x, y);
        sprite.texture->UnlockRect(0);
    }
    Sprite solid(std::uint32_t argb) {
        return make_sprite(8, 8, [argb](int, int) { return argb; });
    }

    // Presents the frame drawn so far and keeps its picture.
    void present() {
        headless::capture_next_present();
        end_frame();
        pixels_ = headless::captured_pixels(&width_, &height_);
        ASSERT_NE(pixels_, nullptr);
        ASSERT_EQ(width_, 800);
        ASSERT_EQ(height_, 600);
    }
    std::uint32_t at(int x, int y) const { return pixels_[y * width_ + x]; }

    std::vector<Sprite> sprites_;
    const std::uint32_t* pixels_ = nullptr;
    int width_ = 0, height_ = 0;
};

TEST_P(RenderTest, RectanglesCoverExactlyTheirPixelsInTheirColour) {
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_rect(100, 50, 20, 10, 0xFF336699u);
    present();
    EXPECT_TRUE(looks_like(at(100, 50), {0x33, 0x66, 0x99}, 0));
    EXPECT_TRUE(looks_like(at(119, 59), {0x33, 0x66, 0x99}, 0));
    EXPECT_TRUE(looks_like(at(120, 50), BLACK, 0));
    EXPECT_TRUE(looks_like(at(99, 50), BLACK, 0));
    EXPECT_TRUE(looks_like(at(100, 60), BLACK, 0));
    EXPECT_TRUE(looks_like(at(100, 49), BLACK, 0));
}

TEST_P(RenderTest, AnImageShowsEveryTexelOpaqueInItsOwnPlace) {
    // Distinct texels, some with alpha 0: draw_image ignores alpha.
    const Sprite image = make_sprite(4, 2, [](int x, int y) {
        return static_cast<std::uint32_t>((x * 60) << 16 | (y * 200) << 8 | (x + 1) * 50) | (x == 1 ? 0u : 0xFF000000u);
    });
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_image(10, 20, image);
    draw_sprite_sized(100, 100, image, 12, 6, 255);  // each texel becomes a 3 x 3 block
    draw_image(0, 0, image);  // the top-left corner of the screen is pixel (0, 0)
    present();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            const Colour texel{x * 60, y * 200, (x + 1) * 50};
            EXPECT_TRUE(looks_like(at(10 + x, 20 + y), texel, 0)) << x << ", " << y;
            EXPECT_TRUE(looks_like(at(x, y), texel, 0)) << x << ", " << y;
            if (x != 1) {  // where the texel's alpha is 255
                EXPECT_TRUE(looks_like(at(100 + 3 * x, 100 + 3 * y), texel, 0)) << x << ", " << y;
                EXPECT_TRUE(looks_like(at(102 + 3 * x, 102 + 3 * y), texel, 0)) << x << ", " << y;
            }
        }
    EXPECT_TRUE(looks_like(at(14, 20), BLACK, 0));
    EXPECT_TRUE(looks_like(at(10, 22), BLACK, 0));
    EXPECT_TRUE(looks_like(at(112, 100), BLACK, 0));
}

TEST_P(RenderTest, HalfAlphaDarkensAndTransparentTexelsLeaveTheBackground) {
    const Sprite white = solid(0xFFFFFFFFu);
    const Sprite clear = solid(0x00FF0000u);
    draw_rect(0, 0, 800, 600, 0xFFFFFFFFu);
    draw_rect(0, 0, 400, 600, 0x80000000u);
    draw_rect(500, 0, 100, 100, 0xFF000000u);
    draw_sprite(500, 0, white, 128);
    draw_sprite(520, 0, white, 256);  // only the low byte counts: invisible
    draw_sprite(540, 0, white, -1);   // opaque
    draw_sprite(560, 0, clear, 255);
    present();
    EXPECT_TRUE(looks_like(at(10, 10), {127, 127, 127}, tolerance()));
    EXPECT_TRUE(looks_like(at(410, 10), WHITE, 0));
    EXPECT_TRUE(looks_like(at(504, 4), {128, 128, 128}, tolerance()));
    EXPECT_TRUE(looks_like(at(524, 4), BLACK, 0));
    EXPECT_TRUE(looks_like(at(544, 4), WHITE, 0));
    EXPECT_TRUE(looks_like(at(564, 4), BLACK, 0));
}

TEST_P(RenderTest, AdditiveSpritesBrightenByTheirAlphaAndNeverDarken) {
    const Sprite white = solid(0xFFFFFFFFu);
    const Sprite half_red = solid(0x80FF0000u);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_rect(0, 0, 100, 100, 0xFF643200u);
    draw_sprite_additive(0, 0, white, 50, 50, 128);
    draw_rect(200, 0, 100, 100, 0xFFC8C8C8u);
    draw_sprite_additive(200, 0, white, 50, 50, 128);
    draw_sprite_additive(400, 0, half_red, 50, 50, 255);  // texel alpha counts too
    present();
    EXPECT_TRUE(looks_like(at(10, 10), {100 + 128, 50 + 128, 128}, tolerance()));
    EXPECT_TRUE(looks_like(at(60, 60), {100, 50, 0}, 0));
    EXPECT_TRUE(looks_like(at(210, 10), WHITE, tolerance())) << "saturates at white";
    EXPECT_TRUE(looks_like(at(410, 10), {128, 0, 0}, tolerance()));
}

TEST_P(RenderTest, AMirroredSizedSpriteIsVisibleAndFlipped) {
    const Sprite halves = make_sprite(2, 1, [](int x, int) { return x == 0 ? 0xFFFF0000u : 0xFF0000FFu; });
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_sprite_sized(100, 10, halves, 20, 10, 255);
    draw_sprite_sized(300, 10, halves, -20, 10, 255);
    present();
    EXPECT_TRUE(looks_like(at(105, 15), RED, 0));
    EXPECT_TRUE(looks_like(at(115, 15), BLUE, 0));
    EXPECT_TRUE(looks_like(at(285, 15), BLUE, 0)) << "mirrored: spans 280..299 with the right half first";
    EXPECT_TRUE(looks_like(at(295, 15), RED, 0));
    EXPECT_TRUE(looks_like(at(279, 15), BLACK, 0));
    EXPECT_TRUE(looks_like(at(300, 15), BLACK, 0));
}

TEST_P(RenderTest, AMirroredQuadIsCulledUntilCullingIsTurnedOff) {
    const Sprite white = solid(0xFFFFFFFFu);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_image(0, 0, white);  // binds the texture, blending off
    draw_quad(120, 10, -20, 20, 0xFFFFFFFFu, 0, 0, 1, 1);
    draw_quad(200, 10, 20, 20, 0xFFFFFFFFu, 0, 0, 1, 1);
    present();
    EXPECT_TRUE(looks_like(at(110, 20), BLACK, 0));
    EXPECT_TRUE(looks_like(at(210, 20), WHITE, 0));

    draw_sprite_sized(0, 0, white, 1, 1, 255);
    draw_quad(120, 10, -20, 20, 0xFFFFFFFFu, 0, 0, 1, 1);
    present();
    EXPECT_TRUE(looks_like(at(110, 20), WHITE, 0));
}

TEST_P(RenderTest, TheVertexColourTintsTheTexture) {
    const Sprite white = solid(0xFFFFFFFFu);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_image(0, 0, white);
    draw_quad(10, 10, 20, 20, 0xFF808040u, 0, 0, 1, 1);
    present();
    EXPECT_TRUE(looks_like(at(15, 15), {128, 128, 64}, tolerance()));
}

TEST_P(RenderTest, LaterQuadsCoverEarlierOnesAcrossTexturesAndStates) {
    const Sprite red = solid(0xFFFF0000u);
    const Sprite blue = solid(0xFF0000FFu);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    for (int i = 0; i < 300; ++i) {
        const int x = (i % 30) * 10;
        switch (i % 3) {
        case 0: draw_sprite(x, 0, red, 255); break;
        case 1: draw_rect(x, 0, 8, 8, 0xFF00FF00u); break;
        default: draw_image(x, 0, blue); break;
        }
    }
    present();
    // The last of the ten quads at each place decides its colour.
    for (int column = 0; column < 30; ++column) {
        const int last = 270 + column;
        const Colour expected = last % 3 == 0 ? RED : last % 3 == 1 ? Colour{0, 255, 0} : BLUE;
        EXPECT_TRUE(looks_like(at(column * 10 + 4, 4), expected, 0)) << column;
    }
}

TEST_P(RenderTest, AQuadShowsItsTextureAsItWasWhenItWasDrawn) {
    const Sprite changing = solid(0xFFFF0000u);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_sprite(0, 0, changing, 255);
    fill(changing, [](int, int) { return 0xFF0000FFu; });
    draw_sprite(20, 0, changing, 255);
    present();
    EXPECT_TRUE(looks_like(at(4, 4), RED, 0));
    EXPECT_TRUE(looks_like(at(24, 4), BLUE, 0));
}

TEST_P(RenderTest, TheClearColourFillsTheFrameAndThePictureIsOnlyReadWhenAsked) {
    present();  // nothing drawn: end_frame's clear, opaque black
    EXPECT_TRUE(looks_like(at(400, 300), BLACK, 0));
    world.d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF204060u, 1.0f, 0);
    present();
    EXPECT_TRUE(looks_like(at(799, 599), {0x20, 0x40, 0x60}, 0));
    end_frame();
    EXPECT_EQ(headless::presented_frames(), 3);
    EXPECT_TRUE(looks_like(headless::captured_pixels(nullptr, nullptr)[0], {0x20, 0x40, 0x60}, 0))
        << "the last capture stays until the next one";
}

TEST_P(RenderTest, BadInputDrawsWhatTheDeviceWouldAndNothingElse) {
    const Sprite missing{nullptr, 0, 0};  // a file that failed to load
    const Sprite white = solid(0xFFFFFFFFu);
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    draw_sprite(10, 10, missing, 255);                 // no area
    draw_sprite_sized(100, 10, missing, 20, 20, 255);  // the game draws no sprite that never loaded
    draw_rect(-40000, -30000, 4, 4, 0xFFFFFFFFu);      // a star far off the screen
    draw_rect(30000, 300, 4, 4, 0xFFFFFFFFu);
    draw_sprite_sized(200, 10, white, 0, 20, 255);
    draw_sprite_sized(300, 10, white, 20, -20, 255);  // mirrored top to bottom: 300..319 x -10..9
    draw_sprite(400, 10, white, 511);                  // low byte 255: opaque
    draw_sprite(500, 10, white, -256);                 // low byte 0: invisible
    draw_rect(790, 590, 100000, 100000, 0xFF0000FFu);
    present();
    EXPECT_TRUE(looks_like(at(12, 12), BLACK, 0));
    EXPECT_TRUE(looks_like(at(110, 20), BLACK, 0));
    EXPECT_TRUE(looks_like(at(200, 20), BLACK, 0));
    EXPECT_TRUE(looks_like(at(310, 5), WHITE, 0));
    EXPECT_TRUE(looks_like(at(310, 10), BLACK, 0));
    EXPECT_TRUE(looks_like(at(404, 14), WHITE, 0));
    EXPECT_TRUE(looks_like(at(504, 14), BLACK, 0));
    EXPECT_TRUE(looks_like(at(799, 599), BLUE, 0));
    EXPECT_TRUE(looks_like(at(0, 0), BLACK, 0));
}

INSTANTIATE_TEST_SUITE_P(Renderers, RenderTest,
                         ::testing::Values(std::string("compositor"), std::string("gpu"), std::string("software")),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
