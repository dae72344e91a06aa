// The player: drawn, then moved by the keyboard.
#pragma once

#include <cstdint>

void init_player();
void update_player();
