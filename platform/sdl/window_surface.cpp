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
    scaled_for_ = nullptr;
    if (frame_ != nullptr) SDL_FreeSurface(frame_);
    frame_ = nullptr;
    window_ = nullptr;
    drawable_ = nullptr;
}

std::uint32_t* WindowSurface::drawable(int width, int height, int* pitch_in_pixels) {
    drawable_ = nullptr;
    if (window_ == nullptr) return nullptr;
    SDL_Surface* surface = surface_of(window_);
    if (surface == nullptr || surface->w != width || surface->h != height || !copyable(surface) ||
        SDL_MUSTLOCK(surface) || surface->pitch % 4 != 0)
        return nullptr;
    drawable_ = static_cast<std::uint32_t*>(surface->pixels);
    *pitch_in_pixels = surface->pitch / 4;
    return drawable_;
}

bool WindowSurface::present(const FrameView& frame) {
    if (window_ == nullptr) return false;
    // Drawn in place: the surface is the one SDL still holds (only drawable() asks for a new one).
    if (drawable_ != nullptr && frame.pixels == drawable_) return SDL_UpdateWindowSurface(window_) == 0;
    if (frame.pixels != frame_->pixels) return false;
    SDL_Surface* surface = surface_of(window_);
    if (surface == nullptr) return false;
    if (copyable(surface)) {
        if (surface != scaled_for_ || surface->w != scaled_width_ || surface->h != scaled_height_) {
            scaler_.prepare(frame.width, frame.height, surface->w, surface->h, non_whole_filter());
            scaled_for_ = surface;
            scaled_width_ = surface->w;
            scaled_height_ = surface->h;
        }
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        scaler_.scale(frame.pixels, frame.pitch / 4, static_cast<std::uint32_t*>(surface->pixels),
                      surface->pitch / 4);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    } else if (surface->w == frame.width && surface->h == frame.height) {
        SDL_BlitSurface(frame_, nullptr, surface, nullptr);
    } else {
        const PictureFit fit = fit_picture(frame.width, frame.height, surface->w, surface->h);
        SDL_Rect target{fit.target.x, fit.target.y, fit.target.width, fit.target.height};
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        if (target.w > 0 && target.h > 0) SDL_BlitScaled(frame_, nullptr, surface, &target);
    }
    return SDL_UpdateWindowSurface(window_) == 0;
}

}  // namespace platform
