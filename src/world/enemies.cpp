#include "world/enemies.h"

// Placeholder until this module lands.
void init_enemies() {}
void update_enemies() {}
