#include "tests/core/SequencerFixture.h"

#include <QTimer>
#include <thread>

using namespace orv;
using namespace orv::test;

namespace {
const QString kStop = ctl::StopBtn;
const QString kStart = ctl::RozpocznijTestyBtn;
const QString kCancelLbl = ctl::TrwaAnulowanieLbl;
} // namespace

TEST_F(SequencerTest, CompleteRunPassesEveryStageInOrderAndEndsOnResults) {
    RunToEnd();
    EXPECT_FALSE(endedCancelled);
    ASSERT_EQ(boxes.questions.size(), 1);
    EXPECT_EQ(boxes.questions[0], QString::fromUtf8(kStartQuestion));

    // Stage order, with the page shown during each stage.
    const QStringList order = {"prepare",
                               "ram stage 3",
                               "disk start stage 4",
                               "disk result 14",
                               "disk result 15",
                               "disk result 21",
                               "cleanup",
                               "start 16 stage 5",
                               "start 17 stage 5",
                               "start 18 stage 6",
                               "start 19 stage 6",
                               "start 20 stage 6",
                               "ping",
                               "upload",
                               "end"};
    int last = -1;
    for (const QString& step : order) {
        const int at = IndexOf(step);
        EXPECT_GT(at, last) << step.toStdString();
        last = at;
    }
    // The helper was polled until it had gone.
    EXPECT_GE(std::count(log.begin(), log.end(), QStringLiteral("poll")), 3);
    // Window 2 is hidden right after its test, window 1 at the end of the stage.
    EXPECT_LT(IndexOf("hide 17"), IndexOf("hide 16"));
    EXPECT_LT(IndexOf("hide 16"), IndexOf("start 18 stage 6"));

    for (const RowInfo& r : Catalogue()) {
        EXPECT_TRUE(RowShown(r.row)) << r.row;
        EXPECT_EQ(m.Picture(WynikImgName(r.row)), kImageFinished) << r.row;
    }
    EXPECT_EQ(m.ActivePage(), static_cast<int>(Page::WynikiTab));
    EXPECT_EQ(m.RunStage, 7);
    EXPECT_EQ(m.SelectedTab, 7);
    EXPECT_TRUE(m.RunFinished);
    EXPECT_FALSE(m.Visible(kStop));
    EXPECT_TRUE(m.Visible(kStart));
    for (const QString& b : kMainMenuButtons)
        EXPECT_TRUE(m.Enabled(b));
    for (const QString& b : kTabButtons)
        EXPECT_TRUE(m.Enabled(b));
    EXPECT_EQ(m.Text("RamWynikLbl"), "RAM: 5000");
    EXPECT_EQ(m.Text("HddWynikLbl"), "HDD: 5000");
    EXPECT_EQ(m.Text("Gpu2dWynikLbl"), "2D: 5000");
    EXPECT_EQ(m.Text("Gpu3dWynikLbl"), "3D: 5000");
    EXPECT_EQ(m.Text("CpuWynikLbl"), "CPU: " + QString::number(m.Scores.ScoreTable[kScoreCpu]));
    EXPECT_EQ(m.Text("OgolnyWynikLbl"), QString::number(m.Scores.Overall()));
}

TEST_F(SequencerTest, AllFiveThousandRunShowsFiveThousandEverywhere) {
    // Rows that finish at exactly the reference: fix the CPU rows' reference to their measured time.
    for (int row = 0; row < 12; ++row)
        m.CpuWorkloads[static_cast<std::size_t>(row)] = nullptr;
    m.Hooks.RamTest = [](MainModel& main) {
        main.ShowResultRow(12);
        main.FinishRow(12, 5000, "x", 1, "ms");
    };
    RunToEnd();
    // CPU rows were skipped (no workloads), so CPU counts 0; set up the rest by hand to check EndTests.
    m.Scores.ScoreTable.fill(5000);
    m.Scores.ComputeCpuCategory();
    m.Scores.ComputeRamCategory();
    m.Scores.ComputeHddCategory();
    m.Scores.Compute2dCategory();
    m.CancelRequested = false;
    EndTests(m);
    for (const char* prefix : {"CpuWynikLbl:CPU: ", "RamWynikLbl:RAM: ", "HddWynikLbl:HDD: ",
                               "Gpu2dWynikLbl:2D: ", "Gpu3dWynikLbl:3D: "}) {
        const QStringList parts = QString::fromLatin1(prefix).split(':');
        EXPECT_EQ(m.Text(parts[0]), parts[1] + ":" + parts[2] + "5000");
    }
    EXPECT_EQ(m.Text("OgolnyWynikLbl"), "5000");
}

TEST_F(SequencerTest, RowsBecomeVisibleWhenTheirTestBegins) {
    std::vector<std::pair<int, RowResult::Status>> events;
    QObject::connect(&m, &MainModel::rowChanged, &m,
                     [&](int row) { events.emplace_back(row, m.Result(row).status); });
    RunToEnd();
    // Every row goes running → finished, and row N+1 starts only after row N finished.
    std::vector<int> order;
    for (auto [row, status] : events)
        if (status == RowResult::Status::Running)
            order.push_back(row);
    const std::vector<int> expected = {0,  1,  2,  3,  4,       5,  6,  7,  8,  9, 10,
                                       11, 12, 14, 15, kRow15b, 16, 17, 18, 19, 20};
    EXPECT_EQ(order, expected);
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].second == RowResult::Status::Running && events[i].first <= 11) {
            EXPECT_EQ(events[i + 1].first, events[i].first);
            EXPECT_EQ(events[i + 1].second, RowResult::Status::Finished);
        }
    }
}

TEST_F(SequencerTest, MenuIsLockedAndStopShownDuringTheRun) {
    duringRam = [this] {
        for (const QString& b : kMainMenuButtons)
            EXPECT_FALSE(m.Enabled(b));
        EXPECT_EQ(m.Picture(kStart), 10);
        EXPECT_FALSE(m.Visible(kStart));
        EXPECT_TRUE(m.Visible(kStop));
        EXPECT_EQ(m.Picture(kStop), 78);
        EXPECT_FALSE(m.Visible("PrzypisanoWynikiLbl"));
        for (const QString& b : kTabButtons)
            EXPECT_FALSE(m.Enabled(b));
        EXPECT_EQ(m.ActivePage(), static_cast<int>(Page::RamTab));
        EXPECT_EQ(m.Picture("RamBtn"), 28);
        EXPECT_TRUE(m.Visible("RamProgress"));
        EXPECT_FALSE(m.Visible("CpuProgress"));
    };
    RunToEnd();
    EXPECT_FALSE(m.Visible("RamProgress"));
}

TEST_F(SequencerTest, AnsweringNoLeavesThePreviousRunButTheDataFolderWasPrepared) {
    RunToEnd();
    const auto scores = m.Scores.ScoreTable;
    const QString overall = m.Text("OgolnyWynikLbl");
    log.clear();
    boxes.answer = false;
    RozpocznijTestyBtnClick(m);
    EXPECT_EQ(log, std::vector<QString>{QStringLiteral("prepare")});
    EXPECT_EQ(m.Scores.ScoreTable, scores);
    EXPECT_EQ(m.Text("OgolnyWynikLbl"), overall);
    EXPECT_TRUE(RowShown(0));
    EXPECT_TRUE(m.Visible(kStart));
    EXPECT_EQ(m.RunStage, 7);
}

TEST_F(SequencerTest, FailedPreparationAsksNothingAndChangesNothing) {
    prepareOk = false;
    RozpocznijTestyBtnClick(m);
    EXPECT_TRUE(boxes.questions.isEmpty());
    EXPECT_FALSE(m.RunInProgress);
    EXPECT_TRUE(m.Visible(kStart));
    EXPECT_FALSE(m.Visible(kStop));
    EXPECT_EQ(m.RunStage, 1);
}

TEST_F(SequencerTest, StopDuringFirstCpuTest) {
    RunToEnd(); // a previous complete run whose labels must survive
    const QString cpuLabel = m.Text("CpuWynikLbl");
    const QString overall = m.Text("OgolnyWynikLbl");
    log.clear();
    m.CpuWorkloads[0] = [](TWorker&, const WorkloadContext&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    QTimer::singleShot(20, &m, [this] { StopBtnClick(m); });
    RunToEnd();

    EXPECT_TRUE(endedCancelled);
    EXPECT_EQ(m.Result(0).status, RowResult::Status::Finished);
    EXPECT_TRUE(RowShown(0));
    for (int row : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, kRow15b, 16, 17, 18, 19, 20})
        EXPECT_FALSE(RowShown(row)) << row;
    for (int i = 0; i < kScoreTableSize; ++i) {
        if (i != 0 && i != kScoreCpu && i != kScoreRam) {
            EXPECT_EQ(m.Scores.ScoreTable[static_cast<std::size_t>(i)], 0) << i;
        }
    }
    EXPECT_EQ(m.Scores.ScoreTable[kScoreCpu], m.Scores.ScoreTable[0] / 12);
    EXPECT_FALSE(Logged("ram stage 3"));
    EXPECT_FALSE(Logged("disk start stage 4"));
    EXPECT_FALSE(Logged("upload"));
    EXPECT_FALSE(Logged("ping"));
    EXPECT_EQ(m.Text("CpuWynikLbl"), cpuLabel);
    EXPECT_EQ(m.Text("OgolnyWynikLbl"), overall);
    // The cancelled end: start page, menu unlocked, only the Info tab offered.
    EXPECT_EQ(m.ActivePage(), static_cast<int>(Page::InfoTab));
    EXPECT_EQ(m.RunStage, 1);
    EXPECT_EQ(m.SelectedTab, 1);
    EXPECT_EQ(m.MainMenuState, 0);
    EXPECT_TRUE(m.Enabled("InfoTimer"));
    EXPECT_FALSE(m.Enabled("WynikiBtn"));
    EXPECT_FALSE(m.Visible(kCancelLbl));
    EXPECT_FALSE(m.Visible(kStop));
    EXPECT_TRUE(m.Visible(kStart));
    for (const QString& b : kMainMenuButtons)
        EXPECT_TRUE(m.Enabled(b));
    EXPECT_TRUE(m.RunFinished);
}

TEST_F(SequencerTest, StopDuringMemoryTest) {
    duringRam = [this] { StopBtnClick(m); };
    RunToEnd();
    EXPECT_TRUE(endedCancelled);
    EXPECT_TRUE(RowShown(12));
    EXPECT_EQ(m.Scores.ScoreTable[kScoreRam], 5000);
    EXPECT_FALSE(Logged("disk start stage 4"));
    for (int row : {14, 15, kRow15b, 16, 17, 18, 19, 20})
        EXPECT_FALSE(RowShown(row)) << row;
}

TEST_F(SequencerTest, StopWhileTheDiskHelperRuns) {
    helperRunsFor = 1000;
    int polls = 0;
    duringPoll = [&] {
        if (++polls == 2) {
            StopBtnClick(m);
            EXPECT_TRUE(m.Visible(kCancelLbl));
            EXPECT_EQ(m.Picture(kStop), 80);
        }
    };
    RunToEnd();
    EXPECT_TRUE(endedCancelled);
    EXPECT_TRUE(Logged("kill helper"));
    // The next tick after the kill: no results read, files removed, 2D skipped without showing a row.
    EXPECT_FALSE(Logged("disk result 14"));
    EXPECT_TRUE(Logged("cleanup"));
    EXPECT_LE(polls, 3);
    for (int row : {14, 15, kRow15b}) {
        EXPECT_TRUE(RowShown(row));
        EXPECT_EQ(m.Text(WynikLblName(row)), "w trakcie");
    }
    for (int row : {16, 17, 18, 19, 20})
        EXPECT_FALSE(RowShown(row)) << row;
    EXPECT_FALSE(win2d1->shown);
    EXPECT_FALSE(Logged("start 16 stage 5"));
    EXPECT_EQ(m.ActivePage(), static_cast<int>(Page::InfoTab));
}

TEST_F(SequencerTest, StopDuringFirst2dTest) {
    win2d1->during = [this] { StopBtnClick(m); };
    RunToEnd();
    EXPECT_TRUE(endedCancelled);
    EXPECT_EQ(m.Result(16).status, RowResult::Status::Finished);
    EXPECT_FALSE(RowShown(17));
    EXPECT_FALSE(Logged("start 17 stage 5"));
    EXPECT_FALSE(Logged("start 18 stage 6"));
    EXPECT_FALSE(RowShown(18));
    EXPECT_FALSE(win2d1->shown); // hidden at the end of the stage
}

TEST_F(SequencerTest, StopDuringFirst3dScene) {
    win3d1->during = [this] { StopBtnClick(m); };
    RunToEnd();
    EXPECT_TRUE(endedCancelled);
    EXPECT_EQ(m.Result(18).status, RowResult::Status::Finished);
    EXPECT_FALSE(RowShown(19));
    EXPECT_FALSE(RowShown(20));
    EXPECT_FALSE(Logged("upload"));
    EXPECT_EQ(m.Text("Gpu3dWynikLbl"), "3D:");
}

TEST_F(SequencerTest, StoppingTwiceIsTheSameAsOnce) {
    win2d2->during = [this] {
        StopBtnClick(m);
        StopBtnClick(m);
        EXPECT_TRUE(m.CancelRequested);
        EXPECT_EQ(m.Picture(kStop), 80);
        EXPECT_TRUE(m.Visible(kCancelLbl));
    };
    RunToEnd();
    EXPECT_TRUE(endedCancelled);
    EXPECT_EQ(std::count(log.begin(), log.end(), QStringLiteral("end cancelled")), 1);
    EXPECT_FALSE(RowShown(18));
}

TEST_F(SequencerTest, StopIsIgnoredWhenNoRunIsUnderWay) {
    StopBtnClick(m);
    EXPECT_FALSE(m.CancelRequested);
    EXPECT_FALSE(m.Visible(kCancelLbl));
}

TEST_F(SequencerTest, MissingTestsAreSkippedNotScored) {
    for (auto& w : m.CpuWorkloads)
        w = nullptr;
    m.Hooks = RunHooks{};
    m.Gfx2dWindows = {};
    m.Gfx3dWindows = {};
    RunToEnd();
    EXPECT_FALSE(endedCancelled);
    for (const RowInfo& r : Catalogue()) {
        EXPECT_EQ(m.Result(r.row).status, RowResult::Status::Skipped) << r.row;
        EXPECT_FALSE(RowShown(r.row)) << r.row;
    }
    for (auto v : m.Scores.ScoreTable)
        EXPECT_EQ(v, 0);
    EXPECT_EQ(m.Text("OgolnyWynikLbl"), "0");
    EXPECT_EQ(m.ActivePage(), static_cast<int>(Page::WynikiTab));
}

TEST_F(SequencerTest, StagesLeftOutAreSkipped) {
    m.StageEnabled = {true, false, false, true, false};
    RunToEnd();
    EXPECT_EQ(m.Result(0).status, RowResult::Status::Finished);
    EXPECT_EQ(m.Result(12).status, RowResult::Status::Skipped);
    EXPECT_EQ(m.Result(15).status, RowResult::Status::Skipped);
    EXPECT_EQ(m.Result(16).status, RowResult::Status::Finished);
    EXPECT_EQ(m.Result(20).status, RowResult::Status::Skipped);
    EXPECT_FALSE(Logged("ram stage 3"));
    EXPECT_FALSE(Logged("disk start stage 4"));
    EXPECT_FALSE(Logged("start 18 stage 6"));
    EXPECT_TRUE(Logged("cleanup")); // the disk stage's end still removes the run's files
}

TEST_F(SequencerTest, NoUploadWhenThePingFailsOrAlreadyUploaded) {
    m.Hooks.PostPing = [this](MainModel&) {
        log.push_back(QStringLiteral("ping"));
        return false;
    };
    RunToEnd();
    EXPECT_TRUE(Logged("ping"));
    EXPECT_FALSE(Logged("upload"));
    EXPECT_FALSE(m.ResultsUploaded);
}

TEST_F(SequencerTest, NewRunResetsRowsScoresAndFlags) {
    RunToEnd();
    m.ResultsUploaded = true;
    m.SetVisible("PrzypisanoWynikiLbl", true);
    win2d1->during = [this] {
        EXPECT_FALSE(m.ResultsUploaded);
        EXPECT_FALSE(m.RunFinished);
        EXPECT_FALSE(m.Visible("PrzypisanoWynikiLbl"));
        EXPECT_EQ(m.Scores.ScoreTable[17], 0);
        EXPECT_FALSE(RowShown(17));
        EXPECT_EQ(m.Text(WynikLblName(17)), "w trakcie");
        EXPECT_EQ(m.Text(WynikLblMoreName(17)), "...");
        EXPECT_EQ(m.Picture(WynikImgName(17)), kImageWaiting);
    };
    RunToEnd();
    EXPECT_FALSE(endedCancelled);
}
