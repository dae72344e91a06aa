#include "audio_mixer.h"

#include <algorithm>

#include "settings/sound_levels.h"

namespace audio {

namespace {

// Mixing runs on the audio thread, so it works through a fixed block on the stack.
constexpr size_t block_frames = 256;

int32_t sample_at(const Voice& voice, uint32_t frame, int channel) {
    const SourceFormat& format = voice.format;
    const size_t index = static_cast<size_t>(frame) * format.channels + static_cast<size_t>(channel);
    if (format.bits == 8) return (static_cast<int32_t>(voice.samples[index]) - 128) * 256;
    const uint8_t* bytes = voice.samples + index * 2;
    return static_cast<int16_t>(static_cast<uint16_t>(bytes[0] | (bytes[1] << 8)));
}

// The voice's signal for one output channel at one source frame.
int32_t channel_at(const Voice& voice, uint32_t frame, int out_channel, int out_channels) {
    const int source_channels = voice.format.channels;
    if (source_channels == 1) return sample_at(voice, frame, 0);
    if (out_channels == 1) return (sample_at(voice, frame, 0) + sample_at(voice, frame, 1)) / 2;
    return sample_at(voice, frame, out_channel);
}

// After the last frame a looping voice continues at its first; a one-shot holds its last.
uint32_t following_frame(const Voice& voice, uint32_t frame) {
    if (frame + 1 < voice.frame_count) return frame + 1;
    return voice.looping ? 0 : frame;
}

bool settle_at_end(Voice& voice) {
    const uint64_t length = static_cast<uint64_t>(voice.frame_count) << 32;
    if (voice.position < length) return true;
    if (voice.looping) {
        voice.position %= length;
        return true;
    }
    voice.playing = false;
    voice.position = 0;
    return false;
}

void add_voice(Voice& voice, int32_t* accumulator, size_t frames, OutputFormat format, int gain) {
    const uint64_t step = (static_cast<uint64_t>(voice.format.rate) << 32) / format.rate;
    for (size_t frame = 0; frame < frames; ++frame) {
        if (!settle_at_end(voice)) return;
        const uint32_t whole = static_cast<uint32_t>(voice.position >> 32);
        const int64_t fraction = static_cast<int64_t>(voice.position & 0xFFFFFFFFu);
        const uint32_t next = following_frame(voice, whole);
        for (int channel = 0; channel < format.channels; ++channel) {
            const int64_t a = channel_at(voice, whole, channel, format.channels);
            const int64_t b = channel_at(voice, next, channel, format.channels);
            const int32_t sample = static_cast<int32_t>(a + (((b - a) * fraction) >> 32));
            accumulator[frame * format.channels + channel] += settings::scale_sample(sample, gain);
        }
        voice.position += step;
    }
    settle_at_end(voice);
}

bool usable(const Voice& voice) {
    const SourceFormat& f = voice.format;
    return voice.samples != nullptr && voice.frame_count > 0 && (f.channels == 1 || f.channels == 2) &&
           (f.bits == 8 || f.bits == 16) && f.rate > 0;
}

}  // namespace

void mix(Voice* const* voices, size_t voice_count, int16_t* out, size_t frames, OutputFormat format, Gains gains) {
    if (format.channels < 1 || format.channels > 2 || format.rate == 0) return;
    const size_t channels = static_cast<size_t>(format.channels);
    int32_t accumulator[block_frames * 2];
    while (frames > 0) {
        const size_t count = std::min(frames, block_frames);
        std::fill(accumulator, accumulator + count * channels, 0);
        for (size_t i = 0; i < voice_count; ++i) {
            Voice* voice = voices[i];
            if (voice == nullptr || !voice->playing) continue;
            if (!usable(*voice)) {
                voice->playing = false;
                continue;
            }
            add_voice(*voice, accumulator, count, format, voice->looping ? gains.music : gains.effects);
        }
        for (size_t i = 0; i < count * channels; ++i)
            out[i] = static_cast<int16_t>(std::clamp<int32_t>(accumulator[i], -32768, 32767));
        out += count * channels;
        frames -= count;
    }
}

}  // namespace audio
