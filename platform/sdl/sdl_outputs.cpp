// Direct3D 9 over SDL2: the object, the device with the real device's state model, and
// lockable textures. Every quad is checked against the cull mode and logged for the
// headless mode; where there is a renderer it goes on to the screen.
#include <d3d9.h>

#include <SDL2/SDL.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "com_object.h"
#include "compositor/compositor.h"
#include "device_state.h"
#include "present_limiter.h"
#include "common/frame_schedule.h"
#include "headless_control.h"
#include "frame_path.h"
#include "quad_renderer.h"
#include "window_surface.h"

namespace {
constexpr DWORD STAGE_COUNT = platform::DeviceStates::STAGE_COUNT;
constexpr std::int32_t GAME_FRAME_RATE = 60;

class Device;
class Texture;

// Every live texture and device, so that a device going away can take its renderer's copies
// of the textures with it, and a texture going away can leave every device's batch first.
Texture* first_texture = nullptr;
Device* first_device = nullptr;

// The compositor draws its quads in batches: a texture's pixels must not change or go while a
// quad that reads them waits.
void flush_compositors();

// The pixels in memory (device_state.h), and a copy in the renderer of the device that last drew with it.
class Texture final : public platform::MemoryTexture {
public:
    Texture(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage)
        : MemoryTexture(width, height, format, pool, usage) {
        next_ = first_texture;
        if (next_ != nullptr) next_->previous_ = this;
        first_texture = this;
    }
    ~Texture() override {
        if (previous_ != nullptr) previous_->next_ = next_;
        if (next_ != nullptr) next_->previous_ = previous_;
        if (first_texture == this) first_texture = next_;
    }

    ULONG Release() override;

    void before_write() override { flush_compositors(); }

    // The renderer's copy for `device`, made or refreshed from the pixels when needed.
    SDL_Texture* on_device(Device& device, SDL_Renderer* renderer);
    // The renderer of the device holding our copy is going away (and the copy with it).
    void forget_device(const Device& device) {
        if (device_ != &device) return;
        if (copy_ != nullptr) SDL_DestroyTexture(copy_);
        copy_ = nullptr;
        device_ = nullptr;
        dirty_ = true;
    }

    Texture* next() const { return next_; }

private:
    SDL_Texture* copy_ = nullptr;  // up to date unless dirty_
    Device* device_ = nullptr;
    Texture* previous_ = nullptr;
    Texture* next_ = nullptr;
};

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

class Direct3D;

class Device final : public platform::RefCounted<IDirect3DDevice9> {
public:
    Device(Direct3D& parent, HWND window, UINT width, UINT height, bool depth_buffer);
    ~Device() override;

    // Opens the renderer in the windowed modes. False when there is no usable one.
    bool open(bool paced);

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }

    HRESULT BeginScene() override {
        if (in_scene_) return D3DERR_INVALIDCALL;
        in_scene_ = true;
        platform::draw_log::scene_begun();
        return D3D_OK;
    }
    HRESULT EndScene() override {
        if (!in_scene_) return D3DERR_INVALIDCALL;
        in_scene_ = false;
        return D3D_OK;
    }
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND dest_window_override,
                    const RGNDATA* dirty_region) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        return states_.set_stage(stage, type, value);
    }
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        return states_.set_sampler(sampler, type, value);
    }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) override {
        if (stage >= STAGE_COUNT) return D3DERR_INVALIDCALL;
        Texture* ours = nullptr;
        if (texture != nullptr) {
            ours = dynamic_cast<Texture*>(texture);
            if (ours == nullptr) return D3DERR_INVALIDCALL;
            ours->AddRef();  // the device holds what is bound, as Direct3D does
        }
        if (textures_[stage] != nullptr) textures_[stage]->Release();
        textures_[stage] = ours;
        return D3D_OK;
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        return states_.set_render(state, value);
    }
    HRESULT SetFVF(DWORD fvf) override {
        states_.fvf = fvf;
        return D3D_OK;
    }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                            UINT stride) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture9** texture, HANDLE* shared_handle) override;

    HWND window() const { return window_; }
    Device* next() const { return next_; }
    // The window is going away: the renderer goes with it and the device is of no more use.
    void lose_window() {
        close_renderer();
        lost_ = true;
    }
    void flush_compositor() {
        if (compositor_ != nullptr) compositor_->flush();
    }
    void leave_batch(SDL_Texture* copy) {
        if (renderer_.holds(copy)) renderer_.flush();
    }

private:
    void close_renderer() {
        for (Texture* texture = first_texture; texture != nullptr; texture = texture->next())
            texture->forget_device(*this);
        renderer_.close();
        if (compositor_ != nullptr) compositor_->set_target(nullptr, 0);  // the window's surface goes
        surface_.close();
    }
    void pace_before_present();
    void pace_after_present();
    // Whether this scene's quads go into the compositor: always on the compositor path, except
    // in a headless run that asked for pictures on demand and wants none of this frame.
    bool composing() const {
        return compositor_ != nullptr && (!platform::draw_log::pictures_on_demand() || platform::draw_log::capture_wanted());
    }
    void capture();

    Device* previous_ = nullptr;
    Device* next_ = nullptr;
    Direct3D& parent_;
    HWND window_;
    UINT width_, height_;
    bool depth_buffer_;
    bool in_scene_ = false;
    bool lost_ = false;
    platform::DeviceStates states_;
    Texture* textures_[STAGE_COUNT] = {};

    platform::QuadRenderer renderer_;                   // the GPU path
    std::unique_ptr<platform::Compositor> compositor_;  // the compositor path
    platform::WindowSurface surface_;                   // where it shows in a window
    bool stale_ = false;  // quads skipped since the compositor's last full clear
    bool paced_ = false;
    FrameSchedule schedule_{platform::NANOSECONDS_PER_SECOND, GAME_FRAME_RATE};
    VsyncWatch vsync_watch_{platform::NANOSECONDS_PER_SECOND, GAME_FRAME_RATE, 60};
};

class Direct3D final : public platform::RefCounted<IDirect3D9> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;

private:
};

void flush_compositors() {
    for (Device* device = first_device; device != nullptr; device = device->next()) device->flush_compositor();
}

ULONG Texture::Release() {
    const ULONG left = --references_;
    if (left == 0) {
        flush_compositors();
        for (Device* device = first_device; device != nullptr && copy_ != nullptr; device = device->next())
            device->leave_batch(copy_);
        if (copy_ != nullptr) SDL_DestroyTexture(copy_);
        delete this;
    }
    return left;
}

SDL_Texture* Texture::on_device(Device& device, SDL_Renderer* renderer) {
    if (device_ != &device) {
        if (copy_ != nullptr) {
            device_->leave_batch(copy_);
            SDL_DestroyTexture(copy_);
        }
        const Uint32 format = format_ == D3DFMT_X8R8G8B8 ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_ARGB8888;
        copy_ = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STATIC, static_cast<int>(width_),
                                  static_cast<int>(height_));
        device_ = copy_ != nullptr ? &device : nullptr;
        dirty_ = true;
        if (copy_ == nullptr) return nullptr;
    }
    if (dirty_ && !locked_) {
        // Quads already queued with this texture show it as it was when they were drawn.
        device.leave_batch(copy_);
        SDL_UpdateTexture(copy_, nullptr, pixels_.data(), static_cast<int>(width_ * 4));
        dirty_ = false;
    }
    return copy_;
}

Device::Device(Direct3D& parent, HWND window, UINT width, UINT height, bool depth_buffer)
    : parent_(parent), window_(window), width_(width), height_(height), depth_buffer_(depth_buffer),
      states_(depth_buffer) {
    parent_.AddRef();
    next_ = first_device;
    if (next_ != nullptr) next_->previous_ = this;
    first_device = this;
    platform::draw_log::device_created();
}

Device::~Device() {
    close_renderer();
    for (Texture*& bound : textures_)
        if (bound != nullptr) {
            bound->Release();
            bound = nullptr;
        }
    if (previous_ != nullptr) previous_->next_ = next_;
    if (next_ != nullptr) next_->previous_ = previous_;
    if (first_device == this) first_device = next_;
    parent_.Release();
}

bool Device::open(bool paced) {
    const headless::Mode mode = headless::mode();
    if (mode == headless::Mode::record) return true;
    SDL_Window* window = platform::sdl_window_of(window_);
    if (mode == headless::Mode::render && platform::forced_presentation() != platform::Presentation::gpu) {
        // Headless pictures come from the compositor: exact on every machine, no GL needed.
        compositor_.reset(new (std::nothrow) platform::Compositor(static_cast<int>(width_), static_cast<int>(height_)));
        return compositor_ != nullptr;
    }
    if (window == nullptr) return false;
    paced_ = paced && mode == headless::Mode::off;
    if (mode == headless::Mode::off && platform::choose_presentation() == platform::Presentation::compositor) {
        compositor_.reset(new (std::nothrow) platform::Compositor(static_cast<int>(width_), static_cast<int>(height_)));
        if (compositor_ != nullptr && surface_.open(window, compositor_->frame())) return true;
        compositor_.reset();  // no surface of its own: the GPU path after all
    }
    // The game counts in frames, so it must see 60 of them a second: the display's retrace
    // gives that only at 60 Hz; anywhere else our own limiter does.
    bool vsync = false;
    if (paced_) {
        SDL_DisplayMode display{};
        const int index = SDL_GetWindowDisplayIndex(window);
        if (index >= 0 && SDL_GetCurrentDisplayMode(index, &display) == 0)
            vsync = display.refresh_rate > 0 &&
                    refresh_matches_frame_rate(static_cast<uint32_t>(display.refresh_rate), GAME_FRAME_RATE);
    }
    if (!renderer_.open(window, vsync, static_cast<int>(width_), static_cast<int>(height_),
                        mode == headless::Mode::render))
        return false;
    return true;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float, DWORD) {
    if (lost_ || (count > 0 && rects == nullptr)) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && !depth_buffer_) return D3DERR_INVALIDCALL;
    // Every vertex lies at depth 0, so the depth buffer never hides anything: painter's order
    // decides, and clearing it needs no work.
    if ((flags & D3DCLEAR_TARGET) == 0) return D3D_OK;
    if (compositor_ != nullptr) {
        if (count == 0) {
            compositor_->clear(color);  // costs nothing until something is drawn
            stale_ = false;
            // Nothing drawn before matters now: the frame can be drawn straight into the
            // window's surface, which then needs no copy to be shown.
            if (surface_.is_open()) {
                int pitch = 0;
                compositor_->set_target(surface_.drawable(static_cast<int>(width_), static_cast<int>(height_), &pitch),
                                        pitch);
            }
            return D3D_OK;
        }
        if (!composing()) {
            stale_ = true;
            return D3D_OK;
        }
        for (DWORD i = 0; i < count; ++i)
            compositor_->fill(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2, color);
        return D3D_OK;
    }
    if (renderer_.renderer() == nullptr) return D3D_OK;
    if (count == 0) {
        renderer_.clear(color);
        return D3D_OK;
    }
    for (DWORD i = 0; i < count; ++i) {
        const LONG left = rects[i].x1 > 0 ? rects[i].x1 : 0;
        const LONG top = rects[i].y1 > 0 ? rects[i].y1 : 0;
        const LONG right = rects[i].x2 < static_cast<LONG>(width_) ? rects[i].x2 : static_cast<LONG>(width_);
        const LONG bottom = rects[i].y2 < static_cast<LONG>(height_) ? rects[i].y2 : static_cast<LONG>(height_);
        if (left < right && top < bottom) renderer_.fill(SDL_Rect{left, top, right - left, bottom - top}, color);
    }
    return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
    // The layer draws what the game draws: quads as two-triangle strips of pre-transformed vertices.
    if (lost_ || !in_scene_ || !platform::is_game_quad(type, primitive_count, vertices, stride, states_.fvf))
        return D3DERR_INVALIDCALL;
    // Headless with nobody reading the log: the quad would go nowhere, so skip the work.
    const bool recording = platform::draw_log::recording();
    const bool composing = this->composing();
    if (compositor_ != nullptr && !composing) stale_ = true;
    if (!recording && renderer_.renderer() == nullptr && !composing) return D3D_OK;

    const platform::GameQuad quad = platform::read_game_quad(vertices, stride, states_.render[D3DRS_CULLMODE]);
    if (recording) platform::draw_log::record(platform::record_of(quad, textures_[0], states_));
    if (quad.culled()) return D3D_OK;
    if (composing) {
        platform::TextureView view;
        if (textures_[0] != nullptr) view = textures_[0]->view();
        const platform::DrawStates states = states_.draw_states(textures_[0] != nullptr ? &view : nullptr);
        compositor_->draw(quad.corners, states, !quad.first_culled, !quad.second_culled);
        return D3D_OK;
    }
    SDL_Renderer* renderer = renderer_.renderer();
    if (renderer == nullptr) return D3D_OK;
    platform::QuadLook look;
    look.texture = nullptr;
    if (textures_[0] != nullptr) {
        look.texture = textures_[0]->on_device(*this, renderer);
        if (look.texture == nullptr) return D3D_OK;  // the renderer could not hold it: nothing to show
    }
    look.blend = blend_mode(states_.render[D3DRS_ALPHABLENDENABLE] != 0, states_.render[D3DRS_SRCBLEND],
                            states_.render[D3DRS_DESTBLEND]);
    const DWORD magnify = states_.sampler[0][D3DSAMP_MAGFILTER];
    const DWORD minify = states_.sampler[0][D3DSAMP_MINFILTER];
    look.scale = magnify >= D3DTEXF_LINEAR || minify >= D3DTEXF_LINEAR ? SDL_ScaleModeLinear : SDL_ScaleModeNearest;
    renderer_.draw(look, quad.corners, !quad.first_culled, !quad.second_culled);
    return D3D_OK;
}

void Device::capture() {
    bool ok = false;
    const int width = static_cast<int>(width_), height = static_cast<int>(height_);
    if (compositor_ != nullptr) {
        // A picture whose quads were skipped would not be the device's: none rather than a wrong one.
        if (!stale_) {
            platform::capture_frame(compositor_->frame());
            ok = true;
        }
    } else if (renderer_.renderer() != nullptr) {
        std::uint32_t* pixels = platform::draw_log::capture_buffer(width, height);
        std::memset(pixels, 0, sizeof(std::uint32_t) * static_cast<std::size_t>(width) * height);
        ok = renderer_.read(pixels, width, height);
    }
    platform::draw_log::capture_done(ok);
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (lost_) return D3DERR_INVALIDCALL;
    if (platform::draw_log::capture_wanted()) capture();
    platform::draw_log::presented();
    pace_before_present();
    if (surface_.is_open())
        surface_.present(compositor_->frame());
    else
        renderer_.present();
    pace_after_present();
    return D3D_OK;
}

void Device::pace_before_present() {
    if (!paced_ || renderer_.vsync()) return;
    platform::wait_until(schedule_.next_deadline(platform::monotonic_nanoseconds()));
}

void Device::pace_after_present() {
    if (!paced_ || !renderer_.vsync()) return;
    // Some drivers accept vsync and then do not wait for the display; the limiter takes over.
    if (!vsync_watch_.presented(platform::monotonic_nanoseconds())) {
        renderer_.stop_vsync();
        schedule_.restart();
    }
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DTexture9** texture, HANDLE* shared_handle) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    const HRESULT allowed = platform::MemoryTexture::check_request(width, height, levels, format, shared_handle);
    if (FAILED(allowed)) return allowed;
    Texture* created = new (std::nothrow) Texture(width, height, format, pool, usage);
    if (created == nullptr) return E_OUTOFMEMORY;
    *texture = created;
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
    if (device == nullptr || parameters == nullptr) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (device_type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    HWND window = parameters->hDeviceWindow != nullptr ? parameters->hDeviceWindow : focus_window;
    if (!platform::is_live_window(window)) return D3DERR_INVALIDCALL;
    // A windowed back buffer of 32-bit colour, the only kind the game asks for.
    if (!parameters->Windowed) return D3DERR_NOTAVAILABLE;
    const D3DFORMAT format = parameters->BackBufferFormat;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_UNKNOWN)
        return D3DERR_NOTAVAILABLE;
    int width = static_cast<int>(parameters->BackBufferWidth);
    int height = static_cast<int>(parameters->BackBufferHeight);
    if (width == 0 || height == 0) platform::client_size(window, &width, &height);
    if (width <= 0 || height <= 0) return D3DERR_INVALIDCALL;
    parameters->BackBufferWidth = static_cast<UINT>(width);
    parameters->BackBufferHeight = static_cast<UINT>(height);
    if (format == D3DFMT_UNKNOWN) parameters->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (parameters->BackBufferCount == 0) parameters->BackBufferCount = 1;

    Device* created = new (std::nothrow) Device(*this, window, static_cast<UINT>(width), static_cast<UINT>(height),
                                                parameters->EnableAutoDepthStencil != 0);
    if (created == nullptr) return E_OUTOFMEMORY;
    if (!created->open(parameters->PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE)) {
        created->Release();
        return D3DERR_NOTAVAILABLE;
    }
    *device = created;
    return D3D_OK;
}

}  // namespace

namespace platform {

void window_destroying(HWND window) {
    for (Device* device = first_device; device != nullptr; device = device->next())
        if (device->window() == window) device->lose_window();
}

}  // namespace platform

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version) {
    if (sdk_version != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) Direct3D();
}
