// Decoding of the game's image files (TGA and BMP) into 0xAARRGGBB pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DecodedImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint32_t> pixels;  // row-major, top row first, 0xAARRGGBB
};

// False for a missing, truncated or corrupt file; the image is then left empty.
bool decode_image_file(const char* path, DecodedImage& image);
bool decode_image_bytes(const unsigned char* bytes, size_t size, DecodedImage& image);
