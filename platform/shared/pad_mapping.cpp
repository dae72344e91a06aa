#include <pad_mapping.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "common/letters.h"

namespace gamepad {

namespace {

using settings::PadInput;

constexpr int axis_max = 32767;
// A stick's directions count as pushed beyond a quarter of its travel, in any direction.
constexpr int64_t direction_dead_zone = axis_max / 4;
// Inside this radius the right stick rests: worn sticks seldom centre exactly.
constexpr int64_t right_dead_zone = axis_max / 5;
// Past half travel a trigger counts as pulled.
constexpr int trigger_held = axis_max / 2 + 1;

// At full deflection the cursor crosses the 800-pixel screen in half a second, 30 frames:
// 80/3 counts a frame. Motion is kept in parts of a count that make that speed exact, so a
// full sweep lands on whole counts and leaves nothing over.
constexpr int64_t motion_unit = 3 * 65536;
constexpr int64_t full_speed = 800 * motion_unit / 30;
static_assert(full_speed * 30 == 800 * motion_unit);
// Far more than any screen, yet far from overflowing when nothing takes the motion.
constexpr int64_t motion_limit = int64_t{std::numeric_limits<int32_t>::max()} * motion_unit;

int64_t magnitude(int64_t x, int64_t y) {
    return std::min<int64_t>(static_cast<int64_t>(std::sqrt(static_cast<double>(x * x + y * y))), axis_max);
}

// The stick's direction as up to two of its four directions (up, down, left, right from `up` on),
// in eight equal sectors: a direction within 22.5 degrees of an axis gives one, anything between
// gives the diagonal's two.
uint32_t stick_directions(int64_t x, int64_t y, PadInput up) {
    if (x * x + y * y <= direction_dead_zone * direction_dead_zone) return 0;
    // tan(67.5 degrees), scaled: |y| < |x| tan(67.5) means within 67.5 degrees of the x axis.
    constexpr int64_t tan_67_5 = 2414214;
    constexpr int64_t scale = 1000000;
    const int64_t ax = std::abs(x);
    const int64_t ay = std::abs(y);
    uint32_t directions = 0;
    if (ay * scale < ax * tan_67_5) directions |= 1u << (up + (x > 0 ? 3 : 2));
    if (ax * scale < ay * tan_67_5) directions |= 1u << (up + (y > 0 ? 1 : 0));
    return directions;
}

// Motion for one frame, in motion units. The speed grows with the square of the deflection
// past the dead zone, so small deflections aim finely and a full one sweeps the screen.
void stick_motion(int64_t x, int64_t y, int64_t& dx, int64_t& dy) {
    dx = dy = 0;
    const int64_t length = magnitude(x, y);
    if (length <= right_dead_zone) return;
    const int64_t travel = ((length - right_dead_zone) * motion_unit) / (axis_max - right_dead_zone);
    const int64_t speed = full_speed * travel / motion_unit * travel / motion_unit;
    // The direction comes from the unclamped vector, so a corner of the stick's square is
    // still exactly diagonal.
    const double exact = std::sqrt(static_cast<double>(x * x + y * y));
    dx = static_cast<int64_t>(static_cast<double>(speed) * static_cast<double>(x) / exact);
    dy = static_cast<int64_t>(static_cast<double>(speed) * static_cast<double>(y) / exact);
}

int64_t add_limited(int64_t sum, int64_t delta) { return std::clamp(sum + delta, -motion_limit, motion_limit); }

constexpr std::string_view prefix = "pad:";

}  // namespace

void PadMapper::step(const PadReading& reading, const PadBindings& bindings) {
    static_assert(settings::pad_left_stick_down == settings::pad_left_stick_up + 1 &&
                  settings::pad_left_stick_right == settings::pad_left_stick_up + 3 &&
                  settings::pad_right_stick_right == settings::pad_right_stick_up + 3);
    struct ButtonInput {
        uint32_t button;
        PadInput input;
    };
    constexpr ButtonInput button_inputs[] = {
        {button::dpad_up, settings::pad_dpad_up}, {button::dpad_down, settings::pad_dpad_down},
        {button::dpad_left, settings::pad_dpad_left}, {button::dpad_right, settings::pad_dpad_right},
        {button::a, settings::pad_a}, {button::b, settings::pad_b}, {button::x, settings::pad_x},
        {button::y, settings::pad_y}, {button::left_shoulder, settings::pad_left_shoulder},
        {button::right_shoulder, settings::pad_right_shoulder}, {button::start, settings::pad_start},
        {button::back, settings::pad_back}, {button::left_stick, settings::pad_left_stick_press},
        {button::right_stick, settings::pad_right_stick_press},
    };
    uint32_t held = stick_directions(reading.left_x, reading.left_y, settings::pad_left_stick_up) |
                    stick_directions(reading.right_x, reading.right_y, settings::pad_right_stick_up);
    for (const ButtonInput& pair : button_inputs)
        if (reading.buttons & pair.button) held |= settings::pad_bit(pair.input);
    if (reading.right_trigger >= trigger_held) held |= settings::pad_bit(settings::pad_right_trigger);
    if (reading.left_trigger >= trigger_held) held |= settings::pad_bit(settings::pad_left_trigger);

    actions_ = 0;
    for (int action = 0; action < settings::action_count; ++action)
        if (bindings[static_cast<std::size_t>(action)] & held) actions_ |= 1u << action;
    const uint32_t quit = settings::action_bit(settings::Action::quit);
    quit_frames_ = (actions_ & quit) ? std::min(quit_frames_ + 1, quit_hold_frames) : 0;
    if (quit_frames_ < quit_hold_frames) actions_ &= ~quit;

    int64_t dx = 0;
    int64_t dy = 0;
    stick_motion(reading.right_x, reading.right_y, dx, dy);
    motion_x_ = add_limited(motion_x_, dx);
    motion_y_ = add_limited(motion_y_, dy);
}

void PadMapper::take_motion(int32_t& dx, int32_t& dy) {
    // Whole counts toward zero; what is left over keeps its sign and joins the next frame's motion.
    const int64_t whole_x = motion_x_ / motion_unit;
    const int64_t whole_y = motion_y_ / motion_unit;
    motion_x_ -= whole_x * motion_unit;
    motion_y_ -= whole_y * motion_unit;
    dx = static_cast<int32_t>(whole_x);
    dy = static_cast<int32_t>(whole_y);
}

void PadMapper::reset() { *this = PadMapper{}; }

bool is_pad_token(std::string_view token) {
    return token.size() > prefix.size() && same_letters(token.substr(0, prefix.size()), prefix);
}

bool apply_pad_token(std::string_view token, PadReading& reading) {
    if (!is_pad_token(token)) return false;
    const std::string_view name_and_value = token.substr(prefix.size());

    struct ButtonName {
        std::string_view name;
        uint32_t bit;
    };
    constexpr ButtonName button_names[] = {
        {"up", button::dpad_up}, {"down", button::dpad_down}, {"left", button::dpad_left},
        {"right", button::dpad_right}, {"start", button::start}, {"back", button::back},
        {"lb", button::left_shoulder}, {"rb", button::right_shoulder}, {"a", button::a}, {"b", button::b},
        {"x", button::x}, {"y", button::y}, {"ls", button::left_stick}, {"rs", button::right_stick},
    };
    for (const ButtonName& named : button_names) {
        if (same_letters(name_and_value, named.name)) {
            reading.buttons |= named.bit;
            return true;
        }
    }

    const std::size_t equals = name_and_value.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view name = name_and_value.substr(0, equals);
    std::string_view text = name_and_value.substr(equals + 1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int value = 0;
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || status != std::errc() || end != text.data() + text.size()) return false;

    struct AxisName {
        std::string_view name;
        int PadReading::*axis;
        int low;
    };
    constexpr AxisName axis_names[] = {
        {"lx", &PadReading::left_x, -32768},        {"ly", &PadReading::left_y, -32768},
        {"rx", &PadReading::right_x, -32768},       {"ry", &PadReading::right_y, -32768},
        {"lt", &PadReading::left_trigger, 0},       {"rt", &PadReading::right_trigger, 0},
    };
    for (const AxisName& named : axis_names) {
        if (!same_letters(name, named.name)) continue;
        if (value < named.low || value > axis_max) return false;
        reading.*named.axis = value;
        return true;
    }
    return false;
}

}  // namespace gamepad
