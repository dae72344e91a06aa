#include "canvas_output.h"

#include <emscripten.h>
#include <wasm_simd128.h>

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "frame_gate.h"
#include "device_state.h"
#include "late_assets.h"

namespace {

// A 2D canvas and putImageData, rather than a WebGL texture: measured side by side in headless
// Chromium on a machine without a GPU, one 800 x 600 picture a frame cost 19 % of a core this
// way and 53 % through WebGL (which then also fell short of 60 frames a second). The image
// looks straight at the picture in the program's memory, so each frame is copied once, by
// the browser.
EM_JS(int, open_canvas, (int width, int height), {
    var canvas = Module.canvas;
    var context = canvas ? canvas.getContext("2d", {alpha: false}) : null;
    if (!context) return 0;
    canvas.width = width;
    canvas.height = height;
    Module.zorvalenCanvas = {context: context, image: null, memory: null};
    return 1;
});

EM_JS(void, put_picture, (const void* rgba, int width, int height), {
    var canvas = Module.zorvalenCanvas;
    // Memory that grew is a new buffer: the image must look at the new one.
    if (canvas.memory !== HEAPU8.buffer) {
        canvas.memory = HEAPU8.buffer;
        canvas.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height);
    }
    canvas.context.putImageData(canvas.image, 0, 0);
});

// Animation frames come at the display's rate; the time of the one that fired, in ms.
EM_ASYNC_JS(double, next_animation_frame, (), {
    return await new Promise(function(resolve) { requestAnimationFrame(resolve); });
});

// The one canvas, shown by the device that has it.
class CanvasOutput final : public platform::CompositedOutput {
public:
    ~CanvasOutput() override { canvas_taken = false; }

    bool open(int width, int height) {
        if (canvas_taken || !make_compositor(width, height) || !open_canvas(width, height)) return false;
        canvas_taken = true;
        width_ = width;
        height_ = height;
        rgba_.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
        return true;
    }
    void show() override {
        // A frame drawn from a picture still on its way is not shown: it waits for the picture,
        // and the next frame, drawn from it, takes its place. The game's frames are counted, not
        // timed, so neither its state nor its later pictures change.
        if (platform::MemoryTexture::take_awaited_drawn())
            web::wait_for_late_pictures();
        else
            put(compositor_->frame());
        EM_ASM({ if (Module.framePresented) Module.framePresented(); });
        wait_for_next_frame();
    }

private:
    static inline bool canvas_taken = false;

    // The whole picture onto the canvas.
    void put(const platform::FrameView& frame);
    // Yields to the browser until the next animation frame at which a new game frame is due.
    void wait_for_next_frame();

    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint32_t> rgba_;  // the picture in the canvas' byte order, made once
    web::FrameGate gate_;
};

void CanvasOutput::put(const platform::FrameView& frame) {
    if (rgba_.empty() || frame.width != width_ || frame.height != height_) return;
    // 0xAARRGGBB to the canvas' R, G, B, A bytes; the canvas is opaque, whatever the picture's
    // alpha. Four pixels at a time (WebAssembly's SIMD, which the compositor's kernels need
    // already): every frame passes through here, and the scalar loop cost a tenth of a core.
    std::uint32_t* out = rgba_.data();
    const v128_t opaque = wasm_i32x4_splat(static_cast<int32_t>(0xFF000000u));
    for (int y = 0; y < height_; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const unsigned char*>(frame.pixels) +
                                                                 static_cast<std::size_t>(y) * frame.pitch);
        int x = 0;
        for (; x + 4 <= width_; x += 4, out += 4) {
            const v128_t bgra = wasm_v128_load(row + x);
            const v128_t rgba = wasm_i8x16_shuffle(bgra, bgra, 2, 1, 0, 3, 6, 5, 4, 7, 10, 9, 8, 11, 14, 13, 12, 15);
            wasm_v128_store(out, wasm_v128_or(rgba, opaque));
        }
        for (; x < width_; ++x, ++out) {
            const std::uint32_t argb = row[x];
            *out = 0xFF000000u | ((argb & 0xFFu) << 16) | (argb & 0xFF00u) | ((argb >> 16) & 0xFFu);
        }
    }
    put_picture(rgba_.data(), width_, height_);
}

void CanvasOutput::wait_for_next_frame() {
    gate_.frame_ready(static_cast<int64_t>(emscripten_get_now() * 1000.0));
    while (!gate_.shows(static_cast<int64_t>(next_animation_frame() * 1000.0))) {
    }
}

}  // namespace

namespace web {

bool open_canvas_output(int width, int height, std::unique_ptr<platform::FrameOutput>& output) {
    std::unique_ptr<CanvasOutput> canvas(new (std::nothrow) CanvasOutput());
    if (canvas == nullptr || !canvas->open(width, height)) return false;
    output = std::move(canvas);
    return true;
}

}  // namespace web
