#include "gfx/font.h"

// Placeholder until this module lands.
void load_font(const char*, BitmapFont&, int32_t, int32_t, int32_t) {}
void draw_text(int32_t, int32_t, const char*, const BitmapFont&, uint32_t) {}
void draw_text_scaled(int32_t, int32_t, const char*, const BitmapFont&, uint32_t, int32_t) {}
void draw_number(int32_t, int32_t, int32_t, const BitmapFont&, uint32_t) {}
