// The proportional bitmap font: one strip of glyphs, one quad per character.
#pragma once

#include <cstdint>

#include <d3d9.h>

struct BitmapFont {
    IDirect3DTexture9* texture;
    int32_t strip_width;
    int32_t strip_height;
    int32_t glyph_start[256];
    int32_t glyph_width[256];
    int32_t spacing;
};

void load_font(const char* path, BitmapFont& font, int32_t width, int32_t height, int32_t spacing);
// Fills glyph_start and glyph_width for codes 32 to 127 from the strip's top row, one
// coverage byte per column (255 marks the end of a glyph). load_font's glyph scan.
void build_glyph_table(const uint8_t* top_row, int32_t width, BitmapFont& font);
void draw_text(int32_t x, int32_t y, const char* text, const BitmapFont& font, uint32_t colour);
void draw_text_scaled(int32_t x, int32_t y, const char* text, const BitmapFont& font, uint32_t colour,
                      int32_t scale);
void draw_number(int32_t x, int32_t y, int32_t value, const BitmapFont& font, uint32_t colour);
