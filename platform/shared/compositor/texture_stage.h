// Texture stage 0 and the blend as Direct3D 9 defines them, for the compositor's paths: which
// of its fast paths a draw's states take, and the full stage and blend for the pixels that take
// none. Texture coordinates to texels, by the sampler's address mode.
#pragma once

#include <cstdint>

#include "compositor.h"
#include "pixel_math.h"

namespace platform::compositing {

BlendOp blend_op(const DrawStates& states);
// One channel group's operation as (texel used, diffuse used); false when it is texel x texel
// or diffuse x diffuse, which only the general path evaluates.
bool decode(std::uint32_t op, std::uint32_t arg1, std::uint32_t arg2, bool& texel, bool& diffuse);
// Stage 0 in full, for the general path.
std::uint32_t combine(const DrawStates& states, std::uint32_t texel, std::uint32_t diffuse);
std::uint32_t blend(BlendOp op, const DrawStates& states, std::uint32_t source, std::uint32_t destination);
// The stage as span constants: which channels take the diffuse colour, which read as 255.
SpanConstants span_constants(bool colour_texel, bool colour_diffuse, bool alpha_texel, bool alpha_diffuse,
                             bool opaque_texels, std::uint32_t diffuse);
// The texel index along one axis for a texture coordinate: scaled by the size, snapped to 8
// bits of sub-texel precision, floored, then put inside the texture by the address mode.
int texel_index(double coordinate, int size, std::uint32_t address);
// The texture, or null when there is none or it has no pixels to read.
const TextureView* usable(const TextureView* texture);

}  // namespace platform::compositing
