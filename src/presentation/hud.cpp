#include "presentation/hud.h"

// Placeholder until this module lands.
void update_death_fade() {}
void update_game_over() {}
void draw_health() {}
void draw_high_score() {}
void draw_score() {}
