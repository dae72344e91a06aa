#include "combat/explosions.h"

#include "world/world.h"

namespace {

constexpr int32_t AGE_STEP = 10;
constexpr int32_t LAST_AGE = 200;  // an explosion aged past this is drawn once more, then freed
constexpr int32_t SIZE_PER_AGE = 10;

}  // namespace

void init_explosions() {
    for (Explosion& explosion : world.explosions) explosion.active = 0;
    load_sprite("explosion.tga", world.explosion_sprite, 0);
    load_sound("explodies.wav", world.explosion_sound);
}

void spawn_explosion(int32_t x, int32_t y) {
    for (Explosion& explosion : world.explosions) {
        if (explosion.active != 0) continue;
        play_sound(world.explosion_sound);
        explosion.age = 0;
        explosion.active = 1;
        explosion.x = x;
        explosion.y = y;
        return;
    }
    // Every slot is busy: the kill goes unmarked and silent.
}

void update_explosions() {
    for (Explosion& explosion : world.explosions) {
        if (explosion.active != 1) continue;
        explosion.age += AGE_STEP;
        if (explosion.age > LAST_AGE) explosion.active = 0;
        const int32_t size = explosion.age * SIZE_PER_AGE;
        const int32_t half = size / 2;
        draw_sprite_additive(explosion.x - half - world.camera_x, explosion.y - half - world.camera_y,
                             world.explosion_sprite, size, size, 255 - explosion.age);
    }
}
