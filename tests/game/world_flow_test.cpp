#include <gtest/gtest.h>

#include "app/app.h"
#include "support/game_fixture.h"
#include "support/world_setup.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

class WorldFlowTest : public GameFixture {};

TEST_F(WorldFlowTest, OpensOnTheTitleAndReleasesEnemiesAsThePlayerWalks) {
    start_game();
    expect_world_as_start_up_leaves_it();
    // Every enemy slot is preset in the first stage's bottom-right corner.
    for (const Enemy& e : world.enemies) {
        ASSERT_EQ(e.x, 1536);
        ASSERT_EQ(e.y, 536);
    }

    // Nothing moves on the title screen.
    hold_keys({DIK_D});
    ASSERT_TRUE(run_frame());
    EXPECT_FALSE(world.in_play);
    EXPECT_EQ(world.player_x, 0);

    // The Space frame already plays: the first wait holds while the player is still at 0.
    hold_keys({DIK_D, DIK_SPACE});
    ASSERT_TRUE(run_frame());
    EXPECT_TRUE(world.in_play);
    EXPECT_EQ(world.player_x, 4);
    EXPECT_EQ(world.script_cursor, 0);

    hold_keys({DIK_D});
    ASSERT_TRUE(run_frame());
    EXPECT_EQ(world.script_cursor, 1);
    ASSERT_TRUE(run_frame());
    EXPECT_EQ(world.enemies[0].active, 1);
    EXPECT_EQ(world.enemies[0].kind, eGreen);
    EXPECT_EQ(world.enemies[0].y, 118 - 5) << "spawned and moved in the same frame";
    const auto frame = presented_draws();
    int green = 0;
    for (int i = 0; i < frame.count; ++i) green += uses(frame.quads[i], world.enemy_sprites[eGreen]) ? 1 : 0;
    EXPECT_EQ(green, 1);
}

}  // namespace
