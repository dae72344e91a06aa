#include <gtest/gtest.h>

#include <vector>

#include "presentation/starfield.h"
#include "gfx/graphics.h"
#include "support/game_fixture.h"
#include "support/world_setup.h"
#include "world/world.h"

namespace {

class Starfield : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        size_stages();
        // Park every star at a depth it cannot leave the hidden range from in a few frames.
        for (Star& star : world.stars) star = Star{0, 0, 5000, 0};
    }

    static std::vector<headless::QuadRecord> drawn() {
        const headless::DrawLog log = current_draws();
        return std::vector<headless::QuadRecord>(log.quads, log.quads + log.count);
    }
};

TEST_F(Starfield, StartUpDrawsFourNumbersPerStarSixtyThousandInAll) {
    zv::set_rand_state(1);
    init_starfield();
    // The first four draws are 41, 18467, 6334, 26500.
    EXPECT_EQ(world.stars[0].x, 41 % 1000 - 500);
    EXPECT_EQ(world.stars[0].y, 18467 % 1000 - 500);
    EXPECT_EQ(world.stars[0].z, 6334 % 10001);
    EXPECT_EQ(world.stars[0].brightness, 26500 % 1000);
    for (const Star& star : world.stars) {
        ASSERT_GE(star.x, -500);
        ASSERT_LE(star.x, 499);
        ASSERT_GE(star.y, -500);
        ASSERT_LE(star.y, 499);
        ASSERT_GE(star.z, 0);
        ASSERT_LE(star.z, 10000);
        ASSERT_GE(star.brightness, 0);
        ASSERT_LE(star.brightness, 999);
    }
    const uint32_t after_stars = zv::rand_state();
    zv::set_rand_state(1);
    for (int draw = 0; draw < 60000; ++draw) zv::rand();
    EXPECT_EQ(after_stars, zv::rand_state());
}

TEST_F(Starfield, AStarAtDepthTenThousandFirstShowsOnFrame902) {
    world.stars[0] = Star{0, 0, 10000, 255};
    world.stars[1] = Star{0, 0, 0, 255};  // reset at once, so it shows a frame later
    for (int frame = 1; frame <= 901; ++frame) {
        update_starfield();
        ASSERT_EQ(current_draws().count, 0) << "frame " << frame;
        end_frame();
        if (frame == 1) {
            EXPECT_EQ(world.stars[1].z, 10001);
        }
        for (int i = 2; i < STAR_COUNT; ++i) world.stars[i].z = 5000;
    }
    update_starfield();
    EXPECT_EQ(current_draws().count, 1);
    EXPECT_EQ(world.stars[0].z, 980);
    EXPECT_EQ(world.stars[1].z, 991);

    end_frame();
    for (int i = 2; i < STAR_COUNT; ++i) world.stars[i].z = 5000;
    update_starfield();
    EXPECT_EQ(current_draws().count, 2);
}

TEST_F(Starfield, TheCentreStarSitsOnTheStageMiddleAsAFourPixelSquare) {
    world.stars[0] = Star{0, 0, 500, 300};
    world.stars[1] = Star{0, 0, 999, 256};
    update_starfield();
    const auto quads = drawn();
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quads[0].x[0], 798);
    EXPECT_EQ(quads[0].y[0], 298);
    EXPECT_EQ(quads[0].x[3], 802);
    EXPECT_EQ(quads[0].y[3], 302);
    EXPECT_EQ(quads[0].texture, nullptr);
    EXPECT_EQ(quads[0].color, 0xFF2C2C2Cu);  // 300 mod 256 = 44: wrapped, not clamped
    EXPECT_EQ(quads[1].color, 0xFF000000u);  // 256 is black
}

TEST_F(Starfield, TheProductIsFormedBeforeTheDivision) {
    world.camera_x = 100;
    world.stars[0] = Star{499, 250, 990, 1};
    world.stars[1] = Star{-499, -250, 990, 1};
    update_starfield();
    const auto quads = drawn();
    ASSERT_EQ(quads.size(), 2u);
    // 499 * 800 / 990 = 403; 250 * 300 / 990 = 75; truncated toward zero on both sides.
    EXPECT_EQ(quads[0].x[0], 403 + 800 - 100 - 2);
    EXPECT_EQ(quads[0].y[0], 75 + 300 - 2);
    EXPECT_EQ(quads[1].x[0], -403 + 800 - 100 - 2);
    EXPECT_EQ(quads[1].y[0], -75 + 300 - 2);
}

TEST_F(Starfield, TheFieldIsCentredOnTheCurrentStage) {
    world.stage_index = 2;
    world.camera_x = 2400;
    world.stars[0] = Star{0, 0, 10, 1};
    update_starfield();
    const auto quads = drawn();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].x[0], 1600 - 2400 - 2);
    EXPECT_EQ(quads[0].y[0], 298);
}

TEST_F(Starfield, ADepthOneStarIsDrawnFarOffTheScreen) {
    world.stars[0] = Star{499, -500, 1, 7};
    update_starfield();
    const auto quads = drawn();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(quads[0].x[0], 499 * 800 + 800 - 2);
    EXPECT_EQ(quads[0].y[0], -500 * 300 + 300 - 2);
    EXPECT_EQ(world.stars[0].z, 10001);
}

TEST_F(Starfield, OnlyDepthsStrictlyBetweenZeroAndOneThousandShow) {
    world.stars[0] = Star{0, 0, 1000, 1};
    world.stars[1] = Star{0, 0, 999, 1};
    world.stars[2] = Star{0, 0, 10, 1};
    world.stars[3] = Star{0, 0, -3, 1};
    update_starfield();
    EXPECT_EQ(current_draws().count, 2);
    EXPECT_EQ(world.stars[0].z, 990);
    EXPECT_EQ(world.stars[1].z, 989);
    EXPECT_EQ(world.stars[2].z, 10001);
    EXPECT_EQ(world.stars[3].z, 10001);
}

}  // namespace
