#include "presentation/starfield.h"

// Placeholder until this module lands.
void init_starfield() {}
void update_starfield() {}
