#include <gtest/gtest.h>

#include <cstring>

#include "combat/explosions.h"
#include "support/game_fixture.h"
#include "support/world_setup.h"
#include "world/enemies.h"
#include "world/spawn.h"
#include "world/stages.h"
#include "world/world.h"
#include "support/world_draws.h"

namespace {

using namespace world_draws;

constexpr int BOSS_SPRITE = 6;

class EnemyTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        init_title();
        init_stages();
        init_enemies();
        init_explosions();
        // Free slots at x 0 show no kill message, which keeps each frame's drawing small.
        std::memset(static_cast<void*>(world.enemies), 0, sizeof world.enemies);
        world.level = 1;
        world.in_play = true;
        world.player_health = 100;
        world.player_x = 1000;
        world.player_y = 300;
    }

    static const Sprite& boss_sprite() { return world.enemy_sprites[BOSS_SPRITE]; }
};

class EnemyStartTest : public GameFixture {};

TEST_F(EnemyStartTest, PresetsEverySlotFreeInTheCornerWith1500Draws) {
    init_stages();
    for (Enemy& e : world.enemies) e.active = 1;
    init_enemies();
    for (int i = 0; i < ENEMY_SPRITE_COUNT; ++i) EXPECT_NE(world.enemy_sprites[i].texture, nullptr) << i;
    // The first three numbers of the sequence are 41, 18467, 6334; then 26500, 19169, 15724.
    EXPECT_EQ(world.enemies[0].kind, 5);
    EXPECT_EQ(world.enemies[0].vx, -3);
    EXPECT_EQ(world.enemies[0].vy, 4);
    EXPECT_EQ(world.enemies[1].kind, 4);
    EXPECT_EQ(world.enemies[1].vx, -1);
    EXPECT_EQ(world.enemies[1].vy, -6);
    for (const Enemy& e : world.enemies) {
        ASSERT_EQ(e.active, 0);
        ASSERT_EQ(e.x, 1536);
        ASSERT_EQ(e.y, 536);
        ASSERT_GE(e.kind, 0);
        ASSERT_LE(e.kind, 5);
        ASSERT_GE(e.vx, -10);
        ASSERT_LE(e.vx, 9);
    }
    const uint32_t after = zv::rand_state();
    zv::set_rand_state(1);
    for (int i = 0; i < 1500; ++i) zv::rand();
    EXPECT_EQ(after, zv::rand_state());
}

TEST_F(EnemyTest, HomingStepsAreTruncatedTowardZero) {
    const struct {
        int32_t dx, dy;  // enemy position relative to the player
        int32_t level;
        int32_t step_x, step_y;
    } cases[] = {
        {0, 0, 1, 4, 0},        // atan2(0, 0) is 0: straight right
        {0, 0, 2, 8, 0},
        {-100, -100, 1, 2, 2},  // 45 degrees: trunc(2.83) is 2
        {-100, -100, 3, 6, 6},
        {100, 100, 1, -2, -2},  // toward zero, not down: -2, not -3
        {200, 0, 1, -4, 0},     // straight left: sin(pi) in single precision truncates to 0
        {0, 200, 1, 0, -4},     // straight up
        {0, -200, 1, 0, 4},
    };
    for (const auto& c : cases) {
        world.level = c.level;
        Enemy& e = place_enemy(0, eRed, world.player_x + c.dx, world.player_y + c.dy, 7, -7);
        update_enemies();
        EXPECT_EQ(e.x, world.player_x + c.dx + c.step_x) << c.dx << "," << c.dy << " level " << c.level;
        EXPECT_EQ(e.y, world.player_y + c.dy + c.step_y) << c.dx << "," << c.dy << " level " << c.level;
        EXPECT_EQ(e.vx, 7) << "homing ignores its velocity inside the stage";
    }
}

TEST_F(EnemyTest, StraightMoversBounceOnlyOncePastAnEdge) {
    world.player_x = 800;
    world.player_y = 300;
    const struct {
        int32_t start, velocity;
        int32_t end, velocity_after;
    } x_cases[] = {
        {1535, 1, 1536, 1},  // exactly W - 64: stays
        {1536, 1, 1537, -1},
        {1, -1, 0, -1},      // exactly 0: stays
        {0, -1, -1, 1},
    };
    for (const auto& c : x_cases) {
        Enemy& e = place_enemy(0, eGreen, c.start, 100, c.velocity, 0);
        update_enemies();
        EXPECT_EQ(e.x, c.end);
        EXPECT_EQ(e.vx, c.velocity_after) << "from x " << c.start;
        EXPECT_EQ(e.vy, 0);
    }
    const struct {
        int32_t start, velocity;
        int32_t end, velocity_after;
    } y_cases[] = {
        {535, 1, 536, 1},
        {536, 1, 537, -1},
        {1, -1, 0, -1},
        {0, -1, -1, 1},
    };
    for (const auto& c : y_cases) {
        Enemy& e = place_enemy(0, eBlue, 100, c.start, 0, c.velocity);
        update_enemies();
        EXPECT_EQ(e.y, c.end);
        EXPECT_EQ(e.vy, c.velocity_after) << "from y " << c.start;
        EXPECT_EQ(e.vx, 0);
    }

    // Outside, the position is not corrected: the mover walks back in at its level's speed.
    world.level = 2;
    Enemy& e = place_enemy(0, eWhite, 1540, 100, 5, 0);
    update_enemies();
    EXPECT_EQ(e.x, 1550);
    EXPECT_EQ(e.vx, -5);
    update_enemies();
    EXPECT_EQ(e.x, 1540);
    EXPECT_EQ(e.vx, 5) << "still outside after the step back, so it flips again";
}

TEST_F(EnemyTest, ContactReachesExactlyFiftyPixels) {
    const struct {
        int32_t dx, dy;
        bool touches;
    } cases[] = {
        {50, 50, true}, {-50, -50, true}, {51, 0, false}, {0, 51, false}, {-51, 0, false}, {0, -51, false},
    };
    for (const auto& c : cases) {
        world.player_health = 100;
        std::memset(static_cast<void*>(world.explosions), 0, sizeof world.explosions);
        Enemy& e = place_enemy(3, eGreen, world.player_x + c.dx, world.player_y + c.dy);
        update_enemies();
        EXPECT_EQ(world.player_health, c.touches ? 95 : 100) << c.dx << "," << c.dy;
        EXPECT_EQ(e.active, c.touches ? 0 : 1) << c.dx << "," << c.dy;
        EXPECT_EQ(world.explosions[0].active, c.touches ? 1 : 0);
        if (c.touches) {
            EXPECT_EQ(world.explosions[0].x, e.x);
            EXPECT_EQ(world.explosions[0].y, e.y);
        }
    }
}

TEST_F(EnemyTest, ATouchingEnemyIsSeenOnItsLastFrameAndHealthStopsAtZero) {
    world.player_health = 3;
    world.camera_x = 600;
    place_enemy(0, eWhite, world.player_x + 10, world.player_y + 10);
    place_enemy(1, eRed, world.player_x + 400, world.player_y);
    const auto quads = drawn_by([] { update_enemies(); });
    EXPECT_EQ(world.player_health, 0);
    EXPECT_EQ(world.enemies[0].active, 0);
    // The removed enemy, then the later slot over it; x 1010 ends in 0, so no kill message.
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_TRUE(uses(quads[0], world.enemy_sprites[eWhite]));
    EXPECT_EQ(left(quads[0]), 410.0f);
    EXPECT_EQ(top(quads[0]), 310.0f);
    EXPECT_TRUE(quads[0].blend);
    EXPECT_EQ(alpha(quads[0]), 255u);
    EXPECT_TRUE(uses(quads[1], world.enemy_sprites[eRed]));
}

TEST_F(EnemyTest, KindsWithoutAnImageMoveAndHurtUnseen) {
    Enemy& e = place_enemy(0, 7, world.player_x + 60, world.player_y, -5, 0);
    const auto quads = drawn_by([] { update_enemies(); });
    EXPECT_EQ(e.x, world.player_x + 55);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_TRUE(quads.empty());
    update_enemies();
    EXPECT_EQ(world.player_health, 95);
    EXPECT_EQ(e.active, 0);
}

TEST_F(EnemyTest, TheBossStrikesWithALongerVerticalReachAndJumps) {
    // Straight below the player: it homes 4 pixels up to a distance of exactly 64.
    Enemy& boss = place_enemy(0, manbearpig, world.player_x, world.player_y + 69);
    zv::set_rand_state(1);
    update_enemies();
    EXPECT_EQ(boss.y, world.player_y + 65);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(zv::rand(), 41) << "no contact, no draw from the generator";

    place_enemy(0, manbearpig, world.player_x, world.player_y + 68);
    world.player_health = 8;
    world.camera_x = 700;
    zv::set_rand_state(1);
    zv::rand();  // the jump then reads 18467 (odd: left) and 6334 (even: down)
    const auto quads = drawn_by([] { update_enemies(); });
    EXPECT_EQ(world.player_health, 0);
    EXPECT_EQ(boss.active, 1) << "contact never removes the boss";
    EXPECT_EQ(world.explosions[0].active, 1);
    EXPECT_EQ(world.explosions[0].x, 1000);
    EXPECT_EQ(world.explosions[0].y, 364);
    EXPECT_EQ(boss.x, world.player_x - 200);
    EXPECT_EQ(boss.y, world.player_y + 200);
    EXPECT_EQ(zv::rand(), 26500) << "exactly two numbers drawn";

    ASSERT_EQ(count_using(quads, boss_sprite()), 2) << "seen where it was and where it landed";
    EXPECT_EQ(left(quads[0]), 300.0f);
    EXPECT_EQ(top(quads[0]), 364.0f);
    EXPECT_EQ(left(quads[1]), 100.0f);
    EXPECT_EQ(top(quads[1]), 500.0f);
    EXPECT_EQ(width(quads[0]), static_cast<float>(boss_sprite().width));
    EXPECT_EQ(width(quads[1]), static_cast<float>(boss_sprite().width));
}

TEST_F(EnemyTest, BossReachesFiftyPixelsAcrossAndFacesItsVelocity) {
    // Right of the player: it homes 4 pixels left, to 50 and to 51 pixels.
    Enemy& boss = place_enemy(0, manbearpig, world.player_x + 55, world.player_y, 1, 0);
    world.camera_x = 500;
    const auto quads = drawn_by([] { update_enemies(); });
    EXPECT_EQ(boss.x, world.player_x + 51);
    EXPECT_EQ(world.player_health, 100);
    ASSERT_EQ(quads.size(), 2u) << "drawn twice even without contact";
    for (const Quad& q : quads) {
        EXPECT_TRUE(uses(q, boss_sprite()));
        EXPECT_EQ(left(q), 551.0f);
        EXPECT_EQ(width(q), -static_cast<float>(boss_sprite().width)) << "vx >= 1 mirrors it";
        EXPECT_EQ(height(q), static_cast<float>(boss_sprite().height));
    }

    boss.vx = 0;
    boss.x = world.player_x + 54;
    zv::set_rand_state(1);
    const auto struck = drawn_by([] { update_enemies(); });
    EXPECT_EQ(world.player_health, 90);
    ASSERT_EQ(struck.size(), 2u);
    EXPECT_EQ(width(struck[0]), static_cast<float>(boss_sprite().width));
}

TEST_F(EnemyTest, KillMessagesFollowTheLastDigitOfX) {
    const char* const messages[10] = {nullptr,   "OWNED!!",       "HEADSHOT!!!!", "PWNT!!", "DOMINATION!",
                                      "MONSTERMASH!", "THWAP!!", "BOP!!!!!",     "BAMF!!", nullptr};
    world.camera_x = 1000;
    for (int digit = 0; digit < 10; ++digit) {
        Enemy& slot = world.enemies[0];
        slot.x = 1230 + digit;
        slot.y = 77;
        slot.death_frames = 0;
        const auto quads = drawn_by([] { update_enemies(); });
        EXPECT_EQ(slot.death_frames, 1);
        if (messages[digit] == nullptr) {
            EXPECT_TRUE(quads.empty()) << "x " << slot.x;
            continue;
        }
        const auto expected = drawn_by([&] { draw_text(230 + digit, 77, messages[digit], world.font, 0xFFFFFFFFu); });
        expect_same_quads(quads, expected);
    }
    for (int32_t x : {-3, -1, -11}) {
        world.enemies[0].x = x;
        world.enemies[0].death_frames = 0;
        EXPECT_TRUE(drawn_by([] { update_enemies(); }).empty()) << "x " << x;
    }
}

TEST_F(EnemyTest, KillMessagesFadeOverFiftyOneFramesThenVanishAndTheAgeStopsAt51) {
    Enemy& slot = world.enemies[0];
    slot.x = 1231;
    slot.y = 50;
    for (int frame = 0; frame < 60; ++frame) {
        const auto quads = drawn_by([] { update_enemies(); });
        if (frame >= 51) {
            // Faded out: alpha 0 would show nothing, so it is not drawn at all.
            EXPECT_TRUE(quads.empty()) << "frame " << frame;
            continue;
        }
        ASSERT_FALSE(quads.empty()) << "frame " << frame;
        EXPECT_EQ(quads[0].color, static_cast<uint32_t>(255 - 5 * frame) * 0x01010101u) << "frame " << frame;
    }
    EXPECT_EQ(slot.death_frames, 51);
}

TEST_F(EnemyTest, AReusedSlotStopsItsMessageAtOnce) {
    Enemy& slot = world.enemies[0];
    slot.x = 1233;
    slot.y = 50;
    ASSERT_FALSE(drawn_by([] { update_enemies(); }).empty());

    world.player_x = 1;  // past stage 0's first mark; its first spawn takes the lowest free slot
    set_script_cursor(1);
    run_spawn_script();
    ASSERT_EQ(slot.active, 1);
    const auto quads = drawn_by([] { update_enemies(); });
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_TRUE(uses(quads[0], world.enemy_sprites[eGreen]));
}

TEST_F(EnemyTest, AnEnemyRemovedByContactShowsItsMessageTheSameFrame) {
    place_enemy(0, eGreen, world.player_x + 1, world.player_y);  // x 1001: "OWNED!!"
    world.enemies[0].death_frames = 0;
    const auto quads = drawn_by([] { update_enemies(); });
    ASSERT_GE(quads.size(), 2u);
    EXPECT_TRUE(uses(quads[0], world.enemy_sprites[eGreen]));
    EXPECT_TRUE(uses(quads[1], world.font.texture));
    EXPECT_EQ(world.enemies[0].death_frames, 1);
}

}  // namespace
