// Seams between the parts of the desktop backend: the SDL window behind the one HWND
// (sdl_windows.cpp), the keyboard and mouse events its pump hands on (dinput.cpp), and the
// outputs a Direct3D device gets on it (sdl_outputs.cpp). Not seen by the game.
#pragma once

#include <memory>

#include "frame_output.h"

union SDL_Event;
struct SDL_Window;

namespace platform {

// The window's SDL window: null before the window exists and where the window system is not SDL's.
SDL_Window* main_sdl_window();

// Every keyboard and mouse event the pump takes from SDL, for the DirectInput devices.
void handle_input_event(const SDL_Event& event);

// The output of a device of this size on `window`: the compositor into the window's own
// surface, or the GPU path, as frame_path.h chooses; on SDL's offscreen driver always the GPU
// path, unpaced, drawing into a picture of its own. False when there can be none.
bool open_sdl_output(SDL_Window* window, int width, int height, bool paced, bool offscreen,
                     std::unique_ptr<FrameOutput>& output);

struct ShownFrames;
// The frames an output of the compositor path has shown, by the way each reached the window's
// surface (window_surface.h); null for the GPU path's.
const ShownFrames* frames_shown(const FrameOutput& output);

}  // namespace platform
