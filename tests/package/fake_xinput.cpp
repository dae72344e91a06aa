// A stand-in XInput DLL for the exe under Wine: slot 0 holds a pad that plays the file named by
// ZORVALEN_PAD_SCRIPT (lines "COUNT pad:TOKEN ...", as the desktop's virtual pad plays them),
// one look a line's frame: the exe looks at its playing pad once a frame. A line "COUNT unplugged"
// takes the pad out for COUNT looks at slot 0 (the exe looks at empty slots every two seconds).
// After the last line the pad stays plugged in with nothing held; slots 1 to 3 are empty, and
// how often they were asked, and over how long, is said on standard error when the DLL is unloaded.
#include <windows.h>

#include <xinput.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <pad_mapping.h>

namespace {

struct Line {
    long count = 0;
    bool unplugged = false;
    XINPUT_GAMEPAD state{};
};

struct Script {
    bool read = false;
    std::vector<Line> lines;
    std::size_t line = 0;
    long used = 0;
    DWORD packet = 0;
} script;

// Counts the looks at the empty slots, and says how many there were at the end.
struct EmptySlots {
    long asked = 0;
    ULONGLONG first = 0, last = 0;
    ~EmptySlots() {
        if (first == 0) return;
        std::fprintf(stderr, "fake XInput: empty slots asked %ld times in %llu ms\n", asked,
                     static_cast<unsigned long long>(last - first));
        std::fflush(stderr);
    }
} empty_slots;

SHORT narrow_stick(int value) { return static_cast<SHORT>(~value); }  // the exe flips it back
BYTE narrow_trigger(int value) { return static_cast<BYTE>((value * 255 + 32766) / 32767); }

XINPUT_GAMEPAD to_state(const gamepad::PadReading& reading) {
    struct ButtonPair {
        std::uint32_t bit;
        WORD xinput;
    };
    constexpr ButtonPair pairs[] = {
        {gamepad::button::dpad_up, XINPUT_GAMEPAD_DPAD_UP}, {gamepad::button::dpad_down, XINPUT_GAMEPAD_DPAD_DOWN},
        {gamepad::button::dpad_left, XINPUT_GAMEPAD_DPAD_LEFT}, {gamepad::button::dpad_right, XINPUT_GAMEPAD_DPAD_RIGHT},
        {gamepad::button::start, XINPUT_GAMEPAD_START}, {gamepad::button::back, XINPUT_GAMEPAD_BACK},
        {gamepad::button::left_shoulder, XINPUT_GAMEPAD_LEFT_SHOULDER},
        {gamepad::button::right_shoulder, XINPUT_GAMEPAD_RIGHT_SHOULDER},
        {gamepad::button::a, XINPUT_GAMEPAD_A}, {gamepad::button::b, XINPUT_GAMEPAD_B},
        {gamepad::button::x, XINPUT_GAMEPAD_X}, {gamepad::button::y, XINPUT_GAMEPAD_Y},
        {gamepad::button::left_stick, XINPUT_GAMEPAD_LEFT_THUMB},
        {gamepad::button::right_stick, XINPUT_GAMEPAD_RIGHT_THUMB},
    };
    XINPUT_GAMEPAD state{};
    for (const ButtonPair& pair : pairs)
        if (reading.buttons & pair.bit) state.wButtons |= pair.xinput;
    state.sThumbLX = static_cast<SHORT>(reading.left_x);
    state.sThumbLY = narrow_stick(reading.left_y);
    state.sThumbRX = static_cast<SHORT>(reading.right_x);
    state.sThumbRY = narrow_stick(reading.right_y);
    state.bLeftTrigger = narrow_trigger(reading.left_trigger);
    state.bRightTrigger = narrow_trigger(reading.right_trigger);
    return state;
}

void read_script() {
    script.read = true;
    const char* path = std::getenv("ZORVALEN_PAD_SCRIPT");
    if (path == nullptr) return;
    std::ifstream file(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string row = text.substr(at, end - at);
        at = end + 1;
        if (const std::size_t hash = row.find('#'); hash != std::string::npos) row.resize(hash);
        Line line;
        gamepad::PadReading reading;
        bool first = true;
        for (char* token = std::strtok(row.data(), " \t\r"); token != nullptr; token = std::strtok(nullptr, " \t\r")) {
            if (first) {
                line.count = std::strtol(token, nullptr, 10);
                first = false;
            } else if (std::strcmp(token, "unplugged") == 0) {
                line.unplugged = true;
            } else if (!gamepad::apply_pad_token(token, reading)) {
                std::fprintf(stderr, "fake XInput: '%s' is not a pad input\n", token);
            }
        }
        if (line.count <= 0) continue;
        line.state = to_state(reading);
        script.lines.push_back(line);
    }
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI XInputGetState(DWORD slot, XINPUT_STATE* state) {
    if (!script.read) read_script();
    if (slot != 0 || state == nullptr) {
        empty_slots.last = GetTickCount64();
        if (empty_slots.first == 0) empty_slots.first = empty_slots.last;
        ++empty_slots.asked;
        return ERROR_DEVICE_NOT_CONNECTED;
    }
    *state = XINPUT_STATE{};
    state->dwPacketNumber = ++script.packet;
    if (script.line >= script.lines.size()) return ERROR_SUCCESS;
    const Line& line = script.lines[script.line];
    state->Gamepad = line.state;
    if (++script.used >= line.count) {
        script.used = 0;
        ++script.line;
    }
    return line.unplugged ? ERROR_DEVICE_NOT_CONNECTED : ERROR_SUCCESS;
}
