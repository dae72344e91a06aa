#include "window_surface.h"

#include <cstring>

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
    if (surface->w == frame.width && surface->h == frame.height && copyable(surface)) {
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        const std::size_t row = static_cast<std::size_t>(frame.width) * 4;
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(static_cast<unsigned char*>(surface->pixels) + static_cast<std::size_t>(y) * surface->pitch,
                        reinterpret_cast<const unsigned char*>(frame.pixels) + static_cast<std::size_t>(y) * frame.pitch,
                        row);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    } else if (surface->w == frame.width && surface->h == frame.height) {
        SDL_BlitSurface(frame_, nullptr, surface, nullptr);
    } else {
        // The largest rectangle of the frame's shape that fits, centred.
        SDL_Rect fit{0, 0, surface->w, surface->h};
        if (static_cast<long long>(surface->w) * frame.height > static_cast<long long>(surface->h) * frame.width)
            fit.w = static_cast<int>(static_cast<long long>(surface->h) * frame.width / frame.height);
        else
            fit.h = static_cast<int>(static_cast<long long>(surface->w) * frame.height / frame.width);
        fit.x = (surface->w - fit.w) / 2;
        fit.y = (surface->h - fit.h) / 2;
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        if (fit.w > 0 && fit.h > 0) SDL_BlitScaled(frame_, nullptr, surface, &fit);
    }
    return SDL_UpdateWindowSurface(window_) == 0;
}

}  // namespace platform
