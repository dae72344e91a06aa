// The player's controls: which keys, mouse buttons and pad inputs stand for each action the game
// knows, and how what the player holds becomes what the game reads. The game reads fixed keys
// (W/A/S/D and the arrows, Space, Escape) and the mouse's two buttons; the layer and the Windows
// exe hand it those, worked out here from whatever the player bound. Plain numbers only, so the
// desktop's layer, the page and the exe's own modules all share it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace settings {

enum class Action : uint8_t { up, down, left, right, fire, rocket, pause, quit };
constexpr int action_count = 8;
constexpr uint32_t action_bit(Action action) { return 1u << static_cast<int>(action); }

// A key, by its DirectInput scan code (1..255: its place on the keyboard, whatever is printed on
// it), or a mouse button.
using Input = uint16_t;
constexpr Input no_input = 0;
constexpr int mouse_button_count = 4;  // left, right, middle, the first extra one
constexpr Input mouse_button(int index) { return static_cast<Input>(0x100 + index); }
constexpr bool is_mouse_button(Input input) { return input >= 0x100 && input < 0x100 + mouse_button_count; }
constexpr int keys_per_action = 2;

// What a pad can hold, as bit positions of a mask. The sticks count as pushed past a quarter of
// their travel, in eight equal sectors; the triggers past half.
enum PadInput : uint8_t {
    pad_dpad_up, pad_dpad_down, pad_dpad_left, pad_dpad_right,
    pad_a, pad_b, pad_x, pad_y,
    pad_left_shoulder, pad_right_shoulder, pad_left_trigger, pad_right_trigger,
    pad_start, pad_back, pad_left_stick_press, pad_right_stick_press,
    pad_left_stick_up, pad_left_stick_down, pad_left_stick_left, pad_left_stick_right,
    pad_right_stick_up, pad_right_stick_down, pad_right_stick_left, pad_right_stick_right,
    pad_input_count
};
constexpr uint32_t pad_bit(PadInput input) { return 1u << input; }

struct Controls {
    // Up to two keys or mouse buttons for each action, no_input for none.
    std::array<std::array<Input, keys_per_action>, action_count> keys;
    // Any number of pad inputs for each action, as a mask of pad_bit. Quit counts only once held
    // for a second, so a brush of it never ends the game.
    std::array<uint32_t, action_count> pad;
    bool swap_mouse_buttons = false;
    // Mouse counts are multiplied by this many hundredths; 100 leaves them as they are.
    int aim_speed = 100;

    bool operator==(const Controls&) const = default;
};

Controls default_controls();

constexpr int aim_speed_lowest = 10;  // 0.1
constexpr int aim_speed_highest = 1000;  // 10

std::string_view name_action(Action action);
std::optional<Action> find_action(std::string_view name);

// Keys and mouse buttons by the names players give them ("W", "Up", "Space", "KP8", "LeftShift",
// "MouseLeft"); case does not matter, and a few other spellings ("Esc", "Return") are taken too.
std::optional<Input> find_input(std::string_view name);
// The one name each key is written with; empty for none.
std::string_view name_input(Input input);
// Every key that has a name, in scan code order, for checking the name table against the backends.
int list_named_keys(uint8_t codes[256]);

std::optional<PadInput> find_pad_input(std::string_view name);
std::string_view name_pad_input(PadInput input);

// The keys the layer keeps for itself, never bound to an action: the volume keys and F11 (full
// screen). The text says what each one does.
std::optional<std::string_view> describe_reserved_key(Input input);

// The actions held: any of the action's keys or buttons held (key bytes and the mouse's four
// button bytes as DirectInput gives them, nonzero held), and those the pad holds (its own
// bindings worked out where the pad is read).
uint32_t find_held_actions(const Controls& controls, const uint8_t keys[256], const uint8_t buttons[4],
                           uint32_t pad_actions);

// The 256 key bytes the game reads: the player's own, except the keys the game reads, which
// stand for the actions held. An action held on the key the game reads for it reads as that key;
// held any other way (another key, a button, the pad) it reads as the game's first key for it
// (W, S, A, D, Space, Escape). With the default controls this is the player's keys unchanged.
void write_game_keys(const Controls& controls, uint32_t actions, const uint8_t keys[256], uint8_t out[256]);
// The mouse's button bytes the game reads: fire is the left, rocket the right, the others as held.
void write_game_buttons(uint32_t actions, const uint8_t buttons[4], uint8_t out[4]);
// Left and right change places when the controls say so.
void swap_mouse_buttons(const Controls& controls, uint8_t buttons[4]);

// Mouse counts times the aim speed. Counts are summed and only whole ones handed on, toward zero;
// the rest keeps its sign and joins the next read, so slow motion is never lost and an aim
// speed of 1 hands on every count as it came.
class AimScale {
public:
    void scale(int aim_speed, int32_t& dx, int32_t& dy);
    void reset() { rest_x_ = rest_y_ = 0; }

private:
    int64_t rest_x_ = 0;  // in hundredths of a count
    int64_t rest_y_ = 0;
};

}  // namespace settings
