#include "settings/controls.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "common/letters.h"

namespace settings {

namespace {

struct NamedInput {
    std::string_view name;
    Input input;
};

// DirectInput's scan codes, in their order; the first name of each is the one written.
constexpr NamedInput named_inputs[] = {
    {"Escape", 0x01}, {"Esc", 0x01},
    {"1", 0x02}, {"2", 0x03}, {"3", 0x04}, {"4", 0x05}, {"5", 0x06},
    {"6", 0x07}, {"7", 0x08}, {"8", 0x09}, {"9", 0x0A}, {"0", 0x0B},
    {"Minus", 0x0C}, {"Equals", 0x0D}, {"Equal", 0x0D}, {"Backspace", 0x0E}, {"Tab", 0x0F},
    {"Q", 0x10}, {"W", 0x11}, {"E", 0x12}, {"R", 0x13}, {"T", 0x14},
    {"Y", 0x15}, {"U", 0x16}, {"I", 0x17}, {"O", 0x18}, {"P", 0x19},
    {"LeftBracket", 0x1A}, {"RightBracket", 0x1B}, {"Enter", 0x1C}, {"Return", 0x1C},
    {"LeftCtrl", 0x1D}, {"LCtrl", 0x1D},
    {"A", 0x1E}, {"S", 0x1F}, {"D", 0x20}, {"F", 0x21}, {"G", 0x22},
    {"H", 0x23}, {"J", 0x24}, {"K", 0x25}, {"L", 0x26},
    {"Semicolon", 0x27}, {"Apostrophe", 0x28}, {"Quote", 0x28}, {"Grave", 0x29}, {"Backquote", 0x29},
    {"LeftShift", 0x2A}, {"LShift", 0x2A}, {"Backslash", 0x2B},
    {"Z", 0x2C}, {"X", 0x2D}, {"C", 0x2E}, {"V", 0x2F}, {"B", 0x30}, {"N", 0x31}, {"M", 0x32},
    {"Comma", 0x33}, {"Period", 0x34}, {"Slash", 0x35}, {"RightShift", 0x36}, {"RShift", 0x36},
    {"KPMultiply", 0x37}, {"LeftAlt", 0x38}, {"LAlt", 0x38}, {"Space", 0x39}, {"CapsLock", 0x3A},
    {"F1", 0x3B}, {"F2", 0x3C}, {"F3", 0x3D}, {"F4", 0x3E}, {"F5", 0x3F},
    {"F6", 0x40}, {"F7", 0x41}, {"F8", 0x42}, {"F9", 0x43}, {"F10", 0x44},
    {"NumLock", 0x45}, {"ScrollLock", 0x46},
    {"KP7", 0x47}, {"KP8", 0x48}, {"KP9", 0x49}, {"KPMinus", 0x4A},
    {"KP4", 0x4B}, {"KP5", 0x4C}, {"KP6", 0x4D}, {"KPPlus", 0x4E},
    {"KP1", 0x4F}, {"KP2", 0x50}, {"KP3", 0x51}, {"KP0", 0x52}, {"KPPeriod", 0x53},
    // The extra key beside the left Shift on ISO keyboards.
    {"NonUSBackslash", 0x56},
    {"F11", 0x57}, {"F12", 0x58}, {"F13", 0x64}, {"F14", 0x65}, {"F15", 0x66},
    {"KPEquals", 0x8D}, {"KPEnter", 0x9C}, {"RightCtrl", 0x9D}, {"RCtrl", 0x9D},
    {"KPDivide", 0xB5}, {"PrintScreen", 0xB7}, {"RightAlt", 0xB8}, {"RAlt", 0xB8}, {"AltGr", 0xB8},
    {"Pause", 0xC5}, {"Home", 0xC7}, {"Up", 0xC8}, {"PageUp", 0xC9}, {"PgUp", 0xC9},
    {"Left", 0xCB}, {"Right", 0xCD}, {"End", 0xCF}, {"Down", 0xD0}, {"PageDown", 0xD1}, {"PgDn", 0xD1},
    {"Insert", 0xD2}, {"Ins", 0xD2}, {"Delete", 0xD3}, {"Del", 0xD3},
    {"LeftSuper", 0xDB}, {"RightSuper", 0xDC}, {"Menu", 0xDD},

    {"MouseLeft", mouse_button(0)}, {"MouseRight", mouse_button(1)}, {"MouseMiddle", mouse_button(2)},
    {"Mouse4", mouse_button(3)},
};

struct NamedPadInput {
    std::string_view name;
    PadInput input;
};

constexpr NamedPadInput named_pad_inputs[] = {
    {"DpadUp", pad_dpad_up}, {"DpadDown", pad_dpad_down}, {"DpadLeft", pad_dpad_left},
    {"DpadRight", pad_dpad_right}, {"A", pad_a}, {"B", pad_b}, {"X", pad_x}, {"Y", pad_y},
    {"LeftShoulder", pad_left_shoulder}, {"LB", pad_left_shoulder},
    {"RightShoulder", pad_right_shoulder}, {"RB", pad_right_shoulder},
    {"LeftTrigger", pad_left_trigger}, {"LT", pad_left_trigger},
    {"RightTrigger", pad_right_trigger}, {"RT", pad_right_trigger},
    {"Start", pad_start}, {"Back", pad_back}, {"Select", pad_back},
    {"LeftStickPress", pad_left_stick_press}, {"LS", pad_left_stick_press},
    {"RightStickPress", pad_right_stick_press}, {"RS", pad_right_stick_press},
    {"LeftStickUp", pad_left_stick_up}, {"LeftStickDown", pad_left_stick_down},
    {"LeftStickLeft", pad_left_stick_left}, {"LeftStickRight", pad_left_stick_right},
    {"RightStickUp", pad_right_stick_up}, {"RightStickDown", pad_right_stick_down},
    {"RightStickLeft", pad_right_stick_left}, {"RightStickRight", pad_right_stick_right},
};

constexpr std::string_view action_names[action_count] = {"up", "down", "left", "right",
                                                         "fire", "rocket", "pause", "quit"};

// The keys the game reads for each action (fire and rocket are the mouse's buttons), the first
// one standing for the action however else it is held.
constexpr uint8_t game_keys[action_count][2] = {
    {0x11, 0xC8},  // up: W, Up
    {0x1F, 0xD0},  // down: S, Down
    {0x1E, 0xCB},  // left: A, Left
    {0x20, 0xCD},  // right: D, Right
    {0, 0},        // fire: the left button
    {0, 0},        // rocket: the right button
    {0x39, 0},     // pause: Space
    {0x01, 0},     // quit: Escape
};

constexpr bool is_game_key(int code) {
    for (const auto& keys : game_keys)
        if (code != 0 && (keys[0] == code || keys[1] == code)) return true;
    return false;
}

constexpr uint8_t held = 0x80;

// Far beyond any real motion, yet far from overflowing when the counts pile up unread.
constexpr int64_t aim_rest_limit = int64_t{std::numeric_limits<int32_t>::max()} * 100;

}  // namespace

Controls default_controls() {
    Controls controls{};
    controls.keys = {{
        {0x11, 0xC8},                        // W, Up
        {0x1F, 0xD0},                        // S, Down
        {0x1E, 0xCB},                        // A, Left
        {0x20, 0xCD},                        // D, Right
        {mouse_button(0), no_input},         // the left button
        {mouse_button(1), no_input},         // the right button
        {0x39, no_input},                    // Space
        {0x01, no_input},                    // Escape
    }};
    controls.pad = {
        pad_bit(pad_left_stick_up) | pad_bit(pad_dpad_up),
        pad_bit(pad_left_stick_down) | pad_bit(pad_dpad_down),
        pad_bit(pad_left_stick_left) | pad_bit(pad_dpad_left),
        pad_bit(pad_left_stick_right) | pad_bit(pad_dpad_right),
        pad_bit(pad_right_trigger) | pad_bit(pad_right_shoulder),
        pad_bit(pad_left_trigger) | pad_bit(pad_left_shoulder),
        pad_bit(pad_start),
        pad_bit(pad_back),
    };
    return controls;
}

std::string_view name_action(Action action) { return action_names[static_cast<int>(action)]; }

std::optional<Action> find_action(std::string_view name) {
    for (int i = 0; i < action_count; ++i)
        if (action_names[i] == name) return static_cast<Action>(i);
    return std::nullopt;
}

std::optional<Input> find_input(std::string_view name) {
    for (const NamedInput& named : named_inputs)
        if (same_letters(named.name, name)) return named.input;
    return std::nullopt;
}

std::string_view name_input(Input input) {
    for (const NamedInput& named : named_inputs)
        if (named.input == input) return named.name;
    return {};
}

int list_named_keys(uint8_t codes[256]) {
    int count = 0;
    for (const NamedInput& named : named_inputs)
        if (!is_mouse_button(named.input) && (count == 0 || codes[count - 1] != named.input))
            codes[count++] = static_cast<uint8_t>(named.input);
    return count;
}

std::optional<PadInput> find_pad_input(std::string_view name) {
    for (const NamedPadInput& named : named_pad_inputs)
        if (same_letters(named.name, name)) return named.input;
    return std::nullopt;
}

std::string_view name_pad_input(PadInput input) {
    for (const NamedPadInput& named : named_pad_inputs)
        if (named.input == input) return named.name;
    return {};
}

std::optional<std::string_view> describe_reserved_key(Input input) {
    switch (input) {
    case 0x43: return "F9 turns the sound down";
    case 0x44: return "F10 turns the sound up";
    case 0x57: return "F11 switches full screen";
    case 0x58: return "F12 mutes the sound";
    default: return std::nullopt;
    }
}

uint32_t find_held_actions(const Controls& controls, const uint8_t keys[256], const uint8_t buttons[4],
                           uint32_t pad_actions) {
    uint32_t actions = pad_actions;
    for (int action = 0; action < action_count; ++action) {
        bool down = false;
        for (const Input input : controls.keys[action]) {
            if (input == no_input) continue;
            if (is_mouse_button(input))
                down = down || buttons[input - mouse_button(0)] != 0;
            else if (input < 256)
                down = down || keys[input] != 0;
        }
        if (down) actions |= 1u << action;
    }
    return actions;
}

void write_game_keys(const Controls& controls, uint32_t actions, const uint8_t keys[256], uint8_t out[256]) {
    for (int code = 0; code < 256; ++code) out[code] = is_game_key(code) ? 0 : keys[code];
    for (int action = 0; action < action_count; ++action) {
        if ((actions & (1u << action)) == 0 || game_keys[action][0] == 0) continue;
        bool shown = false;
        for (const Input input : controls.keys[action]) {
            if (input == no_input || input >= 256 || keys[input] == 0) continue;
            if (input == game_keys[action][0] || input == game_keys[action][1]) {
                out[input] = held;
                shown = true;
            }
        }
        if (!shown) out[game_keys[action][0]] = held;
    }
}

void write_game_buttons(uint32_t actions, const uint8_t buttons[4], uint8_t out[4]) {
    out[0] = (actions & action_bit(Action::fire)) ? held : 0;
    out[1] = (actions & action_bit(Action::rocket)) ? held : 0;
    out[2] = buttons[2];
    out[3] = buttons[3];
}

void swap_mouse_buttons(const Controls& controls, uint8_t buttons[4]) {
    if (controls.swap_mouse_buttons) std::swap(buttons[0], buttons[1]);
}

void AimScale::scale(int aim_speed, int32_t& dx, int32_t& dy) {
    if (aim_speed == 100 && rest_x_ == 0 && rest_y_ == 0) return;
    const auto take = [aim_speed](int64_t& rest, int32_t& count) {
        rest = std::clamp(rest + int64_t{count} * aim_speed, -aim_rest_limit, aim_rest_limit);
        const int64_t whole = rest / 100;
        rest -= whole * 100;
        count = static_cast<int32_t>(whole);
    };
    take(rest_x_, dx);
    take(rest_y_, dy);
}

}  // namespace settings
