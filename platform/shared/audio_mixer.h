// The software mixer behind the DirectSound buffers: a pure function from the playing
// voices to one block of device samples. No SDL, no locking; the caller owns both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace audio {

// Sample layout of a voice's data as the game stored it: PCM, 8-bit unsigned or 16-bit
// signed little-endian, one or two interleaved channels, any rate.
struct SourceFormat {
    uint16_t channels;
    uint16_t bits;
    uint32_t rate;
};

// One DirectSound buffer as the mixer sees it. Position counts source frames in 32.32
// fixed point, so any rate maps onto the device's without drift.
struct Voice {
    const uint8_t* samples;
    uint32_t frame_count;
    SourceFormat format;
    bool playing;
    bool looping;
    uint64_t position;
};

// The device side: interleaved signed 16-bit samples.
struct OutputFormat {
    int channels;  // 1 or 2
    uint32_t rate;
};

constexpr uint64_t frame_one = uint64_t{1} << 32;

// How loud the looping voices (the music) and the others (the effects) play, in ten-thousandths
// (settings::find_voice_gain); each sample is scaled by settings::scale_sample's rounding rule.
struct Gains {
    int music = 10000;
    int effects = 10000;
};

// Writes frames × channels samples to out: the sum of every playing voice, converted to the
// output's rate (linear interpolation) and channel count, scaled by its gain, saturated to 16
// bits. Voices advance; a one-shot that reaches its end stops and rewinds to its start, a
// looping voice wraps. With no voice playing the block is silence.
void mix(Voice* const* voices, size_t voice_count, int16_t* out, size_t frames, OutputFormat format,
         Gains gains = {});

}  // namespace audio
