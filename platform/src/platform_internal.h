// Seams between the parts of the Linux layer. Not seen by the game.
#pragma once

#include <cstdint>

struct DIMOUSESTATE;
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

// Gamepad (gamepad.cpp): what the pad holds and moves this frame, added to a successful
// keyboard or mouse read; a key or button held on either counts as held.
void add_pad_keys(uint8_t keys[256]);
void add_pad_mouse(DIMOUSESTATE& state);
// Nothing held from the pad until the next read looks again; its hold times start over.
void pad_focus_lost();
// Detaches the tests' virtual pads and lets go of the pad, for a fresh headless run.
void reset_pad();

}  // namespace platform
