// The starfield behind the stage backgrounds.
#pragma once

#include <cstdint>

void init_starfield();
void update_starfield();
