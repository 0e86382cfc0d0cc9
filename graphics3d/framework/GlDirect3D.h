#pragma once
// The Direct3D object over OpenGL 3.3 core: adapters are the screens Qt reports (adapter 0 the
// primary), capabilities and formats come from what a hidden OpenGL context really does.
#include "graphics3d/framework/D3D9.h"

#include <QString>

namespace orv {

// Null when no OpenGL 3.3 core context can be made (no display, no driver).
IDirect3D9* CreateGlDirect3D();

// What the hidden context reported; filled once per process.
struct GlDriverInfo {
    bool available = false;
    QString vendor, renderer, version;
    int maxTextureSize = 0, max3dTextureSize = 0, maxCubeSize = 0, maxDrawBuffers = 0, maxSamples = 0;
    bool s3tc = false;
    // Per D3DFORMAT: renderable as colour (2D texture, cube face), usable as depth-stencil, filterable
    // texture.
    bool renderable[64] = {};
    bool renderableCube[64] = {}; // a cube face as a colour target
    bool depthUsable[64] = {};
    bool texturable[64] = {};
};
const GlDriverInfo& GlDriver();

} // namespace orv
