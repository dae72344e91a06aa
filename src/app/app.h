// Entry, window and the per-frame sequence of modules; the message pump is in app/messages.
#pragma once

#include <windows.h>

#include "app/messages.h"

// False when the window or the graphics device could not be created; the reason has been shown.
bool init_game();
bool run_frame();
void shutdown_game();
