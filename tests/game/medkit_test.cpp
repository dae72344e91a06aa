#include <gtest/gtest.h>

#include <vector>

#include "combat/medkit.h"
#include "gfx/sprite.h"
#include "gfx/graphics.h"
#include "support/game_fixture.h"
#include "support/world_draws.h"
#include "support/world_setup.h"
#include "world/world.h"

namespace {

using world_draws::corner;
using world_draws::Corner;

class MedkitTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        size_stages();
        world.player_health = 100;
        world.player_x = 0;
        world.player_y = 268;
        world.medkit_sprite = make_sprite(32, 32);
    }

    static void place_medkit(int32_t x, int32_t y, int32_t vx, int32_t vy) {
        world.medkit = Medkit{x, y, 1, 0, vx, vy};
    }

    static int medkit_draws() {
        int count = 0;
        const headless::DrawLog log = current_draws();
        for (int i = 0; i < log.count; ++i) count += log.quads[i].texture == world.medkit_sprite.texture ? 1 : 0;
        return count;
    }

    // Puts the player where the medkit's centre will lie inside its box after this frame's
    // move, and runs the frame.
    static void step_onto_medkit() {
        world.player_x = world.medkit.x + world.medkit.vx + 16 - 32;
        world.player_y = world.medkit.y + world.medkit.vy + 16 - 32;
        update_medkit();
    }
};

TEST_F(MedkitTest, StartUpTakesFourDrawsInTheOrderXYVxVy) {
    world.medkit.respawn_countdown = 7;
    zv::set_rand_state(1);  // the draws 41, 18467, 6334, 26500 follow
    init_medkit();
    EXPECT_EQ(world.medkit.x, 41 % 1600);
    EXPECT_EQ(world.medkit.y, 18467 % 600);
    EXPECT_EQ(world.medkit.vx, 6334 % 10 - 5);
    EXPECT_EQ(world.medkit.vy, 26500 % 10 - 5);
    EXPECT_EQ(world.medkit.visible, 1);
    EXPECT_EQ(world.medkit.respawn_countdown, 7);
    EXPECT_EQ(zv::rand(), 19169);  // exactly four were used
}

TEST_F(MedkitTest, StartUpPlacesItInTheCurrentStage) {
    world.stage_index = 1;
    zv::set_rand_state(1);
    init_medkit();
    EXPECT_EQ(world.medkit.x, 41 % 2400);
    EXPECT_EQ(world.medkit.y, 18467 % 600);
}

TEST_F(MedkitTest, APickupAtNinetyFiveHealsToOneHundredNotMore) {
    world.player_health = 95;
    place_medkit(500, 300, 2, -3);
    step_onto_medkit();
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(world.medkit.visible, 0);
    EXPECT_EQ(world.medkit.respawn_countdown, 149);
    EXPECT_EQ(medkit_draws(), 0);
}

TEST_F(MedkitTest, AtFullHealthItStaysVisibleUndrawnAndDriftsOn) {
    place_medkit(500, 300, 2, -3);
    step_onto_medkit();
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(world.medkit.visible, 1);
    EXPECT_EQ(world.medkit.respawn_countdown, 0);
    EXPECT_EQ(world.medkit.x, 502);
    EXPECT_EQ(world.medkit.y, 297);
    EXPECT_EQ(medkit_draws(), 0);
}

TEST_F(MedkitTest, TheCentreMustLieInThePlayersBoxEdgesIncluded) {
    struct Case {
        int32_t player_x, player_y;
        bool picks_up;
    };
    // Medkit at (500, 300): centre (516, 316).
    const Case cases[] = {
        {516, 316, true}, {452, 252, true}, {517, 316, false}, {516, 317, false}, {451, 300, false}, {500, 251, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "player at " << c.player_x << ", " << c.player_y);
        world.player_health = 50;
        world.player_x = c.player_x;
        world.player_y = c.player_y;
        place_medkit(500, 300, 0, 0);
        update_medkit();
        EXPECT_EQ(world.player_health, c.picks_up ? 60 : 50);
    }
}

TEST_F(MedkitTest, ItReturnsAfterOneHundredFortyNineFrames) {
    world.player_health = 40;
    place_medkit(800, 300, 0, 0);
    step_onto_medkit();  // frame F
    ASSERT_EQ(world.player_health, 50);
    world.player_x = 0;
    for (int frame = 1; frame <= 148; ++frame) {
        end_frame();
        update_medkit();
        ASSERT_EQ(world.medkit.visible, 0) << "frame F+" << frame;
        ASSERT_EQ(world.medkit.respawn_countdown, 149 - frame);
        ASSERT_EQ(medkit_draws(), 0);
    }

    // F+149: the pickup test runs while it is still invisible, then it shows again.
    end_frame();
    step_onto_medkit();
    EXPECT_EQ(world.player_health, 50);
    EXPECT_EQ(world.medkit.visible, 1);
    EXPECT_EQ(world.medkit.respawn_countdown, 0);
    EXPECT_EQ(medkit_draws(), 1);

    end_frame();
    update_medkit();  // F+150
    EXPECT_EQ(world.player_health, 60);
    EXPECT_EQ(world.medkit.visible, 0);
}

TEST_F(MedkitTest, ADeadPlayerSeesItAndIsHealedByIt) {
    world.player_health = 0;
    place_medkit(300, 300, 4, 0);
    world.player_x = 900;
    update_medkit();
    EXPECT_EQ(medkit_draws(), 1);

    step_onto_medkit();
    EXPECT_EQ(world.player_health, 10);
}

TEST_F(MedkitTest, ItIsDrawnAtItsWorldPositionAfterTheMove) {
    world.player_health = 99;
    world.camera_x = 300;
    world.player_x = 1200;
    place_medkit(700, 100, -3, 2);
    update_medkit();
    const headless::DrawLog log = current_draws();
    ASSERT_EQ(log.count, 1);
    EXPECT_EQ(corner(log.quads[0]), (Corner{397, 102}));
    EXPECT_EQ(log.quads[0].color, 0xFFFFFFFFu);
}

TEST_F(MedkitTest, ItBouncesOffWidthWAndHeightHMinusThirtyOne) {
    place_medkit(1598, 567, 2, 2);
    update_medkit();  // (1600, 569): on both limits, nothing flips
    EXPECT_EQ(world.medkit.vx, 2);
    EXPECT_EQ(world.medkit.vy, 2);
    update_medkit();  // (1602, 571): both beyond
    EXPECT_EQ(world.medkit.vx, -2);
    EXPECT_EQ(world.medkit.vy, -2);
    update_medkit();
    EXPECT_EQ(world.medkit.x, 1600);
    EXPECT_EQ(world.medkit.y, 569);
}

TEST_F(MedkitTest, CrossingAnEdgeFromInsideComesStraightBack) {
    place_medkit(3, 2, -4, -5);
    update_medkit();
    EXPECT_EQ(world.medkit.x, -1);
    EXPECT_EQ(world.medkit.y, -3);
    EXPECT_EQ(world.medkit.vx, 4);
    EXPECT_EQ(world.medkit.vy, 5);
    update_medkit();
    EXPECT_EQ(world.medkit.x, 3);
    EXPECT_EQ(world.medkit.y, 2);
}

TEST_F(MedkitTest, OutsideTheBounceRectangleItShuttlesInPlace) {
    // Left beyond a narrower stage (back in stage 0 from a wider one) and in the bottom rows.
    place_medkit(2000, 580, -4, 3);
    std::vector<int32_t> xs;
    std::vector<int32_t> ys;
    for (int frame = 0; frame < 4; ++frame) {
        update_medkit();
        xs.push_back(world.medkit.x);
        ys.push_back(world.medkit.y);
    }
    EXPECT_EQ(xs, (std::vector<int32_t>{1996, 2000, 1996, 2000}));
    EXPECT_EQ(ys, (std::vector<int32_t>{583, 580, 583, 580}));
}

}  // namespace
