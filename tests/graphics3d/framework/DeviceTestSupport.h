#pragma once
// Devices for the tests of the 3D layer and of its utilities.
#include "graphics3d/framework/D3D9.h"

#include <QWindow>

#include <gtest/gtest.h>

namespace orv::test {

// A windowed X8R8G8B8 back buffer of the given size with a D24S8 depth-stencil buffer.
inline D3DPRESENT_PARAMETERS WindowedParameters(UINT width, UINT height, HWND window) {
    D3DPRESENT_PARAMETERS pp;
    pp.Windowed = true;
    pp.BackBufferWidth = width;
    pp.BackBufferHeight = height;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.EnableAutoDepthStencil = true;
    pp.AutoDepthStencilFormat = D3DFMT_D24S8;
    pp.hDeviceWindow = window;
    return pp;
}

// A device of the OpenGL back end on a 64x64 window; the test is skipped where the display has no
// OpenGL 3.3 core context.
class GlDeviceFixture : public ::testing::Test {
protected:
    void SetUp() override {
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d)
            GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
        window.resize(64, 64);
        D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 64, &window);
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        ASSERT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
    }
    void TearDown() override {
        SafeRelease(device);
        SafeRelease(d3d);
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    QWindow window;
};

} // namespace orv::test
