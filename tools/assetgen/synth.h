// Small building blocks for the sound generators.
#pragma once

#include <cmath>

namespace assetgen::synth {

constexpr float kTwoPi = 6.28318530717959f;

inline float midi_hz(float note) { return 440.0f * std::pow(2.0f, (note - 69.0f) / 12.0f); }

// Softens the jump of a naive saw or square so that high notes do not alias into hiss.
inline float poly_blep(float t, float dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0f;
    }
    if (t > 1.0f - dt) {
        t = (t - 1.0f) / dt;
        return t * t + t + t + 1.0f;
    }
    return 0.0f;
}

// Phase in 0..1 advancing by dt (frequency / sample rate) per sample.
struct Phase {
    float t = 0.0f;
    float advance(float dt)
    {
        float now = t;
        t += dt;
        t -= std::floor(t);
        return now;
    }
};

inline float saw(float t, float dt) { return 2.0f * t - 1.0f - poly_blep(t, dt); }

inline float square(float t, float dt, float duty = 0.5f)
{
    float v = t < duty ? 1.0f : -1.0f;
    v += poly_blep(t, dt);
    float t2 = t + (1.0f - duty);
    t2 -= std::floor(t2);
    return v - poly_blep(t2, dt);
}

inline float triangle(float t) { return 4.0f * std::fabs(t - 0.5f) - 1.0f; }

// One-pole low-pass; cutoff in Hz.
struct LowPass {
    float y = 0.0f;
    float run(float x, float cutoff, float rate)
    {
        float a = 1.0f - std::exp(-kTwoPi * cutoff / rate);
        y += a * (x - y);
        return y;
    }
};

// State-variable filter (band-pass output), for resonant whooshes.
struct BandPass {
    float low = 0.0f, band = 0.0f;
    float run(float x, float cutoff, float q, float rate)
    {
        float f = 2.0f * std::sin(3.14159265f * std::min(cutoff, rate / 6.0f) / rate);
        low += f * band;
        float high = x - low - band / q;
        band += f * high;
        return band;
    }
};

}  // namespace assetgen::synth
