#include "window_surface.h"

#include "display_window.h"

namespace platform {

namespace {

SDL_Surface* surface_of(SDL_Window* window) {
    // Read when SDL (re)makes the window's surface, which it does again after a resize.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_OVERRIDE);
    return SDL_GetWindowSurface(window);
}

// Same bytes per pixel, the alpha byte ignored by the window system.
bool copyable(const SDL_Surface* surface) {
    return surface->format->format == SDL_PIXELFORMAT_ARGB8888 || surface->format->format == SDL_PIXELFORMAT_RGB888;
}

std::uint32_t* pixels_of(const SDL_Surface* surface) { return static_cast<std::uint32_t*>(surface->pixels); }

}  // namespace

bool WindowSurface::open(SDL_Window* window, const FrameView& frame) {
    close();
    if (window == nullptr || frame.pixels == nullptr) return false;
    if (surface_of(window) == nullptr) return false;
    frame_ = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(frame.pixels), frame.width, frame.height,
                                                32, frame.pitch, SDL_PIXELFORMAT_ARGB8888);
    if (frame_ == nullptr) return false;
    SDL_SetSurfaceBlendMode(frame_, SDL_BLENDMODE_NONE);
    window_ = window;
    return true;
}

void WindowSurface::close() {
    planned_ = false;
    if (frame_ != nullptr) SDL_FreeSurface(frame_);
    frame_ = nullptr;
    window_ = nullptr;
    drawable_ = {};
}

SDL_Surface* WindowSurface::current_surface(int picture_width, int picture_height) {
    SDL_Surface* surface = surface_of(window_);
    if (surface == nullptr) return nullptr;
    // SDL leaves a surface's user data to us: ours marks the surface the plan and bars are for.
    // A surface SDL has made anew (a resize, another display) has none, and its pixels are not ours.
    if (!planned_ || surface->userdata != this) {
        scaler_.prepare(picture_width, picture_height, surface->w, surface->h, non_whole_filter());
        surface->userdata = this;
        planned_ = true;
    }
    return surface;
}

SurfacePixels WindowSurface::drawable(int width, int height) {
    drawable_ = {};
    if (window_ == nullptr) return drawable_;
    SDL_Surface* surface = current_surface(width, height);
    if (surface == nullptr || scaler_.plan().way != ScaleWay::one_to_one || !copyable(surface) ||
        SDL_MUSTLOCK(surface) || surface->pitch % 4 != 0)
        return drawable_;
    const int pitch = surface->pitch / 4;
    scaler_.paint_bars(pixels_of(surface), pitch);
    const PixelRect& target = scaler_.fit().target;
    drawable_.pixels = pixels_of(surface) + static_cast<std::ptrdiff_t>(target.y) * pitch + target.x;
    drawable_.pitch = pitch;
    return drawable_;
}

bool WindowSurface::present(const FrameView& frame) {
    if (window_ == nullptr) return false;
    if (drawn_in_place(frame)) {
        // The surface SDL still holds (only drawable() asks for a new one); SDL refuses to show
        // it when the window has changed size since.
        if (SDL_UpdateWindowSurface(window_) != 0) return false;
        ++shown_.in_place;
        return true;
    }
    if (frame.pixels != frame_->pixels) return false;
    SDL_Surface* surface = current_surface(frame.width, frame.height);
    if (surface == nullptr) return false;
    std::uint64_t* count = &shown_.converted;
    if (copyable(surface)) {
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        scaler_.scale(frame.pixels, frame.pitch / 4, pixels_of(surface), surface->pitch / 4);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        count = scaler_.plan().way == ScaleWay::one_to_one ? &shown_.copied : &shown_.scaled;
    } else if (surface->w == frame.width && surface->h == frame.height) {
        SDL_BlitSurface(frame_, nullptr, surface, nullptr);
    } else {
        const PixelRect& fit = scaler_.fit().target;
        SDL_Rect target{fit.x, fit.y, fit.width, fit.height};
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        if (target.w > 0 && target.h > 0) SDL_BlitScaled(frame_, nullptr, surface, &target);
    }
    if (SDL_UpdateWindowSurface(window_) != 0) return false;
    ++*count;
    return true;
}

}  // namespace platform
