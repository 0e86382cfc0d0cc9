#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/GlDirect3D.h"

#include <mutex>

namespace orv {

namespace {

std::mutex g_factoryLock;
Direct3DFactory g_factory;
IDirect3DDevice9* g_perfDevice = nullptr;

struct FormatEntry {
    D3DFORMAT format;
    const wchar_t* name;
    D3DFormatBits bits;
};

// red, green, blue, alpha, depth, stencil, bytes per pixel (per block row for compressed formats)
const FormatEntry kFormats[] = {
    {D3DFMT_UNKNOWN, L"D3DFMT_UNKNOWN", {0, 0, 0, 0, 0, 0, 0}},
    {D3DFMT_R8G8B8, L"D3DFMT_R8G8B8", {8, 8, 8, 0, 0, 0, 3}},
    {D3DFMT_A8R8G8B8, L"D3DFMT_A8R8G8B8", {8, 8, 8, 8, 0, 0, 4}},
    {D3DFMT_X8R8G8B8, L"D3DFMT_X8R8G8B8", {8, 8, 8, 0, 0, 0, 4}},
    {D3DFMT_R5G6B5, L"D3DFMT_R5G6B5", {5, 6, 5, 0, 0, 0, 2}},
    {D3DFMT_X1R5G5B5, L"D3DFMT_X1R5G5B5", {5, 5, 5, 0, 0, 0, 2}},
    {D3DFMT_A1R5G5B5, L"D3DFMT_A1R5G5B5", {5, 5, 5, 1, 0, 0, 2}},
    {D3DFMT_A4R4G4B4, L"D3DFMT_A4R4G4B4", {4, 4, 4, 4, 0, 0, 2}},
    {D3DFMT_A2B10G10R10, L"D3DFMT_A2B10G10R10", {10, 10, 10, 2, 0, 0, 4}},
    {D3DFMT_A8B8G8R8, L"D3DFMT_A8B8G8R8", {8, 8, 8, 8, 0, 0, 4}},
    {D3DFMT_X8B8G8R8, L"D3DFMT_X8B8G8R8", {8, 8, 8, 0, 0, 0, 4}},
    {D3DFMT_A2R10G10B10, L"D3DFMT_A2R10G10B10", {10, 10, 10, 2, 0, 0, 4}},
    {D3DFMT_A8, L"D3DFMT_A8", {0, 0, 0, 8, 0, 0, 1}},
    {D3DFMT_L8, L"D3DFMT_L8", {8, 8, 8, 0, 0, 0, 1}},
    {D3DFMT_A8L8, L"D3DFMT_A8L8", {8, 8, 8, 8, 0, 0, 2}},
    {D3DFMT_L16, L"D3DFMT_L16", {16, 16, 16, 0, 0, 0, 2}},
    {D3DFMT_R16F, L"D3DFMT_R16F", {16, 0, 0, 0, 0, 0, 2}},
    {D3DFMT_G16R16F, L"D3DFMT_G16R16F", {16, 16, 0, 0, 0, 0, 4}},
    {D3DFMT_A16B16G16R16F, L"D3DFMT_A16B16G16R16F", {16, 16, 16, 16, 0, 0, 8}},
    {D3DFMT_R32F, L"D3DFMT_R32F", {32, 0, 0, 0, 0, 0, 4}},
    {D3DFMT_G32R32F, L"D3DFMT_G32R32F", {32, 32, 0, 0, 0, 0, 8}},
    {D3DFMT_A32B32G32R32F, L"D3DFMT_A32B32G32R32F", {32, 32, 32, 32, 0, 0, 16}},
    {D3DFMT_DXT1, L"D3DFMT_DXT1", {5, 6, 5, 1, 0, 0, 1}},
    {D3DFMT_DXT3, L"D3DFMT_DXT3", {5, 6, 5, 4, 0, 0, 1}},
    {D3DFMT_DXT5, L"D3DFMT_DXT5", {5, 6, 5, 8, 0, 0, 1}},
    {D3DFMT_D16_LOCKABLE, L"D3DFMT_D16_LOCKABLE", {0, 0, 0, 0, 16, 0, 2}},
    {D3DFMT_D32, L"D3DFMT_D32", {0, 0, 0, 0, 32, 0, 4}},
    {D3DFMT_D15S1, L"D3DFMT_D15S1", {0, 0, 0, 0, 15, 1, 2}},
    {D3DFMT_D24S8, L"D3DFMT_D24S8", {0, 0, 0, 0, 24, 8, 4}},
    {D3DFMT_D24X8, L"D3DFMT_D24X8", {0, 0, 0, 0, 24, 0, 4}},
    {D3DFMT_D24X4S4, L"D3DFMT_D24X4S4", {0, 0, 0, 0, 24, 4, 4}},
    {D3DFMT_D16, L"D3DFMT_D16", {0, 0, 0, 0, 16, 0, 2}},
    {D3DFMT_D32F_LOCKABLE, L"D3DFMT_D32F_LOCKABLE", {0, 0, 0, 0, 32, 0, 4}},
    {D3DFMT_D24FS8, L"D3DFMT_D24FS8", {0, 0, 0, 0, 24, 8, 4}},
    {D3DFMT_INDEX16, L"D3DFMT_INDEX16", {0, 0, 0, 0, 0, 0, 2}},
    {D3DFMT_INDEX32, L"D3DFMT_INDEX32", {0, 0, 0, 0, 0, 0, 4}},
    {D3DFMT_VERTEXDATA, L"D3DFMT_VERTEXDATA", {0, 0, 0, 0, 0, 0, 1}},
};

const FormatEntry* Find(D3DFORMAT f) {
    for (const auto& e : kFormats)
        if (e.format == f)
            return &e;
    return nullptr;
}

} // namespace

IDirect3D9* Direct3DCreate9(UINT sdkVersion) {
    Direct3DFactory factory;
    {
        std::lock_guard lock(g_factoryLock);
        factory = g_factory;
    }
    if (factory)
        return factory(sdkVersion);
    if (sdkVersion != D3D_SDK_VERSION)
        return nullptr;
    return CreateGlDirect3D();
}

void SetDirect3DFactory(Direct3DFactory factory) {
    std::lock_guard lock(g_factoryLock);
    g_factory = std::move(factory);
}

bool D3DXCheckVersion(UINT d3dSdkVersion, UINT d3dxSdkVersion) {
    return d3dSdkVersion == D3D_SDK_VERSION && d3dxSdkVersion == D3DX_SDK_VERSION;
}

void D3DPerfSetDevice(IDirect3DDevice9* device) {
    g_perfDevice = device;
}

INT D3DPERF_BeginEvent(D3DCOLOR colour, const wchar_t* name) {
    return g_perfDevice ? g_perfDevice->BeginEvent(colour, name) : -1;
}

INT D3DPERF_EndEvent() {
    return g_perfDevice ? g_perfDevice->EndEvent() : -1;
}

D3DFormatBits D3DFormatInfo(D3DFORMAT format) {
    const FormatEntry* e = Find(format);
    return e ? e->bits : D3DFormatBits{};
}

const wchar_t* DXUTD3DFormatToString(D3DFORMAT format, bool withPrefix) {
    const FormatEntry* e = Find(format);
    const wchar_t* name = e ? e->name : L"Unknown format";
    if (e && !withPrefix)
        name += 7; // past "D3DFMT_"
    return name;
}

} // namespace orv
