#include "combat/player.h"

// Placeholder until this module lands.
void init_player() {}
void update_player() {}
