#include "compositor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZORVALEN_HAVE_SSE2 1
#else
#define ZORVALEN_HAVE_SSE2 0
#endif

namespace platform {

namespace {

// Direct3D 9's values, as the device hands them on.
constexpr std::uint32_t BLEND_ZERO = 1, BLEND_ONE = 2, BLEND_SRCCOLOR = 3, BLEND_INVSRCCOLOR = 4,
                        BLEND_SRCALPHA = 5, BLEND_INVSRCALPHA = 6, BLEND_DESTALPHA = 7, BLEND_INVDESTALPHA = 8,
                        BLEND_DESTCOLOR = 9, BLEND_INVDESTCOLOR = 10;
constexpr std::uint32_t OP_SELECTARG1 = 2, OP_SELECTARG2 = 3, OP_MODULATE = 4;  // and 1, disable: the default
constexpr std::uint32_t ARG_TEXTURE = 2, ARG_SELECT_MASK = 0xF;
constexpr std::uint32_t ADDRESS_MIRROR = 2, ADDRESS_CLAMP = 3;

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

// ---- Kernels. A textured quad's texels are first prepared once per texel row (taken through
// the texture stage, and for the additive blend multiplied by their alpha already); each screen
// row then only applies the prepared row to the back buffer. Scaled quads repeat texel rows,
// so most of the work is the apply: a copy, a blend or a saturating add.

// Prepares `count` texels into `out`; for the additive blend, the amount each one adds.
using PrepareKernel = void (*)(const std::uint32_t* texels, std::uint32_t* out, int count, const SpanConstants& k,
                               bool modulated, bool premultiply);
// Applies a prepared row (or, for an untextured quad, k.solid) to `count` pixels.
using ApplyKernel = void (*)(const std::uint32_t* source, std::uint32_t* destination, int count,
                             const SpanConstants& k);

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

#if ZORVALEN_HAVE_SSE2

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

#endif

// Kernel tables; apply and solid are indexed by blend op (none, alpha, add).
struct KernelSet {
    PrepareKernel prepare;
    ApplyKernel apply[3];
    ApplyKernel solid[3];
};

const KernelSet portable_kernels = {
    prepare_portable,
    {copy_portable, alpha_portable, add_portable},
    {fill_portable, solid_alpha_portable, solid_add_portable},
};

#if ZORVALEN_HAVE_SSE2
const KernelSet sse2_kernels = {
    prepare_sse2,
    {copy_sse2, alpha_sse2, add_sse2},
    {fill_sse2, solid_alpha_sse2, solid_add_sse2},
};
#endif

BlendOp blend_op(const DrawStates& states) {
    if (!states.blend) return BlendOp::none;
    const std::uint32_t s = states.source_blend, d = states.destination_blend;
    if (s == BLEND_ONE && d == BLEND_ZERO) return BlendOp::none;
    if (s == BLEND_SRCALPHA && d == BLEND_INVSRCALPHA) return BlendOp::alpha;
    if (s == BLEND_SRCALPHA && d == BLEND_ONE) return BlendOp::add;
    return BlendOp::general;
}

// What one argument of stage 0 reads: the texel, or the diffuse colour (which is also what
// "current" holds at the first stage; arguments outside the subset read it too).
bool reads_texel(std::uint32_t argument) { return (argument & ARG_SELECT_MASK) == ARG_TEXTURE; }

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

// The first pixel whose centre is at or after `edge` (top-left rule), clamped to 0 .. limit.
int first_pixel_at(double edge, int limit) {
    if (!(edge > 0.0)) return 0;  // NaN too
    if (edge >= limit) return limit;
    return static_cast<int>(std::ceil(edge));
}

}  // namespace

// A rectangle waiting in the batch, with everything its rows need.
struct Compositor::Pending {
    int left, top, right, bottom;  // the pixels it covers, clipped
    BlendOp op;
    SpanConstants k;
    bool textured, modulated, contiguous;
    TextureView texture;
    int texel_x, texel_y;  // where its texel columns and rows start in the arena
    int slot;              // its own prepared row, kept from band to band; -1: the shared one
};

Compositor::~Compositor() = default;

Compositor::Compositor(int width, int height, int band_rows)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1),
      band_rows_(band_rows > 0 ? band_rows : height_),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0u),
      kernels_(has_sse2() ? Kernels::sse2 : Kernels::portable),
      row_(static_cast<std::size_t>(width_)), arena_(ARENA_SIZE),
      band_start_(static_cast<std::size_t>((height_ + band_rows_ - 1) / band_rows_) + 1),
      band_fill_(band_start_.size()),
      band_entries_(static_cast<std::size_t>(BATCH_QUADS) * ((height_ + band_rows_ - 1) / band_rows_)) {
    target_ = pixels_.data();
    pitch_ = width_;
    batch_.reserve(BATCH_QUADS);
    prepared_rows_.resize(static_cast<std::size_t>(PREPARED_SLOTS) * static_cast<std::size_t>(width_));
    slot_row_.resize(PREPARED_SLOTS);
    slot_first_.resize(PREPARED_SLOTS);
    slot_last_.resize(PREPARED_SLOTS);
}

bool Compositor::has_sse2() { return ZORVALEN_HAVE_SSE2 != 0; }

void Compositor::set_kernels(Kernels kernels) { kernels_ = kernels == Kernels::sse2 && has_sse2() ? kernels : Kernels::portable; }

void Compositor::clear(std::uint32_t argb) {
    batch_.clear();  // covered by the clear
    arena_used_ = 0;
    slots_used_ = 0;
    pending_clear_ = true;
    clear_colour_ = argb;
}

void Compositor::settle() {
    if (!pending_clear_) return;
    pending_clear_ = false;
    for (int y = 0; y < height_; ++y) std::fill(row(y), row(y) + width_, clear_colour_);
}

void Compositor::fill(int left, int top, int right, int bottom, std::uint32_t argb) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) return;
    if (left == 0 && top == 0 && right == width_ && bottom == height_) {
        clear(argb);
        return;
    }
    flush();
    settle();
    for (int y = top; y < bottom; ++y) {
        std::fill(row(y) + left, row(y) + right, argb);
    }
}

void Compositor::set_target(std::uint32_t* pixels, int pitch) {
    if (pixels == nullptr || pitch < width_) {
        pixels = pixels_.data();
        pitch = width_;
    }
    if (pixels == target_ && pitch == pitch_) return;
    // The picture so far goes along, so that a frame is the same wherever it is drawn.
    flush();
    std::uint32_t* const from = target_;
    const int from_pitch = pitch_;
    target_ = pixels;
    pitch_ = pitch;
    if (!pending_clear_)
        for (int y = 0; y < height_; ++y)
            std::memmove(row(y), from + static_cast<std::size_t>(y) * from_pitch, sizeof(std::uint32_t) * width_);
}

FrameView Compositor::frame() {
    flush();
    settle();
    FrameView view;
    view.pixels = target_;
    view.width = width_;
    view.height = height_;
    view.pitch = pitch_ * 4;
    return view;
}

void Compositor::draw(const QuadCorners& quad, const DrawStates& states, bool first_triangle, bool second_triangle) {
    if (!first_triangle && !second_triangle) return;
    if (first_triangle && second_triangle && draw_rectangle(quad, states)) return;
    if (first_triangle) draw_triangle(quad, states, 0, 1, 2);
    if (second_triangle) draw_triangle(quad, states, 1, 3, 2);
}

namespace {

bool is_rectangle(const QuadCorners& quad) {
    return quad.x[0] == quad.x[2] && quad.x[1] == quad.x[3] && quad.y[0] == quad.y[1] && quad.y[2] == quad.y[3] &&
           quad.u[0] == quad.u[2] && quad.u[1] == quad.u[3] && quad.v[0] == quad.v[1] && quad.v[2] == quad.v[3] &&
           quad.colour[0] == quad.colour[1] && quad.colour[0] == quad.colour[2] && quad.colour[0] == quad.colour[3];
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

// The texel along one axis for the pixel at `pixel`, the quad running from p0 to p1 on screen
// and from t0 by dt in the texture.
inline int texel_at(int pixel, double p0, double p1, float t0, double dt, int size, std::uint32_t address) {
    return texel_index(t0 + dt * ((pixel - p0) / (p1 - p0)), size, address);
}

const KernelSet& kernel_set(Compositor::Kernels kernels) {
#if ZORVALEN_HAVE_SSE2
    if (kernels == Compositor::Kernels::sse2) return sse2_kernels;
#else
    (void)kernels;
#endif
    return portable_kernels;
}

// One texel row through the stage into `prepared`, and its span that changes anything:
// blended texels of alpha 0 (and, added, of no amount) at either end change nothing.
void prepare_row(const KernelSet& set, const std::uint32_t* texels, const int* texel_x, int count, bool contiguous,
                 bool modulated, BlendOp op, const SpanConstants& k, std::uint32_t* prepared, int& first, int& last) {
    const bool premultiply = op == BlendOp::add;
    const std::uint32_t* source = texels + texel_x[0];
    if (!contiguous) {
        for (int i = 0; i < count; ++i) prepared[i] = texels[texel_x[i]];
        source = prepared;
    }
    set.prepare(source, prepared, count, k, modulated, premultiply);
    first = 0;
    last = count;
    if (op != BlendOp::none) {
        const std::uint32_t mask = premultiply ? 0xFFFFFFFFu : 0xFF000000u;
        while (first < last && (prepared[first] & mask) == 0) ++first;
        while (last > first && (prepared[last - 1] & mask) == 0) --last;
    }
}

// A triangle in one winding, with its edges: edge e runs from vertex e to vertex e + 1, and a
// pixel on it is inside only on a top or left edge.
struct Triangle {
    double x[3], y[3];
    int vertex[3];
    double area;
    double edge_dx[3], edge_dy[3];
    bool inclusive[3];
};

// False when the triangle has no area or a corner is not a number.
bool set_up_triangle(const QuadCorners& quad, int a, int b, int c, Triangle& t) {
    const int corners[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        t.x[i] = quad.x[corners[i]];
        t.y[i] = quad.y[corners[i]];
        t.vertex[i] = corners[i];
        if (!std::isfinite(t.x[i]) || !std::isfinite(t.y[i])) return false;
    }
    t.area = (t.x[1] - t.x[0]) * (t.y[2] - t.y[0]) - (t.y[1] - t.y[0]) * (t.x[2] - t.x[0]);
    if (t.area == 0.0) return false;
    if (t.area < 0.0) {  // one winding for the edge tests; culling was decided before
        std::swap(t.x[1], t.x[2]);
        std::swap(t.y[1], t.y[2]);
        std::swap(t.vertex[1], t.vertex[2]);
        t.area = -t.area;
    }
    for (int e = 0; e < 3; ++e) {
        const int n = (e + 1) % 3;
        t.edge_dx[e] = t.x[n] - t.x[e];
        t.edge_dy[e] = t.y[n] - t.y[e];
        t.inclusive[e] = (t.edge_dy[e] == 0.0 && t.edge_dx[e] > 0.0) || t.edge_dy[e] < 0.0;
    }
    return true;
}

// Whether the pixel centre is inside; if so, `weight` holds each vertex's unnormalised weight.
inline bool inside(const Triangle& t, int px, int py, double weight[3]) {
    bool in = true;
    for (int e = 0; e < 3 && in; ++e) {
        const double f = t.edge_dx[e] * (py - t.y[e]) - t.edge_dy[e] * (px - t.x[e]);
        in = f > 0.0 || (f == 0.0 && t.inclusive[e]);
        weight[(e + 2) % 3] = f;  // the edge opposite a vertex weighs that vertex
    }
    return in;
}

// The texture coordinates and the diffuse colour at a pixel, from its weights.
inline std::uint32_t interpolate(const Triangle& t, const QuadCorners& quad, const double weight[3], double& u,
                                 double& v) {
    double colour[4] = {0, 0, 0, 0};
    u = 0.0;
    v = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double w = weight[i] / t.area;
        u += w * quad.u[t.vertex[i]];
        v += w * quad.v[t.vertex[i]];
        for (int ch = 0; ch < 4; ++ch) colour[ch] += w * channel(quad.colour[t.vertex[i]], ch);
    }
    std::uint32_t diffuse = 0;
    for (int ch = 0; ch < 4; ++ch)
        diffuse |= static_cast<std::uint32_t>(std::clamp(std::floor(colour[ch] + 0.5), 0.0, 255.0)) << (8 * ch);
    return diffuse;
}

// The texel at (u, v), opaque white without a texture.
inline std::uint32_t sample(const TextureView* texture, const DrawStates& states, double u, double v) {
    if (texture == nullptr) return 0xFFFFFFFFu;
    const int tx = texel_index(u, texture->width, states.address_u);
    const int ty = texel_index(v, texture->height, states.address_v);
    return texture->pixels[static_cast<std::size_t>(ty) * texture->pitch + tx] | (texture->alpha ? 0u : 0xFF000000u);
}

}  // namespace

// A screen-aligned rectangle of one colour with an axis-aligned texture mapping: the game's
// every quad. False when the quad is not one (the triangles then draw it).
bool Compositor::draw_rectangle(const QuadCorners& quad, const DrawStates& states) {
    if (!is_rectangle(quad)) return false;
    const double x0 = quad.x[0], x1 = quad.x[1], y0 = quad.y[0], y1 = quad.y[2];
    if (!(x0 != x1) || !(y0 != y1)) return true;  // no area (or not a number): nothing to draw
    Pending pending{};
    pending.left = first_pixel_at(std::min(x0, x1), width_);
    pending.right = first_pixel_at(std::max(x0, x1), width_);
    pending.top = first_pixel_at(std::min(y0, y1), height_);
    pending.bottom = first_pixel_at(std::max(y0, y1), height_);
    if (pending.left >= pending.right || pending.top >= pending.bottom) return true;  // wholly outside

    const BlendOp op = blend_op(states);
    const std::uint32_t diffuse = quad.colour[0];
    bool colour_texel = false, colour_diffuse = false, alpha_texel = false, alpha_diffuse = false;
    const bool simple = decode(states.colour_op, states.colour_arg1, states.colour_arg2, colour_texel, colour_diffuse) &&
                        decode(states.alpha_op, states.alpha_arg1, states.alpha_arg2, alpha_texel, alpha_diffuse);
    // A blended quad whose source factor is its alpha, at diffuse alpha 0, changes nothing.
    if ((op == BlendOp::alpha || op == BlendOp::add) && (diffuse >> 24) == 0) {
        bool texel = false, uses_diffuse = false;
        if (decode(states.alpha_op, states.alpha_arg1, states.alpha_arg2, texel, uses_diffuse) && uses_diffuse)
            return true;
    }
    const TextureView* texture = usable(states.texture);
    if (texture == nullptr) colour_texel = alpha_texel = false;  // no texture reads as opaque white
    const bool textured = texture != nullptr && (colour_texel || alpha_texel || !simple);
    pending.op = op;
    pending.k = span_constants(colour_texel, colour_diffuse, alpha_texel, alpha_diffuse, textured && !texture->alpha,
                               diffuse);
    pending.textured = textured;
    if (textured) pending.texture = *texture;

    const bool reads_destination =
        !simple || op == BlendOp::general || op == BlendOp::add ||
        (op == BlendOp::alpha && (textured || (pending.k.solid >> 24) != 255));
    if (!reads_destination) drop_if_covered(pending);
    if (!simple || op == BlendOp::general)
        paint_each_pixel(pending, quad, states);
    else
        queue(pending, quad, states);
    return true;
}

// Where the destination is wholly covered and not read, neither a pending clear nor the
// quads drawn since matter any more.
void Compositor::drop_if_covered(const Pending& pending) {
    if (pending.left != 0 || pending.top != 0 || pending.right != width_ || pending.bottom != height_) return;
    batch_.clear();
    arena_used_ = 0;
    slots_used_ = 0;
    pending_clear_ = false;
}

// Every pixel of a rectangle through the full stage and blend, at once.
void Compositor::paint_each_pixel(const Pending& pending, const QuadCorners& quad, const DrawStates& states) {
    flush();
    settle();
    const double x0 = quad.x[0], x1 = quad.x[1], y0 = quad.y[0], y1 = quad.y[2];
    const double du = static_cast<double>(quad.u[1]) - quad.u[0];
    const double dv = static_cast<double>(quad.v[2]) - quad.v[0];
    const TextureView& texture = pending.texture;
    const std::uint32_t opaque = texture.alpha ? 0u : 0xFF000000u;
    const int count = pending.right - pending.left;
    for (int y = pending.top; y < pending.bottom; ++y) {
        std::uint32_t* out = row(y) + pending.left;
        const std::uint32_t* texels =
            pending.textured
                ? texture.pixels + static_cast<std::size_t>(
                                       texel_at(y, y0, y1, quad.v[0], dv, texture.height, states.address_v)) *
                                       texture.pitch
                : nullptr;
        for (int i = 0; i < count; ++i) {
            std::uint32_t texel = 0xFFFFFFFFu;
            if (pending.textured)
                texel = texels[texel_at(pending.left + i, x0, x1, quad.u[0], du, texture.width, states.address_u)] |
                        opaque;
            out[i] = blend(pending.op, states, combine(states, texel, quad.colour[0]), out[i]);
        }
    }
}

// Puts a rectangle in the batch, with the texel columns and rows of its pixels.
void Compositor::queue(Pending& pending, const QuadCorners& quad, const DrawStates& states) {
    const int count = pending.right - pending.left;
    const int rows = pending.bottom - pending.top;
    if (batch_.size() == batch_.capacity() ||
        (pending.textured && arena_used_ + static_cast<std::size_t>(count + rows) > arena_.size()))
        flush();
    if (pending.textured) map_texels(pending, quad, states);
    batch_.push_back(pending);
}

void Compositor::map_texels(Pending& pending, const QuadCorners& quad, const DrawStates& states) {
    const int count = pending.right - pending.left;
    const int rows = pending.bottom - pending.top;
    pending.texel_x = static_cast<int>(arena_used_);
    pending.texel_y = static_cast<int>(arena_used_) + count;
    arena_used_ += count + rows;
    int* texel_x = arena_.data() + pending.texel_x;
    int* texel_y = arena_.data() + pending.texel_y;
    const double du = static_cast<double>(quad.u[1]) - quad.u[0];
    const double dv = static_cast<double>(quad.v[2]) - quad.v[0];
    const TextureView& texture = pending.texture;
    for (int x = pending.left; x < pending.right; ++x)
        texel_x[x - pending.left] = texel_at(x, quad.x[0], quad.x[1], quad.u[0], du, texture.width, states.address_u);
    for (int y = pending.top; y < pending.bottom; ++y)
        texel_y[y - pending.top] = texel_at(y, quad.y[0], quad.y[2], quad.v[0], dv, texture.height, states.address_v);
    const SpanConstants& k = pending.k;
    pending.modulated = !(k.k[0] == 255 && k.k[1] == 255 && k.k[2] == 255 && k.k[3] == 255);
    pending.contiguous = true;
    for (int i = 1; i < count && pending.contiguous; ++i) pending.contiguous = texel_x[i] == texel_x[0] + i;
    // A quad over many bands keeps its prepared row, so a texel row is prepared only once.
    const bool direct = pending.contiguous && !pending.modulated && pending.op != BlendOp::add && k.or_mask == 0;
    pending.slot = -1;
    if (!direct && rows > band_rows_ && slots_used_ < PREPARED_SLOTS) {
        pending.slot = slots_used_++;
        slot_row_[static_cast<std::size_t>(pending.slot)] = -1;
    }
}

// The batch, band by band: every quad that crosses a band is applied to it in drawing order
// before the next band is touched, so each pixel sees the same operations in the same order
// as if the quads had been drawn one by one, while the band stays in the cache.
void Compositor::flush() {
    if (batch_.empty()) return;
    const int bands = (height_ + band_rows_ - 1) / band_rows_;
    std::fill(band_start_.begin(), band_start_.end(), 0);
    for (const Pending& pending : batch_)
        for (int band = pending.top / band_rows_; band <= (pending.bottom - 1) / band_rows_; ++band) ++band_start_[band + 1];
    for (int band = 0; band < bands; ++band) band_start_[band + 1] += band_start_[band];
    std::vector<int>& fill_at = band_fill_;
    std::copy(band_start_.begin(), band_start_.end() - 1, fill_at.begin());
    for (int i = 0; i < static_cast<int>(batch_.size()); ++i) {
        const Pending& pending = batch_[static_cast<std::size_t>(i)];
        for (int band = pending.top / band_rows_; band <= (pending.bottom - 1) / band_rows_; ++band)
            band_entries_[static_cast<std::size_t>(fill_at[band]++)] = i;
    }
    for (int band = 0; band < bands; ++band) {
        const int band_top = band * band_rows_, band_bottom = std::min(height_, band_top + band_rows_);
        if (pending_clear_)
            for (int y = band_top; y < band_bottom; ++y) std::fill(row(y), row(y) + width_, clear_colour_);
        for (int entry = band_start_[band]; entry < band_start_[band + 1]; ++entry) {
            const Pending& pending = batch_[static_cast<std::size_t>(band_entries_[static_cast<std::size_t>(entry)])];
            apply_rows(pending, std::max(pending.top, band_top), std::min(pending.bottom, band_bottom));
        }
    }
    pending_clear_ = false;
    batch_.clear();
    arena_used_ = 0;
    slots_used_ = 0;
}

void Compositor::apply_rows(const Pending& pending, int top, int bottom) {
    const KernelSet& set = kernel_set(kernels_);
    const int index = static_cast<int>(pending.op);
    const int left = pending.left, count = pending.right - pending.left;
    const SpanConstants& k = pending.k;
    if (!pending.textured) {
        const ApplyKernel kernel =
            (pending.op == BlendOp::alpha && (k.solid >> 24) == 255) ? set.solid[0] : set.solid[index];
        for (int y = top; y < bottom; ++y)
            kernel(nullptr, row(y) + left, count, k);
        return;
    }
    const TextureView& texture = pending.texture;
    const int* texel_x = arena_.data() + pending.texel_x;
    const int* texel_y = arena_.data() + pending.texel_y;
    // Texels that go on as they are need no preparing.
    const bool direct = pending.contiguous && !pending.modulated && pending.op != BlendOp::add && k.or_mask == 0;
    const ApplyKernel apply = set.apply[index];
    // The prepared row, the texel row it holds, and its span that changes anything.
    std::uint32_t* prepared = row_.data();
    int shared_row = -1, shared_first = 0, shared_last = count;
    int* prepared_row = &shared_row;
    int* first = &shared_first;
    int* last = &shared_last;
    if (pending.slot >= 0) {
        const std::size_t slot = static_cast<std::size_t>(pending.slot);
        prepared = prepared_rows_.data() + slot * static_cast<std::size_t>(width_);
        prepared_row = &slot_row_[slot];
        first = &slot_first_[slot];
        last = &slot_last_[slot];
    }
    for (int y = top; y < bottom; ++y) {
        const int texel_row = texel_y[y - pending.top];
        const std::uint32_t* texels = texture.pixels + static_cast<std::size_t>(texel_row) * texture.pitch;
        std::uint32_t* out = row(y) + left;
        if (direct) {
            apply(texels + texel_x[0], out, count, k);
            continue;
        }
        if (texel_row != *prepared_row) {
            prepare_row(set, texels, texel_x, count, pending.contiguous, pending.modulated, pending.op, k, prepared,
                        *first, *last);
            *prepared_row = texel_row;
        }
        if (*first < *last) apply(prepared + *first, out + *first, *last - *first, k);
    }
}

// Any other triangle: edge functions at the pixel centres with the top-left rule, the texture
// coordinates and the diffuse colour interpolated across it, every pixel through the full
// stage and blend.
void Compositor::draw_triangle(const QuadCorners& quad, const DrawStates& states, int a, int b, int c) {
    Triangle t;
    if (!set_up_triangle(quad, a, b, c, t)) return;
    const int left = first_pixel_at(std::min({t.x[0], t.x[1], t.x[2]}), width_);
    const int right = static_cast<int>(std::clamp(std::floor(std::max({t.x[0], t.x[1], t.x[2]})) + 1.0, 0.0,
                                                  static_cast<double>(width_)));
    const int top = first_pixel_at(std::min({t.y[0], t.y[1], t.y[2]}), height_);
    const int bottom = static_cast<int>(std::clamp(std::floor(std::max({t.y[0], t.y[1], t.y[2]})) + 1.0, 0.0,
                                                   static_cast<double>(height_)));
    if (left >= right || top >= bottom) return;
    flush();
    settle();

    const BlendOp op = blend_op(states);
    const TextureView* texture = usable(states.texture);
    for (int py = top; py < bottom; ++py) {
        std::uint32_t* out = row(py);
        for (int px = left; px < right; ++px) {
            double weight[3];
            if (!inside(t, px, py, weight)) continue;
            double u, v;
            const std::uint32_t diffuse = interpolate(t, quad, weight, u, v);
            out[px] = blend(op, states, combine(states, sample(texture, states, u, v), diffuse), out[px]);
        }
    }
}

}  // namespace platform
