// Direct3D 9 in the browser: the object, the device with the real device's state model, and
// lockable textures. The device draws with our own compositor (compositor.h) into an
// 800 x 600 picture in memory and shows it on the canvas at each Present, which is also where
// the game yields to the page once a frame.
#include <d3d9.h>

#include <emscripten.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <headless.h>

#include "com_object.h"
#include "compositor/compositor.h"
#include "device_state.h"
#include "headless_control.h"
#include "canvas_output.h"
#include "web.h"

namespace {

constexpr DWORD STAGE_COUNT = platform::DeviceStates::STAGE_COUNT;

// The pixels in memory are all there is of a texture here: the compositor reads them.
class Texture final : public platform::MemoryTexture {
public:
    using MemoryTexture::MemoryTexture;

private:
    void before_write() override;
};

class Direct3D final : public platform::RefCounted<IDirect3D9> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;
};

class Device;
Device* live_device = nullptr;     // the canvas shows one device's pictures
Device* drawing_device = nullptr;  // the last device made with a compositor

class Device final : public platform::RefCounted<IDirect3DDevice9> {
public:
    Device(Direct3D& parent, HWND window, UINT width, UINT height, bool depth_buffer)
        : parent_(parent), window_(window), width_(width), height_(height), depth_buffer_(depth_buffer),
          states_(depth_buffer) {
        parent_.AddRef();
        platform::draw_log::device_created();
    }

    // The canvas in the game's own mode; the compositor alone for headless pictures; nothing
    // to draw into when only the quads are recorded.
    bool open() {
        const headless::Mode mode = headless::mode();
        if (mode == headless::Mode::record) return true;
        if (mode == headless::Mode::off && live_device != nullptr) return false;
        compositor_.reset(new (std::nothrow) platform::Compositor(static_cast<int>(width_), static_cast<int>(height_)));
        if (compositor_ == nullptr) return false;
        drawing_device = this;
        if (mode == headless::Mode::render) return true;
        if (!presenter_.open(static_cast<int>(width_), static_cast<int>(height_))) return false;
        live_device = this;
        return true;
    }

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
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float, DWORD) override {
        if (lost_ || (count > 0 && rects == nullptr)) return D3DERR_INVALIDCALL;
        if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && !depth_buffer_) return D3DERR_INVALIDCALL;
        // Every vertex lies at depth 0, so the depth buffer never hides anything: painter's
        // order decides, and clearing it needs no work.
        if ((flags & D3DCLEAR_TARGET) == 0 || compositor_ == nullptr) return D3D_OK;
        if (count == 0) {
            compositor_->clear(color);  // costs nothing until something is drawn
            stale_ = false;
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
    HRESULT Present(const RECT*, const RECT*, HWND, const RGNDATA*) override;
    // Draws the quads that wait on a texture's pixels before they change.
    void flush_compositor() {
        if (compositor_ != nullptr) compositor_->flush();
    }
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
    void lose_window() { lost_ = true; }

private:
    ~Device() override {
        for (Texture*& bound : textures_)
            if (bound != nullptr) {
                bound->Release();
                bound = nullptr;
            }
        if (live_device == this) live_device = nullptr;
        if (drawing_device == this) drawing_device = nullptr;
        parent_.Release();
    }

    Direct3D& parent_;
    HWND window_;
    UINT width_, height_;
    bool depth_buffer_;
    bool in_scene_ = false;
    bool lost_ = false;
    platform::DeviceStates states_;
    Texture* textures_[STAGE_COUNT] = {};
    std::unique_ptr<platform::Compositor> compositor_;  // null when only quads are recorded
    bool stale_ = false;  // quads skipped since the compositor's last full clear
    web::CanvasPresenter presenter_;

    // Whether this scene's quads go into the compositor: always on the page, and for headless
    // pictures unless the run asked for pictures on demand and wants none of this frame.
    bool composing() const {
        return compositor_ != nullptr &&
               (!platform::draw_log::pictures_on_demand() || platform::draw_log::capture_wanted());
    }
    void capture();
};

void Texture::before_write() {
    if (drawing_device != nullptr) drawing_device->flush_compositor();
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
    // The layer draws what the game draws: quads as two-triangle strips of pre-transformed vertices.
    if (lost_ || !in_scene_ || !platform::is_game_quad(type, primitive_count, vertices, stride, states_.fvf))
        return D3DERR_INVALIDCALL;
    const bool recording = platform::draw_log::recording();
    const bool composing = this->composing();
    if (compositor_ != nullptr && !composing) stale_ = true;
    if (!recording && !composing) return D3D_OK;

    const platform::GameQuad quad = platform::read_game_quad(vertices, stride, states_.render[D3DRS_CULLMODE]);
    if (recording) platform::draw_log::record(platform::record_of(quad, textures_[0], states_));
    if (quad.culled() || !composing) return D3D_OK;
    platform::TextureView view;
    if (textures_[0] != nullptr) view = textures_[0]->view();
    const platform::DrawStates states = states_.draw_states(textures_[0] != nullptr ? &view : nullptr);
    compositor_->draw(quad.corners, states, !quad.first_culled, !quad.second_culled);
    return D3D_OK;
}

void Device::capture() {
    bool ok = false;
    // A picture whose quads were skipped would not be the device's: none rather than a wrong one.
    if (compositor_ != nullptr && !stale_) {
        platform::capture_frame(compositor_->frame());
        ok = true;
    }
    platform::draw_log::capture_done(ok);
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (lost_) return D3DERR_INVALIDCALL;
    if (platform::draw_log::capture_wanted()) capture();
    platform::draw_log::presented();
    if (live_device == this) {
        presenter_.show(compositor_->frame());
        web::frame_presented();
        EM_ASM({ if (Module.framePresented) Module.framePresented(); });
        presenter_.wait_for_next_frame();
    }
    return D3D_OK;
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
    if (!web::is_live_window(window)) return D3DERR_INVALIDCALL;
    if (!parameters->Windowed) return D3DERR_NOTAVAILABLE;
    const D3DFORMAT format = parameters->BackBufferFormat;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_UNKNOWN)
        return D3DERR_NOTAVAILABLE;
    // The canvas has no size of its own to fall back on: the game always names one.
    const UINT width = parameters->BackBufferWidth, height = parameters->BackBufferHeight;
    if (width == 0 || height == 0 || width > platform::MAX_TEXTURE_SIZE || height > platform::MAX_TEXTURE_SIZE)
        return D3DERR_INVALIDCALL;
    if (format == D3DFMT_UNKNOWN) parameters->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (parameters->BackBufferCount == 0) parameters->BackBufferCount = 1;

    Device* created =
        new (std::nothrow) Device(*this, window, width, height, parameters->EnableAutoDepthStencil != 0);
    if (created == nullptr) return E_OUTOFMEMORY;
    if (!created->open()) {
        created->Release();
        web::show_message("This browser cannot draw on the page's canvas, so the game cannot show.");
        return D3DERR_NOTAVAILABLE;
    }
    *device = created;
    return D3D_OK;
}

}  // namespace

namespace platform {

void window_destroying(HWND window) {
    if (live_device != nullptr && live_device->window() == window) live_device->lose_window();
}

}  // namespace platform

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version) {
    if (sdk_version != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) Direct3D();
}
