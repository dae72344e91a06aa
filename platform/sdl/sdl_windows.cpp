// Win32 windowing over SDL2: the window class, one top-level window, and a message
// queue fed by SDL's events. In record mode there is no window system at all: the
// window is bookkeeping only and the queue holds what the program posts itself.
#include <windows.h>

#include <SDL2/SDL.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "display_window.h"
#include "headless_control.h"
#include "message_queue.h"
#include "platform_internal.h"
#include "frame_path.h"

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
constexpr DWORD WS_THICKFRAME_STYLE = 0x00040000L;

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
    SDL_Window* sdl = nullptr;
    int x = 0, y = 0, width = 0, height = 0;
    bool visible = false;
    bool focused = false;
};
Window window;
uintptr_t next_window_handle = FIRST_WINDOW_HANDLE;

platform::MessageQueue messages;

bool video_up = false;
headless::Mode video_mode = headless::Mode::off;

bool is_headless() { return headless::mode() != headless::Mode::off; }

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

void post(HWND target, UINT message, WPARAM wparam, LPARAM lparam) {
    messages.post(target, message, wparam, lparam, video_up ? SDL_GetTicks() : 0);
}

bool invisible_driver(const char* name) {
    return name == nullptr || std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

// The game must never end up on SDL's offscreen or dummy drivers: they would run an
// invisible game. Only the render mode asks for offscreen, by name.
bool bring_up_video() {
    const headless::Mode wanted = headless::mode();
    if (video_up && video_mode == wanted) return true;
    if (video_up) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_up = false;
    }
    bool up = false;
    if (wanted == headless::Mode::render) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    } else {
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        const char* requested = SDL_getenv("SDL_VIDEODRIVER");
        if (requested != nullptr && *requested != '\0') {
            up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
        } else {
            // Try the window systems one by one rather than leaving the choice to SDL, which
            // would end on an invisible driver, and whose Wayland probe complains on stderr
            // when there is no session at all.
            const char* runtime_dir = SDL_getenv("XDG_RUNTIME_DIR");
            for (int i = 0; i < SDL_GetNumVideoDrivers() && !up; ++i) {
                const char* name = SDL_GetVideoDriver(i);
                if (name == nullptr || invisible_driver(name)) continue;
                if (std::strcmp(name, "wayland") == 0 && (runtime_dir == nullptr || *runtime_dir == '\0')) continue;
                SDL_SetHint(SDL_HINT_VIDEODRIVER, name);
                up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
            }
            SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        }
        if (up && invisible_driver(SDL_GetCurrentVideoDriver())) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            up = false;
        }
    }
    if (!up) return false;
    video_up = true;
    video_mode = wanted;
    return true;
}

void destroy_window() {
    if (window.handle == nullptr) return;
    platform::window_destroying(window.handle);
    messages.purge(window.handle);
    if (window.sdl != nullptr) SDL_DestroyWindow(window.sdl);
    window = Window{};
}

bool is_main_sdl_window(Uint32 window_id) { return window.sdl != nullptr && SDL_GetWindowID(window.sdl) == window_id; }

void set_focus(bool focused) {
    if (window.focused == focused) return;
    window.focused = focused;
    platform::focus_changed(focused);
}

// Turns what the window system reported since the last look into messages and input.
void pump_window_system() {
    bool close_posted = false;
    if (video_up) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            switch (event.type) {
            case SDL_QUIT:  // the last window closed, or an interrupt from the terminal
                if (!close_posted && window.handle != nullptr) post(window.handle, WM_CLOSE, 0, 0);
                close_posted = true;
                break;
            case SDL_WINDOWEVENT:
                if (!is_main_sdl_window(event.window.windowID)) break;
                if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                    if (!close_posted) post(window.handle, WM_CLOSE, 0, 0);
                    close_posted = true;
                } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                    set_focus(true);
                } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                    set_focus(false);
                } else if (event.window.event == SDL_WINDOWEVENT_MOVED) {
                    window.x = event.window.data1;
                    window.y = event.window.data2;
                } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                    window.width = event.window.data1;
                    window.height = event.window.data2;
                }
                break;
            case SDL_KEYDOWN:
                platform::handle_display_key(window.sdl, event);
                platform::handle_input_event(event);
                break;
            case SDL_KEYUP:
            case SDL_MOUSEMOTION:
            case SDL_MOUSEBUTTONDOWN:
            case SDL_MOUSEBUTTONUP:
            case SDL_MOUSEWHEEL:
                platform::handle_input_event(event);
                break;
            default:
                break;
            }
        }
    }
    while (platform::take_close_request())
        if (window.handle != nullptr) post(window.handle, WM_CLOSE, 0, 0);
}

}  // namespace

namespace platform {

SDL_Window* main_sdl_window() { return window.sdl; }

bool window_has_focus() { return is_headless() || window.focused; }

bool is_live_window(HWND handle) { return handle != nullptr && handle == window.handle; }

SDL_Window* sdl_window_of(HWND handle) { return is_live_window(handle) ? window.sdl : nullptr; }

void client_size(HWND handle, int* width, int* height) {
    *width = is_live_window(handle) ? window.width : 0;
    *height = is_live_window(handle) ? window.height : 0;
}

void reset_windowing() {
    destroy_window();
    messages.clear();
    clear_close_requests();
    if (video_up) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        video_up = false;
    }
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
    const WindowClass* window_class = find_class(class_name);
    // Tests and tools may open the headless window without registering a class; the
    // game itself gets Windows' answer to an unknown class: no window.
    if (window_class == nullptr && !is_headless()) return nullptr;

    destroy_window();
    Window created;
    created.procedure = window_class != nullptr ? window_class->procedure : DefWindowProcA;
    created.x = x;
    created.y = y;
    created.width = width;
    created.height = height;
    // The render mode draws with the compositor and needs no window system, unless the GPU
    // path is asked for.
    const bool window_system = headless::mode() == headless::Mode::off ||
                               (headless::mode() == headless::Mode::render &&
                                platform::forced_presentation() == platform::Presentation::gpu);
    if (window_system) {
        if (!bring_up_video()) return nullptr;
        platform::prepare_display_hints();
        Uint32 flags = SDL_WINDOW_HIDDEN | platform::display_window_flags();
        if (style & WS_THICKFRAME_STYLE) flags |= SDL_WINDOW_RESIZABLE;
        created.sdl = SDL_CreateWindow(window_name != nullptr ? window_name : "", x, y, width > 0 ? width : 1,
                                       height > 0 ? height : 1, flags);
        if (created.sdl == nullptr) return nullptr;
    }
    created.handle = reinterpret_cast<HWND>(next_window_handle);
    next_window_handle += 4;
    window = created;
    return window.handle;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD, BOOL) {
    // Here the window system draws the frame outside the client area, so the outer
    // rectangle that yields a client area is that area itself.
    return rect != nullptr ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND handle, int x, int y, int width, int height, BOOL) {
    if (!platform::is_live_window(handle)) return FALSE;
    platform::fit_to_display(window.sdl, &width, &height);
    window.x = x;
    window.y = y;
    window.width = width;
    window.height = height;
    if (window.sdl != nullptr) {
        SDL_SetWindowPosition(window.sdl, x, y);
        SDL_SetWindowSize(window.sdl, width > 0 ? width : 1, height > 0 ? height : 1);
    }
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND handle, int show_command) {
    if (!platform::is_live_window(handle)) return FALSE;
    const BOOL was_visible = window.visible ? TRUE : FALSE;
    window.visible = show_command != 0;  // SW_HIDE is 0; every other command shows
    if (window.sdl != nullptr) {
        if (window.visible) {
            SDL_ShowWindow(window.sdl);
            SDL_RaiseWindow(window.sdl);
            if (SDL_GetWindowFlags(window.sdl) & SDL_WINDOW_INPUT_FOCUS) set_focus(true);
        } else {
            SDL_HideWindow(window.sdl);
        }
    }
    return was_visible;
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND filter_window, UINT filter_min, UINT filter_max, UINT remove) {
    if (message == nullptr) return FALSE;
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
    // There is no one to click a box: the text goes to stderr as a single line.
    const char* line = text != nullptr ? text : "";
    for (const char* c = line; *c != '\0'; ++c) std::fputc(*c == '\n' || *c == '\r' ? ' ' : *c, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 1;  // IDOK
}
