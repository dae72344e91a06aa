// Our own seeded randomness: every asset must come out byte for byte the same on every run.
#pragma once

#include <cstdint>

namespace assetgen {

// SplitMix64: tiny, fast and fully specified, so the sequence never depends on the standard library.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    float uniform() { return float(next() >> 40) * (1.0f / 16777216.0f); }
    float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return int(next() % uint64_t(n)); }

private:
    uint64_t state_;
};

// Hash of integer lattice coordinates to [0, 1).
float lattice(int32_t x, int32_t y, uint32_t seed);

// Smooth value noise in [0, 1): 1D and 2D.
float value_noise(float x, uint32_t seed);
float value_noise(float x, float y, uint32_t seed);

// Fractal sums of value noise, normalised back to [0, 1).
float fbm(float x, uint32_t seed, int octaves, float gain = 0.5f);
float fbm(float x, float y, uint32_t seed, int octaves, float gain = 0.5f);

}  // namespace assetgen
