#include "world/spawn.h"

// Placeholder until this module lands.
void set_script_cursor(int32_t) {}
void reset_script_cursor() {}
void run_spawn_script() {}
