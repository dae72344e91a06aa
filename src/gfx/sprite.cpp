#include "gfx/sprite.h"

#include <d3dx9.h>

#include "world/world.h"

// A sprite whose file failed to load has no texture; the device would show such a quad
// as a white box, so it is skipped (the render states are still set, as they persist).

namespace {

uint32_t colour_from_alpha(int32_t alpha) {
    // Only the low byte of alpha counts: 256 is invisible, -1 opaque.
    return (static_cast<uint32_t>(alpha) << 24) | 0x00FFFFFFu;
}

void set_blend(DWORD enable, DWORD source, DWORD destination) {
    IDirect3DDevice9* device = world.d3d_device;
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, enable);
    device->SetRenderState(D3DRS_SRCBLEND, source);
    device->SetRenderState(D3DRS_DESTBLEND, destination);
}

}  // namespace

void draw_quad(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour, float u0, float v0, float u1,
               float v1) {
    const float left = static_cast<float>(x);
    const float top = static_cast<float>(y);
    const float right = static_cast<float>(x + w);
    const float bottom = static_cast<float>(y + h);
    const QuadVertex vertices[4] = {
        {left, top, 0.0f, 1.0f, colour, u0, v0},
        {right, top, 0.0f, 1.0f, colour, u1, v0},
        {left, bottom, 0.0f, 1.0f, colour, u0, v1},
        {right, bottom, 0.0f, 1.0f, colour, u1, v1},
    };
    world.d3d_device->SetFVF(QUAD_FVF);
    world.d3d_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(QuadVertex));
}

void draw_image(int32_t x, int32_t y, const Sprite& sprite) {
    world.d3d_device->SetTexture(0, sprite.texture);
    world.d3d_device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    if (sprite.texture != nullptr) draw_quad(x, y, sprite.width, sprite.height, 0xFFFFFFFFu, 0.0f, 0.0f, 1.0f, 1.0f);
}

void draw_sprite(int32_t x, int32_t y, const Sprite& sprite, int32_t alpha) {
    world.d3d_device->SetTexture(0, sprite.texture);
    set_blend(TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    if (sprite.texture != nullptr)
        draw_quad(x, y, sprite.width, sprite.height, colour_from_alpha(alpha), 0.0f, 0.0f, 1.0f, 1.0f);
}

void draw_sprite_sized(int32_t x, int32_t y, const Sprite& sprite, int32_t w, int32_t h, int32_t alpha) {
    world.d3d_device->SetTexture(0, sprite.texture);
    set_blend(TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    // A negative size mirrors the quad, which turns its triangles counter-clockwise.
    world.d3d_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    if (sprite.texture != nullptr) draw_quad(x, y, w, h, colour_from_alpha(alpha), 0.0f, 0.0f, 1.0f, 1.0f);
}

void draw_sprite_additive(int32_t x, int32_t y, const Sprite& sprite, int32_t w, int32_t h, int32_t alpha) {
    world.d3d_device->SetTexture(0, sprite.texture);
    set_blend(TRUE, D3DBLEND_SRCALPHA, D3DBLEND_ONE);
    if (sprite.texture != nullptr) draw_quad(x, y, w, h, colour_from_alpha(alpha), 0.0f, 0.0f, 1.0f, 1.0f);
}

void draw_rect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour) {
    world.d3d_device->SetTexture(0, nullptr);
    set_blend(TRUE, D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA);
    draw_quad(x, y, w, h, colour, 0.0f, 0.0f, 1.0f, 1.0f);
}

void load_sprite(const char* path, Sprite& sprite, uint32_t colour_key) {
    D3DXIMAGE_INFO info{};
    D3DXCreateTextureFromFileExA(world.d3d_device, path, D3DX_DEFAULT, D3DX_DEFAULT, 1, 0, D3DFMT_A8R8G8B8,
                                 D3DPOOL_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, colour_key, &info, nullptr,
                                 &sprite.texture);
    sprite.width = static_cast<int32_t>(info.Width);
    sprite.height = static_cast<int32_t>(info.Height);
}
