// DirectInput game controllers that are not XInput devices (PlayStation, Switch Pro and generic
// pads) as the readings of pad_mapping.h: a small table of the common layouts by vendor and
// product id with a generic fallback, and each axis's reported range brought to the mapping's.
// Plain numbers only, no DirectInput header, so that it builds and is tried on Linux too;
// joysticks.cpp copies the device's joystick state in.
#pragma once

#include <cstdint>
#include <string_view>

#include <pad_mapping.h>

namespace joystick {

// The axes of DirectInput's joystick state, in its order.
enum Axis : std::uint8_t {
    axis_x, axis_y, axis_z, axis_rx, axis_ry, axis_rz, axis_slider_0, axis_slider_1, axis_count,
    no_axis = axis_count
};

// An axis's range as the device reports it; low >= high (also what an axis the device lacks is
// given) reads as at rest.
struct AxisRange {
    std::int32_t low = 0;
    std::int32_t high = 0;
};
using AxisRanges = AxisRange[axis_count];

constexpr bool is_usable(const AxisRange& range) { return range.low < range.high; }

constexpr int button_count = 32;
constexpr int no_button = -1;

// One look at the device.
struct JoystickState {
    std::int32_t axes[axis_count] = {};
    std::uint32_t pov = 0xFFFFFFFF;  // the first hat, hundredths of a degree clockwise from up; centred otherwise
    std::uint8_t buttons[button_count] = {};  // held when the top bit is set
};

// Where a pad has what the mapping reads. The d-pad is always the first hat.
struct Layout {
    std::string_view name;
    std::uint16_t vendor = 0;  // both 0 for the generic fallback
    std::uint16_t product = 0;
    Axis left_x = axis_x, left_y = axis_y, right_x = axis_z, right_y = axis_rz;
    Axis left_trigger = no_axis, right_trigger = no_axis;  // no_axis: the trigger is a button
    std::int8_t left_trigger_button = no_button, right_trigger_button = no_button;
    // The button index for each of gamepad::button's bits, in bit order (the d-pad's four first,
    // unused as it is the hat); face buttons by position, as the browser's standard layout has them.
    std::int8_t buttons[14] = {no_button, no_button, no_button, no_button, no_button, no_button, no_button,
                              no_button, no_button, no_button, no_button, no_button, no_button, no_button};
};

// The layout of the pad with these ids; the generic one, its right stick on Z and Rz or, when
// the device has neither, on Rx and Ry, for a pad the table does not know.
Layout choose_layout(std::uint16_t vendor, std::uint16_t product, const AxisRanges& ranges);

// The first axis the layout reads whose range is unusable; no_axis when all are fine.
Axis find_unusable_axis(const Layout& layout, const AxisRanges& ranges);
std::string_view name_axis(Axis axis);

// The reading the mapping steps with. An axis with an unusable range, or whose value lies
// outside its range, reads as at rest.
gamepad::PadReading read_joystick(const Layout& layout, const AxisRanges& ranges, const JoystickState& state);

// The vendor and product ids of a raw input device's path whose "IG_" marks an XInput device
// (that XInput already reads); false for any other path.
bool find_xinput_ids(std::string_view device_path, std::uint16_t& vendor, std::uint16_t& product);

}  // namespace joystick
