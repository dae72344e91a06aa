// Seams between the parts of the Linux layer. Not seen by the game.
#pragma once

#include <cstdint>

#include "input_feed.h"

union SDL_Event;
struct SDL_Window;

namespace platform {

// Windowing and device (win32.cpp, d3d9.cpp).
SDL_Window* main_sdl_window();  // null before the window exists and in record mode

// Input (dinput.cpp): every keyboard and mouse event the message pump takes from SDL.
// Focus changes go straight to the devices (input_feed.h).
void handle_input_event(const SDL_Event& event);

// Gamepad (gamepad.cpp): detaches the tests' virtual pads and lets go of the pad, for a
// fresh headless run.
void reset_pad();

}  // namespace platform
