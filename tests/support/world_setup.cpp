#include "support/world_setup.h"

#include <gtest/gtest.h>

void size_stages() {
    for (int i = 0; i < STAGE_COUNT; ++i) {
        world.stages[i].width = (i + 2) * 800;
        world.stages[i].height = 600;
    }
}

int count_live_enemies() {
    int count = 0;
    for (const Enemy& enemy : world.enemies) count += enemy.active == 1 ? 1 : 0;
    return count;
}

Enemy& place_enemy(int slot, int32_t kind, int32_t x, int32_t y, int32_t vx, int32_t vy) {
    Enemy& enemy = world.enemies[slot];
    enemy = Enemy{};
    enemy.kind = kind;
    enemy.x = x;
    enemy.y = y;
    enemy.vx = vx;
    enemy.vy = vy;
    enemy.hp = 3;
    enemy.boss_hp = 50;
    enemy.active = 1;
    return enemy;
}

void expect_world_as_start_up_leaves_it() {
    EXPECT_FALSE(world.in_play);
    EXPECT_EQ(world.level, 1);
    EXPECT_EQ(world.stage_index, 0);
    EXPECT_EQ(world.script_cursor, 0);
    EXPECT_EQ(world.score, 0);
    EXPECT_EQ(world.high_score, 0);
    EXPECT_EQ(world.camera_x, 0);
    EXPECT_EQ(world.camera_y, 0);
    EXPECT_EQ(world.player_x, 0);
    EXPECT_EQ(world.player_y, 268);
    EXPECT_EQ(world.player_health, 100);
    EXPECT_EQ(world.rocket_ammo, 3);
    for (const Bullet& bullet : world.bullets) EXPECT_EQ(bullet.active, 0);
    for (const Rocket& rocket : world.rockets) EXPECT_EQ(rocket.active, 0);
    EXPECT_EQ(count_live_enemies(), 0);
    for (const Explosion& explosion : world.explosions) EXPECT_EQ(explosion.active, 0);
}

uint32_t rand_state_after(uint32_t state, int draws) {
    for (int i = 0; i < draws; ++i) state = state * 214013u + 2531011u;
    return state;
}
