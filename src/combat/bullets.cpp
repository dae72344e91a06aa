#include "combat/bullets.h"

#include <cmath>

#include "combat/explosions.h"
#include "gfx/sprite.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr int32_t SHOT_SPEED = 25;
constexpr int32_t BULLET_COOLDOWN = 9;  // a shot, then nine frames of counting down
constexpr int64_t RANGE_SQUARED = 450 * 450;

int32_t first_free_bullet() {
    for (int32_t i = 0; i < BULLET_COUNT; ++i) {
        if (world.bullets[i].active == 0) return i;
    }
    return -1;
}

void strike_enemies(Bullet& bullet) {
    // The bullet's own flag is deliberately not checked here: a bullet retired earlier in
    // this frame still strikes every later enemy it touches.
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 1) continue;
        const bool in_column = enemy.x <= bullet.x && bullet.x <= enemy.x + 64;
        if (in_column && enemy.y <= bullet.y && bullet.y <= enemy.y + 64) {
            world.score = wrapping_add(world.score, world.level);
            enemy.hp -= 1;
            enemy.death_frames = 0;
            bullet.active = 0;
            if (enemy.hp <= 0) {
                enemy.active = 0;
                spawn_explosion(enemy.x, enemy.y);
            }
        }
        // The boss is 64 x 128; its upper half was already a body hit above.
        if (in_column && enemy.y <= bullet.y && bullet.y <= enemy.y + 128 && enemy.kind >= 11 &&
            enemy.active == 1) {
            enemy.boss_hp -= 1;
            if (enemy.boss_hp <= 0) {
                world.score = wrapping_add(world.score, wrapping_mul(50, world.level));
                enemy.active = 0;
                bullet.active = 0;
                spawn_explosion(enemy.x, enemy.y);
            }
        }
    }
}

}  // namespace

Velocity aim_velocity() {
    const int32_t dx = world.camera_x + world.cursor_x - (world.player_x + 32);
    const int32_t dy = world.camera_y + world.cursor_y - (world.player_y + 32);
    // No direction to aim in: shoot straight ahead rather than divide by zero.
    if (dx == 0 && dy == 0) return Velocity{SHOT_SPEED, 0};

    // Every step is stored as a float so that no wider precision or fused multiply-add
    // changes a truncated component: the shots must be the same on every build.
    volatile float fx = static_cast<float>(dx);
    volatile float fy = static_cast<float>(dy);
    volatile float xx = fx * fx;
    volatile float yy = fy * fy;
    volatile float sum = xx + yy;
    volatile float len = std::sqrt(static_cast<float>(sum));
    volatile float ux = fx / len;
    volatile float uy = fy / len;
    volatile float vx = ux * static_cast<float>(SHOT_SPEED);
    volatile float vy = uy * static_cast<float>(SHOT_SPEED);
    return Velocity{static_cast<int32_t>(vx), static_cast<int32_t>(vy)};
}

void init_bullets() {
    load_sound("bullet.wav", world.bullet_sound);
    load_sprite("bullet.tga", world.bullet_sprite, 0);
    load_sprite("crosshair4.tga", world.crosshair_sprite, 0);
    for (Bullet& bullet : world.bullets) {
        bullet.x = 0;
        bullet.y = 0;
        bullet.active = 0;
    }
}

void update_bullets() {
    draw_sprite(world.cursor_x, world.cursor_y, world.crosshair_sprite, 255);
    const Velocity aim = aim_velocity();

    if (world.player_health > 0 && world.mouse_left != 0 && world.bullet_cooldown <= 0) {
        // With every slot in flight the shot is dropped: no sound, and the cooldown stays.
        const int32_t slot = first_free_bullet();
        if (slot >= 0) {
            play_sound(world.bullet_sound);
            Bullet& bullet = world.bullets[slot];
            bullet.active = 1;
            bullet.x = world.player_x + 32;
            bullet.y = world.player_y + 32;
            bullet.vx = aim.vx;
            bullet.vy = aim.vy;
            world.bullet_cooldown = BULLET_COOLDOWN;
        }
    } else if (world.bullet_cooldown > 0) {
        world.bullet_cooldown -= 1;
    }

    for (Bullet& bullet : world.bullets) {
        if (bullet.active != 1) continue;
        draw_sprite(bullet.x - world.camera_x, bullet.y - world.camera_y, world.bullet_sprite, 255);
        bullet.x += bullet.vx;
        bullet.y += bullet.vy;

        // 64-bit so that a bullet far from the player cannot overflow the square.
        const int64_t rx = static_cast<int64_t>(bullet.x) - (static_cast<int64_t>(world.player_x) + 32);
        const int64_t ry = static_cast<int64_t>(bullet.y) - (static_cast<int64_t>(world.player_y) + 32);
        if (rx * rx + ry * ry > RANGE_SQUARED) bullet.active = 0;

        strike_enemies(bullet);
    }
}
