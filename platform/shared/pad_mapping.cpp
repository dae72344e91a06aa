#include <pad_mapping.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include <dinput.h>

namespace gamepad {

namespace {

// Where a held key or button comes from.
enum Source : uint32_t {
    stick_up,
    stick_down,
    stick_left,
    stick_right,
    dpad_up,
    dpad_down,
    dpad_left,
    dpad_right,
    right_trigger,
    right_shoulder,
    left_trigger,
    left_shoulder,
    start,
    back_held_long,
};

enum class Target : uint8_t { key, mouse_button };

struct Binding {
    Source source;
    Target target;
    uint8_t code;  // DirectInput scan code, or mouse button index (0 left, 1 right)
};

// The whole mapping. The right stick is the one input not listed: it moves the mouse.
constexpr Binding bindings[] = {
    {stick_up, Target::key, DIK_W},
    {stick_down, Target::key, DIK_S},
    {stick_left, Target::key, DIK_A},
    {stick_right, Target::key, DIK_D},
    {dpad_up, Target::key, DIK_W},
    {dpad_down, Target::key, DIK_S},
    {dpad_left, Target::key, DIK_A},
    {dpad_right, Target::key, DIK_D},
    {right_trigger, Target::mouse_button, 0},  // fire bullets
    {right_shoulder, Target::mouse_button, 0},
    {left_trigger, Target::mouse_button, 1},  // fire a rocket
    {left_shoulder, Target::mouse_button, 1},
    {start, Target::key, DIK_SPACE},           // start, pause
    {back_held_long, Target::key, DIK_ESCAPE},  // quit
};

constexpr int axis_max = 32767;
// The left stick counts as pushed beyond a quarter of its travel, in any direction.
constexpr int64_t left_dead_zone = axis_max / 4;
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

constexpr uint32_t bit(Source source) { return 1u << source; }

int64_t magnitude(int64_t x, int64_t y) {
    return std::min<int64_t>(static_cast<int64_t>(std::sqrt(static_cast<double>(x * x + y * y))), axis_max);
}

// The stick's direction as up to two of the four keys, in eight equal sectors: a direction
// within 22.5 degrees of an axis gives one key, anything between gives the diagonal's two.
uint32_t stick_keys(int64_t x, int64_t y) {
    if (x * x + y * y <= left_dead_zone * left_dead_zone) return 0;
    // tan(67.5 degrees), scaled: |y| < |x| tan(67.5) means within 67.5 degrees of the x axis.
    constexpr int64_t tan_67_5 = 2414214;
    constexpr int64_t scale = 1000000;
    const int64_t ax = std::abs(x);
    const int64_t ay = std::abs(y);
    uint32_t keys = 0;
    if (ay * scale < ax * tan_67_5) keys |= bit(x > 0 ? stick_right : stick_left);
    if (ax * scale < ay * tan_67_5) keys |= bit(y > 0 ? stick_down : stick_up);
    return keys;
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

bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

constexpr std::string_view prefix = "pad:";

}  // namespace

void PadMapper::step(const PadReading& reading) {
    uint32_t sources = stick_keys(reading.left_x, reading.left_y);
    const uint32_t buttons = reading.buttons;
    if (buttons & button::dpad_up) sources |= bit(dpad_up);
    if (buttons & button::dpad_down) sources |= bit(dpad_down);
    if (buttons & button::dpad_left) sources |= bit(dpad_left);
    if (buttons & button::dpad_right) sources |= bit(dpad_right);
    if (buttons & button::right_shoulder) sources |= bit(right_shoulder);
    if (buttons & button::left_shoulder) sources |= bit(left_shoulder);
    if (buttons & button::start) sources |= bit(start);
    if (reading.right_trigger >= trigger_held) sources |= bit(right_trigger);
    if (reading.left_trigger >= trigger_held) sources |= bit(left_trigger);

    back_frames_ = (buttons & button::back) ? std::min(back_frames_ + 1, back_frames_for_escape) : 0;
    if (back_frames_ >= back_frames_for_escape) sources |= bit(back_held_long);
    sources_ = sources;

    int64_t dx = 0;
    int64_t dy = 0;
    stick_motion(reading.right_x, reading.right_y, dx, dy);
    motion_x_ = add_limited(motion_x_, dx);
    motion_y_ = add_limited(motion_y_, dy);
}

void PadMapper::add_keys(uint8_t keys[256]) const {
    for (const Binding& binding : bindings)
        if (binding.target == Target::key && (sources_ & bit(binding.source))) keys[binding.code] = 0x80;
}

void PadMapper::add_buttons(uint8_t buttons[4]) const {
    for (const Binding& binding : bindings)
        if (binding.target == Target::mouse_button && (sources_ & bit(binding.source))) buttons[binding.code] = 0x80;
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
        {"lb", button::left_shoulder}, {"rb", button::right_shoulder},
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
