// Our own compositor: an A8R8G8B8 back buffer in memory and the exact pixel rules of the
// Direct3D 9 subset the game uses. Plain C++ over a pixel buffer, no SDL and no window system,
// so that every presentation path (the window surface, a browser canvas, a scaler, the headless
// pictures) reads the same finished frame.
//
// One rule to a file, as in SDL's software renderer: compositor.cpp the frame and the dispatch
// of each quad; pixel_math.h the arithmetic of one pixel; kernels_portable.cpp and
// kernels_sse2.cpp the inner loops over a row (the SSE2 file alone built with SIMD flags);
// texture_stage.cpp the stage, the blend and the texel addressing; rectangles.cpp the batch of
// screen-aligned rectangles, drawn band by band; triangles.cpp every other quad.
//
// The rules, all of them Direct3D 9's:
// - Pixel centres lie on integer coordinates and triangles fill by the top-left rule: a
//   rectangle from x0 to x1 (integers) covers the pixels x0 .. x1 - 1, whatever the sign of
//   its width; a quad of zero width covers nothing.
// - Point sampling: the texture coordinate at the pixel centre, times the texture's size,
//   snapped to 8 bits of sub-texel precision (round to nearest), then floored, then wrapped,
//   mirrored or clamped by the sampler's address mode. So a sprite at its own size takes texel
//   k at pixel x0 + k, a mirrored one starts with u = 1 at its left pixel (texel 0 under WRAP),
//   and a glyph quad one pixel wider than its glyph shows its first column twice.
// - Texture stage 0: colour and alpha each either texel x diffuse (MODULATE) or one of them
//   (SELECTARG1/2), where a missing texture reads as opaque white, an X8R8G8B8 texture's alpha
//   as 255, and "current" at stage 0 is the diffuse colour.
// - Modulate and blend multiply 8-bit unit values and round to nearest: round(a x b / 255),
//   as Direct3D 10 and later require (within 0.6 ulp) and as current hardware and Mesa's
//   llvmpipe do. Exact at both ends (255 x c = c, 0 x c = 0) and the same in every channel.
// - Blending off writes the source; SRCALPHA/INVSRCALPHA gives
//   round((s x a + d x (255 - a)) / 255); SRCALPHA/ONE gives min(255, round(s x a / 255) + d);
//   any other factors go through a general per-pixel path. Alpha is blended like the colours,
//   with the colour factors' alpha components.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// One DrawPrimitiveUP of the game: a two-triangle strip of pre-transformed vertices.
struct QuadCorners {
    float x[4], y[4], u[4], v[4];  // triangle-strip order
    std::uint32_t colour[4];       // ARGB
};

// A texture's level 0 as the compositor reads it, during the draw call only.
struct TextureView {
    const std::uint32_t* pixels = nullptr;  // 0xAARRGGBB rows
    int width = 0;
    int height = 0;
    int pitch = 0;      // pixels from one row to the next
    bool alpha = true;  // false for X8R8G8B8: every texel's alpha reads as 255
    // Where each row's texels of alpha above 0 lie, as their owner found (null when unknown):
    // row y's spans are the [start, end) pairs from visible[row_visible[y]] to
    // visible[row_visible[y + 1]]. A sprite blended by its alpha changes nothing elsewhere, so
    // the clear part of a picture (most of a stage's) is not even read.
    const int* row_visible = nullptr;
    const int* visible = nullptr;
    // Each row's longest run of opaque texels (alpha 255), [opaque[2 y], opaque[2 y + 1]), or
    // null when unknown. A sprite blended by its alpha hides whatever was drawn under it there,
    // so a row a picture covers opaquely from edge to edge is drawn from that picture on.
    const int* opaque = nullptr;
};

// The device's states that decide a draw's look, with Direct3D 9's numeric values.
struct DrawStates {
    const TextureView* texture = nullptr;  // stage 0; null when none is bound
    bool blend = false;                    // D3DRS_ALPHABLENDENABLE
    std::uint32_t source_blend = 2;        // D3DRS_SRCBLEND (D3DBLEND_ONE)
    std::uint32_t destination_blend = 1;   // D3DRS_DESTBLEND (D3DBLEND_ZERO)
    std::uint32_t colour_op = 4, colour_arg1 = 2, colour_arg2 = 0;  // MODULATE, TEXTURE, DIFFUSE
    std::uint32_t alpha_op = 4, alpha_arg1 = 2, alpha_arg2 = 0;
    std::uint32_t address_u = 1, address_v = 1;  // D3DTADDRESS_WRAP
};

// The finished picture: what presentation code reads at Present time.
struct FrameView {
    const std::uint32_t* pixels = nullptr;  // 0xAARRGGBB
    int width = 0;
    int height = 0;
    int pitch = 0;  // bytes from one row to the next
};

class Compositor {
public:
    enum class Kernels { portable, sse2 };

    // Allocates the back buffer once; nothing is allocated per frame. Quads are drawn in bands
    // of `band_rows` rows (0: the whole height, one quad after another), which keeps the rows
    // that many quads cover in the cache.
    static constexpr int BAND_ROWS = 16;
    Compositor(int width, int height, int band_rows = BAND_ROWS);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // The whole back buffer in one colour (costs nothing until something is drawn).
    void clear(std::uint32_t argb);
    // A rectangle of it (Clear with rectangles), clipped to the back buffer.
    void fill(int left, int top, int right, int bottom, std::uint32_t argb);
    // One quad; the flags say which of the strip's triangles survived culling.
    void draw(const QuadCorners& quad, const DrawStates& states, bool first_triangle = true,
              bool second_triangle = true);

    // The picture as it stands.
    FrameView frame();

    // Where the frame is drawn: by default the compositor's own buffer; a window system's
    // surface of the same size can take it instead, so that showing the frame needs no copy.
    // The picture drawn so far is carried over. Null returns to the own buffer.
    void set_target(std::uint32_t* pixels, int pitch_in_pixels);

    // Quads are kept and drawn in bands, in a batch: whoever is about to change or free a
    // texture's pixels that a quad drawn since the last flush may read must flush first.
    void flush();

    // A frame drawn by the same calls since a full clear as the frame before it, into the same
    // target, with nothing else written there since, is already in the target: frame() leaves it
    // as it is (a still title screen or pause costs no compositing). Whoever changes what such a
    // frame read without the compositor seeing it (a texture's pixels, the target's memory) calls
    // forget_shown() first, and the next frame is drawn in full.
    void forget_shown() {
        shown_valid_ = false;
        unseen_change_ = true;
    }
    // How many frames were found already in their target, since the compositor was made.
    std::uint64_t frames_reused() const { return frames_reused_; }

    // The SIMD kernels where the processor has them (always on x86-64), else the portable ones.
    // Both give the same pixels; tests run both.
    void set_kernels(Kernels kernels);
    Kernels kernels() const { return kernels_; }
    static bool has_sse2();

private:
    static constexpr int BATCH_QUADS = 4096;
    static constexpr std::size_t ARENA_SIZE = 1u << 18;
    static constexpr int PREPARED_SLOTS = 64;

    struct Pending;  // a rectangle waiting in the batch

    void settle();  // paints a pending clear
    bool draw_rectangle(const QuadCorners& quad, const DrawStates& states);
    void draw_triangle(const QuadCorners& quad, const DrawStates& states, int a, int b, int c);
    void apply_rows(const Pending& pending, int top, int bottom);
    bool hides_row(const Pending& pending, int y) const;
    // The steps of draw_rectangle.
    void drop_if_covered(const Pending& pending);
    void paint_each_pixel(const Pending& pending, const QuadCorners& quad, const DrawStates& states);
    void queue(Pending& pending, const QuadCorners& quad, const DrawStates& states);
    void map_texels(Pending& pending, const QuadCorners& quad, const DrawStates& states);
    void note_call(const std::uint32_t* words, std::size_t count);  // into the frame's digest of its calls
    void note_draw(const QuadCorners& quad, const DrawStates& states, bool first_triangle, bool second_triangle);

    int width_, height_;
    int band_rows_;
    std::uint32_t* target_ = nullptr;  // where rows are drawn: pixels_ or a window's surface
    int pitch_ = 0;                    // in pixels
    std::uint32_t* row(int y) { return target_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(pitch_); }
    std::vector<std::uint32_t> pixels_;
    std::vector<Pending> batch_;
    bool pending_clear_ = false;
    std::uint32_t clear_colour_ = 0;
    Kernels kernels_;
    // Sized once: one row of prepared texels, the batch with its texel tables, and the
    // batch sorted into bands.
    std::vector<std::uint32_t> row_;
    std::vector<std::uint32_t> staged_;  // the texels a scaled quad's row reads, through the stage
    std::vector<int> arena_;
    std::size_t arena_used_ = 0;
    std::vector<int> band_start_;
    std::vector<int> band_fill_;
    std::vector<int> band_entries_;
    std::vector<int> row_hidden_by_;  // per row of a band: the last quad hiding all of it, or -1
    std::vector<std::uint32_t> prepared_rows_;  // the slots of quads over many bands
    std::vector<int> slot_row_, slot_first_, slot_last_;
    int slots_used_ = 0;
    // What this frame is made of, and what the target holds. A frame is described by its calls
    // when it began with a full clear and nothing has been written into the target since the
    // last frame() but through the batch.
    static constexpr std::uint64_t DIGEST_SEED = 0x9E3779B97F4A7C15ull;
    std::uint64_t calls_digest_ = DIGEST_SEED;
    // The states of the last draw noted since the digest began: a draw with the same ones (the
    // stars, a line of text) notes only its corners.
    std::uint32_t noted_states_[20] = {};
    bool states_noted_ = false;
    bool cleared_whole_ = false;  // a full clear since the last frame()
    bool painted_ = false;        // the target written since the last frame()
    bool unseen_change_ = false;  // forget_shown() since the last frame()
    bool shown_valid_ = false;    // the target holds the picture of shown_digest_'s calls
    std::uint64_t shown_digest_ = 0;
    const std::uint32_t* shown_target_ = nullptr;
    std::uint64_t frames_reused_ = 0;
};

}  // namespace platform
