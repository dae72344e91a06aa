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

#include "../src/com_object.h"
#include "../src/compositor.h"
#include "../src/layer.h"
#include "present.h"
#include "web.h"

namespace {

constexpr UINT MAX_TEXTURE_SIZE = 8192;
constexpr DWORD RENDER_STATE_COUNT = 256;
constexpr DWORD STAGE_COUNT = 8;
constexpr DWORD STAGE_STATE_COUNT = 33;
constexpr DWORD SAMPLER_COUNT = 16;
constexpr DWORD SAMPLER_STATE_COUNT = 14;
constexpr DWORD ZBUFFER_ON = 1;  // D3DZB_TRUE

class Texture;

// A mip level's surface shares its texture's reference count, as in Direct3D 9.
class Surface final : public IDirect3DSurface9 {
public:
    explicit Surface(Texture& owner) : owner_(owner) {}
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;

private:
    Texture& owner_;
};

class Texture final : public platform::RefCounted<IDirect3DTexture9> {
public:
    Texture(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage)
        : width_(width), height_(height), format_(format), pool_(pool), usage_(usage),
          pixels_(static_cast<std::size_t>(width) * height, 0u), level_(*this) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override {
        if (level != 0 || desc == nullptr) return D3DERR_INVALIDCALL;
        *desc = D3DSURFACE_DESC{};
        desc->Format = format_;
        desc->Type = D3DRTYPE_SURFACE;
        desc->Usage = usage_;
        desc->Pool = pool_;
        desc->MultiSampleType = D3DMULTISAMPLE_NONE;
        desc->Width = width_;
        desc->Height = height_;
        return D3D_OK;
    }
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override {
        if (surface == nullptr) return D3DERR_INVALIDCALL;
        *surface = nullptr;
        if (level != 0) return D3DERR_INVALIDCALL;
        AddRef();
        *surface = &level_;
        return D3D_OK;
    }
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD) override {
        if (level != 0 || locked == nullptr || locked_) return D3DERR_INVALIDCALL;
        RECT area{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
        if (rect != nullptr) {
            if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
                rect->right > area.right || rect->bottom > area.bottom)
                return D3DERR_INVALIDCALL;
            area = *rect;
        }
        locked->Pitch = static_cast<int>(width_ * 4);
        locked->pBits = pixels_.data() + static_cast<std::size_t>(area.top) * width_ + area.left;
        locked_ = true;
        return D3D_OK;
    }
    HRESULT UnlockRect(UINT level) override {
        if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
        locked_ = false;
        return D3D_OK;
    }

    // The pixels as the compositor reads them, at draw time.
    platform::TextureView view() const {
        platform::TextureView view;
        view.pixels = pixels_.data();
        view.width = static_cast<int>(width_);
        view.height = static_cast<int>(height_);
        view.pitch = static_cast<int>(width_);
        view.alpha = format_ != D3DFMT_X8R8G8B8;
        return view;
    }

private:
    UINT width_, height_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    DWORD usage_;
    std::vector<std::uint32_t> pixels_;  // level 0, 0xAARRGGBB rows
    bool locked_ = false;
    Surface level_;
};

HRESULT Surface::QueryInterface(REFIID riid, void** object) { return platform::answer_query(this, riid, object); }
ULONG Surface::AddRef() { return owner_.AddRef(); }
ULONG Surface::Release() { return owner_.Release(); }
HRESULT Surface::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    return owner_.LockRect(0, locked, rect, flags);
}
HRESULT Surface::UnlockRect() { return owner_.UnlockRect(0); }
HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) { return owner_.GetLevelDesc(0, desc); }

// Twice the signed area of a triangle; positive when it runs clockwise on the screen (y down).
float winding(const platform::QuadCorners& quad, int a, int b, int c) {
    return (quad.x[b] - quad.x[a]) * (quad.y[c] - quad.y[a]) - (quad.y[b] - quad.y[a]) * (quad.x[c] - quad.x[a]);
}

bool culled_by(float area, DWORD cull_mode) {
    if (area == 0.0f) return false;  // covers nothing: there is no winding to cull
    if (cull_mode == D3DCULL_CCW) return area < 0.0f;
    if (cull_mode == D3DCULL_CW) return area > 0.0f;
    return false;
}

class Direct3D final : public platform::RefCounted<IDirect3D9> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;
};

class Device;
Device* live_device = nullptr;  // the canvas shows one device's pictures

class Device final : public platform::RefCounted<IDirect3DDevice9> {
public:
    Device(Direct3D& parent, HWND window, UINT width, UINT height, bool depth_buffer)
        : parent_(parent), window_(window), width_(width), height_(height), depth_buffer_(depth_buffer) {
        parent_.AddRef();
        // Direct3D 9's initial states: the game relies on those it never sets.
        render_states_[D3DRS_ZENABLE] = depth_buffer ? ZBUFFER_ON : 0;
        render_states_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
        render_states_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
        render_states_[D3DRS_CULLMODE] = D3DCULL_CCW;
        render_states_[D3DRS_ALPHABLENDENABLE] = FALSE;
        render_states_[D3DRS_LIGHTING] = TRUE;
        for (DWORD stage = 0; stage < STAGE_COUNT; ++stage) {
            stage_states_[stage][D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
            stage_states_[stage][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
            stage_states_[stage][D3DTSS_COLORARG2] = D3DTA_CURRENT;
            stage_states_[stage][D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
            stage_states_[stage][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
            stage_states_[stage][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        }
        for (DWORD sampler = 0; sampler < SAMPLER_COUNT; ++sampler) {
            sampler_states_[sampler][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
            sampler_states_[sampler][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
            sampler_states_[sampler][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
            sampler_states_[sampler][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
            sampler_states_[sampler][D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
        }
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
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        if (stage >= STAGE_COUNT || static_cast<DWORD>(type) >= STAGE_STATE_COUNT) return D3DERR_INVALIDCALL;
        stage_states_[stage][type] = value;
        return D3D_OK;
    }
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) override {
        if (sampler >= SAMPLER_COUNT || static_cast<DWORD>(type) >= SAMPLER_STATE_COUNT) return D3DERR_INVALIDCALL;
        sampler_states_[sampler][type] = value;
        return D3D_OK;
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
        if (static_cast<DWORD>(state) >= RENDER_STATE_COUNT) return D3DERR_INVALIDCALL;
        render_states_[state] = value;
        return D3D_OK;
    }
    HRESULT SetFVF(DWORD fvf) override {
        fvf_ = fvf;
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
        parent_.Release();
    }

    Direct3D& parent_;
    HWND window_;
    UINT width_, height_;
    bool depth_buffer_;
    bool in_scene_ = false;
    bool lost_ = false;
    DWORD render_states_[RENDER_STATE_COUNT] = {};
    DWORD stage_states_[STAGE_COUNT][STAGE_STATE_COUNT] = {};
    DWORD sampler_states_[SAMPLER_COUNT][SAMPLER_STATE_COUNT] = {};
    Texture* textures_[STAGE_COUNT] = {};
    DWORD fvf_ = 0;
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

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
    // The layer draws what the game draws: quads as two-triangle strips of pre-transformed vertices.
    constexpr UINT VERTEX_SIZE = 28;
    constexpr DWORD QUAD_FORMAT = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    if (lost_ || !in_scene_ || vertices == nullptr || type != D3DPT_TRIANGLESTRIP || primitive_count != 2 ||
        stride != VERTEX_SIZE || fvf_ != QUAD_FORMAT)
        return D3DERR_INVALIDCALL;
    const bool recording = platform::draw_log::recording();
    const bool composing = this->composing();
    if (compositor_ != nullptr && !composing) stale_ = true;
    if (!recording && !composing) return D3D_OK;

    platform::QuadCorners quad;
    const unsigned char* bytes = static_cast<const unsigned char*>(vertices);
    for (int i = 0; i < 4; ++i, bytes += stride) {
        std::memcpy(&quad.x[i], bytes + 0, 4);
        std::memcpy(&quad.y[i], bytes + 4, 4);
        std::memcpy(&quad.colour[i], bytes + 16, 4);
        std::memcpy(&quad.u[i], bytes + 20, 4);
        std::memcpy(&quad.v[i], bytes + 24, 4);
    }
    const DWORD cull_mode = render_states_[D3DRS_CULLMODE];
    const bool first_culled = culled_by(winding(quad, 0, 1, 2), cull_mode);
    const bool second_culled = culled_by(winding(quad, 1, 3, 2), cull_mode);
    const bool culled = first_culled && second_culled;
    const bool blend = render_states_[D3DRS_ALPHABLENDENABLE] != 0;
    const DWORD source = render_states_[D3DRS_SRCBLEND];
    const DWORD destination = render_states_[D3DRS_DESTBLEND];
    if (recording) {
        headless::QuadRecord record;
        record.texture = textures_[0];
        for (int i = 0; i < 4; ++i) {
            record.x[i] = quad.x[i];
            record.y[i] = quad.y[i];
            record.u[i] = quad.u[i];
            record.v[i] = quad.v[i];
        }
        record.color = quad.colour[0];
        record.blend = blend;
        record.src_blend = source;
        record.dest_blend = destination;
        record.cull_mode = cull_mode;
        record.culled = culled;
        platform::draw_log::record(record);
    }
    if (culled || !composing) return D3D_OK;

    platform::TextureView view;
    platform::DrawStates states;
    if (textures_[0] != nullptr) {
        view = textures_[0]->view();
        states.texture = &view;
    }
    states.blend = blend;
    states.source_blend = source;
    states.destination_blend = destination;
    states.colour_op = stage_states_[0][D3DTSS_COLOROP];
    states.colour_arg1 = stage_states_[0][D3DTSS_COLORARG1];
    states.colour_arg2 = stage_states_[0][D3DTSS_COLORARG2];
    states.alpha_op = stage_states_[0][D3DTSS_ALPHAOP];
    states.alpha_arg1 = stage_states_[0][D3DTSS_ALPHAARG1];
    states.alpha_arg2 = stage_states_[0][D3DTSS_ALPHAARG2];
    states.address_u = sampler_states_[0][D3DSAMP_ADDRESSU];
    states.address_v = sampler_states_[0][D3DSAMP_ADDRESSV];
    compositor_->draw(quad, states, !first_culled, !second_culled);
    return D3D_OK;
}

void Device::capture() {
    bool ok = false;
    // A picture whose quads were skipped would not be the device's: none rather than a wrong one.
    if (compositor_ != nullptr && !stale_) {
        const platform::FrameView frame = compositor_->frame();
        const int width = static_cast<int>(width_), height = static_cast<int>(height_);
        std::uint32_t* pixels = platform::draw_log::capture_buffer(width, height);
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels + static_cast<std::size_t>(y) * width,
                        reinterpret_cast<const unsigned char*>(frame.pixels) + static_cast<std::size_t>(y) * frame.pitch,
                        sizeof(std::uint32_t) * static_cast<std::size_t>(width));
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
    if (shared_handle != nullptr || width == 0 || height == 0 || width > MAX_TEXTURE_SIZE ||
        height > MAX_TEXTURE_SIZE)
        return D3DERR_INVALIDCALL;
    // One level of 32-bit colour is all the game's images need.
    if (levels > 1 || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8)) return D3DERR_NOTAVAILABLE;
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
    if (width == 0 || height == 0 || width > MAX_TEXTURE_SIZE || height > MAX_TEXTURE_SIZE)
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
