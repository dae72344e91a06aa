#include "gfx/graphics.h"

#include <d3d9.h>

#include "app/messages.h"
#include "gfx/present_limiter_win32.h"
#include "input/input.h"
#include "world/world.h"

void create_graphics(int32_t width, int32_t height, bool windowed) {
    world.d3d_object = Direct3DCreate9(D3D_SDK_VERSION);
    if (world.d3d_object == nullptr) return;

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = static_cast<UINT>(width);
    parameters.BackBufferHeight = static_cast<UINT>(height);
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = world.main_window;
    parameters.Windowed = static_cast<BYTE>(windowed);
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    parameters.FullScreen_RefreshRateInHz = 0;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;

    world.d3d_object->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, world.main_window,
                                   D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, &world.d3d_device);
    if (world.d3d_device == nullptr) return;

    world.d3d_device->BeginScene();
    world.d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0x00000000u, 1.0f,
                            0);
    world.screen_width = width;
    world.screen_height = height;

    // Size the outer rectangle so that the client area is exactly the back buffer:
    // the picture is then presented 1:1 instead of squeezed under the frame.
    RECT outer{0, 0, width, height};
    AdjustWindowRect(&outer, WS_OVERLAPPEDWINDOW, FALSE);
    MoveWindow(world.main_window, 0, 0, outer.right - outer.left, outer.bottom - outer.top, TRUE);
    ShowWindow(world.main_window, SW_SHOW);

    world.d3d_device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    world.d3d_device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    world.d3d_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    world.d3d_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    world.d3d_device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    world.d3d_device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    // Quads sit on whole pixels with no half-pixel offset; wrap addressing would bleed
    // the opposite edge's texels into the first row and column.
    world.d3d_device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    world.d3d_device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);

    set_cursor_bounds(0, 0, world.screen_width, world.screen_height);
}

void end_frame() {
    IDirect3DDevice9* device = world.d3d_device;
    device->EndScene();
#ifdef _WIN32
    // Every speed is counted in frames, so Windows needs the same 60 a second as Linux gets
    // from its layer, whatever the display's refresh rate.
    wait_for_frame_deadline();
#endif
    device->Present(nullptr, nullptr, nullptr, nullptr);
#ifdef _WIN32
    frame_presented();
#endif
    device->BeginScene();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF000000u, 1.0f, 0);
    drain_messages();
}

void release_graphics() {
    if (world.d3d_device != nullptr) {
        world.d3d_device->EndScene();
        world.d3d_device->Release();
        world.d3d_device = nullptr;
    }
    if (world.d3d_object != nullptr) {
        world.d3d_object->Release();
        world.d3d_object = nullptr;
    }
}
