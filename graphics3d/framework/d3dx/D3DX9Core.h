#pragma once
// Sprites (textured screen rectangles, batched) and fonts (glyphs rasterised with Qt into an atlas,
// drawn through a sprite).
#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/d3dx/D3DX9Math.h"

namespace orv {

constexpr DWORD D3DXSPRITE_DONOTSAVESTATE = 0x01u;
constexpr DWORD D3DXSPRITE_DONOTMODIFY_RENDERSTATE = 0x02u;
constexpr DWORD D3DXSPRITE_OBJECTSPACE = 0x04u;
constexpr DWORD D3DXSPRITE_BILLBOARD = 0x08u;
constexpr DWORD D3DXSPRITE_ALPHABLEND = 0x10u;
constexpr DWORD D3DXSPRITE_SORT_TEXTURE = 0x20u;

class ID3DXSprite : public IUnknown {
public:
    virtual HRESULT Begin(DWORD flags) = 0;
    // Queues a rectangle of the texture (all of it without a source rectangle) at the position (pixels).
    virtual HRESULT Draw(IDirect3DTexture9* texture, const RECT* sourceRect, const D3DXVECTOR3* centre,
                         const D3DXVECTOR3* position, D3DCOLOR colour) = 0;
    virtual HRESULT Flush() = 0;
    virtual HRESULT End() = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
};

HRESULT D3DXCreateSprite(IDirect3DDevice9* device, ID3DXSprite** sprite);

// Text format flags.
constexpr DWORD DT_TOP = 0x000u;
constexpr DWORD DT_LEFT = 0x000u;
constexpr DWORD DT_CENTER = 0x001u;
constexpr DWORD DT_RIGHT = 0x002u;
constexpr DWORD DT_VCENTER = 0x004u;
constexpr DWORD DT_BOTTOM = 0x008u;
constexpr DWORD DT_SINGLELINE = 0x020u;
constexpr DWORD DT_NOCLIP = 0x100u;
constexpr DWORD DT_CALCRECT = 0x400u;

constexpr UINT FW_NORMAL = 400;
constexpr UINT FW_BOLD = 700;
constexpr DWORD DEFAULT_CHARSET = 1;
constexpr DWORD OUT_DEFAULT_PRECIS = 0;
constexpr DWORD DEFAULT_QUALITY = 0;
constexpr DWORD DEFAULT_PITCH = 0;
constexpr DWORD FF_DONTCARE = 0;

class ID3DXFont : public IUnknown {
public:
    // Draws (or with DT_CALCRECT measures) the text; returns its height in pixels, 0 on failure.
    // A count of -1 means up to the terminating NUL.
    virtual INT DrawTextW(ID3DXSprite* sprite, const wchar_t* text, INT count, RECT* rect, DWORD format,
                          D3DCOLOR colour) = 0;
    virtual INT DrawTextA(ID3DXSprite* sprite, const char* text, INT count, RECT* rect, DWORD format,
                          D3DCOLOR colour) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    // Height of one line in pixels.
    virtual INT LineHeight() = 0;
};

// "Arial" is drawn with Liberation Sans (same metrics); other faces as Qt finds them. The height is
// the pixel size of the font; weights from 600 up are bold. Needs a Qt GUI application.
HRESULT D3DXCreateFontA(IDirect3DDevice9* device, INT height, UINT width, UINT weight, UINT mipLevels,
                        BOOL italic, DWORD charSet, DWORD outputPrecision, DWORD quality,
                        DWORD pitchAndFamily, const char* faceName, ID3DXFont** font);

} // namespace orv
