#include "gfx/font.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

#include <d3dx9.h>

#include "gfx/sprite.h"
#include "world/world.h"

namespace {

constexpr int32_t first_code = 32;
constexpr int32_t last_code = 127;
constexpr uint8_t glyph_mark = 255;
constexpr int32_t bytes_per_pixel = 3;
constexpr int32_t coverage_byte = 2;  // of each pixel's three, the one the font uses

// Copies the strip into the locked texture, one row at a time, and keeps the top row's
// coverage for the glyph scan. A short file leaves the rest of the strip empty.
void read_strip(std::FILE* file, const BitmapFont& font, const D3DLOCKED_RECT* locked, std::vector<uint8_t>& top_row) {
    const int32_t width = font.strip_width;
    std::vector<uint8_t> row(static_cast<size_t>(width) * bytes_per_pixel);
    for (int32_t r = 0; r < font.strip_height; ++r) {
        std::fill(row.begin(), row.end(), 0);
        std::fread(row.data(), 1, row.size(), file);
        uint8_t* texels = locked == nullptr ? nullptr : static_cast<uint8_t*>(locked->pBits) + r * locked->Pitch;
        for (int32_t i = 0; i < width; ++i) {
            const uint8_t v = row[static_cast<size_t>(i) * bytes_per_pixel + coverage_byte];
            // White to grey, with an alpha equal to the grey level.
            if (texels != nullptr) std::memset(texels + 4 * i, v, 4);
            if (r == 0) top_row[static_cast<size_t>(i)] = v;
        }
    }
}

void draw_string(int32_t x, int32_t y, const char* text, const BitmapFont& font, uint32_t colour, int32_t scale) {
    IDirect3DDevice9* device = world.d3d_device;
    device->SetTexture(0, font.texture);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // A font that failed to load has no glyphs to show; its quads would be plain boxes.
    if (font.texture == nullptr || text == nullptr) return;

    // Coordinates are shares of the texture, which may be larger than the strip it holds.
    float texture_width = static_cast<float>(font.strip_width);
    float texture_height = static_cast<float>(font.strip_height);
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(font.texture->GetLevelDesc(0, &desc)) && desc.Width > 0 && desc.Height > 0) {
        texture_width = static_cast<float>(desc.Width);
        texture_height = static_cast<float>(desc.Height);
    }
    const float v1 = static_cast<float>(font.strip_height) / texture_height;
    const int32_t height = scale * (font.strip_height + 1);

    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
        const int32_t start = font.glyph_start[*c];
        const int32_t width = font.glyph_width[*c];
        const float u0 = static_cast<float>(start) / texture_width;
        const float u1 = static_cast<float>(start + width) / texture_width;
        draw_quad(x, y, scale * (width + 1), height, colour, u0, 0.0f, u1, v1);
        x += scale * (width + font.spacing);
    }
}

}  // namespace

void build_glyph_table(const uint8_t* top_row, int32_t width, BitmapFont& font) {
    int32_t p = 0;
    for (int32_t c = first_code; c <= last_code; ++c) {
        int32_t m = p;
        while (m < width && top_row[m] != glyph_mark) ++m;
        if (m >= width) {
            // The strip ran out of marks: this code and every later one have no glyph.
            for (; c <= last_code; ++c) font.glyph_start[c] = font.glyph_width[c] = 0;
            return;
        }
        font.glyph_start[c] = p + 1;
        font.glyph_width[c] = m - p - 1;
        p = m + 1;
    }
}

void load_font(const char* path, BitmapFont& font, int32_t width, int32_t height, int32_t spacing) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return;

    // The font is loaded twice at start-up; the first texture would otherwise live on unused.
    if (font.texture != nullptr) {
        font.texture->Release();
        font.texture = nullptr;
    }
    std::memset(font.glyph_start, 0, sizeof font.glyph_start);
    std::memset(font.glyph_width, 0, sizeof font.glyph_width);
    font.spacing = spacing;
    font.strip_width = width;
    font.strip_height = height;
    if (width <= 0 || height <= 0) {
        std::fclose(file);
        return;
    }

    D3DXCreateTexture(world.d3d_device, static_cast<UINT>(width), static_cast<UINT>(height), 1, D3DUSAGE_DYNAMIC,
                      D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &font.texture);
    IDirect3DSurface9* surface = nullptr;
    D3DLOCKED_RECT locked{};
    bool is_locked = false;
    if (font.texture != nullptr && SUCCEEDED(font.texture->GetSurfaceLevel(0, &surface)) && surface != nullptr)
        is_locked = SUCCEEDED(surface->LockRect(&locked, nullptr, 0)) && locked.pBits != nullptr;

    std::vector<uint8_t> top_row(static_cast<size_t>(width), 0);
    read_strip(file, font, is_locked ? &locked : nullptr, top_row);
    std::fclose(file);
    build_glyph_table(top_row.data(), width, font);

    if (is_locked) surface->UnlockRect();
    if (surface != nullptr) surface->Release();
}

void draw_text(int32_t x, int32_t y, const char* text, const BitmapFont& font, uint32_t colour) {
    draw_string(x, y, text, font, colour, 1);
}

void draw_text_scaled(int32_t x, int32_t y, const char* text, const BitmapFont& font, uint32_t colour,
                      int32_t scale) {
    draw_string(x, y, text, font, colour, scale);
}

void draw_number(int32_t x, int32_t y, int32_t value, const BitmapFont& font, uint32_t colour) {
    // Room for "-2147483648" and its terminator.
    char text[12] = {};
    std::to_chars(text, text + sizeof text - 1, value);
    draw_text(x, y, text, font, colour);
}
