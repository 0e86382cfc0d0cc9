#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/NullDirect3D.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"

#include <QWindow>

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;

namespace {

// Resources and device state on a null device: everything that does not need a graphics card.
class NullDeviceResources : public ::testing::Test {
protected:
    void SetUp() override {
        cfg = DefaultNullConfig();
        d3d = CreateNullDirect3D(cfg);
        pp = test::WindowedParameters(320, 240, nullptr);
        ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, flags, &pp, &device), D3D_OK);
    }
    void TearDown() override {
        SafeRelease(device);
        SafeRelease(d3d);
    }

    NullConfig cfg;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DPRESENT_PARAMETERS pp;
    DWORD flags = D3DCREATE_MIXED_VERTEXPROCESSING;
    QWindow window;
};

TEST(VertexFormats, FlexibleFormatsBecomeDeclarations) {
    const auto d = DeclarationFromFvf(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d[0].Usage, D3DDECLUSAGE_POSITION);
    EXPECT_EQ(d[1].Offset, 12);
    EXPECT_EQ(d[1].Usage, D3DDECLUSAGE_NORMAL);
    EXPECT_EQ(d[2].Offset, 24);
    EXPECT_EQ(d[2].Type, D3DDECLTYPE_D3DCOLOR);
    EXPECT_EQ(d[3].Offset, 28);
    EXPECT_EQ(d[3].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(FvfVertexSize(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1), 36u);

    const auto blended = DeclarationFromFvf(D3DFVF_XYZB3 | D3DFVF_NORMAL);
    ASSERT_EQ(blended.size(), 3u);
    EXPECT_EQ(blended[1].Usage, D3DDECLUSAGE_BLENDWEIGHT);
    EXPECT_EQ(blended[1].Type, D3DDECLTYPE_FLOAT3); // three stored weights
    EXPECT_EQ(blended[2].Offset, 24);
    EXPECT_EQ(DeclarationFromFvf(D3DFVF_XYZB1)[1].Type, D3DDECLTYPE_FLOAT1);
    EXPECT_TRUE(DeclarationFromFvf(D3DFVF_NORMAL).empty()); // no position
    EXPECT_EQ(VertexCountOf(D3DPT_TRIANGLESTRIP, 2), 4u);
    EXPECT_EQ(VertexCountOf(D3DPT_LINELIST, 3), 6u);
}

TEST(FormatNames, ShortAndFullNames) {
    EXPECT_STREQ(DXUTD3DFormatToString(D3DFMT_X8R8G8B8, false), L"X8R8G8B8");
    EXPECT_STREQ(DXUTD3DFormatToString(D3DFMT_D24X8, true), L"D3DFMT_D24X8");
    EXPECT_EQ(D3DFormatInfo(D3DFMT_D24S8).stencil, 8);
    EXPECT_EQ(ColorChannelBits(D3DFMT_A2R10G10B10), 10);
    EXPECT_EQ(ColorChannelBits(D3DFMT_R5G6B5), 5);
}

TEST_F(NullDeviceResources, TexturesHaveFullMipChainsAndLockByRows) {
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(device->CreateTexture(64, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 7u);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(tex->GetLevelDesc(6, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Height, 1u);
    EXPECT_EQ(tex->GetLevelDesc(7, &desc), D3DERR_INVALIDCALL);

    D3DLOCKED_RECT whole, part;
    ASSERT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.Pitch, 256);
    EXPECT_EQ(tex->LockRect(0, &part, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    std::memset(whole.pBits, 0xAB, 256 * 32);
    ASSERT_EQ(tex->UnlockRect(0), D3D_OK);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    const RECT r{2, 3, 4, 5};
    ASSERT_EQ(tex->LockRect(0, &part, &r, D3DLOCK_READONLY), D3D_OK);
    ASSERT_EQ(tex->LockRect(1, &whole, nullptr, 0), D3D_OK); // other levels lock on their own
    tex->UnlockRect(1);
    tex->UnlockRect(0);
    ASSERT_EQ(tex->LockRect(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(part.pBits) - static_cast<BYTE*>(whole.pBits), 3 * 256 + 2 * 4);
    tex->UnlockRect(0);
    const RECT outside{60, 0, 65, 1};
    EXPECT_EQ(tex->LockRect(0, &part, &outside, 0), D3DERR_INVALIDCALL);

    // A surface of a level shares the level's memory.
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(level->LockRect(&part, nullptr, 0), D3D_OK);
    EXPECT_EQ(static_cast<BYTE*>(part.pBits)[0], 0xAB);
    level->UnlockRect();
    level->Release();
    tex->Release();
}

TEST_F(NullDeviceResources, PoolsDecideWhatCanBeLockedOrRendered) {
    IDirect3DTexture9* tex = nullptr;
    EXPECT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex,
                                    nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_D24S8, D3DPOOL_MANAGED, &tex, nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tex, nullptr), D3D_OK);
    D3DLOCKED_RECT locked;
    EXPECT_EQ(tex->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    tex->Release();
    ASSERT_EQ(
        device->CreateTexture(1, 1, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &tex, nullptr),
        D3D_OK);
    EXPECT_EQ(tex->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    tex->UnlockRect(0);
    tex->Release();

    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(
        device->CreateCubeTexture(8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R32F, D3DPOOL_DEFAULT, &cube, nullptr),
        D3D_OK);
    IDirect3DSurface9* face = nullptr;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &face), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(0, face), D3D_OK);
    face->Release();
    cube->Release();

    IDirect3DVolumeTexture9* volume = nullptr;
    ASSERT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &volume, nullptr),
              D3D_OK);
    D3DLOCKED_BOX box;
    const D3DBOX part{1, 1, 2, 2, 3, 4};
    ASSERT_EQ(volume->LockBox(0, &box, &part, 0), D3D_OK);
    EXPECT_EQ(box.RowPitch, 16);
    EXPECT_EQ(box.SlicePitch, 64);
    volume->UnlockBox(0);
    volume->Release();
}

TEST_F(NullDeviceResources, ResetNeedsTheDefaultPoolEmpty) {
    IDirect3DSurface9* rt = nullptr;
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(
        device->CreateRenderTarget(32, 32, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, false, &rt, nullptr),
        D3D_OK);
    ASSERT_EQ(device->CreateVertexBuffer(64, D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT, &vb, nullptr), D3D_OK);
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    rt->Release();
    EXPECT_EQ(device->Reset(&pp), D3DERR_INVALIDCALL);
    vb->Release();
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    // Managed resources survive a reset.
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    EXPECT_EQ(device->Reset(&pp), D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(ib->Lock(8, 8, &data, 0), D3DERR_INVALIDCALL); // past the end
    EXPECT_EQ(ib->Lock(4, 8, &data, 0), D3D_OK);
    ib->Unlock();
    ib->Release();
}

TEST_F(NullDeviceResources, RenderTargetsAndDepthSurfacesRoundTrip) {
    IDirect3DSurface9* back = nullptr;
    IDirect3DSurface9* current = nullptr;
    ASSERT_EQ(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    ASSERT_EQ(device->GetRenderTarget(0, &current), D3D_OK);
    EXPECT_EQ(back, current);
    IDirect3DSurface9* second = back;
    EXPECT_EQ(device->GetRenderTarget(1, &second), D3DERR_NOTFOUND);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(device->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderTarget(4, back), D3DERR_INVALIDCALL);

    IDirect3DSurface9* depth = nullptr;
    ASSERT_EQ(device->GetDepthStencilSurface(&depth), D3D_OK);
    EXPECT_EQ(device->SetRenderTarget(0, depth), D3DERR_INVALIDCALL); // a depth surface is no colour target
    EXPECT_EQ(device->SetDepthStencilSurface(nullptr), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetDepthStencilSurface(depth), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0, 1.0f, 0), D3D_OK);
    IDirect3DSurface9* d16 = nullptr;
    ASSERT_EQ(
        device->CreateDepthStencilSurface(8, 8, D3DFMT_D16, D3DMULTISAMPLE_NONE, 0, true, &d16, nullptr),
        D3D_OK);
    device->SetDepthStencilSurface(d16);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL); // no stencil bits
    device->SetDepthStencilSurface(depth);
    d16->Release();
    depth->Release();
    back->Release();
    current->Release();
}

TEST_F(NullDeviceResources, StateChecksAndDefaults) {
    DWORD v = 0;
    ASSERT_EQ(device->GetRenderState(D3DRS_ZENABLE, &v), D3D_OK);
    EXPECT_EQ(v, static_cast<DWORD>(D3DZB_TRUE)); // auto depth buffer
    device->GetRenderState(D3DRS_CULLMODE, &v);
    EXPECT_EQ(v, static_cast<DWORD>(D3DCULL_CCW));
    device->GetRenderState(D3DRS_LIGHTING, &v);
    EXPECT_EQ(v, 1u);
    D3DVIEWPORT9 vp;
    device->GetViewport(&vp);
    EXPECT_EQ(vp.Width, 320u);
    EXPECT_EQ(vp.Height, 240u);
    D3DMATRIX m;
    device->GetTransform(D3DTS_WORLDMATRIX(3), &m);
    EXPECT_EQ(m.m[2][2], 1.0f);

    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // outside a scene
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    D3DLIGHT9 light;
    light.Type = static_cast<D3DLIGHTTYPE>(9);
    EXPECT_EQ(device->SetLight(0, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->LightEnable(8, true), D3DERR_INVALIDCALL);

    // A mixed device switches between hardware and software processing.
    EXPECT_FALSE(device->GetSoftwareVertexProcessing());
    EXPECT_EQ(device->SetSoftwareVertexProcessing(true), D3D_OK);
    EXPECT_TRUE(device->GetSoftwareVertexProcessing());

    EXPECT_EQ(device->BeginEvent(0, L"outer"), 0);
    EXPECT_EQ(device->BeginEvent(0, L"inner"), 1);
    EXPECT_EQ(device->EndEvent(), 1);
    EXPECT_EQ(device->EndEvent(), 0);
    EXPECT_EQ(device->EndEvent(), -1);
}

TEST_F(NullDeviceResources, HardwareDeviceCannotSwitchToSoftware) {
    SafeRelease(device);
    ASSERT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
        D3D_OK);
    EXPECT_EQ(device->SetSoftwareVertexProcessing(true), D3DERR_INVALIDCALL);
    EXPECT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_REF, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, nullptr),
        D3DERR_INVALIDCALL);
    IDirect3DDevice9* none = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &none),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, 0, &pp, &none), D3DERR_INVALIDCALL);
}

TEST_F(NullDeviceResources, DeclarationsReportTheirElements) {
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    UINT count = 0;
    ASSERT_EQ(decl->GetDeclaration(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 4u);
    D3DVERTEXELEMENT9 back[4];
    decl->GetDeclaration(back, &count);
    EXPECT_EQ(back[2].Offset, 24);
    EXPECT_EQ(back[3].Stream, 0xFF);
    decl->Release();
    const D3DVERTEXELEMENT9 bad[] = {{0, 0, 99, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    EXPECT_EQ(device->CreateVertexDeclaration(bad, &decl), D3DERR_INVALIDCALL);
}

} // namespace
