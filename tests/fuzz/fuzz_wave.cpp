// The RIFF/WAVE path: our mmio functions walk the file, load_sound fills a software
// DirectSound buffer from it, and one mixer block of that buffer is played.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "audio_mixer.h"
#include "dsound_offline.h"
#include "scratch_file.h"
#include "sound/sound.h"
#include "world/world.h"

namespace {

constexpr size_t block_frames = 512;
int16_t block[block_frames * 2];

[[noreturn]] void broken(const char* what, unsigned long value) {
    std::fprintf(stderr, "wave invariant broken: %s (%lu)\n", what, value);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    world.sound_device = audio::create_offline_device(44100, 2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::write_scratch(data, size);
    SoundBuffer sound{};
    load_sound(fuzz::scratch_path(), sound);
    if (sound.buffer == nullptr) return 0;

    // The samples can only have come from the file: the buffer is never larger than it.
    void* samples = nullptr;
    DWORD length = 0;
    if (FAILED(sound.buffer->Lock(0, 0, &samples, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER)))
        broken("a loaded buffer cannot be locked", 0);
    sound.buffer->Unlock(samples, length, nullptr, 0);
    if (length == 0 || length > size) broken("buffer bytes beyond the file's size", length);

    play_sound(sound);
    audio::render(world.sound_device, block, block_frames);
    play_sound_looped(sound);
    audio::render(world.sound_device, block, block_frames);
    sound.buffer->Release();
    return 0;
}
