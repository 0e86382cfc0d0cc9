#include "core/MainModel.h"
#include "core/Random.h"
#include "core/Sequencer.h"
#include "graphics2d/Graphics2d.h"
#include "graphics2d/Test2dFrm.h"
#include "platform/OffscreenGl.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTest>

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orv {
namespace {

// Spheres per frame in these tests: 100 (test 1) and 150 (test 2).
constexpr std::uint32_t kDivisor = 40;

// The buffer frames are drawn into: the window's back buffer, or offscreen the framebuffer's colour.
void ReadFromDrawnBuffer() {
    glReadBuffer(OffscreenGraphics() ? GL_COLOR_ATTACHMENT0 : GL_BACK);
}

// Where the maximised windows end up: the screen's free area, or offscreen the size taken for a screen.
QRect MaximisedArea() {
    return OffscreenGraphics() ? QRect(0, 0, kOffscreenScreenWidth, kOffscreenScreenHeight)
                               : QGuiApplication::primaryScreen()->availableGeometry();
}

class Test2dTest : public testing::Test {
protected:
    void SetUp() override {
        m.WorkDivisor = kDivisor;
        m.WyczyscWyniki(4);
        m.WyczyscWyniki(5);
        ProcessRandom::SetSeed(12345);
        m.Gfx2dWindows[0] = CreateTest2dFrm(m, 1);
        m.Gfx2dWindows[1] = CreateTest2dFrm(m, 2);
        ASSERT_NE(m.Gfx2dWindows[0], nullptr) << qPrintable(m.Gfx2dMissingReason);
        ASSERT_NE(m.Gfx2dWindows[1], nullptr) << qPrintable(m.Gfx2dMissingReason);
        w1 = dynamic_cast<TTest2dFrm*>(m.Gfx2dWindows[0]);
        w2 = dynamic_cast<TTest2d2Frm*>(m.Gfx2dWindows[1]);
        ASSERT_NE(w1, nullptr);
        ASSERT_NE(w2, nullptr);
    }

    // Pixels of the current back buffer that differ from the colour (r, g, b).
    static int PixelsOtherThan(int r, int g, int b) {
        GLint vp[4] = {};
        glGetIntegerv(GL_VIEWPORT, vp);
        std::vector<unsigned char> px(static_cast<std::size_t>(vp[2] * vp[3] * 4));
        ReadFromDrawnBuffer();
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, vp[2], vp[3], GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        int other = 0;
        for (std::size_t i = 0; i < px.size(); i += 4)
            if (std::abs(px[i] - r) > 1 || std::abs(px[i + 1] - g) > 1 || std::abs(px[i + 2] - b) > 1)
                ++other;
        return other;
    }

    MainModel m;
    TTest2dFrm* w1 = nullptr;
    TTest2d2Frm* w2 = nullptr;
};

TEST(Test2dConstants, ProductionWorkAndSphereCounts) {
    EXPECT_EQ(kTest2dSpheres, 4000);
    EXPECT_EQ(kTest2d2Spheres, 6000);
    EXPECT_EQ(kTest2dFrames, 5);
    EXPECT_EQ(kSphereSlices, 64);
    EXPECT_EQ(kSphereStacks, 64);

    MainModel m;
    ITestWindow* a = CreateTest2dFrm(m, 1);
    ITestWindow* b = CreateTest2dFrm(m, 2);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(CreateTest2dFrm(m, 3), nullptr);
    auto* t1 = dynamic_cast<TTest2dBase*>(a);
    auto* t2 = dynamic_cast<TTest2dBase*>(b);
    EXPECT_EQ(t1->SphereCount(), 4000);
    EXPECT_EQ(t2->SphereCount(), 6000);
    m.WorkDivisor = 40;
    EXPECT_EQ(t1->SphereCount(), 100);
    EXPECT_EQ(t2->SphereCount(), 150);
    m.WorkDivisor = 100000;
    EXPECT_EQ(t1->SphereCount(), 1);
}

TEST_F(Test2dTest, WindowsAreHiddenFramelessOnTopAndCentred) {
    EXPECT_EQ(w1->title(), QStringLiteral("Test 2D"));
    EXPECT_EQ(w2->title(), QStringLiteral("Test 2D 2"));
    EXPECT_EQ(w1->objectName(), QStringLiteral("Test2dFrm"));
    EXPECT_EQ(w2->objectName(), QStringLiteral("Test2d2Frm"));
    const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
    for (TTest2dBase* w : {static_cast<TTest2dBase*>(w1), static_cast<TTest2dBase*>(w2)}) {
        EXPECT_FALSE(w->isVisible());
        EXPECT_TRUE(w->flags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(w->flags().testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_FALSE(w->flags().testFlag(Qt::Tool)); // own taskbar entry
        EXPECT_EQ(w->transientParent(), nullptr);
        EXPECT_EQ(w->surfaceType(), QSurface::OpenGLSurface);
        EXPECT_EQ(w->geometry().size(), QSize(551, 396));
        EXPECT_LE((w->geometry().center() - centre).manhattanLength(), 2);
    }
}

TEST_F(Test2dTest, ContextIsLegacyWithDepthAndEachTestHasItsInitialState) {
    w1->Show();
    ASSERT_TRUE(w1->ContextCurrent());
    if (OffscreenGraphics()) {
        EXPECT_FALSE(w1->isVisible()); // nothing appears anywhere
        EXPECT_EQ(w1->Context(), nullptr);
        EXPECT_EQ(w1->DrawingSize(), QSize(551, 396));
    } else {
        ASSERT_TRUE(w1->isExposed());
        ASSERT_NE(w1->Context(), nullptr);
        ASSERT_TRUE(w1->Context()->isValid());
        EXPECT_EQ(QOpenGLContext::currentContext(), w1->Context());
        const QSurfaceFormat f = w1->Context()->format();
        EXPECT_NE(f.profile(), QSurfaceFormat::CoreProfile);
        EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
        EXPECT_EQ(f.stencilBufferSize(), 0);
    }
    EXPECT_TRUE(w1->Shown());
    EXPECT_EQ(w1->requestedFormat().depthBufferSize(), 32);
    // The legacy pipeline in either mode: no core profile.
    GLint profile = 0;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_EQ(profile & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    GLint redBits = 0, depthBits = 0, stencilBits = -1;
    glGetIntegerv(GL_RED_BITS, &redBits);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    glGetIntegerv(GL_STENCIL_BITS, &stencilBits);
    EXPECT_EQ(redBits, 8);
    EXPECT_GE(depthBits, 24);
    EXPECT_EQ(stencilBits, 0);
    GLfloat clear[4] = {};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.2f);
    EXPECT_FLOAT_EQ(clear[3], 0.2f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_NORMALIZE));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    // Depth really works: a near quad drawn after a far one survives, a farther one behind it does not.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    auto quad = [](float z, float r, float g, float b) {
        glColor3f(r, g, b);
        glBegin(GL_QUADS);
        glVertex3f(-1, -1, z);
        glVertex3f(1, -1, z);
        glVertex3f(1, 1, z);
        glVertex3f(-1, 1, z);
        glEnd();
    };
    quad(-5.0f, 1, 0, 0);
    quad(-10.0f, 0, 0, 1);
    unsigned char px[4] = {};
    ReadFromDrawnBuffer();
    glReadPixels(w1->width() / 2, w1->height() / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[2], 0);

    w2->Show();
    ASSERT_TRUE(w2->ContextCurrent());
    EXPECT_FALSE(w1->ContextCurrent());
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint src = 0, dst = 0, depthFunc = 0, shade = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunc);
    glGetIntegerv(GL_SHADE_MODEL, &shade);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE);
    EXPECT_EQ(depthFunc, GL_LESS);
    EXPECT_EQ(shade, GL_SMOOTH);

    // A close request is refused; only hiding puts the window away, and a new showing starts afresh.
    // (Offscreen there is no window to close.)
    if (!OffscreenGraphics()) {
        EXPECT_FALSE(w1->close());
    }
    EXPECT_TRUE(w1->Shown());
    w1->Hide();
    w2->Hide();
    EXPECT_FALSE(w1->Shown());
    EXPECT_FALSE(w1->isVisible());
    EXPECT_EQ(w1->Context(), nullptr);
    EXPECT_FALSE(w1->ContextCurrent());
    EXPECT_EQ(w1->DrawingSize().isEmpty(), OffscreenGraphics());
    EXPECT_EQ(w1->handle(), nullptr);
}

TEST_F(Test2dTest, ResizeClampsHeightZeroAndSetsPerspective) {
    w1->Show();
    w1->FormResize(551, 0);
    GLint vp[4] = {};
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 551);
    EXPECT_EQ(vp[3], 1);
    GLdouble proj[16] = {};
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0);
    EXPECT_TRUE(std::isfinite(proj[0]));
    EXPECT_NEAR(proj[0], f / 551.0, 1e-8);
    EXPECT_NEAR(proj[5], f, 1e-6);
    EXPECT_NEAR(proj[10], -(100.0 + 1.0) / (100.0 - 1.0), 1e-6); // near 1, far 100
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);

    w1->FormResize(800, 400);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[3], 400);
    glGetDoublev(GL_PROJECTION_MATRIX, proj);
    EXPECT_NEAR(proj[0], f / 2.0, 1e-6);
    w1->Hide();
}

TEST(Test2dSpheres, ListComesFromTheProcessGeneratorInOrder) {
    ProcessRandom::SetSeed(777);
    std::vector<SphereEntry> list;
    GenerateSpheres(list, 500);
    ASSERT_EQ(list.size(), 500u);

    // The same draws taken by hand: six integers for x, y, z, then four reals.
    ProcessRandom::SetSeed(777);
    const int xa = ProcessRandom::Below(10000), xb = ProcessRandom::Below(10000);
    const int ya = ProcessRandom::Below(10000), yb = ProcessRandom::Below(10000);
    const int za = ProcessRandom::Below(10000), zb = ProcessRandom::Below(10000);
    const double radius = ProcessRandom::Real();
    const double red = ProcessRandom::Real();
    const double green = ProcessRandom::Real();
    const double blue = ProcessRandom::Real();
    EXPECT_FLOAT_EQ(list[0].x, static_cast<float>(xa / 100.0 - xb / 100.0));
    EXPECT_FLOAT_EQ(list[0].y, static_cast<float>(ya / 100.0 - yb / 100.0));
    EXPECT_FLOAT_EQ(list[0].z, static_cast<float>(za / 100.0 - zb / 100.0));
    EXPECT_FLOAT_EQ(list[0].radius, static_cast<float>(radius));
    EXPECT_FLOAT_EQ(list[0].red, static_cast<float>(red));
    EXPECT_FLOAT_EQ(list[0].green, static_cast<float>(green));
    EXPECT_FLOAT_EQ(list[0].blue, static_cast<float>(blue));

    // Ten draws per entry, no seeding of its own.
    ProcessRandom::SetSeed(777);
    for (int i = 0; i < 500 * 10; ++i)
        ProcessRandom::Step();
    const std::uint32_t expectedSeed = ProcessRandom::Seed();
    ProcessRandom::SetSeed(777);
    GenerateSpheres(list, 500);
    EXPECT_EQ(ProcessRandom::Seed(), expectedSeed);

    for (const SphereEntry& e : list) {
        for (float c : {e.x, e.y, e.z}) {
            EXPECT_GE(c, -99.99f);
            EXPECT_LE(c, 99.99f);
            EXPECT_NEAR(std::round(c * 100.0) / 100.0, c, 1e-4); // steps of 0.01
        }
        for (float v : {e.radius, e.red, e.green, e.blue}) {
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
        }
    }
    GenerateSpheres(list, 3);
    EXPECT_EQ(list.size(), 3u);
}

TEST_F(Test2dTest, StageFinishesBothRowsFromMaximisedWindows) {
    const QRect area = MaximisedArea();
    std::vector<int> drawn1, drawn2;
    int framesWithSpheres = 0;
    bool maximised1 = true, maximised2 = true, window1Shown = true;
    // The far corner of the maximised window lies inside the drawn buffer from frame 1 on; a read
    // outside the buffer leaves the sentinel in place.
    auto cornerDrawn = [&] {
        unsigned char px[4] = {7, 7, 7, 7};
        ReadFromDrawnBuffer();
        glReadPixels(area.width() - 2, area.height() - 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
        return px[3] == 255;
    };
    w1->FrameDrawn = [&](int frame) {
        drawn1.push_back(frame);
        EXPECT_TRUE(cornerDrawn()) << "frame " << frame;
        maximised1 = maximised1 && w1->geometry() == area && w1->DrawingSize() == area.size();
        EXPECT_EQ(static_cast<int>(w1->Spheres().size()), 100);
        // Spheres on the grey background: some pixels grey, not all.
        const int other = PixelsOtherThan(51, 51, 51);
        if (other > 0 && other < area.width() * area.height())
            ++framesWithSpheres;
    };
    w2->FrameDrawn = [&](int frame) {
        drawn2.push_back(frame);
        EXPECT_TRUE(cornerDrawn()) << "frame " << frame;
        maximised2 = maximised2 && w2->geometry() == area && w2->DrawingSize() == area.size();
        window1Shown = window1Shown && w1->Shown();
        EXPECT_EQ(static_cast<int>(w2->Spheres().size()), 150);
    };
    bool endedCancelled = true;
    QObject::connect(&m, &MainModel::runEnded, [&](bool cancelled) { endedCancelled = cancelled; });
    m.RunInProgress = true;

    GpuStartTests(m);

    EXPECT_EQ(drawn1, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(drawn2, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(maximised1);
    EXPECT_TRUE(maximised2);
    EXPECT_TRUE(window1Shown);
    EXPECT_EQ(framesWithSpheres, 5);
    EXPECT_FALSE(w1->Shown());
    EXPECT_FALSE(w2->Shown());
    EXPECT_FALSE(endedCancelled);

    // The surface the frames were drawn on, for the run's conditions.
    const GraphicsSurface& s = m.GfxSurface[0];
    EXPECT_FALSE(s.renderer.isEmpty());
    EXPECT_FALSE(s.version.isEmpty());
    EXPECT_EQ(s.width, area.width());
    EXPECT_EQ(s.height, area.height());
    EXPECT_EQ(s.offscreen, OffscreenGraphics());
    EXPECT_EQ(s.displayServer, OffscreenGraphics() ? QStringLiteral("offscreen") : QStringLiteral("X11"));
    // No vertical sync is asked for in either mode, so no run carries the vsync warning for it.
    EXPECT_TRUE(s.swapIntervalZero);
    if (OffscreenGraphics()) {
        EXPECT_EQ(s.width, 1024);
        EXPECT_EQ(s.height, 768);
        EXPECT_TRUE(s.note.contains(QStringLiteral("w zastępstwie ekranu"))) << qPrintable(s.note);
        EXPECT_TRUE(s.note.contains(QStringLiteral("EGL"))) << qPrintable(s.note);
    }
    EXPECT_FALSE(m.GfxSurface[1].Known());

    for (int row : {16, 17}) {
        const RowResult& r = m.Result(row);
        ASSERT_EQ(r.status, RowResult::Status::Finished) << row;
        EXPECT_GT(r.value, 0.0);
        EXPECT_EQ(r.detail, QString::number(static_cast<qint64>(r.value)) + QStringLiteral(" ms"));
        const std::int32_t expected =
            m.Scores.ComputeScore(static_cast<std::int32_t>(r.value), row == 16 ? 22100 : 35800, 5000, 3);
        EXPECT_EQ(r.score, expected);
        EXPECT_EQ(m.Scores.ScoreTable[static_cast<std::size_t>(row)], expected);
        const QString n = QString::number(row);
        EXPECT_TRUE(m.Visible(WynikImgName(row)));
        EXPECT_EQ(m.Picture(WynikImgName(row)), 66);
        EXPECT_EQ(m.Text(WynikLblName(row)), QString::number(expected));
        EXPECT_EQ(m.Text(WynikLblMoreName(row)), r.detail);
    }
    EXPECT_EQ(m.Scores.ScoreTable[kScore2d], (m.Scores.ScoreTable[16] + m.Scores.ScoreTable[17]) / 2);
}

TEST_F(Test2dTest, WindowReturnsToNormalSizeAndStaysVisibleAfterItsTest) {
    w1->Show();
    w1->StartTest();
    EXPECT_EQ(w1->FramesDrawn(), 5);
    EXPECT_TRUE(w1->Shown());
    EXPECT_EQ(w1->geometry(), w1->NormalGeometry());
    EXPECT_EQ(w1->DrawingSize(), w1->NormalGeometry().size());
    EXPECT_EQ(m.Result(16).status, RowResult::Status::Finished);

    // Esc outside a test is not ours.
    QTest::keyClick(w1, Qt::Key_Escape);
    EXPECT_FALSE(m.CancelRequested);
    w1->Hide();
}

TEST_F(Test2dTest, LightsOfTestTwoSwitchOneFrameLate) {
    struct Lights {
        bool l0, l1, l2, l3, colourMaterial;
    };
    std::vector<Lights> afterFrame;
    std::vector<float> light1EyeZ;
    std::vector<int> litPixels;
    w2->FrameDrawn = [&](int) {
        afterFrame.push_back({glIsEnabled(GL_LIGHT0) == GL_TRUE, glIsEnabled(GL_LIGHT1) == GL_TRUE,
                              glIsEnabled(GL_LIGHT2) == GL_TRUE, glIsEnabled(GL_LIGHT3) == GL_TRUE,
                              glIsEnabled(GL_COLOR_MATERIAL) == GL_TRUE});
        GLfloat pos[4] = {};
        glGetLightfv(GL_LIGHT1, GL_POSITION, pos);
        light1EyeZ.push_back(pos[2]);
        litPixels.push_back(PixelsOtherThan(0, 0, 0));
    };
    w2->Show();
    // Switches left over from an earlier run do not matter: each test starts off, on, off.
    w2->StartTest();
    ASSERT_EQ(afterFrame.size(), 5u);
    // Frame n+1 is lit by what frame n switched on: 1 by light 0 alone, 2 and 4 by 0, 1, 2; 3 and 5 by 0, 2.
    const bool light1[5] = {true, false, true, false, true};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_TRUE(afterFrame[i].l0) << i;
        EXPECT_EQ(afterFrame[i].l1, light1[i]) << i;
        EXPECT_TRUE(afterFrame[i].l2) << i;
        EXPECT_FALSE(afterFrame[i].l3) << i;
        EXPECT_TRUE(afterFrame[i].colourMaterial) << i;
        EXPECT_FLOAT_EQ(light1EyeZ[i], -5.4f - 3.5f); // taken through the translated model-view matrix
        EXPECT_GT(litPixels[i], 0) << i;
    }
    EXPECT_EQ(w2->LightSwitches(), (std::array<bool, 3>{true, true, false}));
    w2->Hide();
}

TEST_F(Test2dTest, EscDuringFrameThreeEndsTestOneEarlyAndSkipsTestTwo) {
    // The full time of test 1 with the same work, for comparison.
    w1->Show();
    w1->StartTest();
    const double fullTime = m.Result(16).value;
    w1->Hide();
    m.WyczyscWyniki(4);

    std::vector<int> drawn;
    w1->FrameStarted = [&](int frame) {
        if (frame == 3) // arrives while frame 3 draws its spheres
            QCoreApplication::postEvent(w1, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    };
    w1->FrameDrawn = [&](int frame) { drawn.push_back(frame); };
    bool w2Shown = false;
    w2->FrameStarted = [&](int) { w2Shown = true; };
    bool endedCancelled = false;
    QObject::connect(&m, &MainModel::runEnded, [&](bool cancelled) { endedCancelled = cancelled; });
    m.RunInProgress = true;

    GpuStartTests(m);

    EXPECT_TRUE(m.CancelRequested);
    EXPECT_EQ(drawn, (std::vector<int>{1, 2, 3}));
    const RowResult& r16 = m.Result(16);
    ASSERT_EQ(r16.status, RowResult::Status::Finished);
    // Three frames of five were drawn; their time is the row's (a comparison of times would only
    // measure the machine's load).
    EXPECT_GT(r16.value, 0.0);
    EXPECT_GT(fullTime, 0.0);
    EXPECT_EQ(r16.detail, QString::number(static_cast<qint64>(r16.value)) + QStringLiteral(" ms"));
    EXPECT_EQ(m.Scores.ScoreTable[16],
              m.Scores.ComputeScore(static_cast<std::int32_t>(r16.value), 22100, 5000, 3));
    EXPECT_EQ(m.Result(17).status, RowResult::Status::NotRun);
    EXPECT_FALSE(m.Visible(WynikImgName(17)));
    EXPECT_FALSE(m.Visible(WynikLblName(17)));
    EXPECT_EQ(m.Scores.ScoreTable[17], 0);
    EXPECT_FALSE(w2Shown);
    EXPECT_FALSE(w1->Shown());
    EXPECT_TRUE(endedCancelled);
}

TEST_F(Test2dTest, CancelBeforeTheFirstFrameStillFinishesTheRow) {
    // Stop pressed while the window was being maximised: nothing is drawn, the row gets its small time.
    w1->Show();
    m.CancelRequested = true;
    w1->StartTest();
    EXPECT_EQ(w1->FramesDrawn(), 0);
    const RowResult& r = m.Result(16);
    ASSERT_EQ(r.status, RowResult::Status::Finished);
    EXPECT_LT(r.value, 100.0);
    EXPECT_GT(r.score, 0);
    w1->Hide();
}

} // namespace
} // namespace orv
