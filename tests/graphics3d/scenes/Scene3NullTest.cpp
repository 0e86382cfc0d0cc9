// The shadow-volume scene on the null back end: set-up and the lights the measuring thread adds, the two
// depth-format orders, device choice, the character's placement, and the draws of a frame with one and
// with six lights, with either volume technique and without a volume.
#include "SceneTestSupport.h"
#include "graphics3d/framework/DXUTEnum.h"
#include "graphics3d/scenes/RenderUnit3.h"

#include <QWindow>

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using namespace orv;
using namespace orv::RenderUnit3;

namespace {

class Scene3NullTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FpsTiming();
        FpsTiming() = {600000, 1000, 10}; // the thread waits until it is stopped
        cfg = DefaultNullConfig();
        cfg.control->recordDraws = true;
        test::UseBuiltMedia();
        window.resize(640, 480);
    }
    void TearDown() override {
        DXUTFreeState();
        Release();
        Scene().Measurement->SetSource([] { return DXUTCurrentFps(); });
        SetDirect3DFactory({});
        FpsTiming() = saved_;
    }

    HRESULT StartDevice() {
        InstallNullDirect3D(cfg);
        Prepare();
        RenderUnit3::Setup();
        DXUTSetCallbackDeviceCreated(DeviceCreated);
        DXUTSetCallbackDeviceReset(DeviceReset);
        DXUTSetCallbackDeviceLost(DeviceLost);
        DXUTSetCallbackDeviceDestroyed(DeviceDestroyed);
        EXPECT_EQ(DXUTInitialize(false, false, false, false), S_OK);
        DXUTSetWindow(&window, &window, &window, false);
        const HRESULT hr = DXUTSetupDevice(0, true, 640, 480, AcceptDevice, AdjustDeviceSettings, nullptr);
        device = DXUTGetD3DDevice();
        return hr;
    }

    size_t FrameDraws() {
        cfg.control->draws.clear();
        cfg.control->calls.clear();
        UpdateFrame(device, 0.0, 0.0f, nullptr);
        RenderFrame(device, 0.0, 0.0f, nullptr);
        return cfg.control->draws.size();
    }

    // Depth-format verdicts on an adapter offering exactly these depth formats.
    void UseDepthFormats(std::vector<D3DFORMAT> formats) {
        DXUTFreeState();
        NullConfig c = DefaultNullConfig();
        c.adapters[0].depthFormats = std::move(formats);
        GetDXUTState().SetD3D(CreateNullDirect3D(c));
    }
    D3DFORMAT Adjusted() {
        DXUTDeviceSettings s;
        s.AdapterFormat = D3DFMT_X8R8G8B8;
        s.pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        s.pp.AutoDepthStencilFormat = D3DFMT_D16;
        D3DCAPS9 caps = DefaultNullCaps();
        AdjustDeviceSettings(&s, &caps, nullptr);
        return s.pp.AutoDepthStencilFormat;
    }
    bool Accepted(const D3DCAPS9& caps = DefaultNullCaps()) {
        return AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, true, nullptr);
    }

    TFpsTiming saved_;
    NullConfig cfg;
    QWindow window;
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(Scene3NullTest, SetUpClampsLightColoursAndPlacesLightsRoomAndBackground) {
    Prepare();
    SetLightCount(4);
    RenderUnit3::Setup();
    EXPECT_EQ(LightCount(), 1);
    EXPECT_EQ(DXUTGetEnumeration()->GetPossibleDepthStencilFormatList(),
              (std::vector<D3DFORMAT>{D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D24FS8}));
    const D3DXVECTOR4 used[kMaxLights] = {{5, 5, 5, 1}, {5, 5, 5, 1}, {5, 5, 5, 1},
                                          {5, 5, 5, 1}, {5, 0, 0, 1}, {0, 0, 5, 1}};
    const float positions[kMaxLights][3] = {{-2, 3, -3}, {2, 3, -3}, {-2, 3, 3},
                                            {2, 3, 3},   {-2, 3, 0}, {2, 3, 0}};
    for (int i = 0; i < kMaxLights; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Light(i).m_Color, used[i]);
        const D3DXMATRIX& w = Light(i).m_mWorld;
        EXPECT_FLOAT_EQ(w.m[0][0], 0.1f);
        EXPECT_FLOAT_EQ(w.m[1][1], 0.1f);
        EXPECT_FLOAT_EQ(w.m[2][2], 0.1f);
        EXPECT_FLOAT_EQ(w.m[3][0], positions[i][0]);
        EXPECT_FLOAT_EQ(w.m[3][1], positions[i][1]);
        EXPECT_FLOAT_EQ(w.m[3][2], positions[i][2]);
    }
    EXPECT_EQ(ShadowColour(3), D3DXVECTOR4(0, 0, 1, 0.2f));
    EXPECT_FLOAT_EQ(RoomWorld().m[3][1], 2.0f);
    EXPECT_FLOAT_EQ(RoomWorld().m[0][0], 1.0f);
    EXPECT_FLOAT_EQ(BackgroundWorld().m[0][0], 0.3f);
    EXPECT_FLOAT_EQ(BackgroundWorld().m[3][1], 1.5f);
}

// A light joins at the first, third, fifth, seventh and ninth samples: six by the end, never more.
TEST_F(Scene3NullTest, MeasuringThreadAddsALightAtEveryOtherSample) {
    std::vector<int> seen;
    TFpsMeasurement& m = *Scene().Measurement;
    m.SetSource([&] {
        seen.push_back(LightCount());
        return 30.0f;
    });
    for (int samples : {10, 20}) {
        SCOPED_TRACE(samples);
        seen.clear();
        FpsTiming() = {0, 1, samples};
        m.Zero(); // as the test window does before the set-up
        Prepare();
        RenderUnit3::Setup();
        while (!m.Done())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        m.Stop();
        ASSERT_EQ(seen.size(), static_cast<size_t>(samples));
        const std::vector<int> first(seen.begin(), seen.begin() + 10);
        EXPECT_EQ(first, (std::vector<int>{1, 2, 2, 3, 3, 4, 4, 5, 5, 6}));
        EXPECT_EQ(*std::max_element(seen.begin(), seen.end()), kMaxLights);
        EXPECT_EQ(LightCount(), kMaxLights);
    }
}

// Acceptance tries D15S1 before D24FS8, the chosen format takes D24FS8 before D15S1.
TEST_F(Scene3NullTest, DepthFormatsAreTriedInTwoDifferentOrders) {
    UseDepthFormats({D3DFMT_D15S1, D3DFMT_D24FS8});
    EXPECT_TRUE(Accepted());
    EXPECT_TRUE(IsDepthFormatOk(D3DFMT_D15S1, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8));
    EXPECT_EQ(Adjusted(), D3DFMT_D24FS8);
    UseDepthFormats({D3DFMT_D15S1});
    EXPECT_EQ(Adjusted(), D3DFMT_D15S1);
    UseDepthFormats({D3DFMT_D15S1, D3DFMT_D24X4S4, D3DFMT_D24FS8});
    EXPECT_EQ(Adjusted(), D3DFMT_D24X4S4);
    UseDepthFormats({D3DFMT_D24FS8, D3DFMT_D24S8});
    EXPECT_EQ(Adjusted(), D3DFMT_D24S8);
    // Without a stencil format: refused, and the format is left as it was.
    UseDepthFormats({D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32});
    EXPECT_FALSE(Accepted());
    EXPECT_FALSE(*Scene().Accepted);
    EXPECT_EQ(Adjusted(), D3DFMT_D16);
}

TEST_F(Scene3NullTest, AcceptDeviceAndAdjustDeviceSettings) {
    UseDepthFormats({D3DFMT_D24S8});
    D3DCAPS9 caps = DefaultNullCaps();
    EXPECT_TRUE(Accepted(caps));
    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    EXPECT_FALSE(Accepted(caps));
    DXUTFreeState();
    NullConfig noBlending = DefaultNullConfig();
    noBlending.adapters[0].refusedUsage = D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;
    GetDXUTState().SetD3D(CreateNullDirect3D(noBlending));
    EXPECT_FALSE(Accepted());

    const auto flags = [](const D3DCAPS9& c) {
        DXUTDeviceSettings s;
        s.BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE;
        s.pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
        AdjustDeviceSettings(&s, &c, nullptr);
        EXPECT_EQ(s.pp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
        return s.BehaviorFlags;
    };
    caps = DefaultNullCaps();
    EXPECT_EQ(flags(caps), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE) << "unchanged";
    caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    EXPECT_EQ(flags(caps), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    caps = DefaultNullCaps();
    caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    EXPECT_EQ(flags(caps), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
}

TEST_F(Scene3NullTest, CreatedDevicePlacesTheCharacterInAUnitSphereAndBuildsItsVolume) {
    ASSERT_EQ(StartDevice(), S_OK);
    EXPECT_EQ(DXUTGetDeviceSettings().pp.AutoDepthStencilFormat, D3DFMT_D24S8);
    EXPECT_EQ(ShadowTechnique(), Effect()->GetTechniqueByName("ShowShadowVolume2Sided"));
    ASSERT_NE(ShadowVolume(), nullptr);
    EXPECT_EQ(ShadowVolume()->GetNumVertices(), 3 * Character()->Mesh()->GetNumFaces());
    // Every vertex of the placed character within the unit sphere, the farthest on it.
    ID3DXMesh* mesh = Character()->Mesh();
    const BYTE* v = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(const_cast<BYTE**>(&v))),
              D3D_OK);
    float farthest = 0;
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        D3DXVECTOR3 p, placed;
        std::memcpy(&p, v + static_cast<size_t>(i) * mesh->GetNumBytesPerVertex(), 12);
        D3DXVec3TransformCoord(&placed, &p, &CharacterWorld());
        farthest = std::max(farthest, D3DXVec3Length(&placed));
    }
    mesh->UnlockVertexBuffer();
    EXPECT_NEAR(farthest, 1.0f, 1e-4f);
    EXPECT_NEAR(ViewCamera()->GetEyePt()->z, -5.0f, 1e-5f);
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 4, 640.0f / 480.0f, 0.1f, 20.0f);
    D3DXMATRIX inEffect;
    Effect()->GetMatrix("g_mProj", &inEffect);
    EXPECT_EQ(inEffect, projection);
    float farClip = 0;
    Effect()->GetFloat("g_fFarClip", &farClip);
    EXPECT_FLOAT_EQ(farClip, 19.9f);
    D3DSURFACE_DESC d;
    DefaultTexture()->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Pool, D3DPOOL_MANAGED);

    // A reset builds the volume again; a lost device has none.
    DeviceLost(nullptr);
    EXPECT_EQ(ShadowVolume(), nullptr);
    ASSERT_EQ(DeviceReset(device, DXUTGetBackBufferSurfaceDesc(), nullptr), S_OK);
    EXPECT_NE(ShadowVolume(), nullptr);
}

// Ambient pass: every light's mesh, the room and the character; then per light the volume and the lit
// room and character; then the statistics line.
TEST_F(Scene3NullTest, FrameDrawsGrowWithTheLights) {
    ASSERT_EQ(StartDevice(), S_OK);
    const size_t lightMesh = 1, room = Room()->NumMaterials(), character = Character()->NumMaterials();
    ASSERT_EQ(room + character, 7u) << "today's media";
    const auto expected = [&](size_t lights, size_t volumePasses) {
        return lights * lightMesh + room + character + lights * (volumePasses + room + character) + 1;
    };
    SetLightCount(1);
    EXPECT_EQ(FrameDraws(), expected(1, 1));
    EXPECT_EQ(FrameDraws(), 17u);
    SetLightCount(6);
    EXPECT_EQ(FrameDraws(), expected(6, 1));
    EXPECT_EQ(cfg.control->Count("Clear"), 1 + 6) << "the frame's, and a stencil clear per light";

    // A volume that cannot be built leaves the lit scene alone.
    cfg.control->bufferLimit = 60 * Character()->Mesh()->GetNumFaces();
    DeviceLost(nullptr);
    ASSERT_EQ(DeviceReset(device, DXUTGetBackBufferSurfaceDesc(), nullptr), S_OK);
    EXPECT_EQ(ShadowVolume(), nullptr);
    EXPECT_EQ(FrameDraws(), expected(6, 0));
}

TEST_F(Scene3NullTest, WithoutTwoSidedStencilTheVolumeTakesTwoPasses) {
    cfg.adapters[0].caps.StencilCaps &= ~D3DSTENCILCAPS_TWOSIDED;
    ASSERT_EQ(StartDevice(), S_OK);
    EXPECT_EQ(ShadowTechnique(), Effect()->GetTechniqueByName("ShowShadowVolume"));
    SetLightCount(1);
    EXPECT_EQ(FrameDraws(), 18u);
    SetLightCount(6);
    EXPECT_EQ(FrameDraws(), 68u);
}
