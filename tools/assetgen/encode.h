// File encodings of our pictures, through stb_image_write.
#pragma once

#include <cstdint>
#include <vector>

#include "assetgen/image.h"

namespace assetgen {

// 32-bit TGA with alpha, run-length encoded.
std::vector<uint8_t> encode_tga(const Image& img);
// 24-bit BMP; the image is expected to be opaque, its alpha is dropped.
std::vector<uint8_t> encode_bmp(const Image& img);
// 32-bit PNG (contact sheets and previews only).
std::vector<uint8_t> encode_png(const Image& img);

}  // namespace assetgen
