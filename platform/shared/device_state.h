// What the Direct3D 9 device (d3d9_device.cpp) is made of, with no SDL and no window system:
// textures held as pixels in memory, the device's states with Direct3D 9's initial values,
// reading one of the game's quads, culling it, logging it, and handing it to the compositor.
#pragma once

#include <cstdint>
#include <vector>

#include <d3d9.h>
#include <headless.h>

#include "com_object.h"
#include "compositor/compositor.h"

namespace platform {

constexpr UINT MAX_TEXTURE_SIZE = 8192;

// Level 0 of a texture in memory, lockable; its one surface shares the texture's reference
// count, as in Direct3D 9.
class MemoryTexture : public RefCounted<IDirect3DTexture9> {
public:
    MemoryTexture(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    // The pixels as the compositor reads them, at draw time.
    TextureView view() const;
    // Level 0 as 0xAARRGGBB rows, for an output that keeps a copy of its own (frame_output.h):
    // `version` grows with every lock for writing, and a locked texture is not to be copied.
    const std::uint32_t* pixels() const { return pixels_.data(); }
    std::uint64_t version() const { return version_; }
    bool locked() const { return locked_; }
    UINT width() const { return width_; }
    UINT height() const { return height_; }
    D3DFORMAT format() const { return format_; }
    D3DPOOL pool() const { return pool_; }
    DWORD usage() const { return usage_; }

    // A texture whose pixels are still on their way (a picture the page unpacks while the game
    // runs): a draw that reads it is noted, so that the output can hold that frame back.
    void set_awaited(bool awaited) { awaited_ = awaited; }
    bool awaited() const { return awaited_; }
    // Whether a texture still awaited was drawn from since the last call.
    static bool take_awaited_drawn() {
        const bool drawn = awaited_drawn_;
        awaited_drawn_ = false;
        return drawn;
    }
    // Told of every texture as it is unlocked, where a platform wants to know which texture a
    // late picture belongs to; null elsewhere.
    static inline void (*on_unlocked)(MemoryTexture&) = nullptr;

    // CreateTexture's checks: what a platform's device may make (one level of 32-bit colour,
    // which is all the game's images need).
    static HRESULT check_request(UINT width, UINT height, UINT levels, D3DFORMAT format, HANDLE* shared_handle);

protected:
    // Called before the pixels may change (a lock for writing): a compositor that batches quads
    // draws what waits on the old pixels first.
    virtual void before_write() {}

    class Level final : public IDirect3DSurface9 {
    public:
        explicit Level(MemoryTexture& owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override { return owner_.AddRef(); }
        ULONG Release() override { return owner_.Release(); }
        HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
            return owner_.LockRect(0, locked, rect, flags);
        }
        HRESULT UnlockRect() override { return owner_.UnlockRect(0); }
        HRESULT GetDesc(D3DSURFACE_DESC* desc) override { return owner_.GetLevelDesc(0, desc); }

    private:
        MemoryTexture& owner_;
    };

    UINT width_, height_;
    D3DFORMAT format_;
    D3DPOOL pool_;
    DWORD usage_;
    std::vector<std::uint32_t> pixels_;  // level 0, 0xAARRGGBB rows
    bool locked_ = false;
    bool awaited_ = false;
    static inline bool awaited_drawn_ = false;
    std::uint64_t version_ = 1;
    // Where each row's visible and opaque texels lie (TextureView::visible and ::opaque), as
    // found for the version `visible_version_`: looked at once per version, on the first draw
    // that reads it.
    void find_visible() const;
    mutable std::uint64_t visible_version_ = 0;
    mutable std::vector<int> row_visible_, visible_, opaque_;
    Level level_;
};

// The render, texture-stage and sampler states a device keeps, from Direct3D 9's initial
// values (the game relies on those it never sets).
struct DeviceStates {
    static constexpr DWORD RENDER_STATE_COUNT = 256;
    static constexpr DWORD STAGE_COUNT = 8;
    static constexpr DWORD STAGE_STATE_COUNT = 33;
    static constexpr DWORD SAMPLER_COUNT = 16;
    static constexpr DWORD SAMPLER_STATE_COUNT = 14;

    explicit DeviceStates(bool depth_buffer);

    HRESULT set_render(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT set_stage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
    HRESULT set_sampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value);

    // What the compositor needs of them to draw a quad with `texture` (null for none) at stage 0.
    DrawStates draw_states(const TextureView* texture) const;

    DWORD render[RENDER_STATE_COUNT] = {};
    DWORD stage[STAGE_COUNT][STAGE_STATE_COUNT] = {};
    DWORD sampler[SAMPLER_COUNT][SAMPLER_STATE_COUNT] = {};
    DWORD fvf = 0;
};

// One DrawPrimitiveUP of the game, read and culled.
struct GameQuad {
    QuadCorners corners;
    bool first_culled;   // the strip's first triangle falls to the cull mode
    bool second_culled;
    bool culled() const { return first_culled && second_culled; }
};

// False for anything but what the game draws: two-triangle strips of pre-transformed,
// coloured, textured vertices.
bool is_game_quad(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride, DWORD fvf);
GameQuad read_game_quad(const void* vertices, UINT stride, DWORD cull_mode);

// The quad as the headless log keeps it, with the states in force.
headless::QuadRecord record_of(const GameQuad& quad, const IDirect3DBaseTexture9* texture,
                               const DeviceStates& states);

// Hands a compositor's finished frame to the headless capture.
void capture_frame(const FrameView& frame);

}  // namespace platform
