#include "assetgen/noise.h"

#include <cmath>

namespace assetgen {

namespace {

uint32_t mix32(uint32_t h)
{
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

float fade(float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); }

}  // namespace

float lattice(int32_t x, int32_t y, uint32_t seed)
{
    uint32_t h = mix32(uint32_t(x) * 0x8DA6B343u ^ mix32(uint32_t(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu));
    return float(h >> 8) * (1.0f / 16777216.0f);
}

float value_noise(float x, uint32_t seed)
{
    float fx = std::floor(x);
    int32_t ix = int32_t(fx);
    float t = fade(x - fx);
    float a = lattice(ix, 0, seed), b = lattice(ix + 1, 0, seed);
    return a + (b - a) * t;
}

float value_noise(float x, float y, uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int32_t ix = int32_t(fx), iy = int32_t(fy);
    float tx = fade(x - fx), ty = fade(y - fy);
    float a = lattice(ix, iy, seed), b = lattice(ix + 1, iy, seed);
    float c = lattice(ix, iy + 1, seed), d = lattice(ix + 1, iy + 1, seed);
    float top = a + (b - a) * tx, bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

float fbm(float x, uint32_t seed, int octaves, float gain)
{
    float sum = 0.0f, amp = 1.0f, norm = 0.0f, freq = 1.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * value_noise(x * freq, seed + uint32_t(i) * 1013u);
        norm += amp;
        amp *= gain;
        freq *= 2.0f;
    }
    return sum / norm;
}

float fbm(float x, float y, uint32_t seed, int octaves, float gain)
{
    float sum = 0.0f, amp = 1.0f, norm = 0.0f, freq = 1.0f;
    for (int i = 0; i < octaves; ++i) {
        // Offsetting each octave keeps lattice points from lining up into visible seams.
        sum += amp * value_noise(x * freq + float(i) * 17.3f, y * freq - float(i) * 9.1f, seed + uint32_t(i) * 1013u);
        norm += amp;
        amp *= gain;
        freq *= 2.0f;
    }
    return sum / norm;
}

}  // namespace assetgen
