#include "world/stages.h"

// Placeholder until this module lands.
void init_stages() {}
void init_title() {}
void update_title() {}
void update_stage() {}
