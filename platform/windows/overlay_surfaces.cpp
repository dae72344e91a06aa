// Windows only, linked into the exe alone: see overlay_surfaces.h.
#ifdef _WIN32

#include "overlay_surfaces.h"

#include <cstdio>
#include <cstring>

#include "overlays/volume_display.h"
#include "replays/replay_session.h"

namespace windows_exe {

namespace {

// The pictures are 0xAARRGGBB words, which is A8R8G8B8 in memory, and X8R8G8B8 with the byte
// that is not read.
bool takes_pixels(D3DFORMAT format) { return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8; }

bool copy_onto(IDirect3DDevice9* device, D3DFORMAT format, const replays::OverlayPicture& picture,
               OverlaySurfaces::Held& held) {
    if (held.surface == nullptr) {
        if (FAILED(device->CreateOffscreenPlainSurface(static_cast<UINT>(picture.width),
                                                       static_cast<UINT>(picture.height), format,
                                                       D3DPOOL_SYSTEMMEM, &held.surface, nullptr)))
            return false;
        held.version = picture.version - 1;  // not filled yet
    }
    if (held.version != picture.version) {
        D3DLOCKED_RECT locked{};
        if (FAILED(held.surface->LockRect(&locked, nullptr, 0))) return false;
        for (int row = 0; row < picture.height; ++row)
            std::memcpy(static_cast<std::uint8_t*>(locked.pBits) + static_cast<std::size_t>(row) * locked.Pitch,
                        picture.pixels + static_cast<std::size_t>(row) * picture.width,
                        sizeof(std::uint32_t) * static_cast<std::size_t>(picture.width));
        held.surface->UnlockRect();
        held.version = picture.version;
    }
    IDirect3DSurface9* back = nullptr;
    if (FAILED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back))) return false;
    const POINT place{picture.left, picture.top};
    const HRESULT result = device->UpdateSurface(held.surface, nullptr, back, &place);
    back->Release();
    return SUCCEEDED(result);
}

}  // namespace

void OverlaySurfaces::lay_over(IDirect3DDevice9* device, D3DFORMAT format) {
    replays::OverlayPicture playback{};
    const bool playing = replays::playback_overlay(playback);
    overlays::VolumeDisplay& volume = overlays::volume_display();
    if (!playing && !volume.visible()) return;
    if (refused_) return;
    if (!takes_pixels(format)) {
        std::fprintf(stderr, "zorvalen: the back buffer's format takes no overlay: none is shown\n");
        refused_ = true;
        return;
    }
    bool copied = true;
    if (playing) copied = copy_onto(device, format, playback, playback_);
    if (volume.visible()) {
        copied = copy_onto(device, format,
                           {volume.pixels(), overlays::VolumeDisplay::WIDTH, overlays::VolumeDisplay::HEIGHT,
                            overlays::VolumeDisplay::LEFT, overlays::VolumeDisplay::TOP, volume.version()},
                           volume_) &&
                 copied;
        volume.frame_shown();
    }
    if (!copied) {
        std::fprintf(stderr, "zorvalen: an overlay could not be copied onto the picture: none is shown\n");
        refused_ = true;
    }
}

void OverlaySurfaces::release() {
    for (Held* held : {&playback_, &volume_}) {
        if (held->surface != nullptr) held->surface->Release();
        *held = Held{};
    }
}

}  // namespace windows_exe

#endif
