// The window procedure and the message pump. The frame boundary (gfx/graphics) drains the
// queue as its last step, so this is the one part of the shell that the graphics code calls.
#pragma once

#include <windows.h>

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// Takes every waiting message, dispatching each; WM_QUIT sets the World's quit flag.
void drain_messages();
