// A pad of the Gamepad API's "standard" layout as the readings of pad_mapping.h: the axes and
// buttons the mapping reads, by their places in that layout. Pure arithmetic, so that it can
// be tried natively.
#pragma once

#include <cmath>
#include <cstdint>

#include <pad_mapping.h>

namespace web {

// The standard layout's places of what the mapping reads.
namespace standard {
constexpr int left_x = 0, left_y = 1, right_x = 2, right_y = 3;
constexpr int axis_count = 4;
constexpr int back = 8, start = 9, left_shoulder = 4, right_shoulder = 5, left_trigger = 6, right_trigger = 7;
constexpr int dpad_up = 12, dpad_down = 13, dpad_left = 14, dpad_right = 15;
constexpr int a = 0, b = 1, x = 2, y = 3, left_stick = 10, right_stick = 11;
constexpr int button_count = 16;
}  // namespace standard

// One look at a pad, as the page hands it over: what the pad lacks reads as at rest.
struct StandardPadValues {
    double axes[standard::axis_count] = {};
    double buttons[standard::button_count] = {};  // each button's value, 0 released .. 1
    bool pressed[standard::button_count] = {};
};

// An axis from -1..1 to a whole stick's travel each way, -32768..32767; anything else a
// browser might hand over (NaN, past the ends) reads as at rest or at the end.
inline int stick_value(double value) {
    if (!(value == value)) return 0;
    if (value <= -1.0) return -32768;
    if (value >= 1.0) return 32767;
    return static_cast<int>(std::lround(value < 0 ? value * 32768.0 : value * 32767.0));
}

inline int trigger_value(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1.0) return 32767;
    return static_cast<int>(std::lround(value * 32767.0));
}

inline gamepad::PadReading read_standard_pad(const StandardPadValues& pad) {
    gamepad::PadReading reading;
    reading.left_x = stick_value(pad.axes[standard::left_x]);
    reading.left_y = stick_value(pad.axes[standard::left_y]);
    reading.right_x = stick_value(pad.axes[standard::right_x]);
    reading.right_y = stick_value(pad.axes[standard::right_y]);
    reading.left_trigger = trigger_value(pad.buttons[standard::left_trigger]);
    reading.right_trigger = trigger_value(pad.buttons[standard::right_trigger]);
    struct Place {
        int index;
        uint32_t bit;
    };
    constexpr Place places[] = {
        {standard::dpad_up, gamepad::button::dpad_up},       {standard::dpad_down, gamepad::button::dpad_down},
        {standard::dpad_left, gamepad::button::dpad_left},   {standard::dpad_right, gamepad::button::dpad_right},
        {standard::start, gamepad::button::start},           {standard::back, gamepad::button::back},
        {standard::left_shoulder, gamepad::button::left_shoulder},
        {standard::right_shoulder, gamepad::button::right_shoulder},
        // Bound to nothing by default; the settings may bind them.
        {standard::a, gamepad::button::a},                   {standard::b, gamepad::button::b},
        {standard::x, gamepad::button::x},                   {standard::y, gamepad::button::y},
        {standard::left_stick, gamepad::button::left_stick}, {standard::right_stick, gamepad::button::right_stick},
    };
    for (const Place& place : places)
        if (pad.pressed[place.index]) reading.buttons |= place.bit;
    return reading;
}

}  // namespace web
