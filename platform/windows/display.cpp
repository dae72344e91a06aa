// Windows only, linked into the exe alone: what the player expects of the window on any
// display, added from outside the game's own code. A hook set up before WinMain runs catches
// the game's main window as it is made and puts this procedure in front of the game's:
// - Alt+Enter and F11 toggle borderless full screen on the window's monitor and back to the
//   window's old place and size (no display mode change, so Alt+Tab behaves); the game still
//   sees both keys, as any other;
// - the picture keeps its 4:3 shape in any window, maximised or full screen, between black
//   bars: the exe's Direct3D device scales it into the whole client area as the filter says
//   (screen_scaling.cpp); where that device cannot, the client area is kept at the picture's
//   shape (a whole multiple of it with the "whole" filter), centred in the window, the rest of
//   the window painted black, and Direct3D presents the whole back buffer to it;
// - the window shows the game's own icon (the exe's icon resource) in its title bar, the
//   taskbar and Alt+Tab, where the game's window class asks for the standard one;
// - as the player's settings say: the window opens on the display they name and in full screen
//   if they ask;
// - F9, F10 and F12, which the game never reads, turn the sound down, up, and mute it, and the
//   level is shown over the picture for a moment (overlay_surfaces.h).
// The game's frame is untouched: it presents as it always has.
#ifdef _WIN32

#include <windows.h>

#include <dinput.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "common/picture_fit.h"
#include "overlays/volume_display.h"
#include "settings/settings.h"
#include "exe_options.h"

namespace {

constexpr char GAME_WINDOW_CLASS[] = "Zorvalen";
constexpr int PICTURE_WIDTH = 800;  // the back buffer's shape
constexpr int PICTURE_HEIGHT = 600;
constexpr UINT_PTR KEY_TIMER = 0x5A11;  // our own timer on the game's window
constexpr UINT KEY_TIMER_MS = 15;
constexpr WORD ICON_RESOURCE = 1;  // the first icon group of zorvalen.rc
constexpr UINT SHOW_AS_SETTINGS_SAY = WM_APP + 0x5A;  // posted once the game first shows its window

struct Display {
    HHOOK creation_hook = nullptr;
    HWND window = nullptr;
    WNDPROC game_procedure = nullptr;
    bool full_screen = false;
    LONG_PTR windowed_style = 0;
    WINDOWPLACEMENT windowed_place{};
    // The game holds the keyboard exclusively, which keeps key messages from every window:
    // the keys are read from a keyboard device of our own, shared, on a timer.
    IDirectInput8A* input = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    bool alt_held[2] = {false, false};  // left and right
    HICON icons[2] = {nullptr, nullptr};  // big and small
    bool shown = false;
    bool scaled_by_device = false;  // the client area is the whole window's, bars and all
};
Display display;

void toggle_full_screen(HWND window) {
    if (!display.full_screen) {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        display.windowed_place.length = sizeof(WINDOWPLACEMENT);
        if (!GetWindowPlacement(window, &display.windowed_place) ||
            !GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor))
            return;
        display.windowed_style = GetWindowLongPtrA(window, GWL_STYLE);
        display.full_screen = true;
        SetWindowLongPtrA(window, GWL_STYLE, (display.windowed_style & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
        const RECT& area = monitor.rcMonitor;
        SetWindowPos(window, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                     SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
        return;
    }
    display.full_screen = false;
    SetWindowLongPtrA(window, GWL_STYLE, display.windowed_style);
    SetWindowPlacement(window, &display.windowed_place);
    SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER);
}

// Lets go of a COM object, once.
template <typename Interface>
void release(Interface*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

bool open_keyboard(HWND window) {
    if (display.keyboard != nullptr) return true;
    if (display.input == nullptr &&
        FAILED(DirectInput8Create(GetModuleHandleA(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8A,
                                  reinterpret_cast<void**>(&display.input), nullptr)))
        return false;
    if (FAILED(display.input->CreateDevice(GUID_SysKeyboard, &display.keyboard, nullptr))) return false;
    DIPROPDWORD buffer{};
    buffer.diph.dwSize = sizeof(DIPROPDWORD);
    buffer.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    buffer.diph.dwHow = DIPH_DEVICE;
    buffer.dwData = 64;
    if (FAILED(display.keyboard->SetDataFormat(&c_dfDIKeyboard)) ||
        FAILED(display.keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)) ||
        FAILED(display.keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph))) {
        release(display.keyboard);
        return false;
    }
    return true;
}

void close_keyboard() {
    if (display.keyboard != nullptr) display.keyboard->Unacquire();
    release(display.keyboard);
    release(display.input);
}

// A volume key pressed: the levels in force step, and every sound takes them.
void press_volume_key(DWORD key) {
    const std::optional<settings::VolumeKey> volume = settings::find_volume_key(static_cast<uint8_t>(key));
    if (!volume) return;
    settings::set_live_levels(settings::apply_volume_key(settings::read_live_levels(), *volume));
    windows_exe::apply_sound_levels();
    overlays::volume_display().show(settings::read_live_levels());
}

// Alt+Enter or F11 pressed since the last look; the volume keys are taken on the way. The presses
// are read from the device's buffer, so a tap shorter than the timer's period still counts.
bool toggle_pressed(HWND window) {
    if (!open_keyboard(window)) return false;
    bool toggle = false;
    for (;;) {
        DIDEVICEOBJECTDATA events[16];
        DWORD count = 16;
        const HRESULT result = display.keyboard->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), events, &count, 0);
        if (FAILED(result)) {
            display.keyboard->Acquire();  // fails quietly while another window has the focus
            display.alt_held[0] = display.alt_held[1] = false;
            return toggle;
        }
        for (DWORD i = 0; i < count; ++i) {
            const bool down = (events[i].dwData & 0x80) != 0;
            const bool alt = display.alt_held[0] || display.alt_held[1];
            switch (events[i].dwOfs) {
            case DIK_LMENU: display.alt_held[0] = down; break;
            case DIK_RMENU: display.alt_held[1] = down; break;
            case DIK_F11: toggle = toggle || down; break;
            case DIK_RETURN:
            case DIK_NUMPADENTER: toggle = toggle || (down && alt); break;
            case DIK_F9:
            case DIK_F10:
            case DIK_F12:
                if (down) press_volume_key(events[i].dwOfs);
                break;
            default: break;
            }
        }
        if (count < 16) return toggle;
    }
}

// The big icon for the taskbar and Alt+Tab, the small one for the title bar, each drawn from the
// icon group's image nearest the size the system wants.
void set_icons(HWND window) {
    const HINSTANCE exe = GetModuleHandleA(nullptr);
    const int sizes[2][2] = {{GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON)},
                             {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)}};
    const WPARAM kinds[2] = {ICON_BIG, ICON_SMALL};
    for (int i = 0; i < 2; ++i) {
        display.icons[i] = static_cast<HICON>(
            LoadImageA(exe, MAKEINTRESOURCEA(ICON_RESOURCE), IMAGE_ICON, sizes[i][0], sizes[i][1], LR_DEFAULTCOLOR));
        if (display.icons[i] != nullptr)
            SendMessageA(window, WM_SETICON, kinds[i], reinterpret_cast<LPARAM>(display.icons[i]));
    }
}

void destroy_icons() {
    for (HICON& icon : display.icons) {
        if (icon != nullptr) DestroyIcon(icon);
        icon = nullptr;
    }
}

// The client rectangle, in the same coordinates as `frame`: all of it where the exe's device
// scales the picture, otherwise narrowed to the picture's shape (to a whole multiple of it with
// the "whole" filter).
RECT picture_area(const RECT& frame) {
    if (display.scaled_by_device) return frame;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const PictureFit fit = settings::read_settings_in_force().display.filter == settings::ScaleFilter::whole
                               ? fit_whole_picture(PICTURE_WIDTH, PICTURE_HEIGHT, width, height)
                               : fit_picture(PICTURE_WIDTH, PICTURE_HEIGHT, width, height);
    if (fit.target.width <= 0 || fit.target.height <= 0) return frame;
    return RECT{frame.left + fit.target.x, frame.top + fit.target.y, frame.left + fit.target.x + fit.target.width,
                frame.top + fit.target.y + fit.target.height};
}

// Paints what lies between the window's own frame and its client area black: the bars.
void paint_bars(HWND window) {
    RECT outer, client;
    if (!GetWindowRect(window, &outer) || !GetClientRect(window, &client)) return;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    // The area the game's frame would have given the client, found by asking the frame again.
    RECT full = outer;
    CallWindowProcA(display.game_procedure, window, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&full));
    const RECT picture{origin.x, origin.y, origin.x + client.right, origin.y + client.bottom};
    HDC dc = GetWindowDC(window);
    if (dc == nullptr) return;
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT bars[4] = {
        {full.left, full.top, picture.left, full.bottom},
        {picture.right, full.top, full.right, full.bottom},
        {picture.left, full.top, picture.right, picture.top},
        {picture.left, picture.bottom, picture.right, full.bottom},
    };
    for (RECT bar : bars) {
        if (bar.right <= bar.left || bar.bottom <= bar.top) continue;
        OffsetRect(&bar, -outer.left, -outer.top);  // window coordinates
        FillRect(dc, &bar, black);
    }
    ReleaseDC(window, dc);
}

BOOL CALLBACK collect_monitor(HMONITOR monitor, HDC, LPRECT, LPARAM found) {
    reinterpret_cast<std::vector<HMONITOR>*>(found)->push_back(monitor);
    return TRUE;
}

// Onto the display the settings name (centred in its work area, as large as fits), then full
// screen there if they ask for it.
void show_as_settings_say(HWND window) {
    const settings::DisplaySettings& wanted = settings::read_settings_in_force().display;
    if (wanted.display > 0) {
        std::vector<HMONITOR> monitors;
        EnumDisplayMonitors(nullptr, nullptr, collect_monitor, reinterpret_cast<LPARAM>(&monitors));
        MONITORINFO monitor{};
        monitor.cbSize = sizeof(monitor);
        RECT outer{};
        if (static_cast<size_t>(wanted.display) <= monitors.size() &&
            GetMonitorInfoA(monitors[static_cast<size_t>(wanted.display - 1)], &monitor) &&
            GetWindowRect(window, &outer)) {
            const RECT& work = monitor.rcWork;
            int width = outer.right - outer.left;
            int height = outer.bottom - outer.top;
            fit_window_size(&width, &height, work.right - work.left, work.bottom - work.top);
            SetWindowPos(window, nullptr, work.left + (work.right - work.left - width) / 2,
                         work.top + (work.bottom - work.top - height) / 2, width, height,
                         SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
        }
    }
    if (wanted.full_screen && !display.full_screen) toggle_full_screen(window);
}

LRESULT CALLBACK display_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_SHOWWINDOW:
        // Once the game has placed and shown its window: after that it never moves it again.
        if (wparam != 0 && !display.shown) {
            display.shown = true;
            PostMessageA(window, SHOW_AS_SETTINGS_SAY, 0, 0);
        }
        break;
    case SHOW_AS_SETTINGS_SAY:
        show_as_settings_say(window);
        return 0;
    case WM_CREATE: {
        const LRESULT result = CallWindowProcA(display.game_procedure, window, message, wparam, lparam);
        if (result != -1) set_icons(window);
        return result;
    }
    case WM_TIMER:
        if (wparam != KEY_TIMER) break;
        if (toggle_pressed(window)) toggle_full_screen(window);
        return 0;
    case WM_SYSCHAR:
        if (wparam == VK_RETURN) return 0;  // no "no such menu key" beep for Alt+Enter
        break;
    case WM_NCCALCSIZE: {
        const LRESULT result = CallWindowProcA(display.game_procedure, window, message, wparam, lparam);
        RECT* client = wparam != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(lparam)->rgrc[0]
                                   : reinterpret_cast<RECT*>(lparam);
        *client = picture_area(*client);
        // The whole client area is redrawn by the next Present: nothing in it is worth keeping.
        return wparam != 0 ? (result | WVR_REDRAW) : result;
    }
    case WM_NCPAINT: {
        const LRESULT result = CallWindowProcA(display.game_procedure, window, message, wparam, lparam);
        paint_bars(window);
        return result;
    }
    case WM_NCDESTROY:
        KillTimer(window, KEY_TIMER);
        close_keyboard();
        destroy_icons();
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(display.game_procedure));
        display.window = nullptr;
        break;
    default:
        break;
    }
    return CallWindowProcA(display.game_procedure, window, message, wparam, lparam);
}

// Sees every window of this thread being made; takes the game's main window, then steps aside.
LRESULT CALLBACK creation_hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_CREATEWND && display.window == nullptr) {
        HWND window = reinterpret_cast<HWND>(wparam);
        char name[sizeof(GAME_WINDOW_CLASS) + 1] = {};
        if (GetClassNameA(window, name, sizeof(name)) > 0 && lstrcmpiA(name, GAME_WINDOW_CLASS) == 0) {
            display.window = window;
            display.game_procedure = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(display_procedure)));
            SetTimer(window, KEY_TIMER, KEY_TIMER_MS, nullptr);
            const HHOOK hook = display.creation_hook;
            display.creation_hook = nullptr;
            const LRESULT result = CallNextHookEx(hook, code, wparam, lparam);
            UnhookWindowsHookEx(hook);
            return result;
        }
    }
    return CallNextHookEx(display.creation_hook, code, wparam, lparam);
}

// Set up with the program's static data, before WinMain makes any window.
const bool hook_installed = [] {
    display.creation_hook = SetWindowsHookExA(WH_CBT, creation_hook, nullptr, GetCurrentThreadId());
    return display.creation_hook != nullptr;
}();

}  // namespace

void windows_exe::hand_picture_to_device(bool scaled_by_device) {
    if (display.scaled_by_device == scaled_by_device) return;
    display.scaled_by_device = scaled_by_device;
    // The client area is worked out again (WM_NCCALCSIZE) for the window as it stands.
    if (display.window != nullptr)
        SetWindowPos(display.window, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
}

#endif
