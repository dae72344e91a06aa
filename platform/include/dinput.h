// The subset of DirectInput 8 that the game calls, for the builds over our own layer (the
// desktop over SDL2, the browser, headless); on Windows the real SDK's header stands here.
//
// On every backend (the devices written once, platform/shared/dinput_devices.cpp, fed by each
// backend's events):
// - DirectInput8Create (version 0x0800 only) and CreateDevice for GUID_SysKeyboard and
//   GUID_SysMouse; no other device exists.
// - SetDataFormat (c_dfDIKeyboard, c_dfDIMouse), SetCooperativeLevel (foreground devices
//   cannot be acquired without focus and are lost when it goes; an exclusive mouse captures the
//   pointer), Acquire, Unacquire.
// - GetDeviceState: 256 key bytes, or DIMOUSESTATE with relative motion since the last read
//   and four buttons. A device not acquired reads as all zero and fails (DIERR_INPUTLOST after
//   losing focus, else DIERR_NOTACQUIRED). Keys are known by their place, not by their letter.
// Accepted and ignored: DIPROP_BUFFERSIZE (buffered data is never read); DIPROP_AXISMODE
// accepts only the relative mode.
// On the desktop (platform/sdl): SDL2's keyboard and mouse events; a gamepad (SDL's game
// controller, the first one attached) adds to what both devices read: its sticks, triggers and
// buttons as keys, mouse buttons and motion (testing/pad_mapping.h).
// In the browser (platform/web): the page's keyboard and mouse events; the exclusive mouse
// takes the pointer (pointer lock) at the next click on the canvas. No gamepad yet.
// Headless (testing/headless.h): both devices read the scripted input, whatever the focus, plus
// the tests' virtual pads (on the desktop).
#pragma once

#include <windows.h>

#ifndef DIRECTINPUT_VERSION
#define DIRECTINPUT_VERSION 0x0800
#endif

#define DI_OK S_OK
#define DIERR_INPUTLOST ((HRESULT)0x8007001Eu)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000Cu)
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005u)
#define DIERR_ACQUIRED ((HRESULT)0x800700AAu)
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_NOINTERFACE E_NOINTERFACE
#define DIERR_UNSUPPORTED ((HRESULT)0x80004001u)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154u)
#define DIERR_NOAGGREGATION ((HRESULT)0x80040110u)
#define DIERR_OLDDIRECTINPUTVERSION ((HRESULT)0x8007047Eu)
#define DIERR_BETADIRECTINPUTVERSION ((HRESULT)0x80070481u)
#define DI_NOEFFECT S_FALSE

#define DISCL_EXCLUSIVE 0x00000001
#define DISCL_NONEXCLUSIVE 0x00000002
#define DISCL_FOREGROUND 0x00000004
#define DISCL_BACKGROUND 0x00000008

#define DIPH_DEVICE 0
#define DIPROPAXISMODE_ABS 0
#define DIPROPAXISMODE_REL 1

// The SDK passes property identifiers as small integers disguised as GUID references. A
// reference to such an address is undefined behaviour in C++ (and sanitizers stop on it),
// so here each identifier is an element of one array, indexed by the SDK's number.
extern const GUID dinput_property_ids[3];
#define MAKEDIPROP(prop) (dinput_property_ids[prop])
#define DIPROP_BUFFERSIZE MAKEDIPROP(1)
#define DIPROP_AXISMODE MAKEDIPROP(2)

struct DIPROPHEADER {
    DWORD dwSize;
    DWORD dwHeaderSize;
    DWORD dwObj;
    DWORD dwHow;
};
typedef const DIPROPHEADER* LPCDIPROPHEADER;
struct DIPROPDWORD {
    DIPROPHEADER diph;
    DWORD dwData;
};

#define DIDF_ABSAXIS 0x00000001
#define DIDF_RELAXIS 0x00000002

struct DIOBJECTDATAFORMAT;
struct DIDATAFORMAT {
    DWORD dwSize;
    DWORD dwObjSize;
    DWORD dwFlags;
    DWORD dwDataSize;
    DWORD dwNumObjs;
    DIOBJECTDATAFORMAT* rgodf;
};
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse;

struct DIMOUSESTATE {
    LONG lX;
    LONG lY;
    LONG lZ;
    BYTE rgbButtons[4];
};

extern const GUID GUID_SysKeyboard;
extern const GUID GUID_SysMouse;
extern const GUID IID_IDirectInput8A;

struct IDirectInputDevice8A : IUnknown {
    virtual HRESULT SetDataFormat(LPCDIDATAFORMAT format) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
    virtual HRESULT Acquire() = 0;
    virtual HRESULT Unacquire() = 0;
    virtual HRESULT GetDeviceState(DWORD size, LPVOID data) = 0;
};
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;

struct IDirectInput8A : IUnknown {
    virtual HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) = 0;
};
typedef IDirectInput8A* LPDIRECTINPUT8A;

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID riid, LPVOID* out, LPUNKNOWN outer);

// DirectInput scan codes (physical key positions of a US keyboard).
#define DIK_ESCAPE 0x01
#define DIK_1 0x02
#define DIK_2 0x03
#define DIK_3 0x04
#define DIK_4 0x05
#define DIK_5 0x06
#define DIK_6 0x07
#define DIK_7 0x08
#define DIK_8 0x09
#define DIK_9 0x0A
#define DIK_0 0x0B
#define DIK_MINUS 0x0C
#define DIK_EQUALS 0x0D
#define DIK_BACK 0x0E
#define DIK_TAB 0x0F
#define DIK_Q 0x10
#define DIK_W 0x11
#define DIK_E 0x12
#define DIK_R 0x13
#define DIK_T 0x14
#define DIK_Y 0x15
#define DIK_U 0x16
#define DIK_I 0x17
#define DIK_O 0x18
#define DIK_P 0x19
#define DIK_LBRACKET 0x1A
#define DIK_RBRACKET 0x1B
#define DIK_RETURN 0x1C
#define DIK_LCONTROL 0x1D
#define DIK_A 0x1E
#define DIK_S 0x1F
#define DIK_D 0x20
#define DIK_F 0x21
#define DIK_G 0x22
#define DIK_H 0x23
#define DIK_J 0x24
#define DIK_K 0x25
#define DIK_L 0x26
#define DIK_SEMICOLON 0x27
#define DIK_APOSTROPHE 0x28
#define DIK_GRAVE 0x29
#define DIK_LSHIFT 0x2A
#define DIK_BACKSLASH 0x2B
#define DIK_Z 0x2C
#define DIK_X 0x2D
#define DIK_C 0x2E
#define DIK_V 0x2F
#define DIK_B 0x30
#define DIK_N 0x31
#define DIK_M 0x32
#define DIK_COMMA 0x33
#define DIK_PERIOD 0x34
#define DIK_SLASH 0x35
#define DIK_RSHIFT 0x36
#define DIK_MULTIPLY 0x37
#define DIK_LMENU 0x38
#define DIK_SPACE 0x39
#define DIK_CAPITAL 0x3A
#define DIK_F1 0x3B
#define DIK_F2 0x3C
#define DIK_F3 0x3D
#define DIK_F4 0x3E
#define DIK_F5 0x3F
#define DIK_F6 0x40
#define DIK_F7 0x41
#define DIK_F8 0x42
#define DIK_F9 0x43
#define DIK_F10 0x44
#define DIK_NUMLOCK 0x45
#define DIK_SCROLL 0x46
#define DIK_NUMPAD7 0x47
#define DIK_NUMPAD8 0x48
#define DIK_NUMPAD9 0x49
#define DIK_SUBTRACT 0x4A
#define DIK_NUMPAD4 0x4B
#define DIK_NUMPAD5 0x4C
#define DIK_NUMPAD6 0x4D
#define DIK_ADD 0x4E
#define DIK_NUMPAD1 0x4F
#define DIK_NUMPAD2 0x50
#define DIK_NUMPAD3 0x51
#define DIK_NUMPAD0 0x52
#define DIK_DECIMAL 0x53
#define DIK_OEM_102 0x56
#define DIK_F11 0x57
#define DIK_F12 0x58
#define DIK_F13 0x64
#define DIK_F14 0x65
#define DIK_F15 0x66
#define DIK_KANA 0x70
#define DIK_ABNT_C1 0x73
#define DIK_CONVERT 0x79
#define DIK_NOCONVERT 0x7B
#define DIK_YEN 0x7D
#define DIK_ABNT_C2 0x7E
#define DIK_NUMPADEQUALS 0x8D
#define DIK_PREVTRACK 0x90
#define DIK_NEXTTRACK 0x99
#define DIK_NUMPADENTER 0x9C
#define DIK_RCONTROL 0x9D
#define DIK_MUTE 0xA0
#define DIK_CALCULATOR 0xA1
#define DIK_PLAYPAUSE 0xA2
#define DIK_MEDIASTOP 0xA4
#define DIK_VOLUMEDOWN 0xAE
#define DIK_VOLUMEUP 0xB0
#define DIK_WEBHOME 0xB2
#define DIK_DIVIDE 0xB5
#define DIK_SYSRQ 0xB7
#define DIK_RMENU 0xB8
#define DIK_PAUSE 0xC5
#define DIK_HOME 0xC7
#define DIK_UP 0xC8
#define DIK_PRIOR 0xC9
#define DIK_LEFT 0xCB
#define DIK_RIGHT 0xCD
#define DIK_END 0xCF
#define DIK_DOWN 0xD0
#define DIK_NEXT 0xD1
#define DIK_INSERT 0xD2
#define DIK_DELETE 0xD3
#define DIK_LWIN 0xDB
#define DIK_RWIN 0xDC
#define DIK_APPS 0xDD
#define DIK_POWER 0xDE
#define DIK_SLEEP 0xDF
#define DIK_WEBSEARCH 0xE5
#define DIK_WEBFAVORITES 0xE6
#define DIK_WEBREFRESH 0xE7
#define DIK_WEBSTOP 0xE8
#define DIK_WEBFORWARD 0xE9
#define DIK_WEBBACK 0xEA
#define DIK_MYCOMPUTER 0xEB
#define DIK_MAIL 0xEC
#define DIK_MEDIASELECT 0xED
