// Windows only, linked into the exe alone: the player's controls on the real DirectInput. Every
// keyboard and mouse read the game takes passes replays/device_reads.h (the wrapper around its
// devices, input_devices.cpp); here is that module's translating stage, which hands the game the
// keys and buttons of the actions the player holds, as our layer does on Linux and in the browser
// (settings/controls.h): keys and buttons bound to each action, the buttons swapped, the aim speed.
// It comes before the replay's recording, so a replay keeps what the game read.
//
// A read needs the other device's state too (a key may stand for fire, a button for pause). The
// game reads its mouse first and its keyboard second, once each a frame: the mouse's stage takes
// the keys of the keyboard's last read, with the bound keys as they stand now (GetAsyncKeyState)
// where Windows tells, and the keyboard's takes the buttons the mouse's read of the same frame
// saw. The pad (gamepad.cpp) holds actions as a key does, and its right stick adds to the
// mouse's counts, as on Linux.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gamepad.h"
#include "settings/controls.h"
#include "replays/device_reads.h"
#include "settings/settings.h"

namespace {

struct Held {
    std::uint8_t buttons[4] = {};  // as the last mouse read saw them, swapped as the controls say
    std::uint8_t keys[256] = {};   // the player's own, as the last keyboard read saw them
    settings::AimScale aim;
};
Held held;

// A DirectInput scan code as the virtual key Windows keeps its state under: the codes from 0x80
// are the keys sent with the E0 prefix.
UINT find_virtual_key(unsigned code) {
    const UINT scan = (code & 0x80) != 0 ? (0xE000u | (code & 0x7Fu)) : code;
    return MapVirtualKeyA(scan, MAPVK_VSC_TO_VK_EX);
}

// The keys bound to any action, as they stand, added to `keys`.
void peek_bound_keys(const settings::Controls& controls, std::uint8_t keys[256]) {
    for (const auto& inputs : controls.keys) {
        for (const settings::Input input : inputs) {
            if (input == settings::no_input || settings::is_mouse_button(input) || input > 0xFF) continue;
            const UINT key = find_virtual_key(input);
            if (key != 0 && (GetAsyncKeyState(static_cast<int>(key)) & 0x8000) != 0) keys[input] = 0x80;
        }
    }
}

void translate_mouse(device_reads::MouseRead& mouse) {
    const settings::Controls& controls = settings::read_settings_in_force().controls;
    settings::swap_mouse_buttons(controls, mouse.buttons);
    std::memcpy(held.buttons, mouse.buttons, sizeof held.buttons);
    std::uint8_t keys[256];
    std::memcpy(keys, held.keys, sizeof keys);
    peek_bound_keys(controls, keys);
    std::int32_t pad_dx = 0;
    std::int32_t pad_dy = 0;
    const std::uint32_t pad_actions = windows_pad::read_pad_actions_for_mouse(pad_dx, pad_dy);
    const std::uint32_t actions = settings::find_held_actions(controls, keys, mouse.buttons, pad_actions);
    held.aim.scale(controls.aim_speed, mouse.dx, mouse.dy);
    // Saturating, as the mouse's own sums do.
    mouse.dx = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{mouse.dx} + pad_dx, INT32_MIN, INT32_MAX));
    mouse.dy = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{mouse.dy} + pad_dy, INT32_MIN, INT32_MAX));
    std::uint8_t out[4];
    settings::write_game_buttons(actions, mouse.buttons, out);
    std::memcpy(mouse.buttons, out, sizeof out);
}

void translate_keyboard(std::uint8_t keys[256]) {
    const settings::Controls& controls = settings::read_settings_in_force().controls;
    std::memcpy(held.keys, keys, sizeof held.keys);
    const std::uint32_t actions =
        settings::find_held_actions(controls, keys, held.buttons, windows_pad::read_pad_actions_for_keyboard());
    std::uint8_t out[256];
    settings::write_game_keys(controls, actions, keys, out);
    std::memcpy(keys, out, sizeof out);
}

// Before WinMain, with the program's static data; the controls are looked up at each read.
const bool translating = [] {
    device_reads::set_translate_stage({translate_keyboard, translate_mouse});
    return true;
}();

}  // namespace

#endif
