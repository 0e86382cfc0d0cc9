// The shadow-map scene drawn by the OpenGL back end: shadows land where the light puts them (not at a
// mirror image), outside the spot cone only the ambient term lights, the moving objects' shadows move,
// and the statistics line is drawn. Positions are worked out from the scene's own cameras.
#include "SceneTestSupport.h"
#include "graphics3d/scenes/RenderUnit2.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <cmath>
#include <optional>
#include <vector>

using namespace orv;
using namespace orv::RenderUnit2;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr float kRoomX = 17.5f, kRoomY = 9.0f, kRoomZ = 17.5f; // the room's inner walls

class Scene2GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseBuiltMedia();
        window.resize(kWidth, kHeight);
        window.show();
        QElapsedTimer t;
        t.start();
        while (!window.isExposed() && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        Prepare();
        DXUTSetCallbackDeviceCreated(DeviceCreated);
        DXUTSetCallbackDeviceReset(DeviceReset);
        DXUTSetCallbackDeviceLost(DeviceLost);
        DXUTSetCallbackDeviceDestroyed(DeviceDestroyed);
        if (FAILED(DXUTInitialize(false, false, false, false)))
            GTEST_SKIP() << "no OpenGL 3.3 core context on this display";
        DXUTSetWindow(&window, &window, &window, false);
        ASSERT_EQ(DXUTSetupDevice(0, true, kWidth, kHeight, AcceptDevice, AdjustDeviceSettings, nullptr),
                  S_OK);
        device = DXUTGetD3DDevice();
        ASSERT_NE(device, nullptr);
    }
    void TearDown() override {
        DXUTFreeState();
        Release();
    }

    std::vector<DWORD> Draw(float elapsed) {
        UpdateFrame(device, 0.0, elapsed, nullptr);
        RenderFrame(device, 0.0, elapsed, nullptr);
        int w = 0, h = 0;
        std::vector<DWORD> p = test::ReadBackBuffer(device, &w, &h);
        EXPECT_EQ(w, kWidth);
        EXPECT_EQ(h, kHeight);
        return p;
    }

    // Where a world point lands on the screen, if it does (with a margin for the neighbourhood).
    static std::optional<QPoint> OnScreen(const D3DXVECTOR3& world) {
        return test::ScreenPoint(*ViewCamera(), world, kWidth, kHeight, 3);
    }

    // Mean brightness (r + g + b) of the 3 x 3 pixels around a point.
    static double Brightness(const std::vector<DWORD>& p, QPoint at) {
        double sum = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const DWORD c = p[static_cast<size_t>((at.y() + dy) * kWidth + at.x() + dx)];
                sum += ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF);
            }
        return sum / 9;
    }

    // Where the ray from the light's eye in a direction meets the room's walls, floor or ceiling.
    static D3DXVECTOR3 RoomHit(const D3DXVECTOR3& direction) {
        const D3DXVECTOR3 eye = *LightCamera()->GetEyePt();
        float t = 1e30f;
        const float bounds[3] = {kRoomX, kRoomY, kRoomZ};
        const float* e = &eye.x;
        const float* d = &direction.x;
        for (int axis = 0; axis < 3; ++axis)
            for (float side : {-1.0f, 1.0f})
                if (d[axis] * side > 1e-6f)
                    t = std::min(t, (side * bounds[axis] - e[axis]) / d[axis]);
        return eye + direction * t;
    }

    // Cosine of the angle between the light's axis and the way to a point.
    static float ConeCosine(const D3DXVECTOR3& world) {
        D3DXVECTOR3 to = world - *LightCamera()->GetEyePt();
        D3DXVec3Normalize(&to, &to);
        return D3DXVec3Dot(&to, LightCamera()->GetWorldAhead());
    }

    QWindow window;
    IDirect3DDevice9* device = nullptr;
};

void PlaceSphere(const D3DXVECTOR3& at) {
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, 2, 2, 2);
    m.m[3][0] = at.x;
    m.m[3][1] = at.y;
    m.m[3][2] = at.z;
    Object(3)->m_mWorld = m;
}

} // namespace

// An off-centre sphere's shadow falls on the far wall along the light's ray through it. A map read with
// its v (or u) the wrong way round would put the shadow at the mirror image instead.
TEST_F(Scene2GlTest, ShadowFallsBehindTheOccluderNotAtItsMirrorImage) {
    const D3DXVECTOR3 centre(-5.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 eye = *LightCamera()->GetEyePt();
    const D3DXVECTOR3 shadow = RoomHit(centre - eye);
    ASSERT_NEAR(shadow.z, kRoomZ, 1e-3f) << "lands on the far wall";
    ASSERT_GT(ConeCosine(shadow), 0.75f) << "well inside the spot cone";
    const auto shadowPixel = OnScreen(shadow);
    const auto centrePixel = OnScreen(centre);
    const auto rimPixel = OnScreen(centre + *ViewCamera()->GetWorldRight() * 2.0f);
    ASSERT_TRUE(shadowPixel && centrePixel && rimPixel);
    const QPoint toRim = *rimPixel - *centrePixel, toShadow = *shadowPixel - *centrePixel;
    ASSERT_GT(std::hypot(toShadow.x(), toShadow.y()), std::hypot(toRim.x(), toRim.y()) + 10)
        << "the sphere itself must not hide its shadow";

    // The mirror image in the light's picture: the same ray with its vertical (and horizontal) part in
    // light space turned over.
    D3DXMATRIX lightViewProj, inverse;
    D3DXMatrixMultiply(&lightViewProj, LightCamera()->GetViewMatrix(), &ShadowProjection());
    D3DXMatrixInverse(&inverse, nullptr, &lightViewProj);
    D3DXVECTOR4 clip;
    D3DXVec3Transform(&clip, &shadow, &lightViewProj);
    const auto mirrored = [&](float sx, float sy) {
        const D3DXVECTOR3 ndc(sx * clip.x / clip.w, sy * clip.y / clip.w, 0.5f);
        D3DXVECTOR3 point;
        D3DXVec3TransformCoord(&point, &ndc, &inverse);
        return RoomHit(point - eye);
    };

    PlaceSphere(D3DXVECTOR3(0, -100, 0)); // under the floor: out of the light and out of sight
    const std::vector<DWORD> without = Draw(0.0f);
    PlaceSphere(centre);
    const std::vector<DWORD> with = Draw(0.0f);

    const double lit = Brightness(without, *shadowPixel), shaded = Brightness(with, *shadowPixel);
    EXPECT_LT(shaded, 0.6 * lit) << "no shadow under the sphere (lit " << lit << ", with sphere " << shaded
                                 << ")";
    EXPECT_GT(shaded, 0.0) << "the ambient term keeps shadows from being black";
    int mirrorsChecked = 0;
    for (auto [sx, sy] : {std::pair{1.0f, -1.0f}, std::pair{-1.0f, 1.0f}, std::pair{-1.0f, -1.0f}}) {
        const auto pixel = OnScreen(mirrored(sx, sy));
        if (!pixel)
            continue;
        ++mirrorsChecked;
        EXPECT_GT(Brightness(with, *pixel), 0.9 * Brightness(without, *pixel))
            << "a shadow at the mirror image " << sx << "," << sy;
    }
    EXPECT_GT(mirrorsChecked, 0);
}

// With the light's colour turned off only the ambient term remains: floor points inside the light's
// picture but outside the cone look the same either way, points inside the cone do not.
TEST_F(Scene2GlTest, OutsideTheSpotConeOnlyAmbientLightReachesTheFloor) {
    const std::vector<DWORD> full = Draw(0.0f);
    const D3DXVECTOR4 dark(0, 0, 0, 0);
    Effect()->SetVector("g_vLightDiffuse", &dark);
    const std::vector<DWORD> ambient = Draw(0.0f);

    const float cosTheta = std::cos(D3DX_PI / 4);
    int outside = 0, outsideSame = 0, inside = 0, insideBrighter = 0;
    for (float x = -16; x <= 16; x += 0.25f)
        for (float z = -16; z <= 16; z += 0.25f) {
            const D3DXVECTOR3 floor(x, -kRoomY, z);
            const auto pixel = OnScreen(floor);
            if (!pixel)
                continue;
            const float c = ConeCosine(floor);
            // Between the cone and the edge of the light's picture (its diagonal reaches 54.7 degrees).
            if (c < cosTheta - 0.02f && c > 0.62f) {
                ++outside;
                const double a = Brightness(full, *pixel), b = Brightness(ambient, *pixel);
                outsideSame += std::abs(a - b) <= 1.0 && b > 10 ? 1 : 0;
            } else if (c > cosTheta + 0.1f) {
                ++inside;
                insideBrighter += Brightness(full, *pixel) > 1.5 * Brightness(ambient, *pixel) ? 1 : 0;
            }
        }
    ASSERT_GT(outside, 10);
    ASSERT_GT(inside, 300);
    // A few points are covered by objects or lie in shadow.
    EXPECT_GE(outsideSame, outside * 9 / 10) << outsideSame << " of " << outside;
    EXPECT_GE(insideBrighter, inside * 7 / 10) << insideBrighter << " of " << inside;
}

// A quarter turn of the airplane moves its shadow across the far wall.
TEST_F(Scene2GlTest, MovingObjectsShadowsMoveBetweenFrames) {
    const D3DXVECTOR3 eye = *LightCamera()->GetEyePt();
    const auto shadowOfAirplane = [&] {
        const D3DXMATRIX& w = Object(1)->m_mWorld;
        return RoomHit(D3DXVECTOR3(w.m[3][0], w.m[3][1], w.m[3][2]) - eye);
    };
    const std::vector<DWORD> before = Draw(0.0f);
    const D3DXVECTOR3 a = shadowOfAirplane();
    const std::vector<DWORD> after = Draw(2.0f);
    const D3DXVECTOR3 b = shadowOfAirplane();
    const D3DXVECTOR3 moved = a - b;
    ASSERT_GT(D3DXVec3Length(&moved), 5.0f);
    const auto pa = OnScreen(a), pb = OnScreen(b);
    ASSERT_TRUE(pa && pb);
    EXPECT_LT(Brightness(before, *pa), 0.6 * Brightness(after, *pa)) << "the first shadow stayed";
    EXPECT_LT(Brightness(after, *pb), 0.6 * Brightness(before, *pb)) << "no shadow where the airplane went";
}

TEST_F(Scene2GlTest, StatisticsLineIsDrawnInYellow) {
    const std::vector<DWORD> p = Draw(0.0f);
    EXPECT_GT(test::YellowPixels(p, kWidth, 5, 5, 250, 22), 40);
    EXPECT_EQ(test::YellowPixels(p, kWidth, 5, 60, 250, 77), 0) << "only the one line is yellow";
}
