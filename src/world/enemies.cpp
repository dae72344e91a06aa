#include "world/enemies.h"

#include <cmath>

#include "combat/explosions.h"
#include "world/world.h"

namespace {

constexpr int32_t LAST_DRAWN_KIND = eThinDark;  // kinds 6 to 10 have no image
constexpr int32_t BOSS_SPRITE = 6;
constexpr int32_t HOMING_SPEED = 4;
constexpr int32_t BOSS_JUMP = 200;  // from the player, on both axes, after it strikes

// Contact with the player, both ends included: how far from the player's corner an enemy's
// corner may stand on each axis, and what it costs. The boss reaches further up and down.
struct Contact {
    int32_t reach_x;
    int32_t reach_y;
    int32_t damage;
};
constexpr Contact MINION_CONTACT{50, 50, 5};
constexpr Contact BOSS_CONTACT{50, 64, 10};

// The message has fully faded by this age; counting further would change nothing on screen.
constexpr int32_t MESSAGE_LAST_AGE = 51;

const char* const enemy_sprite_files[ENEMY_SPRITE_COUNT] = {
    "eRed.tga", "eGreen.tga", "eBlue.tga", "eWhite.tga", "eThinGrey.tga", "eThinDark.tga", "manbearpig.tga",
};

// Indexed by the last digit of the enemy's x; 0 and 9 say nothing.
const char* const kill_messages[10] = {
    nullptr, "OWNED!!", "HEADSHOT!!!!", "PWNT!!", "DOMINATION!", "MONSTERMASH!", "THWAP!!", "BOP!!!!!", "BAMF!!",
    nullptr,
};

bool is_homing(int32_t kind) { return kind == eRed || kind == manbearpig; }

int32_t lose_health(int32_t damage) {
    const int32_t health = world.player_health - damage;
    return health > 0 ? health : 0;
}

void move_enemy(Enemy& enemy, int32_t stage_width, int32_t stage_height, int32_t level) {
    if (is_homing(enemy.kind)) {
        const float dx = static_cast<float>(world.player_x - enemy.x);
        const float dy = static_cast<float>(world.player_y - enemy.y);
        const float angle = std::atan2(dy, dx);
        // Truncation toward zero: a diagonal step is (2, 2), not (3, 3).
        enemy.x += level * static_cast<int32_t>(HOMING_SPEED * std::cos(angle));
        enemy.y += level * static_cast<int32_t>(HOMING_SPEED * std::sin(angle));
    } else {
        enemy.x += enemy.vx * level;
        enemy.y += enemy.vy * level;
    }
    // The position is left outside; a straight mover walks back in on the next frames.
    if (enemy.x > stage_width - ENEMY_BOX || enemy.x < 0) enemy.vx = -enemy.vx;
    if (enemy.y > stage_height - ENEMY_BOX || enemy.y < 0) enemy.vy = -enemy.vy;
}

bool touches_player(const Enemy& enemy, const Contact& contact) {
    return world.player_x - contact.reach_x <= enemy.x && enemy.x <= world.player_x + contact.reach_x &&
           world.player_y - contact.reach_y <= enemy.y && enemy.y <= world.player_y + contact.reach_y;
}

void draw_boss(const Enemy& boss) {
    const Sprite& sprite = world.enemy_sprites[BOSS_SPRITE];
    const int32_t sx = boss.x - world.camera_x;
    const int32_t sy = boss.y - world.camera_y;
    // Moving right it faces right: the negative width mirrors it onto the span left of sx.
    if (boss.vx >= 1) {
        draw_sprite_sized(sx, sy, sprite, -sprite.width, sprite.height, 255);
    } else {
        draw_sprite(sx, sy, sprite, 255);
    }
}

void update_boss(Enemy& boss) {
    draw_boss(boss);
    if (touches_player(boss, BOSS_CONTACT)) {
        world.player_health = lose_health(BOSS_CONTACT.damage);
        spawn_explosion(boss.x, boss.y);
        // The boss does not die from contact; it jumps away, wherever that lands.
        boss.x = zv::rand() % 2 == 0 ? world.player_x + BOSS_JUMP : world.player_x - BOSS_JUMP;
        boss.y = zv::rand() % 2 == 0 ? world.player_y + BOSS_JUMP : world.player_y - BOSS_JUMP;
    }
    draw_boss(boss);
}

void update_minion(Enemy& enemy) {
    if (touches_player(enemy, MINION_CONTACT)) {
        world.player_health = lose_health(MINION_CONTACT.damage);
        enemy.active = 0;
        spawn_explosion(enemy.x, enemy.y);
    }
    // Drawn even when it has just been removed, so the contact is seen.
    if (enemy.kind >= 0 && enemy.kind <= LAST_DRAWN_KIND)
        draw_sprite(enemy.x - world.camera_x, enemy.y - world.camera_y, world.enemy_sprites[enemy.kind], 255);
}

void draw_kill_message(Enemy& slot) {
    int32_t alpha = 255 - 5 * slot.death_frames;
    if (alpha < 0) alpha = 0;
    if (slot.death_frames < MESSAGE_LAST_AGE) slot.death_frames += 1;
    const int32_t digit = slot.x % 10;  // truncating: a negative x gives a negative digit and no message
    // A faded message is invisible; skipping it saves thousands of quads a frame once many slots are free.
    if (digit < 0 || kill_messages[digit] == nullptr || alpha == 0) return;
    const uint32_t colour = static_cast<uint32_t>(alpha) * 0x01010101u;
    draw_text(slot.x - world.camera_x, slot.y - world.camera_y, kill_messages[digit], world.font, colour);
}

}  // namespace

void init_enemies() {
    for (int32_t i = 0; i < ENEMY_SPRITE_COUNT; ++i) load_sprite(enemy_sprite_files[i], world.enemy_sprites[i], 0);
    const Stage& stage = world.stages[world.stage_index];
    // The slots stay free; their values only show through the kill messages, but the draws
    // keep the shared generator in step for the rest of the game.
    for (Enemy& enemy : world.enemies) {
        enemy.active = 0;
        const int32_t r1 = zv::rand();
        const int32_t r2 = zv::rand();
        const int32_t r3 = zv::rand();
        enemy.kind = r1 % 6;
        enemy.vx = r2 % 20 - 10;
        enemy.vy = r3 % 20 - 10;
        enemy.x = stage.width - ENEMY_BOX;
        enemy.y = stage.height - ENEMY_BOX;
    }
}

void update_enemies() {
    const Stage& stage = world.stages[world.stage_index];
    const int32_t stage_width = stage.width;
    const int32_t stage_height = stage.height;
    const int32_t level = world.level;

    for (Enemy& enemy : world.enemies) {
        if (enemy.active == 1) move_enemy(enemy, stage_width, stage_height, level);
    }
    for (Enemy& enemy : world.enemies) {
        if (enemy.active != 1) continue;
        if (enemy.kind == manbearpig) {
            update_boss(enemy);
        } else {
            update_minion(enemy);
        }
    }
    for (Enemy& enemy : world.enemies) {
        if (enemy.active == 0) draw_kill_message(enemy);
    }
}
