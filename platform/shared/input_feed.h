// What the window system reports to the DirectInput devices (dinput_devices.cpp), and what
// the devices ask of it: the window table (win32_windows.cpp) answers for the window, each
// backend (platform/sdl, platform/web) for its gamepads.
#pragma once

#include <cstdint>

namespace platform {

// Handed to every live device. Keys are DirectInput scan codes; buttons count from 0 (left,
// right, middle, the first extra one); a wheel notch is 120.
void feed_key(uint8_t code, bool down);
void feed_mouse_motion(int64_t dx, int64_t dy);
void feed_mouse_button(int index, bool down);
void feed_mouse_wheel(int64_t delta);
// Key and button releases that happen elsewhere never reach us, so losing focus lets go of everything.
void focus_changed(bool focused);

// The window table, from its window system.
bool window_has_focus();              // always true in the headless modes
void capture_pointer(bool capture);   // hide the pointer and report only relative motion

// The platform's gamepad, looked at once a game frame: the actions it holds (bits of
// settings::action_bit, by the pad bindings in force) for a successful keyboard or mouse read,
// and for the mouse's the right stick's whole counts too. Nothing held without a pad.
uint32_t read_pad_actions();
uint32_t read_pad_actions(int32_t& dx, int32_t& dy);
// Nothing held from the pad until the next read looks again; its hold times start over.
void pad_focus_lost();
// Detaches the tests' virtual pads and lets go of the pad, for a fresh headless run.
void reset_pad();

// The game's own test hook (input_script.cpp): plays ZORVALEN_INPUT_SCRIPT's keys, buttons and
// motion as a player's events, when the environment names one. Once, with the game's window.
void start_input_script();

}  // namespace platform
