// Windows only, linked into the exe alone: the picture on the screen scaled as the Linux build
// scales it, whatever the driver's own stretch would do. The exe is linked with
// --wrap=Direct3DCreate9, so the game's call comes here first; the device it gets back is the
// real one behind a wrapper (d3d9_wrapper.h) that passes every call through but Present. The game
// still draws into its own back buffer at the picture's size; at Present the wrapper copies that
// into a swap chain of its own at the window's client size, as plan_scale decides for the filter
// in force (the Linux build's rule, platform/shared/picture_scaler.h):
// - 1:1 and whole factors: nearest (each pixel repeated exactly);
// - any other size with `sharp`: nearest to the smallest whole factor that covers the target,
//   then linear down to it, so only the edges between pixels are blended;
// - any other size with `smooth` (and `whole` in a window smaller than the picture): linear;
// and clears the bars round it black. Both copies are StretchRects, done by the GPU.
// Where the device cannot do this (no second swap chain), the wrapper says so on one line and
// presents as the game asked, and the display module narrows the client area to the picture.
// ZORVALEN_NO_EXTRA_SWAP_CHAIN=1 in the environment makes that happen on any device, so that the
// way round can be tried where every device has the swap chain.
//
// Watching a replay, the same wrapper is the viewer's display (a full-screen device gets it for
// this alone): a frame the replay hides (fast play, a jump's way to its frame) is neither drawn
// nor presented, and the overlays are copied onto the game's picture before it is scaled.
#ifdef _WIN32

#include <windows.h>

#include <d3d9.h>

#include <cstdio>
#include <cstdlib>

#include "common/picture_fit.h"
#include "d3d9_wrapper.h"
#include "exe_options.h"
#include "overlay_surfaces.h"
#include "picture_scaler.h"
#include "replays/replay_session.h"
#include "settings/settings.h"

extern "C" IDirect3D9* WINAPI __real_Direct3DCreate9(UINT version);

namespace {

template <typename Interface>
void release(Interface*& object) {
    if (object != nullptr) object->Release();
    object = nullptr;
}

bool is_swap_chain_refused() {
    static const bool refused = [] {
        const char* value = std::getenv("ZORVALEN_NO_EXTRA_SWAP_CHAIN");
        return value != nullptr && *value != '\0' && *value != '0';
    }();
    return refused;
}

platform::ScaleFilter find_scale_filter() {
    switch (settings::read_settings_in_force().display.filter) {
    case settings::ScaleFilter::whole: return platform::ScaleFilter::whole;
    case settings::ScaleFilter::smooth: return platform::ScaleFilter::linear;
    case settings::ScaleFilter::sharp: break;
    }
    return platform::ScaleFilter::sharp;
}

class ScalingDevice final : public Direct3DDeviceWrapper<ScalingDevice> {
public:
    // `scaling`: false for a full-screen device, which shows its back buffer as it is.
    ScalingDevice(IDirect3DDevice9* inner, const D3DPRESENT_PARAMETERS& game, HWND window, bool scaling)
        : Direct3DDeviceWrapper(inner), game_(game), window_(window), stopped_(!scaling) {}
    ~ScalingDevice() { release_screen(); }

    // A hidden frame's quads would go nowhere: the GPU is spared them. Its states still pass.
    HRESULT STDMETHODCALLTYPE Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                    DWORD stencil) override {
        if (replays::frame_hidden()) return D3D_OK;
        return inner_->Clear(count, rects, flags, color, z, stencil);
    }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data,
                                              UINT stride) override {
        if (replays::frame_hidden()) return D3D_OK;
        return inner_->DrawPrimitiveUP(type, count, data, stride);
    }

    HRESULT STDMETHODCALLTYPE Present(const RECT* source, const RECT* destination, HWND window,
                                      const RGNDATA* dirty) override {
        if (replays::frame_hidden()) return D3D_OK;
        overlays_.lay_over(inner_, game_.BackBufferFormat);
        if (stopped_ || source != nullptr || destination != nullptr || window != nullptr || dirty != nullptr)
            return inner_->Present(source, destination, window, dirty);
        RECT client{};
        if (!GetClientRect(window_, &client)) return inner_->Present(source, destination, window, dirty);
        const int width = client.right - client.left;
        const int height = client.bottom - client.top;
        if (width <= 0 || height <= 0) return D3D_OK;  // minimised: nothing to show
        const platform::ScaleFilter filter = find_scale_filter();
        if ((screen_ == nullptr || width != screen_width_ || height != screen_height_ || filter != plan_.filter) &&
            !prepare(width, height, filter)) {
            stop("no swap chain of the window's size");
            return inner_->Present(source, destination, window, dirty);
        }
        if (!draw_screen()) {
            stop("the picture could not be copied to the screen");
            return inner_->Present(source, destination, window, dirty);
        }
        return screen_->Present(nullptr, nullptr, nullptr, nullptr, 0);
    }

    // Everything made in the default pool goes before a reset; the next Present makes it again.
    HRESULT STDMETHODCALLTYPE Reset(D3DPRESENT_PARAMETERS* parameters) override {
        release_screen();
        overlays_.release();
        const HRESULT result = inner_->Reset(parameters);
        if (SUCCEEDED(result) && parameters != nullptr) game_ = *parameters;
        return result;
    }

private:
    // The swap chain at the client's size, and the prescaled picture where sharp needs one.
    bool prepare(int width, int height, platform::ScaleFilter filter) {
        release_screen();
        const int picture_width = static_cast<int>(game_.BackBufferWidth);
        const int picture_height = static_cast<int>(game_.BackBufferHeight);
        plan_ = platform::plan_scale(picture_width, picture_height, width, height, filter);
        D3DPRESENT_PARAMETERS screen = game_;
        screen.BackBufferWidth = static_cast<UINT>(width);
        screen.BackBufferHeight = static_cast<UINT>(height);
        screen.BackBufferCount = 1;
        screen.hDeviceWindow = window_;
        screen.EnableAutoDepthStencil = FALSE;
        screen.Flags = 0;
        if (is_swap_chain_refused() || FAILED(inner_->CreateAdditionalSwapChain(&screen, &screen_)) ||
            FAILED(screen_->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &screen_buffer_))) {
            release_screen();
            return false;
        }
        screen_width_ = width;
        screen_height_ = height;
        if (plan_.way == platform::ScaleWay::filtered && filter == platform::ScaleFilter::sharp) {
            const int prescale = sharp_prescale(picture_width, picture_height, plan_.fit.target);
            if (prescale > 1 &&
                FAILED(inner_->CreateRenderTarget(static_cast<UINT>(picture_width * prescale),
                                                  static_cast<UINT>(picture_height * prescale),
                                                  game_.BackBufferFormat, D3DMULTISAMPLE_NONE, 0, FALSE,
                                                  &prescaled_, nullptr))) {
                // Larger than the card takes: linear all the way, one line to say so.
                std::fprintf(stderr, "zorvalen: no %d x %d surface for sharp scaling: the picture is scaled linearly\n",
                             picture_width * prescale, picture_height * prescale);
                prescaled_ = nullptr;
            }
        }
        const PixelRect& target = plan_.fit.target;
        target_ = RECT{target.x, target.y, target.x + target.width, target.y + target.height};
        PixelRect bars[4];
        bar_count_ = bars_around(target, width, height, bars);
        bars_unfilled_ = true;
        for (int i = 0; i < bar_count_; ++i)
            bars_[i] = RECT{bars[i].x, bars[i].y, bars[i].x + bars[i].width, bars[i].y + bars[i].height};
        return true;
    }

    bool draw_screen() {
        if (plan_.fit.target.width <= 0 || plan_.fit.target.height <= 0) return true;
        IDirect3DSurface9* picture = nullptr;
        if (FAILED(inner_->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &picture))) return false;
        HRESULT result;
        if (plan_.way != platform::ScaleWay::filtered) {
            result = inner_->StretchRect(picture, nullptr, screen_buffer_, &target_, D3DTEXF_POINT);
        } else if (prescaled_ != nullptr) {
            result = inner_->StretchRect(picture, nullptr, prescaled_, nullptr, D3DTEXF_POINT);
            if (SUCCEEDED(result))
                result = inner_->StretchRect(prescaled_, nullptr, screen_buffer_, &target_, D3DTEXF_LINEAR);
        } else {
            result = inner_->StretchRect(picture, nullptr, screen_buffer_, &target_, D3DTEXF_LINEAR);
        }
        picture->Release();
        // A copying swap chain keeps its back buffer's pixels over a Present, so the bars are
        // filled once; any other kind leaves them undefined, and they are filled every frame.
        if (bars_unfilled_) {
            for (int i = 0; SUCCEEDED(result) && i < bar_count_; ++i)
                result = inner_->ColorFill(screen_buffer_, &bars_[i], D3DCOLOR_XRGB(0, 0, 0));
            bars_unfilled_ = game_.SwapEffect != D3DSWAPEFFECT_COPY;
        }
        return SUCCEEDED(result);
    }

    void stop(const char* why) {
        std::fprintf(stderr, "zorvalen: %s: Direct3D stretches the picture as its driver does\n", why);
        stopped_ = true;
        release_screen();
        windows_exe::hand_picture_to_device(false);
    }

    void release_screen() {
        release(prescaled_);
        release(screen_buffer_);
        release(screen_);
        screen_width_ = screen_height_ = 0;
    }

    D3DPRESENT_PARAMETERS game_;
    HWND window_;
    bool stopped_ = false;
    IDirect3DSwapChain9* screen_ = nullptr;
    IDirect3DSurface9* screen_buffer_ = nullptr;
    IDirect3DSurface9* prescaled_ = nullptr;
    int screen_width_ = 0, screen_height_ = 0;
    platform::ScalePlan plan_;
    RECT target_{};
    RECT bars_[4]{};
    int bar_count_ = 0;
    bool bars_unfilled_ = true;
    windows_exe::OverlaySurfaces overlays_;
};

class ScalingDirect3D final : public Direct3DWrapper<ScalingDirect3D> {
public:
    explicit ScalingDirect3D(IDirect3D9* inner) : Direct3DWrapper(inner) {}

    // A device for a window gets the wrapper; a full-screen one (a display mode of its own)
    // shows its back buffer as it is, and gets it only for a replay's hidden frames and overlay.
    HRESULT STDMETHODCALLTYPE CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD behaviour,
                                           D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) override {
        const HRESULT result = inner_->CreateDevice(adapter, type, focus, behaviour, parameters, device);
        if (FAILED(result) || device == nullptr || *device == nullptr || parameters == nullptr) return result;
        HWND window = parameters->hDeviceWindow != nullptr ? parameters->hDeviceWindow : focus;
        if (!parameters->Windowed) {
            if (replays::active_player() != nullptr) *device = new ScalingDevice(*device, *parameters, window, false);
            return result;
        }
        *device = new ScalingDevice(*device, *parameters, window, true);
        windows_exe::hand_picture_to_device(true);
        return result;
    }
};

}  // namespace

extern "C" IDirect3D9* WINAPI __wrap_Direct3DCreate9(UINT version) {
    IDirect3D9* real = __real_Direct3DCreate9(version);
    if (real == nullptr) return nullptr;
    return new ScalingDirect3D(real);
}

#endif
