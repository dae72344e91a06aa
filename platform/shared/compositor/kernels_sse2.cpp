// The SSE2 kernels: four pixels at a time, through SSE2 on x86-64 and through Emscripten's SSE2
// headers over WebAssembly's 128-bit SIMD in the browser. The only file of the compositor built
// with SIMD flags; where there is no SSE2 it gives no kernels, and the portable ones draw. On an
// x86-64 processor with AVX2 the two blends that cover most pixels, alpha and add, take eight
// pixels at a time instead (functions built for AVX2 alone, chosen when the set is first asked for).
#include "kernels.h"

#include <algorithm>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>

#if defined(__x86_64__) && !defined(__EMSCRIPTEN__) && (defined(__GNUC__) || defined(__clang__))
#define ZORVALEN_AVX2_KERNELS 1
#include <immintrin.h>
#endif

namespace platform::compositing {

namespace {

inline __m128i div255_x8(__m128i x) {
    return _mm_mulhi_epu16(_mm_add_epi16(x, _mm_set1_epi16(128)), _mm_set1_epi16(257));
}
inline __m128i alpha_x2(__m128i x) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xFF), 0xFF); }

void prepare_sse2(const std::uint32_t* texels, std::uint32_t* out, int count, const SpanConstants& k,
                  bool modulated, bool premultiply) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i or_mask = _mm_set1_epi32(static_cast<int>(k.or_mask));
    const __m128i factors = _mm_set_epi16(static_cast<short>(k.k[3]), static_cast<short>(k.k[2]),
                                          static_cast<short>(k.k[1]), static_cast<short>(k.k[0]),
                                          static_cast<short>(k.k[3]), static_cast<short>(k.k[2]),
                                          static_cast<short>(k.k[1]), static_cast<short>(k.k[0]));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(texels + i)), or_mask);
        __m128i low = _mm_unpacklo_epi8(s, zero);
        __m128i high = _mm_unpackhi_epi8(s, zero);
        if (modulated) {
            low = div255_x8(_mm_mullo_epi16(low, factors));
            high = div255_x8(_mm_mullo_epi16(high, factors));
        }
        if (premultiply) {
            low = div255_x8(_mm_mullo_epi16(low, alpha_x2(low)));
            high = div255_x8(_mm_mullo_epi16(high, alpha_x2(high)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(low, high));
    }
    prepare_portable(texels + i, out + i, count - i, k, modulated, premultiply);
}

void copy_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    copy_portable(source, destination, count, k);
}

void alpha_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i all = _mm_set1_epi16(255);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        __m128i* out = reinterpret_cast<__m128i*>(destination + i);
        // Wholly opaque or wholly clear groups (most of a sprite) need no arithmetic.
        const int alphas = _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, opaque), opaque));
        if (alphas == 0xFFFF) {
            _mm_storeu_si128(out, s);
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, opaque), zero)) == 0xFFFF) continue;
        const __m128i d = _mm_loadu_si128(out);
        const __m128i s_low = _mm_unpacklo_epi8(s, zero), s_high = _mm_unpackhi_epi8(s, zero);
        const __m128i a_low = alpha_x2(s_low), a_high = alpha_x2(s_high);
        const __m128i low = div255_x8(_mm_add_epi16(_mm_mullo_epi16(s_low, a_low),
                                                    _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_sub_epi16(all, a_low))));
        const __m128i high = div255_x8(_mm_add_epi16(
            _mm_mullo_epi16(s_high, a_high), _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_sub_epi16(all, a_high))));
        _mm_storeu_si128(out, _mm_packus_epi16(low, high));
    }
    alpha_portable(source + i, destination + i, count - i, k);
}

void add_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    const __m128i zero = _mm_setzero_si128();
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i + 4));
        // Dark, clear texels add nothing: skip their pixels (much of an explosion's rim).
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(first, second), zero)) == 0xFFFF) continue;
        __m128i* out = reinterpret_cast<__m128i*>(destination + i);
        _mm_storeu_si128(out, _mm_adds_epu8(_mm_loadu_si128(out), first));
        _mm_storeu_si128(out + 1, _mm_adds_epu8(_mm_loadu_si128(out + 1), second));
    }
    for (; i + 4 <= count; i += 4) {
        __m128i* out = reinterpret_cast<__m128i*>(destination + i);
        _mm_storeu_si128(out, _mm_adds_epu8(_mm_loadu_si128(out),
                                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(source + i))));
    }
    add_portable(source + i, destination + i, count - i, k);
}

void fill_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    fill_portable(source, destination, count, k);
}

void solid_alpha_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i s16 = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(k.solid)), zero);
    const __m128i a = alpha_x2(s16);
    const __m128i source_part = _mm_mullo_epi16(s16, a);
    const __m128i inverse = _mm_sub_epi16(_mm_set1_epi16(255), a);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i* out = reinterpret_cast<__m128i*>(destination + i);
        const __m128i d = _mm_loadu_si128(out);
        const __m128i low = div255_x8(_mm_add_epi16(source_part, _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), inverse)));
        const __m128i high = div255_x8(_mm_add_epi16(source_part, _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), inverse)));
        _mm_storeu_si128(out, _mm_packus_epi16(low, high));
    }
    solid_alpha_portable(source, destination + i, count - i, k);
}

void solid_add_sse2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    const __m128i p = _mm_set1_epi32(static_cast<int>(premultiplied(k.solid)));
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i* out = reinterpret_cast<__m128i*>(destination + i);
        _mm_storeu_si128(out, _mm_adds_epu8(_mm_loadu_si128(out), p));
    }
    solid_add_portable(source, destination + i, count - i, k);
}

#if defined(ZORVALEN_AVX2_KERNELS)
#define AVX2 __attribute__((target("avx2")))

AVX2 inline __m256i div255_x16(__m256i x) {
    return _mm256_mulhi_epu16(_mm256_add_epi16(x, _mm256_set1_epi16(128)), _mm256_set1_epi16(257));
}
AVX2 inline __m256i alpha_x4(__m256i x) { return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(x, 0xFF), 0xFF); }

// As alpha_sse2, eight pixels at a time. Unpacking and packing work within each 128-bit half,
// so the pixels come back in their order.
AVX2 void alpha_avx2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i all = _mm256_set1_epi16(255);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        __m256i* out = reinterpret_cast<__m256i*>(destination + i);
        const __m256i alpha = _mm256_and_si256(s, opaque);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, opaque)) == -1) {
            _mm256_storeu_si256(out, s);
            continue;
        }
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, zero)) == -1) continue;
        const __m256i d = _mm256_loadu_si256(out);
        const __m256i s_low = _mm256_unpacklo_epi8(s, zero), s_high = _mm256_unpackhi_epi8(s, zero);
        const __m256i a_low = alpha_x4(s_low), a_high = alpha_x4(s_high);
        const __m256i low = div255_x16(_mm256_add_epi16(
            _mm256_mullo_epi16(s_low, a_low), _mm256_mullo_epi16(_mm256_unpacklo_epi8(d, zero), _mm256_sub_epi16(all, a_low))));
        const __m256i high = div255_x16(_mm256_add_epi16(
            _mm256_mullo_epi16(s_high, a_high), _mm256_mullo_epi16(_mm256_unpackhi_epi8(d, zero), _mm256_sub_epi16(all, a_high))));
        _mm256_storeu_si256(out, _mm256_packus_epi16(low, high));
    }
    alpha_sse2(source + i, destination + i, count - i, k);
}

// As add_sse2, sixteen pixels at a time, and the dark, clear ones skipped sixteen at a time.
AVX2 void add_avx2(const std::uint32_t* source, std::uint32_t* destination, int count, const SpanConstants& k) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + i + 8));
        const __m256i either = _mm256_or_si256(first, second);
        if (_mm256_testz_si256(either, either)) continue;
        __m256i* out = reinterpret_cast<__m256i*>(destination + i);
        _mm256_storeu_si256(out, _mm256_adds_epu8(_mm256_loadu_si256(out), first));
        _mm256_storeu_si256(out + 1, _mm256_adds_epu8(_mm256_loadu_si256(out + 1), second));
    }
    add_sse2(source + i, destination + i, count - i, k);
}

// As spread_portable, eight pixels at a time where their texels lie within eight of each other
// (a quad drawn at its size or larger, the explosions and the big text): the eight texels are
// loaded at once and put in place by one permutation.
AVX2 void spread_avx2(const std::uint32_t* staged, const int* index, int base, std::uint32_t* out, int count) {
    const __m256i seven = _mm256_set1_epi32(7), zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const int low = std::min(index[i], index[i + 7]);
        const __m256i offset = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(index + i)),
                                                _mm256_set1_epi32(low));
        const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi32(offset, seven), _mm256_cmpgt_epi32(zero, offset));
        if (!_mm256_testz_si256(outside, outside)) {
            spread_portable(staged, index + i, base, out + i, 8);
            continue;
        }
        const __m256i texels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(staged + (low - base)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permutevar8x32_epi32(texels, offset));
    }
    spread_portable(staged, index + i, base, out + i, count - i);
}
#endif

}  // namespace

const KernelSet* sse2_kernels() {
    static const KernelSet sse2_kernel_table = [] {
        KernelSet set = {
            prepare_sse2,
            {copy_sse2, alpha_sse2, add_sse2},
            {fill_sse2, solid_alpha_sse2, solid_add_sse2},
            spread_portable,
        };
#if defined(ZORVALEN_AVX2_KERNELS)
        if (__builtin_cpu_supports("avx2")) {
            set.apply[static_cast<int>(BlendOp::alpha)] = alpha_avx2;
            set.apply[static_cast<int>(BlendOp::add)] = add_avx2;
            set.spread = spread_avx2;
        }
#endif
        return set;
    }();
    return &sse2_kernel_table;
}

}  // namespace platform::compositing

#else

namespace platform::compositing {

const KernelSet* sse2_kernels() { return nullptr; }

}  // namespace platform::compositing

#endif
