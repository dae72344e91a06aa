// The image loader behind load_sprite: any bytes under a picture's name.
//
// libFuzzer hands the input over in a heap block of exactly its size, so AddressSanitizer
// stops any read past the file's end. On top of that, a decoded image must be exactly as
// large as it says, and a refused one must come back empty.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gfx/image_file.h"

namespace {

[[noreturn]] void broken(const char* what, const DecodedImage& image) {
    std::fprintf(stderr, "image invariant broken: %s (width %d, height %d, %zu pixels)\n", what, image.width,
                 image.height, image.pixels.size());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodedImage image;
    image.width = 7;  // the loader must clear what the caller held
    image.pixels.assign(3, 0);
    const bool decoded = decode_image_bytes(data, size, image);
    if (!decoded) {
        if (image.width != 0 || image.height != 0 || !image.pixels.empty()) broken("a refused file left pixels", image);
        return 0;
    }
    if (image.width <= 0 || image.height <= 0) broken("a decoded image has no area", image);
    if (image.pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        broken("pixel count is not width times height", image);
    // Read every pixel once, so a short buffer is caught here rather than in the texture copy.
    uint32_t sum = 0;
    for (uint32_t pixel : image.pixels) sum ^= pixel;
    volatile uint32_t keep = sum;
    (void)keep;
    return 0;
}
