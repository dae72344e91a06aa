// load_font from bytes of any length, called as the game calls it, into a headless device;
// then every character code drawn with the resulting glyph table.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <headless.h>

#include "gfx/font.h"
#include "gfx/graphics.h"
#include "scratch_file.h"
#include "world/world.h"

namespace {

constexpr int32_t strip_width = 648;
constexpr int32_t strip_height = 12;

[[noreturn]] void broken(const char* what, int code) {
    std::fprintf(stderr, "font invariant broken: %s (code %d: start %d, width %d)\n", what, code,
                 world.font.glyph_start[code], world.font.glyph_width[code]);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    headless::set_mode(headless::Mode::record);
    headless::set_recording(false);
    world.main_window =
        CreateWindowExA(0, "Zorvalen", "", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr, nullptr, nullptr);
    create_graphics(800, 600, true);  // leaves a scene open, for the draws below
    if (world.d3d_device == nullptr) {
        std::fprintf(stderr, "fuzz_font: no headless device\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::write_scratch(data, size);
    load_font(fuzz::scratch_path(), world.font, strip_width, strip_height, 2);
    if (world.font.texture == nullptr) broken("no texture for a file that opened", 0);

    // Every glyph lies inside the strip: the scan never runs past row 0.
    for (int code = 0; code < 256; ++code) {
        const int32_t start = world.font.glyph_start[code];
        const int32_t width = world.font.glyph_width[code];
        if (code < 32 || code > 127) {
            if (start != 0 || width != 0) broken("a code outside 32..127 has a glyph", code);
            continue;
        }
        if (width == 0 && start == 0) continue;  // past the last mark
        if (start < 1 || start > strip_width || width < -1 || start + width > strip_width - 1)
            broken("a glyph lies outside the strip", code);
    }

    char text[257];
    for (int code = 1; code < 256; ++code) text[code - 1] = static_cast<char>(code);
    text[255] = '\0';
    draw_text(0, 0, text, world.font, 0xFFFFFFFFu);
    draw_text_scaled(-100, 300, text, world.font, 0x80808080u, 4);
    return 0;
}
