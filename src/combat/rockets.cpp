#include "combat/rockets.h"

#include "combat/projectile.h"
#include "gfx/sprite.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr int32_t ROCKET_COOLDOWN = 19;  // a rocket every twentieth frame
constexpr int32_t BLAST_SIZE = 100;
constexpr int32_t BLAST_DAMAGE = 5;
constexpr int32_t BOSS_DAMAGE = 50;  // a whole boss_hp at spawn
constexpr int32_t BOSS_AWARD = 50;   // not scaled by the level, unlike a bullet's

void blast_enemies(const Rocket& rocket) {
    // Rockets are never used up by a hit, and one that left the stage this frame still strikes.
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 1) continue;
        // hp is at most 3, so every blast kills; only the kill scores, whatever the level.
        if (in_enemy_box(enemy, rocket.x, rocket.y, BLAST_SIZE, BLAST_SIZE) && wound_enemy(enemy, BLAST_DAMAGE)) {
            world.score = wrapping_add(world.score, 1);
        }
        if (strike_boss(enemy, rocket.x, rocket.y, BOSS_DAMAGE)) world.score = wrapping_add(world.score, BOSS_AWARD);
    }
}

}  // namespace

void init_rockets() {
    load_sprite("rocket1.tga", world.rocket_sprite, 0);
    load_sprite("crosshair4.tga", world.rocket_crosshair_sprite, 0);
    load_sound("rocket.wav", world.rocket_sound);
    for (Rocket& rocket : world.rockets) {
        rocket.x = 0;
        rocket.y = 0;
        rocket.active = 0;
    }
    world.rocket_ammo = world.level * 3;
}

void update_rockets() {
    draw_sprite(world.cursor_x, world.cursor_y, world.rocket_crosshair_sprite, 255);
    const Velocity aim = aim_velocity();

    if (world.player_health > 0 && world.mouse_right != 0 && world.rocket_cooldown <= 0 && world.rocket_ammo > 0) {
        // With all three in flight nothing is spent: no sound, no rocket, no cooldown.
        const int32_t slot = first_free_slot(world.rockets, ROCKET_COUNT);
        if (slot >= 0) {
            play_sound(world.rocket_sound);
            world.rocket_ammo -= 1;
            launch_from_player(world.rockets[slot], aim);
            world.rocket_cooldown = ROCKET_COOLDOWN;
        }
    } else if (world.rocket_cooldown > 0) {
        world.rocket_cooldown -= 1;
    }

    const Stage& stage = world.stages[world.stage_index];
    for (Rocket& rocket : world.rockets) {
        if (rocket.active != 1) continue;
        draw_sprite(rocket.x - world.camera_x, rocket.y - world.camera_y, world.rocket_sprite, 255);
        rocket.x += rocket.vx;
        rocket.y += rocket.vy;
        // The stage's edges themselves still count as inside.
        if (rocket.x > stage.width || rocket.x < 0 || rocket.y > stage.height || rocket.y < 0) rocket.active = 0;
        blast_enemies(rocket);
    }
}
