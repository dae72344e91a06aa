// The game's sounds: three effects and a looping music track, synthesised from scratch.
#pragma once

#include <cstdint>
#include <vector>

namespace assetgen {

constexpr int kSampleRate = 44100;

// 16-bit mono PCM.
struct Sound {
    int rate = kSampleRate;
    std::vector<int16_t> samples;
    double seconds() const { return double(samples.size()) / double(rate); }
};

Sound make_shot_sound();       // "bullet.wav"
Sound make_rocket_sound();     // "rocket.wav"
Sound make_explosion_sound();  // "explodies.wav"
Sound make_music();            // "bgmusic.wav", loops seamlessly from its last sample to its first

// RIFF/WAVE: a "fmt " chunk (PCM) followed by a "data" chunk.
std::vector<uint8_t> encode_wav(const Sound& sound);

// Float samples to 16 bits, scaled so the loudest sample reaches `peak` (0..1 of full scale).
Sound to_pcm(const std::vector<float>& signal, float peak);

}  // namespace assetgen
