// Pads in the browser, turned into the actions the game reads by the desktop's mapping
// (pad_mapping.h) and the pad bindings in force: the pads of the Gamepad API, and the page's touch
// controls. The touch stick has a mapper of its own, on the default bindings, so that it moves
// with the same dead zone and eight sectors as a pad's left stick whatever the pad is bound to;
// the touch buttons are actions too, so that keys moved in the settings never move them.
//
// The pads are looked at once per game frame, as on the desktop (a device reading a second
// time means a new frame). The first pad with the browser's "standard" layout plays; another
// takes over only once it is gone. Any other layout's axes and buttons mean what its maker
// chose, and a guess could hold a key for good, so such a pad is left alone, with one line on
// the console.
//
// In the headless modes only the tests' virtual pads count, as on the desktop.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#include <dinput.h>
#include <headless.h>
#include <pad_mapping.h>

#include "settings/controls.h"
#include "settings/settings.h"
#include "input_feed.h"
#include "standard_pad.h"
#include "web.h"

namespace {

bool headless_input() { return headless::mode() != headless::Mode::off; }

// Reads the pad that plays, or the first standard one, into `values` (4 axes, 16 button
// values, 16 pressed flags); its index, -1 with no such pad. The page's own reading, not
// html5.h's: that one copies every axis and button a device reports into arrays of 64, and
// some devices report more.
EM_JS(int, read_gamepad, (int playing, double* values), {
    if (!navigator.getGamepads) return -1;
    var pads;
    try { pads = navigator.getGamepads(); } catch (error) { return -1; }
    var usable = function(pad) { return pad && pad.connected && pad.mapping == 'standard'; };
    var pad = playing >= 0 && playing < pads.length && usable(pads[playing]) ? pads[playing] : null;
    for (var i = 0; !pad && i < pads.length; ++i) {
        if (usable(pads[i])) { pad = pads[i]; break; }
        if (!pads[i] || !pads[i].connected) continue;
        var named = Module.zorvalenOddPads || (Module.zorvalenOddPads = {});
        if (!named[pads[i].id]) {
            named[pads[i].id] = true;
            console.warn('Zorvalen: the pad "' + pads[i].id + '" has no standard layout, so it is not used.');
        }
    }
    if (!pad) return -1;
    var at = values >> 3;
    for (var a = 0; a < 4; ++a) HEAPF64[at + a] = a < pad.axes.length ? +pad.axes[a] : 0;
    for (var b = 0; b < 16; ++b) {
        var button = b < pad.buttons.length ? pad.buttons[b] : null;
        HEAPF64[at + 4 + b] = button ? +button.value : 0;
        HEAPF64[at + 20 + b] = button && button.pressed ? 1 : 0;
    }
    return pad.index;
});

constexpr int virtual_pad_capacity = 4;

enum Reader { keyboard_reader, mouse_reader, reader_count };

struct Pads {
    bool sampled = false;
    bool read_since_sample[reader_count] = {};
    int playing = -1;  // the Gamepad API's index of the pad that plays
    bool in_use = false;
    gamepad::PadMapper pad;
    gamepad::PadMapper touch;
    gamepad::PadReading touch_stick;
    // The touch buttons' actions: held now, pressed since the last frame (a tap shorter than a
    // frame still counts once), and what this frame reads.
    uint32_t touch_held = 0;
    uint32_t touch_pressed = 0;
    uint32_t touch_actions = 0;
    bool virtual_attached[virtual_pad_capacity] = {};
    gamepad::PadReading virtual_readings[virtual_pad_capacity];
};
Pads pads;

gamepad::PadReading read_page_pad() {
    double values[4 + 2 * web::standard::button_count];
    const int index = read_gamepad(pads.playing, values);
    if (index != pads.playing) {
        // The pad that played went away, or a new one begins: nothing it held stays held.
        pads.pad.reset();
        pads.playing = index;
    }
    if (index < 0) return {};
    web::StandardPadValues pad;
    std::copy(values, values + 4, pad.axes);
    std::copy(values + 4, values + 20, pad.buttons);
    for (int b = 0; b < web::standard::button_count; ++b) pad.pressed[b] = values[20 + b] != 0;
    return web::read_standard_pad(pad);
}

gamepad::PadReading read_virtual_pad() {
    for (int slot = 0; slot < virtual_pad_capacity; ++slot)
        if (pads.virtual_attached[slot]) return pads.virtual_readings[slot];
    return {};
}

// Held or pushed well past any resting drift: the player is on the pad.
bool moved(const gamepad::PadReading& reading) {
    constexpr int deliberate = 32767 / 4;
    return reading.buttons != 0 || reading.left_trigger > deliberate || reading.right_trigger > deliberate ||
           std::abs(reading.left_x) > deliberate || std::abs(reading.left_y) > deliberate ||
           std::abs(reading.right_x) > deliberate || std::abs(reading.right_y) > deliberate;
}

void sample() {
    const gamepad::PadReading reading = headless_input() ? read_virtual_pad() : read_page_pad();
    pads.pad.step(reading, settings::read_settings_in_force().controls.pad);
    static const gamepad::PadBindings touch_bindings = settings::default_controls().pad;
    pads.touch.step(headless_input() ? gamepad::PadReading{} : pads.touch_stick, touch_bindings);
    pads.touch_actions = headless_input() ? 0 : pads.touch_held | pads.touch_pressed;
    pads.touch_pressed = 0;
    // The page hides its touch controls while a pad is used.
    const bool in_use = moved(reading);
    if (in_use && !pads.in_use) EM_ASM({ if (Module.inputUsed) Module.inputUsed('pad'); });
    pads.in_use = in_use;
}

void look(Reader reader) {
    if (!pads.sampled || pads.read_since_sample[reader]) {
        sample();
        pads.sampled = true;
        std::fill(std::begin(pads.read_since_sample), std::end(pads.read_since_sample), false);
    }
    pads.read_since_sample[reader] = true;
}

}  // namespace

namespace web {

void set_touch_stick(int x, int y) {
    pads.touch_stick.left_x = std::clamp(x, -32768, 32767);
    pads.touch_stick.left_y = std::clamp(y, -32768, 32767);
}

void set_touch_action(settings::Action action, bool down) {
    const uint32_t bit = settings::action_bit(action);
    if (down) {
        pads.touch_held |= bit;
        pads.touch_pressed |= bit;
    } else {
        pads.touch_held &= ~bit;
    }
}

}  // namespace web

namespace platform {

uint32_t read_pad_actions() {
    look(keyboard_reader);
    return pads.pad.actions() | pads.touch.actions() | pads.touch_actions;
}

uint32_t read_pad_actions(int32_t& dx, int32_t& dy) {
    look(mouse_reader);
    dx = dy = 0;
    pads.pad.take_motion(dx, dy);
    return pads.pad.actions() | pads.touch.actions() | pads.touch_actions;
}

void pad_focus_lost() {
    pads.pad.reset();
    pads.touch.reset();
    pads.touch_held = pads.touch_pressed = pads.touch_actions = 0;
    pads.sampled = false;
}

void reset_pad() {
    std::fill(std::begin(pads.virtual_attached), std::end(pads.virtual_attached), false);
    pads.playing = -1;
    pads.touch_stick = {};
    pad_focus_lost();
}

}  // namespace platform

namespace headless {

int attach_pad() {
    for (int slot = 0; slot < virtual_pad_capacity; ++slot) {
        if (pads.virtual_attached[slot]) continue;
        pads.virtual_attached[slot] = true;
        pads.virtual_readings[slot] = {};
        return slot;
    }
    return -1;
}

void set_pad(int slot, const gamepad::PadReading& reading) {
    if (slot >= 0 && slot < virtual_pad_capacity) pads.virtual_readings[slot] = reading;
}

void detach_pad(int slot) {
    if (slot < 0 || slot >= virtual_pad_capacity || !pads.virtual_attached[slot]) return;
    const bool played = std::find(std::begin(pads.virtual_attached), std::end(pads.virtual_attached), true) ==
                        std::begin(pads.virtual_attached) + slot;
    pads.virtual_attached[slot] = false;
    // The pad that played is gone: another takes over from rest, as a pad plugged in does.
    if (played) pads.pad.reset();
}

}  // namespace headless
