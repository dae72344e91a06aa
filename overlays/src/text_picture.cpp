#include "overlays/text_picture.h"

#include <algorithm>
#include <cstring>

// The font comes from stb (Debian's libstb-dev); it is all static functions, not all used here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_easy_font.h>
#pragma GCC diagnostic pop

namespace overlays {

namespace {

constexpr std::size_t QUAD_BYTES = 64;  // four vertices of x, y, z and a colour

}  // namespace

TextPicture::TextPicture(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height, 0), quads_(64 * 1024) {
    line_.reserve(256);
}

void TextPicture::fill(std::uint32_t colour) { std::fill(pixels_.begin(), pixels_.end(), colour); }

void TextPicture::fill_rect(int left, int top, int right, int bottom, std::uint32_t colour) {
    left = std::max(0, left), top = std::max(0, top);
    right = std::min(width_, right), bottom = std::min(height_, bottom);
    for (int row = top; row < bottom; ++row)
        std::fill(pixels_.begin() + row * width_ + left, pixels_.begin() + row * width_ + std::max(left, right), colour);
}

int TextPicture::text_width(const std::string& text, int scale) {
    // The font only reads the text.
    return stb_easy_font_width(const_cast<char*>(text.c_str())) * scale;
}

void TextPicture::draw_text(const std::string& text, int x, int y, int scale, std::uint32_t colour) {
    line_.assign(text.begin(), text.end());
    line_.push_back('\0');
    const int count = stb_easy_font_print(0, 0, line_.data(), nullptr, quads_.data(), static_cast<int>(quads_.size()));
    for (int q = 0; q < count; ++q) {
        // Each quad is an upright rectangle: its first and third corners are enough.
        float corner[2][2];
        std::memcpy(corner[0], quads_.data() + q * QUAD_BYTES, 2 * sizeof(float));
        std::memcpy(corner[1], quads_.data() + q * QUAD_BYTES + 32, 2 * sizeof(float));
        const int left = std::max(0, x + static_cast<int>(corner[0][0] * scale));
        const int top = std::max(0, y + static_cast<int>(corner[0][1] * scale));
        const int right = std::min(width_, x + static_cast<int>(corner[1][0] * scale));
        const int bottom = std::min(height_, y + static_cast<int>(corner[1][1] * scale));
        for (int row = top; row < bottom; ++row)
            std::fill(pixels_.begin() + row * width_ + left, pixels_.begin() + row * width_ + std::max(left, right),
                      colour);
    }
}

}  // namespace overlays
