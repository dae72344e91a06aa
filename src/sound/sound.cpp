#include "sound/sound.h"

#include <cstring>
#include <memory>
#include <new>

#include "world/world.h"

// A sound that cannot be loaded is silent: its buffer stays null and every play of it does
// nothing. Nothing is reported; the game plays on.

namespace {

constexpr FOURCC wave_form = mmioFOURCC('W', 'A', 'V', 'E');
constexpr FOURCC format_chunk = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC data_chunk = mmioFOURCC('d', 'a', 't', 'a');

// The oldest files carry only the 16 bytes of a PCMWAVEFORMAT, without the WAVEFORMATEX's
// trailing size field; for PCM that field is zero anyway, so such a chunk is read into a
// zeroed WAVEFORMATEX. Anything shorter cannot describe the samples.
constexpr DWORD smallest_format_chunk = 16;

class OpenWaveFile {
public:
    explicit OpenWaveFile(HMMIO file) : file_(file) {}
    ~OpenWaveFile() {
        if (file_ != nullptr) mmioClose(file_, 0);
    }
    OpenWaveFile(const OpenWaveFile&) = delete;
    OpenWaveFile& operator=(const OpenWaveFile&) = delete;
    HMMIO get() const { return file_; }

private:
    HMMIO file_;
};

// Reads the "fmt " chunk the file is positioned in; null when it does not describe PCM.
std::unique_ptr<BYTE[]> read_format(HMMIO file, const MMCKINFO& chunk) {
    if (chunk.cksize < smallest_format_chunk) return nullptr;
    const DWORD block_size = chunk.cksize > sizeof(WAVEFORMATEX) ? chunk.cksize : DWORD{sizeof(WAVEFORMATEX)};
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[block_size]());
    if (block == nullptr) return nullptr;
    const LONG read = mmioRead(file, reinterpret_cast<HPSTR>(block.get()), static_cast<LONG>(chunk.cksize));
    if (read < static_cast<LONG>(smallest_format_chunk)) return nullptr;
    WAVEFORMATEX format;
    std::memcpy(&format, block.get(), sizeof format);
    if (format.wFormatTag != WAVE_FORMAT_PCM) return nullptr;
    return block;
}

// Fills a locked region with samples from the file; what the file cannot supply is silence.
void fill_samples(HMMIO file, void* target, DWORD length, const WAVEFORMATEX& format) {
    LONG read = mmioRead(file, static_cast<HPSTR>(target), static_cast<LONG>(length));
    if (read < 0) read = 0;
    if (static_cast<DWORD>(read) < length) {
        const int silence = format.wBitsPerSample == 8 ? 0x80 : 0x00;
        std::memset(static_cast<BYTE*>(target) + read, silence, length - static_cast<DWORD>(read));
    }
}

}  // namespace

void init_sound() {
    if (FAILED(DirectSoundCreate8(nullptr, &world.sound_device, nullptr))) world.sound_device = nullptr;
    if (world.sound_device != nullptr) world.sound_device->SetCooperativeLevel(world.main_window, DSSCL_PRIORITY);
}

void load_sound(const char* path, SoundBuffer& sound) {
    if (world.sound_device == nullptr) return;
    OpenWaveFile file(mmioOpenA(const_cast<LPSTR>(path), nullptr, MMIO_ALLOCBUF | MMIO_READ));
    if (file.get() == nullptr) return;

    MMCKINFO riff{};
    if (mmioDescend(file.get(), &riff, nullptr, 0) != MMSYSERR_NOERROR || riff.fccType != wave_form) return;

    MMCKINFO chunk{};
    chunk.ckid = format_chunk;
    if (mmioDescend(file.get(), &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return;
    const std::unique_ptr<BYTE[]> format_block = read_format(file.get(), chunk);
    if (format_block == nullptr) return;
    mmioAscend(file.get(), &chunk, 0);

    // The search starts where the "fmt " chunk ends, so the samples must come after it.
    chunk.ckid = data_chunk;
    if (mmioDescend(file.get(), &chunk, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR) return;

    auto* format = reinterpret_cast<WAVEFORMATEX*>(format_block.get());
    DSBUFFERDESC description{};
    description.dwSize = sizeof(DSBUFFERDESC);
    description.dwFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS;
    description.dwBufferBytes = chunk.cksize;
    description.dwReserved = 0;
    description.lpwfxFormat = format;
    description.guid3DAlgorithm = GUID_NULL;

    IDirectSoundBuffer* first = nullptr;
    if (FAILED(world.sound_device->CreateSoundBuffer(&description, &first, nullptr)) || first == nullptr) return;
    first->QueryInterface(IID_IDirectSoundBuffer8, reinterpret_cast<void**>(&sound.buffer));
    first->Release();
    if (sound.buffer == nullptr) return;

    void* samples = nullptr;
    DWORD length = 0;
    if (SUCCEEDED(sound.buffer->Lock(0, 0, &samples, &length, nullptr, nullptr, DSBLOCK_ENTIREBUFFER)) &&
        samples != nullptr) {
        fill_samples(file.get(), samples, length, *format);
        sound.buffer->Unlock(samples, length, nullptr, 0);
    }
}

void play_sound(const SoundBuffer& sound) {
    if (sound.buffer != nullptr) sound.buffer->Play(0, 0, 0);
}

void play_sound_looped(const SoundBuffer& sound) {
    if (sound.buffer != nullptr) sound.buffer->Play(0, 0, DSBPLAY_LOOPING);
}
