#include "texture_stage.h"

namespace platform::compositing {

namespace {

// What one argument of stage 0 reads: the texel, or the diffuse colour (which is also what
// "current" holds at the first stage; arguments outside the subset read it too).
bool reads_texel(std::uint32_t argument) { return (argument & ARG_SELECT_MASK) == ARG_TEXTURE; }

std::uint32_t combine_channel(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2, std::uint32_t texel,
                              std::uint32_t diffuse) {
    const std::uint32_t first = reads_texel(arg1) ? texel : diffuse;
    const std::uint32_t second = reads_texel(arg2) ? texel : diffuse;
    switch (op) {
    case OP_MODULATE: return div255(first * second);
    case OP_SELECTARG1: return first;
    case OP_SELECTARG2: return second;
    default: return diffuse;
    }
}

}  // namespace

BlendOp blend_op(const DrawStates& states) {
    if (!states.blend) return BlendOp::none;
    const std::uint32_t s = states.source_blend, d = states.destination_blend;
    if (s == BLEND_ONE && d == BLEND_ZERO) return BlendOp::none;
    if (s == BLEND_SRCALPHA && d == BLEND_INVSRCALPHA) return BlendOp::alpha;
    if (s == BLEND_SRCALPHA && d == BLEND_ONE) return BlendOp::add;
    return BlendOp::general;
}

// One channel group's operation as (texel used, diffuse used); false when it is texel x texel
// or diffuse x diffuse, which only the general path evaluates.
bool decode(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2, bool& texel, bool& diffuse) {
    switch (op) {
    case OP_MODULATE:
        if (reads_texel(arg1) == reads_texel(arg2)) return false;
        texel = diffuse = true;
        return true;
    case OP_SELECTARG1:
        texel = reads_texel(arg1);
        diffuse = !texel;
        return true;
    case OP_SELECTARG2:
        texel = reads_texel(arg2);
        diffuse = !texel;
        return true;
    default:  // D3DTOP_DISABLE at stage 0, and operations outside the subset: the diffuse colour
        texel = false;
        diffuse = true;
        return true;
    }
}

// Stage 0 in full, for the general path.
std::uint32_t combine(const DrawStates& states, std::uint32_t texel, std::uint32_t diffuse) {
    std::uint32_t out = 0;
    for (int c = 0; c < 3; ++c)
        out |= combine_channel(states.colour_op, states.colour_arg1, states.colour_arg2, channel(texel, c),
                               channel(diffuse, c))
               << (8 * c);
    out |= combine_channel(states.alpha_op, states.alpha_arg1, states.alpha_arg2, channel(texel, 3),
                           channel(diffuse, 3))
           << 24;
    return out;
}

std::uint32_t blend(BlendOp op, const DrawStates& states, std::uint32_t source, std::uint32_t destination) {
    switch (op) {
    case BlendOp::none: return source;
    case BlendOp::alpha: return blend_alpha(source, destination);
    case BlendOp::add: return blend_add(source, destination);
    default: return blend_general(source, destination, states.source_blend, states.destination_blend);
    }
}

// The texel index along one axis for a texture coordinate: scaled by the size, snapped to 8
// bits of sub-texel precision, floored, then put inside the texture by the address mode.
int texel_index(double coordinate, int size, std::uint32_t address) {
    constexpr double LIMIT = 1e15;
    double scaled = coordinate * size * 256.0;
    if (!(scaled > -LIMIT)) scaled = -LIMIT;  // NaN too
    if (scaled > LIMIT) scaled = LIMIT;
    const std::int64_t index = static_cast<std::int64_t>(std::floor(scaled + 0.5)) >> 8;
    if (address == ADDRESS_CLAMP || address > ADDRESS_CLAMP)
        return static_cast<int>(std::clamp<std::int64_t>(index, 0, size - 1));
    if (address == ADDRESS_MIRROR) {
        const std::int64_t period = 2 * static_cast<std::int64_t>(size);
        std::int64_t m = index % period;
        if (m < 0) m += period;
        return static_cast<int>(m < size ? m : period - 1 - m);
    }
    std::int64_t m = index % size;
    if (m < 0) m += size;
    return static_cast<int>(m);
}

const TextureView* usable(const TextureView* texture) {
    if (texture == nullptr || texture->pixels == nullptr || texture->width <= 0 || texture->height <= 0 ||
        texture->pitch < texture->width)
        return nullptr;
    return texture;
}

// The stage as span constants: which channels take the diffuse colour, which read as 255.
SpanConstants span_constants(bool colour_texel, bool colour_diffuse, bool alpha_texel, bool alpha_diffuse,
                             bool opaque_texels, std::uint32_t diffuse) {
    SpanConstants k;
    for (int c = 0; c < 4; ++c) {
        const bool reads_diffuse = c == 3 ? alpha_diffuse : colour_diffuse;
        const bool reads_texture = c == 3 ? alpha_texel : colour_texel;
        k.k[c] = reads_diffuse ? channel(diffuse, c) : 255;
        if (!reads_texture) k.or_mask |= 0xFFu << (8 * c);
    }
    if (opaque_texels) k.or_mask |= 0xFF000000u;
    k.solid = modulate(0xFFFFFFFFu, k.k);
    return k;
}

}  // namespace platform::compositing
