// How a device's frames reach the screen, chosen when the device is made:
// - the GPU path: the quads go through SDL's renderer (quad_renderer.cpp), where that runs on
//   a hardware driver;
// - the compositor path: the quads are drawn by our own compositor (compositor.h) into an
//   800 x 600 A8R8G8B8 frame in memory, which Present hands to the window surface without GL
//   (window_surface.cpp), or keeps for a headless picture.
// A player never chooses. The hint ZORVALEN_PRESENTATION ("gpu" or "compositor"), set in the
// environment or with SDL_SetHint, forces one path, for tests and for broken drivers.
#pragma once

#include <string>

namespace platform {

constexpr const char* PRESENTATION_HINT = "ZORVALEN_PRESENTATION";

enum class Presentation { automatic, gpu, compositor };

// What the hint asks for (automatic when it is unset or names neither path).
Presentation forced_presentation();

// Whether an OpenGL renderer of this name is a software one (llvmpipe, softpipe, swrast).
bool software_gl(const char* renderer_name);

// The path for a window when the hint forces none: the GPU path where OpenGL runs on a
// hardware driver, the compositor where the only GL is a software one, where there is none,
// or where the probe fails.
Presentation choose_presentation();

// The name of the OpenGL renderer that a hidden window's context gets, asked in a short-lived
// helper process (this same program, started again), so that the driver loaded to answer goes
// with it: Mesa's software driver maps some 50 MB, libLLVM among them, which can never be
// unloaded. Empty when there is no GL, or the helper gave no answer within a few seconds.
std::string ask_renderer_name();
// Starts that helper ahead of the question, so that it answers while the window is being
// made; ask_renderer_name then only waits for what is left. Does nothing when one is running.
void start_renderer_probe();
// The same question asked in this process, for the helper itself and for tests.
std::string read_renderer_name();

}  // namespace platform
