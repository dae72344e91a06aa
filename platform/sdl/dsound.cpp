// DirectSound 8 over one SDL audio device: every secondary buffer is a voice of our own
// mixer (dsound_buffers.cpp), which the audio thread runs for each small block the device asks for.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <dsound.h>
#include <headless.h>

#include "dsound_buffers.h"
#include "dsound_offline.h"

namespace {

// Small blocks keep a shot audible in the frame it is fired: 512 frames is under 12 ms.
constexpr Uint16 device_block_frames = 512;
constexpr int device_rate = 44100;

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

// The mixer as the default playback device hears it.
class SdlSoundDevice final : public audio::SoundDevice {
public:
    SdlSoundDevice() : audio::SoundDevice({2, device_rate}) {}

    // Opens the default playback device and starts it pulling from the mixer.
    bool open(const char** error) {
        SDL_AudioSpec wanted{};
        wanted.freq = device_rate;
        wanted.format = AUDIO_S16SYS;
        wanted.channels = 2;
        wanted.samples = device_block_frames;
        wanted.callback = &SdlSoundDevice::fill;
        wanted.userdata = this;
        SDL_AudioSpec obtained{};
        // SDL converts the sample format and channels for us; the rate we follow ourselves.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device_ == 0) {
            *error = SDL_GetError();
            return false;
        }
        set_output_format({obtained.channels == 1 ? 1 : 2, static_cast<uint32_t>(obtained.freq)});
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

private:
    ~SdlSoundDevice() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }

    static void fill(void* userdata, Uint8* stream, int length) {
        auto* device = static_cast<SdlSoundDevice*>(userdata);
        const audio::OutputFormat format = device->output_format();
        const size_t frame_bytes = sizeof(int16_t) * static_cast<size_t>(format.channels);
        const size_t frames = static_cast<size_t>(length) / frame_bytes;
        device->render(reinterpret_cast<int16_t*>(stream), frames);
        device->pace_.wait_for(frames, format.rate);
    }

    RealTimePace pace_;  // used by the audio thread alone
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
    if (headless::mode() != headless::Mode::off) {
        if (!headless::offline_sound()) return DSERR_NODRIVER;
        *out = audio::create_offline_device(device_rate, 2);
        return DS_OK;
    }

    std::string error;
    SdlSoundDevice* created = nullptr;
    {
        QuietStderr quiet;
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = SDL_GetError();
        } else {
            created = new SdlSoundDevice();
            const char* why = "";
            if (!created->open(&why)) {
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
