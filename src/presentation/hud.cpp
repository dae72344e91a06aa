#include "presentation/hud.h"

#include "gfx/font.h"
#include "gfx/sprite.h"
#include "world/world.h"

namespace {

constexpr uint32_t WHITE = 0xFFFFFFFFu;
constexpr uint32_t RED = 0xFFFF0000u;
constexpr int32_t FADE_STEP = 5;
constexpr int32_t FADE_MAX = 255;

void restart_game() {
    world.rocket_ammo = world.level * 3;
    world.score = 0;
    world.player_health = 100;
    world.player_x = 0;
    world.player_y = 268;
    world.stage_index = 0;
    world.script_cursor = 0;
    // Only the flags: the kill messages still read the freed slots' other fields.
    for (Enemy& enemy : world.enemies) enemy.active = 0;
}

}  // namespace

void update_death_fade() {
    // The overlay already shows at 1 health; it goes at once when health climbs above 1.
    if (world.player_health > 1) {
        world.fade_alpha = 0;
        return;
    }
    if (world.fade_alpha < FADE_MAX) world.fade_alpha += FADE_STEP;
    draw_rect(0, 0, world.screen_width, world.screen_height, static_cast<uint32_t>(world.fade_alpha) * 0x01000000u);
}

void update_game_over() {
    if (world.player_health > 0) return;
    draw_text_scaled(100, 256, "YOU LOSE! HAHA PWNT!", world.font, RED, 4);
    draw_text_scaled(270, 330, "(CLICK TO RESTART)", world.font, WHITE, 2);
    if (world.high_score < world.score) world.high_score = world.score;
    // A fresh press only: a button still held from firing when the player died does not count.
    if (world.mouse_left != 0 && world.prev_mouse_left == 0) restart_game();
}

void draw_health() {
    draw_text(10, 10, "HEALTH:", world.font, WHITE);
    draw_number(70, 10, world.player_health, world.font, WHITE);
}

void draw_high_score() {
    draw_text_scaled(650, 10, "HIGH SCORE:", world.font, WHITE, 1);
    draw_number(760, 10, world.high_score, world.font, WHITE);
    if (world.high_score < world.score) draw_text_scaled(280, 10, "NEW HIGH SCORE!", world.font, WHITE, 2);
}

void draw_score() {
    draw_text_scaled(650, 30, "SCORE:", world.font, WHITE, 1);
    draw_number(760, 30, world.score, world.font, WHITE);
}
