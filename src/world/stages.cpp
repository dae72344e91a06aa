#include "world/stages.h"

#include <cstdio>

#include "world/spawn.h"
#include "world/world.h"

namespace {

// Room for any file name or line these formats can produce, terminator included.
constexpr int TEXT_BUFFER_SIZE = 260;

constexpr int32_t PLAYER_SIZE = 64;

}  // namespace

void init_stages() {
    for (int32_t i = 0; i < STAGE_COUNT; ++i) {
        Stage& stage = world.stages[i];
        stage.width = (i + 2) * world.screen_width;
        stage.height = world.screen_height;
        char name[TEXT_BUFFER_SIZE];
        std::snprintf(name, sizeof name, "bg%d.tga", static_cast<int>(i));
        load_sprite(name, stage.sprite, 0);
    }
    world.stages[0].script = spawn_script_0;
    world.stages[1].script = spawn_script_1;
    world.stages[2].script = spawn_script_2;
}

void init_title() {
    // Start-up has already loaded this very font; loading it again would only leak the first
    // texture, so it is loaded here only if that earlier load left it empty.
    if (world.font.texture == nullptr) load_font("font.raw", world.font, 648, 12, 2);
    load_sprite("startscreen.bmp", world.title_sprite, 0);
    world.level = 1;
}

void update_title() {
    if (!world.in_play) {
        draw_image(0, 0, world.title_sprite);
        char line[TEXT_BUFFER_SIZE];
        std::snprintf(line, sizeof line, "welcome to level %d", static_cast<int>(world.level));
        draw_text_scaled(150, 500, line, world.font, 0xFF000000u, 4);
    }
    // Space pauses as well as starts, so it toggles whatever the state.
    if (world.keys[DIK_SPACE] != 0 && world.prev_keys[DIK_SPACE] == 0) world.in_play = !world.in_play;
}

void update_stage() {
    const int32_t stage_width = world.stages[world.stage_index].width;

    // Keep the player's sprite in the middle of the screen, but never show beyond the stage.
    world.camera_x = world.player_x - world.screen_width / 2 + PLAYER_SIZE / 2;
    if (world.camera_x <= 0) world.camera_x = 0;
    if (world.camera_x >= stage_width - world.screen_width) world.camera_x = stage_width - world.screen_width;

    // Every slot counts, off-screen ones included: the stage must be cleared completely.
    bool any_alive = false;
    for (const Enemy& enemy : world.enemies) {
        if (enemy.active == 1) any_alive = true;
    }

    if (!any_alive && world.player_x >= stage_width - PLAYER_SIZE) {
        world.player_x = 0;
        world.camera_x = 0;
        world.stage_index += 1;
        world.script_cursor = 0;
        if (world.stage_index == STAGE_COUNT) {
            // The level is complete: back to the title screen, which announces the next one.
            world.level += 1;
            world.player_health = 100;
            world.stage_index = 0;
            world.in_play = !world.in_play;
        }
    }

    const Stage& stage = world.stages[world.stage_index];
    draw_sprite(-world.camera_x, -world.camera_y, stage.sprite, 255);
}
