// The compositor path's way to the screen: the finished frame is copied into the window's own
// surface, which SDL shows without GL (SDL_FRAMEBUFFER_ACCELERATION off: XShm on X11). On a
// machine whose only GL is a software one this costs a copy instead of a trip through the
// software rasteriser.
#pragma once

#include <SDL2/SDL.h>

#include "compositor/compositor.h"
#include "picture_scaler.h"

namespace platform {

class WindowSurface {
public:
    // False when the window system offers the window no surface of its own.
    bool open(SDL_Window* window, const FrameView& frame);
    void close();
    bool is_open() const { return window_ != nullptr; }

    // Shows the frame: as it is when it was drawn into the surface itself, else copied row by
    // row at its own size, or scaled to fit a window of another size, keeping its shape, with
    // black bars (nearest at whole factors, sharp-bilinear else).
    bool present(const FrameView& frame);

    // The surface's own pixels for the compositor to draw the next frame into, when the window
    // is exactly width x height in a 32-bit format; null otherwise. Valid until the next call:
    // only call it when what the compositor drew before is no longer needed (at a full clear).
    std::uint32_t* drawable(int width, int height, int* pitch_in_pixels);

private:
    SDL_Window* window_ = nullptr;
    SDL_Surface* frame_ = nullptr;  // the compositor's buffer, wrapped for SDL's blitter
    std::uint32_t* drawable_ = nullptr;
    // Fits the frame to the surface; made again whenever SDL makes the surface again.
    PictureScaler scaler_;
    const SDL_Surface* scaled_for_ = nullptr;
    int scaled_width_ = 0, scaled_height_ = 0;
};

}  // namespace platform
