// The compositor's frame and its dispatch: the back buffer, clears and fills, where the frame
// is drawn, and each quad sent to the rectangles (rectangles.cpp) or the triangles
// (triangles.cpp).
#include "compositor.h"

#include <algorithm>
#include <cstring>

#include "kernels.h"
#include "rectangles.h"

namespace platform {

Compositor::~Compositor() = default;

Compositor::Compositor(int width, int height, int band_rows)
    : width_(width > 0 ? width : 1), height_(height > 0 ? height : 1),
      band_rows_(band_rows > 0 ? band_rows : height_),
      pixels_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0u),
      kernels_(has_sse2() ? Kernels::sse2 : Kernels::portable),
      row_(static_cast<std::size_t>(width_)), staged_(static_cast<std::size_t>(width_ + compositing::SPREAD_OVERREAD)), arena_(ARENA_SIZE),
      band_start_(static_cast<std::size_t>((height_ + band_rows_ - 1) / band_rows_) + 1),
      band_fill_(band_start_.size()),
      band_entries_(static_cast<std::size_t>(BATCH_QUADS) * ((height_ + band_rows_ - 1) / band_rows_)),
      row_hidden_by_(static_cast<std::size_t>(band_rows_)) {
    target_ = pixels_.data();
    pitch_ = width_;
    batch_.reserve(BATCH_QUADS);
    prepared_rows_.resize(static_cast<std::size_t>(PREPARED_SLOTS) * static_cast<std::size_t>(width_));
    slot_row_.resize(PREPARED_SLOTS);
    slot_first_.resize(PREPARED_SLOTS);
    slot_last_.resize(PREPARED_SLOTS);
}

bool Compositor::has_sse2() { return compositing::sse2_kernels() != nullptr; }

void Compositor::set_kernels(Kernels kernels) { kernels_ = kernels == Kernels::sse2 && has_sse2() ? kernels : Kernels::portable; }

void Compositor::clear(std::uint32_t argb) {
    batch_.clear();  // covered by the clear
    arena_used_ = 0;
    slots_used_ = 0;
    pending_clear_ = true;
    clear_colour_ = argb;
    // Nothing called before matters to the picture now.
    calls_digest_ = DIGEST_SEED;
    states_noted_ = false;
    cleared_whole_ = true;
    note_call(&argb, 1);
}

namespace {

inline std::uint64_t mix(std::uint64_t digest, std::uint64_t word) {
    digest = (digest ^ word) * 0x9E3779B97F4A7C15ull;
    return digest ^ (digest >> 32);
}

}  // namespace

void Compositor::note_call(const std::uint32_t* words, std::size_t count) {
    // Two words at a time through a multiply and a shift, in four lanes at once: a busy frame
    // notes some 1,500 quads of 40 words, and a single chain of multiplies waits on each in
    // turn (a byte at a time, FNV-1a, cost as much as drawing them). The lanes start apart and
    // are folded into the digest at the end of the call.
    const auto pair = [words](std::size_t i) { return words[i] | static_cast<std::uint64_t>(words[i + 1]) << 32; };
    const std::uint64_t digest = calls_digest_;
    std::uint64_t lane[4] = {digest, digest + 0x6A09E667F3BCC909ull, digest + 0xBB67AE8584CAA73Bull,
                             digest + 0x3C6EF372FE94F82Bull};
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8)
        for (int j = 0; j < 4; ++j) lane[j] = mix(lane[j], pair(i + 2 * static_cast<std::size_t>(j)));
    for (int j = 0; i + 2 <= count; i += 2, ++j) lane[j] = mix(lane[j], pair(i));
    if (i < count) lane[3] = mix(lane[3], words[i]);
    const auto rotate = [](std::uint64_t x, int bits) { return x << bits | x >> (64 - bits); };
    calls_digest_ = mix(mix(lane[0] ^ rotate(lane[1], 21), lane[2] ^ rotate(lane[3], 43)), count);
}

void Compositor::note_draw(const QuadCorners& quad, const DrawStates& states, bool first_triangle,
                           bool second_triangle) {
    static_assert(sizeof(QuadCorners) == 20 * sizeof(std::uint32_t), "a quad is 20 words, no padding");
    // Field by field: the records have padding, whose bytes are nobody's. The corners and the
    // states go in one call, so that the lanes have the most to share; states the same as the
    // last draw's are left out.
    const TextureView none;
    const TextureView& texture = states.texture != nullptr ? *states.texture : none;
    const std::uintptr_t texels = reinterpret_cast<std::uintptr_t>(texture.pixels);
    const std::uint32_t fields[] = {
        static_cast<std::uint32_t>(texels), static_cast<std::uint32_t>(static_cast<std::uint64_t>(texels) >> 32),
        static_cast<std::uint32_t>(texture.width), static_cast<std::uint32_t>(texture.height),
        static_cast<std::uint32_t>(texture.pitch), texture.alpha, states.texture != nullptr, states.blend,
        states.source_blend, states.destination_blend, states.colour_op, states.colour_arg1, states.colour_arg2,
        states.alpha_op, states.alpha_arg1, states.alpha_arg2, states.address_u, states.address_v, first_triangle,
        second_triangle};
    static_assert(sizeof fields == 20 * sizeof(std::uint32_t), "the states are 20 words");
    std::uint32_t words[40];
    std::memcpy(words, &quad, sizeof(QuadCorners));
    if (states_noted_ && std::memcmp(fields, noted_states_, sizeof fields) == 0) {
        note_call(words, 20);  // the count tells it from a draw with its states
        return;
    }
    std::memcpy(noted_states_, fields, sizeof fields);
    states_noted_ = true;
    std::memcpy(words + 20, fields, sizeof fields);
    note_call(words, 40);
}

void Compositor::settle() {
    if (!pending_clear_) return;
    pending_clear_ = false;
    painted_ = true;
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
    const std::uint32_t rect[] = {static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                                  static_cast<std::uint32_t>(right), static_cast<std::uint32_t>(bottom)};
    note_call(rect, 4);
    note_call(&argb, 1);
    painted_ = true;
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
    painted_ = true;
    if (!pending_clear_)
        for (int y = 0; y < height_; ++y)
            std::memmove(row(y), from + static_cast<std::size_t>(y) * from_pitch, sizeof(std::uint32_t) * width_);
}

FrameView Compositor::frame() {
    // Asked again with nothing new (a capture, then the show): the picture as it stands.
    const bool nothing_new = !cleared_whole_ && !painted_ && !unseen_change_ && batch_.empty() && !pending_clear_;
    if (!nothing_new) {
        const bool described = cleared_whole_ && !painted_ && !unseen_change_;
        if (described && shown_valid_ && calls_digest_ == shown_digest_ && target_ == shown_target_) {
            batch_.clear();  // it would draw what the target already holds
            arena_used_ = 0;
            slots_used_ = 0;
            pending_clear_ = false;
            ++frames_reused_;
        } else {
            flush();
            settle();
        }
        shown_valid_ = described;
        shown_digest_ = calls_digest_;
        shown_target_ = target_;
        calls_digest_ = DIGEST_SEED;
        states_noted_ = false;
        cleared_whole_ = painted_ = unseen_change_ = false;
    }
    FrameView view;
    view.pixels = target_;
    view.width = width_;
    view.height = height_;
    view.pitch = pitch_ * 4;
    return view;
}

void Compositor::draw(const QuadCorners& quad, const DrawStates& states, bool first_triangle, bool second_triangle) {
    if (!first_triangle && !second_triangle) return;
    note_draw(quad, states, first_triangle, second_triangle);
    if (first_triangle && second_triangle && draw_rectangle(quad, states)) return;
    if (first_triangle) draw_triangle(quad, states, 0, 1, 2);
    if (second_triangle) draw_triangle(quad, states, 1, 3, 2);
}

}  // namespace platform
