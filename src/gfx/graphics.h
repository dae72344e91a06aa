// The Direct3D device and the frame boundary.
#pragma once

#include <cstdint>

void create_graphics(int32_t width, int32_t height, bool windowed);
void end_frame();
void release_graphics();
