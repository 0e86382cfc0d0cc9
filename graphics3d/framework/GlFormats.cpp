#include "graphics3d/framework/GlFormats.h"

#include <QOpenGLContext>

namespace orv {

namespace {
constexpr unsigned kBgra = 0x80E1;
constexpr unsigned kUInt8888Rev = 0x8367;
constexpr unsigned kUInt2101010Rev = 0x8368;
constexpr unsigned kUShort565 = 0x8363;
constexpr unsigned kUShort1555Rev = 0x8366;
constexpr unsigned kUShort4444Rev = 0x8365;
constexpr unsigned kHalf = 0x140B;
constexpr unsigned kRg = 0x8227;
constexpr unsigned kRed = 0x1903;
constexpr unsigned kOne = 1, kZero = 0x10000; // swizzle markers: GL_ONE, GL_ZERO (0 means keep)
} // namespace

GlFormat GlFormatOf(D3DFORMAT f) {
    GlFormat g;
    auto set = [&](unsigned i, unsigned fmt, unsigned type) {
        g.internalFormat = i;
        g.format = fmt;
        g.type = type;
    };
    auto swz = [&](int r, int gg, int b, int a) {
        g.swizzle[0] = r;
        g.swizzle[1] = gg;
        g.swizzle[2] = b;
        g.swizzle[3] = a;
    };
    const int one = static_cast<int>(kOne), zero = static_cast<int>(kZero);
    switch (f) {
    case D3DFMT_A8R8G8B8:
        set(GL_RGBA8, kBgra, kUInt8888Rev);
        break;
    case D3DFMT_X8R8G8B8:
        set(GL_RGBA8, kBgra, kUInt8888Rev);
        swz(0, 0, 0, one);
        break;
    case D3DFMT_A8B8G8R8:
        set(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
        break;
    case D3DFMT_X8B8G8R8:
        set(GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE);
        swz(0, 0, 0, one);
        break;
    case D3DFMT_R5G6B5:
        set(0x8D62 /*GL_RGB565*/, GL_RGB, kUShort565);
        break;
    case D3DFMT_A1R5G5B5:
        set(GL_RGB5_A1, kBgra, kUShort1555Rev);
        break;
    case D3DFMT_X1R5G5B5:
        set(GL_RGB5_A1, kBgra, kUShort1555Rev);
        swz(0, 0, 0, one);
        break;
    case D3DFMT_A4R4G4B4:
        set(GL_RGBA4, kBgra, kUShort4444Rev);
        break;
    case D3DFMT_A2R10G10B10:
        set(GL_RGB10_A2, kBgra, kUInt2101010Rev);
        break;
    case D3DFMT_A2B10G10R10:
        set(GL_RGB10_A2, GL_RGBA, kUInt2101010Rev);
        break;
    case D3DFMT_A8:
        set(0x8229 /*GL_R8*/, kRed, GL_UNSIGNED_BYTE);
        swz(zero, zero, zero, GL_RED);
        break;
    case D3DFMT_L8:
        set(0x8229, kRed, GL_UNSIGNED_BYTE);
        swz(GL_RED, GL_RED, GL_RED, one);
        break;
    case D3DFMT_A8L8:
        set(0x822B /*GL_RG8*/, kRg, GL_UNSIGNED_BYTE);
        swz(GL_RED, GL_RED, GL_RED, GL_GREEN);
        break;
    case D3DFMT_L16:
        set(0x822A /*GL_R16*/, kRed, GL_UNSIGNED_SHORT);
        swz(GL_RED, GL_RED, GL_RED, one);
        break;
    case D3DFMT_R16F:
        set(0x822D /*GL_R16F*/, kRed, kHalf);
        swz(0, one, one, one);
        break;
    case D3DFMT_G16R16F:
        set(0x822F /*GL_RG16F*/, kRg, kHalf);
        swz(0, 0, one, one);
        break;
    case D3DFMT_A16B16G16R16F:
        set(0x881A /*GL_RGBA16F*/, GL_RGBA, kHalf);
        break;
    case D3DFMT_R32F:
        set(0x822E /*GL_R32F*/, kRed, GL_FLOAT);
        swz(0, one, one, one);
        break;
    case D3DFMT_G32R32F:
        set(0x8230 /*GL_RG32F*/, kRg, GL_FLOAT);
        swz(0, 0, one, one);
        break;
    case D3DFMT_A32B32G32R32F:
        set(0x8814 /*GL_RGBA32F*/, GL_RGBA, GL_FLOAT);
        break;
    case D3DFMT_DXT1:
        set(0x83F1 /*COMPRESSED_RGBA_S3TC_DXT1*/, 0, 0);
        g.compressed = true;
        break;
    case D3DFMT_DXT3:
        set(0x83F2, 0, 0);
        g.compressed = true;
        break;
    case D3DFMT_DXT5:
        set(0x83F3, 0, 0);
        g.compressed = true;
        break;
    case D3DFMT_D16:
    case D3DFMT_D16_LOCKABLE:
        set(GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT);
        g.depth = true;
        break;
    case D3DFMT_D24X8:
        set(GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT);
        g.depth = true;
        break;
    case D3DFMT_D32:
        set(0x81A7 /*GL_DEPTH_COMPONENT32*/, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT);
        g.depth = true;
        break;
    case D3DFMT_D32F_LOCKABLE:
        set(0x8CAC /*GL_DEPTH_COMPONENT32F*/, GL_DEPTH_COMPONENT, GL_FLOAT);
        g.depth = true;
        break;
    case D3DFMT_D24S8:
        set(0x88F0 /*GL_DEPTH24_STENCIL8*/, 0x84F9 /*GL_DEPTH_STENCIL*/, 0x84FA /*UNSIGNED_INT_24_8*/);
        g.depth = g.stencil = true;
        break;
    case D3DFMT_D24FS8:
        // A float depth with eight stencil bits; OpenGL stores the depth in 32 bits.
        set(0x8CAD /*GL_DEPTH32F_STENCIL8*/, 0x84F9, 0x8DAD /*FLOAT_32_UNSIGNED_INT_24_8_REV*/);
        g.depth = g.stencil = true;
        break;
    default:
        break; // D15S1, D24X4S4, R8G8B8 and the rest have no OpenGL counterpart
    }
    return g;
}

} // namespace orv
