// What the player expects of the game's window on any display: it opens within the display's
// usable area, high-density drawables, Alt+Enter and F11 for borderless full screen. The
// picture itself stays 800 x 600; only the way it reaches the screen changes.
#pragma once

#include <cstdint>

#include "picture_scaler.h"

union SDL_Event;
struct SDL_Window;

namespace platform {

// Set before the first window: relative mouse motion stays in raw counts, one count one pixel
// of the picture, whatever the window's size, the display's density or the presentation path.
void prepare_display_hints();

// The window flags that go with every window of the game's.
std::uint32_t display_window_flags();

// Shrinks a wanted client size to the usable area of the display the window is on, keeping
// its shape. A window already in full screen is left alone.
void fit_to_display(SDL_Window* window, int* width, int* height);

// Alt+Enter and F11 toggle borderless full screen on the window's display; leaving it brings
// back the window's size and position. The game still sees the key, as any other.
void handle_display_key(SDL_Window* window, const SDL_Event& event);

// When the game's window is first shown: onto the display the settings name, and into full
// screen if they ask for it.
void show_as_settings_say(SDL_Window* window);

// The filter for scale factors that are not whole, on both presentation paths: the settings'.
ScaleFilter non_whole_filter();

}  // namespace platform
