#include "combat/player.h"

#include "world/world.h"

namespace {

bool held(int dik_code) { return world.keys[dik_code] != 0; }

}  // namespace

void init_player() {
    load_sprite("Player.tga", world.player_sprite, 0);
    world.player_health = 100;
    world.player_x = 0;
    world.player_y = 268;
}

void update_player() {
    draw_sprite(world.player_x - world.camera_x, world.player_y - world.camera_y, world.player_sprite, 255);
    if (world.player_health <= 0) return;

    const int32_t step = 4 * world.level;
    const Stage& stage = world.stages[world.stage_index];

    // Each bound is tested before a whole step is taken, so the player may end one step past an edge.
    if ((held(DIK_W) || held(DIK_UP)) && world.player_y >= 0) world.player_y -= step;
    if ((held(DIK_S) || held(DIK_DOWN)) && world.player_y <= stage.height - PLAYER_BOX) world.player_y += step;
    if ((held(DIK_A) || held(DIK_LEFT)) && world.player_x >= 0) world.player_x -= step;
    if ((held(DIK_D) || held(DIK_RIGHT)) && world.player_x <= stage.width - PLAYER_BOX) world.player_x += step;
}
