// DirectInput's system keyboard and mouse over the page's events (html5.h): keys by their
// physical place, the mouse by pointer lock, which the first click on the canvas asks for;
// and the page's touch controls (page/touch.js), which reach the same devices. The devices
// themselves are the desktop's (dinput_devices.cpp).
#include <emscripten.h>
#include <emscripten/html5.h>

#include <dinput.h>

#include "input_feed.h"
#include "keymap.h"
#include "web.h"

namespace {

bool focused = true;
bool pointer_wanted = false;  // an exclusive mouse is acquired
bool pointer_locked = false;
bool full_screen = false;

// Escape leaves pointer lock and full screen, and that Escape belongs to the browser: it must
// not quit the game as well. Chromium keeps it from the page, but a browser that hands it on
// may do so just before or just after telling the page the lock has gone, so an Escape within
// a moment of either is the browser's too, up to its release.
constexpr double BROWSER_ESCAPE_MS = 500;
double left_lock_or_full_screen_at = -1e9;
bool escape_is_the_browsers = false;

bool is_the_browsers_escape(int type) {
    if (type == EMSCRIPTEN_EVENT_KEYDOWN)
        escape_is_the_browsers = pointer_locked || full_screen ||
                                 emscripten_get_now() - left_lock_or_full_screen_at < BROWSER_ESCAPE_MS;
    const bool theirs = escape_is_the_browsers;
    if (type == EMSCRIPTEN_EVENT_KEYUP) escape_is_the_browsers = false;
    return theirs;
}

bool scrolls_page(uint8_t code) {
    // Keys whose default action would move the page under the game, or the focus out of it.
    return code == DIK_SPACE || code == DIK_UP || code == DIK_DOWN || code == DIK_LEFT || code == DIK_RIGHT ||
           code == DIK_PRIOR || code == DIK_NEXT || code == DIK_HOME || code == DIK_END || code == DIK_TAB ||
           code == DIK_BACK;
}

EM_BOOL on_key(int type, const EmscriptenKeyboardEvent* event, void*) {
    const uint8_t code = web::dik_from_code(event->code);
    if (code == 0) return EM_FALSE;
    web::start_audio_from_gesture();
    if (code == DIK_ESCAPE && is_the_browsers_escape(type)) return EM_FALSE;
    // Auto-repeat is not a new press.
    if (!event->repeat) platform::feed_key(code, type == EMSCRIPTEN_EVENT_KEYDOWN);
    return scrolls_page(code) ? EM_TRUE : EM_FALSE;
}

int button_index(unsigned short button) {
    switch (button) {
        case 0: return 0;  // left
        case 2: return 1;  // right
        case 1: return 2;  // middle
        case 3: return 3;  // back, the first extra one
        default: return -1;
    }
}

EM_BOOL on_mouse_button(int type, const EmscriptenMouseEvent* event, void*) {
    const bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
    if (down) {
        web::start_audio_from_gesture();
        // The browser grants the lock only inside a click's handler.
        if (pointer_wanted && !pointer_locked) emscripten_request_pointerlock(web::STAGE, EM_FALSE);
    }
    platform::feed_mouse_button(button_index(event->button), down);
    return EM_TRUE;
}

EM_BOOL on_mouse_move(int, const EmscriptenMouseEvent* event, void*) {
    // Without the lock the pointer is the desktop's, moving over other things than the game.
    if (pointer_locked) platform::feed_mouse_motion(event->movementX, event->movementY);
    return EM_FALSE;
}

EM_BOOL on_pointer_lock(int, const EmscriptenPointerlockChangeEvent* event, void*) {
    if (pointer_locked && event->isActive == 0) left_lock_or_full_screen_at = emscripten_get_now();
    pointer_locked = event->isActive != 0;
    return EM_FALSE;
}

EM_BOOL on_full_screen(int, const EmscriptenFullscreenChangeEvent* event, void*) {
    if (full_screen && event->isFullscreen == 0) left_lock_or_full_screen_at = emscripten_get_now();
    full_screen = event->isFullscreen != 0;
    return EM_FALSE;
}

EM_BOOL on_focus(int type, const EmscriptenFocusEvent*, void*) {
    focused = type == EMSCRIPTEN_EVENT_FOCUS;
    if (!focused && pointer_locked) emscripten_exit_pointerlock();
    platform::focus_changed(focused);
    return EM_FALSE;
}

}  // namespace

namespace web {

bool page_has_focus() { return focused; }

void listen_for_input() {
    static bool listening = false;
    if (listening) return;
    listening = true;
    focused = EM_ASM_INT({ return document.hasFocus() ? 1 : 0; }) != 0;
    const char* window = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(window, nullptr, EM_TRUE, on_key);
    emscripten_set_keyup_callback(window, nullptr, EM_TRUE, on_key);
    emscripten_set_mousedown_callback(STAGE, nullptr, EM_TRUE, on_mouse_button);
    // A button let go outside the canvas is still let go.
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_mouse_button);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_mouse_move);
    emscripten_set_pointerlockchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_pointer_lock);
    emscripten_set_fullscreenchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_full_screen);
    emscripten_set_focus_callback(window, nullptr, EM_TRUE, on_focus);
    emscripten_set_blur_callback(window, nullptr, EM_TRUE, on_focus);
}

void capture_pointer(bool capture) {
    pointer_wanted = capture;
    // Taking the pointer waits for the next click on the canvas.
    if (!capture && pointer_locked) emscripten_exit_pointerlock();
}

}  // namespace web

// The touch controls' gestures, worked out by the page, as the devices' events.
extern "C" {

EMSCRIPTEN_KEEPALIVE void zorvalen_touch_stick(int x, int y) { web::set_touch_stick(x, y); }
EMSCRIPTEN_KEEPALIVE void zorvalen_touch_motion(int dx, int dy) { platform::feed_mouse_motion(dx, dy); }
// 0 fires bullets, 1 a rocket.
EMSCRIPTEN_KEEPALIVE void zorvalen_touch_button(int index, int down) {
    if (index == 0 || index == 1) web::set_touch_action(index == 0 ? settings::Action::fire : settings::Action::rocket, down != 0);
}
// Start and pause.
EMSCRIPTEN_KEEPALIVE void zorvalen_touch_start(int down) { web::set_touch_action(settings::Action::pause, down != 0); }
// A touch is a gesture the browser may start sound from.
EMSCRIPTEN_KEEPALIVE void zorvalen_user_gesture() { web::start_audio_from_gesture(); }
}
