// Floating-point RGBA canvases that every picture is painted on before it is quantised to 8 bits.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace assetgen {

// Straight (not premultiplied) colour, each channel 0..1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

constexpr Rgba rgb(float r, float g, float b, float a = 1.0f) { return {r, g, b, a}; }

// 0xRRGGBB, for palettes written the way an artist reads them.
constexpr Rgba hex(uint32_t v, float a = 1.0f)
{
    return {float((v >> 16) & 255) / 255.0f, float((v >> 8) & 255) / 255.0f, float(v & 255) / 255.0f, a};
}

inline float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }
inline float lerp(float a, float b, float t) { return a + (b - a) * t; }
inline float smoothstep(float e0, float e1, float x)
{
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

inline Rgba mix(Rgba a, Rgba b, float t)
{
    return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t), lerp(a.a, b.a, t)};
}
inline Rgba scale_rgb(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
inline Rgba with_alpha(Rgba c, float a) { return {c.r, c.g, c.b, a}; }

// Picks a colour from a list of evenly spaced stops, t in 0..1.
Rgba ramp(const std::vector<Rgba>& stops, float t);

class Image {
public:
    Image() = default;
    Image(int w, int h, Rgba fill = {}) : w_(w), h_(h), px_(size_t(w) * size_t(h), fill) {}

    int width() const { return w_; }
    int height() const { return h_; }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < w_ && y < h_; }

    Rgba& at(int x, int y) { return px_[size_t(y) * size_t(w_) + size_t(x)]; }
    const Rgba& at(int x, int y) const { return px_[size_t(y) * size_t(w_) + size_t(x)]; }

    // Porter-Duff "over" with straight alpha; the source's alpha is multiplied by coverage.
    void blend(int x, int y, Rgba src, float coverage = 1.0f);
    // Adds light: brightens colour and raises alpha, the way glows and flames should combine.
    void add(int x, int y, Rgba light, float amount);

    // Draws another image with its top-left at (x, y), optionally scaled by an integer factor.
    void draw(const Image& src, int x, int y, int scale = 1);
    // Bilinear resample to an arbitrary size (used for previews, never for the game's files).
    Image resized(int w, int h) const;

    // 8-bit RGBA, rows top first, rounded.
    std::vector<uint8_t> rgba8() const;

private:
    int w_ = 0, h_ = 0;
    std::vector<Rgba> px_;
};

}  // namespace assetgen
