#pragma once
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

#include <QPoint>

#include <optional>
#include <vector>

namespace orv::test {

// The generated media, found the way the program finds them beside itself.
inline void UseBuiltMedia() {
    DXUTSetExecutablePathForSearch(BinDir() + QStringLiteral("/orvanta"));
    DXUTSetMediaSearchPath(BinDir() + QStringLiteral("/media"));
}

inline void UseMediaFolder(const QString& folder) {
    DXUTSetExecutablePathForSearch(folder + QStringLiteral("/nowhere/orvanta"));
    DXUTSetMediaSearchPath(folder);
}

// The skinned character's container (the one with skin information).
inline RenderUnit::TD3DXMeshContainerDerived* SkinnedContainer(D3DXFRAME* frame) {
    if (!frame)
        return nullptr;
    for (D3DXMESHCONTAINER* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
        if (mc->pSkinInfo)
            return static_cast<RenderUnit::TD3DXMeshContainerDerived*>(mc);
    if (auto* c = SkinnedContainer(frame->pFrameSibling))
        return c;
    return SkinnedContainer(frame->pFrameFirstChild);
}

// The back buffer as 0xRRGGBB values, row by row.
inline std::vector<DWORD> ReadBackBuffer(IDirect3DDevice9* device, int* width, int* height) {
    IDirect3DSurface9* bb = nullptr;
    device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    D3DSURFACE_DESC desc;
    bb->GetDesc(&desc);
    IDirect3DSurface9* copy = nullptr;
    EXPECT_EQ(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                  &copy, nullptr),
              D3D_OK);
    EXPECT_EQ(device->GetRenderTargetData(bb, copy), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    *width = static_cast<int>(desc.Width);
    *height = static_cast<int>(desc.Height);
    std::vector<DWORD> out(static_cast<size_t>(*width) * static_cast<size_t>(*height));
    for (int y = 0; y < *height; ++y) {
        const auto* row =
            reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
        for (int x = 0; x < *width; ++x)
            out[static_cast<size_t>(y * *width + x)] = row[x] & 0x00FFFFFFu;
    }
    copy->UnlockRect();
    copy->Release();
    bb->Release();
    return out;
}

// Where a world point lands in a width x height picture from the camera, if it lands at least `margin`
// pixels inside it.
inline std::optional<QPoint> ScreenPoint(const CBaseCamera& camera, const D3DXVECTOR3& world, int width,
                                         int height, int margin) {
    D3DXMATRIX viewProj;
    D3DXMatrixMultiply(&viewProj, camera.GetViewMatrix(), camera.GetProjMatrix());
    D3DXVECTOR4 clip;
    D3DXVec3Transform(&clip, &world, &viewProj);
    if (clip.w <= 0)
        return std::nullopt;
    const float x = (clip.x / clip.w + 1) * 0.5f * static_cast<float>(width);
    const float y = (1 - clip.y / clip.w) * 0.5f * static_cast<float>(height);
    if (x < static_cast<float>(margin) || y < static_cast<float>(margin) ||
        x > static_cast<float>(width - margin - 1) || y > static_cast<float>(height - margin - 1))
        return std::nullopt;
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

// Strongly yellow pixels (the statistics line) in a rectangle.
inline int YellowPixels(const std::vector<DWORD>& p, int width, int x0, int y0, int x1, int y1) {
    int yellow = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const DWORD c = p[static_cast<size_t>(y * width + x)];
            yellow += ((c >> 16) & 0xFF) > 200 && ((c >> 8) & 0xFF) > 200 && (c & 0xFF) < 90 ? 1 : 0;
        }
    return yellow;
}

} // namespace orv::test
