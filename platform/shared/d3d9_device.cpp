// Direct3D 9, written once for every backend: the object, the device with the real device's
// state model and checks, and lockable textures in memory (device_state.h). Every quad is
// checked against the cull mode and logged for the headless modes, then drawn by the shared
// compositor or handed to the output that draws its own (frame_output.h). Each backend gives
// the device its output through the window's system (window_system.h); in the headless record
// mode there is none, and nothing is drawn at all.
//
// A replay being watched may ask for a frame to be made unseen (fast play, a jump): its quads are
// neither drawn nor shown. Its playback overlay, and the sound's level after a volume key, are laid
// over the frame here, each as one quad of the layer's own after the game's (never among them,
// nor in the log), before the frame is shown or its picture kept.
#include <d3d9.h>

#include <cstring>
#include <memory>
#include <new>

#include "com_object.h"
#include "overlays/volume_display.h"
#include "replays/replay_session.h"
#include "device_state.h"
#include "frame_output.h"
#include "headless_control.h"
#include "window_system.h"

namespace {

constexpr DWORD STAGE_COUNT = platform::DeviceStates::STAGE_COUNT;

class Device;
// Every live device, so that a texture about to change or go can have each of them let go of it.
Device* first_device = nullptr;

void flush_compositors();
void forget_everywhere(const platform::MemoryTexture& texture);

// The pixels in memory are all there is of a texture: the compositor reads them, and an output
// that draws its own keeps what copies it needs.
class Texture final : public platform::MemoryTexture {
public:
    using MemoryTexture::MemoryTexture;

    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            flush_compositors();
            forget_everywhere(*this);
            delete this;
        }
        return left;
    }

private:
    // The compositor draws its quads in batches: a texture's pixels must not change while a
    // quad that reads them waits.
    void before_write() override { flush_compositors(); }
};

class Direct3D final : public platform::RefCounted<IDirect3D9> {
public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object);
    }
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override;
};

class Device final : public platform::RefCounted<IDirect3DDevice9> {
public:
    Device(Direct3D& parent, HWND window, UINT width, UINT height, bool depth_buffer);
    ~Device() override;

    // Asks the window's system for the output. False when there can be none.
    bool open(bool paced) {
        platform::WindowSystem* system = platform::window_system_of(window_);
        if (system == nullptr || !system->open_output(static_cast<int>(width_), static_cast<int>(height_), paced, output_))
            return false;
        compositor_ = output_ != nullptr ? output_->compositor() : nullptr;
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
    // The window is going away: the output goes with it and the device is of no more use.
    void lose_window() {
        compositor_ = nullptr;
        output_.reset();
        lost_ = true;
    }
    // A texture's pixels are about to change or go: the quads waiting for them are drawn, and
    // the frame the compositor last showed may no longer be what its calls draw.
    void flush_compositor() {
        if (compositor_ == nullptr) return;
        compositor_->flush();
        compositor_->forget_shown();
    }
    void forget(const platform::MemoryTexture& texture) {
        if (output_ != nullptr) output_->forget(texture);
    }

private:
    // Whether this scene's quads go into the compositor: always where it draws the output's
    // frames, except in a headless run that asked for pictures on demand and wants none of this one.
    bool composing() const {
        return compositor_ != nullptr && !replays::frame_hidden() &&
               (!platform::draw_log::pictures_on_demand() || platform::draw_log::capture_wanted());
    }
    // A picture of the layer's own over the frame, and the texture it is kept in between frames.
    struct Overlay {
        Texture* texture = nullptr;
        std::uint64_t version = 0;
    };
    void draw_overlays();
    void lay_over(const replays::OverlayPicture& picture, Overlay& overlay);
    void clear_whole(D3DCOLOR color);
    void fill(const D3DRECT& rect, D3DCOLOR color);
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
    std::unique_ptr<platform::FrameOutput> output_;  // null where only the quads are logged
    platform::Compositor* compositor_ = nullptr;     // the output's, where it has one
    bool stale_ = false;  // quads skipped since the compositor's last full clear
    // The playback overlay and the volume display, and the states they are laid over with.
    Overlay playback_overlay_, volume_overlay_;
    platform::DeviceStates overlay_states_{false};
};

void flush_compositors() {
    for (Device* device = first_device; device != nullptr; device = device->next()) device->flush_compositor();
}

void forget_everywhere(const platform::MemoryTexture& texture) {
    for (Device* device = first_device; device != nullptr; device = device->next()) device->forget(texture);
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
    for (Overlay* overlay : {&playback_overlay_, &volume_overlay_})
        if (overlay->texture != nullptr) overlay->texture->Release();
    for (Texture*& bound : textures_)
        if (bound != nullptr) {
            bound->Release();
            bound = nullptr;
        }
    output_.reset();
    if (previous_ != nullptr) previous_->next_ = next_;
    if (next_ != nullptr) next_->previous_ = previous_;
    if (first_device == this) first_device = next_;
    parent_.Release();
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float, DWORD) {
    if (lost_ || (count > 0 && rects == nullptr)) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0 && !depth_buffer_) return D3DERR_INVALIDCALL;
    // Every vertex lies at depth 0, so the depth buffer never hides anything: painter's order
    // decides, and clearing it needs no work.
    if ((flags & D3DCLEAR_TARGET) == 0 || output_ == nullptr) return D3D_OK;
    if (count == 0) {
        clear_whole(color);
        return D3D_OK;
    }
    if (compositor_ != nullptr && !composing()) {
        stale_ = true;
        return D3D_OK;
    }
    for (DWORD i = 0; i < count; ++i) fill(rects[i], color);
    return D3D_OK;
}

void Device::clear_whole(D3DCOLOR color) {
    if (compositor_ == nullptr) {
        output_->clear(color);
        return;
    }
    compositor_->clear(color);  // costs nothing until something is drawn
    stale_ = false;
    output_->frame_cleared();
}

void Device::fill(const D3DRECT& rect, D3DCOLOR color) {
    if (compositor_ != nullptr) {
        compositor_->fill(rect.x1, rect.y1, rect.x2, rect.y2, color);
        return;
    }
    const LONG left = rect.x1 > 0 ? rect.x1 : 0;
    const LONG top = rect.y1 > 0 ? rect.y1 : 0;
    const LONG right = rect.x2 < static_cast<LONG>(width_) ? rect.x2 : static_cast<LONG>(width_);
    const LONG bottom = rect.y2 < static_cast<LONG>(height_) ? rect.y2 : static_cast<LONG>(height_);
    if (left < right && top < bottom) output_->fill(left, top, right, bottom, color);
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
    // The layer draws what the game draws: quads as two-triangle strips of pre-transformed vertices.
    if (lost_ || !in_scene_ || !platform::is_game_quad(type, primitive_count, vertices, stride, states_.fvf))
        return D3DERR_INVALIDCALL;
    // Headless with nobody reading the log: the quad would go nowhere, so skip the work.
    const bool recording = platform::draw_log::recording();
    const bool composing = this->composing();
    const bool drawing = compositor_ != nullptr ? composing : output_ != nullptr && !replays::frame_hidden();
    if (compositor_ != nullptr && !composing) stale_ = true;
    if (!recording && !drawing) return D3D_OK;

    const platform::GameQuad quad = platform::read_game_quad(vertices, stride, states_.render[D3DRS_CULLMODE]);
    if (recording) platform::draw_log::record(platform::record_of(quad, textures_[0], states_));
    if (quad.culled() || !drawing) return D3D_OK;
    if (compositor_ == nullptr) {
        output_->draw(quad, textures_[0], states_);
        return D3D_OK;
    }
    platform::TextureView view;
    if (textures_[0] != nullptr) view = textures_[0]->view();
    const platform::DrawStates states = states_.draw_states(textures_[0] != nullptr ? &view : nullptr);
    compositor_->draw(quad.corners, states, !quad.first_culled, !quad.second_culled);
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
    } else if (output_ != nullptr) {
        std::uint32_t* pixels = platform::draw_log::capture_buffer(width, height);
        std::memset(pixels, 0, sizeof(std::uint32_t) * static_cast<std::size_t>(width) * height);
        ok = output_->read(pixels, width, height);
    }
    platform::draw_log::capture_done(ok);
}

void Device::draw_overlays() {
    if (output_ == nullptr) return;
    replays::OverlayPicture picture;
    if (replays::playback_overlay(picture)) lay_over(picture, playback_overlay_);
    overlays::VolumeDisplay& volume = overlays::volume_display();
    if (volume.visible()) {
        lay_over({volume.pixels(), overlays::VolumeDisplay::WIDTH, overlays::VolumeDisplay::HEIGHT,
                  overlays::VolumeDisplay::LEFT, overlays::VolumeDisplay::TOP, volume.version()},
                 volume_overlay_);
        volume.frame_shown();
    }
}

void Device::lay_over(const replays::OverlayPicture& picture, Overlay& overlay) {
    if (overlay.texture == nullptr) {
        overlay.texture = new (std::nothrow) Texture(static_cast<UINT>(picture.width), static_cast<UINT>(picture.height),
                                                     D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0);
        if (overlay.texture == nullptr) return;
        overlay_states_.set_render(D3DRS_ALPHABLENDENABLE, TRUE);
        overlay_states_.set_render(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        overlay_states_.set_render(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        overlay_states_.set_render(D3DRS_CULLMODE, D3DCULL_NONE);
    }
    if (overlay.version != picture.version) {
        D3DLOCKED_RECT locked{};
        if (FAILED(overlay.texture->LockRect(0, &locked, nullptr, 0))) return;
        for (int row = 0; row < picture.height; ++row)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(row) * locked.Pitch,
                        picture.pixels + static_cast<std::size_t>(row) * picture.width, 4u * picture.width);
        overlay.texture->UnlockRect(0);
        overlay.version = picture.version;
    }
    platform::GameQuad quad{};
    const float left = static_cast<float>(picture.left), top = static_cast<float>(picture.top);
    const float right = left + picture.width, bottom = top + picture.height;
    quad.corners = {{left, right, left, right}, {top, top, bottom, bottom}, {0, 1, 0, 1}, {0, 0, 1, 1},
                    {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}};
    if (compositor_ == nullptr) {
        output_->draw(quad, overlay.texture, overlay_states_);
        return;
    }
    const platform::TextureView view = overlay.texture->view();
    compositor_->draw(quad.corners, overlay_states_.draw_states(&view), true, true);
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*) {
    if (lost_) return D3DERR_INVALIDCALL;
    // An unseen frame is not shown, nor waited for. A kept picture is the one shown, overlays and all.
    const bool shown = output_ != nullptr && !replays::frame_hidden();
    if (shown) draw_overlays();
    if (platform::draw_log::capture_wanted()) capture();
    platform::draw_log::presented();
    if (shown) output_->show();
    platform::frame_shown();
    replays::frame_presented();
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

// A windowed back buffer of 32-bit colour, the only kind the game asks for; a size of 0 takes
// the window's. False for anything else.
bool check_back_buffer(HWND window, D3DPRESENT_PARAMETERS& parameters, HRESULT& refusal) {
    refusal = D3DERR_NOTAVAILABLE;
    if (!parameters.Windowed) return false;
    const D3DFORMAT format = parameters.BackBufferFormat;
    if (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8 && format != D3DFMT_UNKNOWN) return false;
    int width = static_cast<int>(parameters.BackBufferWidth);
    int height = static_cast<int>(parameters.BackBufferHeight);
    if (width == 0 || height == 0) platform::client_size(window, &width, &height);
    refusal = D3DERR_INVALIDCALL;
    if (width <= 0 || height <= 0 || width > static_cast<int>(platform::MAX_TEXTURE_SIZE) ||
        height > static_cast<int>(platform::MAX_TEXTURE_SIZE))
        return false;
    parameters.BackBufferWidth = static_cast<UINT>(width);
    parameters.BackBufferHeight = static_cast<UINT>(height);
    if (format == D3DFMT_UNKNOWN) parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    if (parameters.BackBufferCount == 0) parameters.BackBufferCount = 1;
    return true;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD,
                               D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) {
    if (device == nullptr || parameters == nullptr) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (device_type != D3DDEVTYPE_HAL) return D3DERR_NOTAVAILABLE;
    HWND window = parameters->hDeviceWindow != nullptr ? parameters->hDeviceWindow : focus_window;
    if (!platform::is_live_window(window)) return D3DERR_INVALIDCALL;
    HRESULT refusal = D3D_OK;
    if (!check_back_buffer(window, *parameters, refusal)) return refusal;

    Device* created = new (std::nothrow) Device(*this, window, parameters->BackBufferWidth,
                                                parameters->BackBufferHeight, parameters->EnableAutoDepthStencil != 0);
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
