#include "combat/projectile.h"

#include "combat/explosions.h"
#include "world/world.h"

int32_t first_free_slot(const Bullet* slots, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (slots[i].active == 0) return i;
    }
    return -1;
}

void launch_from_player(Bullet& shot, Velocity aim) {
    shot.active = 1;
    shot.x = world.player_x + PLAYER_CENTRE;
    shot.y = world.player_y + PLAYER_CENTRE;
    shot.vx = aim.vx;
    shot.vy = aim.vy;
}

bool in_enemy_box(const Enemy& enemy, int32_t x, int32_t y, int32_t width, int32_t height) {
    return enemy.x <= x && x <= enemy.x + width && enemy.y <= y && y <= enemy.y + height;
}

bool wound_enemy(Enemy& enemy, int32_t damage) {
    enemy.hp -= damage;
    if (enemy.hp > 0) return false;
    enemy.active = 0;
    spawn_explosion(enemy.x, enemy.y);
    return true;
}

bool strike_boss(Enemy& enemy, int32_t x, int32_t y, int32_t damage) {
    // The first test may have just killed it; a freed slot is not struck again.
    if (enemy.kind < BOSS_KIND || enemy.active != 1) return false;
    if (!in_enemy_box(enemy, x, y, BOSS_BOX_WIDTH, BOSS_BOX_HEIGHT)) return false;
    enemy.boss_hp -= damage;
    if (enemy.boss_hp > 0) return false;
    enemy.active = 0;
    spawn_explosion(enemy.x, enemy.y);
    return true;
}
