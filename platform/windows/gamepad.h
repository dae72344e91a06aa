// Windows only: XInput and DirectInput pads as the actions and mouse counts they stand for (gamepad.cpp).
#pragma once

#include <cstdint>

namespace windows_pad {

// The actions the pad holds this frame, as bits of settings::action_bit. The pad is looked at
// once a frame: the first read of either device after the other's starts a new one.
std::uint32_t read_pad_actions_for_keyboard();
// The same, for the mouse's read, with the right stick's whole counts since the last one.
std::uint32_t read_pad_actions_for_mouse(std::int32_t& dx, std::int32_t& dy);

}  // namespace windows_pad
