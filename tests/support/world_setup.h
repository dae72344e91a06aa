// Putting things into the World by hand, and reading it back, for the tests of the game modules.
#pragma once

#include <cstdint>

#include "world/world.h"

// The three stages as start-up sizes them at the 800 x 600 screen, without their pictures:
// 1600, 2400 and 3200 wide, 600 high.
void size_stages();

int count_live_enemies();

// A live enemy as a spawn leaves it (hp 3, boss_hp 50), every other field zero.
Enemy& place_enemy(int slot, int32_t kind, int32_t x, int32_t y, int32_t vx = 0, int32_t vy = 0);

// The progress, player and slot fields as the start-up sequence leaves them: on the title
// screen at level 1 with no score, the player at (0, 268) with full health and three rockets,
// nothing live.
void expect_world_as_start_up_leaves_it();

// The shared generator's state after `draws` more numbers from `state`, to tell how many the
// game drew.
uint32_t rand_state_after(uint32_t state, int draws);
