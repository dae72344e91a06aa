// Explosions: growing, fading additive fireballs.
#pragma once

#include <cstdint>

void init_explosions();
void spawn_explosion(int32_t x, int32_t y);
void update_explosions();
