// DirectInput's system keyboard and mouse over the page's events (html5.h): keys by their
// physical place, the mouse by pointer lock, which the first click on the canvas asks for.
// The devices themselves are the desktop's (dinput_devices.cpp).
#include <emscripten/html5.h>

#include <dinput.h>

#include "input_feed.h"
#include "keymap.h"
#include "web.h"

namespace {

bool focused = true;
bool pointer_wanted = false;  // an exclusive mouse is acquired
bool pointer_locked = false;

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
        if (pointer_wanted && !pointer_locked) emscripten_request_pointerlock(web::CANVAS, EM_FALSE);
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
    pointer_locked = event->isActive != 0;
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
    emscripten_set_mousedown_callback(CANVAS, nullptr, EM_TRUE, on_mouse_button);
    // A button let go outside the canvas is still let go.
    emscripten_set_mouseup_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_mouse_button);
    emscripten_set_mousemove_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_mouse_move);
    emscripten_set_pointerlockchange_callback(EMSCRIPTEN_EVENT_TARGET_DOCUMENT, nullptr, EM_TRUE, on_pointer_lock);
    emscripten_set_focus_callback(window, nullptr, EM_TRUE, on_focus);
    emscripten_set_blur_callback(window, nullptr, EM_TRUE, on_focus);
}

void capture_pointer(bool capture) {
    pointer_wanted = capture;
    // Taking the pointer waits for the next click on the canvas.
    if (!capture && pointer_locked) emscripten_exit_pointerlock();
}

}  // namespace web
