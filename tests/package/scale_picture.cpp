// The desktop layer's own scaler (PictureScaler) run on a screenshot, so a test can hold what
// another build put on the screen against what the Linux build would make of the same picture.
//   usage: scale_picture sharp|whole|linear WIDTH HEIGHT < picture.ppm > screen.ppm
// Binary PPM (P6) in and out, as ImageMagick writes and reads it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "picture_scaler.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: scale_picture sharp|whole|linear WIDTH HEIGHT < picture.ppm > screen.ppm\n");
        return 2;
    }
    const platform::ScaleFilter filter = std::strcmp(argv[1], "whole") == 0    ? platform::ScaleFilter::whole
                                         : std::strcmp(argv[1], "linear") == 0 ? platform::ScaleFilter::linear
                                                                               : platform::ScaleFilter::sharp;
    const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
    int picture_width = 0, picture_height = 0, most = 0;
    if (std::scanf("P6 %d %d %d", &picture_width, &picture_height, &most) != 3 || most != 255 ||
        std::fgetc(stdin) == EOF || picture_width <= 0 || picture_height <= 0 || width <= 0 || height <= 0) {
        std::fprintf(stderr, "scale_picture: not an 8-bit binary PPM, or no size\n");
        return 1;
    }
    std::vector<unsigned char> rgb(static_cast<std::size_t>(picture_width) * picture_height * 3);
    if (std::fread(rgb.data(), 1, rgb.size(), stdin) != rgb.size()) {
        std::fprintf(stderr, "scale_picture: the picture ends early\n");
        return 1;
    }
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(picture_width) * picture_height);
    for (std::size_t i = 0; i < picture.size(); ++i)
        picture[i] = 0xFF000000u | rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
    std::vector<std::uint32_t> screen(static_cast<std::size_t>(width) * height);
    platform::PictureScaler scaler;
    scaler.prepare(picture_width, picture_height, width, height, filter);
    scaler.scale(picture.data(), picture_width, screen.data(), width);
    std::printf("P6\n%d %d\n255\n", width, height);
    for (const std::uint32_t pixel : screen) {
        const unsigned char out[3] = {static_cast<unsigned char>(pixel >> 16), static_cast<unsigned char>(pixel >> 8),
                                      static_cast<unsigned char>(pixel)};
        std::fwrite(out, 1, 3, stdout);
    }
    return 0;
}
