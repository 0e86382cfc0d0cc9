#include "tests/graphics3d/framework/DeviceTestSupport.h"
#include "tests/graphics3d/framework/FrameworkTestSupport.h"

#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/GlDirect3D.h"
#include "platform/OffscreenGl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;
using namespace orv::test;

namespace {

// A windowed OpenGL device on a small window, for drawing and reading back.
class GlDeviceTest : public GlDeviceFixture {
protected:
    void SetUp() override {
        GlDeviceFixture::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        device->SetRenderState(D3DRS_LIGHTING, 0);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    }

    // The pixel (x, y) of a render target, top row first, as 0xAARRGGBB.
    DWORD Pixel(IDirect3DSurface9* target, int x, int y) {
        D3DSURFACE_DESC desc;
        target->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        EXPECT_EQ(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                      &copy, nullptr),
                  D3D_OK);
        EXPECT_EQ(device->GetRenderTargetData(target, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        EXPECT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        DWORD value = 0;
        std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        copy->UnlockRect();
        copy->Release();
        return value;
    }
    DWORD BackBufferPixel(int x, int y) {
        IDirect3DSurface9* bb = nullptr;
        EXPECT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb), D3D_OK);
        const DWORD v = Pixel(bb, x, y) & 0x00FFFFFFu;
        bb->Release();
        return v;
    }

    struct ScreenVertex {
        float x, y, z, rhw;
        D3DCOLOR colour;
    };
    static constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE;
};

TEST(GlDirect3D, AnswersFromWhatOpenGLDoes) {
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d)
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    EXPECT_EQ(Direct3DCreate9(0x1234), nullptr);
    ASSERT_GE(d3d->GetAdapterCount(), 1u);
    D3DADAPTER_IDENTIFIER9 id;
    ASSERT_EQ(d3d->GetAdapterIdentifier(0, 0, &id), D3D_OK);
    EXPECT_GT(std::strlen(id.Description), 0u);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_GE(caps.PixelShaderVersion, D3DPS_VERSION(2, 0));
    EXPECT_TRUE(caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_EQ(d3d->GetDeviceCaps(0, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);

    D3DDISPLAYMODE desktop;
    ASSERT_EQ(d3d->GetAdapterDisplayMode(0, &desktop), D3D_OK);
    EXPECT_EQ(desktop.Format, D3DFMT_X8R8G8B8);
    bool has1024 = false;
    for (UINT i = 0; i < d3d->GetAdapterModeCount(0, D3DFMT_X8R8G8B8); ++i) {
        D3DDISPLAYMODE m;
        ASSERT_EQ(d3d->EnumAdapterModes(0, D3DFMT_X8R8G8B8, i, &m), D3D_OK);
        EXPECT_LE(m.Width, desktop.Width);
        has1024 = has1024 || (m.Width == 1024 && m.Height == 768);
    }
    EXPECT_TRUE(has1024);

    const D3DFORMAT a = D3DFMT_X8R8G8B8;
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, a, D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE,
                                     D3DFMT_R32F),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, a, D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE,
                                     D3DFMT_A8R8G8B8),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, a, D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING,
                                     D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8),
              D3D_OK);
    for (D3DFORMAT ds : {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8, D3DFMT_D32})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, a, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, ds),
                  D3D_OK)
            << ds;
    for (D3DFORMAT ds : {D3DFMT_D15S1, D3DFMT_D24X4S4})
        EXPECT_EQ(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, a, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, ds),
                  D3DERR_NOTAVAILABLE);
    DWORD quality = 0;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, a, false, D3DMULTISAMPLE_NONE, &quality),
              D3D_OK);
    EXPECT_EQ(quality, 1u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, a, false, D3DMULTISAMPLE_2_SAMPLES, nullptr),
              D3DERR_NOTAVAILABLE);
    d3d->Release();
}

TEST_F(GlDeviceTest, ClearPresentAndReadBack) {
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                            D3DCOLOR_ARGB(0, 66, 75, 121), 1.0f, 0),
              D3D_OK);
    EXPECT_EQ(BackBufferPixel(5, 5), 0x424B79u);
    // A clear limited to a rectangle at the top left, rows counted from the top.
    D3DRECT r{0, 0, 8, 4};
    EXPECT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1.0f, 0), D3D_OK);
    EXPECT_EQ(BackBufferPixel(1, 1), 0xFF0000u);
    EXPECT_EQ(BackBufferPixel(1, 60), 0x424B79u);
    window.show();
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    auto* gl = static_cast<GlDevice*>(device);
    EXPECT_EQ(gl->Offscreen(), OffscreenGraphics());
    if (gl->Offscreen()) {
        // Offscreen the frame lands, scaled and upright, in the display-sized framebuffer the present
        // drew into: the red corner at the top left, the clear colour in the middle.
        EXPECT_EQ(gl->Context(), nullptr);
        GLint target = 0;
        gl->Gl()->glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &target);
        ASSERT_NE(target, 0);
        gl->Gl()->glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(target));
        unsigned char corner[4] = {}, middle[4] = {};
        gl->Gl()->glReadPixels(30, kOffscreenScreenHeight - 1 - 30, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, corner);
        gl->Gl()->glReadPixels(kOffscreenScreenWidth / 2, kOffscreenScreenHeight / 2, 1, 1, GL_RGBA,
                               GL_UNSIGNED_BYTE, middle);
        gl->InvalidateGlState();
        EXPECT_EQ(corner[0], 255);
        EXPECT_EQ(corner[1], 0);
        EXPECT_EQ(middle[0], 66);
        EXPECT_EQ(middle[1], 75);
        EXPECT_EQ(middle[2], 121);
    }
    // Inside a scene nothing is presented.
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->EndScene(), D3D_OK);
}

TEST_F(GlDeviceTest, TransformedTriangleLandsTopLeftUpright) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
    const ScreenVertex tri[3] = {{0, 0, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)},
                                 {64, 0, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)},
                                 {0, 64, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)}};
    ASSERT_EQ(device->SetFVF(kScreenFvf), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, tri, sizeof(ScreenVertex)), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(BackBufferPixel(4, 4), 0x00FF00u);
    EXPECT_EQ(BackBufferPixel(60, 60), 0x000000u);
}

TEST_F(GlDeviceTest, FixedFunctionTransformsAndLightsWithRowVectors) {
    struct Vertex {
        float x, y, z, nx, ny, nz;
    };
    // A quad facing the viewer (normal toward -z), lit from the front by a white directional light.
    const Vertex quad[4] = {
        {-1, 1, 0, 0, 0, -1}, {1, 1, 0, 0, 0, -1}, {-1, -1, 0, 0, 0, -1}, {1, -1, 0, 0, 0, -1}};
    D3DMATRIX world = D3DMatrixIdentity();
    world.m[0][0] = 0.5f; // half width: covers the middle of the target only
    world.m[3][2] = 2.0f; // pushed away from the eye along +z
    D3DMATRIX proj = D3DMatrixIdentity();
    proj.m[2][3] = 1.0f; // w = z
    proj.m[3][3] = 0.0f;
    proj.m[2][2] = 1.0f;
    proj.m[3][2] = -1.0f; // z' = z - 1, so z/w stays in 0..1
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    device->SetRenderState(D3DRS_LIGHTING, 1);
    D3DLIGHT9 light;
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1, 1, 1, 1};
    light.Direction = {0, 0, 1};
    device->SetLight(0, &light);
    device->LightEnable(0, true);
    D3DMATERIAL9 material;
    material.Diffuse = {1, 0, 0, 1};
    device->SetMaterial(&material);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    // The card's vertex stage and the processor's give the same picture.
    for (bool software : {false, true}) {
        SCOPED_TRACE(software ? "software vertex processing" : "hardware vertex processing");
        ASSERT_EQ(device->SetSoftwareVertexProcessing(software), D3D_OK);
        light.Direction = {0, 0, 1};
        device->SetLight(0, &light);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(0, 0, 0), 1.0f, 0);
        device->BeginScene();
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device->EndScene();
        EXPECT_EQ(BackBufferPixel(32, 32), 0xFF0000u); // lit red, in the middle
        EXPECT_EQ(BackBufferPixel(2, 32), 0x000000u);  // the sides stay clear (world scale 0.5 / distance 2)

        light.Direction = {0, 0, -1}; // from behind: unlit
        device->SetLight(0, &light);
        device->BeginScene();
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
        device->EndScene();
        EXPECT_EQ(BackBufferPixel(32, 32), 0x000000u);
    }
    device->SetSoftwareVertexProcessing(false);
}

TEST_F(GlDeviceTest, SingleChannelFloatRenderTarget) {
    IDirect3DTexture9* map = nullptr;
    ASSERT_EQ(
        device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R32F, D3DPOOL_DEFAULT, &map, nullptr),
        D3D_OK);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(map->GetSurfaceLevel(0, &level), D3D_OK);
    IDirect3DSurface9* saved = nullptr;
    ASSERT_EQ(device->GetRenderTarget(0, &saved), D3D_OK);
    ASSERT_EQ(device->SetRenderTarget(0, level), D3D_OK);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 16u); // the viewport follows the new target
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(128, 0, 0), 1.0f, 0), D3D_OK);

    IDirect3DSurface9* copy = nullptr;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(16, 16, D3DFMT_R32F, D3DPOOL_SYSTEMMEM, &copy, nullptr),
              D3D_OK);
    ASSERT_EQ(device->GetRenderTargetData(level, copy), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    float value = 0;
    std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + 3 * locked.Pitch + 12, 4);
    copy->UnlockRect();
    EXPECT_NEAR(value, 128.0f / 255.0f, 1e-6f);
    EXPECT_EQ(device->SetRenderTarget(0, saved), D3D_OK);
    // Default-pool objects still held block a reset.
    D3DPRESENT_PARAMETERS pp;
    pp.Windowed = true;
    pp.BackBufferWidth = pp.BackBufferHeight = 64;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    copy->Release();
    saved->Release();
    level->Release();
    map->Release();
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
}

TEST_F(GlDeviceTest, LockableDepthReadsTheDepthBuffer) {
    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->CreateDepthStencilSurface(64, 64, D3DFMT_D32F_LOCKABLE, D3DMULTISAMPLE_NONE, 0, false,
                                                &depth, nullptr),
              D3D_OK);
    IDirect3DSurface9* saved = nullptr;
    device->GetDepthStencilSurface(&saved);
    device->SetDepthStencilSurface(depth);
    D3DRECT top{0, 0, 64, 8};
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.75f, 0);
    device->Clear(1, &top, D3DCLEAR_ZBUFFER, 0, 0.25f, 0);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(depth->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    float first = 0, last = 0;
    std::memcpy(&first, locked.pBits, 4);
    std::memcpy(&last, static_cast<BYTE*>(locked.pBits) + 63 * locked.Pitch, 4);
    depth->UnlockRect();
    EXPECT_FLOAT_EQ(first, 0.25f); // the top rows, first in memory
    EXPECT_FLOAT_EQ(last, 0.75f);
    device->SetDepthStencilSurface(saved);
    saved->Release();
    depth->Release();
}

TEST_F(GlDeviceTest, TwoSidedStencilCountsEachWindingApart) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0);
    // Left half: clockwise on screen (front); right half: anticlockwise (back).
    const ScreenVertex cw[3] = {{0, 0, 0.5f, 1, 0}, {32, 0, 0.5f, 1, 0}, {0, 64, 0.5f, 1, 0}};
    const ScreenVertex ccw[3] = {{32, 0, 0.5f, 1, 0}, {32, 64, 0.5f, 1, 0}, {64, 0, 0.5f, 1, 0}};
    device->SetFVF(kScreenFvf);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0);
    device->SetRenderState(D3DRS_STENCILENABLE, 1);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, 1);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_INCR);
    device->SetRenderState(D3DRS_CCW_STENCILFUNC, D3DCMP_ALWAYS);
    device->SetRenderState(D3DRS_CCW_STENCILPASS, D3DSTENCILOP_DECR);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, cw, sizeof(ScreenVertex));
    device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, ccw, sizeof(ScreenVertex));
    device->EndScene();

    // Paint where the stencil holds 1 (front faces) green and where it wrapped to 0xFF (back faces) blue.
    const ScreenVertex full[4] = {{0, 0, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)},
                                  {64, 0, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)},
                                  {0, 64, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)},
                                  {64, 64, 0.5f, 1, D3DCOLOR_XRGB(0, 255, 0)}};
    ScreenVertex blue[4];
    for (int i = 0; i < 4; ++i) {
        blue[i] = full[i];
        blue[i].colour = D3DCOLOR_XRGB(0, 0, 255);
    }
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->SetRenderState(D3DRS_TWOSIDEDSTENCILMODE, 0);
    device->SetRenderState(D3DRS_STENCILPASS, D3DSTENCILOP_KEEP);
    device->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    device->BeginScene();
    device->SetRenderState(D3DRS_STENCILREF, 1);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, full, sizeof(ScreenVertex));
    device->SetRenderState(D3DRS_STENCILREF, 0xFF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, blue, sizeof(ScreenVertex));
    device->EndScene();
    EXPECT_EQ(BackBufferPixel(4, 4), 0x00FF00u);
    EXPECT_EQ(BackBufferPixel(40, 8), 0x0000FFu);
    EXPECT_EQ(BackBufferPixel(30, 60), 0x000000u); // covered by neither triangle
}

TEST_F(GlDeviceTest, TexturesLockedInMemoryOrderAreSampledUpright) {
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    auto* rows = static_cast<BYTE*>(locked.pBits);
    const DWORD top = 0xFFFF0000u, bottom = 0xFF0000FFu;
    for (int x = 0; x < 2; ++x) {
        std::memcpy(rows + x * 4, &top, 4);
        std::memcpy(rows + locked.Pitch + x * 4, &bottom, 4);
    }
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    struct TexVertex {
        float x, y, z, rhw, u, v;
    };
    const TexVertex quad[4] = {
        {0, 0, 0.5f, 1, 0, 0}, {64, 0, 0.5f, 1, 1, 0}, {0, 64, 0.5f, 1, 0, 1}, {64, 64, 0.5f, 1, 1, 1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->SetTexture(0, tex);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexVertex)), D3D_OK);
    device->EndScene();
    EXPECT_EQ(BackBufferPixel(32, 4), 0xFF0000u);
    EXPECT_EQ(BackBufferPixel(32, 60), 0x0000FFu);
    device->SetTexture(0, nullptr);
    tex->Release();
}

TEST_F(GlDeviceTest, BuffersAndDeclarationsDrawIndexed) {
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR c;
    };
    const Vertex verts[4] = {{0, 0, 0.5f, 1, D3DCOLOR_XRGB(255, 255, 0)},
                             {64, 0, 0.5f, 1, D3DCOLOR_XRGB(255, 255, 0)},
                             {0, 64, 0.5f, 1, D3DCOLOR_XRGB(255, 255, 0)},
                             {64, 64, 0.5f, 1, D3DCOLOR_XRGB(255, 255, 0)}};
    const WORD indices[6] = {0, 1, 2, 2, 1, 3};
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof(verts), D3DUSAGE_WRITEONLY, 0, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(sizeof(indices), D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                        &ib, nullptr),
              D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, verts, sizeof(verts));
    vb->Unlock();
    ASSERT_EQ(ib->Lock(0, 0, &p, 0), D3D_OK);
    std::memcpy(p, indices, sizeof(indices));
    ib->Unlock();
    const D3DVERTEXELEMENT9 decl[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITIONT, 0},
                                      {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                      D3DDECL_END()};
    IDirect3DVertexDeclaration9* declaration = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(decl, &declaration), D3D_OK);
    device->SetVertexDeclaration(declaration);
    device->SetStreamSource(0, vb, 0, sizeof(Vertex));
    device->SetIndices(ib);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2),
              D3DERR_INVALIDCALL); // no scene
    device->BeginScene();
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 2),
              D3DERR_INVALIDCALL); // past the end
    device->EndScene();
    EXPECT_EQ(BackBufferPixel(60, 60), 0xFFFF00u);
    device->SetStreamSource(0, nullptr, 0, 0);
    device->SetIndices(nullptr);
    device->SetVertexDeclaration(nullptr);
    declaration->Release();
    vb->Release();
    ib->Release();
}

TEST_F(GlDeviceTest, VertexShaderWithConstants) {
    // Our shader text: positions pass through, the colour comes from constant 3.
    const char* source =
        "in vec4 aPosition;\nuniform vec4 c[256];\nout vec4 oD0;\nout vec4 oT0;\n"
        "void main() { gl_Position = vec4(aPosition.xy, 0.5, 1.0); oD0 = c[3]; oT0 = vec4(0.0); }\n";
    std::vector<DWORD> words((std::strlen(source) + 4) / 4, 0);
    std::memcpy(words.data(), source, std::strlen(source));
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(device->CreateVertexShader(words.data(), &shader), D3D_OK);
    const float colour[4] = {0, 1, 1, 1};
    ASSERT_EQ(device->SetVertexShaderConstantF(3, colour, 1), D3D_OK);
    EXPECT_EQ(device->SetVertexShaderConstantF(255, colour, 2), D3DERR_INVALIDCALL);
    struct V {
        float x, y, z;
    };
    const V quad[4] = {{-1, 1, 0}, {1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
    device->SetFVF(D3DFVF_XYZ);
    device->SetVertexShader(shader);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(V)), D3D_OK);
    device->EndScene();
    EXPECT_EQ(BackBufferPixel(10, 50), 0x00FFFFu);
    device->SetVertexShader(nullptr);
    shader->Release();
    const char* broken = "void main() { this is not a shader }";
    std::vector<DWORD> bad((std::strlen(broken) + 4) / 4, 0);
    std::memcpy(bad.data(), broken, std::strlen(broken));
    EXPECT_EQ(device->CreateVertexShader(bad.data(), &shader), D3DERR_INVALIDCALL);
}

TEST_F(GlDeviceTest, CubeFacesAreRenderTargetsAndVolumesLockByBoxes) {
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(device->CreateCubeTexture(8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &cube,
                                        nullptr),
              D3D_OK);
    IDirect3DSurface9* saved = nullptr;
    device->GetRenderTarget(0, &saved);
    for (UINT face = 0; face < 6; ++face) {
        IDirect3DSurface9* s = nullptr;
        ASSERT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, &s), D3D_OK);
        ASSERT_EQ(device->SetRenderTarget(0, s), D3D_OK);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(face * 40, 0, 0), 1.0f, 0);
        s->Release();
    }
    IDirect3DSurface9* third = nullptr;
    cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 0, &third);
    EXPECT_EQ(Pixel(third, 3, 3) & 0x00FFFFFFu, 0x500000u); // face 2 kept its own colour
    third->Release();
    device->SetRenderTarget(0, saved);
    saved->Release();
    cube->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr),
              D3D_OK);
    EXPECT_EQ(volume->GetLevelCount(), 3u);
    D3DLOCKED_BOX box;
    ASSERT_EQ(volume->LockBox(0, &box, nullptr, 0), D3D_OK);
    std::memset(box.pBits, 0x7F, static_cast<size_t>(box.SlicePitch) * 4);
    EXPECT_EQ(volume->UnlockBox(0), D3D_OK);
    volume->Release();
}

TEST_F(GlDeviceTest, VertexBlendingWeighsTheWorldMatrices) {
    struct Vertex {
        float x, y, z, weight;
        D3DCOLOR c;
    };
    // Weight 0 for matrix 0 leaves everything to matrix 1, which keeps the quad in view.
    const D3DCOLOR white = D3DCOLOR_XRGB(255, 255, 255);
    const Vertex quad[4] = {
        {-1, 1, 0.5f, 0, white}, {1, 1, 0.5f, 0, white}, {-1, -1, 0.5f, 0, white}, {1, -1, 0.5f, 0, white}};
    D3DMATRIX away = D3DMatrixIdentity();
    away.m[3][0] = 10.0f;
    const D3DMATRIX identity = D3DMatrixIdentity();
    device->SetTransform(D3DTS_WORLDMATRIX(0), &away);
    device->SetTransform(D3DTS_WORLDMATRIX(1), &identity);
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_1WEIGHTS);
    device->SetFVF(D3DFVF_XYZB1 | D3DFVF_DIFFUSE);
    for (bool software : {false, true}) {
        SCOPED_TRACE(software ? "software vertex processing" : "hardware vertex processing");
        device->SetSoftwareVertexProcessing(software);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)), D3D_OK);
        device->EndScene();
        EXPECT_EQ(BackBufferPixel(32, 32), 0xFFFFFFu);
        // Indexed, with the vertex range starting at the second vertex.
        const WORD indices[3] = {1, 3, 2};
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        EXPECT_EQ(device->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 1, 3, 1, indices, D3DFMT_INDEX16, quad,
                                                 sizeof(Vertex)),
                  D3D_OK);
        device->EndScene();
        EXPECT_EQ(BackBufferPixel(60, 60), 0xFFFFFFu); // the lower right triangle
        EXPECT_EQ(BackBufferPixel(4, 4), 0x000000u);
    }
    device->SetSoftwareVertexProcessing(false);
    // Without blending only world matrix 0 counts: the quad leaves the view.
    device->SetRenderState(D3DRS_VERTEXBLEND, D3DVBF_DISABLE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    device->EndScene();
    EXPECT_EQ(BackBufferPixel(32, 32), 0x000000u);
}

TEST(GlFramework, LeavingFullScreenResetsIntoAWindow) {
    IDirect3D9* probe = Direct3DCreate9(D3D_SDK_VERSION);
    if (!probe)
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    probe->Release();
    SceneLog log;
    RecordingWindow window;
    FreeStateAtExit cleanup;
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    // Full screen covers the adapter's screen (without a window manager the state flag may not stick);
    // offscreen the device leaves its window alone.
    if (!OffscreenGraphics()) {
        ASSERT_EQ(window.geometry(), window.screen()->geometry());
    }
    log.calls.clear();
    EXPECT_EQ(DXUTSwitchFullScreen(), S_OK);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"adjust", "lost", "reset"}));
    EXPECT_TRUE(DXUTIsWindowed());
    EXPECT_FALSE(window.windowStates().testFlag(Qt::WindowFullScreen));
    EXPECT_EQ(window.size(), QSize(640, 480));
    EXPECT_EQ(DXUTGetBackBufferSurfaceDesc()->Width, 640u);
    DXUTRunFrame();
    EXPECT_EQ(log.calls.back(), "render");
    DXUTFreeState();
}

// The whole framework on the OpenGL back end: full screen, frames, lost while hidden, freed.
TEST(GlFramework, FullScreenDeviceRunsFramesAndSurvivesHiding) {
    IDirect3D9* probe = Direct3DCreate9(D3D_SDK_VERSION);
    if (!probe)
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    probe->Release();
    SceneLog log;
    RecordingWindow window;
    FreeStateAtExit cleanup;
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    const DXUTDeviceSettings s = DXUTGetDeviceSettings();
    EXPECT_FALSE(s.pp.Windowed);
    EXPECT_EQ(s.pp.BackBufferWidth, 1024u);
    EXPECT_EQ(s.pp.BackBufferHeight, 768u);
    EXPECT_EQ(s.pp.AutoDepthStencilFormat, D3DFMT_D32);
    EXPECT_TRUE(window.isVisible());
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        DXUTRunFrame();
    }
    EXPECT_EQ(GetDXUTState().GetCurrentFrameNumber(), 5);

    // Hidden: presenting reports the loss, frames stop; shown again: reset, frames go on. Offscreen
    // the window shows nothing, so hiding it loses nothing.
    window.hide();
    QCoreApplication::processEvents();
    log.calls.clear();
    DXUTRunFrame();
    DXUTRunFrame();
    if (OffscreenGraphics()) {
        EXPECT_FALSE(GetDXUTState().GetDeviceLost());
        EXPECT_EQ(log.calls.back(), "render");
        EXPECT_EQ(GetDXUTState().GetCurrentFrameNumber(), 7);
        log.calls.clear();
        DXUTFreeState();
        EXPECT_EQ(log.calls, (std::vector<std::string>{"lost", "destroyed"}));
        return;
    }
    EXPECT_TRUE(GetDXUTState().GetDeviceLost());
    window.show();
    QCoreApplication::processEvents();
    DXUTRunFrame();
    EXPECT_FALSE(GetDXUTState().GetDeviceLost());
    EXPECT_NE(std::find(log.calls.begin(), log.calls.end(), "lost"), log.calls.end());
    EXPECT_EQ(log.calls.back(), "render");

    log.calls.clear();
    DXUTFreeState();
    EXPECT_EQ(log.calls, (std::vector<std::string>{"lost", "destroyed"}));
    EXPECT_EQ(window.closeRequests, 1);
}

} // namespace

// The device applies to OpenGL only what changed: each draw must still see exactly its own states,
// whatever the draws before it left behind.
TEST_F(GlDeviceTest, EachDrawSeesItsOwnStatesWhateverCameBefore) {
    struct TexVertex {
        float x, y, z, rhw, u, v;
    };
    auto quad = [](float x0, float x1) {
        return std::array<TexVertex, 4>{TexVertex{x0, 0, 0.5f, 1, 0, 0}, TexVertex{x1, 0, 0.5f, 1, 1, 0},
                                        TexVertex{x0, 64, 0.5f, 1, 0, 1}, TexVertex{x1, 64, 0.5f, 1, 1, 1}};
    };
    // Two texels across: black left, white right. Point sampling keeps the edge hard, linear blends it.
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    ASSERT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3D_OK);
    const DWORD texels[2] = {0xFF000000u, 0xFFFFFFFFu};
    std::memcpy(locked.pBits, texels, sizeof texels);
    tex->UnlockRect(0);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    device->SetTexture(0, tex);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->BeginScene();
    // Left half: linear filtering, additive blending over a red clear of that half.
    const auto left = quad(0, 32), right = quad(32, 64);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    const D3DRECT leftRect{0, 0, 32, 64};
    device->Clear(1, &leftRect, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1.0f, 0);
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, left.data(), sizeof(TexVertex)), D3D_OK);
    // Right half: the same texture with point filtering, no blending, only the green channel written.
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 2); // green only
    ASSERT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, right.data(), sizeof(TexVertex)), D3D_OK);
    device->SetRenderState(D3DRS_COLORWRITEENABLE, 0xF);
    device->EndScene();

    // Linear: a grey ramp across the middle, on top of the red.
    const DWORD mid = BackBufferPixel(16, 32);
    EXPECT_EQ(mid >> 16, 0xFFu);
    EXPECT_GT(mid & 0xFF, 0x40u);
    EXPECT_LT(mid & 0xFF, 0xC0u);
    // Point: black then pure green, no ramp, and the other channels untouched (the clear's black).
    EXPECT_EQ(BackBufferPixel(40, 32), 0x000000u);
    EXPECT_EQ(BackBufferPixel(47, 32), 0x000000u);
    EXPECT_EQ(BackBufferPixel(49, 32), 0x00FF00u);
    EXPECT_EQ(BackBufferPixel(60, 32), 0x00FF00u);

    // A clear after a draw that wrote green only clears every channel.
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(10, 20, 30), 1.0f, 0);
    EXPECT_EQ(BackBufferPixel(40, 32), 0x0A141Eu);
    device->SetTexture(0, nullptr);
    tex->Release();
}

// Buffers and textures made after others were released may get the names OpenGL gave those; what the
// device cached for the old ones must not draw the new ones.
TEST_F(GlDeviceTest, NewBuffersAndTexturesDrawTheirOwnContents) {
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR c;
    };
    auto drawQuad = [&](D3DCOLOR colour) {
        const Vertex verts[4] = {{0, 0, 0.5f, 1, colour},
                                 {64, 0, 0.5f, 1, colour},
                                 {0, 64, 0.5f, 1, colour},
                                 {64, 64, 0.5f, 1, colour}};
        const WORD indices[6] = {0, 1, 2, 2, 1, 3};
        IDirect3DVertexBuffer9* vb = nullptr;
        IDirect3DIndexBuffer9* ib = nullptr;
        ASSERT_EQ(device->CreateVertexBuffer(sizeof verts, 0, 0, D3DPOOL_MANAGED, &vb, nullptr), D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(sizeof indices, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr),
                  D3D_OK);
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        std::memcpy(p, verts, sizeof verts);
        vb->Unlock();
        ib->Lock(0, 0, &p, 0);
        std::memcpy(p, indices, sizeof indices);
        ib->Unlock();
        device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
        device->SetStreamSource(0, vb, 0, sizeof(Vertex));
        device->SetIndices(ib);
        device->BeginScene();
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        device->EndScene();
        device->SetStreamSource(0, nullptr, 0, 0);
        device->SetIndices(nullptr);
        vb->Release();
        ib->Release();
    };
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    device->SetRenderState(D3DRS_ZENABLE, 0);
    for (D3DCOLOR c : {D3DCOLOR_XRGB(255, 0, 0), D3DCOLOR_XRGB(0, 255, 0), D3DCOLOR_XRGB(0, 0, 255)}) {
        drawQuad(c);
        EXPECT_EQ(BackBufferPixel(40, 40), c & 0x00FFFFFFu);
    }

    struct TexVertex {
        float x, y, z, rhw, u, v;
    };
    const TexVertex quad[4] = {
        {0, 0, 0.5f, 1, 0, 0}, {64, 0, 0.5f, 1, 1, 0}, {0, 64, 0.5f, 1, 0, 1}, {64, 64, 0.5f, 1, 1, 1}};
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_TEX1);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    for (DWORD colour : {0xFFFF00FFu, 0xFF00FFFFu}) {
        IDirect3DTexture9* tex = nullptr;
        ASSERT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
        D3DLOCKED_RECT locked;
        tex->LockRect(0, &locked, nullptr, 0);
        std::memcpy(locked.pBits, &colour, 4);
        tex->UnlockRect(0);
        device->SetTexture(0, tex);
        device->BeginScene();
        EXPECT_EQ(device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(TexVertex)), D3D_OK);
        device->EndScene();
        EXPECT_EQ(BackBufferPixel(20, 20), colour & 0x00FFFFFFu);
        device->SetTexture(0, nullptr);
        tex->Release();
    }
}

// A clear covers the viewport only: the whole target when the viewport is the whole target, else
// just its part, whatever the clear before it was.
TEST_F(GlDeviceTest, ClearsCoverTheViewport) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(255, 0, 0), 1.0f, 0);
    EXPECT_EQ(BackBufferPixel(0, 0), 0xFF0000u);
    EXPECT_EQ(BackBufferPixel(63, 63), 0xFF0000u);
    D3DVIEWPORT9 part{16, 8, 32, 16, 0, 1};
    ASSERT_EQ(device->SetViewport(&part), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 0, 255), 1.0f, 0);
    EXPECT_EQ(BackBufferPixel(16, 8), 0x0000FFu);
    EXPECT_EQ(BackBufferPixel(47, 23), 0x0000FFu);
    EXPECT_EQ(BackBufferPixel(15, 8), 0xFF0000u);
    EXPECT_EQ(BackBufferPixel(48, 23), 0xFF0000u);
    EXPECT_EQ(BackBufferPixel(20, 24), 0xFF0000u);
    D3DVIEWPORT9 whole{0, 0, 64, 64, 0, 1};
    ASSERT_EQ(device->SetViewport(&whole), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_XRGB(0, 255, 0), 1.0f, 0);
    EXPECT_EQ(BackBufferPixel(0, 0), 0x00FF00u);
    EXPECT_EQ(BackBufferPixel(30, 15), 0x00FF00u);
}
