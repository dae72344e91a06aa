#include "combat/rockets.h"

// Placeholder until this module lands.
void init_rockets() {}
void update_rockets() {}
