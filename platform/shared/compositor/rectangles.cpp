// Screen-aligned rectangles, the game's every quad: each goes into a batch with the texel
// columns and rows of its pixels, and the batch is drawn band by band through the kernels.
#include <algorithm>
#include <vector>

#include "kernels.h"
#include "rectangles.h"
#include "texture_stage.h"

namespace platform {

using namespace compositing;

namespace {

bool is_rectangle(const QuadCorners& quad) {
    return quad.x[0] == quad.x[2] && quad.x[1] == quad.x[3] && quad.y[0] == quad.y[1] && quad.y[2] == quad.y[3] &&
           quad.u[0] == quad.u[2] && quad.u[1] == quad.u[3] && quad.v[0] == quad.v[1] && quad.v[2] == quad.v[3] &&
           quad.colour[0] == quad.colour[1] && quad.colour[0] == quad.colour[2] && quad.colour[0] == quad.colour[3];
}

// The texel along one axis for the pixel at `pixel`, the quad running from p0 to p1 on screen
// and from t0 by dt in the texture.
inline int texel_at(int pixel, double p0, double p1, float t0, double dt, int size, std::uint32_t address) {
    return texel_index(t0 + dt * ((pixel - p0) / (p1 - p0)), size, address);
}

const KernelSet& kernel_set(Compositor::Kernels kernels) {
    if (kernels == Compositor::Kernels::sse2 && sse2_kernels() != nullptr) return *sse2_kernels();
    return portable_kernels;
}

// One texel row through the stage into `prepared`, and its span that changes anything:
// blended texels of alpha 0 (and, added, of no amount) at either end change nothing. A quad
// scaled up reads each texel of the row many times over: the texels it reads go through the
// stage once each, into `staged`, and are then spread along the row.
void prepare_row(const KernelSet& set, const std::uint32_t* texels, const int* texel_x, int count, bool contiguous,
                 int lowest_x, int highest_x, bool modulated, BlendOp op, const SpanConstants& k,
                 std::uint32_t* prepared, std::uint32_t* staged, int& first, int& last) {
    const bool premultiply = op == BlendOp::add;
    if (contiguous) {
        set.prepare(texels + texel_x[0], prepared, count, k, modulated, premultiply);
    } else if (highest_x - lowest_x + 1 < count) {
        set.prepare(texels + lowest_x, staged, highest_x - lowest_x + 1, k, modulated, premultiply);
        set.spread(staged, texel_x, lowest_x, prepared, count);
    } else {
        for (int i = 0; i < count; ++i) prepared[i] = texels[texel_x[i]];
        set.prepare(prepared, prepared, count, k, modulated, premultiply);
    }
    first = 0;
    last = count;
    if (op != BlendOp::none) {
        const std::uint32_t mask = premultiply ? 0xFFFFFFFFu : 0xFF000000u;
        while (first < last && (prepared[first] & mask) == 0) ++first;
        while (last > first && (prepared[last - 1] & mask) == 0) --last;
    }
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
    painted_ = true;
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
    pending.lowest_x = texel_x[0];
    pending.highest_x = texel_x[count - 1];
    if (!pending.contiguous) {
        const auto [lowest, highest] = std::minmax_element(texel_x, texel_x + count);
        pending.lowest_x = *lowest;
        pending.highest_x = *highest;
    }
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
    painted_ = true;
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
        // A row that a later quad covers from edge to edge, and whose pixels that quad writes
        // whatever lay under them, is drawn from that quad on (the stage's ground hides the
        // black the frame began with, and the stars behind it).
        const auto hidden_by = [this, band_top](int y) -> int& {
            return row_hidden_by_[static_cast<std::size_t>(y - band_top)];
        };
        bool any_hidden = false;
        std::fill(row_hidden_by_.begin(), row_hidden_by_.end(), -1);
        for (int entry = band_start_[band]; entry < band_start_[band + 1]; ++entry) {
            const int index = band_entries_[static_cast<std::size_t>(entry)];
            const Pending& pending = batch_[static_cast<std::size_t>(index)];
            if (pending.left != 0 || pending.right != width_) continue;
            for (int y = std::max(pending.top, band_top); y < std::min(pending.bottom, band_bottom); ++y)
                if (hides_row(pending, y)) {
                    hidden_by(y) = index;
                    any_hidden = true;
                }
        }
        if (pending_clear_)
            for (int y = band_top; y < band_bottom; ++y)
                if (hidden_by(y) < 0) std::fill(row(y), row(y) + width_, clear_colour_);
        for (int entry = band_start_[band]; entry < band_start_[band + 1]; ++entry) {
            const int index = band_entries_[static_cast<std::size_t>(entry)];
            const Pending& pending = batch_[static_cast<std::size_t>(index)];
            const int top = std::max(pending.top, band_top), bottom = std::min(pending.bottom, band_bottom);
            if (!any_hidden) {
                apply_rows(pending, top, bottom);
                continue;
            }
            for (int y = top; y < bottom;) {
                while (y < bottom && hidden_by(y) > index) ++y;
                const int from = y;
                while (y < bottom && hidden_by(y) <= index) ++y;
                if (from < y) apply_rows(pending, from, y);
            }
        }
    }
    pending_clear_ = false;
    batch_.clear();
    arena_used_ = 0;
    slots_used_ = 0;
}

// Whether the quad, covering row y from edge to edge, writes each of its pixels whatever lay
// under it: an opaque fill, texels copied, or texels blended by their alpha where all of them
// are opaque.
bool Compositor::hides_row(const Pending& pending, int y) const {
    const SpanConstants& k = pending.k;
    if (!pending.textured)
        return pending.op == BlendOp::none || (pending.op == BlendOp::alpha && (k.solid >> 24) == 255);
    const bool direct = pending.contiguous && !pending.modulated && pending.op != BlendOp::add && k.or_mask == 0;
    if (!direct) return false;
    if (pending.op == BlendOp::none) return true;
    if (pending.op != BlendOp::alpha || pending.texture.opaque == nullptr) return false;
    const int texel_row = arena_[static_cast<std::size_t>(pending.texel_y + (y - pending.top))];
    const int* opaque = pending.texture.opaque + 2 * static_cast<std::size_t>(texel_row);
    const int from = arena_[static_cast<std::size_t>(pending.texel_x)];
    return opaque[0] <= from && from + (pending.right - pending.left) <= opaque[1];
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
        if (direct && pending.op == BlendOp::alpha && texture.row_visible != nullptr) {
            const int from = texel_x[0], to = texel_x[0] + count;
            for (int span = texture.row_visible[texel_row]; span < texture.row_visible[texel_row + 1]; span += 2) {
                const int start = std::max(texture.visible[span], from), end = std::min(texture.visible[span + 1], to);
                if (start < end) apply(texels + start, out + (start - from), end - start, k);
            }
            continue;
        }
        if (direct) {
            apply(texels + texel_x[0], out, count, k);
            continue;
        }
        if (texel_row != *prepared_row) {
            prepare_row(set, texels, texel_x, count, pending.contiguous, pending.lowest_x, pending.highest_x,
                        pending.modulated, pending.op, k, prepared, staged_.data(), *first, *last);
            *prepared_row = texel_row;
        }
        if (*first < *last) apply(prepared + *first, out + *first, *last - *first, k);
    }
}

}  // namespace platform
