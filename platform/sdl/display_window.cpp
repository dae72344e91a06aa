#include "display_window.h"

#include <SDL2/SDL.h>

#include <cstdio>

#include "common/picture_fit.h"
#include "settings/settings.h"

namespace platform {

namespace {

// Where the window was before full screen, put back by hand in case the window system does not.
struct Windowed {
    bool saved = false;
    int x = 0, y = 0, width = 0, height = 0;
    bool maximised = false;
};
Windowed windowed;

bool is_toggle(const SDL_KeyboardEvent& key) {
    if (key.repeat != 0) return false;
    const SDL_Scancode code = key.keysym.scancode;
    if (code == SDL_SCANCODE_F11) return true;
    return (code == SDL_SCANCODE_RETURN || code == SDL_SCANCODE_KP_ENTER) && (key.keysym.mod & KMOD_ALT) != 0;
}

void toggle_full_screen(SDL_Window* window) {
    const Uint32 flags = SDL_GetWindowFlags(window);
    if ((flags & SDL_WINDOW_FULLSCREEN) == 0) {
        SDL_Rect display{};
        const int index = SDL_GetWindowDisplayIndex(window);
        if (index < 0 || SDL_GetDisplayBounds(index, &display) != 0) return;
        windowed.maximised = (flags & SDL_WINDOW_MAXIMIZED) != 0;
        SDL_GetWindowPosition(window, &windowed.x, &windowed.y);
        SDL_GetWindowSize(window, &windowed.width, &windowed.height);
        windowed.saved = true;
        // Cover the display by hand first: with no window manager to honour the full-screen
        // state (a bare X server) this alone does it; with one it changes nothing it keeps. A
        // maximised window has a window manager, and is left to it.
        if (!windowed.maximised) {
            SDL_SetWindowBordered(window, SDL_FALSE);
            SDL_SetWindowPosition(window, display.x, display.y);
            SDL_SetWindowSize(window, display.w, display.h);
        }
        // Desktop full screen changes no display mode: instant, and Alt+Tab behaves.
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        return;
    }
    SDL_SetWindowFullscreen(window, 0);
    SDL_SetWindowBordered(window, SDL_TRUE);
    if (!windowed.saved || windowed.maximised) return;
    SDL_SetWindowSize(window, windowed.width, windowed.height);
    SDL_SetWindowPosition(window, windowed.x, windowed.y);
}

}  // namespace

void prepare_display_hints() { SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_SCALING, "0"); }

std::uint32_t display_window_flags() { return SDL_WINDOW_ALLOW_HIGHDPI; }

void fit_to_display(SDL_Window* window, int* width, int* height) {
    if (window == nullptr || (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0) return;
    const int display = SDL_GetWindowDisplayIndex(window);
    SDL_Rect usable{};
    if (display < 0 || SDL_GetDisplayUsableBounds(display, &usable) != 0) return;
    fit_window_size(width, height, usable.w, usable.h);
}

void handle_display_key(SDL_Window* window, const SDL_Event& event) {
    if (window != nullptr && event.type == SDL_KEYDOWN && is_toggle(event.key)) toggle_full_screen(window);
}

void show_as_settings_say(SDL_Window* window) {
    if (window == nullptr) return;
    const settings::DisplaySettings& wanted = settings::read_settings_in_force().display;
    if (wanted.display > 0) {
        const int count = SDL_GetNumVideoDisplays();
        SDL_Rect usable{};
        if (wanted.display > count || SDL_GetDisplayUsableBounds(wanted.display - 1, &usable) != 0) {
            std::fprintf(stderr, "zorvalen: there is no display %d (%d found); the window opens where it would\n",
                         wanted.display, count);
        } else {
            int width = 0, height = 0;
            SDL_GetWindowSize(window, &width, &height);
            fit_window_size(&width, &height, usable.w, usable.h);
            SDL_SetWindowSize(window, width, height);
            const int centred = static_cast<int>(SDL_WINDOWPOS_CENTERED_DISPLAY(wanted.display - 1));
            SDL_SetWindowPosition(window, centred, centred);
        }
    }
    if (wanted.full_screen && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) == 0) toggle_full_screen(window);
}

// Side by side at 1920 x 1080 (1.8 x), linear spreads every one-pixel stroke of the font and
// the HUD over a grey halo; sharp-bilinear keeps the strokes crisp and still spaces them evenly.
// So sharp is the default; the player may choose the others.
ScaleFilter non_whole_filter() {
    switch (settings::read_settings_in_force().display.filter) {
    case settings::ScaleFilter::whole: return ScaleFilter::whole;
    case settings::ScaleFilter::smooth: return ScaleFilter::linear;
    case settings::ScaleFilter::sharp: break;
    }
    return ScaleFilter::sharp;
}

}  // namespace platform
