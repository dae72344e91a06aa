// DirectSound's device object and secondary buffers with no sound output of their own: every
// buffer is a voice of our own mixer, and whatever plays the sound (SDL's audio thread, the
// browser's audio callback, a test) pulls mixed blocks from the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <dsound.h>

#include "audio_mixer.h"
#include "com_object.h"

namespace audio {

struct MixerCore;

// Told of every buffer as it is unlocked, with its samples, where a platform wants to know which
// buffer a late sound belongs to (the page's); null elsewhere.
extern void (*buffer_unlocked)(IDirectSoundBuffer8& buffer, const std::uint8_t* samples, std::size_t bytes);

class SoundDevice : public platform::RefCounted<IDirectSound8> {
public:
    explicit SoundDevice(OutputFormat format);

    HRESULT QueryInterface(REFIID riid, void** object) override;
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;

    // The output's real format, once the sound output is open; the mixer converts to it.
    void set_output_format(OutputFormat format);
    OutputFormat output_format() const;
    // Mixes the next frames of output into out (frames × channels samples). Safe to call from
    // another thread than the game's.
    void render(int16_t* out, std::size_t frames);

protected:
    ~SoundDevice() override;

private:
    std::shared_ptr<MixerCore> core_;
};

}  // namespace audio
