#include "combat/rockets.h"

#include "combat/bullets.h"
#include "combat/explosions.h"
#include "gfx/sprite.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr int32_t ROCKET_COOLDOWN = 19;  // a rocket every twentieth frame
constexpr int32_t BLAST_SIZE = 100;

int32_t first_free_rocket() {
    for (int32_t i = 0; i < ROCKET_COUNT; ++i) {
        if (world.rockets[i].active == 0) return i;
    }
    return -1;
}

void blast_enemies(const Rocket& rocket) {
    // Rockets are never used up by a hit, and one that left the stage this frame still strikes.
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 1) continue;
        if (enemy.x <= rocket.x && rocket.x <= enemy.x + BLAST_SIZE && enemy.y <= rocket.y &&
            rocket.y <= enemy.y + BLAST_SIZE) {
            enemy.hp -= 5;
            if (enemy.hp <= 0) {
                world.score = wrapping_add(world.score, 1);
                enemy.active = 0;
                spawn_explosion(enemy.x, enemy.y);
            }
        }
        if (enemy.x <= rocket.x && rocket.x <= enemy.x + 64 && enemy.y <= rocket.y && rocket.y <= enemy.y + 128 &&
            enemy.kind >= 11 && enemy.active == 1) {
            enemy.boss_hp -= 50;
            if (enemy.boss_hp <= 0) {
                world.score = wrapping_add(world.score, 50);
                enemy.active = 0;
                spawn_explosion(enemy.x, enemy.y);
            }
        }
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
        const int32_t slot = first_free_rocket();
        if (slot >= 0) {
            play_sound(world.rocket_sound);
            world.rocket_ammo -= 1;
            Rocket& rocket = world.rockets[slot];
            rocket.active = 1;
            rocket.x = world.player_x + 32;
            rocket.y = world.player_y + 32;
            rocket.vx = aim.vx;
            rocket.vy = aim.vy;
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
