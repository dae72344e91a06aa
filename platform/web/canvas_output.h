// Showing a finished 800 x 600 picture on the page's canvas, and holding the game at its 60
// frames a second by the page's animation frames.
#pragma once

#include <cstdint>
#include <vector>

#include "compositor/compositor.h"
#include "frame_gate.h"

namespace web {

class CanvasPresenter {
public:
    // False when the page's canvas cannot be drawn to; the caller then has no device to offer.
    bool open(int width, int height);
    // The whole picture onto the canvas.
    void show(const platform::FrameView& frame);
    // Yields to the browser until the next animation frame at which a new game frame is due.
    void wait_for_next_frame();

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> rgba_;  // the picture in the canvas' byte order, made once
    FrameGate gate_;
};

}  // namespace web
