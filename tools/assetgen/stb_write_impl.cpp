// The one place that compiles stb_image_write. Its functions stay private to this file so they can
// never clash with another copy of stb linked into the same program.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include "assetgen/encode.h"

namespace assetgen {

namespace {

void append(void* context, void* data, int size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    auto* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> encode_tga(const Image& img)
{
    std::vector<uint8_t> rgba = img.rgba8();
    std::vector<uint8_t> out;
    stbi_write_tga_with_rle = 1;
    stbi_write_tga_to_func(append, &out, img.width(), img.height(), 4, rgba.data());
    return out;
}

std::vector<uint8_t> encode_bmp(const Image& img)
{
    std::vector<uint8_t> rgba = img.rgba8();
    std::vector<uint8_t> rgb(size_t(img.width()) * size_t(img.height()) * 3);
    for (size_t i = 0; i < rgb.size() / 3; ++i)
        for (int c = 0; c < 3; ++c) rgb[i * 3 + size_t(c)] = rgba[i * 4 + size_t(c)];
    std::vector<uint8_t> out;
    stbi_write_bmp_to_func(append, &out, img.width(), img.height(), 3, rgb.data());
    return out;
}

std::vector<uint8_t> encode_png(const Image& img)
{
    std::vector<uint8_t> rgba = img.rgba8();
    std::vector<uint8_t> out;
    stbi_write_png_to_func(append, &out, img.width(), img.height(), 4, rgba.data(), img.width() * 4);
    return out;
}

}  // namespace assetgen
