// The 3D test windows on the null back end: the start and stop sequences, the frame-rate arithmetic,
// the timer phases and where the run goes next.
#include "SceneTestSupport.h"

#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "graphics3d/Test3d.h"
#include "graphics3d/scenes/RenderUnit2.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <cmath>
#include <memory>

using namespace orv;

namespace {

class Test3dWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = FpsTiming();
        FpsTiming() = {20, 5, 10};
        cfg = DefaultNullConfig();
        InstallNullDirect3D(cfg);
        test::UseBuiltMedia();
        model = std::make_unique<MainModel>();
        w1 = std::make_unique<TTest3dFrm>(*model);
        w2 = std::make_unique<TTest3d2Frm>(*model);
        w1->FinishedTimer().setInterval(40);
        w2->FinishedTimer().setInterval(40);
        model->Gfx3dWindows = {w1.get(), w2.get(), nullptr};
        model->Gfx3dMissingReason = QStringLiteral("brak");
        QObject::connect(model.get(), &MainModel::runEnded, model.get(), [this](bool c) {
            ended = true;
            cancelled = c;
        });
        Measurement().SetSource([this] { return NextSample(); });
        SecondMeasurement().SetSource([] { return 50.0f; });
    }
    void TearDown() override {
        Measurement().Stop();
        Measurement().SetSource([] { return DXUTCurrentFps(); });
        SecondMeasurement().Stop();
        SecondMeasurement().SetSource([] { return DXUTCurrentFps(); });
        w1.reset();
        w2.reset();
        DXUTFreeState();
        SetDirect3DFactory({});
        FpsTiming() = saved_;
    }

    static TFpsMeasurement& Measurement() { return *RenderUnit::Scene().Measurement; }
    static TFpsMeasurement& SecondMeasurement() { return *RenderUnit2::Scene().Measurement; }

    float NextSample() {
        const int i = samplesTaken.fetch_add(1);
        return i < static_cast<int>(samples.size()) ? samples[static_cast<std::size_t>(i)] : 0.0f;
    }

    // Runs row 18 as the sequencer does and waits for the run's end.
    void RunFirstTest() {
        gfx3dTest(*model);
        QElapsedTimer t;
        t.start();
        while (!ended && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(ended) << "the test never ended";
    }

    std::int32_t ExpectedScore(std::int32_t fps) const {
        return model->Scores.ComputeRateScore(fps, model->Scores.FactorTable[18],
                                              model->Scores.ReferenceTable[18]);
    }

    TFpsTiming saved_;
    NullConfig cfg;
    std::unique_ptr<MainModel> model;
    std::unique_ptr<TTest3dFrm> w1;
    std::unique_ptr<TTest3d2Frm> w2;
    std::vector<float> samples;
    std::atomic<int> samplesTaken{0};
    bool ended = false;
    bool cancelled = false;
};

} // namespace

TEST_F(Test3dWindowTest, WindowsHaveTheirCaptionsSizesAndTimer) {
    EXPECT_EQ(kFinishedTimerMs, 10000);
    TTest3d3Frm w3(*model);
    EXPECT_EQ(w1->title(), QStringLiteral("Test 3D 1"));
    EXPECT_EQ(w2->title(), QStringLiteral("Test 3D 2"));
    EXPECT_EQ(w3.title(), QStringLiteral("Test 3D 3"));
    EXPECT_EQ(w3.FinishedTimer().interval(), kFinishedTimerMs);
    EXPECT_TRUE(w3.FinishedTimer().isActive());
    EXPECT_EQ(w3.size(), QSize(kTest3dClientWidth, kTest3dClientHeight));
    EXPECT_EQ(w3.DisplayPanel()->size(), w3.size());
    EXPECT_EQ(w1->DeviceWindowClass(), QStringLiteral("Fullscreen"));
    EXPECT_EQ(w3.DeviceWindowClass(), QStringLiteral("Fullscreen3"));
    EXPECT_EQ(w1->Row(), 18);
    EXPECT_EQ(w3.Row(), 20);
}

// Ten samples: floor of their sum over ten, the score from the same integer; the scene's device came
// and went, and the run went on past the skipped rows to its end.
TEST_F(Test3dWindowTest, NormalRunScoresTheAverageOfTenSamples) {
    FpsTiming() = {300, 5, 10}; // long enough for the devices to draw frames, even in a sanitizer build
    samples = {100.5f, 101, 99, 98.25f, 102, 100, 100, 101, 99, 97.75f}; // sum 998.5
    cfg.control->calls.clear();
    RunFirstTest();
    EXPECT_FALSE(cancelled);
    const RowResult& r = model->Result(18);
    ASSERT_EQ(r.status, RowResult::Status::Finished);
    EXPECT_EQ(r.detail, QStringLiteral("99 fps"));
    EXPECT_EQ(model->Text(WynikLblMoreName(18)), QStringLiteral("99 fps"));
    EXPECT_EQ(r.score, ExpectedScore(99));
    EXPECT_EQ(model->Text(WynikLblName(18)), QString::number(r.score));
    EXPECT_EQ(model->Picture(WynikImgName(18)), kImageFinished);
    EXPECT_EQ(samplesTaken.load(), 10);
    // The devices lived through frames and were released by the stops.
    EXPECT_GT(cfg.control->Count("Present"), 0);
    EXPECT_EQ(cfg.control->liveDevices, 0);
    EXPECT_FALSE(w1->Running());
    EXPECT_FALSE(w1->FinishedTimer().isActive());
    EXPECT_EQ(w1->DeviceWindow(), nullptr);
    // Row 19 ran its own scene and device after it; row 20 has no window here and is skipped.
    EXPECT_EQ(model->Result(19).status, RowResult::Status::Finished);
    EXPECT_EQ(model->Result(19).detail, QStringLiteral("50 fps"));
    EXPECT_EQ(cfg.control->Count("CreateDevice"), 2);
    EXPECT_FALSE(w2->Running());
    EXPECT_EQ(model->Result(20).status, RowResult::Status::Skipped);
    EXPECT_EQ(model->Text(WynikLblMoreName(20)), QStringLiteral("brak"));
    EXPECT_EQ(model->SkippedCategories(), QStringList{QStringLiteral("3D (1 z 3)")});
    // The stop left a fresh, paused framework state behind.
    EXPECT_TRUE(DXUTIsTimePaused());
    EXPECT_TRUE(DXUTIsRenderingPaused());
}

TEST_F(Test3dWindowTest, EscapeAfterThreeSamplesDividesTheirSumByTen) {
    FpsTiming() = {1, 300, 10};
    samples = {55, 66, 77.5f, 1000};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [this] {
        if (Measurement().Count() == 3 && w1->Running())
            w1->DeviceWindowEscape();
    });
    poll.start(1);
    RunFirstTest();
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(model->CancelRequested);
    EXPECT_EQ(model->Result(18).detail, QStringLiteral("19 fps")); // floor(198.5 / 10)
    EXPECT_EQ(model->Result(18).score, ExpectedScore(19));
    EXPECT_FALSE(Measurement().Running());
    EXPECT_EQ(samplesTaken.load(), 3);
    // Cancelled: the later rows are not reached.
    EXPECT_EQ(model->Result(19).status, RowResult::Status::NotRun);
}

TEST_F(Test3dWindowTest, EscapeDuringTheWarmUpGivesZeroAndTheZeroRuleScore) {
    FpsTiming() = {60000, 1000, 10};
    QTimer::singleShot(50, [this] { w1->DeviceWindowEscape(); });
    RunFirstTest();
    EXPECT_TRUE(cancelled);
    const RowResult& r = model->Result(18);
    EXPECT_EQ(r.detail, QStringLiteral("0 fps"));
    EXPECT_EQ(r.score, model->Scores.ScoreTable[18]);
    EXPECT_GT(r.score, 0); // the zero rule's small value, never 0
    EXPECT_EQ(samplesTaken.load(), 0);
}

TEST_F(Test3dWindowTest, NoAcceptableDeviceStopsAtOnce) {
    NullConfig refusing = DefaultNullConfig();
    refusing.adapters[0].caps.PixelShaderVersion = D3DPS_VERSION(1, 1);
    InstallNullDirect3D(refusing);
    samples = {100, 100, 100};
    gfx3dTest(*model);
    // Everything happened inside the start.
    EXPECT_TRUE(ended);
    EXPECT_EQ(model->Result(18).detail, QStringLiteral("0 fps"));
    EXPECT_EQ(refusing.control->Count("CreateDevice"), 0);
    EXPECT_FALSE(*RenderUnit::Scene().Accepted);
}

// A missing media file ends device creation; the loop does not run and the timer ends the test once the
// thread is done, with the framework's figure of 0.
TEST_F(Test3dWindowTest, MissingMediaRunsNoLoopAndEndsAtTheNextTick) {
    QTemporaryDir empty;
    test::UseMediaFolder(empty.path());
    Measurement().SetSource([] { return DXUTCurrentFps(); });
    gfx3dTest(*model);
    EXPECT_FALSE(ended); // returned without a loop, the test still open
    EXPECT_TRUE(w1->Running());
    EXPECT_TRUE(*RenderUnit::Scene().Accepted);
    RunFirstTest();
    EXPECT_EQ(model->Result(18).detail, QStringLiteral("0 fps"));
    EXPECT_EQ(cfg.control->Count("Present"), 0);
}

// The first run keeps the phase the timer has had since the window was made; later runs start a new
// period when the test starts. The period is long enough that it never ends by itself here: what is
// read is when the running timer's period ends, counted from the call that starts the test.
TEST_F(Test3dWindowTest, FirstRunKeepsTheCreationPhaseLaterRunsRestartIt) {
    constexpr int kPeriod = 600000;
    constexpr int kAged = 1000; // how far into its period the timer is before the first run
    w1 = std::make_unique<TTest3dFrm>(*model);
    model->Gfx3dWindows[0] = w1.get();
    QTimer& timer = w1->FinishedTimer();
    timer.setInterval(kPeriod);
    timer.start();
    FpsTiming() = {1, 1, 10};
    samples = std::vector<float>(10, 100.0f);
    QElapsedTimer guard;
    guard.start();
    while (timer.remainingTime() > kPeriod - kAged && guard.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_LE(timer.remainingTime(), kPeriod - kAged);

    // The framework's loop runs inside the start; a helper timer looks at the finished timer from in
    // there and ends the test the way its tick does once the measurement is complete. A kept phase
    // ends at most kPeriod - kAged after the start, a new one at least kPeriod after it, however late
    // the helper gets to look.
    const auto periodEndAfterStart = [&] {
        qint64 end = -1;
        QElapsedTimer sinceStart;
        QTimer probe;
        probe.setInterval(5);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            if (!w1->Running())
                return;
            if (end < 0)
                end = sinceStart.elapsed() + timer.remainingTime();
            if (Measurement().Done())
                w1->FinishedTimerTimer();
        });
        probe.start();
        sinceStart.start();
        RunFirstTest();
        EXPECT_FALSE(timer.isActive());
        return end;
    };
    constexpr qint64 kBetween = kPeriod - kAged / 2;

    const qint64 first = periodEndAfterStart();
    ASSERT_GE(first, 0) << "the probe never saw the test running";
    EXPECT_LT(first, kBetween) << "the first run restarted the timer";

    ended = false;
    model->CancelRequested = false;
    samplesTaken = 0;
    const qint64 later = periodEndAfterStart();
    EXPECT_GT(later, kBetween) << "a later run kept the stopped timer's phase";
}
