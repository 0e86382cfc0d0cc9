// The shadow-volume scene drawn by the OpenGL back end: floor points that the character hides from the
// light are counted in shadow, points beside them are lit even where a volume passes in front of them,
// with either volume technique; a whole test through its window measures a frame rate that falls as the
// lights come. Which point is where is worked out by casting rays at the character's own triangles.
#include "SceneTestSupport.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "graphics3d/Test3d.h"
#include "graphics3d/scenes/RenderUnit3.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using namespace orv;
using namespace orv::RenderUnit3;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr float kFloor = -1.0f; // the room's floor after its translation

using Triangle = std::array<D3DXVECTOR3, 3>;

// Whether the segment from a to b crosses a triangle (Moeller-Trumbore), ends excluded.
bool Crosses(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const Triangle& t) {
    const D3DXVECTOR3 dir = b - a, e1 = t[1] - t[0], e2 = t[2] - t[0];
    D3DXVECTOR3 p, q;
    D3DXVec3Cross(&p, &dir, &e2);
    const float det = D3DXVec3Dot(&e1, &p);
    if (std::fabs(det) < 1e-9f)
        return false;
    const D3DXVECTOR3 s = a - t[0];
    const float u = D3DXVec3Dot(&s, &p) / det;
    if (u < 0 || u > 1)
        return false;
    D3DXVec3Cross(&q, &s, &e1);
    const float v = D3DXVec3Dot(&dir, &q) / det;
    if (v < 0 || u + v > 1)
        return false;
    const float t0 = D3DXVec3Dot(&e2, &q) / det;
    return t0 > 1e-4f && t0 < 1 - 1e-4f;
}

class Scene3GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FpsTiming();
        FpsTiming() = {600000, 1000, 10}; // no samples: the light count is the test's
        test::UseBuiltMedia();
        window.resize(kWidth, kHeight);
        window.show();
        QElapsedTimer t;
        t.start();
        while (!window.isExposed() && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    void TearDown() override {
        DXUTFreeState();
        Release();
        FpsTiming() = saved_;
    }

    bool StartDevice(bool twoSided) {
        Prepare();
        RenderUnit3::Setup();
        DXUTSetCallbackDeviceCreated(DeviceCreated);
        DXUTSetCallbackDeviceReset(DeviceReset);
        DXUTSetCallbackDeviceLost(DeviceLost);
        DXUTSetCallbackDeviceDestroyed(DeviceDestroyed);
        if (FAILED(DXUTInitialize(false, false, false, false)))
            return false;
        DXUTSetWindow(&window, &window, &window, false);
        EXPECT_EQ(DXUTSetupDevice(0, true, kWidth, kHeight, AcceptDevice, AdjustDeviceSettings, nullptr),
                  S_OK);
        device = DXUTGetD3DDevice();
        if (!device)
            return false;
        if (!twoSided) {
            // As a device without two-sided stencil would have it.
            const D3DXHANDLE twoPass = Effect()->GetTechniqueByName("ShowShadowVolume");
            EXPECT_NE(twoPass, ShadowTechnique());
            SetShadowTechnique(twoPass);
        }
        return true;
    }

    std::vector<DWORD> Draw() {
        UpdateFrame(device, 0.0, 0.0f, nullptr);
        RenderFrame(device, 0.0, 0.0f, nullptr);
        int w = 0, h = 0;
        return test::ReadBackBuffer(device, &w, &h);
    }

    // The character's triangles where the scene puts them.
    std::vector<Triangle> CharacterTriangles() const {
        std::vector<Triangle> out;
        ID3DXMesh* mesh = Character()->Mesh();
        const BYTE* v = nullptr;
        void* idx = nullptr;
        mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(const_cast<BYTE**>(&v)));
        mesh->LockIndexBuffer(D3DLOCK_READONLY, &idx);
        const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
        const DWORD stride = mesh->GetNumBytesPerVertex();
        for (DWORD f = 0; f < mesh->GetNumFaces(); ++f) {
            Triangle t;
            for (DWORD k = 0; k < 3; ++k) {
                const DWORD i = wide ? static_cast<const DWORD*>(idx)[f * 3 + k]
                                     : static_cast<const WORD*>(idx)[f * 3 + k];
                D3DXVECTOR3 p;
                std::memcpy(&p, v + static_cast<size_t>(i) * stride, 12);
                D3DXVec3TransformCoord(&t[k], &p, &CharacterWorld());
            }
            out.push_back(t);
        }
        mesh->UnlockVertexBuffer();
        mesh->UnlockIndexBuffer();
        return out;
    }

    // Whether the character stands between two points (it lies within the unit sphere).
    bool Blocked(const D3DXVECTOR3& a, const D3DXVECTOR3& b, const std::vector<Triangle>& character) const {
        const D3DXVECTOR3 d = b - a, toCentre = -a;
        const float len2 = D3DXVec3Dot(&d, &d);
        const float t = std::clamp(D3DXVec3Dot(&toCentre, &d) / len2, 0.0f, 1.0f);
        const D3DXVECTOR3 nearest = a + d * t;
        if (D3DXVec3Length(&nearest) > 1.001f)
            return false;
        for (const Triangle& tri : character)
            if (Crosses(a, b, tri))
                return true;
        return false;
    }

    static std::optional<QPoint> OnScreen(const D3DXVECTOR3& world) {
        return test::ScreenPoint(*ViewCamera(), world, kWidth, kHeight, 2);
    }

    // Red and blue of the pixels around a point: light 0's shadow colour tints green only.
    static double RedBlue(const std::vector<DWORD>& p, QPoint at) {
        double sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const DWORD c = p[static_cast<size_t>((at.y() + dy) * kWidth + at.x() + dx)];
                sum += ((c >> 16) & 0xFF) + (c & 0xFF);
            }
        return sum / 9;
    }

    // Draws with the character in place, moved out of the room, and moved out with the light off; each
    // floor point's light is what the last two differ by.
    void ExpectShadowsCountedRight() {
        SetLightCount(1);
        const D3DXVECTOR3 light = Light(0).m_Position; // the light camera has not turned
        const D3DXVECTOR3 eye = *ViewCamera()->GetEyePt();
        const std::vector<Triangle> character = CharacterTriangles();
        const std::vector<DWORD> with = Draw();
        const D3DXMATRIX placed = CharacterWorld();
        D3DXMATRIX away;
        D3DXMatrixTranslation(&away, 0, -100, 0);
        D3DXMatrixMultiply(&CharacterWorld(), &placed, &away);
        const std::vector<DWORD> lit = Draw();
        const D3DXVECTOR4 colour = Light(0).m_Color;
        Light(0).m_Color = D3DXVECTOR4(0, 0, 0, 1);
        const std::vector<DWORD> ambient = Draw();
        Light(0).m_Color = colour;
        CharacterWorld() = placed;

        int shadowed = 0, shadowedDark = 0, crossing = 0, crossingLit = 0;
        for (float x = -4; x <= 4; x += 0.2f)
            for (float z = -3; z <= 6; z += 0.2f) {
                const D3DXVECTOR3 floor(x, kFloor, z);
                const auto pixel = OnScreen(floor);
                if (!pixel || Blocked(eye, floor, character))
                    continue;
                const double a = RedBlue(with, *pixel), base = RedBlue(ambient, *pixel);
                const double light0 = RedBlue(lit, *pixel) - base;
                if (light0 < base)
                    continue; // too little light here to tell
                if (Blocked(floor, light, character)) {
                    ++shadowed;
                    shadowedDark += a < base + 0.2 * light0 ? 1 : 0;
                    continue;
                }
                // A lit point seen through the volume: some point on the way to it is in shadow. Each of
                // the volume's faces in front of it tints what lies behind before the light is added.
                bool throughVolume = false;
                for (int k = 1; k < 12 && !throughVolume; ++k) {
                    const D3DXVECTOR3 q = eye + (floor - eye) * (static_cast<float>(k) / 12);
                    throughVolume = Blocked(q, light, character);
                }
                if (throughVolume) {
                    ++crossing;
                    crossingLit += a > 0.3 * base + 0.6 * light0 ? 1 : 0;
                }
            }
        ASSERT_GT(shadowed, 20);
        ASSERT_GT(crossing, 20);
        // Points at the shadow's edge may go either way.
        EXPECT_GE(shadowedDark, shadowed * 9 / 10) << shadowedDark << " of " << shadowed;
        EXPECT_GE(crossingLit, crossing * 9 / 10) << crossingLit << " of " << crossing;
    }

    TFpsTiming saved_;
    QWindow window;
    IDirect3DDevice9* device = nullptr;
};

} // namespace

TEST_F(Scene3GlTest, TwoSidedVolumeCountsShadowsRight) {
    if (!StartDevice(true))
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    EXPECT_EQ(ShadowTechnique(), Effect()->GetTechniqueByName("ShowShadowVolume2Sided"));
    ExpectShadowsCountedRight();
}

TEST_F(Scene3GlTest, TwoPassVolumeCountsShadowsRight) {
    if (!StartDevice(false))
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    ExpectShadowsCountedRight();
}

TEST_F(Scene3GlTest, StatisticsLineIsDrawnWithSixLights) {
    if (!StartDevice(true))
        GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
    SetLightCount(6);
    const std::vector<DWORD> p = Draw();
    EXPECT_GT(test::YellowPixels(p, kWidth, 5, 5, 250, 22), 40);
}

// Ten one-second samples: the first with one light, the last with six.
TEST(Test3dWindowGl, ShadowVolumeTestSamplesEveryLightCountItAdds) {
    test::UseBuiltMedia();
    QString reason;
    if (!Test3dAvailable(&reason))
        GTEST_SKIP() << reason.toStdString();
    const TFpsTiming saved = FpsTiming();
    FpsTiming() = {1100, 1000, 10};
    std::vector<std::pair<int, float>> samples;
    TFpsMeasurement& m = *Scene().Measurement;
    m.SetSource([&] {
        const float fps = DXUTCurrentFps();
        samples.push_back({LightCount(), fps});
        return fps;
    });
    MainModel model;
    TTest3d3Frm window(model);
    window.FinishedTimer().setInterval(200);
    model.Gfx3dWindows = {nullptr, nullptr, &window};
    bool ended = false;
    QObject::connect(&model, &MainModel::runEnded, &model, [&](bool) { ended = true; });
    gfx3d3Test(model);
    QElapsedTimer t;
    t.start();
    while (!ended && t.elapsed() < 40000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    m.SetSource([] { return DXUTCurrentFps(); });
    FpsTiming() = saved;
    ASSERT_TRUE(ended);
    for (const auto& [lights, fps] : samples)
        std::printf("  lights before the sample %d: %.2f fps\n", lights, static_cast<double>(fps));
    const RowResult& r = model.Result(20);
    ASSERT_EQ(r.status, RowResult::Status::Finished);
    EXPECT_GT(r.value, 0.0) << r.detail.toStdString();
    ASSERT_EQ(samples.size(), 10u);
    EXPECT_EQ(samples.front().first, 1);
    EXPECT_EQ(samples.back().first, kMaxLights);
    // The first reading may come before the framework's first figure; the second has had two lights.
    // What the lights cost is counted in draws on the null back end: frame rates here depend on what
    // else the machine runs.
    EXPECT_EQ(samples[1].first, 2);
    for (std::size_t i = 1; i < samples.size(); ++i) {
        EXPECT_GE(samples[i].first, samples[i - 1].first) << i;
        EXPECT_GT(samples[i].second, 0.0f) << "sample " << i << " measured nothing";
    }
}
