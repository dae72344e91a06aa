#include "gfx/image_file.h"

#include <cstdio>
#include <cstring>

#include <stb/stb_image.h>

namespace {

uint32_t read_u16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t read_u32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The decoder reads past the end of a short file as zeros; these checks make a cut-off
// file a failure instead of a half-black picture.
bool tga_complete(const unsigned char* bytes, size_t size) {
    if (size < 18) return false;
    const uint32_t id_length = bytes[0];
    const uint32_t colour_map_type = bytes[1];
    const uint32_t image_type = bytes[2];
    const uint32_t colour_map_length = read_u16(bytes + 5);
    const uint32_t colour_map_entry_bits = bytes[7];
    const uint64_t width = read_u16(bytes + 12);
    const uint64_t height = read_u16(bytes + 14);
    const uint32_t bits_per_pixel = bytes[16];
    if (width == 0 || height == 0 || bits_per_pixel == 0) return false;
    uint64_t offset = 18 + id_length;
    if (colour_map_type == 1) offset += colour_map_length * ((colour_map_entry_bits + 7) / 8);
    const uint64_t pixel_bytes = (bits_per_pixel + 7) / 8;
    const uint64_t pixel_count = width * height;
    if (image_type == 1 || image_type == 2 || image_type == 3) return offset + pixel_count * pixel_bytes <= size;
    if (image_type == 9 || image_type == 10 || image_type == 11) {
        uint64_t pixels = 0;
        while (pixels < pixel_count) {
            if (offset >= size) return false;
            const unsigned header = bytes[offset++];
            const uint64_t run = (header & 0x7F) + 1;
            offset += (header & 0x80) ? pixel_bytes : run * pixel_bytes;
            if (offset > size) return false;
            pixels += run;
        }
        return true;
    }
    return false;
}

bool bmp_complete(const unsigned char* bytes, size_t size) {
    if (size < 26) return false;
    const uint64_t data_offset = read_u32(bytes + 10);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t bits_per_pixel = 0;
    uint32_t compression = 0;
    if (read_u32(bytes + 14) == 12) {
        // The oldest header: 16-bit sizes and no compression field.
        width = read_u16(bytes + 18);
        height = read_u16(bytes + 20);
        bits_per_pixel = read_u16(bytes + 24);
    } else {
        if (size < 34) return false;
        width = static_cast<int32_t>(read_u32(bytes + 18));
        height = static_cast<int32_t>(read_u32(bytes + 22));
        bits_per_pixel = read_u16(bytes + 28);
        compression = read_u32(bytes + 30);
    }
    if (width <= 0 || height == 0 || bits_per_pixel == 0) return false;
    // Only plain rows and bit-field masks are decoded. Anything else is refused here: the decoder
    // takes some unknown compression ids for plain rows, and would then spend seconds and
    // gigabytes filling a huge claimed picture with zeros from past the end of a tiny file.
    if (compression != 0 && compression != 3) return false;
    const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
    const uint64_t stride = ((static_cast<uint64_t>(width) * bits_per_pixel + 31) / 32) * 4;
    return data_offset + stride * rows <= size;
}

}  // namespace

bool decode_image_bytes(const unsigned char* bytes, size_t size, DecodedImage& image) {
    image = DecodedImage{};
    if (bytes == nullptr || size == 0 || size > 0x7FFFFFFF) return false;
    const bool is_png = size >= 8 && std::memcmp(bytes, "\x89PNG", 4) == 0;
    const bool is_bmp = size >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
    if (is_bmp && !bmp_complete(bytes, size)) return false;
    if (!is_bmp && !is_png && !tga_complete(bytes, size)) return false;

    int width = 0, height = 0, channels = 0;
    unsigned char* rgba = stbi_load_from_memory(bytes, static_cast<int>(size), &width, &height, &channels, 4);
    if (rgba == nullptr) return false;
    if (width <= 0 || height <= 0) {
        stbi_image_free(rgba);
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (size_t i = 0; i < image.pixels.size(); ++i) {
        const unsigned char* p = rgba + i * 4;
        image.pixels[i] = (static_cast<uint32_t>(p[3]) << 24) | (p[0] << 16) | (p[1] << 8) | p[2];
    }
    stbi_image_free(rgba);
    return true;
}

bool decode_image_file(const char* path, DecodedImage& image) {
    image = DecodedImage{};
    if (path == nullptr) return false;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
        if (bytes.size() > (1u << 28)) break;  // no game image is anywhere near this
    }
    std::fclose(file);
    return decode_image_bytes(bytes.data(), bytes.size(), image);
}
