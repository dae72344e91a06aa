// The Windows floor: the least a Direct3D 9 program spends to show 60 frames a second. It makes
// the same device as the game (800 x 600 back buffer in a window, the same presentation
// parameters) and each frame only clears and presents, then waits to an absolute deadline on a
// high-resolution waitable timer. With "vsync" it leaves the waiting to Present alone, which
// shows what the display's retrace really holds a program to. bench/xvfb-bench --wine runs it
// under Wine beside the exe. Built by the cross build only.
#include <windows.h>

#include <d3d9.h>

#include <cstring>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

bool quit = false;

LRESULT CALLBACK floor_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_CLOSE || (message == WM_KEYDOWN && wparam == VK_ESCAPE)) {
        quit = true;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int) {
    const bool vsync_only = std::strstr(command_line, "vsync") != nullptr;
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = floor_procedure;
    window_class.hInstance = instance;
    window_class.lpszClassName = "ZorvalenD3D9Floor";
    RegisterClassExA(&window_class);
    RECT frame{0, 0, 800, 600};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND window = CreateWindowExA(0, window_class.lpszClassName, "d3d9 floor", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (window == nullptr || d3d == nullptr) return 1;
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 800;
    parameters.BackBufferHeight = 600;
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.hDeviceWindow = window;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D24S8;
    parameters.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    IDirect3DDevice9* device = nullptr;
    if (FAILED(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                                 &parameters, &device)))
        return 1;

    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    for (long long frame = 1; !quit; ++frame) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                      D3DCOLOR_XRGB(0, static_cast<int>(frame % 128), 64), 1.0f, 0);
        device->BeginScene();
        device->EndScene();
        device->Present(nullptr, nullptr, nullptr, nullptr);
        if (vsync_only || timer == nullptr) continue;
        const long long deadline = start.QuadPart + frame * frequency.QuadPart / 60;
        QueryPerformanceCounter(&now);
        if (now.QuadPart >= deadline) continue;
        LARGE_INTEGER due;
        due.QuadPart = -((deadline - now.QuadPart) * 10000000 / frequency.QuadPart);
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) WaitForSingleObject(timer, INFINITE);
    }
    device->Release();
    d3d->Release();
    return 0;
}
