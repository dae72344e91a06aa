#include "picture_scaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace platform {

namespace {

constexpr std::uint32_t BAR_COLOUR = 0xFF000000u;

// a + (b - a) * weight / 256 in each of the four channels; red and blue, then alpha and
// green, each pair side by side in one 32-bit multiply.
inline std::uint32_t blend(std::uint32_t a, std::uint32_t b, std::uint32_t weight) {
    const std::uint32_t keep = 256 - weight;
    const std::uint32_t red_blue = (((a & 0x00FF00FFu) * keep + (b & 0x00FF00FFu) * weight + 0x00800080u) >> 8) &
                                   0x00FF00FFu;
    const std::uint32_t alpha_green =
        ((((a >> 8) & 0x00FF00FFu) * keep + ((b >> 8) & 0x00FF00FFu) * weight + 0x00800080u)) & 0xFF00FF00u;
    return red_blue | alpha_green;
}

#if defined(__SSE2__)
// Four pixels at once, in the same two pairs of channels as `blend`; `take` holds each
// pixel's weight in both 16-bit halves of its lane and `keep` is 256 minus it.
inline __m128i blend4(__m128i a, __m128i b, __m128i keep, __m128i take) {
    const __m128i low_bytes = _mm_set1_epi32(0x00FF00FF);
    const __m128i half = _mm_set1_epi16(128);
    // Each product is at most 255 * 256, so a 16-bit lane holds it and the rounding exactly.
    __m128i red_blue = _mm_add_epi16(_mm_mullo_epi16(_mm_and_si128(a, low_bytes), keep),
                                     _mm_mullo_epi16(_mm_and_si128(b, low_bytes), take));
    __m128i alpha_green = _mm_add_epi16(_mm_mullo_epi16(_mm_srli_epi16(a, 8), keep),
                                        _mm_mullo_epi16(_mm_srli_epi16(b, 8), take));
    red_blue = _mm_srli_epi16(_mm_add_epi16(red_blue, half), 8);
    alpha_green = _mm_andnot_si128(low_bytes, _mm_add_epi16(alpha_green, half));
    return _mm_or_si128(red_blue, alpha_green);
}
#endif

// The screen is written once per frame and not read back: streaming stores keep it from
// pushing everything else out of the cache and save reading each line before writing it.
[[maybe_unused]] int unaligned_head(const std::uint32_t* out, int count) {
    const int misalignment = static_cast<int>((reinterpret_cast<std::uintptr_t>(out) / 4) % 4);
    return std::min(count, (4 - misalignment) % 4);
}

void copy_row(const std::uint32_t* from, std::uint32_t* out, int count) {
    int x = 0;
#if defined(__SSE2__)
    if (reinterpret_cast<std::uintptr_t>(out) % 4 == 0) {
        for (const int head = unaligned_head(out, count); x < head; ++x) out[x] = from[x];
        for (; x + 4 <= count; x += 4)
            _mm_stream_si128(reinterpret_cast<__m128i*>(out + x),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + x)));
    }
#endif
    std::memcpy(out + x, from + x, sizeof(std::uint32_t) * static_cast<std::size_t>(count - x));
}

void blend_rows(const std::uint32_t* a, const std::uint32_t* b, std::uint32_t weight, std::uint32_t* out,
                int count) {
    int x = 0;
#if defined(__SSE2__)
    if (reinterpret_cast<std::uintptr_t>(out) % 4 != 0) {
        for (; x < count; ++x) out[x] = blend(a[x], b[x], weight);
        return;
    }
    for (const int head = unaligned_head(out, count); x < head; ++x) out[x] = blend(a[x], b[x], weight);
    const __m128i take = _mm_set1_epi16(static_cast<short>(weight));
    const __m128i keep = _mm_set1_epi16(static_cast<short>(256 - weight));
    for (; x + 4 <= count; x += 4) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
        _mm_stream_si128(reinterpret_cast<__m128i*>(out + x), blend4(first, second, keep, take));
    }
#endif
    for (; x < count; ++x) out[x] = blend(a[x], b[x], weight);
}

// One row across: each pixel blends picture pixels `first` and `first + 1` by `weight`, which
// holds the weight in both 16-bit halves. The pair is read with one load.
void blend_across(const std::uint32_t* row, const std::int32_t* first, const std::uint32_t* weight,
                  std::uint32_t* out, int count) {
    int x = 0;
#if defined(__SSE2__)
    const __m128i whole = _mm_set1_epi16(256);
    for (; x + 4 <= count; x += 4) {
        const __m128i pair0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + first[x]));
        const __m128i pair1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + first[x + 1]));
        const __m128i pair2 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + first[x + 2]));
        const __m128i pair3 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + first[x + 3]));
        const __m128 low = _mm_castsi128_ps(_mm_unpacklo_epi64(pair0, pair1));   // a0 b0 a1 b1
        const __m128 high = _mm_castsi128_ps(_mm_unpacklo_epi64(pair2, pair3));  // a2 b2 a3 b3
        const __m128i a = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        const __m128i b = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
        const __m128i take = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), blend4(a, b, _mm_sub_epi16(whole, take), take));
    }
#endif
    for (; x < count; ++x) out[x] = blend(row[first[x]], row[first[x] + 1], weight[x] & 0xFFFFu);
}

}  // namespace

PictureFit fit_for_filter(int picture_width, int picture_height, int destination_width, int destination_height,
                          ScaleFilter filter) {
    if (filter == ScaleFilter::whole)
        return fit_whole_picture(picture_width, picture_height, destination_width, destination_height);
    return fit_picture(picture_width, picture_height, destination_width, destination_height);
}

void PictureScaler::Axis::build(int picture_size, int target_size, int whole_factor, ScaleFilter filter,
                                int prescale) {
    first.assign(static_cast<std::size_t>(target_size), 0);
    second.assign(static_cast<std::size_t>(target_size), 0);
    weight.assign(static_cast<std::size_t>(target_size), 0);
    // Linear is sharp-bilinear's second step from a prescale of 1.
    const int steps = whole_factor > 0 ? whole_factor : filter == ScaleFilter::sharp ? prescale : 1;
    const int last = picture_size * steps - 1;
    for (int out = 0; out < target_size; ++out) {
        if (whole_factor > 0) {
            first[out] = second[out] = out / whole_factor;
            continue;
        }
        // The centre of this pixel in the prescaled picture, in its pixels.
        const double position = (out + 0.5) * picture_size * steps / target_size - 0.5;
        int near = static_cast<int>(std::floor(position));
        double fraction = position - near;
        if (near < 0) {
            near = 0;
            fraction = 0.0;
        }
        if (near >= last) {
            near = last;
            fraction = 0.0;
        }
        first[out] = near / steps;
        second[out] = std::min(near + 1, last) / steps;
        std::uint32_t take =
            first[out] == second[out] ? 0u : static_cast<std::uint32_t>(std::lround(fraction * 256.0));
        // Every pixel reads the pair first, first + 1: the last picture pixel is taken whole
        // from the pair that ends with it.
        if (first[out] + 1 >= picture_size && picture_size >= 2) {
            first[out] = picture_size - 2;
            take = 256;
        }
        second[out] = std::min(first[out] + 1, picture_size - 1);
        weight[out] = take | take << 16;
    }
}

void PictureScaler::prepare(int picture_width, int picture_height, int destination_width, int destination_height,
                            ScaleFilter filter) {
    picture_width_ = std::max(0, picture_width);
    picture_height_ = std::max(0, picture_height);
    destination_width_ = std::max(0, destination_width);
    destination_height_ = std::max(0, destination_height);
    fit_ = fit_for_filter(picture_width_, picture_height_, destination_width_, destination_height_, filter);
    const int prescale = sharp_prescale(picture_width_, picture_height_, fit_.target);
    columns_.build(picture_width_, fit_.target.width, fit_.whole_factor, filter, prescale);
    rows_.build(picture_height_, fit_.target.height, fit_.whole_factor, filter, prescale);
    bars_pending_ = true;
    for (std::vector<std::uint32_t>& row : scaled_) row.assign(static_cast<std::size_t>(fit_.target.width), 0u);
}

void PictureScaler::scale_row(const std::uint32_t* picture_row, std::uint32_t* out) const {
    const int width = fit_.target.width;
    if (fit_.whole_factor > 0) {
        const int factor = fit_.whole_factor;
        for (int x = 0; x < picture_width_; ++x, out += factor) std::fill_n(out, factor, picture_row[x]);
        return;
    }
    if (picture_width_ < 2) {
        std::fill_n(out, width, picture_row[0]);
        return;
    }
    blend_across(picture_row, columns_.first.data(), columns_.weight.data(), out, width);
}

const std::uint32_t* PictureScaler::scaled_row(const std::uint32_t* picture, int picture_pitch, int row, int slot) {
    if (scaled_source_[slot] != row) {
        scale_row(picture + static_cast<std::ptrdiff_t>(row) * picture_pitch, scaled_[slot].data());
        scaled_source_[slot] = row;
    }
    return scaled_[slot].data();
}

void PictureScaler::scale(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                          int destination_pitch) {
    PixelRect bars[4];
    const int bar_count = bars_pending_ ? bars_around(fit_.target, destination_width_, destination_height_, bars) : 0;
    bars_pending_ = false;
    for (int i = 0; i < bar_count; ++i)
        for (int y = bars[i].y; y < bars[i].y + bars[i].height; ++y)
            std::fill_n(destination + static_cast<std::ptrdiff_t>(y) * destination_pitch + bars[i].x, bars[i].width,
                        BAR_COLOUR);
    if (picture == nullptr || fit_.target.width == 0 || fit_.target.height == 0) return;

    // A new picture: nothing scaled so far is of use. Rows only move forward, so picture rows
    // alternate between the two slots by their parity and a row is scaled once.
    scaled_source_[0] = scaled_source_[1] = -1;
    for (int y = 0; y < fit_.target.height; ++y) {
        std::uint32_t* out = destination + static_cast<std::ptrdiff_t>(fit_.target.y + y) * destination_pitch +
                             fit_.target.x;
        const int first = rows_.first[y];
        const int second = rows_.second[y];
        const std::uint32_t* upper = scaled_row(picture, picture_pitch, first, first & 1);
        const std::uint32_t weight = rows_.weight[y] & 0xFFFFu;
        if (weight == 0) {
            copy_row(upper, out, fit_.target.width);
            continue;
        }
        const std::uint32_t* lower = scaled_row(picture, picture_pitch, second, second & 1);
        blend_rows(upper, lower, weight, out, fit_.target.width);
    }
#if defined(__SSE2__)
    _mm_sfence();  // the streamed pixels are in memory before anyone shows them
#endif
}

}  // namespace platform
