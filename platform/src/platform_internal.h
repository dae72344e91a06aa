// Seams between the parts of the Linux layer. Not seen by the game.
#pragma once

union SDL_Event;
struct SDL_Window;

namespace platform {

// Windowing and device (win32.cpp, d3d9.cpp).
SDL_Window* main_sdl_window();  // null before the window exists and in record mode
bool window_has_focus();        // always true in the headless modes

// Input (dinput.cpp): every keyboard and mouse event the message pump takes from SDL,
// and each change of focus, so that exclusive devices can let go of the pointer.
void handle_input_event(const SDL_Event& event);
void focus_changed(bool focused);

}  // namespace platform
