// The outputs a Direct3D device gets on the desktop (frame_output.h), one to each of the two
// paths of frame_path.h: the compositor's frame copied into the window's own surface, or the
// quads drawn on the GPU through SDL's renderer, with the textures copied there as they change.
// Both hold Present to the game's 60 frames a second (present_limiter.h).
#include <SDL2/SDL.h>

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/frame_schedule.h"
#include "device_state.h"
#include "frame_path.h"
#include "present_limiter.h"
#include "quad_renderer.h"
#include "sdl_window.h"
#include "window_surface.h"

namespace platform {

namespace {

SDL_BlendFactor blend_factor(DWORD blend) {
    switch (blend) {
    case D3DBLEND_ZERO: return SDL_BLENDFACTOR_ZERO;
    case D3DBLEND_SRCCOLOR: return SDL_BLENDFACTOR_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return SDL_BLENDFACTOR_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return SDL_BLENDFACTOR_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return SDL_BLENDFACTOR_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return SDL_BLENDFACTOR_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return SDL_BLENDFACTOR_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return SDL_BLENDFACTOR_ONE_MINUS_DST_COLOR;
    default: return SDL_BLENDFACTOR_ONE;
    }
}

// Direct3D applies the colour factors to alpha too, taking their alpha component.
SDL_BlendFactor alpha_factor(DWORD blend) {
    switch (blend) {
    case D3DBLEND_SRCCOLOR: return SDL_BLENDFACTOR_SRC_ALPHA;
    case D3DBLEND_INVSRCCOLOR: return SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTCOLOR: return SDL_BLENDFACTOR_DST_ALPHA;
    case D3DBLEND_INVDESTCOLOR: return SDL_BLENDFACTOR_ONE_MINUS_DST_ALPHA;
    default: return blend_factor(blend);
    }
}

SDL_BlendMode blend_mode(bool enabled, DWORD source, DWORD destination) {
    if (!enabled || (source == D3DBLEND_ONE && destination == D3DBLEND_ZERO)) return SDL_BLENDMODE_NONE;
    if (source == D3DBLEND_SRCALPHA && destination == D3DBLEND_INVSRCALPHA) return SDL_BLENDMODE_BLEND;
    if (source == D3DBLEND_SRCALPHA && destination == D3DBLEND_ONE) return SDL_BLENDMODE_ADD;
    return SDL_ComposeCustomBlendMode(blend_factor(source), blend_factor(destination), SDL_BLENDOPERATION_ADD,
                                      alpha_factor(source), alpha_factor(destination), SDL_BLENDOPERATION_ADD);
}

// The compositor path: the frame is drawn in memory, straight into the window's surface when
// it can be, and shown without GL.
class SurfaceOutput final : public CompositedOutput {
public:
    explicit SurfaceOutput(bool paced) : limiter_(paced) {}
    ~SurfaceOutput() override {
        if (compositor_ != nullptr) compositor_->set_target(nullptr, 0);  // the window's surface goes
        surface_.close();
    }

    // False when the window system offers the window no surface of its own.
    bool open(SDL_Window* window, int width, int height) {
        return make_compositor(width, height) && surface_.open(window, compositor_->frame());
    }
    // Nothing drawn before matters now: the frame can be drawn straight into the window's
    // surface, which then needs no copy to be shown.
    void frame_cleared() override {
        const SurfacePixels target = surface_.drawable(compositor_->width(), compositor_->height());
        if (surface_.surfaces() != surfaces_seen_) {
            surfaces_seen_ = surface_.surfaces();
            compositor_->forget_shown();  // SDL's new surface may lie where the old one was
        }
        compositor_->set_target(target.pixels, target.pitch);
    }
    void show() override {
        limiter_.before_show(false);
        const std::uint64_t reused = compositor_->frames_reused();
        const FrameView frame = compositor_->frame();
        if (!surface_.present(frame, compositor_->frames_reused() != reused) && surface_.drawn_in_place(frame)) {
            // The window changed size under a frame drawn in its surface, which SDL has not let
            // go of yet: the frame moves to our own buffer and is shown from there.
            compositor_->set_target(nullptr, 0);
            surface_.present(compositor_->frame());
        }
        limiter_.after_show(false);
    }
    const ShownFrames& shown() const { return surface_.shown(); }

private:
    WindowSurface surface_;
    std::uint64_t surfaces_seen_ = 0;
    PresentLimiter limiter_;
};

// The GPU path: each texture is copied into the renderer when a quad first needs it, and again
// when its pixels have changed since.
class GpuOutput final : public FrameOutput {
public:
    explicit GpuOutput(bool paced) : limiter_(paced) {}
    ~GpuOutput() override {
        for (const Copy& copy : copies_) SDL_DestroyTexture(copy.copy);
        renderer_.close();
    }

    bool open(SDL_Window* window, bool vsync, int width, int height, bool own_back_buffer) {
        return renderer_.open(window, vsync, width, height, own_back_buffer);
    }

    void clear(std::uint32_t argb) override { renderer_.clear(argb); }
    void fill(int left, int top, int right, int bottom, std::uint32_t argb) override {
        renderer_.fill(SDL_Rect{left, top, right - left, bottom - top}, argb);
    }
    void draw(const GameQuad& quad, const MemoryTexture* texture, const DeviceStates& states) override;
    bool read(std::uint32_t* pixels, int width, int height) override { return renderer_.read(pixels, width, height); }
    void forget(const MemoryTexture& texture) override;
    void show() override {
        limiter_.before_show(renderer_.vsync());
        renderer_.present();
        if (!limiter_.after_show(renderer_.vsync())) renderer_.stop_vsync();
    }

private:
    struct Copy {
        const MemoryTexture* texture;
        SDL_Texture* copy;
        std::uint64_t version;  // of the pixels it holds; 0 for none yet
    };
    // The renderer's copy, made or brought up to date; null when the renderer cannot hold it.
    SDL_Texture* copy_of(const MemoryTexture& texture);

    QuadRenderer renderer_;
    std::vector<Copy> copies_;
    PresentLimiter limiter_;
};

void GpuOutput::draw(const GameQuad& quad, const MemoryTexture* texture, const DeviceStates& states) {
    QuadLook look;
    look.texture = nullptr;
    if (texture != nullptr) {
        look.texture = copy_of(*texture);
        if (look.texture == nullptr) return;  // the renderer could not hold it: nothing to show
    }
    look.blend = blend_mode(states.render[D3DRS_ALPHABLENDENABLE] != 0, states.render[D3DRS_SRCBLEND],
                            states.render[D3DRS_DESTBLEND]);
    const DWORD magnify = states.sampler[0][D3DSAMP_MAGFILTER];
    const DWORD minify = states.sampler[0][D3DSAMP_MINFILTER];
    look.scale = magnify >= D3DTEXF_LINEAR || minify >= D3DTEXF_LINEAR ? SDL_ScaleModeLinear : SDL_ScaleModeNearest;
    renderer_.draw(look, quad.corners, !quad.first_culled, !quad.second_culled);
}

SDL_Texture* GpuOutput::copy_of(const MemoryTexture& texture) {
    Copy* found = nullptr;
    for (Copy& copy : copies_)
        if (copy.texture == &texture) found = &copy;
    if (found == nullptr) {
        const Uint32 format = texture.format() == D3DFMT_X8R8G8B8 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_ARGB8888;
        SDL_Texture* made = SDL_CreateTexture(renderer_.renderer(), format, SDL_TEXTUREACCESS_STATIC,
                                              static_cast<int>(texture.width()), static_cast<int>(texture.height()));
        if (made == nullptr) return nullptr;
        copies_.push_back({&texture, made, 0});
        found = &copies_.back();
    }
    if (found->version != texture.version() && !texture.locked()) {
        // Quads already queued with this texture show it as it was when they were drawn.
        if (renderer_.holds(found->copy)) renderer_.flush();
        SDL_UpdateTexture(found->copy, nullptr, texture.pixels(), static_cast<int>(texture.width() * 4));
        found->version = texture.version();
    }
    return found->copy;
}

void GpuOutput::forget(const MemoryTexture& texture) {
    for (auto copy = copies_.begin(); copy != copies_.end(); ++copy) {
        if (copy->texture != &texture) continue;
        if (renderer_.holds(copy->copy)) renderer_.flush();
        SDL_DestroyTexture(copy->copy);
        copies_.erase(copy);
        return;
    }
}

// The game counts in frames, so it must see 60 of them a second: the display's retrace gives
// that only at 60 Hz; anywhere else our own limiter does.
bool retrace_holds_frame_rate(SDL_Window* window) {
    SDL_DisplayMode display{};
    const int index = SDL_GetWindowDisplayIndex(window);
    return index >= 0 && SDL_GetCurrentDisplayMode(index, &display) == 0 && display.refresh_rate > 0 &&
           refresh_matches_frame_rate(static_cast<uint32_t>(display.refresh_rate), PresentLimiter::FRAME_RATE);
}

}  // namespace

bool open_sdl_output(SDL_Window* window, int width, int height, bool paced, bool offscreen,
                     std::unique_ptr<FrameOutput>& output) {
    paced = paced && !offscreen;
    if (!offscreen && choose_presentation() == Presentation::compositor) {
        std::unique_ptr<SurfaceOutput> surface(new (std::nothrow) SurfaceOutput(paced));
        if (surface != nullptr && surface->open(window, width, height)) {
            output = std::move(surface);
            return true;
        }
        // No surface of its own: the GPU path after all.
    }
    const bool vsync = paced && retrace_holds_frame_rate(window);
    std::unique_ptr<GpuOutput> gpu(new (std::nothrow) GpuOutput(paced));
    if (gpu == nullptr || !gpu->open(window, vsync, width, height, offscreen)) return false;
    output = std::move(gpu);
    return true;
}

const ShownFrames* frames_shown(const FrameOutput& output) {
    const auto* surface = dynamic_cast<const SurfaceOutput*>(&output);
    return surface != nullptr ? &surface->shown() : nullptr;
}

}  // namespace platform
