#include "input/input.h"

// Placeholder until this module lands.
void init_keyboard() {}
void init_mouse() {}
void poll_keyboard() {}
void poll_mouse() {}
void set_cursor_bounds(int32_t, int32_t, int32_t, int32_t) {}
void release_keyboard() {}
void release_mouse() {}
