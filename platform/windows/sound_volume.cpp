// Windows only, linked into the exe alone: the player's volume on the real DirectSound. The exe is
// linked with --wrap=DirectSoundCreate8, so the game's call comes here first; the device it gets
// back is the real one behind a thin wrapper, whose buffers are the real ones behind another,
// each setting its own volume from the levels in force: the music (the buffer played looping) at
// master × music, every other sound at master × effects, in DirectSound's decibels
// (settings::convert_to_directsound_volume). Everything else passes straight through, and the
// game's own calls are unchanged; it asks for the volume control on every buffer.
#ifdef _WIN32

#include <windows.h>

#include <dsound.h>

#include <algorithm>
#include <vector>

#include "com_wrapper.h"
#include "settings/sound_levels.h"
#include "exe_options.h"

extern "C" HRESULT WINAPI __real_DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer);

namespace {

class VolumeBuffer;
std::vector<VolumeBuffer*> live_buffers;  // the game's thread alone makes, plays and releases them

class VolumeBuffer final : public ComWrapper<VolumeBuffer, IDirectSoundBuffer8> {
public:
    explicit VolumeBuffer(IDirectSoundBuffer8* inner) : ComWrapper(inner) { live_buffers.push_back(this); }
    ~VolumeBuffer() { live_buffers.erase(std::remove(live_buffers.begin(), live_buffers.end(), this), live_buffers.end()); }

    IDirectSoundBuffer8* inner() const { return inner_; }

    // The levels in force, over whatever volume the game itself set.
    void apply_levels() {
        const long ours = settings::convert_to_directsound_volume(
            settings::find_voice_gain(settings::read_live_levels(), looping_));
        inner_->SetVolume(std::clamp<long>(game_volume_ + ours, DSBVOLUME_MIN, DSBVOLUME_MAX));
    }

    static bool answers(REFIID riid) { return riid == IID_IDirectSoundBuffer || riid == IID_IDirectSoundBuffer8; }

    HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override { return inner_->GetCaps(caps); }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        return inner_->GetCurrentPosition(play, write);
    }
    HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX format, DWORD size, LPDWORD written) override {
        return inner_->GetFormat(format, size, written);
    }
    HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) override {
        if (volume == nullptr) return DSERR_INVALIDPARAM;
        *volume = game_volume_;
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPan(LPLONG pan) override { return inner_->GetPan(pan); }
    HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD frequency) override { return inner_->GetFrequency(frequency); }
    HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override { return inner_->GetStatus(status); }
    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND sound, LPCDSBUFFERDESC desc) override {
        return inner_->Initialize(sound, desc);
    }
    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD bytes1, LPVOID* audio2,
                                   LPDWORD bytes2, DWORD flags) override {
        return inner_->Lock(offset, bytes, audio1, bytes1, audio2, bytes2, flags);
    }
    HRESULT STDMETHODCALLTYPE Play(DWORD reserved1, DWORD priority, DWORD flags) override {
        looping_ = (flags & DSBPLAY_LOOPING) != 0;
        apply_levels();
        return inner_->Play(reserved1, priority, flags);
    }
    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override { return inner_->SetCurrentPosition(position); }
    HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX format) override { return inner_->SetFormat(format); }
    HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override {
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        game_volume_ = volume;
        apply_levels();
        return DS_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override { return inner_->SetPan(pan); }
    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD frequency) override { return inner_->SetFrequency(frequency); }
    HRESULT STDMETHODCALLTYPE Stop() override { return inner_->Stop(); }
    HRESULT STDMETHODCALLTYPE Unlock(LPVOID audio1, DWORD bytes1, LPVOID audio2, DWORD bytes2) override {
        return inner_->Unlock(audio1, bytes1, audio2, bytes2);
    }
    HRESULT STDMETHODCALLTYPE Restore() override { return inner_->Restore(); }
    HRESULT STDMETHODCALLTYPE SetFX(DWORD count, LPDSEFFECTDESC effects, LPDWORD results) override {
        return inner_->SetFX(count, effects, results);
    }
    HRESULT STDMETHODCALLTYPE AcquireResources(DWORD flags, DWORD count, LPDWORD results) override {
        return inner_->AcquireResources(flags, count, results);
    }
    HRESULT STDMETHODCALLTYPE GetObjectInPath(REFGUID object, DWORD index, REFGUID interface_id,
                                              LPVOID* out) override {
        return inner_->GetObjectInPath(object, index, interface_id, out);
    }

private:
    bool looping_ = false;
    LONG game_volume_ = DSBVOLUME_MAX;
};

// The buffer the real device made, behind our own; the reference to the first is handed on.
HRESULT wrap_buffer(HRESULT made, LPDIRECTSOUNDBUFFER* buffer) {
    if (FAILED(made) || buffer == nullptr || *buffer == nullptr) return made;
    IDirectSoundBuffer8* inner = nullptr;
    // A buffer without the version 8 interface (none that DirectSound 8 makes) is left as it came.
    if (FAILED((*buffer)->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&inner)))) return made;
    (*buffer)->Release();
    *buffer = reinterpret_cast<LPDIRECTSOUNDBUFFER>(static_cast<IDirectSoundBuffer8*>(new VolumeBuffer(inner)));
    return made;
}

class VolumeDevice final : public ComWrapper<VolumeDevice, IDirectSound8> {
public:
    explicit VolumeDevice(IDirectSound8* inner) : ComWrapper(inner) {}

    static bool answers(REFIID riid) { return riid == IID_IDirectSound || riid == IID_IDirectSound8; }

    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPLPDIRECTSOUNDBUFFER buffer,
                                                IUnknown* outer) override {
        // The primary buffer is the device's own, and has no volume of a sound's.
        if (desc == nullptr || (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0)
            return inner_->CreateSoundBuffer(desc, buffer, outer);
        DSBUFFERDESC with_volume = *desc;
        with_volume.dwFlags |= DSBCAPS_CTRLVOLUME;
        return wrap_buffer(inner_->CreateSoundBuffer(&with_volume, buffer, outer), buffer);
    }
    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override { return inner_->GetCaps(caps); }
    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                   LPLPDIRECTSOUNDBUFFER duplicate) override {
        for (VolumeBuffer* ours : live_buffers) {
            if (reinterpret_cast<LPDIRECTSOUNDBUFFER>(static_cast<IDirectSoundBuffer8*>(ours)) != original) continue;
            original = reinterpret_cast<LPDIRECTSOUNDBUFFER>(ours->inner());
            return wrap_buffer(inner_->DuplicateSoundBuffer(original, duplicate), duplicate);
        }
        return inner_->DuplicateSoundBuffer(original, duplicate);
    }
    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD level) override {
        return inner_->SetCooperativeLevel(window, level);
    }
    HRESULT STDMETHODCALLTYPE Compact() override { return inner_->Compact(); }
    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override { return inner_->GetSpeakerConfig(config); }
    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override { return inner_->SetSpeakerConfig(config); }
    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID device) override { return inner_->Initialize(device); }
    HRESULT STDMETHODCALLTYPE VerifyCertification(LPDWORD certified) override {
        return inner_->VerifyCertification(certified);
    }
};

}  // namespace

extern "C" HRESULT WINAPI __wrap_DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer) {
    const HRESULT made = __real_DirectSoundCreate8(device, out, outer);
    if (SUCCEEDED(made) && out != nullptr && *out != nullptr) *out = new VolumeDevice(*out);
    return made;
}

namespace windows_exe {

void apply_sound_levels() {
    for (VolumeBuffer* buffer : live_buffers) buffer->apply_levels();
}

}  // namespace windows_exe

#endif
