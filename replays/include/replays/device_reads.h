// The one place where every keyboard and mouse read the game makes passes, on every build: the
// layer's DirectInput devices (platform/shared) and the Windows exe's wrapper around the real ones
// (platform/windows) hand each read here before the game sees it. Three stages, in this order:
//   1. translate: what the player pressed into what the game is to read (key remapping, ...);
//   2. record: a replay keeps exactly what the game is about to read;
//   3. replace: while a replay is watched, the whole read comes from it, and always succeeds.
// Each stage is a plain function, set once before the game starts; an unset stage is skipped.
// The game reads its mouse first and its keyboard second, once each a frame.
#pragma once

#include <cstdint>
#include <cstring>

namespace device_reads {

// A mouse read as DirectInput's DIMOUSESTATE gives it: counts moved since the last read and
// the four buttons' bytes (0x80 held).
struct MouseRead {
    std::int32_t dx = 0;
    std::int32_t dy = 0;
    std::int32_t dz = 0;
    std::uint8_t buttons[4] = {};
};

struct Stage {
    // `keys` is the 256 key bytes, indexed by DirectInput scan code (0x80 held).
    void (*keyboard)(std::uint8_t keys[256]) = nullptr;
    void (*mouse)(MouseRead& mouse) = nullptr;
};

void set_translate_stage(const Stage& stage);
void set_record_stage(const Stage& stage);
// The replacing stage sees the read as the earlier stages left it (what the player is doing
// now) and writes over it what the game is to read instead.
void set_replace_stage(const Stage& stage);

// Called by the devices after their own read. `ok` says whether it succeeded; a failed read
// comes here all zero (nothing held, no motion), as the game will take it. The result says
// whether the game is to see the read succeed.
bool pass_keyboard_read(std::uint8_t keys[256], bool ok);
bool pass_mouse_read(MouseRead& mouse, bool ok);

// pass_mouse_read on a DIMOUSESTATE in place (the layer's and the real SDK's alike).
template <class MouseState>
bool pass_mouse_state(MouseState& state, bool ok) {
    MouseRead mouse{state.lX, state.lY, state.lZ, {}};
    std::memcpy(mouse.buttons, state.rgbButtons, sizeof mouse.buttons);
    const bool pass = pass_mouse_read(mouse, ok);
    state.lX = mouse.dx;
    state.lY = mouse.dy;
    state.lZ = mouse.dz;
    std::memcpy(state.rgbButtons, mouse.buttons, sizeof mouse.buttons);
    return pass;
}

}  // namespace device_reads
