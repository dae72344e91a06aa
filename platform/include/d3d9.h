// The subset of Direct3D 9 that the game calls, for the builds over our own layer (the desktop
// over SDL2, the browser, headless); on Windows the real SDK's header stands here. Names, values
// and signatures follow the published SDK; the behaviour (render states kept until changed,
// default culling of counter-clockwise triangles, texel x vertex colour) is the real device's.
//
// On every backend (one device, platform/shared/d3d9_device.cpp, which draws with our own
// compositor, platform/shared/compositor/, unless its output draws itself):
// - Direct3DCreate9 (D3D_SDK_VERSION only); CreateDevice: the default adapter, HAL, windowed,
//   a 32-bit back buffer of at most 8192 square on a live window (a size of 0 takes the
//   window's). D3DPRESENT_INTERVAL_IMMEDIATE turns pacing off; any other interval paces the
//   game to 60 frames a second.
// - BeginScene/EndScene (nested or unmatched calls fail), Clear (the colour, whole or in
//   rectangles), Present (the whole back buffer onto the whole client area).
// - DrawPrimitiveUP for one thing only: a quad as a two-triangle strip of pre-transformed
//   vertices (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, stride 28); anything else fails.
// - States the draw reads: D3DRS_ALPHABLENDENABLE, SRCBLEND, DESTBLEND, CULLMODE; stage 0's
//   colour and alpha operations and arguments; sampler 0's addressing and filters; the texture
//   bound to stage 0.
// - CreateTexture: one level of A8R8G8B8 or X8R8G8B8, at most 8192 square; LockRect and
//   UnlockRect on the texture and its surface, GetLevelDesc, GetSurfaceLevel, GetDesc.
// - Once its window is gone the device draws nothing: Clear, DrawPrimitiveUP and Present fail.
// Accepted and ignored: depth, stencil and lighting (every vertex lies at depth 0, so painter's
// order decides), the other render, stage and sampler states (stored, never read), Present's
// rectangles and window override, the device's behaviour flags.
// On the desktop (platform/sdl): the frame goes to the window's own surface from the compositor
// where the only OpenGL is a software one or there is none, else to the GPU through SDL's
// renderer (ZORVALEN_PRESENTATION forces either); paced by the display's retrace at 60 Hz, else
// by a limiter. A window with no surface and no renderer gives D3DERR_NOTAVAILABLE.
// In the browser (platform/web): the compositor's frame goes onto the page's canvas, paced by the
// page's animation frames, where the game yields to the page once a frame; one device has the
// canvas at a time, and a canvas that cannot be drawn on gives D3DERR_NOTAVAILABLE.
// Headless (testing/headless.h): never paced; record mode draws nothing and logs every quad;
// render mode also draws with the compositor (on the desktop, with the hint
// ZORVALEN_PRESENTATION=gpu, with OpenGL on SDL's offscreen driver), for pictures on request.
#pragma once

#include <windows.h>

typedef DWORD D3DCOLOR;
#define D3DCOLOR_ARGB(a, r, g, b) \
    ((D3DCOLOR)((((a) & 0xff) << 24) | (((r) & 0xff) << 16) | (((g) & 0xff) << 8) | ((b) & 0xff)))

#define D3D_SDK_VERSION 32
#define D3DADAPTER_DEFAULT 0
#define D3DCREATE_SOFTWARE_VERTEXPROCESSING 0x00000020L
#define D3DCREATE_HARDWARE_VERTEXPROCESSING 0x00000040L
#define D3DPRESENTFLAG_LOCKABLE_BACKBUFFER 0x00000001
#define D3DPRESENT_INTERVAL_DEFAULT 0x00000000L
#define D3DPRESENT_INTERVAL_ONE 0x00000001L
#define D3DPRESENT_INTERVAL_IMMEDIATE 0x80000000L
#define D3DCLEAR_TARGET 0x00000001L
#define D3DCLEAR_ZBUFFER 0x00000002L
#define D3DCLEAR_STENCIL 0x00000004L
#define D3DFVF_XYZRHW 0x004
#define D3DFVF_DIFFUSE 0x040
#define D3DFVF_TEX1 0x100
#define D3DUSAGE_DYNAMIC 0x00000200L
#define D3DLOCK_DISCARD 0x00002000L
#define D3D_OK S_OK
#define D3DERR_INVALIDCALL ((HRESULT)0x8876086Cu)
#define D3DERR_NOTAVAILABLE ((HRESULT)0x8876086Au)

enum D3DDEVTYPE { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };
enum D3DFORMAT {
    D3DFMT_UNKNOWN = 0, D3DFMT_A8R8G8B8 = 21, D3DFMT_X8R8G8B8 = 22, D3DFMT_D24S8 = 75,
};
enum D3DPOOL { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };
enum D3DMULTISAMPLE_TYPE { D3DMULTISAMPLE_NONE = 0 };
enum D3DSWAPEFFECT { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
enum D3DPRIMITIVETYPE {
    D3DPT_POINTLIST = 1, D3DPT_LINELIST = 2, D3DPT_LINESTRIP = 3, D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5, D3DPT_TRIANGLEFAN = 6,
};
enum D3DRENDERSTATETYPE {
    D3DRS_ZENABLE = 7, D3DRS_SRCBLEND = 19, D3DRS_DESTBLEND = 20, D3DRS_CULLMODE = 22,
    D3DRS_ALPHABLENDENABLE = 27, D3DRS_LIGHTING = 137,
};
enum D3DBLEND {
    D3DBLEND_ZERO = 1, D3DBLEND_ONE = 2, D3DBLEND_SRCCOLOR = 3, D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5, D3DBLEND_INVSRCALPHA = 6, D3DBLEND_DESTALPHA = 7, D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9, D3DBLEND_INVDESTCOLOR = 10,
};
enum D3DCULL { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DTEXTURESTAGESTATETYPE {
    D3DTSS_COLOROP = 1, D3DTSS_COLORARG1 = 2, D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4, D3DTSS_ALPHAARG1 = 5, D3DTSS_ALPHAARG2 = 6,
};
enum D3DTEXTUREOP { D3DTOP_DISABLE = 1, D3DTOP_SELECTARG1 = 2, D3DTOP_SELECTARG2 = 3, D3DTOP_MODULATE = 4 };
#define D3DTA_DIFFUSE 0x00000000
#define D3DTA_CURRENT 0x00000001
#define D3DTA_TEXTURE 0x00000002
enum D3DSAMPLERSTATETYPE {
    D3DSAMP_ADDRESSU = 1, D3DSAMP_ADDRESSV = 2, D3DSAMP_MAGFILTER = 5, D3DSAMP_MINFILTER = 6,
    D3DSAMP_MIPFILTER = 7,
};
enum D3DTEXTUREADDRESS { D3DTADDRESS_WRAP = 1, D3DTADDRESS_MIRROR = 2, D3DTADDRESS_CLAMP = 3 };
enum D3DTEXTUREFILTERTYPE { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };
enum D3DRESOURCETYPE { D3DRTYPE_SURFACE = 1, D3DRTYPE_TEXTURE = 3 };

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth;
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;
    UINT PresentationInterval;
};

struct D3DLOCKED_RECT {
    int Pitch;
    void* pBits;
};
struct D3DRECT {
    LONG x1;
    LONG y1;
    LONG x2;
    LONG y2;
};
struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    DWORD MultiSampleQuality;
    UINT Width;
    UINT Height;
};
struct RGNDATA;

struct IDirect3DDevice9;

struct IDirect3DSurface9 : IUnknown {
    virtual HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect() = 0;
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) = 0;
};

struct IDirect3DBaseTexture9 : IUnknown {};

struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) = 0;
    virtual HRESULT UnlockRect(UINT level) = 0;
};

struct IDirect3DDevice9 : IUnknown {
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT Present(const RECT* source, const RECT* dest, HWND dest_window_override,
                            const RGNDATA* dirty_region) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) = 0;
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT SetFVF(DWORD fvf) = 0;
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices,
                                    UINT stride) = 0;
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared_handle) = 0;
};

struct IDirect3D9 : IUnknown {
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE device_type, HWND focus_window, DWORD behaviour,
                                 D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) = 0;
};

typedef IDirect3D9* LPDIRECT3D9;
typedef IDirect3DDevice9* LPDIRECT3DDEVICE9;
typedef IDirect3DTexture9* LPDIRECT3DTEXTURE9;
typedef IDirect3DSurface9* LPDIRECT3DSURFACE9;

IDirect3D9* WINAPI Direct3DCreate9(UINT sdk_version);
