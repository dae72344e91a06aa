#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "combat/player.h"
#include "support/game_fixture.h"
#include "world/stages.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

struct Spot {
    int32_t x;
    int32_t y;
    bool operator==(const Spot&) const = default;
};

void PrintTo(const Spot& spot, std::ostream* out) { *out << "(" << spot.x << ", " << spot.y << ")"; }

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

    // Holds exactly these keys for n frames; where the player then stands.
    static Spot after_holding(std::initializer_list<int> codes, int n) {
        hold(codes);
        frames(n);
        return Spot{world.player_x, world.player_y};
    }
};

TEST_F(PlayerTest, StartsAtItsPlaceWithFullHealth) {
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 268);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_NE(world.player_sprite.texture, nullptr);
}

TEST_F(PlayerTest, EachEdgeLetsOneWholeStepPast) {
    EXPECT_EQ(after_holding({DIK_W}, 200).y, -4);
    EXPECT_EQ(after_holding({DIK_S}, 200).y, 540);
    world.player_x = 0;
    EXPECT_EQ(after_holding({DIK_A}, 1).x, -4);
    EXPECT_EQ(after_holding({DIK_A}, 5).x, -4);
    EXPECT_EQ(after_holding({DIK_D}, 1000).x, 1540);
    world.stage_index = 2;
    EXPECT_EQ(after_holding({DIK_D}, 1000).x, 3140) << "bounds follow the current stage";
}

TEST_F(PlayerTest, ArrowKeysMoveLikeLetters) {
    world.player_x = 100;
    world.player_y = 100;
    EXPECT_EQ(after_holding({DIK_UP}, 1), (Spot{100, 96}));
    EXPECT_EQ(after_holding({DIK_DOWN}, 2), (Spot{100, 104}));
    EXPECT_EQ(after_holding({DIK_LEFT}, 1), (Spot{96, 104}));
    EXPECT_EQ(after_holding({DIK_RIGHT}, 2), (Spot{104, 104}));
}

TEST_F(PlayerTest, StepGrowsWithTheLevel) {
    world.level = 3;
    world.player_x = 100;
    EXPECT_EQ(after_holding({DIK_D, DIK_S}, 1), (Spot{112, 280}));
    EXPECT_EQ(after_holding({DIK_A, DIK_W}, 2), (Spot{88, 256}));
}

TEST_F(PlayerTest, OppositeKeysCancelExceptPastAnEdge) {
    const std::initializer_list<int> all = {DIK_W, DIK_S, DIK_A, DIK_D};
    world.player_x = 100;
    world.player_y = 100;
    EXPECT_EQ(after_holding(all, 3), (Spot{100, 100}));

    // Beyond the top and left edges only the step back inside happens.
    world.player_x = -4;
    world.player_y = -4;
    EXPECT_EQ(after_holding(all, 1), (Spot{0, 0}));
    EXPECT_EQ(after_holding(all, 1), (Spot{0, 0}));

    // At the bottom edge the up step makes room for the down step.
    world.player_y = 540;
    EXPECT_EQ(after_holding(all, 1).y, 540);
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
