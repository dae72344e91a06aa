// Spawn scripts: the compiled-in level design, one event per in-play frame.
#pragma once

#include <cstdint>

#include "world/records.h"

constexpr int32_t SPAWN_SCRIPT_0_LENGTH = 52;
constexpr int32_t SPAWN_SCRIPT_1_LENGTH = 88;
constexpr int32_t SPAWN_SCRIPT_2_LENGTH = 37;
extern const SpawnEvent spawn_script_0[SPAWN_SCRIPT_0_LENGTH];
extern const SpawnEvent spawn_script_1[SPAWN_SCRIPT_1_LENGTH];
extern const SpawnEvent spawn_script_2[SPAWN_SCRIPT_2_LENGTH];

void set_script_cursor(int32_t index);
void reset_script_cursor();
void run_spawn_script();
