// The portable kernels: one pixel at a time, in plain C++.
#include <algorithm>
#include <cstring>

#include "kernels.h"

namespace platform::compositing {

void prepare_portable(const std::uint32_t* texels, std::uint32_t* out, int count, const SpanConstants& k,
                      bool modulated, bool premultiply) {
    for (int i = 0; i < count; ++i) {
        std::uint32_t s = texels[i] | k.or_mask;
        if (modulated) s = modulate(s, k.k);
        if (premultiply) s = premultiplied(s);
        out[i] = s;
    }
}

void copy_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants&) {
    std::memcpy(destination, source, sizeof(std::uint32_t) * static_cast<std::size_t>(count));
}
void alpha_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants&) {
    for (int i = 0; i < count; ++i) destination[i] = blend_alpha(source[i], destination[i]);
}
void add_portable(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants&) {
    for (int i = 0; i < count; ++i) destination[i] = add_saturated(source[i], destination[i]);
}
void spread_portable(const std::uint32_t* staged, const int* index, int base, std::uint32_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = staged[index[i] - base];
}
void fill_portable(const std::uint32_t*, std::uint32_t* destination, int count, const SpanConstants& k) {
    std::fill(destination, destination + count, k.solid);
}
void solid_alpha_portable(const std::uint32_t*, std::uint32_t* destination, int count, const SpanConstants& k) {
    for (int i = 0; i < count; ++i) destination[i] = blend_alpha(k.solid, destination[i]);
}
void solid_add_portable(const std::uint32_t*, std::uint32_t* destination, int count, const SpanConstants& k) {
    const std::uint32_t p = premultiplied(k.solid);
    for (int i = 0; i < count; ++i) destination[i] = add_saturated(p, destination[i]);
}

const KernelSet portable_kernels = {
    prepare_portable,
    {copy_portable, alpha_portable, add_portable},
    {fill_portable, solid_alpha_portable, solid_add_portable},
    spread_portable,
};

}  // namespace platform::compositing
