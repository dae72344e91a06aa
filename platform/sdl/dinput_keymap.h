// Physical key positions: SDL scancodes (USB usage codes) to DirectInput scan codes.
#pragma once

#include <cstdint>

namespace dinput {

// The DirectInput scan code of the key at this SDL scancode's position, or 0 for a key
// DirectInput has no code for. The position is what counts, not the letter printed on the
// key, so W/A/S/D stay a diamond on every layout.
uint8_t dik_from_scancode(int sdl_scancode);

}  // namespace dinput
