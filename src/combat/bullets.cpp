#include "combat/bullets.h"

#include <cmath>

#include "combat/projectile.h"
#include "gfx/sprite.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr int32_t SHOT_SPEED = 25;
constexpr int32_t BULLET_COOLDOWN = 9;  // a shot, then nine frames of counting down
constexpr int64_t RANGE_SQUARED = 450 * 450;
constexpr int32_t BULLET_DAMAGE = 1;  // to hp and to boss_hp alike
constexpr int32_t BOSS_AWARD = 50;    // times the level

void strike_enemies(Bullet& bullet) {
    // The bullet's own flag is deliberately not checked here: a bullet retired earlier in
    // this frame still strikes every later enemy it touches.
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 1) continue;
        if (in_enemy_box(enemy, bullet.x, bullet.y, ENEMY_BOX, ENEMY_BOX)) {
            // Every body hit scores, killing or not.
            world.score = wrapping_add(world.score, world.level);
            enemy.death_frames = 0;
            bullet.active = 0;
            wound_enemy(enemy, BULLET_DAMAGE);
        }
        // The boss's upper square was already a body hit above; a boss hit that does not
        // kill leaves the bullet flying.
        if (strike_boss(enemy, bullet.x, bullet.y, BULLET_DAMAGE)) {
            world.score = wrapping_add(world.score, wrapping_mul(BOSS_AWARD, world.level));
            bullet.active = 0;
        }
    }
}

}  // namespace

Velocity aim_velocity() {
    const int32_t dx = world.camera_x + world.cursor_x - (world.player_x + PLAYER_CENTRE);
    const int32_t dy = world.camera_y + world.cursor_y - (world.player_y + PLAYER_CENTRE);
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
        const int32_t slot = first_free_slot(world.bullets, BULLET_COUNT);
        if (slot >= 0) {
            play_sound(world.bullet_sound);
            launch_from_player(world.bullets[slot], aim);
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
        const int64_t rx = static_cast<int64_t>(bullet.x) - (static_cast<int64_t>(world.player_x) + PLAYER_CENTRE);
        const int64_t ry = static_cast<int64_t>(bullet.y) - (static_cast<int64_t>(world.player_y) + PLAYER_CENTRE);
        if (rx * rx + ry * ry > RANGE_SQUARED) bullet.active = 0;

        strike_enemies(bullet);
    }
}
