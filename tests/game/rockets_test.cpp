#include <gtest/gtest.h>

#include <vector>

#include "combat/rockets.h"
#include "gfx/sprite.h"
#include "support/combat_fixture.h"
#include "support/world_draws.h"
#include "world/world.h"

namespace {

using world_draws::corner;
using world_draws::Corner;

class Rockets : public CombatFixture {
protected:
    void SetUp() override {
        CombatFixture::SetUp();
        stand_aiming_right(0);  // centre (32, 300)
        world.rocket_ammo = 3;
        world.rocket_sprite = make_sprite(16, 8);
        world.rocket_crosshair_sprite = make_sprite(32, 32);
        count_plays_of(world.rocket_sound);
    }
};

TEST_F(Rockets, StartUpStocksThreePerLevelAndClearsTheSlots) {
    world.level = 1;
    world.rocket_ammo = 0;
    world.rocket_cooldown = 6;
    for (Rocket& rocket : world.rockets) rocket = Rocket{1, 2, 3, 4, 1};
    init_rockets();
    EXPECT_EQ(world.rocket_ammo, 3);
    EXPECT_EQ(world.rocket_cooldown, 6);
    for (const Rocket& rocket : world.rockets) {
        EXPECT_EQ(rocket.active, 0);
        EXPECT_EQ(rocket.x, 0);
        EXPECT_EQ(rocket.y, 0);
    }
}

TEST_F(Rockets, HeldButtonFiresEveryTwentiethFrameAndRetriesWhenNoSlotIsFree) {
    world.rocket_ammo = 5;
    world.mouse_right = 128;
    std::vector<int> launch_frames;
    for (int frame = 0; frame < 64; ++frame) {
        update_rockets();
        if (world.rocket_cooldown == 19) launch_frames.push_back(frame);
    }
    // All three slots are in flight from frame 40; the attempts from frame 60 on spend
    // nothing until the first rocket leaves the stage in frame 62, and frame 63 fires.
    EXPECT_EQ(launch_frames, (std::vector<int>{0, 20, 40, 63}));
    EXPECT_EQ(sounds.plays, 4);
    EXPECT_EQ(world.rocket_ammo, 1);
    EXPECT_EQ(world.rockets[0].x, 32 + 25);
}

TEST_F(Rockets, AnEmptyStockFiresNothingThoughSlotsAreFree) {
    world.rocket_ammo = 1;
    world.mouse_right = 128;
    for (int frame = 0; frame < 45; ++frame) update_rockets();
    EXPECT_EQ(sounds.plays, 1);
    EXPECT_EQ(world.rocket_ammo, 0);
    EXPECT_EQ(world.rockets[1].active, 0);
}

TEST_F(Rockets, ADeadPlayerCannotFireButRocketsFlyAndKill) {
    world.player_health = 0;
    world.mouse_right = 128;
    Enemy& enemy = place_enemy(0, eBlue, 400, 250);
    world.rockets[2] = Rocket{25, 0, 380, 300, 1};
    update_rockets();
    EXPECT_EQ(sounds.plays, 0);
    EXPECT_EQ(world.rocket_ammo, 3);
    EXPECT_EQ(enemy.active, 0);
    EXPECT_EQ(world.rockets[2].active, 1);
    EXPECT_EQ(world.score, 1);
    EXPECT_EQ(quads_of(world.rocket_crosshair_sprite).size(), 1u);
}

TEST_F(Rockets, TheStageEdgesThemselvesAreInside) {
    struct Case {
        int stage;
        int32_t x, y;
        bool stays;
    };
    const Case cases[] = {
        {0, 1600, 300, true}, {0, 1601, 300, false}, {0, 0, 300, true},    {0, -1, 300, false},
        {0, 500, 0, true},    {0, 500, -1, false},   {0, 500, 600, true},  {0, 500, 601, false},
        {2, 3200, 600, true}, {2, 3201, 600, false}, {1, 1601, 300, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "stage " << c.stage << " at " << c.x << ", " << c.y);
        world.stage_index = c.stage;
        world.rockets[0] = Rocket{0, 0, c.x, c.y, 1};
        update_rockets();
        EXPECT_EQ(world.rockets[0].active, c.stays ? 1 : 0);
    }
}

TEST_F(Rockets, ARocketLeavingTheStageStillKillsWhereItLands) {
    Enemy& enemy = place_enemy(11, eRed, 1550, 280);
    world.rockets[0] = Rocket{25, 0, 1576, 300, 1};  // lands on 1601
    update_rockets();
    EXPECT_EQ(world.rockets[0].active, 0);
    EXPECT_EQ(enemy.active, 0);
    EXPECT_EQ(world.score, 1);
}

TEST_F(Rockets, TheBlastBoxIsOneHundredSquareAndEveryKillIsOnePoint) {
    world.level = 3;
    Enemy& corner = place_enemy(0, eRed, 500, 300);  // (600, 400) is its far corner
    Enemy& beyond = place_enemy(1, eRed, 499, 300);  // one pixel too far left
    Enemy& above = place_enemy(2, eRed, 500, 299);
    above.hp = 1;
    world.rockets[0] = Rocket{0, 0, 600, 400, 1};
    update_rockets();
    EXPECT_EQ(corner.active, 0);
    EXPECT_EQ(corner.hp, -2);
    EXPECT_EQ(corner.death_frames, 7);  // rockets leave the kill message's age alone
    EXPECT_EQ(beyond.active, 1);
    EXPECT_EQ(beyond.hp, 3);
    EXPECT_EQ(above.active, 1);
    EXPECT_EQ(world.score, 1);
    EXPECT_EQ(world.rockets[0].active, 1);
}

TEST_F(Rockets, ARocketFliesOnAndKillsEverythingOnItsWay) {
    place_enemy(0, eRed, 400, 250);
    place_enemy(1, eGreen, 600, 250);
    place_enemy(2, eWhite, 800, 250);
    world.rockets[0] = Rocket{25, 0, 300, 300, 1};
    for (int frame = 0; frame < 20; ++frame) update_rockets();
    EXPECT_EQ(world.score, 3);
    for (int slot = 0; slot < 3; ++slot) EXPECT_EQ(world.enemies[slot].active, 0);
    EXPECT_EQ(world.rockets[0].active, 1);
    EXPECT_EQ(world.explosions[0].active, 1);
    EXPECT_EQ(world.explosions[2].x, 800);
}

TEST_F(Rockets, TheBossDiesByTheBlastForOneOrByTheBossBoxForFifty) {
    world.level = 2;
    Enemy& upper = place_enemy(0, manbearpig, 300, 100);
    world.rockets[0] = Rocket{0, 0, 310, 150, 1};
    update_rockets();
    EXPECT_EQ(upper.active, 0);
    EXPECT_EQ(upper.boss_hp, 50);  // the boss test found the slot already free
    EXPECT_EQ(world.score, 1);

    Enemy& lower = place_enemy(1, manbearpig, 700, 100);
    world.rockets[1] = Rocket{0, 0, 764, 228, 1};  // bottom-right corner of the 64 x 128 box
    update_rockets();
    EXPECT_EQ(lower.active, 0);
    EXPECT_EQ(lower.hp, 3);
    EXPECT_EQ(lower.boss_hp, 0);
    EXPECT_EQ(world.score, 51);  // 50 whatever the level
    EXPECT_EQ(world.rockets[1].active, 1);

    // Right of the boss box but inside the blast box: a blast kill.
    Enemy& side = place_enemy(2, manbearpig, 1100, 100);
    world.rockets[2] = Rocket{0, 0, 1180, 190, 1};
    update_rockets();
    EXPECT_EQ(side.active, 0);
    EXPECT_EQ(world.score, 52);
}

TEST_F(Rockets, TheCrosshairAndRocketsAreDrawnBeforeTheMove) {
    world.camera_x = 700;
    world.cursor_x = 410;
    world.cursor_y = 20;
    world.rockets[1] = Rocket{-7, 3, 900, 200, 1};
    update_rockets();
    const auto crosshair = quads_of(world.rocket_crosshair_sprite);
    ASSERT_EQ(crosshair.size(), 1u);
    EXPECT_EQ(corner(crosshair[0]), (Corner{410, 20}));
    const auto rockets = quads_of(world.rocket_sprite);
    ASSERT_EQ(rockets.size(), 1u);
    EXPECT_EQ(corner(rockets[0]), (Corner{200, 200}));
    EXPECT_EQ(world.rockets[1].x, 893);
    EXPECT_EQ(world.rockets[1].y, 203);
}

}  // namespace
