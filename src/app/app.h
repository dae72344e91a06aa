// Entry, window, message pump and the per-frame sequence of modules.
#pragma once

#include <windows.h>

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void drain_messages();
// False when the window or the graphics device could not be created; the reason has been shown.
bool init_game();
bool run_frame();
void shutdown_game();
