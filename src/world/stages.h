// Stages, camera, stage exit, level-up and the title screen.
#pragma once

#include <cstdint>

void init_stages();
void init_title();
void update_title();
void update_stage();
