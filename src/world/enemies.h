// Enemies: movement, contact with the player, drawing, the boss, kill messages.
#pragma once

#include <cstdint>

void init_enemies();
void update_enemies();
