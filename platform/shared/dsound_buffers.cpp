// DirectSound buffers as voices of our own mixer. The game thread creates, locks and plays
// buffers; the sound output's thread (if it has one) mixes them.
#include "dsound_buffers.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "replays/replay_session.h"
#include "settings/sound_levels.h"
#include "dsound_offline.h"

const GUID IID_IDirectSoundBuffer8 = {0x6825A449, 0x7524, 0x4D82, {0x92, 0x0F, 0x50, 0xE3, 0x6A, 0xB3, 0xAB, 0x1E}};

namespace audio {

void (*buffer_unlocked)(IDirectSoundBuffer8&, const std::uint8_t*, std::size_t) = nullptr;

namespace {

const GUID iid_direct_sound_buffer = {0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID iid_direct_sound = {0x279AFA83, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID iid_direct_sound8 = {0xC50A7E93, 0xF395, 0x4834, {0x9E, 0xF6, 0x7F, 0xA9, 0x9D, 0xE5, 0x09, 0x66}};

class SoundBuffer;

}  // namespace

// What the output's thread and the game thread share. The mutex guards every voice's play
// state and the list of voices to mix; sample data is only written while its buffer is
// locked, and a locked buffer is left out of the mix.
struct MixerCore {
    std::mutex mutex;
    OutputFormat format{2, 44100};
    std::vector<SoundBuffer*> buffers;
    std::vector<Voice*> mixing;  // the unlocked buffers' voices, rebuilt on every change

    void rebuild_mixing();
    void render(int16_t* out, size_t frames) {
        // A replay held on one frame holds its sound too, music and all, where it stands.
        if (replays::sound_held()) {
            std::fill(out, out + frames * static_cast<size_t>(format.channels), int16_t{0});
            return;
        }
        // The player's levels as they stand: the volume keys take effect at the next block.
        const settings::SoundLevels levels = settings::read_live_levels();
        const Gains gains{settings::find_voice_gain(levels, true), settings::find_voice_gain(levels, false)};
        std::lock_guard<std::mutex> hold(mutex);
        mix(mixing.data(), mixing.size(), out, frames, format, gains);
    }
};

namespace {

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
        {
            std::lock_guard<std::mutex> hold(core_->mutex);
            if (locks_ == 0) return DSERR_INVALIDPARAM;
            --locks_;
            core_->rebuild_mixing();
        }
        if (buffer_unlocked != nullptr) buffer_unlocked(*this, data_.data(), data_.size());
        return DS_OK;
    }
    HRESULT Play(DWORD reserved1, DWORD, DWORD flags) override {
        if (reserved1 != 0) return DSERR_INVALIDPARAM;
        // A replay's unseen or repeated frames start no sound.
        if (replays::effects_muted()) return DS_OK;
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

    Voice* voice() { return &voice_; }
    bool locked() const { return locks_ > 0; }

private:
    ~SoundBuffer() override = default;

    std::shared_ptr<MixerCore> core_;
    std::vector<uint8_t> data_;
    Voice voice_{};
    uint32_t frame_bytes_ = 1;
    int locks_ = 0;
};

bool format_supported(const WAVEFORMATEX& format) {
    return format.wFormatTag == WAVE_FORMAT_PCM && (format.nChannels == 1 || format.nChannels == 2) &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) &&
           format.nSamplesPerSec >= DSBFREQUENCY_MIN && format.nSamplesPerSec <= DSBFREQUENCY_MAX;
}

}  // namespace

void MixerCore::rebuild_mixing() {
    mixing.clear();
    for (SoundBuffer* buffer : buffers)
        if (!buffer->locked()) mixing.push_back(buffer->voice());
}

SoundDevice::SoundDevice(OutputFormat format) : core_(std::make_shared<MixerCore>()) { core_->format = format; }

SoundDevice::~SoundDevice() = default;

HRESULT SoundDevice::QueryInterface(REFIID riid, void** object) {
    return platform::answer_query(this, riid, object, {&iid_direct_sound8, &iid_direct_sound});
}

HRESULT SoundDevice::CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer, LPUNKNOWN outer) {
    if (buffer == nullptr) return DSERR_INVALIDPARAM;
    *buffer = nullptr;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    // Both record sizes the SDK has known are accepted: with and without the 3D algorithm.
    if (desc == nullptr ||
        (desc->dwSize != sizeof(DSBUFFERDESC) && desc->dwSize != offsetof(DSBUFFERDESC, guid3DAlgorithm)))
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

HRESULT SoundDevice::SetCooperativeLevel(HWND, DWORD level) {
    // Every level plays the same here: there is no primary buffer to write.
    if (level < DSSCL_NORMAL || level > 4) return DSERR_INVALIDPARAM;
    return DS_OK;
}

void SoundDevice::set_output_format(OutputFormat format) {
    std::lock_guard<std::mutex> hold(core_->mutex);
    core_->format = format;
}

OutputFormat SoundDevice::output_format() const {
    std::lock_guard<std::mutex> hold(core_->mutex);
    return core_->format;
}

void SoundDevice::render(int16_t* out, size_t frames) { core_->render(out, frames); }

IDirectSound8* create_offline_device(uint32_t rate, int channels) {
    return new SoundDevice({channels == 1 ? 1 : 2, rate == 0 ? 1u : rate});
}

void render(IDirectSound8* device, int16_t* out, size_t frames) {
    auto* ours = dynamic_cast<SoundDevice*>(device);
    if (ours != nullptr) ours->render(out, frames);
}

bool output_format(IDirectSound8* device, uint32_t& rate, int& channels) {
    auto* ours = dynamic_cast<SoundDevice*>(device);
    if (ours == nullptr) return false;
    const OutputFormat format = ours->output_format();
    rate = format.rate;
    channels = format.channels;
    return true;
}

}  // namespace audio
