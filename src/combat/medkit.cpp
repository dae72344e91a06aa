#include "combat/medkit.h"

#include "gfx/sprite.h"
#include "world/world.h"

namespace {

constexpr int32_t HEAL = 10;
constexpr int32_t FULL_HEALTH = 100;
// Set to 150 and counted once on the pickup frame, so it is invisible for 149 more frames.
constexpr int32_t RESPAWN_FRAMES = 150;

}  // namespace

void init_medkit() {
    load_sprite("medkit.tga", world.medkit_sprite, 0);
    const Stage& stage = world.stages[world.stage_index];
    Medkit& medkit = world.medkit;
    // Four draws in this order; the enemies' start-up draws follow on from them.
    medkit.x = zv::rand() % stage.width;
    medkit.y = zv::rand() % stage.height;
    medkit.vx = zv::rand() % 10 - 5;
    medkit.vy = zv::rand() % 10 - 5;
    medkit.visible = 1;
}

void update_medkit() {
    const Stage& stage = world.stages[world.stage_index];
    Medkit& medkit = world.medkit;

    medkit.x += medkit.vx;
    medkit.y += medkit.vy;
    // Only the velocity flips; a medkit left outside (a narrower stage) shuttles in place.
    if (medkit.x > stage.width || medkit.x < 0) medkit.vx = -medkit.vx;
    if (medkit.y > stage.height - 31 || medkit.y < 0) medkit.vy = -medkit.vy;

    const int32_t centre_x = medkit.x + 16;
    const int32_t centre_y = medkit.y + 16;
    const bool touches = world.player_x <= centre_x && centre_x <= world.player_x + PLAYER_BOX &&
                         world.player_y <= centre_y && centre_y <= world.player_y + PLAYER_BOX;
    if (touches && medkit.visible == 1) {
        // A healthy player leaves it where it is; a dead one counts as hurt.
        if (world.player_health < FULL_HEALTH) {
            world.player_health += HEAL;
            if (world.player_health >= FULL_HEALTH) world.player_health = FULL_HEALTH;
            medkit.respawn_countdown = RESPAWN_FRAMES;
            medkit.visible = 0;
            medkit.respawn_countdown -= 1;
        }
    } else if (medkit.visible == 0) {
        medkit.respawn_countdown -= 1;
    }

    if (medkit.respawn_countdown == 0) medkit.visible = 1;

    if (medkit.visible == 1 && world.player_health < FULL_HEALTH) {
        draw_sprite(medkit.x - world.camera_x, medkit.y - world.camera_y, world.medkit_sprite, 255);
    }
}
