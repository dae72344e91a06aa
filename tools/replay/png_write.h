// Pictures of presented frames as PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace replay {

// A picture in the layer's pixel format: 0xAARRGGBB, row-major.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// Writes the picture as an opaque RGB PNG (the back buffer's alpha means nothing on screen).
bool write_png(const std::string& path, const Picture& picture);
// Reads an RGB or RGBA PNG; the alpha of RGB files is 255.
bool read_png(const std::string& path, Picture& picture);
// The part of `picture` at (x, y) of size w x h, cut to the picture's bounds.
Picture crop(const Picture& picture, int x, int y, int w, int h);

}  // namespace replay
