#pragma once
// Textures read from image files (PNG and whatever Qt reads). A PNG can hold a cube map or a volume:
// its text chunk "Layout" says "cube" (six square faces stacked top to bottom: +x, -x, +y, -y, +z, -z)
// or "volume" (slices stacked top to bottom; "Depth" gives their number).
#include "graphics3d/framework/D3D9.h"

namespace orv {

enum D3DXIMAGE_FILEFORMAT : UINT {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8
};

struct D3DXIMAGE_INFO {
    UINT Width = 0;
    UINT Height = 0;
    UINT Depth = 0;
    UINT MipLevels = 0;
    D3DFORMAT Format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT ImageFileFormat = D3DXIFF_PNG;
};

HRESULT D3DXGetImageInfoFromFileW(const wchar_t* fileName, D3DXIMAGE_INFO* info);
// Managed textures in the image's format (A8R8G8B8 with alpha, else X8R8G8B8); plain textures get
// a full chain of mip levels, cube maps and volumes one level.
HRESULT D3DXCreateTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                   IDirect3DTexture9** texture);
HRESULT D3DXCreateCubeTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                       IDirect3DCubeTexture9** texture);
HRESULT D3DXCreateVolumeTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                         IDirect3DVolumeTexture9** texture);

} // namespace orv
