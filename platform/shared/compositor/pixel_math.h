// The compositor's pixel arithmetic (compositor.h states its rules): Direct3D 9's numbers for
// the states it reads, the one rounding of every product, the texture stage's modulate, the
// three blends and the top-left rule, for one pixel at a time. Every other file of the
// compositor builds on these; the kernels repeat them four pixels at a time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace platform::compositing {

// Direct3D 9's values, as the device hands them on.
inline constexpr std::uint32_t BLEND_ZERO = 1, BLEND_ONE = 2, BLEND_SRCCOLOR = 3, BLEND_INVSRCCOLOR = 4,
                        BLEND_SRCALPHA = 5, BLEND_INVSRCALPHA = 6, BLEND_DESTALPHA = 7, BLEND_INVDESTALPHA = 8,
                        BLEND_DESTCOLOR = 9, BLEND_INVDESTCOLOR = 10;
inline constexpr std::uint32_t OP_SELECTARG1 = 2, OP_SELECTARG2 = 3, OP_MODULATE = 4;  // and 1, disable: the default
inline constexpr std::uint32_t ARG_TEXTURE = 2, ARG_SELECT_MASK = 0xF;
inline constexpr std::uint32_t ADDRESS_MIRROR = 2, ADDRESS_CLAMP = 3;

// round(x / 255) for 0 <= x <= 255 x 255, exactly: the one rounding of every product here.
inline std::uint32_t div255(std::uint32_t x) { return ((x + 128) * 257) >> 16; }

inline std::uint32_t channel(std::uint32_t argb, int index) { return (argb >> (8 * index)) & 0xFF; }

// How the source colour comes from the texel and the diffuse colour, for the fast paths:
// texel OR or_mask (channels that read as 255), times k per channel (255: unchanged).
struct SpanConstants {
    std::uint32_t or_mask = 0;
    std::uint32_t k[4] = {255, 255, 255, 255};  // blue, green, red, alpha
    std::uint32_t solid = 0;                    // the source colour of an untextured quad
};

enum class BlendOp { none, alpha, add, general };

inline std::uint32_t modulate(std::uint32_t texel, const std::uint32_t k[4]) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) out |= div255(channel(texel, c) * k[c]) << (8 * c);
    return out;
}

inline std::uint32_t blend_alpha(std::uint32_t source, std::uint32_t destination) {
    const std::uint32_t a = source >> 24;
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c)
        out |= div255(channel(source, c) * a + channel(destination, c) * (255 - a)) << (8 * c);
    return out;
}

inline std::uint32_t blend_add(std::uint32_t source, std::uint32_t destination) {
    const std::uint32_t a = source >> 24;
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c)
        out |= std::min<std::uint32_t>(255, div255(channel(source, c) * a) + channel(destination, c)) << (8 * c);
    return out;
}

// The factor for one channel (index 3 is alpha, which takes the colour factors' alpha).
inline std::uint32_t factor(std::uint32_t blend, std::uint32_t source, std::uint32_t destination, int c) {
    const int ac = 3;
    switch (blend) {
    case BLEND_ZERO: return 0;
    case BLEND_SRCCOLOR: return channel(source, c == 3 ? ac : c);
    case BLEND_INVSRCCOLOR: return 255 - channel(source, c == 3 ? ac : c);
    case BLEND_SRCALPHA: return channel(source, ac);
    case BLEND_INVSRCALPHA: return 255 - channel(source, ac);
    case BLEND_DESTALPHA: return channel(destination, ac);
    case BLEND_INVDESTALPHA: return 255 - channel(destination, ac);
    case BLEND_DESTCOLOR: return channel(destination, c == 3 ? ac : c);
    case BLEND_INVDESTCOLOR: return 255 - channel(destination, c == 3 ? ac : c);
    default: return 255;  // D3DBLEND_ONE and anything the subset does not name
    }
}

inline std::uint32_t blend_general(std::uint32_t source, std::uint32_t destination, std::uint32_t source_blend,
                                   std::uint32_t destination_blend) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) {
        const std::uint32_t sum = channel(source, c) * factor(source_blend, source, destination, c) +
                                  channel(destination, c) * factor(destination_blend, source, destination, c);
        out |= (sum >= 255 * 255 ? 255 : div255(sum)) << (8 * c);
    }
    return out;
}

inline std::uint32_t premultiplied(std::uint32_t s) {
    const std::uint32_t a = s >> 24;
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) out |= div255(channel(s, c) * a) << (8 * c);
    return out;
}

inline std::uint32_t add_saturated(std::uint32_t p, std::uint32_t d) {
    std::uint32_t out = 0;
    for (int c = 0; c < 4; ++c) out |= std::min<std::uint32_t>(255, channel(p, c) + channel(d, c)) << (8 * c);
    return out;
}

// The first pixel whose centre is at or after `edge` (top-left rule), clamped to 0 .. limit.
inline int first_pixel_at(double edge, int limit) {
    if (!(edge > 0.0)) return 0;  // NaN too
    if (edge >= limit) return limit;
    return static_cast<int>(std::ceil(edge));
}

}  // namespace platform::compositing
