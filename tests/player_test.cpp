#include <gtest/gtest.h>

#include <cstring>

#include "combat/player.h"
#include "support/game_fixture.h"
#include "world/stages.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

class PlayerTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_stages();
        init_player();
        world.level = 1;
    }

    static void hold(std::initializer_list<int> codes) {
        std::memset(world.keys, 0, sizeof world.keys);
        for (int code : codes) world.keys[code] = 0x80;
    }

    static void frames(int n) {
        for (int i = 0; i < n; ++i) update_player();
    }
};

TEST_F(PlayerTest, StartsAtItsPlaceWithFullHealth) {
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 268);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_NE(world.player_sprite.texture, nullptr);
}

TEST_F(PlayerTest, EachEdgeLetsOneWholeStepPast) {
    hold({DIK_W});
    frames(200);
    EXPECT_EQ(world.player_y, -4);

    hold({DIK_S});
    frames(200);
    EXPECT_EQ(world.player_y, 540);

    world.player_x = 0;
    hold({DIK_A});
    frames(1);
    EXPECT_EQ(world.player_x, -4);
    frames(5);
    EXPECT_EQ(world.player_x, -4);

    hold({DIK_D});
    frames(1000);
    EXPECT_EQ(world.player_x, 1540);

    world.stage_index = 2;
    frames(1000);
    EXPECT_EQ(world.player_x, 3140) << "bounds follow the current stage";
}

TEST_F(PlayerTest, ArrowKeysMoveLikeLetters) {
    world.player_x = 100;
    world.player_y = 100;
    hold({DIK_UP});
    frames(1);
    EXPECT_EQ(world.player_y, 96);
    hold({DIK_DOWN});
    frames(2);
    EXPECT_EQ(world.player_y, 104);
    hold({DIK_LEFT});
    frames(1);
    EXPECT_EQ(world.player_x, 96);
    hold({DIK_RIGHT});
    frames(2);
    EXPECT_EQ(world.player_x, 104);
}

TEST_F(PlayerTest, StepGrowsWithTheLevel) {
    world.level = 3;
    world.player_x = 100;
    hold({DIK_D, DIK_S});
    frames(1);
    EXPECT_EQ(world.player_x, 112);
    EXPECT_EQ(world.player_y, 280);
    hold({DIK_A, DIK_W});
    frames(2);
    EXPECT_EQ(world.player_x, 88);
    EXPECT_EQ(world.player_y, 256);
}

TEST_F(PlayerTest, OppositeKeysCancelExceptPastAnEdge) {
    hold({DIK_W, DIK_S, DIK_A, DIK_D});
    world.player_x = 100;
    world.player_y = 100;
    frames(3);
    EXPECT_EQ(world.player_x, 100);
    EXPECT_EQ(world.player_y, 100);

    // Beyond the top and left edges only the step back inside happens.
    world.player_x = -4;
    world.player_y = -4;
    frames(1);
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 0);
    frames(1);
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 0);

    // At the bottom edge the up step makes room for the down step.
    world.player_y = 540;
    frames(1);
    EXPECT_EQ(world.player_y, 540);
}

TEST_F(PlayerTest, DrawnBeforeItMovesAndStillWhenDead) {
    world.player_x = 500;
    world.player_y = 200;
    world.camera_x = 132;
    hold({DIK_D});
    auto quads = drawn_by([] { update_player(); });
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_TRUE(uses(quads[0], world.player_sprite));
    EXPECT_EQ(left(quads[0]), 368.0f);
    EXPECT_EQ(top(quads[0]), 200.0f);
    EXPECT_TRUE(quads[0].blend);
    EXPECT_EQ(alpha(quads[0]), 255u);
    EXPECT_EQ(world.player_x, 504);

    world.player_health = 0;
    hold({DIK_D, DIK_W});
    quads = drawn_by([] { update_player(); });
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_EQ(left(quads[0]), 372.0f);
    EXPECT_EQ(world.player_x, 504);
    EXPECT_EQ(world.player_y, 200);
}

}  // namespace
