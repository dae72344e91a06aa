// Windows only, linked into the exe alone: XInput pads (and every pad a driver or Steam Input
// presents as one) read as the keys and mouse counts the game polls, through the same mapping
// and [pad] bindings as the desktop's layer on Linux (pad_mapping.h). The translating stage
// (controls.cpp) folds them into the keyboard's and mouse's reads, so the replay keeps what the
// game read and needs nothing of its own for pads.
//
// XInput is loaded when first needed from whichever DLL the system has, so the exe imports
// nothing new and runs without one. The first connected slot plays; when it goes away the next
// one found takes over. Only a slot known to hold a pad is read every frame: empty slots are
// asked again every two seconds, as a look at an empty slot can cost a millisecond. While no
// XInput pad plays, a DirectInput pad may (joysticks.cpp).
#ifdef _WIN32

#include <windows.h>

#include <xinput.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include <pad_mapping.h>

#include "gamepad.h"
#include "joysticks.h"
#include "settings/settings.h"

namespace {

using GetStateFunction = DWORD(WINAPI*)(DWORD, XINPUT_STATE*);

constexpr DWORD slot_count = XUSER_MAX_COUNT;
constexpr ULONGLONG probe_interval_ms = 2000;

enum Reader { keyboard_reader, mouse_reader, reader_count };

struct Pad {
    bool loaded = false;
    GetStateFunction get_state = nullptr;
    int slot = -1;  // the slot that plays, -1 for none
    ULONGLONG last_probe = 0;
    bool probed = false;
    gamepad::PadMapper mapper;
    bool sampled = false;
    bool read_since_sample[reader_count] = {};
};
Pad pad;

void load() {
    pad.loaded = true;
    for (const char* name : {"xinput1_4.dll", "xinput1_3.dll", "xinput9_1_0.dll"}) {
        HMODULE module = LoadLibraryA(name);
        if (module == nullptr) continue;
        pad.get_state = reinterpret_cast<GetStateFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "XInputGetState")));
        if (pad.get_state != nullptr) return;
        FreeLibrary(module);
    }
    std::fputs("zorvalen: no XInput DLL on this system: only DirectInput pads and the keyboard and mouse play\n", stderr);
    // The C runtime may hold stderr back when it is no console; the game may be ended any time.
    std::fflush(stderr);
}

// XInput's sticks grow upwards; the mapping's, as the screen's, downwards. ~v maps the whole
// range onto itself exactly, as SDL does for the same pads on Linux.
int flip(SHORT value) { return ~static_cast<int>(value); }
// Triggers from 0..255 to 0..32767, both ends exact.
int widen(BYTE value) { return value * 32767 / 255; }

gamepad::PadReading read_gamepad(const XINPUT_GAMEPAD& state) {
    struct ButtonPair {
        WORD xinput;
        std::uint32_t bit;
    };
    constexpr ButtonPair button_pairs[] = {
        {XINPUT_GAMEPAD_DPAD_UP, gamepad::button::dpad_up},
        {XINPUT_GAMEPAD_DPAD_DOWN, gamepad::button::dpad_down},
        {XINPUT_GAMEPAD_DPAD_LEFT, gamepad::button::dpad_left},
        {XINPUT_GAMEPAD_DPAD_RIGHT, gamepad::button::dpad_right},
        {XINPUT_GAMEPAD_START, gamepad::button::start},
        {XINPUT_GAMEPAD_BACK, gamepad::button::back},
        {XINPUT_GAMEPAD_LEFT_SHOULDER, gamepad::button::left_shoulder},
        {XINPUT_GAMEPAD_RIGHT_SHOULDER, gamepad::button::right_shoulder},
        {XINPUT_GAMEPAD_A, gamepad::button::a},
        {XINPUT_GAMEPAD_B, gamepad::button::b},
        {XINPUT_GAMEPAD_X, gamepad::button::x},
        {XINPUT_GAMEPAD_Y, gamepad::button::y},
        {XINPUT_GAMEPAD_LEFT_THUMB, gamepad::button::left_stick},
        {XINPUT_GAMEPAD_RIGHT_THUMB, gamepad::button::right_stick},
    };
    gamepad::PadReading reading;
    reading.left_x = state.sThumbLX;
    reading.left_y = flip(state.sThumbLY);
    reading.right_x = state.sThumbRX;
    reading.right_y = flip(state.sThumbRY);
    reading.left_trigger = widen(state.bLeftTrigger);
    reading.right_trigger = widen(state.bRightTrigger);
    for (const ButtonPair& pair : button_pairs)
        if (state.wButtons & pair.xinput) reading.buttons |= pair.bit;
    return reading;
}

// The playing slot's state, after looking for one if none plays; false when no pad is there.
bool read_state(XINPUT_STATE& state) {
    if (pad.slot >= 0) {
        if (pad.get_state(static_cast<DWORD>(pad.slot), &state) == ERROR_SUCCESS) return true;
        // Gone: nothing it held stays held, and the others are looked at now.
        pad.slot = -1;
        pad.mapper.reset();
        pad.probed = false;
    }
    const ULONGLONG now = GetTickCount64();
    if (pad.probed && now - pad.last_probe < probe_interval_ms) return false;
    pad.probed = true;
    pad.last_probe = now;
    for (DWORD slot = 0; slot < slot_count; ++slot) {
        if (pad.get_state(slot, &state) != ERROR_SUCCESS) continue;
        pad.slot = static_cast<int>(slot);
        return true;
    }
    return false;
}

// The pad counts only while the game's window is in front, as the keyboard and mouse do: the
// window in front when it is the game's, null otherwise.
HWND find_front_window() {
    HWND window = GetForegroundWindow();
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId() ? window : nullptr;
}

void sample() {
    // Behind another window the pad is not even looked at: nothing it did then reaches the game.
    const HWND window = find_front_window();
    XINPUT_STATE state{};
    gamepad::PadReading reading;
    if (window != nullptr && pad.get_state != nullptr && read_state(state)) {
        reading = read_gamepad(state.Gamepad);
    } else if (window == nullptr || !windows_joysticks::read_joystick(window, reading)) {
        pad.mapper.reset();
        return;
    }
    pad.mapper.step(reading, settings::read_settings_in_force().controls.pad);
}

gamepad::PadMapper& pad_for(Reader reader) {
    if (!pad.loaded) load();
    if (!pad.sampled || pad.read_since_sample[reader]) {
        sample();
        pad.sampled = true;
        std::fill(std::begin(pad.read_since_sample), std::end(pad.read_since_sample), false);
    }
    pad.read_since_sample[reader] = true;
    return pad.mapper;
}

}  // namespace

namespace windows_pad {

std::uint32_t read_pad_actions_for_keyboard() {
    return pad_for(keyboard_reader).actions();
}

std::uint32_t read_pad_actions_for_mouse(std::int32_t& dx, std::int32_t& dy) {
    dx = dy = 0;
    gamepad::PadMapper& mapper = pad_for(mouse_reader);
    mapper.take_motion(dx, dy);
    return mapper.actions();
}

}  // namespace windows_pad

#endif
