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

// One picture row with every pixel repeated `factor` times, in 16-byte stores: factors 2, 3
// and 4 by shuffles of four pixels at a time, larger ones by one broadcast per pixel.
void replicate_across(const std::uint32_t* row, int count, int factor, std::uint32_t* out) {
    int x = 0;
#if defined(__SSE2__)
    const auto load = [row](int at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + at)); };
    const auto store = [](std::uint32_t* at, __m128i pixels) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), pixels);
    };
    switch (factor) {
    case 2:
        for (; x + 4 <= count; x += 4, out += 8) {
            const __m128i four = load(x);
            store(out, _mm_shuffle_epi32(four, _MM_SHUFFLE(1, 1, 0, 0)));
            store(out + 4, _mm_shuffle_epi32(four, _MM_SHUFFLE(3, 3, 2, 2)));
        }
        break;
    case 3:
        for (; x + 4 <= count; x += 4, out += 12) {
            const __m128i four = load(x);
            store(out, _mm_shuffle_epi32(four, _MM_SHUFFLE(1, 0, 0, 0)));
            store(out + 4, _mm_shuffle_epi32(four, _MM_SHUFFLE(2, 2, 1, 1)));
            store(out + 8, _mm_shuffle_epi32(four, _MM_SHUFFLE(3, 3, 3, 2)));
        }
        break;
    case 4:
        for (; x + 4 <= count; x += 4, out += 16) {
            const __m128i four = load(x);
            store(out, _mm_shuffle_epi32(four, 0x00));
            store(out + 4, _mm_shuffle_epi32(four, 0x55));
            store(out + 8, _mm_shuffle_epi32(four, 0xAA));
            store(out + 12, _mm_shuffle_epi32(four, 0xFF));
        }
        break;
    default:
        if (factor < 4) break;
        for (; x < count; ++x, out += factor) {
            const __m128i one = _mm_set1_epi32(static_cast<int>(row[x]));
            for (int k = 0; k + 4 <= factor; k += 4) store(out + k, one);
            store(out + factor - 4, one);  // the last few, overlapping: never past this pixel's run
        }
        return;
    }
#endif
    for (; x < count; ++x, out += factor) std::fill_n(out, factor, row[x]);
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

void PictureScaler::Axis::build(int picture_size, int target_size, ScaleFilter filter, int prescale) {
    first.assign(static_cast<std::size_t>(target_size), 0);
    second.assign(static_cast<std::size_t>(target_size), 0);
    weight.assign(static_cast<std::size_t>(target_size), 0);
    // Linear is sharp-bilinear's second step from a prescale of 1.
    const int steps = filter == ScaleFilter::sharp ? prescale : 1;
    const int last = picture_size * steps - 1;
    for (int out = 0; out < target_size; ++out) {
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

ScalePlan plan_scale(int picture_width, int picture_height, int destination_width, int destination_height,
                     ScaleFilter filter) {
    ScalePlan plan;
    // "whole" gives up the last few rows and columns for bars rather than leave a whole factor.
    plan.fit = filter == ScaleFilter::whole
                   ? fit_whole_picture(picture_width, picture_height, destination_width, destination_height)
                   : fit_picture(picture_width, picture_height, destination_width, destination_height);
    plan.filter = filter;
    plan.way = plan.fit.whole_factor == 1  ? ScaleWay::one_to_one
               : plan.fit.whole_factor > 1 ? ScaleWay::replicate
                                           : ScaleWay::filtered;
    return plan;
}

void PictureScaler::prepare(int picture_width, int picture_height, int destination_width, int destination_height,
                            ScaleFilter filter) {
    picture_width_ = std::max(0, picture_width);
    picture_height_ = std::max(0, picture_height);
    destination_width_ = std::max(0, destination_width);
    destination_height_ = std::max(0, destination_height);
    plan_ = plan_scale(picture_width_, picture_height_, destination_width_, destination_height_, filter);
    const PixelRect& target = plan_.fit.target;
    if (plan_.way == ScaleWay::filtered) {
        const int prescale = sharp_prescale(picture_width_, picture_height_, target);
        columns_.build(picture_width_, target.width, filter, prescale);
        rows_.build(picture_height_, target.height, filter, prescale);
    }
    bars_pending_ = true;
    const int slots = plan_.way == ScaleWay::filtered ? 2 : plan_.way == ScaleWay::replicate ? 1 : 0;
    for (int slot = 0; slot < 2; ++slot)
        scaled_[slot].assign(slot < slots ? static_cast<std::size_t>(target.width) : 0u, 0u);
}

void PictureScaler::scale_row(const std::uint32_t* picture_row, std::uint32_t* out) const {
    if (picture_width_ < 2) {
        std::fill_n(out, plan_.fit.target.width, picture_row[0]);
        return;
    }
    blend_across(picture_row, columns_.first.data(), columns_.weight.data(), out, plan_.fit.target.width);
}

const std::uint32_t* PictureScaler::scaled_row(const std::uint32_t* picture, int picture_pitch, int row, int slot) {
    if (scaled_source_[slot] != row) {
        scale_row(picture + static_cast<std::ptrdiff_t>(row) * picture_pitch, scaled_[slot].data());
        scaled_source_[slot] = row;
    }
    return scaled_[slot].data();
}

void PictureScaler::paint_bars(std::uint32_t* destination, int destination_pitch) {
    if (!bars_pending_) return;
    bars_pending_ = false;
    PixelRect bars[4];
    const int bar_count = bars_around(plan_.fit.target, destination_width_, destination_height_, bars);
    for (int i = 0; i < bar_count; ++i)
        for (int y = bars[i].y; y < bars[i].y + bars[i].height; ++y)
            std::fill_n(destination + static_cast<std::ptrdiff_t>(y) * destination_pitch + bars[i].x, bars[i].width,
                        BAR_COLOUR);
}

void PictureScaler::scale(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                          int destination_pitch) {
    paint_bars(destination, destination_pitch);
    scale_rows(picture, picture_pitch, destination, destination_pitch, 0, picture_height_);
}

PixelRect PictureScaler::scale_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                                    int destination_pitch, int first_row, int end_row) {
    const PixelRect& target = plan_.fit.target;
    first_row = std::max(first_row, 0);
    end_row = std::min(end_row, picture_height_);
    if (picture == nullptr || target.width == 0 || target.height == 0 || first_row >= end_row) return {};
    // The destination rows that read any of these picture rows: a run, since the rows sampled
    // only move forward.
    int first = first_row, end = end_row;
    switch (plan_.way) {
    case ScaleWay::one_to_one: copy_rows(picture, picture_pitch, destination, destination_pitch, first, end); break;
    case ScaleWay::replicate:
        first *= plan_.fit.whole_factor;
        end *= plan_.fit.whole_factor;
        replicate_rows(picture, picture_pitch, destination, destination_pitch, first, end);
        break;
    case ScaleWay::filtered:
        first = static_cast<int>(std::lower_bound(rows_.second.begin(), rows_.second.end(), first_row) -
                                 rows_.second.begin());
        end = static_cast<int>(std::lower_bound(rows_.first.begin(), rows_.first.end(), end_row) -
                               rows_.first.begin());
        filter_rows(picture, picture_pitch, destination, destination_pitch, first, end);
        break;
    }
#if defined(__SSE2__)
    _mm_sfence();  // the streamed pixels are in memory before anyone shows them
#endif
    return PixelRect{target.x, target.y + first, target.width, std::max(0, end - first)};
}

void PictureScaler::copy_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                              int destination_pitch, int first, int end) {
    const PixelRect& target = plan_.fit.target;
    for (int y = first; y < end; ++y)
        copy_row(picture + static_cast<std::ptrdiff_t>(y) * picture_pitch,
                 destination + static_cast<std::ptrdiff_t>(target.y + y) * destination_pitch + target.x, target.width);
}

// Each picture row is repeated across once, where it stays in the cache, and then copied whole
// into each of the `factor` destination rows it covers.
void PictureScaler::replicate_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                                   int destination_pitch, int first, int end) {
    const PixelRect& target = plan_.fit.target;
    const int factor = plan_.fit.whole_factor;
    std::uint32_t* across = scaled_[0].data();
    for (int y = first; y < end; y += factor) {
        replicate_across(picture + static_cast<std::ptrdiff_t>(y / factor) * picture_pitch, picture_width_, factor,
                         across);
        for (int k = 0; k < factor; ++k)
            copy_row(across, destination + static_cast<std::ptrdiff_t>(target.y + y + k) * destination_pitch + target.x,
                     target.width);
    }
}

void PictureScaler::filter_rows(const std::uint32_t* picture, int picture_pitch, std::uint32_t* destination,
                                int destination_pitch, int first, int end) {
    const PixelRect& target = plan_.fit.target;
    // Nothing scaled before is of use. Rows only move forward, so picture rows alternate
    // between the two slots by their parity and a row is scaled once.
    scaled_source_[0] = scaled_source_[1] = -1;
    for (int y = first; y < end; ++y) {
        std::uint32_t* out = destination + static_cast<std::ptrdiff_t>(target.y + y) * destination_pitch + target.x;
        const int upper_row = rows_.first[y];
        const int lower_row = rows_.second[y];
        const std::uint32_t* upper = scaled_row(picture, picture_pitch, upper_row, upper_row & 1);
        const std::uint32_t weight = rows_.weight[y] & 0xFFFFu;
        if (weight == 0) {
            copy_row(upper, out, target.width);
            continue;
        }
        const std::uint32_t* lower = scaled_row(picture, picture_pitch, lower_row, lower_row & 1);
        blend_rows(upper, lower, weight, out, target.width);
    }
}

}  // namespace platform
