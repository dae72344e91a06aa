#include "device_state.h"

#include <cstring>

#include "headless_control.h"

namespace platform {

namespace {

constexpr DWORD LOCK_READONLY = 0x00000010L;
constexpr DWORD ZBUFFER_ON = 1;  // D3DZB_TRUE

// Twice the signed area of a triangle; positive when it runs clockwise on the screen (y down).
float winding(const QuadCorners& quad, int a, int b, int c) {
    return (quad.x[b] - quad.x[a]) * (quad.y[c] - quad.y[a]) - (quad.y[b] - quad.y[a]) * (quad.x[c] - quad.x[a]);
}

bool culled_by(float area, DWORD cull_mode) {
    if (area == 0.0f) return false;  // covers nothing: there is no winding to cull
    if (cull_mode == D3DCULL_CCW) return area < 0.0f;
    if (cull_mode == D3DCULL_CW) return area > 0.0f;
    return false;
}

}  // namespace

MemoryTexture::MemoryTexture(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage)
    : width_(width), height_(height), format_(format), pool_(pool), usage_(usage),
      pixels_(static_cast<std::size_t>(width) * height, 0u), level_(*this) {}

HRESULT MemoryTexture::QueryInterface(REFIID riid, void** object) { return answer_query(this, riid, object); }

HRESULT MemoryTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
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

HRESULT MemoryTexture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (surface == nullptr) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level != 0) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = &level_;
    return D3D_OK;
}

HRESULT MemoryTexture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    if (level != 0 || locked == nullptr || locked_) return D3DERR_INVALIDCALL;
    RECT area{0, 0, static_cast<LONG>(width_), static_cast<LONG>(height_)};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right || rect->top >= rect->bottom ||
            rect->right > area.right || rect->bottom > area.bottom)
            return D3DERR_INVALIDCALL;
        area = *rect;
    }
    if ((flags & LOCK_READONLY) == 0) before_write();
    locked->Pitch = static_cast<int>(width_ * 4);
    locked->pBits = pixels_.data() + static_cast<std::size_t>(area.top) * width_ + area.left;
    locked_ = true;
    if ((flags & LOCK_READONLY) == 0) ++version_;
    return D3D_OK;
}

HRESULT MemoryTexture::UnlockRect(UINT level) {
    if (level != 0 || !locked_) return D3DERR_INVALIDCALL;
    locked_ = false;
    if (on_unlocked != nullptr) on_unlocked(*this);
    return D3D_OK;
}

TextureView MemoryTexture::view() const {
    TextureView view;
    view.pixels = pixels_.data();
    view.width = static_cast<int>(width_);
    view.height = static_cast<int>(height_);
    view.pitch = static_cast<int>(width_);
    view.alpha = format_ != D3DFMT_X8R8G8B8;
    if (awaited_) awaited_drawn_ = true;
    if (locked_) return view;  // its texels may be changing
    if (visible_version_ != version_) find_visible();
    view.row_visible = row_visible_.data();
    view.visible = visible_.data();
    view.opaque = opaque_.data();
    return view;
}

void MemoryTexture::find_visible() const {
    // Clear gaps shorter than this stay inside a span: a span costs more than a few texels.
    constexpr UINT SHORTEST_GAP = 16;
    row_visible_.clear();
    visible_.clear();
    opaque_.assign(2 * static_cast<std::size_t>(height_), 0);
    for (UINT y = 0; y < height_; ++y) {
        row_visible_.push_back(static_cast<int>(visible_.size()));
        const std::uint32_t* row = pixels_.data() + static_cast<std::size_t>(y) * width_;
        for (UINT x = 0; x < width_;) {
            while (x < width_ && (row[x] >> 24) != 255) ++x;
            const UINT start = x;
            while (x < width_ && (row[x] >> 24) == 255) ++x;
            int* longest = opaque_.data() + 2 * static_cast<std::size_t>(y);
            if (x - start > static_cast<UINT>(longest[1] - longest[0])) {
                longest[0] = static_cast<int>(start);
                longest[1] = static_cast<int>(x);
            }
        }
        UINT x = 0;
        while (x < width_) {
            while (x < width_ && (row[x] >> 24) == 0) ++x;
            if (x == width_) break;
            const UINT start = x;
            UINT end = x;
            while (x < width_) {
                if ((row[x] >> 24) != 0) {
                    end = ++x;
                } else if (x - end >= SHORTEST_GAP) {
                    break;
                } else {
                    ++x;
                }
            }
            visible_.push_back(static_cast<int>(start));
            visible_.push_back(static_cast<int>(end));
            x = end;
        }
    }
    row_visible_.push_back(static_cast<int>(visible_.size()));
    visible_version_ = version_;
}

HRESULT MemoryTexture::check_request(UINT width, UINT height, UINT levels, D3DFORMAT format, HANDLE* shared_handle) {
    if (shared_handle != nullptr || width == 0 || height == 0 || width > MAX_TEXTURE_SIZE ||
        height > MAX_TEXTURE_SIZE)
        return D3DERR_INVALIDCALL;
    if (levels > 1 || (format != D3DFMT_A8R8G8B8 && format != D3DFMT_X8R8G8B8)) return D3DERR_NOTAVAILABLE;
    return D3D_OK;
}

HRESULT MemoryTexture::Level::QueryInterface(REFIID riid, void** object) { return answer_query(this, riid, object); }

DeviceStates::DeviceStates(bool depth_buffer) {
    render[D3DRS_ZENABLE] = depth_buffer ? ZBUFFER_ON : 0;
    render[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    render[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    render[D3DRS_CULLMODE] = D3DCULL_CCW;
    render[D3DRS_ALPHABLENDENABLE] = FALSE;
    render[D3DRS_LIGHTING] = TRUE;
    for (DWORD i = 0; i < STAGE_COUNT; ++i) {
        stage[i][D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        stage[i][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        stage[i][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        stage[i][D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        stage[i][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        stage[i][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    }
    for (DWORD i = 0; i < SAMPLER_COUNT; ++i) {
        sampler[i][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        sampler[i][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        sampler[i][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        sampler[i][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
        sampler[i][D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    }
}

HRESULT DeviceStates::set_render(D3DRENDERSTATETYPE state, DWORD value) {
    if (static_cast<DWORD>(state) >= RENDER_STATE_COUNT) return D3DERR_INVALIDCALL;
    render[state] = value;
    return D3D_OK;
}

HRESULT DeviceStates::set_stage(DWORD index, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (index >= STAGE_COUNT || static_cast<DWORD>(type) >= STAGE_STATE_COUNT) return D3DERR_INVALIDCALL;
    stage[index][type] = value;
    return D3D_OK;
}

HRESULT DeviceStates::set_sampler(DWORD index, D3DSAMPLERSTATETYPE type, DWORD value) {
    if (index >= SAMPLER_COUNT || static_cast<DWORD>(type) >= SAMPLER_STATE_COUNT) return D3DERR_INVALIDCALL;
    sampler[index][type] = value;
    return D3D_OK;
}

DrawStates DeviceStates::draw_states(const TextureView* texture) const {
    DrawStates states;
    states.texture = texture;
    states.blend = render[D3DRS_ALPHABLENDENABLE] != 0;
    states.source_blend = render[D3DRS_SRCBLEND];
    states.destination_blend = render[D3DRS_DESTBLEND];
    states.colour_op = stage[0][D3DTSS_COLOROP];
    states.colour_arg1 = stage[0][D3DTSS_COLORARG1];
    states.colour_arg2 = stage[0][D3DTSS_COLORARG2];
    states.alpha_op = stage[0][D3DTSS_ALPHAOP];
    states.alpha_arg1 = stage[0][D3DTSS_ALPHAARG1];
    states.alpha_arg2 = stage[0][D3DTSS_ALPHAARG2];
    states.address_u = sampler[0][D3DSAMP_ADDRESSU];
    states.address_v = sampler[0][D3DSAMP_ADDRESSV];
    return states;
}

bool is_game_quad(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride, DWORD fvf) {
    constexpr UINT VERTEX_SIZE = 28;
    constexpr DWORD QUAD_FORMAT = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    return vertices != nullptr && type == D3DPT_TRIANGLESTRIP && primitive_count == 2 && stride == VERTEX_SIZE &&
           fvf == QUAD_FORMAT;
}

GameQuad read_game_quad(const void* vertices, UINT stride, DWORD cull_mode) {
    GameQuad quad;
    QuadCorners& corners = quad.corners;
    const unsigned char* bytes = static_cast<const unsigned char*>(vertices);
    for (int i = 0; i < 4; ++i, bytes += stride) {
        std::memcpy(&corners.x[i], bytes + 0, 4);
        std::memcpy(&corners.y[i], bytes + 4, 4);
        std::memcpy(&corners.colour[i], bytes + 16, 4);
        std::memcpy(&corners.u[i], bytes + 20, 4);
        std::memcpy(&corners.v[i], bytes + 24, 4);
    }
    quad.first_culled = culled_by(winding(corners, 0, 1, 2), cull_mode);
    quad.second_culled = culled_by(winding(corners, 1, 3, 2), cull_mode);
    return quad;
}

headless::QuadRecord record_of(const GameQuad& quad, const IDirect3DBaseTexture9* texture,
                               const DeviceStates& states) {
    headless::QuadRecord record;
    record.texture = texture;
    for (int i = 0; i < 4; ++i) {
        record.x[i] = quad.corners.x[i];
        record.y[i] = quad.corners.y[i];
        record.u[i] = quad.corners.u[i];
        record.v[i] = quad.corners.v[i];
    }
    record.color = quad.corners.colour[0];
    record.blend = states.render[D3DRS_ALPHABLENDENABLE] != 0;
    record.src_blend = states.render[D3DRS_SRCBLEND];
    record.dest_blend = states.render[D3DRS_DESTBLEND];
    record.cull_mode = states.render[D3DRS_CULLMODE];
    record.culled = quad.culled();
    return record;
}

void capture_frame(const FrameView& frame) {
    std::uint32_t* pixels = draw_log::capture_buffer(frame.width, frame.height);
    for (int y = 0; y < frame.height; ++y)
        std::memcpy(pixels + static_cast<std::size_t>(y) * frame.width,
                    reinterpret_cast<const unsigned char*>(frame.pixels) + static_cast<std::size_t>(y) * frame.pitch,
                    sizeof(std::uint32_t) * static_cast<std::size_t>(frame.width));
}

}  // namespace platform
