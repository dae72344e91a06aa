// The compositor path's way to the screen: the window's own surface, which SDL shows without GL
// (SDL_FRAMEBUFFER_ACCELERATION off: XShm on X11). Where the picture lies 1:1 in a 32-bit
// surface, the compositor draws each frame straight into it and showing it costs no copy at
// all; elsewhere the finished frame goes through our scaler (plan_scale chooses how), or
// through SDL's blit for a surface of another pixel format. Through the scaler, only the rows
// that changed since the last frame are scaled and sent to the window system: a still picture
// (the title screen, a pause) costs next to nothing full screen.
#pragma once

#include <cstdint>
#include <vector>

#include <SDL2/SDL.h>

#include "compositor/compositor.h"
#include "picture_scaler.h"

namespace platform {

// The window system lost some of what the window showed (another window lay over it): the
// next frame goes to every window surface whole.
void surface_exposed();

// Where in the surface the compositor may draw a frame: null when it cannot. Pitch in pixels.
struct SurfacePixels {
    std::uint32_t* pixels = nullptr;
    int pitch = 0;
};

// The frames a window surface showed, by the way each got there.
struct ShownFrames {
    std::uint64_t in_place = 0;   // drawn into the surface itself
    std::uint64_t copied = 0;     // 1:1, but copied from the compositor's own buffer
    std::uint64_t scaled = 0;     // through the scaler, at a whole factor or filtered
    std::uint64_t unchanged = 0;  // of those copied or scaled, the frames with no row changed
    std::uint64_t converted = 0;  // a surface of another pixel format: SDL's blit
};

class WindowSurface {
public:
    // False when the window system offers the window no surface of its own.
    bool open(SDL_Window* window, const FrameView& frame);
    void close();
    bool is_open() const { return window_ != nullptr; }

    // The surface's pixels under the picture, where the picture lies 1:1 in a 32-bit surface.
    // Asks SDL for the surface, which it makes anew after a resize: only call it when what the
    // compositor drew before is no longer needed (at a full clear). Valid until the next call.
    SurfacePixels drawable(int width, int height);

    // Shows the frame: as it is when it was drawn into the surface itself, else copied, scaled
    // to fit (keeping its shape, with black bars) or blitted. False when nothing could be shown.
    // `same_as_last`: the compositor left the frame as the last one it gave (nothing to compare).
    bool present(const FrameView& frame, bool same_as_last = false);
    // Whether the frame is the one drawn into the surface. When present fails for such a frame,
    // the window changed size under it: the frame must move to the compositor's own buffer
    // and be presented from there.
    bool drawn_in_place(const FrameView& frame) const {
        return drawable_.pixels != nullptr && frame.pixels == drawable_.pixels;
    }

    const ShownFrames& shown() const { return shown_; }
    // How many surfaces SDL has made for the window since it opened: a new one holds none of the
    // pixels drawn into the last.
    std::uint64_t surfaces() const { return surfaces_; }

private:
    // SDL's surface, with the plan made and the bars painted when it is a new one.
    SDL_Surface* current_surface(int picture_width, int picture_height);
    // Puts the frame through the scaler into a 32-bit surface and shows it: whole, or only
    // the bands of rows that differ from the last frame shown this way.
    bool show_scaled(const FrameView& frame, SDL_Surface* surface, bool same_as_last);

    SDL_Window* window_ = nullptr;
    SDL_Surface* frame_ = nullptr;  // the compositor's buffer, wrapped for SDL's blitter
    SurfacePixels drawable_;
    // Fits the frame to the surface; made again whenever SDL makes the surface again.
    PictureScaler scaler_;
    bool planned_ = false;  // since open
    std::uint64_t surfaces_ = 0;
    // The picture last shown through the scaler, and whether the next goes whole instead
    // (a new surface, another way between, the window exposed).
    std::vector<std::uint32_t> last_;
    bool whole_ = true;
    std::uint64_t exposures_seen_ = 0;
    static constexpr int MOST_BANDS = 32;  // more runs of changed rows are shown as one
    SDL_Rect bands_[MOST_BANDS];
    ShownFrames shown_;
};

}  // namespace platform
