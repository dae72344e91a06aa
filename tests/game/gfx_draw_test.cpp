// The quad primitive and the five draw operations, as the device records them.
#include <gtest/gtest.h>

#include <d3dx9.h>

#include "gfx/graphics.h"
#include "gfx/sprite.h"
#include "support/game_fixture.h"

namespace {

class DrawTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        ASSERT_EQ(D3DXCreateTexture(world.d3d_device, 16, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &sprite_.texture),
                  D3D_OK);
        sprite_.width = 16;
        sprite_.height = 8;
    }
    void TearDown() override {
        if (world.d3d_device != nullptr) world.d3d_device->SetTexture(0, nullptr);
        if (sprite_.texture != nullptr) sprite_.texture->Release();
        GameFixture::TearDown();
    }
    static const headless::QuadRecord& last() {
        const headless::DrawLog log = current_draws();
        return log.quads[log.count - 1];
    }
    static int drawn() { return current_draws().count; }

    Sprite sprite_{};
};

TEST_F(DrawTest, TheFirstFrameAlreadyHasAnOpenScene) {
    draw_rect(0, 0, 800, 600, 0xFF000000u);
    EXPECT_EQ(drawn(), 1);
    end_frame();
    EXPECT_EQ(presented_draws().count, 1);
    EXPECT_EQ(headless::presented_frames(), 1);
    EXPECT_EQ(drawn(), 0) << "end_frame opens the next scene";
}

TEST_F(DrawTest, DrawQuadLaysOutTheStripCornersInOrder) {
    draw_quad(10, 20, 64, 32, 0x80402010u, 0.25f, 0.5f, 0.75f, 1.0f);
    const headless::QuadRecord& quad = last();
    const float x[4] = {10, 74, 10, 74}, y[4] = {20, 20, 52, 52};
    const float u[4] = {0.25f, 0.75f, 0.25f, 0.75f}, v[4] = {0.5f, 0.5f, 1.0f, 1.0f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(quad.x[i], x[i]) << i;
        EXPECT_EQ(quad.y[i], y[i]) << i;
        EXPECT_EQ(quad.u[i], u[i]) << i;
        EXPECT_EQ(quad.v[i], v[i]) << i;
    }
    EXPECT_EQ(quad.color, 0x80402010u);
}

TEST_F(DrawTest, EachOperationSetsItsOwnStatesAndInheritsTheRest) {
    draw_sprite_additive(0, 0, sprite_, 16, 8, 255);
    EXPECT_TRUE(last().blend);
    EXPECT_EQ(last().src_blend, static_cast<std::uint32_t>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_ONE));
    EXPECT_EQ(last().texture, sprite_.texture);

    draw_image(0, 0, sprite_);
    EXPECT_FALSE(last().blend) << "draw_image turns blending off";
    EXPECT_EQ(last().src_blend, static_cast<std::uint32_t>(D3DBLEND_SRCALPHA)) << "and leaves the factors as they were";
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_ONE));
    EXPECT_EQ(last().color, 0xFFFFFFFFu);
    EXPECT_EQ(last().x[3], 16.0f) << "at the sprite's own size";
    EXPECT_EQ(last().y[3], 8.0f);

    draw_rect(5, 6, 7, 8, 0x80FF0000u);
    EXPECT_TRUE(last().blend);
    EXPECT_EQ(last().src_blend, static_cast<std::uint32_t>(D3DBLEND_SRCALPHA));
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(last().texture, nullptr) << "draw_rect unbinds the texture";
    EXPECT_EQ(last().color, 0x80FF0000u);

    draw_sprite(3, 4, sprite_, 100);
    EXPECT_EQ(last().texture, sprite_.texture);
    EXPECT_TRUE(last().blend);
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(last().color, 0x64FFFFFFu);
    EXPECT_EQ(last().cull_mode, static_cast<std::uint32_t>(D3DCULL_CCW)) << "nothing so far touched culling";
}

TEST_F(DrawTest, AMirroredQuadIsCulledUntilTheFirstSizedSpriteTurnsCullingOff) {
    world.d3d_device->SetTexture(0, sprite_.texture);
    draw_quad(100, 0, -16, 8, 0xFFFFFFFFu, 0, 0, 1, 1);
    EXPECT_TRUE(last().culled);
    draw_sprite(100, 0, sprite_, 255);
    EXPECT_FALSE(last().culled) << "the ordinary sprite runs clockwise";

    draw_sprite_sized(100, 0, sprite_, -16, 8, 255);
    EXPECT_FALSE(last().culled);
    EXPECT_EQ(last().cull_mode, static_cast<std::uint32_t>(D3DCULL_NONE));
    EXPECT_EQ(last().x[0], 100.0f);
    EXPECT_EQ(last().x[1], 84.0f) << "spans x - width to x";

    end_frame();
    draw_image(0, 0, sprite_);
    draw_quad(100, 0, -16, 8, 0xFFFFFFFFu, 0, 0, 1, 1);
    EXPECT_FALSE(last().culled) << "nothing turns culling back on";
    EXPECT_EQ(last().cull_mode, static_cast<std::uint32_t>(D3DCULL_NONE));
}

TEST_F(DrawTest, OnlyTheLowByteOfAlphaCounts) {
    draw_sprite(0, 0, sprite_, 256);
    EXPECT_EQ(last().color, 0x00FFFFFFu) << "256 is invisible";
    draw_sprite(0, 0, sprite_, -1);
    EXPECT_EQ(last().color, 0xFFFFFFFFu) << "-1 is opaque";
    draw_sprite_sized(0, 0, sprite_, 4, 4, 0x1234580);
    EXPECT_EQ(last().color, 0x80FFFFFFu);
    draw_sprite_additive(0, 0, sprite_, 4, 4, 0);
    EXPECT_EQ(last().color, 0x00FFFFFFu);
}

TEST_F(DrawTest, AnUnloadedSpriteDrawsNothingAtAnySizeButStillSetsItsStates) {
    const Sprite missing{};
    draw_sprite_additive(0, 0, sprite_, 16, 8, 255);
    const int before = drawn();
    draw_image(10, 10, missing);
    draw_sprite(10, 10, missing, 255);
    draw_sprite_sized(10, 10, missing, -300, 200, 255);
    draw_sprite_sized(10, 10, missing, 0x7FFFFFFF, 0x7FFFFFFF, -1);
    draw_sprite_additive(10, 10, missing, 64, 64, 255);
    EXPECT_EQ(drawn(), before);

    // The states persist on the device, so the next quad sees what the skipped draws set.
    draw_quad(0, 0, -4, 4, 0xFFFFFFFFu, 0, 0, 1, 1);
    EXPECT_EQ(last().texture, nullptr);
    EXPECT_EQ(last().cull_mode, static_cast<std::uint32_t>(D3DCULL_NONE));
    EXPECT_EQ(last().dest_blend, static_cast<std::uint32_t>(D3DBLEND_ONE));
}

}  // namespace
