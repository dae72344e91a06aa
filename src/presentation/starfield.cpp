#include "presentation/starfield.h"

#include "gfx/sprite.h"
#include "world/world.h"

namespace {

constexpr int32_t VISIBLE_DEPTH = 1000;  // visible while 0 < z < this
constexpr int32_t DEPTH_STEP = 10;
constexpr int32_t RESET_DEPTH = 10001;
constexpr int32_t STAR_SIZE = 4;

}  // namespace

void init_starfield() {
    // Four separate draws per star, in this order: the rest of start-up depends on the sequence.
    for (Star& star : world.stars) {
        const int32_t r1 = zv::rand();
        const int32_t r2 = zv::rand();
        const int32_t r3 = zv::rand();
        const int32_t r4 = zv::rand();
        star.x = r1 % 1000 - 500;
        star.y = r2 % 1000 - 500;
        star.z = r3 % 10001;
        star.brightness = r4 % 1000;
    }
}

void update_starfield() {
    const Stage& stage = world.stages[world.stage_index];
    const int32_t hw = stage.width / 2;
    const int32_t hh = stage.height / 2;
    for (Star& star : world.stars) {
        if (star.z > 0 && star.z < VISIBLE_DEPTH) {
            // Product first, then the division: dividing hw by z first would bunch the stars.
            const int32_t screen_x = (star.x * hw) / star.z + hw - world.camera_x - STAR_SIZE / 2;
            const int32_t screen_y = (star.y * hh) / star.z + hh - world.camera_y - STAR_SIZE / 2;
            const uint32_t grey = static_cast<uint32_t>(star.brightness % 256);
            draw_rect(screen_x, screen_y, STAR_SIZE, STAR_SIZE, 0xFF000000u + grey * 0x010101u);
        }
        star.z -= DEPTH_STEP;
        if (star.z <= 0) star.z = RESET_DEPTH;
    }
}
