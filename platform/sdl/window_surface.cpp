#include "window_surface.h"

#include <cstring>

#include "display_window.h"

namespace platform {

namespace {

std::uint64_t exposures = 0;  // of any window, since the start

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

void surface_exposed() { ++exposures; }

bool WindowSurface::open(SDL_Window* window, const FrameView& frame) {
    close();
    if (window == nullptr || frame.pixels == nullptr) return false;
    if (surface_of(window) == nullptr) return false;
    frame_ = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<std::uint32_t*>(frame.pixels), frame.width, frame.height,
                                                32, frame.pitch, SDL_PIXELFORMAT_ARGB8888);
    if (frame_ == nullptr) return false;
    SDL_SetSurfaceBlendMode(frame_, SDL_BLENDMODE_NONE);
    last_.assign(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height), 0u);
    whole_ = true;
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
        whole_ = true;
        ++surfaces_;
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

bool WindowSurface::present(const FrameView& frame, bool same_as_last) {
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
    if (copyable(surface)) {
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        const bool shown = show_scaled(frame, surface, same_as_last);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        if (shown) ++(scaler_.plan().way == ScaleWay::one_to_one ? shown_.copied : shown_.scaled);
        return shown;
    }
    whole_ = true;  // the scaler's last picture is not what the surface shows now
    if (surface->w == frame.width && surface->h == frame.height) {
        SDL_BlitSurface(frame_, nullptr, surface, nullptr);
    } else {
        const PixelRect& fit = scaler_.fit().target;
        SDL_Rect target{fit.x, fit.y, fit.width, fit.height};
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        if (target.w > 0 && target.h > 0) SDL_BlitScaled(frame_, nullptr, surface, &target);
    }
    if (SDL_UpdateWindowSurface(window_) != 0) return false;
    ++shown_.converted;
    return true;
}

bool WindowSurface::show_scaled(const FrameView& frame, SDL_Surface* surface, bool same_as_last) {
    std::uint32_t* pixels = pixels_of(surface);
    const int pitch = surface->pitch / 4, frame_pitch = frame.pitch / 4;
    const std::size_t row_bytes = sizeof(std::uint32_t) * static_cast<std::size_t>(frame.width);
    if (exposures_seen_ != exposures) {
        exposures_seen_ = exposures;
        whole_ = true;
    }
    if (whole_) {
        scaler_.scale(frame.pixels, frame_pitch, pixels, pitch);
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(last_.data() + static_cast<std::size_t>(y) * frame.width,
                        frame.pixels + static_cast<std::ptrdiff_t>(y) * frame_pitch, row_bytes);
        if (SDL_UpdateWindowSurface(window_) != 0) return false;
        whole_ = false;
        return true;
    }
    if (same_as_last) {  // every row as it was: the surface already shows it
        ++shown_.unchanged;
        return SDL_UpdateWindowSurfaceRects(window_, bands_, 0) == 0;
    }
    // The runs of rows that changed, each scaled and sent on its own.
    int bands = 0, run_start = -1;
    for (int y = 0; y <= frame.height; ++y) {
        bool changed = false;
        if (y < frame.height) {
            const std::uint32_t* now = frame.pixels + static_cast<std::ptrdiff_t>(y) * frame_pitch;
            std::uint32_t* before = last_.data() + static_cast<std::size_t>(y) * frame.width;
            changed = std::memcmp(now, before, row_bytes) != 0;
            if (changed) std::memcpy(before, now, row_bytes);
        }
        if (changed && run_start < 0) run_start = y;
        if (changed || run_start < 0) continue;
        if (bands == MOST_BANDS) --bands;  // the last band stretches over this run too
        else bands_[bands].y = run_start;
        bands_[bands].h = y;  // the run's end, for now
        ++bands;
        run_start = -1;
    }
    for (int i = 0; i < bands; ++i) {
        const PixelRect part = scaler_.scale_rows(frame.pixels, frame_pitch, pixels, pitch, bands_[i].y, bands_[i].h);
        bands_[i] = SDL_Rect{part.x, part.y, part.width, part.height};
    }
    if (bands == 0) ++shown_.unchanged;
    return SDL_UpdateWindowSurfaceRects(window_, bands_, bands) == 0;
}

}  // namespace platform
