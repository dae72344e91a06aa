// HUD, death fade, game over and restart.
#pragma once

#include <cstdint>

void update_death_fade();
void update_game_over();
void draw_health();
void draw_high_score();
void draw_score();
