#include <gtest/gtest.h>

#include "support/game_fixture.h"
#include "world/spawn.h"
#include "world/stages.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

class StageTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_title();
        init_stages();
        world.in_play = true;
        world.player_health = 100;
        world.player_y = 268;
    }

    static int32_t width_of(int stage) { return world.stages[stage].width; }

    // Height, health and score unlike their start-up values, to show which a change keeps:
    // player_y 123, player_health 40, score 77.
    static void set_apart_from_start_up() {
        world.player_y = 123;
        world.player_health = 40;
        world.score = 77;
    }

    // In this stage, on the first x from which its exit is taken.
    static void stand_at_the_exit_of(int stage) {
        world.stage_index = stage;
        world.player_x = width_of(stage) - 64;
    }

    static void press_space() {
        world.prev_keys[DIK_SPACE] = 0;
        world.keys[DIK_SPACE] = 0x80;
    }
};

TEST_F(StageTest, StagesAreTwoThreeAndFourScreensWide) {
    EXPECT_EQ(world.level, 1);
    for (int i = 0; i < STAGE_COUNT; ++i) {
        EXPECT_EQ(world.stages[i].width, (i + 2) * 800);
        EXPECT_EQ(world.stages[i].height, 600);
        EXPECT_NE(world.stages[i].sprite.texture, nullptr) << "bg" << i << ".tga";
    }
}

TEST_F(StageTest, CameraCentresThePlayerWithinEachStage) {
    world.enemies[ENEMY_COUNT - 1].active = 1;  // keeps the stage from ending at its right edge
    for (int stage = 0; stage < STAGE_COUNT; ++stage) {
        SCOPED_TRACE(stage);
        world.stage_index = stage;
        const int32_t right_limit = width_of(stage) - 800;
        const struct {
            int32_t player_x, camera_x;
        } cases[] = {
            {0, 0},
            {367, 0},
            {368, 0},
            {369, 1},
            {400, 32},
            {right_limit + 367, right_limit - 1},
            {right_limit + 368, right_limit},
            {width_of(stage) - 64, right_limit},
            {width_of(stage) + 500, right_limit},
            {-4, 0},
        };
        for (const auto& c : cases) {
            world.player_x = c.player_x;
            update_stage();
            EXPECT_EQ(world.camera_x, c.camera_x) << "player_x " << c.player_x;
        }
        EXPECT_EQ(world.stage_index, stage);
    }
    EXPECT_EQ(world.camera_y, 0);
}

TEST_F(StageTest, BackgroundIsBlendedAtMinusTheCamera) {
    world.enemies[0].active = 1;
    world.player_x = 1000;
    const auto quads = drawn_by([] { update_stage(); });
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_TRUE(uses(quads[0], world.stages[0].sprite));
    EXPECT_EQ(left(quads[0]), -632.0f);
    EXPECT_EQ(top(quads[0]), 0.0f);
    EXPECT_TRUE(quads[0].blend);
    EXPECT_EQ(alpha(quads[0]), 255u);
}

TEST_F(StageTest, AnyLiveEnemyAnywhereBlocksTheExit) {
    stand_at_the_exit_of(0);
    world.enemies[ENEMY_COUNT - 1].active = 1;
    world.enemies[ENEMY_COUNT - 1].x = -5000;  // far off screen still counts
    update_stage();
    EXPECT_EQ(world.stage_index, 0);
    EXPECT_EQ(world.player_x, width_of(0) - 64);

    world.enemies[ENEMY_COUNT - 1].active = 0;
    world.player_x = width_of(0) - 65;
    update_stage();
    EXPECT_EQ(world.stage_index, 0);
}

TEST_F(StageTest, ClearingAStageMovesToTheNextAndKeepsTheRest) {
    stand_at_the_exit_of(0);
    set_apart_from_start_up();
    world.rocket_ammo = 2;
    world.script_cursor = 30;  // the script need not have finished
    const auto quads = drawn_by([] { update_stage(); });
    EXPECT_EQ(world.stage_index, 1);
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.camera_x, 0);
    EXPECT_EQ(world.script_cursor, 0);
    EXPECT_EQ(world.player_y, 123);
    EXPECT_EQ(world.player_health, 40);
    EXPECT_EQ(world.score, 77);
    EXPECT_EQ(world.rocket_ammo, 2);
    EXPECT_EQ(world.level, 1);
    EXPECT_TRUE(world.in_play);
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_TRUE(uses(quads[0], world.stages[1].sprite)) << "the new stage is drawn at once";
    EXPECT_EQ(left(quads[0]), 0.0f);

    stand_at_the_exit_of(1);
    update_stage();
    EXPECT_EQ(world.stage_index, 2);
}

TEST_F(StageTest, CompletingTheThirdStageRaisesTheLevelAndShowsTheTitle) {
    stand_at_the_exit_of(2);
    set_apart_from_start_up();
    update_stage();
    EXPECT_EQ(world.level, 2);
    EXPECT_EQ(world.stage_index, 0);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 123);
    EXPECT_EQ(world.score, 77);
    EXPECT_EQ(world.script_cursor, 0);
    EXPECT_FALSE(world.in_play);

    const auto title = drawn_by([] { update_title(); });
    ASSERT_GE(title.size(), 2u);
    EXPECT_TRUE(uses(title[0], world.title_sprite));
    EXPECT_FALSE(title[0].blend) << "the title picture is drawn opaque";
    EXPECT_EQ(left(title[0]), 0.0f);
    EXPECT_EQ(top(title[0]), 0.0f);
    EXPECT_EQ(width(title[0]), static_cast<float>(world.title_sprite.width));

    const auto expected = drawn_by([] { draw_text_scaled(150, 500, "welcome to level 2", world.font, 0xFF000000u, 4); });
    expect_same_quads(std::vector<Quad>(title.begin() + 1, title.end()), expected);
}

TEST_F(StageTest, SpaceTogglesPlayOncePerPress) {
    world.in_play = false;
    press_space();
    const auto starting = drawn_by([] { update_title(); });
    EXPECT_TRUE(world.in_play);
    EXPECT_FALSE(starting.empty()) << "the frame that starts play still shows the title";

    world.prev_keys[DIK_SPACE] = 0x80;  // still held on the next frame
    update_title();
    EXPECT_TRUE(world.in_play);

    press_space();
    const auto pausing = drawn_by([] { update_title(); });
    EXPECT_FALSE(world.in_play);
    EXPECT_TRUE(pausing.empty()) << "the frame that pauses shows nothing yet";

    world.keys[DIK_SPACE] = 0;
    const auto paused = drawn_by([] { update_title(); });
    EXPECT_FALSE(world.in_play);
    EXPECT_FALSE(paused.empty());
}

TEST_F(StageTest, TitleAnnouncesTheCurrentLevel) {
    world.in_play = false;
    world.level = 12;
    const auto title = drawn_by([] { update_title(); });
    ASSERT_FALSE(title.empty());
    const auto expected = drawn_by([] { draw_text_scaled(150, 500, "welcome to level 12", world.font, 0xFF000000u, 4); });
    expect_same_quads(std::vector<Quad>(title.begin() + 1, title.end()), expected);
}

}  // namespace
