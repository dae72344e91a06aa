// Gamepads over SDL's game controller API, turned into the keyboard and mouse the game reads.
//
// The first connected pad drives; another takes over only once it is gone. The pad is
// looked at once per game frame (the keyboard and mouse are each read once a frame, so a
// device reading a second time means a new frame), and its state is polled rather than
// taken from events, which works the same with or without a window system.
//
// In the headless modes only virtual pads count, and the controller subsystem comes up only
// when a test attaches one: headless runs never depend on the pads plugged into the machine.
#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dinput.h>
#include <headless.h>
#include <pad_mapping.h>

#include "settings/settings.h"
#include "input_feed.h"

namespace {

bool headless_input() { return headless::mode() != headless::Mode::off; }

// A pad driven by the program itself: the tests' virtual pads, and the one that plays a
// pad script for the game when the test hook asks for it.
class VirtualPad {
public:
    bool attach() {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                    SDL_CONTROLLER_BUTTON_MAX, 0);
        if (index < 0) return false;
        joystick_ = SDL_JoystickOpen(index);
        if (joystick_ == nullptr) SDL_JoystickDetachVirtual(index);
        return joystick_ != nullptr;
    }
    bool attached() const { return joystick_ != nullptr; }
    void detach() {
        if (joystick_ == nullptr) return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        for (int i = 0; i < SDL_NumJoysticks(); ++i) {
            if (SDL_JoystickGetDeviceInstanceID(i) == id) {
                SDL_JoystickDetachVirtual(i);
                break;
            }
        }
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
    }
    // A virtual pad's axes and buttons are numbered as the controller API's, and its
    // triggers span the whole axis range.
    void set(const gamepad::PadReading& reading) {
        if (joystick_ == nullptr) return;
        set_axis(SDL_CONTROLLER_AXIS_LEFTX, reading.left_x);
        set_axis(SDL_CONTROLLER_AXIS_LEFTY, reading.left_y);
        set_axis(SDL_CONTROLLER_AXIS_RIGHTX, reading.right_x);
        set_axis(SDL_CONTROLLER_AXIS_RIGHTY, reading.right_y);
        set_axis(SDL_CONTROLLER_AXIS_TRIGGERLEFT, trigger_axis(reading.left_trigger));
        set_axis(SDL_CONTROLLER_AXIS_TRIGGERRIGHT, trigger_axis(reading.right_trigger));
        for (const ButtonPair& pair : button_pairs)
            SDL_JoystickSetVirtualButton(joystick_, pair.sdl, (reading.buttons & pair.bit) ? 1 : 0);
    }

    struct ButtonPair {
        SDL_GameControllerButton sdl;
        uint32_t bit;
    };
    static constexpr ButtonPair button_pairs[] = {
        {SDL_CONTROLLER_BUTTON_DPAD_UP, gamepad::button::dpad_up},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, gamepad::button::dpad_down},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, gamepad::button::dpad_left},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, gamepad::button::dpad_right},
        {SDL_CONTROLLER_BUTTON_START, gamepad::button::start},
        {SDL_CONTROLLER_BUTTON_BACK, gamepad::button::back},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, gamepad::button::left_shoulder},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, gamepad::button::right_shoulder},
        {SDL_CONTROLLER_BUTTON_A, gamepad::button::a},
        {SDL_CONTROLLER_BUTTON_B, gamepad::button::b},
        {SDL_CONTROLLER_BUTTON_X, gamepad::button::x},
        {SDL_CONTROLLER_BUTTON_Y, gamepad::button::y},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, gamepad::button::left_stick},
        {SDL_CONTROLLER_BUTTON_RIGHTSTICK, gamepad::button::right_stick},
    };

private:
    void set_axis(SDL_GameControllerAxis axis, int value) {
        SDL_JoystickSetVirtualAxis(joystick_, axis, static_cast<Sint16>(SDL_clamp(value, -32768, 32767)));
    }
    // The controller API scales the trigger's -32768..32767 down to 0..32767, rounding down;
    // rounding up here gives back exactly the value asked for.
    static int trigger_axis(int value) {
        const int64_t scaled = (int64_t{SDL_clamp(value, 0, 32767)} * 65535 + 32766) / 32767;
        return static_cast<int>(scaled - 32768);
    }

    SDL_Joystick* joystick_ = nullptr;
};

constexpr int test_pad_capacity = 4;
VirtualPad test_pads[test_pad_capacity];

// The test hook for the game itself: ZORVALEN_PAD_SCRIPT names a file of lines
// "COUNT pad:TOKEN ...", each held for COUNT frames, which a virtual pad plays from the first
// frame. The keyboard and mouse keep working alongside.
struct PadScriptLine {
    long count;
    gamepad::PadReading reading;
};
struct PadScript {
    std::vector<PadScriptLine> lines;
    std::size_t line = 0;
    long used = 0;
    VirtualPad pad;
} pad_script;

bool parse_pad_script(const std::string& text, std::vector<PadScriptLine>& lines, std::string& error) {
    std::size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        char* cursor = line.data();
        PadScriptLine parsed{0, {}};
        bool first = true;
        while (char* token = std::strtok(first ? cursor : nullptr, " \t\r")) {
            if (first) {
                char* rest = nullptr;
                parsed.count = std::strtol(token, &rest, 10);
                if (*rest != '\0' || parsed.count <= 0) {
                    error = "line " + std::to_string(number) + ": '" + token + "' is not a frame count";
                    return false;
                }
                first = false;
            } else if (!gamepad::apply_pad_token(token, parsed.reading)) {
                error = "line " + std::to_string(number) + ": '" + token + "' is not a pad input";
                return false;
            }
        }
        if (!first) lines.push_back(parsed);
    }
    return true;
}

void start_pad_script() {
    const char* path = SDL_getenv("ZORVALEN_PAD_SCRIPT");
    if (path == nullptr || *path == '\0') return;
    std::ifstream file(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::string error = file ? "" : "cannot read it";
    if (error.empty() && parse_pad_script(text, pad_script.lines, error) && pad_script.pad.attach()) return;
    std::fprintf(stderr, "ZORVALEN_PAD_SCRIPT %s: %s\n", path, error.empty() ? "no virtual pad" : error.c_str());
    pad_script.lines.clear();
}

void play_pad_script() {
    if (!pad_script.pad.attached()) return;
    if (pad_script.line >= pad_script.lines.size()) {
        pad_script.pad.set({});
        return;
    }
    pad_script.pad.set(pad_script.lines[pad_script.line].reading);
    if (++pad_script.used >= pad_script.lines[pad_script.line].count) {
        pad_script.used = 0;
        ++pad_script.line;
    }
}

enum Reader { keyboard_reader, mouse_reader, reader_count };

struct Pad {
    bool tried = false;
    bool up = false;
    SDL_GameController* controller = nullptr;
    gamepad::PadMapper mapper;
    bool sampled = false;
    bool read_since_sample[reader_count] = {};
};
Pad pad;

bool bring_up() {
    if (pad.tried) return pad.up;
    pad.tried = true;
    // The layer decides itself when input counts (only while the window has focus); SDL's
    // own rule would also drop pad input in the headless render mode, whose window never
    // has SDL's focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    pad.up = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    if (!pad.up) return false;
    // The state is polled once a frame; events nobody takes would only pile up.
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_JoystickEventState(SDL_IGNORE);
    if (!headless_input()) start_pad_script();
    return true;
}

bool usable(int device_index) {
    return SDL_IsGameController(device_index) && (!headless_input() || SDL_JoystickIsVirtual(device_index));
}

gamepad::PadReading read_controller(SDL_GameController* controller) {
    gamepad::PadReading reading;
    reading.left_x = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTX);
    reading.left_y = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_LEFTY);
    reading.right_x = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_RIGHTX);
    reading.right_y = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_RIGHTY);
    reading.left_trigger = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERLEFT);
    reading.right_trigger = SDL_GameControllerGetAxis(controller, SDL_CONTROLLER_AXIS_TRIGGERRIGHT);
    for (const VirtualPad::ButtonPair& pair : VirtualPad::button_pairs)
        if (SDL_GameControllerGetButton(controller, pair.sdl)) reading.buttons |= pair.bit;
    return reading;
}

void close_controller() {
    if (pad.controller != nullptr) SDL_GameControllerClose(pad.controller);
    pad.controller = nullptr;
    pad.mapper.reset();
}

void sample() {
    play_pad_script();
    SDL_GameControllerUpdate();
    if (pad.controller != nullptr && !SDL_GameControllerGetAttached(pad.controller)) close_controller();
    for (int i = 0; pad.controller == nullptr && i < SDL_NumJoysticks(); ++i) {
        if (!usable(i)) continue;
        pad.controller = SDL_GameControllerOpen(i);
        // A pad just opened shows its state only after one more look.
        if (pad.controller != nullptr) SDL_GameControllerUpdate();
    }
    pad.mapper.step(pad.controller != nullptr ? read_controller(pad.controller) : gamepad::PadReading{},
                    settings::read_settings_in_force().controls.pad);
}

// The pad as it stands this frame, or null when there is none to look at.
gamepad::PadMapper* pad_for(Reader reader) {
    if (headless_input() ? !pad.up : !bring_up()) return nullptr;
    if (!pad.sampled || pad.read_since_sample[reader]) {
        sample();
        pad.sampled = true;
        std::fill(std::begin(pad.read_since_sample), std::end(pad.read_since_sample), false);
    }
    pad.read_since_sample[reader] = true;
    return &pad.mapper;
}

}  // namespace

namespace platform {

uint32_t read_pad_actions() {
    const gamepad::PadMapper* mapper = pad_for(keyboard_reader);
    return mapper != nullptr ? mapper->actions() : 0;
}

uint32_t read_pad_actions(int32_t& dx, int32_t& dy) {
    dx = dy = 0;
    gamepad::PadMapper* mapper = pad_for(mouse_reader);
    if (mapper == nullptr) return 0;
    mapper->take_motion(dx, dy);
    return mapper->actions();
}

void pad_focus_lost() {
    pad.mapper.reset();
    pad.sampled = false;
}

void reset_pad() {
    for (VirtualPad& test_pad : test_pads) test_pad.detach();
    if (pad.controller != nullptr) close_controller();
    pad_focus_lost();
}

}  // namespace platform

namespace headless {

int attach_pad() {
    if (!bring_up()) return -1;
    for (int slot = 0; slot < test_pad_capacity; ++slot)
        if (!test_pads[slot].attached()) return test_pads[slot].attach() ? slot : -1;
    return -1;
}

void set_pad(int slot, const gamepad::PadReading& reading) {
    if (slot >= 0 && slot < test_pad_capacity) test_pads[slot].set(reading);
}

void detach_pad(int slot) {
    if (slot >= 0 && slot < test_pad_capacity) test_pads[slot].detach();
}

}  // namespace headless
