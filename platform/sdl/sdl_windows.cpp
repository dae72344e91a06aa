// The desktop's window system over SDL2 (window_system.h): the one window, brought up on a
// window system the player can see, and SDL's events turned into what the window table and the
// input devices take. A second instance serves the headless render mode on the GPU path: the
// same window on SDL's offscreen driver, where it always has the focus and never paces.
#include <SDL2/SDL.h>

#include <cstring>

#include "display_window.h"
#include "frame_path.h"
#include "input_feed.h"
#include "sdl_window.h"
#include "window_surface.h"
#include "window_system.h"

namespace {

constexpr DWORD WS_THICKFRAME_STYLE = 0x00040000L;

// SDL's video subsystem is one for the process, shared by both window systems.
bool video_up = false;
bool video_offscreen = false;

bool invisible_driver(const char* name) {
    return name == nullptr || std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0 ||
           std::strcmp(name, "evdev") == 0;
}

void take_video_down() {
    if (!video_up) return;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    video_up = false;
}

// Tries the window systems one by one rather than leaving the choice to SDL, which would end on
// an invisible driver, and whose Wayland probe complains on stderr when there is no session at all.
bool bring_up_visible_video() {
    const char* requested = SDL_getenv("SDL_VIDEODRIVER");
    if (requested != nullptr && *requested != '\0') return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    bool up = false;
    const char* runtime_dir = SDL_getenv("XDG_RUNTIME_DIR");
    for (int i = 0; i < SDL_GetNumVideoDrivers() && !up; ++i) {
        const char* name = SDL_GetVideoDriver(i);
        if (name == nullptr || invisible_driver(name)) continue;
        if (std::strcmp(name, "wayland") == 0 && (runtime_dir == nullptr || *runtime_dir == '\0')) continue;
        SDL_SetHint(SDL_HINT_VIDEODRIVER, name);
        up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    SDL_ResetHint(SDL_HINT_VIDEODRIVER);
    return up;
}

// The game must never end up on SDL's offscreen or dummy drivers: they would run an
// invisible game. Only the headless render mode asks for offscreen, by name.
bool bring_up_video(bool offscreen) {
    if (video_up && video_offscreen == offscreen) return true;
    take_video_down();
    bool up = false;
    if (offscreen) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
        up = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    } else {
        SDL_ResetHint(SDL_HINT_VIDEODRIVER);
        up = bring_up_visible_video();
        if (up && invisible_driver(SDL_GetCurrentVideoDriver())) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            up = false;
        }
    }
    if (!up) return false;
    video_up = true;
    video_offscreen = offscreen;
    return true;
}

class SdlWindowSystem final : public platform::WindowSystem {
public:
    explicit SdlWindowSystem(bool offscreen) : offscreen_(offscreen) {}

    bool open(const char* title, DWORD style, platform::WindowPlace& place) override {
        // The device made on this window will ask which path its frames take: the helper that
        // finds out starts now, alongside the video and the window.
        if (!offscreen_ && platform::forced_presentation() == platform::Presentation::automatic)
            platform::start_renderer_probe();
        if (!bring_up_video(offscreen_)) return false;
        platform::prepare_display_hints();
        Uint32 flags = SDL_WINDOW_HIDDEN | platform::display_window_flags();
        if (style & WS_THICKFRAME_STYLE) flags |= SDL_WINDOW_RESIZABLE;
        window_ = SDL_CreateWindow(title, place.x, place.y, place.width > 0 ? place.width : 1,
                                   place.height > 0 ? place.height : 1, flags);
        return window_ != nullptr;
    }
    void close() override {
        if (window_ != nullptr) SDL_DestroyWindow(window_);
        window_ = nullptr;
        focused_ = false;
        shown_once_ = false;
    }
    void move(platform::WindowPlace& place) override {
        if (window_ == nullptr) return;
        platform::fit_to_display(window_, &place.width, &place.height);
        SDL_SetWindowPosition(window_, place.x, place.y);
        SDL_SetWindowSize(window_, place.width > 0 ? place.width : 1, place.height > 0 ? place.height : 1);
    }
    void show(bool visible) override {
        if (window_ == nullptr) return;
        if (!visible) {
            SDL_HideWindow(window_);
            return;
        }
        SDL_ShowWindow(window_);
        if (!offscreen_ && !shown_once_) platform::show_as_settings_say(window_);
        shown_once_ = true;
        SDL_RaiseWindow(window_);
        if (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) set_focus(true);
    }
    bool pump(platform::WindowPlace& place) override;
    bool focused() const override { return offscreen_ || focused_; }
    void capture_pointer(bool capture) override {
        if (window_ != nullptr && !offscreen_) SDL_SetRelativeMouseMode(capture ? SDL_TRUE : SDL_FALSE);
    }
    bool open_output(int width, int height, bool paced, std::unique_ptr<platform::FrameOutput>& output) override {
        return window_ != nullptr && platform::open_sdl_output(window_, width, height, paced, offscreen_, output);
    }
    void reset() override {
        close();
        take_video_down();
    }
    // Tests and tools may open the offscreen window without a class, as the headless one.
    bool needs_registered_class() const override { return !offscreen_; }

    SDL_Window* sdl_window() const { return window_; }

private:
    void set_focus(bool focused) {
        if (focused_ == focused) return;
        focused_ = focused;
        platform::focus_changed(focused);
    }
    // One window event; true when it asks to close the window.
    bool take_window_event(const SDL_WindowEvent& event, platform::WindowPlace& place);

    bool offscreen_;
    SDL_Window* window_ = nullptr;
    bool focused_ = false;
    bool shown_once_ = false;
};

bool SdlWindowSystem::take_window_event(const SDL_WindowEvent& event, platform::WindowPlace& place) {
    if (window_ == nullptr || SDL_GetWindowID(window_) != event.windowID) return false;
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE: return true;
    case SDL_WINDOWEVENT_FOCUS_GAINED: set_focus(true); break;
    case SDL_WINDOWEVENT_FOCUS_LOST: set_focus(false); break;
    case SDL_WINDOWEVENT_EXPOSED: platform::surface_exposed(); break;
    case SDL_WINDOWEVENT_MOVED:
        place.x = event.data1;
        place.y = event.data2;
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        place.width = event.data1;
        place.height = event.data2;
        break;
    default: break;
    }
    return false;
}

bool SdlWindowSystem::pump(platform::WindowPlace& place) {
    bool close = false;
    if (!video_up) return false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        switch (event.type) {
        case SDL_QUIT:  // the last window closed, or an interrupt from the terminal
            close = true;
            break;
        case SDL_WINDOWEVENT:
            close = take_window_event(event.window, place) || close;
            break;
        case SDL_KEYDOWN:
            platform::handle_display_key(window_, event);
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
    return close;
}

SdlWindowSystem desktop(false);
SdlWindowSystem offscreen(true);

}  // namespace

namespace platform {

WindowSystem& native_window_system() { return desktop; }

WindowSystem* rendering_window_system() {
    return forced_presentation() == Presentation::gpu ? &offscreen : nullptr;
}

SDL_Window* main_sdl_window() {
    return desktop.sdl_window() != nullptr ? desktop.sdl_window() : offscreen.sdl_window();
}

}  // namespace platform
