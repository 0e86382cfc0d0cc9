// The skinned-mesh scene drawn by the OpenGL back end: the character is there, whole (no background
// showing through cracks between bone groups) at several animation times, with the yellow statistics
// line; and a whole test through its window measures a frame rate.
#include "SceneTestSupport.h"

#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "graphics3d/Test3d.h"
#include "platform/OffscreenGl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWindow>

#include <vector>

using namespace orv;
using namespace orv::RenderUnit;

namespace {

constexpr DWORD kClear = 0x424B79u;
constexpr int kWidth = 512, kHeight = 384;

class SceneGlTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseBuiltMedia();
        window.resize(kWidth, kHeight);
        window.show();
        QElapsedTimer t;
        t.start();
        while (!window.isExposed() && t.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
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
    void TearDown() override { DXUTFreeState(); }

    std::vector<DWORD> Draw(float elapsed) {
        UpdateFrame(device, 0.0, elapsed, nullptr);
        RenderFrame(device, 0.0, elapsed, nullptr);
        return test::ReadBackBuffer(device, &width, &height);
    }

    DWORD At(const std::vector<DWORD>& p, int x, int y) const {
        return p[static_cast<size_t>(y * width + x)];
    }

    // Background pixels in slits at most two pixels high with the character above and below: what cracks
    // between the bone groups of the limbs and the torso look like. (Narrow upright gaps, such as between
    // arm and body, are the character's shape and are not counted.)
    int SlitPixels(const std::vector<DWORD>& p) const {
        int count = 0;
        const auto solid = [&](int x, int y) {
            return x >= 0 && y >= 0 && x < width && y < height && At(p, x, y) != kClear;
        };
        for (int y = 24; y < height - 2; ++y) // below the statistics line
            for (int x = 2; x < width - 2; ++x) {
                if (At(p, x, y) != kClear)
                    continue;
                const bool vertical = (solid(x, y - 1) || solid(x, y - 2)) &&
                                      (solid(x, y + 1) || solid(x, y + 2)) &&
                                      !(At(p, x, y - 1) == kClear && At(p, x, y + 1) == kClear);
                count += vertical ? 1 : 0;
            }
        return count;
    }

    QWindow window;
    IDirect3DDevice9* device = nullptr;
    int width = 0, height = 0;
};

} // namespace

TEST_F(SceneGlTest, CharacterIsWholeAtSeveralAnimationTimesUnderTheStatisticsLine) {
    for (float step : {0.0f, 0.7f, 1.3f}) {
        SCOPED_TRACE(step);
        const std::vector<DWORD> p = Draw(step);
        ASSERT_EQ(width, kWidth);
        // The character fills the centre of the picture.
        int character = 0;
        for (int y = height / 2 - 20; y < height / 2 + 20; ++y)
            for (int x = width / 2 - 20; x < width / 2 + 20; ++x)
                character += At(p, x, y) != kClear ? 1 : 0;
        EXPECT_GT(character, 1200);
        EXPECT_EQ(At(p, 2, height - 2), kClear);
        // The whole character leaves a few such pixels at its edges (neck, feet); cracks add more.
        EXPECT_LE(SlitPixels(p), 9);
        // Yellow text in the top left corner.
        EXPECT_GT(test::YellowPixels(p, width, 5, 5, 200, 22), 40);
    }
}

namespace {

// A whole test through its window, as the run makes it: a frame rate above 0, and the record of the
// surface it drew on.
template <typename Window> void ExpectWholeTestMeasuresAFrameRate(int index, void (*start)(MainModel&)) {
    test::UseBuiltMedia();
    QString reason;
    if (!Test3dAvailable(&reason))
        GTEST_SKIP() << reason.toStdString();
    const TFpsTiming saved = FpsTiming();
    // The framework's figure comes once a second; the warm-up lets it come even in a sanitizer build
    // on a loaded machine.
    FpsTiming() = {2500, 100, 10};
    MainModel model;
    Window window(model);
    window.FinishedTimer().setInterval(200);
    model.Gfx3dWindows = {nullptr, nullptr, nullptr};
    model.Gfx3dWindows[static_cast<size_t>(index)] = &window;
    bool ended = false;
    QObject::connect(&model, &MainModel::runEnded, &model, [&](bool) { ended = true; });
    start(model);
    QElapsedTimer t;
    t.start();
    while (!ended && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    FpsTiming() = saved;
    ASSERT_TRUE(ended);
    const RowResult& r = model.Result(window.Row());
    ASSERT_EQ(r.status, RowResult::Status::Finished);
    EXPECT_GT(r.value, 0.0) << r.detail.toStdString();
    EXPECT_TRUE(r.detail.endsWith(QStringLiteral(" fps")));

    const GraphicsSurface& s = model.GfxSurface[1];
    EXPECT_FALSE(s.renderer.isEmpty());
    EXPECT_FALSE(s.version.isEmpty());
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);
    EXPECT_EQ(s.offscreen, OffscreenGraphics());
    EXPECT_EQ(s.displayServer, OffscreenGraphics() ? QStringLiteral("offscreen") : QStringLiteral("X11"));
    EXPECT_TRUE(s.note.contains(OffscreenGraphics() ? QStringLiteral("EGL") : QStringLiteral("okno")))
        << qPrintable(s.note);
    EXPECT_FALSE(model.GfxSurface[0].Known());
}

} // namespace

TEST(Test3dWindowGl, WholeTestsMeasureAFrameRate) {
    ExpectWholeTestMeasuresAFrameRate<TTest3dFrm>(0, gfx3dTest);
    ExpectWholeTestMeasuresAFrameRate<TTest3d2Frm>(1, gfx3d2Test);
}
