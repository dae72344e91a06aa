// Rockets: a small stock of blast shots that fly on through what they hit.
#pragma once

#include <cstdint>

void init_rockets();
void update_rockets();
