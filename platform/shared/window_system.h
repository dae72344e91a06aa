// The seam between the shared Win32 window table (win32_windows.cpp) and whatever shows the
// window: the desktop's SDL window, the page's canvas, or nothing at all (headless). The table
// keeps the classes, the one window's handle, place and procedure, and the message queue; a
// window system only makes the native window, tells what happened to it, and gives each
// Direct3D device on it its output (frame_output.h). No SDL here.
#pragma once

#include <memory>

#include <windows.h>

namespace platform {

class FrameOutput;

// The window's place in the window system's terms: the client area, in pixels.
struct WindowPlace {
    int x = 0, y = 0, width = 0, height = 0;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // Makes the native window of a new HWND, hidden; false when there can be none. `place` may
    // come back smaller, to fit the display.
    virtual bool open(const char* title, DWORD style, WindowPlace& place) = 0;
    // The window goes (before the next one is made).
    virtual void close() = 0;
    // Moves and sizes the window; `place` may come back smaller, to fit the display.
    virtual void move(WindowPlace& place) = 0;
    virtual void show(bool visible) = 0;
    // Takes what the window system reported since the last look: input goes to the devices
    // (input_feed.h), moves and sizes into `place`. True when the user asked to close the window.
    virtual bool pump(WindowPlace& place) = 0;
    // Whether the window has the keyboard and mouse (input_feed.h).
    virtual bool focused() const = 0;
    // Hides the pointer and reports only relative motion, or lets it go.
    virtual void capture_pointer(bool capture) = 0;
    // Gives a device of this size on the window its output (frame_output.h), or none where the
    // device only logs its quads; false when the device cannot be had. `paced`: the device holds
    // the game at 60 frames a second.
    virtual bool open_output(int width, int height, bool paced, std::unique_ptr<FrameOutput>& output) = 0;
    // Shows a message to the user beside the one line on stderr (MessageBoxA).
    virtual void show_message(const char*) {}
    // Lets go of the window system itself, for the next headless mode (headless.h).
    virtual void reset() {}
    // Whether a window may be made without a registered class: the game gets Windows' answer
    // (no window), tests and tools in the headless modes need none.
    virtual bool needs_registered_class() const { return true; }
};

// Filled by each backend (platform/sdl, platform/web):
// the backend's own window system, for the game itself (headless mode off);
WindowSystem& native_window_system();
// and one for the headless render mode where the backend draws those pictures itself (the
// desktop's GPU path through SDL's offscreen driver, when the hint asks for it), else null: the
// shared compositor draws them (headless_window.cpp).
WindowSystem* rendering_window_system();

// Filled by the headless backend (headless_window.cpp): the window systems of the two headless
// modes, with pictures (render) or without (record).
WindowSystem& headless_window_system(bool pictures);

// Filled by the headless control (headless.cpp): the window system for a window made now.
WindowSystem& current_window_system();

// Filled by the window table (win32_windows.cpp).
bool is_live_window(HWND window);
void client_size(HWND window, int* width, int* height);
// The window system that made this window, or null for a stale handle.
WindowSystem* window_system_of(HWND window);
// Tears the window down, with its messages and the window system's own state, so that the next
// window is made afresh.
void reset_windowing();

// Filled by the Direct3D device (d3d9_device.cpp): called before a window goes away, so that a
// device bound to it lets go of its output.
void window_destroying(HWND window);

}  // namespace platform
