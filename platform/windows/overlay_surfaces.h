// Windows only: the layer's own pictures over the game's (the replay bar, the volume display),
// as the Linux build lays them: the same pixels in the same place of the game's picture, before
// it is scaled. Both are opaque, so each is copied whole onto the back buffer with UpdateSurface
// from a system-memory surface, refilled only when its picture changes: no draw, and none of the
// game's device states touched.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <d3d9.h>

#include <cstdint>

namespace windows_exe {

class OverlaySurfaces {
public:
    OverlaySurfaces() = default;
    OverlaySurfaces(const OverlaySurfaces&) = delete;
    OverlaySurfaces& operator=(const OverlaySurfaces&) = delete;
    ~OverlaySurfaces() { release(); }

    // Right before the frame is shown: whatever is to be seen over it goes onto its back buffer,
    // whose format is `format`.
    void lay_over(IDirect3DDevice9* device, D3DFORMAT format);
    // Before a reset: the surfaces are made again, in the format then in force.
    void release();

    struct Held {
        IDirect3DSurface9* surface = nullptr;
        std::uint64_t version = 0;
    };

private:
    Held playback_, volume_;
    bool refused_ = false;  // a back buffer these pixels cannot be copied into, said once
};

}  // namespace windows_exe

#endif
