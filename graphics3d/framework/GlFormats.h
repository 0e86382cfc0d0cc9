#pragma once
// How our formats live in OpenGL: internal format, transfer format and type, and the swizzle that
// makes the channels read the way the format's name says.
#include "graphics3d/framework/D3D9Types.h"

namespace orv {

struct GlFormat {
    unsigned internalFormat = 0; // 0: no OpenGL counterpart
    unsigned format = 0;
    unsigned type = 0;
    int swizzle[4] = {0, 0, 0, 0}; // 0 = keep the channel
    bool depth = false;
    bool stencil = false;
    bool compressed = false;
};

GlFormat GlFormatOf(D3DFORMAT format);

} // namespace orv
