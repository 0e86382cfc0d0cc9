#pragma once
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>

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

} // namespace orv::test
