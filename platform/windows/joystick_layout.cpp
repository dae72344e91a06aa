#include "joystick_layout.h"

#include <cctype>
#include <charconv>

namespace joystick {

namespace {

// Button indices in gamepad::button's bit order.
struct Buttons {
    std::int8_t start, back, left_shoulder, right_shoulder, a, b, x, y, left_stick, right_stick;
};

constexpr Layout make_layout(std::string_view name, std::uint16_t vendor, std::uint16_t product, Axis right_x,
                             Axis right_y, Axis left_trigger, Axis right_trigger, Buttons buttons) {
    Layout layout;
    layout.name = name;
    layout.vendor = vendor;
    layout.product = product;
    layout.right_x = right_x;
    layout.right_y = right_y;
    layout.left_trigger = left_trigger;
    layout.right_trigger = right_trigger;
    // Pads whose triggers are no axis have them as the buttons after the shoulders.
    if (left_trigger == no_axis) layout.left_trigger_button = 6;
    if (right_trigger == no_axis) layout.right_trigger_button = 7;
    const std::int8_t in_order[] = {buttons.start, buttons.back,       buttons.left_shoulder, buttons.right_shoulder,
                                    buttons.a,     buttons.b,          buttons.x,             buttons.y,
                                    buttons.left_stick, buttons.right_stick};
    for (int i = 0; i < 10; ++i) layout.buttons[4 + i] = in_order[i];
    return layout;
}

// Sony's pads through Windows' own HID driver (Square, Cross, Circle, Triangle, L1, R1, L2, R2,
// Share, Options, L3, R3) and Logitech's in their DirectInput mode (X, A, B, Y, LB, RB, LT, RT,
// Back, Start, the sticks): the face buttons from the left, counterclockwise.
constexpr Buttons left_first_buttons{9, 8, 4, 5, 1, 2, 0, 3, 10, 11};
// The Switch Pro controller: B, A, Y, X, L, R, ZL, ZR, Minus, Plus, the sticks; no analog triggers.
constexpr Buttons nintendo_buttons{9, 8, 4, 5, 0, 1, 2, 3, 10, 11};
// Most other pads: the four face buttons clockwise from the top, then as the others.
constexpr Buttons generic_buttons{9, 8, 4, 5, 2, 1, 3, 0, 10, 11};

constexpr Layout layouts[] = {
    // Sony's with the right stick on Z and Rz and analog triggers on Rx and Ry.
    make_layout("DualShock 4", 0x054C, 0x05C4, axis_z, axis_rz, axis_rx, axis_ry, left_first_buttons),
    make_layout("DualShock 4", 0x054C, 0x09CC, axis_z, axis_rz, axis_rx, axis_ry, left_first_buttons),
    make_layout("DualShock 4", 0x054C, 0x0BA0, axis_z, axis_rz, axis_rx, axis_ry, left_first_buttons),
    make_layout("DualSense", 0x054C, 0x0CE6, axis_z, axis_rz, axis_rx, axis_ry, left_first_buttons),
    make_layout("DualSense Edge", 0x054C, 0x0DF2, axis_z, axis_rz, axis_rx, axis_ry, left_first_buttons),
    make_layout("Switch Pro", 0x057E, 0x2009, axis_rx, axis_ry, no_axis, no_axis, nintendo_buttons),
    make_layout("Logitech Dual Action", 0x046D, 0xC216, axis_z, axis_rz, no_axis, no_axis, left_first_buttons),
    make_layout("Logitech RumblePad 2", 0x046D, 0xC218, axis_z, axis_rz, no_axis, no_axis, left_first_buttons),
    make_layout("Logitech F710", 0x046D, 0xC219, axis_z, axis_rz, no_axis, no_axis, left_first_buttons),
};
constexpr Layout generic = make_layout("generic", 0, 0, axis_z, axis_rz, no_axis, no_axis, generic_buttons);

// `value` in `range` as a stick's -32768..32767, or a trigger's 0..32767 from the range's low end.
int read_axis(const AxisRanges& ranges, const JoystickState& state, Axis axis, bool trigger) {
    if (axis == no_axis || !is_usable(ranges[axis])) return 0;
    const AxisRange& range = ranges[axis];
    const std::int32_t value = state.axes[axis];
    if (value < range.low || value > range.high) return 0;
    const std::int64_t span = std::int64_t{range.high} - range.low;
    const std::int64_t offset = std::int64_t{value} - range.low;
    // Rounded, so a range's middle is the stick's.
    if (trigger) return static_cast<int>((offset * 32767 + span / 2) / span);
    return static_cast<int>((offset * 65535 + span / 2) / span - 32768);
}

bool held(const JoystickState& state, int button) {
    return button >= 0 && button < button_count && (state.buttons[button] & 0x80) != 0;
}

// The hat's direction as the d-pad's bits, a diagonal as two.
std::uint32_t read_hat(std::uint32_t pov) {
    if ((pov & 0xFFFF) == 0xFFFF || pov >= 36000) return 0;
    using namespace gamepad::button;
    constexpr std::uint32_t sectors[8] = {dpad_up,   dpad_up | dpad_right,   dpad_right, dpad_down | dpad_right,
                                          dpad_down, dpad_down | dpad_left, dpad_left,  dpad_up | dpad_left};
    return sectors[((pov + 2250) / 4500) % 8];
}

// Where `key` (upper case) first is in `path`, whatever the case of its letters there.
std::size_t find_key(std::string_view path, std::string_view key) {
    for (std::size_t at = 0; at + key.size() <= path.size(); ++at) {
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(path[at + i])) == key[i];
        if (same) return at;
    }
    return std::string_view::npos;
}
bool contains(std::string_view path, std::string_view key) { return find_key(path, key) != std::string_view::npos; }

// Four hexadecimal digits right after `key` in `path`.
bool find_hex_after(std::string_view path, std::string_view key, std::uint16_t& value) {
    const std::size_t at = find_key(path, key);
    if (at == std::string_view::npos || at + key.size() + 4 > path.size()) return false;
    const char* digits = path.data() + at + key.size();
    const auto [end, status] = std::from_chars(digits, digits + 4, value, 16);
    return status == std::errc() && end == digits + 4;
}

}  // namespace

Layout choose_layout(std::uint16_t vendor, std::uint16_t product, const AxisRanges& ranges) {
    for (const Layout& layout : layouts)
        if (layout.vendor == vendor && layout.product == product) return layout;
    Layout layout = generic;
    if (!is_usable(ranges[axis_z]) && !is_usable(ranges[axis_rz]) && is_usable(ranges[axis_rx])) {
        layout.right_x = axis_rx;
        layout.right_y = axis_ry;
    }
    return layout;
}

Axis find_unusable_axis(const Layout& layout, const AxisRanges& ranges) {
    for (const Axis axis : {layout.left_x, layout.left_y, layout.right_x, layout.right_y, layout.left_trigger,
                            layout.right_trigger})
        if (axis != no_axis && !is_usable(ranges[axis])) return axis;
    return no_axis;
}

std::string_view name_axis(Axis axis) {
    constexpr std::string_view names[] = {"X", "Y", "Z", "Rx", "Ry", "Rz", "slider 0", "slider 1"};
    return axis < axis_count ? names[axis] : "none";
}

gamepad::PadReading read_joystick(const Layout& layout, const AxisRanges& ranges, const JoystickState& state) {
    gamepad::PadReading reading;
    reading.left_x = read_axis(ranges, state, layout.left_x, false);
    reading.left_y = read_axis(ranges, state, layout.left_y, false);
    reading.right_x = read_axis(ranges, state, layout.right_x, false);
    reading.right_y = read_axis(ranges, state, layout.right_y, false);
    reading.left_trigger = layout.left_trigger != no_axis ? read_axis(ranges, state, layout.left_trigger, true)
                           : held(state, layout.left_trigger_button) ? 32767 : 0;
    reading.right_trigger = layout.right_trigger != no_axis ? read_axis(ranges, state, layout.right_trigger, true)
                            : held(state, layout.right_trigger_button) ? 32767 : 0;
    reading.buttons = read_hat(state.pov);
    for (int bit = 4; bit < 14; ++bit)
        if (held(state, layout.buttons[bit])) reading.buttons |= 1u << bit;
    return reading;
}

bool find_xinput_ids(std::string_view device_path, std::uint16_t& vendor, std::uint16_t& product) {
    return contains(device_path, "IG_") && find_hex_after(device_path, "VID_", vendor) && find_hex_after(device_path, "PID_", product);
}

}  // namespace joystick
