// DirectSound 8 over one SDL audio device: every secondary buffer is a voice of our own
// mixer, which the audio thread runs for each small block the device asks for.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <dsound.h>
#include <headless.h>

#include "audio_mixer.h"
#include "com_object.h"
#include "dsound_offline.h"

const GUID IID_IDirectSoundBuffer8 = {0x6825A449, 0x7524, 0x4D82, {0x92, 0x0F, 0x50, 0xE3, 0x6A, 0xB3, 0xAB, 0x1E}};

namespace {

const GUID iid_direct_sound_buffer = {0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID iid_direct_sound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID iid_direct_sound8 = {0xC50A7E93, 0xF395, 0x4834, {0x9E, 0xF6, 0x7F, 0xA9, 0x9D, 0xE5, 0x09, 0x66}};

// Small blocks keep a shot audible in the frame it is fired: 512 frames is under 12 ms.
constexpr Uint16 device_block_frames = 512;
constexpr int device_rate = 44100;

class SoundBuffer;

// What the audio thread and the game thread share. The mutex guards every voice's play
// state and the list of voices to mix; sample data is only written while its buffer is
// locked, and a locked buffer is left out of the mix.
// Some sinks take samples as fast as they come (ALSA's null device never blocks). Left alone,
// the audio thread would then spin, and its constant hold on the mixer's lock would starve the
// game's own calls; so the thread waits whenever it runs well ahead of real time. A real device
// never gets that far ahead, and a thread that falls behind starts counting afresh.
class RealTimePace {
public:
    void wait_for(size_t frames, uint32_t rate) {
        using Clock = std::chrono::steady_clock;
        const Clock::time_point now = Clock::now();
        if (frames_ == 0) since_ = now;
        frames_ += frames;
        const auto played = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(static_cast<double>(frames_) / rate));
        const Clock::duration ahead = since_ + played - now;
        if (ahead > slack) {
            std::this_thread::sleep_for(ahead - slack);
        } else if (ahead < -slack) {
            frames_ = 0;
        }
    }

private:
    static constexpr std::chrono::milliseconds slack{100};
    std::chrono::steady_clock::time_point since_{};
    uint64_t frames_ = 0;
};

struct MixerCore {
    std::mutex mutex;
    RealTimePace pace;  // used by the audio thread alone
    audio::OutputFormat format{2, device_rate};
    std::vector<SoundBuffer*> buffers;
    std::vector<audio::Voice*> mixing;  // the unlocked buffers' voices, rebuilt on every change

    void rebuild_mixing();
    void render(int16_t* out, size_t frames) {
        std::lock_guard<std::mutex> hold(mutex);
        audio::mix(mixing.data(), mixing.size(), out, frames, format);
    }
};

class SoundBuffer final : public platform::RefCounted<IDirectSoundBuffer8> {
public:
    SoundBuffer(std::shared_ptr<MixerCore> core, std::vector<uint8_t> data, const WAVEFORMATEX& format)
        : core_(std::move(core)), data_(std::move(data)) {
        voice_.samples = data_.data();
        voice_.format = {format.nChannels, format.wBitsPerSample, format.nSamplesPerSec};
        const uint32_t frame_bytes = static_cast<uint32_t>(format.nChannels) * (format.wBitsPerSample / 8u);
        voice_.frame_count = static_cast<uint32_t>(data_.size() / frame_bytes);
        voice_.playing = false;
        voice_.looping = false;
        voice_.position = 0;
        frame_bytes_ = frame_bytes;
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object, {&IID_IDirectSoundBuffer8, &iid_direct_sound_buffer});
    }
    ULONG Release() override {
        const ULONG left = --references_;
        if (left == 0) {
            {
                std::lock_guard<std::mutex> hold(core_->mutex);
                auto& list = core_->buffers;
                list.erase(std::remove(list.begin(), list.end(), this), list.end());
                core_->rebuild_mixing();
            }
            delete this;
        }
        return left;
    }

    HRESULT Lock(DWORD offset, DWORD bytes, LPVOID* audio1, LPDWORD audio_bytes1, LPVOID* audio2,
                 LPDWORD audio_bytes2, DWORD flags) override {
        if (audio1 == nullptr || audio_bytes1 == nullptr) return DSERR_INVALIDPARAM;
        const DWORD size = static_cast<DWORD>(data_.size());
        std::lock_guard<std::mutex> hold(core_->mutex);
        if (flags & DSBLOCK_ENTIREBUFFER) {
            offset = 0;
            bytes = size;
        } else if (flags & DSBLOCK_FROMWRITECURSOR) {
            offset = static_cast<DWORD>((voice_.position >> 32) * frame_bytes_);
        }
        if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
        // A region that runs off the end continues at the start, as in a ring.
        const DWORD first = std::min(bytes, size - offset);
        const DWORD second = bytes - first;
        if (second > 0 && (audio2 == nullptr || audio_bytes2 == nullptr)) return DSERR_INVALIDPARAM;
        *audio1 = data_.data() + offset;
        *audio_bytes1 = first;
        if (audio2 != nullptr) *audio2 = second > 0 ? data_.data() : nullptr;
        if (audio_bytes2 != nullptr) *audio_bytes2 = second;
        ++locks_;
        core_->rebuild_mixing();
        return DS_OK;
    }
    HRESULT Unlock(LPVOID, DWORD, LPVOID, DWORD) override {
        std::lock_guard<std::mutex> hold(core_->mutex);
        if (locks_ == 0) return DSERR_INVALIDPARAM;
        --locks_;
        core_->rebuild_mixing();
        return DS_OK;
    }
    HRESULT Play(DWORD reserved1, DWORD, DWORD flags) override {
        if (reserved1 != 0) return DSERR_INVALIDPARAM;
        std::lock_guard<std::mutex> hold(core_->mutex);
        // A buffer already playing carries on from where it is; only its loop mode changes.
        voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
        voice_.playing = true;
        return DS_OK;
    }
    HRESULT Stop() override {
        std::lock_guard<std::mutex> hold(core_->mutex);
        voice_.playing = false;
        return DS_OK;
    }

    audio::Voice* voice() { return &voice_; }
    bool locked() const { return locks_ > 0; }

private:
    ~SoundBuffer() override = default;

    std::shared_ptr<MixerCore> core_;
    std::vector<uint8_t> data_;
    audio::Voice voice_{};
    uint32_t frame_bytes_ = 1;
    int locks_ = 0;
};

void MixerCore::rebuild_mixing() {
    mixing.clear();
    for (SoundBuffer* buffer : buffers)
        if (!buffer->locked()) mixing.push_back(buffer->voice());
}

bool format_supported(const WAVEFORMATEX& format) {
    return format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2) &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nSamplesPerSec >= DSBFREQUENCY_MIN && format.nSamplesPerSec <= DSBFREQUENCY_MAX;
}

class SoundDevice final : public platform::RefCounted<IDirectSound8> {
public:
    explicit SoundDevice(audio::OutputFormat format) : core_(std::make_shared<MixerCore>()) {
        core_->format = format;
    }

    // Opens the default playback device and starts it pulling from the mixer.
    bool open_sdl_device(const char** error) {
        SDL_AudioSpec wanted{};
        wanted.freq = device_rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 2;
        wanted.samples = device_block_frames;
        wanted.callback = &SoundDevice::fill;
        wanted.userdata = core_.get();
        SDL_AudioSpec obtained{};
        // SDL converts the sample format and channels for us; the rate we follow ourselves.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device_ == 0) {
            *error = SDL_GetError();
            return false;
        }
        core_->format = {obtained.channels == 1 ? 1 : 2, static_cast<uint32_t>(obtained.freq)};
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    HRESULT QueryInterface(REFIID riid, void** object) override {
        return platform::answer_query(this, riid, object, {&iid_direct_sound8, &iid_direct_sound});
    }
    HRESULT CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) override {
        if (buffer == nullptr) return DSERR_INVALIDPARAM;
        *buffer = nullptr;
        if (outer != nullptr) return DSERR_NOAGGREGATION;
        // Both record sizes the SDK has known are accepted: with and without the 3D algorithm.
        if (desc == nullptr || (desc->dwSize != sizeof(DSBUFFERDESC) &&
                                desc->dwSize != offsetof(DSBUFFERDESC, guid3DAlgorithm)))
            return DSERR_INVALIDPARAM;
        if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
        if (desc->lpwfxFormat == nullptr) return DSERR_INVALIDPARAM;
        if (!format_supported(*desc->lpwfxFormat)) return DSERR_BADFORMAT;

        SoundBuffer* created = nullptr;
        try {
            // Zeroed rather than left as found, so a buffer that is never filled plays no noise.
            std::vector<uint8_t> data(desc->dwBufferBytes, 0);
            created = new SoundBuffer(core_, std::move(data), *desc->lpwfxFormat);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        {
            std::lock_guard<std::mutex> hold(core_->mutex);
            core_->buffers.push_back(created);
            core_->rebuild_mixing();
        }
        *buffer = created;
        return DS_OK;
    }
    HRESULT SetCooperativeLevel(HWND, DWORD level) override {
        // Every level plays the same here: there is no primary buffer to write.
        if (level < DSSCL_NORMAL || level > 4) return DSERR_INVALIDPARAM;
        return DS_OK;
    }

    MixerCore& core() { return *core_; }

private:
    ~SoundDevice() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    static void fill(void* userdata, Uint8* stream, int length) {
        auto* core = static_cast<MixerCore*>(userdata);
        const size_t frame_bytes = sizeof(int16_t) * static_cast<size_t>(core->format.channels);
        const size_t frames = static_cast<size_t>(length) / frame_bytes;
        core->render(reinterpret_cast<int16_t*>(stream), frames);
        core->pace.wait_for(frames, core->format.rate);
    }

    std::shared_ptr<MixerCore> core_;
    SDL_AudioDeviceID device_ = 0;
};

// Sound libraries probed by SDL (ALSA above all) print their own complaints, several lines
// of them, when there is no sound card. The game says once, in its own words, that it plays
// silent; while the device is sought, stderr goes to /dev/null.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = dup(STDERR_FILENO);
        const int null_device = open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null_device >= 0) dup2(null_device, STDERR_FILENO);
        if (null_device >= 0) close(null_device);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ < 0) return;
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

// The game runs silent without a device; saying why once is enough.
void report_no_device(const char* reason) {
    static bool reported = false;
    if (reported) return;
    reported = true;
    std::fprintf(stderr, "Zorvalen: no sound device (%s); playing silent.\n", reason);
}

}  // namespace

HRESULT WINAPI DirectSoundCreate8(LPCGUID device, LPDIRECTSOUND8* out, LPUNKNOWN outer) {
    if (out == nullptr) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    // Only the default playback device exists here.
    if (device != nullptr && *device != GUID_NULL) return DSERR_NODRIVER;
    // Tests and the replay runner must not depend on, or make, any sound.
    if (headless::mode() != headless::Mode::off) return DSERR_NODRIVER;

    std::string error;
    SoundDevice* created = nullptr;
    {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
        } else {
            created = new SoundDevice({2, device_rate});
            const char* why = "";
            if (!created->open_sdl_device(&why)) {
                error = why;
                created->Release();
                created = nullptr;
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
            }
        }
    }
    if (created == nullptr) {
        report_no_device(error.c_str());
        return DSERR_NODRIVER;
    }
    *out = created;
    return DS_OK;
}

namespace audio {

IDirectSound8* create_offline_device(uint32_t rate, int channels) {
    return new SoundDevice({channels == 1 ? 1 : 2, rate == 0 ? 1u : rate});
}

void render(IDirectSound8* device, int16_t* out, size_t frames) {
    auto* ours = dynamic_cast<SoundDevice*>(device);
    if (ours != nullptr) ours->core().render(out, frames);
}

}  // namespace audio
