// The windows on a Wayland compositor of their own (weston): the platform the program picks, the main
// window shown, minimised and dragged by its skin through the compositor, the 2D window and a 3D test
// drawing what the compositor then shows, and Escape and close ending them.
#include "WaylandSupport.h"

#include "app/Startup.h"
#include "core/MainModel.h"
#include "core/Navigation.h"
#include "core/Random.h"
#include "core/Sequencer.h"
#include "graphics2d/Test2dFrm.h"
#include "graphics3d/Test3d.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/Measurement.h"
#include "tests/support/TestEnv.h"
#include "ui/MainFrm.h"
#include "ui/SplashFrm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <memory>

namespace orv {
namespace {

// ---- The platform choice ----

TEST(PlatformChoice, WaylandSessionPrefersTheNativePlatformWithX11After) {
    EXPECT_STREQ(kWaylandFirst, "wayland;xcb");
    EXPECT_EQ(PreferredPlatforms({{}, "wayland-0", "wayland", false}), QByteArray("wayland;xcb"));
    // Either sign is enough: a display named in an X11 login, or the session without a name.
    EXPECT_EQ(PreferredPlatforms({{}, "wayland-1", "x11", false}), QByteArray("wayland;xcb"));
    EXPECT_EQ(PreferredPlatforms({{}, {}, "wayland", false}), QByteArray("wayland;xcb"));
}

TEST(PlatformChoice, UsersChoiceAndX11SessionsKeepQtsOwn) {
    EXPECT_EQ(PreferredPlatforms({"xcb", "wayland-0", "wayland", false}), QByteArray());
    EXPECT_EQ(PreferredPlatforms({{}, "wayland-0", "wayland", true}), QByteArray());
    EXPECT_EQ(PreferredPlatforms({{}, {}, "x11", false}), QByteArray());
    EXPECT_EQ(PreferredPlatforms({{}, {}, "tty", false}), QByteArray());
    EXPECT_EQ(PreferredPlatforms({}), QByteArray());
}

TEST(PlatformChoice, PlatformOptionInEitherSpelling) {
    const char* single[] = {"orvanta", "-platform", "xcb"};
    const char* twice[] = {"orvanta", "--platform", "offscreen"};
    const char* path[] = {"orvanta", "-platformpluginpath", "/p", "-style", "fusion"};
    const char* argument[] = {"orvanta", "-style", "-platform"};
    EXPECT_TRUE(HasPlatformOption(3, single));
    EXPECT_TRUE(HasPlatformOption(3, twice));
    EXPECT_FALSE(HasPlatformOption(5, path));
    EXPECT_TRUE(HasPlatformOption(3, argument));
    EXPECT_FALSE(HasPlatformOption(1, single)); // the program's own name is not an option
}

TEST(PlatformChoice, DisplayPinnedToItsSocketOnlyWhenTheSocketIsThere) {
    const QString runtime = test::MakeTempDir(QStringLiteral("runtime"));
    const QByteArray folder = QFile::encodeName(runtime);
    QFile socket(runtime + QStringLiteral("/wayland-0"));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();
    EXPECT_EQ(PinnedWaylandDisplay("wayland-0", "wayland", folder), folder + "/wayland-0");
    EXPECT_EQ(PinnedWaylandDisplay({}, "wayland", folder), folder + "/wayland-0");
    EXPECT_EQ(PinnedWaylandDisplay("wayland-1", "wayland", folder), QByteArray());
    EXPECT_EQ(PinnedWaylandDisplay({}, "x11", folder), QByteArray());
    EXPECT_EQ(PinnedWaylandDisplay("/run/user/1/wayland-0", "wayland", folder), QByteArray());
    EXPECT_EQ(PinnedWaylandDisplay("wayland-0", "wayland", {}), QByteArray());
}

// ---- On the compositor ----

template <typename Done> bool WaitFor(Done done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// The smallest rectangle of the screenshot holding every pixel that is not the black background. The
// pointer is parked in the far corner; its few pixels there do not count.
constexpr int kPointerCorner = 8;
QRect Drawn(const QImage& shot) {
    QRect r;
    for (int y = 0; y < shot.height() - kPointerCorner; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width() - kPointerCorner; ++x)
            if ((line[x] & 0xFFFFFFu) != 0)
                r |= QRect(x, y, 1, 1);
    }
    return r;
}

class OnWayland : public testing::Test {
protected:
    void SetUp() override {
        const QString missing = test::WaylandMissing();
        if (!missing.isEmpty())
            GTEST_SKIP() << missing.toStdString();
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
        ASSERT_TRUE(ParkPointer());
        log.Mark();
    }
    // Every window of the case gone from the output before the next case looks at it.
    void TearDown() override {
        if (!IsSkipped())
            WaitFor([] { return Drawn(test::WestonScreenshot()).isEmpty(); }, 3000);
    }
    // Weston follows the X pointer by its moves, not its place: pushed against the output's far corner
    // the two agree from then on.
    static bool ParkPointer() { return MovePointer({0, 0}) && MovePointer({1023, 767}); }
    static bool MovePointer(QPoint p) {
        return test::UserInput({QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())});
    }
    // What the compositor shows once it shows a picture of the given size (the first frames of a
    // window come some time after it is exposed).
    static QRect DrawnOnce(QSize size) {
        QRect r;
        WaitFor([&] { return (r = Drawn(test::WestonScreenshot())).size() == size; }, 5000);
        return r;
    }
    test::WestonLog log;
};

class MainWindowOnWayland : public OnWayland {
protected:
    void SetUp() override {
        OnWayland::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m = std::make_unique<MainModel>();
        m->BaseDir = test::MakeTempDir(QStringLiteral("base"));
        frm = std::make_unique<TMainFrm>(*m);
        frm->FormCloseAction = nullptr; // never end the test process
        frm->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frm.get()));
    }
    void TearDown() override {
        frm.reset();
        m.reset();
        OnWayland::TearDown();
    }
    std::unique_ptr<MainModel> m;
    std::unique_ptr<TMainFrm> frm;
};

TEST_F(MainWindowOnWayland, ShowsWholeAsAToplevelOfTheCompositor) {
    EXPECT_EQ(log.Requests(QStringLiteral("^xdg_surface@\\d+\\.get_toplevel")).size(), 1);
    const QRect shown = DrawnOnce(frm->size());
    EXPECT_EQ(shown.size(), QSize(TMainFrm::kDesignWidth, TMainFrm::kDesignHeight));
    // The skin's own pixels, not a blank surface of the right size: the caption bar's blue at the top
    // left and the white of the close button's cross.
    const QImage shot = test::WestonScreenshot();
    const QRgb caption = shot.pixel(shown.topLeft() + QPoint(120, 10));
    EXPECT_GT(qBlue(caption), 2 * qRed(caption)) << std::hex << caption;
    int white = 0;
    for (int y = 2; y < 32; ++y)
        for (int x = 810; x < 840; ++x)
            white += qGray(shot.pixel(shown.topLeft() + QPoint(x, y))) > 230 ? 1 : 0;
    EXPECT_GT(white, 20);
}

// xdg-shell has no minimised state to report back: Qt drops the flag from windowState() at once, and
// only the compositor knows. Its answer is on the screen: the window is gone from the output.
TEST_F(MainWindowOnWayland, MinimiseButtonHasTheCompositorHideTheWindow) {
    ASSERT_EQ(DrawnOnce(frm->size()).size(), frm->size());
    QWidget* button = frm->ControlWidget(ctl::MinimizeBtn);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(
        WaitFor([&] { return log.Requests(QStringLiteral("\\.set_minimized\\(\\)$")).size() == 1; }, 3000));
    EXPECT_TRUE(WaitFor([] { return Drawn(test::WestonScreenshot()).isEmpty(); }, 5000))
        << "the window still shows";
    EXPECT_TRUE(frm->isVisible());
}

// A real press on the skin and a real drag, given through the X server weston runs in: the window
// asks the compositor to move it, and the compositor moves it with the pointer.
TEST_F(MainWindowOnWayland, DraggingTheSkinMovesTheWindowThroughTheCompositor) {
    const QRect before = DrawnOnce(frm->size());
    ASSERT_EQ(before.size(), frm->size());
    const QPoint grip = before.topLeft() + QPoint(520, 40); // background clear of every control
    ASSERT_TRUE(MovePointer(grip));
    ASSERT_TRUE(test::UserInput({QStringLiteral("mousedown"), QStringLiteral("1")}));
    EXPECT_TRUE(WaitFor(
        [&] { return log.Requests(QStringLiteral("^xdg_toplevel@\\d+\\.move\\(")).size() == 1; }, 3000));
    for (int i = 1; i <= 10; ++i)
        ASSERT_TRUE(MovePointer(grip + QPoint(-10 * i, 5 * i)));
    ASSERT_TRUE(test::UserInput({QStringLiteral("mouseup"), QStringLiteral("1")}));
    QRect after;
    WaitFor([&] { return (after = Drawn(test::WestonScreenshot())).topLeft() != before.topLeft(); }, 3000);
    EXPECT_EQ(after.topLeft() - before.topLeft(), QPoint(-100, 50));
    EXPECT_EQ(after.size(), before.size());
}

// The start-up window shows its picture before the event loop runs: by the time ShowNow returns the
// compositor has configured it, and a step's picture reaches the screen with no events handled here.
TEST_F(OnWayland, SplashShowsItsProgressBeforeTheEventLoopRuns) {
    EXPECT_EQ(TSplashFrm::kExposeWaitMs, 2000);
    TSplashFrm splash;
    splash.ShowNow();
    EXPECT_TRUE(splash.windowHandle()->isExposed());
    splash.SetStep(9);
    const QImage shot = test::WestonScreenshot();
    const QRect shown = Drawn(shot);
    EXPECT_EQ(shown.size(), splash.size());
    // The full progress bar's green (the bar runs from x 48 to 313 at y 128).
    ASSERT_FALSE(shown.isEmpty());
    const QRgb bar = shot.pixel(shown.topLeft() + QPoint(300, 132));
    EXPECT_TRUE(qGreen(bar) > 200 && qRed(bar) < 60 && qBlue(bar) < 60) << std::hex << bar;
}

// ---- The 2D window ----

// A share of the pixels in the rectangle (screenshot or read-back picture) within 3 of the colour.
double ShareOf(const QImage& picture, const QRect& r, QRgb colour) {
    int near = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QRgb p = picture.pixel(x, y);
            near += std::abs(qRed(p) - qRed(colour)) <= 3 && std::abs(qGreen(p) - qGreen(colour)) <= 3 &&
                            std::abs(qBlue(p) - qBlue(colour)) <= 3
                        ? 1
                        : 0;
        }
    return r.isEmpty() ? 0.0 : static_cast<double>(near) / (r.width() * r.height());
}

// The current back buffer, top row first.
QImage ReadBack(int width, int height) {
    QImage picture(width, height, QImage::Format_RGBA8888);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, picture.bits());
    return picture.mirrored().convertToFormat(QImage::Format_RGB32);
}

constexpr QRgb kTest2dGrey = qRgb(51, 51, 51); // glClearColor 0.2

class Test2dOnWayland : public OnWayland {
protected:
    void SetUp() override {
        OnWayland::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m.WorkDivisor = 40;            // 100 spheres a frame
        ProcessRandom::SetSeed(12345); // the same spheres every time
        window = std::make_unique<TTest2dFrm>(m);
    }
    void TearDown() override {
        window.reset();
        OnWayland::TearDown();
    }
    MainModel m;
    std::unique_ptr<TTest2dFrm> window;
};

// Maximised by the compositor over a bright window; each frame drawn as the test draws it (grey with
// coloured spheres in the back buffer), and what the compositor shows is that picture, opaque.
TEST_F(Test2dOnWayland, DrawsMaximisedAndOpaqueWhatTheCompositorShows) {
    QWidget behind(nullptr, Qt::FramelessWindowHint); // Qt would draw a frame of its own on weston
    behind.setFixedSize(400, 300);
    QPalette white = behind.palette();
    white.setColor(QPalette::Window, Qt::white);
    behind.setPalette(white);
    behind.setAutoFillBackground(true);
    behind.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&behind));
    const QRect behindRect = DrawnOnce(behind.size());
    ASSERT_EQ(behindRect.size(), behind.size());

    const QSize output = QGuiApplication::primaryScreen()->geometry().size();
    QSize framed;
    double greyInBuffer = 0, coloured = 0;
    QImage shown;
    window->FrameDrawn = [&](int frame) {
        if (frame != 3)
            return;
        framed = window->size();
        const QImage buffer = ReadBack(framed.width(), framed.height());
        greyInBuffer = ShareOf(buffer, buffer.rect(), kTest2dGrey);
        coloured = 1.0 - greyInBuffer;
    };
    window->FrameStarted = [&](int frame) {
        // Frame 3 was swapped by now: the compositor shows it.
        if (frame == 4)
            shown = test::WestonScreenshot();
    };
    window->Show();
    window->StartTest();
    EXPECT_EQ(log.Requests(QStringLiteral("\\.set_maximized\\(\\)$")).size(), 1);
    EXPECT_EQ(framed, output);
    EXPECT_GT(greyInBuffer, 0.5);
    EXPECT_GT(coloured, 0.002); // 100 spheres of random sizes, a few thousand pixels
    ASSERT_FALSE(shown.isNull());
    // The whole output is the test's picture, and the white window behind does not shine through.
    const double greyShown = ShareOf(shown, shown.rect(), kTest2dGrey);
    EXPECT_GT(greyShown, 0.5);
    EXPECT_GT(1.0 - greyShown, 0.002);
    EXPECT_GT(ShareOf(shown, behindRect, kTest2dGrey), 0.5);
    EXPECT_LT(ShareOf(shown, behindRect, qRgb(255, 255, 255)), 0.01);
    // Back to its normal size afterwards, asked of the compositor.
    EXPECT_EQ(log.Requests(QStringLiteral("\\.unset_maximized\\(\\)$")).size(), 1);
    EXPECT_EQ(window->size(), QSize(kTest2dWidth, kTest2dHeight));
    EXPECT_EQ(m.Result(16).status, RowResult::Status::Finished);
}

// Escape pressed on the keyboard, passed on by the compositor to the test window it gave the focus:
// the frames after it are not drawn, and the window is back at its normal size for the results.
TEST_F(Test2dOnWayland, EscapeFromTheKeyboardEndsTheTestEarly) {
    std::vector<int> drawn;
    window->FrameStarted = [&](int frame) {
        if (frame == 2) {
            ASSERT_TRUE(test::UserInput({QStringLiteral("key"), QStringLiteral("Escape")}));
        }
    };
    window->FrameDrawn = [&](int frame) { drawn.push_back(frame); };
    window->Show();
    window->StartTest();
    EXPECT_TRUE(m.CancelRequested);
    EXPECT_EQ(drawn, (std::vector<int>{1, 2}));
    EXPECT_EQ(m.Result(16).status, RowResult::Status::Finished);
    EXPECT_EQ(window->size(), QSize(kTest2dWidth, kTest2dHeight));
}

TEST_F(Test2dOnWayland, CancelledBeforeTheFirstFrameStillReturnsToNormalSize) {
    m.CancelRequested = true;
    window->Show();
    window->StartTest();
    EXPECT_EQ(window->FramesDrawn(), 0);
    EXPECT_EQ(window->size(), QSize(kTest2dWidth, kTest2dHeight));
}

// ---- A 3D test ----

constexpr QRgb kScene1Clear = 0x424B79; // the first scene's background

class Test3dOnWayland : public OnWayland {
protected:
    void SetUp() override {
        OnWayland::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        QString reason;
        if (!Test3dAvailable(&reason))
            GTEST_SKIP() << reason.toStdString();
        DXUTSetExecutablePathForSearch(test::BinDir() + QStringLiteral("/orvanta"));
        DXUTSetMediaSearchPath(test::BinDir() + QStringLiteral("/media"));
        saved = FpsTiming();
        FpsTiming() = {60000, 1000, 10}; // never done by itself: Escape ends it
        window = std::make_unique<TTest3dFrm>(m);
        m.Gfx3dWindows = {window.get(), nullptr, nullptr};
        QObject::connect(&m, &MainModel::runEnded, &m, [this](bool c) {
            ended = true;
            cancelled = c;
        });
    }
    void TearDown() override {
        if (window && window->Running())
            window->StopTest();
        window.reset();
        FpsTiming() = saved;
        OnWayland::TearDown();
    }
    TFpsTiming saved;
    MainModel m;
    std::unique_ptr<TTest3dFrm> window;
    bool ended = false;
    bool cancelled = false;
};

// The device window covers the output through the compositor (full screen, not a window placed over
// it), showing the scene's frames; Escape from the keyboard ends the test with its frame rate.
TEST_F(Test3dOnWayland, FullScreenThroughTheCompositorUntilEscape) {
    const QRect output = QGuiApplication::primaryScreen()->geometry();
    const QRect centre(output.center() - QPoint(20, 20), QSize(40, 40));
    // The test runs its own loop until it ends; what is looked at is looked at from inside it.
    QImage shot;
    QSize deviceSize;
    bool fullScreen = false, escaped = false;
    QElapsedTimer since;
    since.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TDeviceWindow* device = window->DeviceWindow();
        if (escaped || !device || !device->isExposed())
            return;
        if (since.elapsed() > 20000) { // never showed the scene: end the test, the checks fail
            escaped = true;
            window->DeviceWindowEscape();
            return;
        }
        // What the compositor shows: the scene's background all over the output, the character in the middle.
        shot = test::WestonScreenshot();
        if (ShareOf(shot, shot.rect(), kScene1Clear) < 0.5 || ShareOf(shot, centre, kScene1Clear) > 0.5)
            return;
        fullScreen = device->windowStates().testFlag(Qt::WindowFullScreen);
        deviceSize = device->size();
        escaped = true;
        EXPECT_TRUE(test::UserInput({QStringLiteral("key"), QStringLiteral("Escape")}));
    });
    watch.start(50);
    gfx3dTest(m);
    WaitFor([&] { return ended; }, 10000);
    watch.stop();

    EXPECT_EQ(log.Requests(QStringLiteral("\\.set_fullscreen\\(")).size(), 1);
    EXPECT_TRUE(fullScreen);
    EXPECT_EQ(deviceSize, output.size());
    ASSERT_FALSE(shot.isNull());
    for (QPoint corner : {QPoint(2, output.height() - 2), QPoint(output.width() - 2, output.height() / 2)})
        EXPECT_EQ(shot.pixel(corner) & 0xFFFFFFu, kScene1Clear) << corner.x() << "," << corner.y();
    EXPECT_GT(ShareOf(shot, shot.rect(), kScene1Clear), 0.5);
    EXPECT_LT(ShareOf(shot, centre, kScene1Clear), 0.5) << "no character";
    int yellow = 0; // the statistics line at the top left
    for (int y = 5; y < 22; ++y)
        for (int x = 5; x < 200; ++x) {
            const QRgb c = shot.pixel(x, y);
            yellow += qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) < 90 ? 1 : 0;
        }
    EXPECT_GT(yellow, 40);

    // Escape came from the keyboard, through the compositor.
    ASSERT_TRUE(ended);
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(m.Result(18).status, RowResult::Status::Finished);
    EXPECT_TRUE(m.Result(18).detail.endsWith(QStringLiteral(" fps")));
    EXPECT_EQ(window->DeviceWindow(), nullptr);
    EXPECT_LT(since.elapsed(), 20000);
}

// A close request for the device window (what the compositor's close sends) leaves full screen and
// hides the test's windows, as on X11; the test ends by its timer with a frame rate, and the surfaces
// made anew on the way never take a frame before the compositor has configured them (weston would
// end the connection).
TEST_F(Test3dOnWayland, CloseRequestLeavesFullScreenAndTheTestEndsByItsTimer) {
    FpsTiming() = {200, 50, 3};
    // The timer waits until the close request is made, however long the compositor takes to show the
    // surface full screen; from then on it ends the test within a fifth of a second.
    window->FinishedTimer().setInterval(600000);
    bool closed = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        TDeviceWindow* device = window->DeviceWindow();
        if (closed || !device || !device->isExposed() ||
            !device->windowStates().testFlag(Qt::WindowFullScreen))
            return;
        closed = true;
        device->close();
        window->FinishedTimer().setInterval(200); // restarts the running timer
    });
    watch.start(20);
    gfx3dTest(m);
    WaitFor([&] { return ended; }, 10000);
    watch.stop();
    ASSERT_TRUE(closed);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(cancelled);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(m.Result(18).status, RowResult::Status::Finished);
    EXPECT_EQ(log.Requests(QStringLiteral("\\.set_fullscreen\\(")).size(), 1);
    EXPECT_EQ(log.Requests(QStringLiteral("\\.unset_fullscreen\\(")).size() +
                      log.Requests(QStringLiteral("^xdg_toplevel@\\d+\\.destroy\\(")).size() >
                  0,
              true);
}

} // namespace
} // namespace orv

int main(int argc, char** argv) {
    orv::test::IsolateUserFolders();
    testing::InitGoogleTest(&argc, argv);
    // The program's own choice, as the windowed program makes it.
    orv::PreferNativePlatform(argc, argv);
    std::unique_ptr<QApplication> app;
    if (orv::test::WaylandMissing().isEmpty())
        app = std::make_unique<QApplication>(argc, argv);
    return RUN_ALL_TESTS();
}
