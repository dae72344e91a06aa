// Windows only: DirectInput pads that are not XInput devices, as the mapping's readings (joysticks.cpp).
#pragma once

#include <windows.h>

#include <pad_mapping.h>

namespace windows_joysticks {

// The DirectInput pad that plays, read into `reading`; false when there is none. `window` is the
// game's, in front: a pad found now is opened for it.
bool read_joystick(HWND window, gamepad::PadReading& reading);

}  // namespace windows_joysticks
