// The subset of the Win32 interface that the game calls, for the builds over our own layer (the
// desktop over SDL2, the browser, headless); on Windows the real SDK's header stands here. Names,
// values and signatures follow the published SDK so that the same game sources compile
// unchanged against the real headers.
//
// On every backend (written once, platform/shared/win32_windows.cpp):
// - RegisterClassExA: up to 16 classes, for the life of the process; a second registration of a
//   name (in any case) fails. Classes are found by name or by the atom registered.
// - CreateWindowExA: the one window, created hidden; creating another replaces it.
// - MoveWindow, ShowWindow (SW_HIDE hides, any other command shows; the answer is whether the
//   window was visible before).
// - PeekMessageA with window and range filters, PM_REMOVE; the window system's close request
//   arrives as WM_CLOSE. DispatchMessageA calls the window's procedure.
// - PostQuitMessage: WM_QUIT comes out after every queued message, as on Windows.
// - MessageBoxA: the text as one line on stderr; answers IDOK.
// - WinMain is the game's; the backend's entry point calls it.
// Accepted and ignored: TranslateMessage (keys come through DirectInput), DefWindowProcA
// (returns 0), AdjustWindowRect (the frame, where there is one, is outside the client area, so
// the rectangle stays as given), GetModuleHandleA, GetDesktopWindow, and LoadIconA and
// LoadCursorA (only the stock icon and arrow exist). Messages carry time 0.
// On the desktop (platform/sdl): the window is an SDL window, raised when shown and fitted to
// the display's usable area; Alt+Enter and F11 toggle full screen. Without a display
// CreateWindowExA returns null (never SDL's invisible drivers).
// In the browser (platform/web): the window is the page's canvas, always shown and placed by the
// page; MessageBoxA's text also shows over the canvas. Closing the tab ends the page, and no
// message comes.
// Headless (testing/headless.h): no window system at all, the window a handle only; a class
// need not be registered, and close requests come from headless::post_close.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef int32_t HRESULT;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef DWORD* LPDWORD;
typedef void* HANDLE;

#define DECLARE_ZV_HANDLE(name) struct name##__; typedef struct name##__* name
DECLARE_ZV_HANDLE(HWND);
DECLARE_ZV_HANDLE(HINSTANCE);
DECLARE_ZV_HANDLE(HICON);
DECLARE_ZV_HANDLE(HBRUSH);
DECLARE_ZV_HANDLE(HMENU);
#undef DECLARE_ZV_HANDLE
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const GUID* LPCGUID;
inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
extern const GUID GUID_NULL;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    virtual ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

struct POINT {
    LONG x;
    LONG y;
};
struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG* LPMSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};
typedef unsigned short ATOM;

#define MAKEINTRESOURCEA(i) ((LPSTR)((uintptr_t)((WORD)(i))))
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

#define CS_CLASSDC 0x0040
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define PM_REMOVE 0x0001
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10
#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L

HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR icon_name);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursor_name);
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* window_class);
HWND WINAPI GetDesktopWindow();
HWND WINAPI CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR window_name, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                            LPVOID param);
BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu);
BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL WINAPI ShowWindow(HWND window, int show_command);
BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageA(const MSG* msg);
void WINAPI PostQuitMessage(int exit_code);
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int WINAPI MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);

// The program's entry point, defined by the game; the layer's main() calls it.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show_command);
