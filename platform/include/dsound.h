// The subset of DirectSound 8 that the game calls, for the builds over our own layer (the
// desktop over SDL2, the browser, headless); on Windows the real SDK's header stands here.
//
// On every backend (the buffers and our own mixer written once,
// platform/shared/dsound_buffers.cpp; each backend opens the output that pulls from them):
// - DirectSoundCreate8 for the default device only.
// - CreateSoundBuffer: PCM, mono or stereo, 8 or 16 bits, DSBFREQUENCY_MIN to _MAX; the buffer
//   starts silent. Lock (with DSBLOCK_ENTIREBUFFER and wrapping regions), Unlock; a locked buffer
//   is not mixed.
// - Play (once, or DSBPLAY_LOOPING; a playing buffer carries on and only its loop mode changes),
//   Stop (keeps the position).
// Accepted and ignored: SetCooperativeLevel (every level plays the same; there is no primary
// buffer), Play's priority.
// On the desktop (platform/sdl): SDL2's default playback device; without one DirectSoundCreate8
// fails with DSERR_NODRIVER (said once on stderr), and the game plays silent.
// In the browser (platform/web): Web Audio, which starts at the player's first key or click;
// until then the buffers play to nobody. One device a page.
// Headless (testing/headless.h): DSERR_NODRIVER, or on the desktop, with offline sound on, a
// device that mixes only when asked (testing/dsound_offline.h).
#pragma once

#include <windows.h>
#include <mmsystem.h>

#define DS_OK S_OK
#define DSERR_INVALIDPARAM E_INVALIDARG
#define DSERR_NODRIVER ((HRESULT)0x88780078u)
#define DSERR_BUFFERLOST ((HRESULT)0x88780096u)
#define DSERR_BADFORMAT ((HRESULT)0x88780064u)
#define DSERR_OUTOFMEMORY E_OUTOFMEMORY
#define DSERR_NOINTERFACE E_NOINTERFACE
#define DSERR_NOAGGREGATION ((HRESULT)0x80040110u)

#define DSSCL_NORMAL 0x00000001
#define DSSCL_PRIORITY 0x00000002
#define DSBCAPS_CTRLFREQUENCY 0x00000020
#define DSBCAPS_CTRLPAN 0x00000040
#define DSBCAPS_CTRLVOLUME 0x00000080
#define DSBCAPS_GLOBALFOCUS 0x00008000
#define DSBPLAY_LOOPING 0x00000001
#define DSBLOCK_FROMWRITECURSOR 0x00000001
#define DSBLOCK_ENTIREBUFFER 0x00000002
#define DSBSIZE_MIN 4
#define DSBSIZE_MAX 0x0FFFFFFF
#define DSBFREQUENCY_MIN 100
#define DSBFREQUENCY_MAX 200000

struct DSBUFFERDESC {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwBufferBytes;
    DWORD dwReserved;
    LPWAVEFORMATEX lpwfxFormat;
    GUID guid3DAlgorithm;
};
typedef const DSBUFFERDESC* LPCDSBUFFERDESC;

extern const GUID IID_IDirectSoundBuffer8;

struct IDirectSoundBuffer : IUnknown {
    virtual HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audio_bytes1, LPVOID* audio2,
                         LPDWORD audio_bytes2, DWORD flags) = 0;
    virtual HRESULT Unlock(LPVOID audio1, DWORD audio_bytes1, LPVOID audio2, DWORD audio_bytes2) = 0;
    virtual HRESULT Play(DWORD reserved1, DWORD priority, DWORD flags) = 0;
    virtual HRESULT Stop() = 0;
};
struct IDirectSoundBuffer8 : IDirectSoundBuffer {};
typedef IDirectSoundBuffer* LPDIRECTSOUNDBUFFER;
typedef IDirectSoundBuffer8* LPDIRECTSOUNDBUFFER8;

struct IDirectSound8 : IUnknown {
    virtual HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD level) = 0;
};
typedef IDirectSound8* LPDIRECTSOUND8;

HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer);
