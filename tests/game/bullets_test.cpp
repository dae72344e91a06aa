#include <gtest/gtest.h>

#include <vector>

#include "combat/bullets.h"
#include "gfx/sprite.h"
#include "support/combat_fixture.h"
#include "support/world_draws.h"
#include "world/world.h"

namespace {

using world_draws::corner;
using world_draws::Corner;

class Bullets : public CombatFixture {
protected:
    void SetUp() override {
        CombatFixture::SetUp();
        stand_aiming_right(100);  // centre (132, 300)
        world.bullet_sprite = make_sprite(8, 8);
        world.crosshair_sprite = make_sprite(32, 32);
        count_plays_of(world.bullet_sound);
    }

    // A bullet standing still at a point, so that its move leaves it there.
    static Bullet& place_bullet(int slot, int32_t x, int32_t y) {
        Bullet& bullet = world.bullets[slot];
        bullet = Bullet{0, 0, x, y, 1};
        return bullet;
    }

    static int active_bullets() {
        int count = 0;
        for (const Bullet& bullet : world.bullets) count += bullet.active;
        return count;
    }
};

TEST_F(Bullets, StartUpClearsEverySlotButNotTheCooldown) {
    world.bullet_cooldown = 4;
    for (Bullet& bullet : world.bullets) bullet = Bullet{3, 4, 5, 6, 1};
    init_bullets();
    for (const Bullet& bullet : world.bullets) {
        EXPECT_EQ(bullet.active, 0);
        EXPECT_EQ(bullet.x, 0);
        EXPECT_EQ(bullet.y, 0);
        EXPECT_EQ(bullet.vx, 3);  // untouched
    }
    EXPECT_EQ(world.bullet_cooldown, 4);
}

TEST_F(Bullets, HeldButtonFiresOnTheFirstFrameThenEveryTenth) {
    world.mouse_left = 128;
    std::vector<int> shot_frames;
    for (int frame = 0; frame < 31; ++frame) {
        const int plays_before = sounds.plays;
        update_bullets();
        if (world.bullet_cooldown == 9) shot_frames.push_back(frame);
        EXPECT_LE(sounds.plays - plays_before, 1);
    }
    EXPECT_EQ(shot_frames, (std::vector<int>{0, 10, 20, 30}));
    EXPECT_EQ(sounds.plays, 4);
}

TEST_F(Bullets, PressingAgainFiresAtOnceOnlyOnceTheCooldownIsSpent) {
    world.mouse_left = 128;
    update_bullets();
    ASSERT_EQ(world.bullet_cooldown, 9);
    world.mouse_left = 0;
    for (int frame = 0; frame < 4; ++frame) update_bullets();
    EXPECT_EQ(world.bullet_cooldown, 5);
    world.mouse_left = 128;
    for (int frame = 0; frame < 5; ++frame) update_bullets();
    EXPECT_EQ(world.bullet_cooldown, 0);
    EXPECT_EQ(sounds.plays, 1);
    update_bullets();
    EXPECT_EQ(sounds.plays, 2);
    EXPECT_EQ(world.bullet_cooldown, 9);
}

TEST_F(Bullets, ANewBulletLeavesTheCentreAndIsDrawnThereOnce) {
    world.camera_x = 50;
    world.mouse_left = 128;
    update_bullets();
    const Bullet& bullet = world.bullets[0];
    ASSERT_EQ(bullet.active, 1);
    EXPECT_EQ(bullet.vx, 25);
    EXPECT_EQ(bullet.vy, 0);
    EXPECT_EQ(bullet.x, 132 + 25);  // already moved once
    EXPECT_EQ(bullet.y, 300);
    const auto drawn = quads_of(world.bullet_sprite);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(corner(drawn[0]), (Corner{132 - 50, 300}));  // drawn at the centre, before the move
}

TEST_F(Bullets, CrosshairSitsOnTheCursorWithoutTheCamera) {
    world.camera_x = 300;
    world.cursor_x = 417;
    world.cursor_y = 123;
    world.player_health = 0;  // drawn while dead as well
    update_bullets();
    const auto drawn = quads_of(world.crosshair_sprite);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(corner(drawn[0]), (Corner{417, 123}));
    EXPECT_EQ(drawn[0].x[3], 417 + 32);
    EXPECT_EQ(drawn[0].color, 0xFFFFFFFFu);
}

TEST_F(Bullets, WithEverySlotInFlightNothingFiresUntilOneIsFree) {
    for (int slot = 0; slot < BULLET_COUNT; ++slot) place_bullet(slot, 132, 300);
    world.mouse_left = 128;
    update_bullets();
    EXPECT_EQ(sounds.plays, 0);
    EXPECT_EQ(world.bullet_cooldown, 0);
    EXPECT_EQ(active_bullets(), BULLET_COUNT);

    // The lowest free slot is taken, and the attempt has repeated every frame meanwhile.
    world.bullets[80].active = 0;
    world.bullets[37].active = 0;
    update_bullets();
    EXPECT_EQ(sounds.plays, 1);
    EXPECT_EQ(world.bullet_cooldown, 9);
    EXPECT_EQ(world.bullets[37].active, 1);
    EXPECT_EQ(world.bullets[37].vx, 25);
    EXPECT_EQ(world.bullets[80].active, 0);
}

TEST_F(Bullets, ADeadPlayerCannotFireButBulletsFlyAndHit) {
    world.player_health = 0;
    world.mouse_left = 128;
    world.bullet_cooldown = 3;
    Enemy& enemy = place_enemy(0, eRed, 300, 280);
    world.bullets[5] = Bullet{20, 0, 290, 300, 1};
    update_bullets();
    EXPECT_EQ(sounds.plays, 0);
    EXPECT_EQ(world.bullet_cooldown, 2);  // the cooldown still runs down
    EXPECT_EQ(active_bullets(), 0);       // the one in flight hit
    EXPECT_EQ(world.bullets[5].x, 310);
    EXPECT_EQ(enemy.hp, 2);
    EXPECT_EQ(world.score, 1);
}

TEST_F(Bullets, RangeKeepsFourHundredFiftyAndDropsOneSquareMore) {
    // Squared distances from the centre (132, 300): 202500, 202500, 202501, and one that
    // overflows 32 bits.
    place_bullet(0, 132 + 450, 300);
    place_bullet(1, 132 - 270, 300 + 360);
    place_bullet(2, 132 + 450, 300 - 1);
    place_bullet(3, 132 + 46341, 300);
    update_bullets();
    EXPECT_EQ(world.bullets[0].active, 1);
    EXPECT_EQ(world.bullets[1].active, 1);
    EXPECT_EQ(world.bullets[2].active, 0);
    EXPECT_EQ(world.bullets[3].active, 0);
}

TEST_F(Bullets, ABulletRetiredByRangeStillHitsInThatFrame) {
    Enemy& enemy = place_enemy(9, eGreen, 132 + 440, 290);
    world.bullets[0] = Bullet{25, 0, 132 + 425, 300 - 1, 1};  // moves to squared distance 202501
    update_bullets();
    EXPECT_EQ(world.bullets[0].active, 0);
    EXPECT_EQ(enemy.hp, 2);
    EXPECT_EQ(enemy.death_frames, 0);
    EXPECT_EQ(world.score, 1);
}

TEST_F(Bullets, TheBodyBoxIncludesItsRightAndBottomEdges) {
    struct Point {
        int32_t x, y;
        bool hits;
    };
    const Point points[] = {
        {200, 250, true},  {264, 314, true},  {264, 250, true},  {200, 314, true},
        {265, 280, false}, {230, 315, false}, {199, 280, false}, {230, 249, false},
    };
    for (const Point& point : points) {
        SCOPED_TRACE(::testing::Message() << "bullet at " << point.x << ", " << point.y);
        Enemy& enemy = place_enemy(0, eBlue, 200, 250);
        place_bullet(0, point.x, point.y);
        update_bullets();
        EXPECT_EQ(enemy.hp, point.hits ? 2 : 3);
        EXPECT_EQ(world.bullets[0].active, point.hits ? 0 : 1);
    }
}

TEST_F(Bullets, ThreeBodyHitsKillForThreeTimesTheLevel) {
    world.level = 2;
    Enemy& enemy = place_enemy(4, eWhite, 200, 260);
    for (int hit = 1; hit <= 3; ++hit) {
        SCOPED_TRACE(hit);
        enemy.death_frames = 9;
        place_bullet(0, 230, 290);
        update_bullets();
        EXPECT_EQ(world.bullets[0].active, 0);
        EXPECT_EQ(enemy.hp, 3 - hit);
        EXPECT_EQ(enemy.death_frames, 0);
        EXPECT_EQ(world.score, 2 * hit);
        EXPECT_EQ(enemy.active, hit < 3 ? 1 : 0);
    }
    // The explosion is centred on the enemy's top-left corner.
    EXPECT_EQ(world.explosions[0].active, 1);
    EXPECT_EQ(world.explosions[0].x, 200);
    EXPECT_EQ(world.explosions[0].y, 260);
    EXPECT_EQ(world.explosions[1].active, 0);
}

TEST_F(Bullets, AScorePastTheTopOfThirtyTwoBitsWrapsRound) {
    // Only a restart clears the score; a long enough game carries it past 2^31.
    world.level = 3;
    world.score = INT32_MAX - 1;
    place_enemy(4, eWhite, 200, 260);
    place_bullet(0, 230, 290);
    update_bullets();
    EXPECT_EQ(world.score, INT32_MIN + 1);
}

TEST_F(Bullets, TheBossUpperPartIsABodyHitAndABossHit) {
    world.level = 3;
    Enemy& boss = place_enemy(2, manbearpig, 300, 200);
    for (int hit = 1; hit <= 3; ++hit) {
        place_bullet(0, 310, 210);
        update_bullets();
        EXPECT_EQ(world.bullets[0].active, 0);
    }
    // Killed through its hp: level points per hit and no boss award; the killing hit
    // leaves boss_hp alone because the boss test sees the slot already free.
    EXPECT_EQ(boss.active, 0);
    EXPECT_EQ(boss.hp, 0);
    EXPECT_EQ(boss.boss_hp, 48);
    EXPECT_EQ(world.score, 9);
}

TEST_F(Bullets, TheBossLowerPartOnlyWearsDownBossHpAndTheBulletFliesOn) {
    world.level = 2;
    Enemy& boss = place_enemy(0, manbearpig, 300, 200);
    boss.boss_hp = 3;
    place_bullet(0, 364, 328);  // the bottom-right corner of the 64 x 128 box
    update_bullets();
    update_bullets();
    EXPECT_EQ(world.bullets[0].active, 1);
    EXPECT_EQ(boss.hp, 3);
    EXPECT_EQ(boss.boss_hp, 1);
    EXPECT_EQ(boss.death_frames, 7);
    EXPECT_EQ(world.score, 0);

    update_bullets();
    EXPECT_EQ(boss.boss_hp, 0);
    EXPECT_EQ(boss.active, 0);
    EXPECT_EQ(world.bullets[0].active, 0);
    EXPECT_EQ(world.score, 100);
    EXPECT_EQ(world.explosions[0].active, 1);
    EXPECT_EQ(world.explosions[0].x, 300);

    // Just below the box nothing happens.
    Enemy& other = place_enemy(1, manbearpig, 300, 200);
    place_bullet(1, 330, 329);
    update_bullets();
    EXPECT_EQ(other.boss_hp, 50);
    EXPECT_EQ(world.bullets[1].active, 1);
}

TEST_F(Bullets, OnlyKindElevenAndAboveHasTheTallBox) {
    Enemy& enemy = place_enemy(0, eThinDark, 300, 200);
    place_bullet(0, 330, 300);
    update_bullets();
    EXPECT_EQ(enemy.boss_hp, 50);
    EXPECT_EQ(enemy.hp, 3);
    EXPECT_EQ(world.bullets[0].active, 1);
}

TEST_F(Bullets, OverlappingEnemiesAreBothStruckAndFreeSlotsAreSkipped) {
    Enemy& first = place_enemy(3, eRed, 200, 250);
    Enemy& freed = place_enemy(5, eRed, 210, 260);
    freed.active = 0;
    Enemy& second = place_enemy(7, eGreen, 220, 270);
    place_bullet(0, 240, 290);
    update_bullets();
    EXPECT_EQ(first.hp, 2);
    EXPECT_EQ(freed.hp, 3);
    EXPECT_EQ(second.hp, 2);
    EXPECT_EQ(world.score, 2);
    EXPECT_EQ(world.bullets[0].active, 0);
}

TEST_F(Bullets, BulletsAreDrawnBeforeTheyMoveAndFreeSlotsAreNot) {
    world.camera_x = 200;
    world.bullets[0] = Bullet{10, -5, 500, 300, 1};
    world.bullets[1] = Bullet{10, -5, 520, 300, 0};
    update_bullets();
    const auto drawn = quads_of(world.bullet_sprite);
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(corner(drawn[0]), (Corner{300, 300}));
    EXPECT_EQ(world.bullets[0].x, 510);
    EXPECT_EQ(world.bullets[0].y, 295);
    EXPECT_EQ(world.bullets[1].x, 520);
}

}  // namespace
