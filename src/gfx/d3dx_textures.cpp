// The two D3DX texture helpers, written over the device so that the game needs no
// D3DX library: image files are decoded by our own loader.
#include <cstring>

#include <d3d9.h>
#include <d3dx9.h>

#include "gfx/image_file.h"

namespace {

// Textures that are filled through a lock must live where the CPU can reach them.
D3DPOOL lockable_pool(DWORD usage, D3DPOOL pool) {
    if (pool == D3DPOOL_DEFAULT && (usage & D3DUSAGE_DYNAMIC) == 0) return D3DPOOL_MANAGED;
    return pool;
}

}  // namespace

HRESULT WINAPI D3DXCreateTexture(LPDIRECT3DDEVICE9 device, UINT width, UINT height, UINT mip_levels, DWORD usage,
                                 D3DFORMAT format, D3DPOOL pool, LPDIRECT3DTEXTURE9* texture) {
    if (device == nullptr || texture == nullptr || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    const UINT levels = (mip_levels == D3DX_DEFAULT || mip_levels == 0) ? 1 : mip_levels;
    return device->CreateTexture(width, height, levels, usage, format, pool, texture, nullptr);
}

HRESULT WINAPI D3DXCreateTextureFromFileExA(LPDIRECT3DDEVICE9 device, LPCSTR src_file, UINT, UINT, UINT, DWORD usage,
                                            D3DFORMAT format, D3DPOOL pool, DWORD, DWORD, D3DCOLOR color_key,
                                            D3DXIMAGE_INFO* src_info, PALETTEENTRY*,
                                            LPDIRECT3DTEXTURE9* texture) {
    if (device == nullptr || texture == nullptr) return D3DERR_INVALIDCALL;
    DecodedImage image;
    if (!decode_image_file(src_file, image)) return D3DERR_INVALIDCALL;

    // The texture is exactly the image's size, so coordinates 0..1 span the whole picture.
    IDirect3DTexture9* created = nullptr;
    const D3DFORMAT texture_format = format == D3DFMT_UNKNOWN ? D3DFMT_A8R8G8B8 : format;
    HRESULT result = device->CreateTexture(static_cast<UINT>(image.width), static_cast<UINT>(image.height), 1,
                                           usage, texture_format, lockable_pool(usage, pool), &created, nullptr);
    if (FAILED(result) || created == nullptr) return FAILED(result) ? result : D3DERR_INVALIDCALL;

    D3DLOCKED_RECT locked{};
    if (FAILED(created->LockRect(0, &locked, nullptr, 0)) || locked.pBits == nullptr) {
        created->Release();
        return D3DERR_INVALIDCALL;
    }
    for (int32_t row = 0; row < image.height; ++row) {
        uint32_t* destination =
            reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(locked.pBits) + row * locked.Pitch);
        const uint32_t* source = image.pixels.data() + static_cast<size_t>(row) * image.width;
        for (int32_t column = 0; column < image.width; ++column) {
            uint32_t texel = source[column];
            if (color_key != 0 && (texel | 0xFF000000u) == (color_key | 0xFF000000u)) texel = 0;
            destination[column] = texel;
        }
    }
    created->UnlockRect(0);

    if (src_info != nullptr) {
        src_info->Width = static_cast<UINT>(image.width);
        src_info->Height = static_cast<UINT>(image.height);
        src_info->Depth = 1;
        src_info->MipLevels = 1;
        src_info->Format = D3DFMT_A8R8G8B8;
        src_info->ResourceType = D3DRTYPE_TEXTURE;
        src_info->ImageFileFormat = D3DXIFF_TGA;
    }
    *texture = created;
    return D3D_OK;
}
