#include "tests/graphics3d/framework/FrameworkTestSupport.h"

#include "graphics3d/framework/DXUTEnum.h"
#include "platform/MessageBoxes.h"
#include "tests/support/RecordingBoxes.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace orv;
using namespace orv::test;

namespace {

class FrameworkNull : public ::testing::Test {
protected:
    void SetUp() override {
        config = DefaultNullConfig();
        control = config.control;
        InstallNullDirect3D(config);
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        DXUTFreeState();
        SetDirect3DFactory({});
        g_log = nullptr;
    }
    std::vector<std::string> CallsWithout(const char* noise) const {
        std::vector<std::string> out;
        for (auto& c : log.calls)
            if (c != noise)
                out.push_back(c);
        return out;
    }

    NullConfig config;
    std::shared_ptr<NullControl> control;
    SceneLog log;
    RecordingWindow window;
};

using Calls = std::vector<std::string>;

TEST_F(FrameworkNull, CallbacksFollowTheDeviceLifeCycle) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    EXPECT_EQ(log.calls, (Calls{"adjust", "created", "reset"}));
    EXPECT_GT(log.acceptCalls, 0);
    ASSERT_NE(DXUTGetD3DDevice(), nullptr);

    log.calls.clear();
    DXUTRunFrame();
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"update", "render", "update", "render"}));
    EXPECT_EQ(control->presents, 2);

    // The window goes away: presenting reports the loss, no frames while lost.
    log.calls.clear();
    control->lost = true;
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"update", "render"}));
    log.calls.clear();
    DXUTRunFrame();
    EXPECT_TRUE(log.calls.empty());

    // Back again: reset around the scene's lost and reset, then frames go on.
    control->lost = false;
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"lost", "reset", "update", "render"}));

    log.calls.clear();
    DXUTFreeState();
    EXPECT_EQ(log.calls, (Calls{"lost", "destroyed"}));
    EXPECT_EQ(window.closeRequests, 1);
    EXPECT_EQ(control->liveDevices, 0);
    EXPECT_FALSE(DXUTStateExists());
}

TEST_F(FrameworkNull, AFailedResetFallsBackToANewDevice) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    const int created = control->Count("CreateDevice");
    control->lost = true;
    DXUTRunFrame();
    control->lost = false;
    control->resetResult = D3DERR_OUTOFVIDEOMEMORY;
    log.calls.clear();
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"lost", "adjust", "destroyed", "created", "reset"}));
    EXPECT_EQ(control->Count("CreateDevice"), created + 1);
    EXPECT_EQ(control->liveDevices, 1);
    EXPECT_FALSE(DXUTIsRenderingPaused());
    EXPECT_FALSE(GetDXUTState().GetDeviceLost());
    log.calls.clear();
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"update", "render"}));
}

TEST_F(FrameworkNull, TheTestsGetFullScreenNearestTo1024x768WithoutVsync) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    const DXUTDeviceSettings s = DXUTGetDeviceSettings();
    EXPECT_EQ(s.AdapterOrdinal, 0u);
    EXPECT_EQ(s.DeviceType, D3DDEVTYPE_HAL);
    EXPECT_FALSE(s.pp.Windowed);
    EXPECT_EQ(s.pp.BackBufferWidth, 1024u);
    EXPECT_EQ(s.pp.BackBufferHeight, 768u);
    EXPECT_EQ(s.AdapterFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(s.pp.BackBufferFormat, D3DFMT_X8R8G8B8);
    EXPECT_EQ(s.pp.BackBufferCount, 2u);
    EXPECT_EQ(s.pp.SwapEffect, D3DSWAPEFFECT_DISCARD);
    EXPECT_EQ(s.pp.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_TRUE(s.pp.EnableAutoDepthStencil);
    EXPECT_EQ(s.pp.AutoDepthStencilFormat, D3DFMT_D32);
    EXPECT_EQ(s.pp.Flags, D3DPRESENTFLAG_DISCARD_DEPTHSTENCIL);
    EXPECT_EQ(s.pp.PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
    EXPECT_EQ(s.pp.FullScreen_RefreshRateInHz, 60u);
    EXPECT_EQ(s.BehaviorFlags, D3DCREATE_HARDWARE_VERTEXPROCESSING);
    EXPECT_EQ(control->lastPresentParameters.BackBufferWidth, 1024u);
    EXPECT_EQ(DXUTGetBackBufferSurfaceDesc()->Width, 1024u);
    EXPECT_EQ(DXUTGetBackBufferSurfaceDesc()->Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(DXUTGetDeviceStats(), QStringLiteral("%sVsync off (1024x768), X8R8G8B8 (D32)"));
}

TEST_F(FrameworkNull, MediaNotFoundFromDeviceCreatedPassesThrough) {
    log.createdResult = DXUTERR_MEDIANOTFOUND;
    EXPECT_EQ(StartLikeTestWindow(&window, log), DXUTERR_MEDIANOTFOUND);
    EXPECT_EQ(log.calls, (Calls{"adjust", "created"}));
    EXPECT_EQ(DXUTGetD3DDevice(), nullptr);
    EXPECT_EQ(control->liveDevices, 0);
    EXPECT_EQ(DXUTMainLoop(), E_FAIL);
    EXPECT_FALSE(DXUTIsTimePaused());
    EXPECT_FALSE(DXUTIsRenderingPaused());
}

TEST_F(FrameworkNull, OtherDeviceCreatedFailuresBecomeTheFrameworkCode) {
    log.createdResult = E_OUTOFMEMORY;
    EXPECT_EQ(StartLikeTestWindow(&window, log), DXUTERR_CREATINGDEVICEOBJECTS);
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "destroyed"), 0);
    EXPECT_EQ(DXUTMainLoop(), E_FAIL);
}

TEST_F(FrameworkNull, DeviceResetFailureDestroysWhatWasCreated) {
    log.resetResult = E_FAIL;
    EXPECT_EQ(StartLikeTestWindow(&window, log), DXUTERR_RESETTINGDEVICEOBJECTS);
    EXPECT_EQ(log.calls, (Calls{"adjust", "created", "reset", "destroyed"}));
    log.calls.clear();
    log.resetResult = DXUTERR_MEDIANOTFOUND;
    DXUTFreeState();
    EXPECT_EQ(StartLikeTestWindow(&window, log), DXUTERR_MEDIANOTFOUND);
}

TEST_F(FrameworkNull, RefusedSettingsAbortWithoutADevice) {
    log.adjustResult = false;
    EXPECT_EQ(StartLikeTestWindow(&window, log), E_ABORT);
    EXPECT_EQ(control->Count("CreateDevice"), 0);
    EXPECT_EQ(DXUTGetD3DDevice(), nullptr);
    EXPECT_EQ(DXUTMainLoop(), E_FAIL);
}

TEST_F(FrameworkNull, FailingDeviceCreationAndMissingDirect3D) {
    control->createDeviceResult = D3DERR_OUTOFVIDEOMEMORY;
    EXPECT_EQ(StartLikeTestWindow(&window, log), DXUTERR_CREATINGDEVICE);
    EXPECT_TRUE(std::find(log.calls.begin(), log.calls.end(), "created") == log.calls.end());
    DXUTFreeState();

    SetDirect3DFactory([](UINT) -> IDirect3D9* { return nullptr; });
    EXPECT_EQ(DXUTInitialize(true, true, false, true), DXUTERR_NODIRECT3D);
}

TEST_F(FrameworkNull, NoAcceptableCombinationIsReported) {
    g_log = &log;
    DXUTSetCommandLineArguments({});
    ASSERT_EQ(DXUTInitialize(true, true, false, true), S_OK);
    ASSERT_EQ(DXUTSetWindow(&window, &window, &window, false), S_OK);
    auto reject = [](const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) { return false; };
    EXPECT_EQ(DXUTSetupDevice(0, false, 1024, 768, reject, LogAdjust, nullptr), DXUTERR_NOCOMPATIBLEDEVICES);
    EXPECT_EQ(DXUTMainLoop(), E_FAIL);
}

TEST_F(FrameworkNull, SetWindowNeedsEveryWindow) {
    EXPECT_EQ(DXUTSetWindow(&window, nullptr, &window, false), E_INVALIDARG);
    EXPECT_FALSE(GetDXUTState().GetWindowCreated());
}

TEST_F(FrameworkNull, DeviceStillReferencedOnReleaseIsReported) {
    test::RecordingBoxes boxes;
    SetMessageBoxes(&boxes);
    control->leakedReferences = 1;
    g_log = &log;
    DXUTSetCommandLineArguments({});
    ASSERT_EQ(DXUTInitialize(true, true, /*showMsgBoxOnError=*/true, true), S_OK);
    ASSERT_EQ(DXUTSetWindow(&window, &window, &window, false), S_OK);
    ASSERT_EQ(DXUTSetupDevice(0, false, 1024, 768, LogAccept, LogAdjust, nullptr), S_OK);
    IDirect3DDevice9* device = DXUTGetD3DDevice();
    DXUTFreeState();
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(control->liveDevices, 1);
    device->Release();
    EXPECT_EQ(control->liveDevices, 0);
    SetMessageBoxes(nullptr);
}

TEST_F(FrameworkNull, MainLoopRunsFramesUntilAQuitRequestAndRefusesNesting) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    int frames = 0;
    HRESULT nested = S_OK;
    QTimer::singleShot(30, [&] {
        nested = DXUTMainLoop();
        frames = static_cast<int>(std::count(log.calls.begin(), log.calls.end(), "render"));
        DXUTPostQuitMessage(1);
    });
    EXPECT_EQ(DXUTMainLoop(), S_OK);
    EXPECT_EQ(nested, E_FAIL);
    EXPECT_GT(frames, 0);
    EXPECT_FALSE(GetDXUTState().GetInsideMainloop());
}

TEST_F(FrameworkNull, QuitRequestWithoutARunningLoopEndsNothingLater) {
    DXUTPostQuitMessage(1);
    QCoreApplication::processEvents();
    ASSERT_EQ(StartLikeTestWindow(&window, log, {"-quitafterframe:3"}), S_OK);
    // The loop ends through the quit-after-frame switch stopping the framework and a later quit request.
    QTimer::singleShot(50, [] { DXUTPostQuitMessage(1); });
    EXPECT_EQ(DXUTMainLoop(), S_OK);
    EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "render"), 4);
    EXPECT_EQ(DXUTGetD3DDevice(), nullptr);
}

// The test windows stop a test from a timer inside the running loop: the state is freed, a quit is
// posted and the next test starts its own loop there; the posted quit ends that inner loop, and the
// outer loop goes on drawing the new test's device.
TEST_F(FrameworkNull, StoppingInsideTheLoopHandsOverToTheNextTest) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    RecordingWindow second;
    HRESULT innerResult = E_FAIL;
    int innerFramesBeforeQuit = -1;
    QTimer::singleShot(20, [&] {
        DXUTFreeState();
        DXUTPostQuitMessage(1);
        DXUTSetPaused(true, true);
        log.calls.clear();
        ASSERT_EQ(StartLikeTestWindow(&second, log), S_OK);
        innerResult = DXUTMainLoop();
        innerFramesBeforeQuit = static_cast<int>(std::count(log.calls.begin(), log.calls.end(), "render"));
        QTimer::singleShot(20, [&] {
            DXUTFreeState();
            DXUTPostQuitMessage(1);
        });
    });
    EXPECT_EQ(DXUTMainLoop(), S_OK);
    EXPECT_EQ(innerResult, S_OK);
    EXPECT_LE(innerFramesBeforeQuit, 1); // the first test's quit ended the inner loop at once
    // The outer loop drew the second test's frames until the second stop.
    EXPECT_GT(std::count(log.calls.begin(), log.calls.end(), "render"), innerFramesBeforeQuit);
    EXPECT_EQ(log.calls.back(), "destroyed");
    EXPECT_EQ(window.closeRequests, 1);
    EXPECT_EQ(second.closeRequests, 1);
    EXPECT_EQ(control->liveDevices, 0);
}

// Switches ---------------------------------------------------------------------------------------

TEST_F(FrameworkNull, SwitchesAreMatchedExactlyAndValuesNeedAColon) {
    DXUTParseCommandLine({"-WIDTH:800", "/height:600x", "-adapter", "-forcevsync:0", "-windowedx", "-nostats",
                          "foo", "-startx:-5", "-starty:abc", "-quitafterframe:12", "-forceref",
                          "-forcehal"});
    TDXUTState& s = GetDXUTState();
    EXPECT_EQ(s.GetOverrideWidth(), 800);
    EXPECT_EQ(s.GetOverrideHeight(), 600);
    EXPECT_EQ(s.GetOverrideAdapterOrdinal(), -1);
    EXPECT_EQ(s.GetOverrideForceVsync(), 0);
    EXPECT_FALSE(s.GetOverrideWindowed());
    EXPECT_TRUE(s.GetNoStats());
    EXPECT_EQ(s.GetOverrideStartX(), -5);
    EXPECT_EQ(s.GetOverrideStartY(), -1);
    EXPECT_EQ(s.GetOverrideQuitAfterFrame(), 12);
    EXPECT_TRUE(s.GetOverrideForceREF());
    EXPECT_TRUE(s.GetOverrideForceHAL());
    EXPECT_FALSE(s.GetOverrideConstantFrameTime());
}

TEST_F(FrameworkNull, ConstantFrameTimeDefaultsToAThirtiethOfASecond) {
    DXUTParseCommandLine({"-constantframetime"});
    EXPECT_TRUE(GetDXUTState().GetOverrideConstantFrameTime());
    EXPECT_FLOAT_EQ(GetDXUTState().GetOverrideConstantTimePerFrame(), 0.0333f);
    DXUTFreeState();
    DXUTParseCommandLine({"-constantframetime:0.5", "-width", "-noerrormsgboxes"});
    EXPECT_FLOAT_EQ(GetDXUTState().GetOverrideConstantTimePerFrame(), 0.5f);
    EXPECT_EQ(GetDXUTState().GetOverrideWidth(), 0);
    EXPECT_FALSE(GetDXUTState().GetShowMsgBoxOnError());
}

TEST_F(FrameworkNull, ConstantFrameTimeDrivesTheSceneClock) {
    ASSERT_EQ(StartLikeTestWindow(&window, log, {"-constantframetime:0.25"}), S_OK);
    const double before = DXUTGetTime();
    DXUTRunFrame();
    DXUTRunFrame();
    EXPECT_DOUBLE_EQ(DXUTGetTime(), before + 0.5);
    EXPECT_FLOAT_EQ(DXUTGetElapsedTime(), 0.25f);
}

TEST_F(FrameworkNull, CommandLineOverridesShapeTheDevice) {
    ASSERT_EQ(StartLikeTestWindow(&window, log,
                                  {"-windowed", "-width:800", "-height:600", "-forceswvp", "-forcevsync:1"}),
              S_OK);
    const DXUTDeviceSettings s = DXUTGetDeviceSettings();
    EXPECT_TRUE(s.pp.Windowed);
    EXPECT_EQ(s.pp.BackBufferWidth, 800u);
    EXPECT_EQ(s.pp.BackBufferHeight, 600u);
    EXPECT_EQ(s.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(control->lastBehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(window.size(), QSize(800, 600)); // a windowed device gets a window of its size
    EXPECT_TRUE(window.isVisible());
}

// Time, pause and statistics ----------------------------------------------------------------------

TEST(FrameworkTimer, StoppedTimeDoesNotAdvanceAndPausesAreExcluded) {
    std::int64_t now = 1000;
    CDXUTTimer timer([&] { return now; }, 100);
    EXPECT_TRUE(timer.IsStopped());
    timer.Reset();
    now = 1100;
    double t = 0, abs = 0;
    float elapsed = 0;
    timer.GetTimeValues(&t, &abs, &elapsed);
    EXPECT_DOUBLE_EQ(t, 1.0);
    EXPECT_DOUBLE_EQ(abs, 11.0);
    EXPECT_FLOAT_EQ(elapsed, 1.0f);
    timer.Stop();
    now = 1500;
    timer.GetTimeValues(&t, &abs, &elapsed);
    EXPECT_DOUBLE_EQ(t, 1.0);
    EXPECT_FLOAT_EQ(elapsed, 0.0f);
    timer.Start();
    now = 1550;
    timer.GetTimeValues(&t, &abs, &elapsed);
    EXPECT_DOUBLE_EQ(t, 1.5); // the 4 s stopped are not counted
    EXPECT_FLOAT_EQ(elapsed, 0.5f);
    now = 1540; // a counter that steps back gives no negative elapsed time
    EXPECT_FLOAT_EQ(timer.GetElapsedTime(), 0.0f);
}

TEST_F(FrameworkNull, PauseCountsNestAndNeverGoBelowZero) {
    DXUTSetPaused(true, false);
    DXUTSetPaused(true, true);
    EXPECT_EQ(GetDXUTState().GetPauseTimeCount(), 2);
    EXPECT_TRUE(DXUTIsTimePaused());
    EXPECT_TRUE(DXUTIsRenderingPaused());
    EXPECT_TRUE(DXUTGetGlobalTimer()->IsStopped());
    DXUTSetPaused(false, false);
    EXPECT_TRUE(DXUTIsTimePaused());
    EXPECT_FALSE(DXUTIsRenderingPaused());
    DXUTSetPaused(false, false);
    DXUTSetPaused(false, false);
    EXPECT_EQ(GetDXUTState().GetPauseTimeCount(), 0);
    EXPECT_EQ(GetDXUTState().GetPauseRenderingCount(), 0);
    EXPECT_FALSE(DXUTIsTimePaused());
    EXPECT_FALSE(DXUTGetGlobalTimer()->IsStopped());
}

TEST_F(FrameworkNull, PausedRenderingSkipsRenderAndPresent) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    log.calls.clear();
    DXUTSetPaused(true, true);
    DXUTRunFrame();
    EXPECT_EQ(log.calls, (Calls{"update"}));
    EXPECT_EQ(control->presents, 0);
    DXUTSetPaused(false, false);
}

TEST_F(FrameworkNull, StatisticsCountFramesOverWindowsOfMoreThanASecond) {
    TDXUTState& s = GetDXUTState();
    EXPECT_EQ(DXUTCurrentFps(), 0.0f);
    s.SetAbsoluteTime(100.0);
    DXUTCountFrame(); // the first frame closes a window at once (last update at 0)
    EXPECT_FLOAT_EQ(DXUTCurrentFps(), 0.01f);
    for (int i = 0; i < 10; ++i) {
        s.SetAbsoluteTime(100.0 + 0.1 * i);
        DXUTCountFrame();
    }
    EXPECT_FLOAT_EQ(DXUTCurrentFps(), 0.01f); // the window is still open
    s.SetAbsoluteTime(101.25);
    DXUTCountFrame();
    EXPECT_FLOAT_EQ(DXUTCurrentFps(), 11.0f / 1.25f);
    EXPECT_EQ(s.GetFPSText(), QStringLiteral("8.80 fps "));
}

TEST_F(FrameworkNull, FpsTextUsesTheLocaleSeparatorAndJoinsTheDeviceText) {
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    GetDXUTState().SetAbsoluteTime(1234.5);
    DXUTCountFrame();
    EXPECT_TRUE(GetDXUTState().GetFPSText().startsWith(QStringLiteral("0,00")));
    GetDXUTState().SetFPSText(QStringLiteral("123,45 fps "));
    EXPECT_EQ(DXUTFrameStatsText(true), QStringLiteral("123,45 fps Vsync off (1024x768), X8R8G8B8 (D32)"));
    EXPECT_EQ(DXUTFrameStatsText(false), QStringLiteral("Vsync off (1024x768), X8R8G8B8 (D32)"));
}

TEST_F(FrameworkNull, NoStatsKeepsTheFigureAtZero) {
    ASSERT_EQ(StartLikeTestWindow(&window, log, {"-nostats"}), S_OK);
    GetDXUTState().SetAbsoluteTime(50.0);
    for (int i = 0; i < 5; ++i)
        DXUTRunFrame();
    EXPECT_EQ(DXUTCurrentFps(), 0.0f);
}

TEST_F(FrameworkNull, AFreshStateReportsZeroAfterTheLastOneMeasured) {
    GetDXUTState().SetFPS(42.0f);
    DXUTFreeState();
    EXPECT_EQ(DXUTCurrentFps(), 0.0f);
}

TEST_F(FrameworkNull, SwitchingToWindowedResetsTheSameDevice) {
    ASSERT_EQ(StartLikeTestWindow(&window, log), S_OK);
    IDirect3DDevice9* device = DXUTGetD3DDevice();
    log.calls.clear();
    EXPECT_EQ(DXUTSwitchFullScreen(), S_OK);
    EXPECT_TRUE(DXUTIsWindowed());
    EXPECT_EQ(DXUTGetD3DDevice(), device);
    EXPECT_EQ(log.calls, (Calls{"adjust", "lost", "reset"}));
}

} // namespace
