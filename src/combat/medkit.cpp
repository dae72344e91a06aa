#include "combat/medkit.h"

// Placeholder until this module lands.
void init_medkit() {}
void update_medkit() {}
