// The page's output for a Direct3D device (frame_output.h): the compositor's finished 800 x 600
// picture shown on the page's canvas, and the game held at its 60 frames a second by the page's
// animation frames, which is also where the game yields to the page once a frame.
#pragma once

#include <memory>

#include "frame_output.h"

namespace web {

// The canvas for a device of this size; false when the page's canvas cannot be drawn to or
// another device has it already.
bool open_canvas_output(int width, int height, std::unique_ptr<platform::FrameOutput>& output);

}  // namespace web
