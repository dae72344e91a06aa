// Polled keyboard and mouse through DirectInput 8.
#pragma once

#include <cstdint>

void init_keyboard();
void init_mouse();
void poll_keyboard();
void poll_mouse();
void set_cursor_bounds(int32_t left, int32_t top, int32_t right, int32_t bottom);
void release_keyboard();
void release_mouse();
