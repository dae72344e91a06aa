#include "world/world.h"

World world;

namespace {
uint32_t generator_state = 1;
}

namespace zv {

int32_t rand() {
    generator_state = generator_state * 214013u + 2531011u;
    return static_cast<int32_t>((generator_state >> 16) & 0x7FFF);
}

uint32_t rand_state() { return generator_state; }

void set_rand_state(uint32_t state) { generator_state = state; }

}  // namespace zv
