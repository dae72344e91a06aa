// Win32 windowing in the browser: the page's canvas is the one window. Nothing but the
// program itself (and a test's close request) posts messages; closing the tab ends the game
// with the page, so there is nothing to tell it.
#include <windows.h>

#include <emscripten.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include <headless.h>

#include "input_feed.h"
#include "headless_control.h"
#include "message_queue.h"
#include "web.h"

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

namespace {

// Handles are small tagged integers, as on Windows; they are never dereferenced.
const HINSTANCE MODULE_HANDLE = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));
const HWND DESKTOP_HANDLE = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));
const HICON APPLICATION_ICON = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10021));
const HCURSOR ARROW_CURSOR = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x10023));
constexpr uintptr_t FIRST_WINDOW_HANDLE = 0x20000;
constexpr ATOM FIRST_CLASS_ATOM = 0xC000;
constexpr WORD PREDEFINED_RESOURCE = 32512;  // IDI_APPLICATION and IDC_ARROW

struct WindowClass {
    char name[64];
    WNDPROC procedure;
};
constexpr int CLASS_CAPACITY = 4;
WindowClass classes[CLASS_CAPACITY];
int class_count = 0;

struct Window {
    HWND handle = nullptr;
    WNDPROC procedure = nullptr;
    int width = 0, height = 0;
};
Window window;
uintptr_t next_window_handle = FIRST_WINDOW_HANDLE;

platform::MessageQueue messages;

web::FrameHooks frame_hooks{};
bool next_frame_due = true;  // the first look at the messages comes before the first frame

bool is_atom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

const WindowClass* find_class(LPCSTR name) {
    if (name == nullptr || is_atom(name)) return nullptr;
    for (int i = 0; i < class_count; ++i)
        if (strcasecmp(classes[i].name, name) == 0) return &classes[i];
    return nullptr;
}

// The page's message line, over the canvas; it replaces "Loading", and a second message follows the first.
EM_JS(void, show_in_page, (const char* text), {
    var box = document.getElementById("message");
    if (!box) return;
    var following = !box.hidden && box.dataset.loading === undefined;
    box.textContent = (following ? box.textContent + " " : "") + UTF8ToString(text);
    delete box.dataset.loading;
    box.hidden = false;
});

}  // namespace

namespace web {

bool is_live_window(HWND handle) { return handle != nullptr && handle == window.handle; }

void play_scripted(FrameHooks hooks) {
    frame_hooks = hooks;
    next_frame_due = true;
}

void frame_presented() {
    next_frame_due = true;
    if (frame_hooks.presented != nullptr) frame_hooks.presented();
}

void show_message(const char* text) { show_in_page(text); }

}  // namespace web

namespace platform {

bool is_live_window(HWND handle) { return web::is_live_window(handle); }

bool window_has_focus() {
    return headless::mode() != headless::Mode::off || frame_hooks.next_frame != nullptr || web::page_has_focus();
}

void reset_windowing() {
    window = Window{};
    messages.clear();
    clear_close_requests();
}

}  // namespace platform

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) { return module_name == nullptr ? MODULE_HANDLE : nullptr; }

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR icon_name) {
    const bool stock = instance == nullptr && is_atom(icon_name) &&
                       reinterpret_cast<uintptr_t>(icon_name) == PREDEFINED_RESOURCE;
    return stock ? APPLICATION_ICON : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursor_name) {
    const bool stock = instance == nullptr && is_atom(cursor_name) &&
                       reinterpret_cast<uintptr_t>(cursor_name) == PREDEFINED_RESOURCE;
    return stock ? ARROW_CURSOR : nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
    if (window_class == nullptr || window_class->cbSize != sizeof(WNDCLASSEXA) ||
        window_class->lpfnWndProc == nullptr || window_class->lpszClassName == nullptr ||
        is_atom(window_class->lpszClassName))
        return 0;
    const std::size_t length = std::strlen(window_class->lpszClassName);
    if (length == 0 || length >= sizeof(WindowClass::name)) return 0;
    if (find_class(window_class->lpszClassName) != nullptr || class_count == CLASS_CAPACITY) return 0;
    WindowClass& slot = classes[class_count];
    std::memcpy(slot.name, window_class->lpszClassName, length + 1);
    slot.procedure = window_class->lpfnWndProc;
    return static_cast<ATOM>(FIRST_CLASS_ATOM + class_count++);
}

HWND WINAPI GetDesktopWindow() { return DESKTOP_HANDLE; }

HWND WINAPI CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR, DWORD, int, int, int width, int height, HWND, HMENU,
                            HINSTANCE, LPVOID) {
    const WindowClass* window_class = find_class(class_name);
    if (window_class == nullptr) return nullptr;
    // There is one canvas: a second window takes it over.
    platform::window_destroying(window.handle);
    window.handle = reinterpret_cast<HWND>(next_window_handle);
    next_window_handle += 4;
    window.procedure = window_class->procedure;
    window.width = width;
    window.height = height;
    messages.clear_posted();
    if (headless::mode() == headless::Mode::off) web::listen_for_input();
    return window.handle;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD, BOOL) {
    // The canvas has no frame: its outer rectangle is its client area.
    return rect != nullptr ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND handle, int, int, int width, int height, BOOL) {
    // The page places the canvas; only the size is the window's own.
    if (!web::is_live_window(handle)) return FALSE;
    window.width = width;
    window.height = height;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND handle, int) {
    // The canvas is always on the page.
    return web::is_live_window(handle) ? TRUE : FALSE;
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND filter_window, UINT filter_min, UINT filter_max, UINT remove) {
    if (message == nullptr) return FALSE;
    if (next_frame_due && frame_hooks.next_frame != nullptr) {
        next_frame_due = false;
        frame_hooks.next_frame();
    }
    while (platform::take_close_request())
        if (window.handle != nullptr) messages.post(window.handle, WM_CLOSE, 0, 0, 0);
    return messages.peek(message, filter_window, filter_min, filter_max, remove) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    // Keyboard input reaches the game through DirectInput, never as character messages.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr || !web::is_live_window(message->hwnd) || window.procedure == nullptr) return 0;
    return window.procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

void WINAPI PostQuitMessage(int exit_code) { messages.post_quit(exit_code); }

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    // There is no box to click: the text shows in the page, and on the console for tests.
    const char* line = text != nullptr ? text : "";
    std::fprintf(stderr, "%s\n", line);
    web::show_message(line);
    return 1;  // IDOK
}
