#include "world/spawn.h"

// Placeholder until the level data lands.
const SpawnEvent spawn_script_0[SPAWN_SCRIPT_0_LENGTH] = {};
const SpawnEvent spawn_script_1[SPAWN_SCRIPT_1_LENGTH] = {};
const SpawnEvent spawn_script_2[SPAWN_SCRIPT_2_LENGTH] = {};
