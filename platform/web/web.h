// Seams between the parts of the browser layer. Not seen by the game.
#pragma once

#include <windows.h>

namespace web {

// The page's one canvas, as html5.h names it.
inline constexpr const char* CANVAS = "#canvas";

// Windowing (win32.cpp).
bool is_live_window(HWND window);
bool page_has_focus();

// Shows a line of text over the canvas, in the page itself.
void show_message(const char* text);

// Input (dinput.cpp): listens to the page's keyboard, mouse and focus once there is a window.
void listen_for_input();

// Sound (dsound.cpp): the browser lets audio start only from a user's key or click.
void start_audio_from_gesture();

}  // namespace web
