// The compositor's kernels: the inner loops over one row of pixels, portable
// (kernels_portable.cpp) and SSE2 (kernels_sse2.cpp, the only file built with SIMD flags), which
// give the same pixels.
#pragma once

#include <cstdint>

#include "pixel_math.h"

namespace platform::compositing {

// A textured quad's texels are first prepared once per texel row (taken through
// the texture stage, and for the additive blend multiplied by their alpha already); each screen
// row then only applies the prepared row to the back buffer. Scaled quads repeat texel rows,
// so most of the work is the apply: a copy, a blend or a saturating add.

// Prepares `count` texels into `out`; for the additive blend, the amount each one adds.
using PrepareKernel = void (*)(const std::uint32_t* texels, std::uint32_t* out, int count, const SpanConstants& k,
                               bool modulated, bool premultiply);
// Spreads a scaled quad's row of staged texels along its pixels: out[i] = staged[index[i] - base].
using SpreadKernel = void (*)(const std::uint32_t* staged, const int* index, int base, std::uint32_t* out,
                              int count);
// Applies a prepared row (or, for an untextured quad, k.solid) to `count` pixels.
using ApplyKernel = void (*)(const std::uint32_t* source, std::uint32_t* destination, int count,
                             const SpanConstants& k);

// Kernel tables; apply and solid are indexed by blend op (none, alpha, add).
struct KernelSet {
    PrepareKernel prepare;
    ApplyKernel apply[3];
    ApplyKernel solid[3];
    SpreadKernel spread;
};

// A spread may read up to this many texels past the last one staged (never using them): whoever
// stages makes room for them.
constexpr int SPREAD_OVERREAD = 8;

// The portable kernels, which the SIMD ones also take for the pixels left over.
void prepare_portable(const std::uint32_t* texels, std::uint32_t* out, int count, const SpanConstants& k,
                      bool modulated, bool premultiply);
void copy_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k);
void alpha_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k);
void add_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k);
void spread_portable(const std::uint32_t* staged, const int* index, int base, std::uint32_t* out, int count);
void fill_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k);
void solid_alpha_portable(const std::uint32_t* source, std::uint32_t* destination, int count,
                          const SpanConstants& k);
void solid_add_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k);
extern const KernelSet portable_kernels;

// The SSE2 kernels, or null where the compiler has no SSE2 for this processor (x86-64 always
// has it; WebAssembly has it through its 128-bit SIMD).
const KernelSet* sse2_kernels();

}  // namespace platform::compositing
