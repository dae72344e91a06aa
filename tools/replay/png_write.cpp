// Our own copy of the PNG encoder, kept private to this file: the asset generator links its own copy
// into the same test program.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

// The decoder is compiled once, in the game library.
#include <stb/stb_image.h>

#include "png_write.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace replay {

bool write_png(const std::string& path, const Picture& picture) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    std::vector<unsigned char> rgb(picture.pixels.size() * 3);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const std::uint32_t argb = picture.pixels[i];
        rgb[i * 3 + 0] = static_cast<unsigned char>(argb >> 16);
        rgb[i * 3 + 1] = static_cast<unsigned char>(argb >> 8);
        rgb[i * 3 + 2] = static_cast<unsigned char>(argb);
    }
    return stbi_write_png(path.c_str(), picture.width, picture.height, 3, rgb.data(), picture.width * 3) != 0;
}

bool read_png(const std::string& path, Picture& picture) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    int width = 0;
    int height = 0;
    int channels = 0;
    unsigned char* rgba = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height,
                                                &channels, 4);
    if (rgba == nullptr) return false;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        const unsigned char* p = rgba + i * 4;
        picture.pixels[i] = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) |
                            std::uint32_t{p[2]};
    }
    stbi_image_free(rgba);
    return true;
}

Picture crop(const Picture& picture, int x, int y, int w, int h) {
    const int left = std::clamp(x, 0, picture.width);
    const int top = std::clamp(y, 0, picture.height);
    const int right = std::clamp(x + w, left, picture.width);
    const int bottom = std::clamp(y + h, top, picture.height);
    Picture out;
    out.width = right - left;
    out.height = bottom - top;
    out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int row = top; row < bottom; ++row) {
        for (int column = left; column < right; ++column) out.pixels.push_back(picture.at(column, row));
    }
    return out;
}

}  // namespace replay
