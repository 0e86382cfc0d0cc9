// The skinned-mesh scene's callbacks on the null back end: device choice, loading, the hardware and
// software blending passes as the draws record them.
#include "SceneTestSupport.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QWindow>

#include <set>
#include <thread>

using namespace orv;
using namespace orv::RenderUnit;

namespace {

class SceneNullTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (created_) {
            DeviceLost(nullptr); // the reset's sprite and shaders hold the device
            DeviceDestroyed(nullptr);
        }
        if (device)
            device->Release();
        if (d3d)
            d3d->Release();
        DXUTFreeState();
        test::UseBuiltMedia();
    }

    // A device whose caps offer this many blend matrices; draws are recorded.
    void MakeDevice(DWORD blendMatrices) {
        cfg = DefaultNullConfig();
        cfg.adapters[0].caps.MaxVertexBlendMatrices = blendMatrices;
        cfg.control->recordDraws = true;
        d3d = CreateNullDirect3D(cfg);
        D3DPRESENT_PARAMETERS pp = test::WindowedParameters(320, 240, &window);
        ASSERT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_MIXED_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
        desc.Width = 320;
        desc.Height = 240;
    }

    HRESULT CreateAndReset() {
        HRESULT hr = DeviceCreated(device, &desc, nullptr);
        created_ = SUCCEEDED(hr) || FrameRoot();
        if (FAILED(hr))
            return hr;
        hr = DeviceReset(device, &desc, nullptr);
        return hr;
    }

    void Frame(float elapsed) {
        cfg.control->draws.clear();
        UpdateFrame(device, 0.0, elapsed, nullptr);
        RenderFrame(device, 0.0, elapsed, nullptr);
    }

    NullConfig cfg;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    D3DSURFACE_DESC desc{};
    QWindow window;
    bool created_ = false;
};

DWORD LastUsed(const D3DXBONECOMBINATION& c, DWORD influences) {
    DWORD n = 0;
    for (DWORD i = 0; i < influences; ++i)
        if (c.BoneId[i] != UNUSED32)
            n = i;
    return n;
}

} // namespace

TEST(SceneTimings, ProductionConstants) {
    EXPECT_EQ(kFpsWarmUpMs, 5000);
    EXPECT_EQ(kFpsSampleIntervalMs, 1000);
    EXPECT_EQ(kFpsSamples, 10);
    const TFpsTiming defaults;
    EXPECT_EQ(defaults.warmUpMs, kFpsWarmUpMs);
    EXPECT_EQ(defaults.intervalMs, kFpsSampleIntervalMs);
    EXPECT_EQ(defaults.samples, kFpsSamples);
}

// The measuring thread reads the frame rate; it must never make a framework state of its own, or a
// freed state would come back on the wrong thread.
TEST(SceneTimings, FrameRateReadAfterTheStateIsFreedMakesNoState) {
    DXUTSetPaused(false, false);
    ASSERT_TRUE(DXUTStateExists());
    DXUTFreeState();
    float fps = -1;
    std::thread([&] { fps = DXUTCurrentFps(); }).join();
    EXPECT_EQ(fps, 0.0f);
    EXPECT_FALSE(DXUTStateExists());
}

TEST(SceneTimings, StopWakesTheSleepingThreadAndKeepsTheRecord) {
    TFpsTiming& t = FpsTiming();
    const TFpsTiming saved = t;
    t = {0, 60000, 10};
    TFpsMeasurement m;
    int calls = 0;
    m.SetSource([&] { return static_cast<float>(++calls * 10); });
    m.Start();
    while (m.Count() < 1)
        std::this_thread::yield();
    m.Stop(); // would take a minute if the sleep did not wake
    EXPECT_FALSE(m.Running());
    EXPECT_EQ(m.Count(), 1);
    EXPECT_EQ(m.Sum(), 10.0);
    EXPECT_FALSE(m.Done());
    t = saved;
}

TEST_F(SceneNullTest, AcceptDeviceNeedsPostPixelShaderBlendingAndPixelShader2) {
    cfg = DefaultNullConfig();
    GetDXUTState().SetD3D(CreateNullDirect3D(cfg));
    D3DCAPS9 caps = DefaultNullCaps();
    const bool& accepted = *Scene().Accepted;
    EXPECT_TRUE(AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false, nullptr));
    EXPECT_TRUE(accepted);
    caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
    EXPECT_FALSE(AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false, nullptr));
    EXPECT_FALSE(accepted);
    caps.PixelShaderVersion = D3DPS_VERSION(2, 0);
    EXPECT_TRUE(AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false, nullptr));
    EXPECT_TRUE(accepted);

    DXUTFreeState();
    cfg.adapters[0].refusedUsage = D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING;
    GetDXUTState().SetD3D(CreateNullDirect3D(cfg));
    EXPECT_FALSE(AcceptDevice(&caps, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, false, nullptr));
    EXPECT_FALSE(accepted);
}

TEST_F(SceneNullTest, AdjustDeviceSettingsPrefersMixedAndFallsBackToSoftware) {
    const auto adjust = [](DWORD flags, D3DCAPS9 caps) {
        DXUTDeviceSettings s;
        s.BehaviorFlags = flags;
        s.pp.PresentationInterval = D3DPRESENT_INTERVAL_ONE;
        EXPECT_TRUE(AdjustDeviceSettings(&s, &caps, nullptr));
        EXPECT_EQ(s.pp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
        return s.BehaviorFlags;
    };
    const D3DCAPS9 full = DefaultNullCaps();
    EXPECT_EQ(adjust(D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, full),
              D3DCREATE_MIXED_VERTEXPROCESSING);
    EXPECT_EQ(adjust(D3DCREATE_SOFTWARE_VERTEXPROCESSING, full), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    D3DCAPS9 noTnl = full;
    noTnl.DevCaps &= ~D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    EXPECT_EQ(adjust(D3DCREATE_HARDWARE_VERTEXPROCESSING, noTnl), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    D3DCAPS9 oldVs = full;
    oldVs.VertexShaderVersion = D3DVS_VERSION(1, 1);
    EXPECT_EQ(adjust(D3DCREATE_HARDWARE_VERTEXPROCESSING, oldVs), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    D3DCAPS9 oneMatrix = full;
    oneMatrix.MaxVertexBlendMatrices = 1;
    EXPECT_EQ(adjust(D3DCREATE_MIXED_VERTEXPROCESSING, oneMatrix), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
}

// With four blend matrices every group of the character fits: no software clone, no software draw.
TEST_F(SceneNullTest, AllGroupsFitTheLimitNoSoftwarePass) {
    test::UseBuiltMedia();
    MakeDevice(4);
    ASSERT_EQ(CreateAndReset(), S_OK);
    auto* mc = test::SkinnedContainer(FrameRoot());
    ASSERT_NE(mc, nullptr);
    // Members of the packed container are compared as copies: a reference to one may be misaligned.
    EXPECT_EQ(DWORD{mc->iAttributeSW}, DWORD{mc->NumAttributeGroups});
    EXPECT_EQ(mc->MeshData.pMesh->GetOptions() & D3DXMESH_SOFTWAREPROCESSING, 0u);
    Frame(0.25f);
    const auto& draws = cfg.control->draws;
    ASSERT_GE(draws.size(), DWORD{mc->NumAttributeGroups});
    for (DWORD g = 0; g < mc->NumAttributeGroups; ++g)
        EXPECT_FALSE(draws[g].software) << g;
    EXPECT_EQ(ObjectRadius() > 0, true);
}

// With 2 or 3 matrices the groups beyond the limit are drawn in software after the hardware pass,
// each with its bones' matrices and blend state; the mesh is cloned for software processing.
TEST_F(SceneNullTest, GroupsBeyondTheLimitAreDrawnInSoftware) {
    for (DWORD limit : {2u, 3u}) {
        SCOPED_TRACE(limit);
        test::UseBuiltMedia();
        MakeDevice(limit);
        ASSERT_EQ(CreateAndReset(), S_OK);
        auto* mc = test::SkinnedContainer(FrameRoot());
        ASSERT_NE(mc, nullptr);
        ASSERT_LT(DWORD{mc->iAttributeSW}, DWORD{mc->NumAttributeGroups});
        EXPECT_EQ(mc->MeshData.pMesh->GetOptions() & D3DXMESH_SOFTWAREPROCESSING,
                  D3DXMESH_SOFTWAREPROCESSING);
        Frame(0.3f);
        const auto* combos = static_cast<D3DXBONECOMBINATION*>(mc->pBoneCombinationBuf->GetBufferPointer());
        std::vector<DWORD> expected; // group per draw, hardware pass first
        for (DWORD g = 0; g < mc->NumAttributeGroups; ++g)
            if (LastUsed(combos[g], mc->NumInfl) + 1 <= limit)
                expected.push_back(g);
        const size_t hardware = expected.size();
        for (DWORD g = mc->iAttributeSW; g < mc->NumAttributeGroups; ++g)
            if (LastUsed(combos[g], mc->NumInfl) + 1 > limit)
                expected.push_back(g);
        const auto& draws = cfg.control->draws;
        // The statistics line's sprite draws come after the character.
        ASSERT_GE(draws.size(), expected.size());
        EXPECT_GT(expected.size() - hardware, 0u);
        for (size_t k = 0; k < expected.size(); ++k) {
            const DWORD g = expected[k];
            const NullDraw& d = draws[k];
            EXPECT_EQ(d.software, k >= hardware) << "draw " << k;
            EXPECT_EQ(d.primitiveCount, combos[g].FaceCount) << "draw " << k;
            EXPECT_EQ(d.vertexBlend, LastUsed(combos[g], mc->NumInfl)) << "draw " << k;
            EXPECT_EQ(d.texture0, mc->ppTextures[combos[g].AttribId]) << "draw " << k;
            for (DWORD i = 0; i < mc->NumInfl; ++i) {
                const DWORD bone = combos[g].BoneId[i];
                if (bone == UNUSED32)
                    continue;
                const D3DXMATRIX world = mc->pBoneOffsetMatrices[bone] * *mc->ppBoneMatrixPtrs[bone];
                for (int e = 0; e < 16; ++e)
                    ASSERT_FLOAT_EQ(d.world[i].m[e / 4][e % 4], world.m[e / 4][e % 4]) << "draw " << k;
            }
        }
        // The blend state goes back to 0 for what follows.
        DWORD blend = 99;
        device->GetRenderState(D3DRS_VERTEXBLEND, &blend);
        EXPECT_EQ(blend, 0u);
        DeviceLost(nullptr);
        DeviceDestroyed(nullptr);
        created_ = false;
        device->Release();
        device = nullptr;
        d3d->Release();
        d3d = nullptr;
    }
}

TEST_F(SceneNullTest, AnimationMovesTheBonesAndTheCameraFramesTheCharacter) {
    test::UseBuiltMedia();
    MakeDevice(4);
    ASSERT_EQ(CreateAndReset(), S_OK);
    Frame(0.0f);
    const std::vector<NullDraw> first = cfg.control->draws;
    Frame(0.5f);
    const auto& later = cfg.control->draws;
    ASSERT_EQ(first.size(), later.size());
    bool moved = false;
    for (size_t k = 0; k < first.size() && !moved; ++k)
        for (int e = 0; e < 16; ++e)
            moved |= first[k].world[0].m[e / 4][e % 4] != later[k].world[0].m[e / 4][e % 4];
    EXPECT_TRUE(moved);
    // View from -2r on the z axis, projection from r / 64 to 200 r.
    D3DMATRIX view, projection;
    device->GetTransform(D3DTS_VIEW, &view);
    device->GetTransform(D3DTS_PROJECTION, &projection);
    EXPECT_FLOAT_EQ(view.m[3][2], 2 * ObjectRadius());
    const float zn = ObjectRadius() / 64, zf = ObjectRadius() * 200;
    EXPECT_NEAR(projection.m[3][2], -zn * zf / (zf - zn), 1e-4f);
    D3DMATERIAL9 m;
    device->GetMaterial(&m);
    D3DLIGHT9 light;
    device->GetLight(0, &light);
    EXPECT_NEAR(light.Direction.z, std::sqrt(0.5f), 1e-6f);
    EXPECT_EQ(light.Range, 1000.0f);
}

TEST_F(SceneNullTest, ContainerWithoutMaterialsIsGreyAndMeshesGetNormals) {
    MakeDevice(4);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_MANAGED, D3DFVF_XYZ, device, &mesh), D3D_OK);
    const DWORD adjacency[6] = {UNUSED32, UNUSED32, UNUSED32, UNUSED32, UNUSED32, UNUSED32};
    D3DXMESHDATA data;
    data.Type = D3DXMESHTYPE_MESH;
    data.pMesh = mesh;
    CAllocateHierarchy alloc;
    D3DXMESHCONTAINER* out = nullptr;
    ASSERT_EQ(alloc.CreateMeshContainer("plain", &data, nullptr, nullptr, 0, adjacency, nullptr, &out), S_OK);
    auto* mc = static_cast<TD3DXMeshContainerDerived*>(out);
    EXPECT_STREQ(mc->Name, "plain");
    EXPECT_EQ(mc->NumMaterials, 1u);
    EXPECT_EQ(mc->pMaterials[0].MatD3D.Diffuse.r, 0.5f);
    EXPECT_EQ(mc->pMaterials[0].MatD3D.Diffuse.b, 0.5f);
    EXPECT_EQ(mc->pMaterials[0].MatD3D.Diffuse.a, 0.0f);
    EXPECT_EQ(mc->pMaterials[0].MatD3D.Specular.g, 0.5f);
    EXPECT_EQ(mc->pMaterials[0].MatD3D.Ambient.r, 0.0f);
    EXPECT_EQ(mc->ppTextures[0], nullptr);
    EXPECT_NE(mc->MeshData.pMesh, mesh);
    EXPECT_EQ(mc->MeshData.pMesh->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL);
    EXPECT_EQ(alloc.DestroyMeshContainer(out), S_OK);

    // Only plain meshes with a vertex format.
    data.Type = D3DXMESHTYPE_PMESH;
    EXPECT_EQ(alloc.CreateMeshContainer("p", &data, nullptr, nullptr, 0, adjacency, nullptr, &out), E_FAIL);
    mesh->Release();
}

TEST_F(SceneNullTest, MissingMediaAndMissingBoneFramesFailDeviceCreation) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    test::UseMediaFolder(dir.path());
    MakeDevice(4);
    EXPECT_EQ(DeviceCreated(device, &desc, nullptr), DXUTERR_MEDIANOTFOUND);
    DeviceDestroyed(nullptr);

    // The character with one bone renamed after no frame.
    const QString media = test::BinDir() + QStringLiteral("/media/");
    ASSERT_TRUE(QFile::copy(media + "SkinnedMesh.fx", dir.filePath("SkinnedMesh.fx")));
    QFile in(media + "tiny.x");
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(in.readAll());
    const QRegularExpression bone(QStringLiteral("(SkinWeights\\s*\\{\\s*\")([^\"]+)(\")"));
    ASSERT_TRUE(bone.match(text).hasMatch());
    text.replace(bone.match(text).capturedStart(2), bone.match(text).capturedLength(2), "NoSuchFrame");
    QFile out(dir.filePath("tiny.x"));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text.toLatin1());
    out.close();
    const QString before = QDir::currentPath();
    EXPECT_EQ(DeviceCreated(device, &desc, nullptr), E_FAIL);
    // A failure after the folder change leaves the mesh's folder current.
    EXPECT_EQ(QDir(QDir::currentPath()).canonicalPath(), QDir(dir.path()).canonicalPath());
    QDir::setCurrent(before);
    created_ = true;
}
