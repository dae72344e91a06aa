// Screen-aligned quads: the one primitive everything on screen is drawn with.
#pragma once

#include <cstdint>

#include <d3d9.h>

// A loaded image. width and height are the file's own, whatever the texture's size.
struct Sprite {
    IDirect3DTexture9* texture;
    int32_t width;
    int32_t height;
};

// Pre-transformed vertex, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct QuadVertex {
    float x;
    float y;
    float z;
    float rhw;
    uint32_t diffuse;
    float tu;
    float tv;
};
static_assert(sizeof(QuadVertex) == 28, "the device reads 28-byte vertices");

constexpr DWORD QUAD_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

void draw_quad(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour, float u0, float v0, float u1,
               float v1);
void draw_image(int32_t x, int32_t y, const Sprite& sprite);
void draw_sprite(int32_t x, int32_t y, const Sprite& sprite, int32_t alpha);
void draw_sprite_sized(int32_t x, int32_t y, const Sprite& sprite, int32_t w, int32_t h, int32_t alpha);
void draw_sprite_additive(int32_t x, int32_t y, const Sprite& sprite, int32_t w, int32_t h, int32_t alpha);
void draw_rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
void load_sprite(const char* path, Sprite& sprite, uint32_t colour_key);
