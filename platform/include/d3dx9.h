// The two D3DX 9 texture helpers the game calls, for the builds over our own layer; on Windows
// the real SDK's header stands here. Their implementation is the game's own (it goes through the
// device), so our layer only declares them, and they behave the same on every backend.
//
// Implemented (in the game, src/gfx/d3dx_textures.cpp, for every build): D3DXCreateTexture (one
// level) and D3DXCreateTextureFromFileExA for TGA, BMP and PNG files, the texture the image's
// own size, texels matching the colour key (alpha aside) made transparent, the image's size in
// src_info.
// Accepted and ignored: the requested size, mip levels, filters and palette.
// No device or no file: D3DERR_INVALIDCALL, and no texture.
#pragma once

#include <d3d9.h>

#define D3DX_DEFAULT ((UINT)-1)
#define D3DX_FILTER_NONE 0x00000001
#define D3DX_FILTER_POINT 0x00000002

enum D3DXIMAGE_FILEFORMAT { D3DXIFF_BMP = 0, D3DXIFF_JPG = 1, D3DXIFF_TGA = 2, D3DXIFF_PNG = 3 };

struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR src_file, UINT width, UINT height,
                                            UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            DWORD filter, DWORD mip_filter, D3DCOLOR color_key,
                                            D3DXIMAGE_INFO* src_info, PALETTEENTRY* palette,
                                            LPDIRECT3DTEXTURE9* texture);
HRESULT WINAPI D3DXCreateTexture(LPDIRECT3DDEVICE9 device, UINT width, UINT height, UINT mip_levels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool, LPDIRECT3DTEXTURE9* texture);
