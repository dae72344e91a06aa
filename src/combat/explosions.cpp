#include "combat/explosions.h"

// Placeholder until this module lands.
void init_explosions() {}
void spawn_explosion(int32_t, int32_t) {}
void update_explosions() {}
