// The drifting medkit.
#pragma once

#include <cstdint>

void init_medkit();
void update_medkit();
