// Win32 windowing, written once for every backend: the window classes, the one top-level
// window, its message queue and its procedure. What shows the window (the desktop's SDL window,
// the page's canvas, or nothing in the headless modes) is the window system's
// (window_system.h), chosen by the headless control when the window is made.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "headless_control.h"
#include "input_feed.h"
#include "message_queue.h"
#include "window_system.h"

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
    UINT style;
};
constexpr int CLASS_CAPACITY = 16;
WindowClass classes[CLASS_CAPACITY];
int class_count = 0;

// The layer keeps one top-level window: creating another replaces it. The game makes one;
// tests make a fresh one each, and must not pile up windows in the window system.
struct Window {
    HWND handle = nullptr;
    WNDPROC procedure = nullptr;
    platform::WindowSystem* system = nullptr;
    platform::WindowPlace place;
    bool visible = false;
};
Window window;
uintptr_t next_window_handle = FIRST_WINDOW_HANDLE;
// The system of the last window made, which reset_windowing lets go of.
platform::WindowSystem* last_system = nullptr;

// Messages are stamped with time 0: nothing in the game reads the time.
platform::MessageQueue messages;

bool same_name(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool is_atom(LPCSTR name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

const WindowClass* find_class(LPCSTR name) {
    if (name == nullptr) return nullptr;
    if (is_atom(name)) {
        const int index = static_cast<int>(reinterpret_cast<uintptr_t>(name)) - FIRST_CLASS_ATOM;
        return index >= 0 && index < class_count ? &classes[index] : nullptr;
    }
    for (int i = 0; i < class_count; ++i)
        if (same_name(classes[i].name, name)) return &classes[i];
    return nullptr;
}

void destroy_window() {
    if (window.handle == nullptr) return;
    platform::window_destroying(window.handle);
    messages.purge(window.handle);
    window.system->close();
    window = Window{};
}

// Turns what the window system reported since the last look, and the close requests of tests
// and tools, into messages.
void pump_window_system() {
    if (window.handle == nullptr) {
        platform::clear_close_requests();
        return;
    }
    if (window.system->pump(window.place)) messages.post(window.handle, WM_CLOSE, 0, 0, 0);
    while (platform::take_close_request()) messages.post(window.handle, WM_CLOSE, 0, 0, 0);
}

}  // namespace

namespace platform {

bool is_live_window(HWND handle) { return handle != nullptr && handle == window.handle; }

WindowSystem* window_system_of(HWND handle) { return is_live_window(handle) ? window.system : nullptr; }

void client_size(HWND handle, int* width, int* height) {
    *width = is_live_window(handle) ? window.place.width : 0;
    *height = is_live_window(handle) ? window.place.height : 0;
}

bool window_has_focus() {
    if (driven_by_hooks()) return true;
    return window.system != nullptr ? window.system->focused() : current_window_system().focused();
}

void capture_pointer(bool capture) {
    if (window.system != nullptr) window.system->capture_pointer(capture);
}

void reset_windowing() {
    destroy_window();
    messages.clear();
    clear_close_requests();
    if (last_system != nullptr) last_system->reset();
    last_system = nullptr;
}

}  // namespace platform

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name) { return module_name == nullptr ? MODULE_HANDLE : nullptr; }

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR icon_name) {
    // The layer carries no resources, only the stock icon.
    if (instance == nullptr && is_atom(icon_name) && reinterpret_cast<uintptr_t>(icon_name) == PREDEFINED_RESOURCE)
        return APPLICATION_ICON;
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursor_name) {
    if (instance == nullptr && is_atom(cursor_name) &&
        reinterpret_cast<uintptr_t>(cursor_name) == PREDEFINED_RESOURCE)
        return ARROW_CURSOR;
    return nullptr;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class) {
    if (window_class == nullptr || window_class->cbSize != sizeof(WNDCLASSEXA) ||
        window_class->lpfnWndProc == nullptr || window_class->lpszClassName == nullptr ||
        is_atom(window_class->lpszClassName))
        return 0;
    const std::size_t length = std::strlen(window_class->lpszClassName);
    if (length == 0 || length >= sizeof(WindowClass::name)) return 0;
    // As on Windows, a class stays registered for the life of the process and cannot be registered twice.
    if (find_class(window_class->lpszClassName) != nullptr || class_count == CLASS_CAPACITY) return 0;
    WindowClass& slot = classes[class_count];
    std::memcpy(slot.name, window_class->lpszClassName, length + 1);
    slot.procedure = window_class->lpfnWndProc;
    slot.style = window_class->style;
    return static_cast<ATOM>(FIRST_CLASS_ATOM + class_count++);
}

HWND WINAPI GetDesktopWindow() { return DESKTOP_HANDLE; }

HWND WINAPI CreateWindowExA(DWORD, LPCSTR class_name, LPCSTR window_name, DWORD style, int x, int y, int width,
                            int height, HWND, HMENU, HINSTANCE, LPVOID) {
    platform::WindowSystem& system = platform::current_window_system();
    const WindowClass* window_class = find_class(class_name);
    // Tests and tools may open the headless window without registering a class; the
    // game itself gets Windows' answer to an unknown class: no window.
    if (window_class == nullptr && system.needs_registered_class()) return nullptr;

    destroy_window();
    Window created;
    created.procedure = window_class != nullptr ? window_class->procedure : DefWindowProcA;
    created.system = &system;
    created.place = {x, y, width, height};
    last_system = &system;
    if (!system.open(window_name != nullptr ? window_name : "", style, created.place)) return nullptr;
    created.handle = reinterpret_cast<HWND>(next_window_handle);
    next_window_handle += 4;
    window = created;
    messages.clear_posted();
    if (headless::mode() == headless::Mode::off) platform::start_input_script();
    return window.handle;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD, BOOL) {
    // The window system draws the frame outside the client area (the canvas has none), so the
    // outer rectangle that yields a client area is that area itself.
    return rect != nullptr ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
    if (!platform::is_live_window(handle)) return FALSE;
    platform::WindowPlace place{x, y, width, height};
    window.system->move(place);
    window.place = place;
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND handle, int show_command) {
    if (!platform::is_live_window(handle)) return FALSE;
    const BOOL was_visible = window.visible ? TRUE : FALSE;
    window.visible = show_command != 0;  // SW_HIDE is 0; every other command shows
    window.system->show(window.visible);
    return was_visible;
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND filter_window, UINT filter_min, UINT filter_max, UINT remove) {
    if (message == nullptr) return FALSE;
    platform::frame_begins();
    pump_window_system();
    return messages.peek(message, filter_window, filter_min, filter_max, remove) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    // Keyboard input reaches the game through DirectInput, never as character messages.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr || !platform::is_live_window(message->hwnd) || window.procedure == nullptr) return 0;
    return window.procedure(message->hwnd, message->message, message->wParam, message->lParam);
}

void WINAPI PostQuitMessage(int exit_code) { messages.post_quit(exit_code); }

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    // Nothing here needs default handling: the window is never destroyed by a message.
    return 0;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT) {
    // There is no one to click a box: the text goes to stderr as a single line, and where the
    // window system can show it (the page), there too.
    const char* line = text != nullptr ? text : "";
    for (const char* c = line; *c != '\0'; ++c) std::fputc(*c == '\n' || *c == '\r' ? ' ' : *c, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    (window.system != nullptr ? *window.system : platform::current_window_system()).show_message(line);
    return 1;  // IDOK
}
