// DirectInput's system keyboard and mouse over SDL's events: the message pump hands every
// keyboard and mouse event to handle_input_event, which passes it on to the devices
// (dinput_devices.cpp) in their own terms.
#include <SDL.h>

#include "dinput_keymap.h"
#include "input_feed.h"
#include "sdl_window.h"

namespace {

int mouse_button_index(Uint8 button) {
    switch (button) {
        case SDL_BUTTON_LEFT: return 0;
        case SDL_BUTTON_RIGHT: return 1;
        case SDL_BUTTON_MIDDLE: return 2;
        case SDL_BUTTON_X1: return 3;
        default: return -1;
    }
}

}  // namespace

namespace platform {

void handle_input_event(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            if (event.key.repeat != 0) return;  // auto-repeat is not a new press
            const uint8_t code = dinput::dik_from_scancode(event.key.keysym.scancode);
            if (code != 0) feed_key(code, event.type == SDL_KEYDOWN);
            return;
        }
        case SDL_MOUSEMOTION:
            feed_mouse_motion(event.motion.xrel, event.motion.yrel);
            return;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            feed_mouse_button(mouse_button_index(event.button.button), event.type == SDL_MOUSEBUTTONDOWN);
            return;
        case SDL_MOUSEWHEEL: {
            // One notch is WHEEL_DELTA (120) on Windows.
            const int64_t notches = event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
            feed_mouse_wheel(notches * 120);
            return;
        }
        default:
            return;
    }
}

}  // namespace platform
