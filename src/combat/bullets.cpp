#include "combat/bullets.h"

// Placeholder until this module lands.
Velocity aim_velocity() { return Velocity{0, 0}; } // {}
void init_bullets() {}
void update_bullets() {}
