// A gamepad as the actions the game reads: the pad's sticks, triggers and buttons in, the actions
// they are bound to (the player's controls, settings/controls.h, which turn them into key and button
// bytes) and relative mouse counts out. Plain numbers only, no window system, so that every
// backend with pads can share it (the desktop's does; the browser has none yet). Here for tests
// and tools, with the script tokens of a virtual pad; the game never sees it.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "settings/controls.h"

namespace gamepad {

// The buttons the mapping reads, as bits of PadReading::buttons.
namespace button {
constexpr uint32_t dpad_up = 1u << 0;
constexpr uint32_t dpad_down = 1u << 1;
constexpr uint32_t dpad_left = 1u << 2;
constexpr uint32_t dpad_right = 1u << 3;
constexpr uint32_t start = 1u << 4;
constexpr uint32_t back = 1u << 5;
constexpr uint32_t left_shoulder = 1u << 6;
constexpr uint32_t right_shoulder = 1u << 7;
constexpr uint32_t a = 1u << 8;
constexpr uint32_t b = 1u << 9;
constexpr uint32_t x = 1u << 10;
constexpr uint32_t y = 1u << 11;
constexpr uint32_t left_stick = 1u << 12;  // the stick pressed in
constexpr uint32_t right_stick = 1u << 13;
}  // namespace button

// One look at the pad, in the usual controller ranges.
struct PadReading {
    int left_x = 0;  // sticks: -32768..32767, y grows downwards as on the screen
    int left_y = 0;
    int right_x = 0;
    int right_y = 0;
    int left_trigger = 0;  // triggers: 0 released .. 32767 pulled all the way
    int right_trigger = 0;
    uint32_t buttons = 0;  // bits of `button`

    bool operator==(const PadReading&) const = default;
};

// Frames per second of the game's loop: every hold time below is counted in its frames.
constexpr int frames_per_second = 60;
// The inputs bound to quit (Back by default) must be held this long before it counts, so a
// brush of them never ends the game.
constexpr int quit_hold_frames = frames_per_second;

using PadBindings = std::array<uint32_t, settings::action_count>;  // settings::Controls::pad

// Steps once per game frame; between steps the actions stay as they are, and the right stick's
// motion waits to be taken by the next mouse read.
class PadMapper {
public:
    void step(const PadReading& reading, const PadBindings& bindings);
    // The actions the pad holds, as bits of settings::action_bit.
    uint32_t actions() const { return actions_; }
    // Whole mouse counts moved since the last take; the fraction is kept for the next one.
    void take_motion(int32_t& dx, int32_t& dy);
    // Nothing held, no motion waiting, quit's hold starts over: the pad or the focus went away.
    void reset();

private:
    uint32_t actions_ = 0;
    int quit_frames_ = 0;
    int64_t motion_x_ = 0;  // in 1/196608 of a count
    int64_t motion_y_ = 0;
};

// Script tokens for pad input, shared by the replay runner and the layer's virtual pad:
// "pad:lx=N", "pad:ly=N", "pad:rx=N", "pad:ry=N" (sticks), "pad:lt=N", "pad:rt=N" (triggers),
// and the buttons "pad:up", "pad:down", "pad:left", "pad:right", "pad:start", "pad:back",
// "pad:lb", "pad:rb", "pad:a", "pad:b", "pad:x", "pad:y", "pad:ls", "pad:rs" (the sticks pressed
// in). Case does not matter.
bool is_pad_token(std::string_view token);
// Applies one token to `reading`; false for a token that names no pad input or a value out of range.
bool apply_pad_token(std::string_view token, PadReading& reading);

}  // namespace gamepad
