// A DirectSound device with no sound card behind it, for tests and tools, on every backend:
// buffers are created, locked and played exactly as on the real device, and the caller pulls
// the mixed output instead of an audio thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include <dsound.h>

namespace audio {

// A new device object (one reference) mixing to interleaved 16-bit at this rate and channel count.
IDirectSound8* create_offline_device(uint32_t rate, int channels);

// Mixes the next frames of a device's output into out (frames × channels samples), as the
// audio thread would. Does nothing for a device that is not one of ours.
void render(IDirectSound8* device, int16_t* out, size_t frames);

// The rate and channel count a device of ours mixes to; false for any other device.
bool output_format(IDirectSound8* device, uint32_t& rate, int& channels);

}  // namespace audio
