// The shadow-map scene on the null back end: device choice, the objects' matrices from creation through
// frames, resets and new devices, and the draws of a frame as the device records them.
#include "SceneTestSupport.h"
#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include <cmath>

using namespace orv;
using namespace orv::RenderUnit2;

namespace {

D3DXMATRIX Rows(float a, float b, float c, float d, float e, float f, float g, float h, float i, float tx,
                float ty, float tz) {
    return D3DXMATRIX(a, b, c, 0, d, e, f, 0, g, h, i, 0, tx, ty, tz, 1);
}

// The table of initial world matrices, written out as it is specified.
D3DXMATRIX TableEntry(int i) {
    const float arrows[8][2] = {{5, 5},   {5, -5},   {-5, 5},   {-5, -5},
                                {14, 14}, {14, -14}, {-14, 14}, {-14, -14}};
    switch (i) {
    case 0:
        return Rows(3.5f, 0, 0, 0, 3, 0, 0, 0, 3.5f, 0, 0, 0);
    case 1:
        return Rows(0.43301f, 0.25f, 0, -0.25f, 0.43301f, 0, 0, 0, 0.5f, 5, 1.33975f, 0);
    case 2:
        return Rows(0.8f, 0, 0, 0, 0.8f, 0, 0, 0, 0.8f, -14.5f, -7.1f, 0);
    case 3:
        return Rows(2, 0, 0, 0, 2, 0, 0, 0, 2, 0, -7, 0);
    case 12:
        return Rows(0.9f, 0, 0, 0, 0.9f, 0, 0, 0, 0.9f, -14.5f, -9, 0);
    case 13:
        return Rows(0.9f, 0, 0, 0, 0.9f, 0, 0, 0, 0.9f, 14.5f, -9, 0);
    default:
        return Rows(5.5f, 0, 0, 0, 0, 5.5f, 0, -9, 0, arrows[i - 4][0], 0.2f, arrows[i - 4][1]);
    }
}

void ExpectNear(const D3DXMATRIX& got, const D3DXMATRIX& want, float tolerance = 1e-5f) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(got.m[r][c], want.m[r][c], tolerance) << "entry " << r << "," << c;
}

class Scene2NullTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg = DefaultNullConfig();
        cfg.control->recordDraws = true;
        test::UseBuiltMedia();
        window.resize(640, 480);
    }
    void TearDown() override {
        DXUTFreeState();
        Release();
        SetDirect3DFactory({});
        test::UseBuiltMedia();
    }

    // Prepares the scene and lets the framework make the device, as the test window does.
    HRESULT StartDevice() {
        InstallNullDirect3D(cfg);
        Prepare();
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

    void Frame(float elapsed) {
        cfg.control->draws.clear();
        UpdateFrame(device, 0.0, elapsed, nullptr);
        RenderFrame(device, 0.0, elapsed, nullptr);
    }

    NullConfig cfg;
    QWindow window;
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(Scene2NullTest, PreparationSetsCamerasAndLight) {
    Prepare();
    ASSERT_NE(ViewCamera(), nullptr);
    ASSERT_NE(LightCamera(), nullptr);
    const auto expectAt = [](const D3DXVECTOR3* p, float x, float y, float z) {
        EXPECT_NEAR(p->x, x, 1e-5f);
        EXPECT_NEAR(p->y, y, 1e-5f);
        EXPECT_NEAR(p->z, z, 1e-5f);
    };
    expectAt(ViewCamera()->GetEyePt(), 0, 5, -18);
    expectAt(LightCamera()->GetEyePt(), 0, 0, -12);
    // The light looks at (0, -2, 1).
    D3DXVECTOR3 ahead = D3DXVECTOR3(0, -2, 13);
    D3DXVec3Normalize(&ahead, &ahead);
    EXPECT_NEAR(LightCamera()->GetWorldAhead()->y, ahead.y, 1e-5f);
    EXPECT_NEAR(LightCamera()->GetWorldAhead()->z, ahead.z, 1e-5f);
    EXPECT_FLOAT_EQ(LightFov(), D3DX_PI / 2);
    EXPECT_FLOAT_EQ(LightTheta(), D3DX_PI / 4);
    EXPECT_EQ(LightDiffuse(), D3DXVECTOR4(1, 1, 1, 1));
    for (int i = 0; i < kObjectCount; ++i)
        EXPECT_EQ(Object(i)->m_Mesh.Name(), QStringLiteral("CDXUTMeshFile_Mesh"));
    Release();
    EXPECT_EQ(ViewCamera(), nullptr);
    EXPECT_EQ(Object(0), nullptr);
    EXPECT_EQ(LightMesh(), nullptr);
}

TEST_F(Scene2NullTest, AcceptDeviceRefusesEachMissingCapability) {
    const bool& accepted = *Scene().Accepted;
    const auto verdict = [](const NullConfig& c, const D3DCAPS9& caps) {
        DXUTFreeState();
        GetDXUTState().SetD3D(CreateNullDirect3D(c));
        return AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, true, nullptr);
    };
    D3DCAPS9 caps = DefaultNullCaps();
    EXPECT_TRUE(verdict(cfg, caps));
    EXPECT_TRUE(accepted);

    NullConfig noBlending = cfg;
    noBlending.adapters[0].refusedUsage = D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;
    EXPECT_FALSE(verdict(noBlending, caps));
    EXPECT_FALSE(accepted);

    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    EXPECT_FALSE(verdict(cfg, caps));
    EXPECT_FALSE(accepted);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    EXPECT_TRUE(verdict(cfg, caps));

    // A float format as a 2D target is not enough: the cube target is what is asked.
    NullConfig noFloatCube = cfg;
    auto& extra = noFloatCube.adapters[0].extraFormats;
    extra.erase(std::remove(extra.begin(), extra.end(),
                            std::make_tuple(DWORD{D3DUSAGE_RENDERTARGET}, D3DRTYPE_CUBETEXTURE, D3DFMT_R32F)),
                extra.end());
    EXPECT_FALSE(verdict(noFloatCube, caps));
    EXPECT_FALSE(accepted);

    NullConfig noColourCube = cfg;
    auto& formats = noColourCube.adapters[0].backBufferFormats;
    formats.erase(std::remove(formats.begin(), formats.end(), D3DFMT_A8R8G8B8), formats.end());
    auto& extra2 = noColourCube.adapters[0].extraFormats;
    extra2.erase(
        std::remove(extra2.begin(), extra2.end(),
                    std::make_tuple(DWORD{D3DUSAGE_RENDERTARGET}, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8)),
        extra2.end());
    EXPECT_FALSE(verdict(noColourCube, caps));
    EXPECT_FALSE(accepted);
}

TEST_F(Scene2NullTest, AdjustDeviceSettingsChoosesHardwareSoftwareAndPure) {
    D3DCAPS9 caps = DefaultNullCaps();
    const auto adjust = [&](DWORD flagsBefore) {
        DXUTDeviceSettings s;
        s.BehaviorFlags = flagsBefore;
        s.pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
        EXPECT_TRUE(AdjustDeviceSettings(&s, &caps, nullptr));
        EXPECT_EQ(s.pp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
        return s.BehaviorFlags;
    };
    const DWORD before = D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE;
    EXPECT_EQ(adjust(before), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    caps.DevCaps &= ~D3DDEVCAPS_PUREDEVICE;
    EXPECT_EQ(adjust(before), D3DCREATE_HARDWARE_VERTEXPROCESSING);
    caps = DefaultNullCaps();
    caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    EXPECT_EQ(adjust(before), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    EXPECT_EQ(adjust(before), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    caps = DefaultNullCaps();
    caps.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    EXPECT_EQ(adjust(before), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
}

TEST_F(Scene2NullTest, CreatedDeviceHoldsTheTableMeshesAndRenderTargets) {
    ASSERT_EQ(StartDevice(), S_OK);
    D3DDEVICE_CREATION_PARAMETERS creation;
    device->GetCreationParameters(&creation);
    EXPECT_EQ(creation.BehaviorFlags, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);

    for (int i = 0; i < kObjectCount; ++i) {
        SCOPED_TRACE(i);
        ExpectNear(Object(i)->m_mWorld, TableEntry(i), 0.0f);
        const CDXUTMesh& mesh = Object(i)->m_Mesh;
        ASSERT_NE(mesh.Mesh(), nullptr);
        EXPECT_GT(mesh.NumMaterials(), 0u);
        // Position, normal and one texture coordinate: the applied declaration, not the file's.
        EXPECT_EQ(mesh.Mesh()->GetNumBytesPerVertex(), 32u);
        EXPECT_EQ(mesh.BytesPerVertex(), 32u);
        EXPECT_EQ(mesh.NumVertices(), mesh.Mesh()->GetNumVertices());
        IDirect3DVertexBuffer9* vb = nullptr;
        mesh.Mesh()->GetVertexBuffer(&vb);
        EXPECT_EQ(mesh.VertexBuffer(), vb);
        SafeRelease(vb);
    }
    EXPECT_EQ(QString::fromLatin1(ObjectMeshFile(1)), QStringLiteral("airplane\\airplane 2.x"));
    ASSERT_NE(LightMesh()->Mesh(), nullptr);
    EXPECT_EQ(LightMesh()->BytesPerVertex(), 32u);

    // The shadow map and its depth surface, the white default texture, the light constants.
    ASSERT_NE(ShadowMap(), nullptr);
    D3DSURFACE_DESC d;
    ShadowMap()->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, kShadowMapSize);
    EXPECT_EQ(d.Height, kShadowMapSize);
    EXPECT_EQ(d.Format, D3DFMT_R32F);
    EXPECT_EQ(d.Usage, static_cast<DWORD>(D3DUSAGE_RENDERTARGET));
    EXPECT_EQ(d.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(ShadowMap()->GetLevelCount(), 1u);
    ASSERT_NE(ShadowDepthStencil(), nullptr);
    ShadowDepthStencil()->GetDesc(&d);
    EXPECT_EQ(d.Width, kShadowMapSize);
    EXPECT_EQ(d.Format, DXUTGetDeviceSettings().pp.AutoDepthStencilFormat);
    ASSERT_NE(DefaultTexture(), nullptr);
    DefaultTexture()->GetLevelDesc(0, &d);
    EXPECT_EQ(d.Width, 1u);
    EXPECT_EQ(d.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(d.Usage, static_cast<DWORD>(D3DUSAGE_DYNAMIC));
    D3DLOCKED_RECT locked;
    ASSERT_EQ(DefaultTexture()->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<const DWORD*>(locked.pBits), 0xFFFFFFFFu);
    DefaultTexture()->UnlockRect(0);

    float cosTheta = 0;
    Effect()->GetFloat("g_fCosTheta", &cosTheta);
    EXPECT_NEAR(cosTheta, 0.70710678f, 1e-6f);
    D3DXVECTOR4 diffuse;
    Effect()->GetVector("g_vLightDiffuse", &diffuse);
    EXPECT_EQ(diffuse, D3DXVECTOR4(1, 1, 1, 1));
    D3DXMATRIX shadowProjection;
    D3DXMatrixPerspectiveFovLH(&shadowProjection, D3DX_PI / 2, 1.0f, 0.01f, 100.0f);
    ExpectNear(ShadowProjection(), shadowProjection, 0.0f);
    D3DXMATRIX cameraProjection;
    D3DXMatrixPerspectiveFovLH(&cameraProjection, D3DX_PI / 4, 640.0f / 480.0f, 0.1f, 100.0f);
    ExpectNear(*ViewCamera()->GetProjMatrix(), cameraProjection);
    ExpectNear(*LightCamera()->GetProjMatrix(), cameraProjection);
}

// World x R for the two circling objects (their positions turn about the room's Y axis), R x world for
// the sphere (it turns in place); nothing moves at a paused time.
TEST_F(Scene2NullTest, ObjectsMoveByTheirFormulasAndAccumulate) {
    ASSERT_EQ(StartDevice(), S_OK);
    Frame(0.0f);
    for (int i = 0; i < kObjectCount; ++i)
        ExpectNear(Object(i)->m_mWorld, TableEntry(i), 0.0f);

    Frame(0.5f);
    Frame(1.5f); // two seconds in all: a quarter turn
    D3DXMATRIX r, want;
    const D3DXMATRIX airplane = TableEntry(1), car = TableEntry(2), sphere = TableEntry(3);
    D3DXMatrixRotationY(&r, D3DX_PI / 2);
    D3DXMatrixMultiply(&want, &airplane, &r);
    ExpectNear(Object(1)->m_mWorld, want);
    EXPECT_NEAR(Object(1)->m_mWorld.m[3][0], 0.0f, 1e-5f);
    EXPECT_NEAR(Object(1)->m_mWorld.m[3][2], -5.0f, 1e-5f);

    D3DXMatrixRotationY(&r, -D3DX_PI / 2);
    D3DXMatrixMultiply(&want, &car, &r);
    ExpectNear(Object(2)->m_mWorld, want);
    EXPECT_NEAR(Object(2)->m_mWorld.m[3][0], 0.0f, 1e-5f);
    EXPECT_NEAR(Object(2)->m_mWorld.m[3][2], -14.5f, 1e-5f);

    const D3DXVECTOR3 axis(0.1f, 1.0f, -0.2f);
    D3DXMatrixRotationAxis(&r, &axis, -D3DX_PI / 3);
    D3DXMatrixMultiply(&want, &r, &sphere);
    ExpectNear(Object(3)->m_mWorld, want);
    EXPECT_EQ(Object(3)->m_mWorld.m[3][1], -7.0f); // spins in place
    for (int i = 4; i < kObjectCount; ++i)
        ExpectNear(Object(i)->m_mWorld, TableEntry(i), 0.0f);

    // A reset keeps where they are; a new device puts them back.
    const D3DXMATRIX moved = Object(1)->m_mWorld;
    DeviceLost(nullptr);
    EXPECT_EQ(ShadowMap(), nullptr);
    EXPECT_EQ(DefaultTexture(), nullptr);
    EXPECT_EQ(dynamic_cast<DeviceBase*>(device)->DefaultPoolObjects(), 0) << "a reset needs none";
    ASSERT_EQ(DeviceReset(device, DXUTGetBackBufferSurfaceDesc(), nullptr), S_OK);
    ExpectNear(Object(1)->m_mWorld, moved, 0.0f);
    DeviceLost(nullptr);
    DeviceDestroyed(nullptr);
    EXPECT_EQ(Effect(), nullptr);
    EXPECT_EQ(Object(1)->m_Mesh.Mesh(), nullptr);
    ASSERT_EQ(DeviceCreated(device, DXUTGetBackBufferSurfaceDesc(), nullptr), S_OK);
    ASSERT_EQ(DeviceReset(device, DXUTGetBackBufferSurfaceDesc(), nullptr), S_OK);
    for (int i = 0; i < kObjectCount; ++i)
        ExpectNear(Object(i)->m_mWorld, TableEntry(i), 0.0f);
}

// Every subset twice (into the shadow map, then onto the screen) and the statistics line: the objects'
// untextured materials get the white texture, the light mesh none.
TEST_F(Scene2NullTest, FrameDrawsEverySubsetIntoTheMapAndOntoTheScreen) {
    ASSERT_EQ(StartDevice(), S_OK);
    std::vector<IDirect3DBaseTexture9*> expected;
    int untextured = 0;
    for (int i = 0; i < kObjectCount; ++i) {
        const CDXUTMesh& mesh = Object(i)->m_Mesh;
        for (DWORD m = 0; m < mesh.NumMaterials(); ++m) {
            expected.push_back(mesh.Texture(m) ? mesh.Texture(m) : DefaultTexture());
            untextured += mesh.Texture(m) ? 0 : 1;
        }
    }
    const size_t objectDraws = expected.size();
    for (DWORD m = 0; m < LightMesh()->NumMaterials(); ++m)
        expected.push_back(LightMesh()->Texture(m));
    ASSERT_GT(untextured, 0);
    ASSERT_LT(untextured, static_cast<int>(objectDraws)) << "the media have textured materials too";
    const size_t perPass = expected.size();
    EXPECT_EQ(perPass, 24u) << "today's media";

    Frame(0.02f);
    const auto& draws = cfg.control->draws;
    ASSERT_EQ(draws.size(), 2 * perPass + 1);
    for (size_t i = 0; i < 2 * perPass; ++i) {
        SCOPED_TRACE(i);
        const size_t k = i % perPass;
        EXPECT_EQ(draws[i].toBackBuffer, i >= perPass) << "shadow pass first, then the screen";
        EXPECT_EQ(draws[i].texture0, expected[k]);
        if (k >= objectDraws) {
            EXPECT_EQ(draws[i].texture0, nullptr) << "the light mesh is drawn without a texture";
        }
    }
    EXPECT_TRUE(draws.back().toBackBuffer); // the statistics line
    // The shadow map is not left bound to the effect after the frame; the back buffer is the target again.
    IDirect3DBaseTexture9* shadow = reinterpret_cast<IDirect3DBaseTexture9*>(1);
    Effect()->GetTexture("g_txShadow", &shadow);
    EXPECT_EQ(shadow, nullptr);
    IDirect3DSurface9* target = nullptr;
    device->GetRenderTarget(0, &target);
    EXPECT_EQ(target, dynamic_cast<DeviceBase*>(device)->BackBufferSurface());
    SafeRelease(target);

    // The view-to-light matrix takes a view-space point to where the shadow projection puts it.
    D3DXMATRIX viewToLight;
    Effect()->GetMatrix("g_mViewToLightProj", &viewToLight);
    const D3DXVECTOR3 world(1.0f, -9.0f, 4.0f);
    D3DXVECTOR4 inView, viaEffect, direct;
    D3DXVec3Transform(&inView, &world, ViewCamera()->GetViewMatrix());
    D3DXVec4Transform(&viaEffect, &inView, &viewToLight);
    D3DXMATRIX lightViewProj;
    D3DXMatrixMultiply(&lightViewProj, LightCamera()->GetViewMatrix(), &ShadowProjection());
    D3DXVec3Transform(&direct, &world, &lightViewProj);
    EXPECT_NEAR(viaEffect.x / viaEffect.w, direct.x / direct.w, 1e-4f);
    EXPECT_NEAR(viaEffect.y / viaEffect.w, direct.y / direct.w, 1e-4f);
    EXPECT_NEAR(viaEffect.z / viaEffect.w, direct.z / direct.w, 1e-5f);
}

TEST_F(Scene2NullTest, MissingOrBrokenMediaEndDeviceCreation) {
    // No mesh files at all: the file search's code.
    QTemporaryDir onlyEffect;
    ASSERT_TRUE(QFile::copy(test::BinDir() + "/media/ShadowMap.fx", onlyEffect.filePath("ShadowMap.fx")));
    test::UseMediaFolder(onlyEffect.path());
    InstallNullDirect3D(cfg);
    Prepare();
    ID3DXEffect* none = nullptr;
    IDirect3D9* d3d = CreateNullDirect3D(cfg);
    D3DPRESENT_PARAMETERS pp = test::WindowedParameters(640, 480, &window);
    ASSERT_EQ(
        d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
        D3D_OK);
    EXPECT_EQ(DeviceCreated(device, nullptr, nullptr), static_cast<HRESULT>(0x80040903));
    DeviceDestroyed(nullptr);

    // Every file present but the car's unreadable: the load failure's code.
    QTemporaryDir copy;
    const QString media = test::BinDir() + "/media";
    QDirIterator it(media, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString rel = QDir(media).relativeFilePath(from);
        QDir(copy.path()).mkpath(QFileInfo(rel).path());
        ASSERT_TRUE(QFile::copy(from, copy.filePath(rel)));
    }
    QFile car(copy.filePath("misc/car.x"));
    ASSERT_TRUE(car.open(QIODevice::WriteOnly | QIODevice::Truncate));
    car.write("xof 0303txt 0032\nMesh { broken");
    car.close();
    test::UseMediaFolder(copy.path());
    EXPECT_EQ(DeviceCreated(device, nullptr, nullptr), static_cast<HRESULT>(0x80040903));
    EXPECT_NE(Object(1)->m_Mesh.Mesh(), nullptr) << "the objects before it were loaded";
    DeviceDestroyed(nullptr);

    // A broken effect: the effect's own code.
    QFile fx(copy.filePath("ShadowMap.fx"));
    ASSERT_TRUE(fx.open(QIODevice::WriteOnly | QIODevice::Truncate));
    fx.write("technique {");
    fx.close();
    EXPECT_EQ(DeviceCreated(device, nullptr, nullptr), D3DXERR_INVALIDDATA);
    DeviceDestroyed(nullptr);
    EXPECT_EQ(Effect(), none);
    device->Release();
    device = nullptr;
    d3d->Release();
}
