#pragma once
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"

#include "tests/support/RecordingBoxes.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace orv::test {

// A graphics test window that finishes its row with a fixed score; 3D windows continue the chain from
// their stop step as the real ones do.
class FakeTestWindow : public ITestWindow {
public:
    FakeTestWindow(MainModel& m, int row, int window3d, std::vector<QString>& log)
        : m_(m), row_(row), window3d_(window3d), log_(log) {}
    std::function<void()> during; // runs inside StartTest, before the row is finished
    bool shown = false;
    void Show() override {
        shown = true;
        log_.push_back(QStringLiteral("show %1").arg(row_));
    }
    void Hide() override {
        shown = false;
        log_.push_back(QStringLiteral("hide %1").arg(row_));
    }
    void StartTest() override {
        log_.push_back(QStringLiteral("start %1 stage %2").arg(row_).arg(m_.RunStage));
        if (during)
            during();
        m_.FinishRow(row_, 5000, QStringLiteral("5000 ms"), 5000, QStringLiteral("ms"));
        if (window3d_ > 0)
            Continue3dChain(m_, window3d_);
    }

private:
    MainModel& m_;
    int row_;
    int window3d_;
    std::vector<QString>& log_;
};

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxes(&boxes);
        m.BaseDir = MakeTempDir(QStringLiteral("seq"));
        ConnectSequencer(m);
        m.HddCheck.setInterval(10); // the real 1000 ms only slows the tests down
        for (int row = 0; row < 12; ++row)
            m.CpuWorkloads[static_cast<std::size_t>(row)] = [](TWorker&, const WorkloadContext&) {};
        m.Hooks.PrepareDataFolder = [this](MainModel&) {
            log.push_back(QStringLiteral("prepare"));
            return prepareOk;
        };
        m.Hooks.RamTest = [this](MainModel& main) {
            log.push_back(QStringLiteral("ram stage %1").arg(main.RunStage));
            main.ShowResultRow(12);
            if (duringRam)
                duringRam();
            main.FinishRow(12, 5000, QStringLiteral("2900,23 MB/s"), 2900.23, QStringLiteral("MB/s"));
        };
        m.Hooks.StartDiskHelper = [this](MainModel& main) {
            log.push_back(QStringLiteral("disk start stage %1").arg(main.RunStage));
            helperTicks = helperRunsFor;
        };
        m.Hooks.DiskHelperRunning = [this] {
            log.push_back(QStringLiteral("poll"));
            if (duringPoll)
                duringPoll();
            return helperTicks-- > 0;
        };
        m.Hooks.StopDiskHelper = [this] {
            log.push_back(QStringLiteral("kill helper"));
            helperTicks = 0;
        };
        for (int i = 0; i < 3; ++i) {
            const int row = i == 0 ? 14 : i == 1 ? 15 : kRow15b;
            auto test = [this, row](MainModel& main) {
                log.push_back(QStringLiteral("disk result %1").arg(row));
                main.FinishRow(row, 5000, QStringLiteral("x"), 1, QStringLiteral("ms"));
            };
            (i == 0 ? m.Hooks.WriteTest : i == 1 ? m.Hooks.ReadTest : m.Hooks.SeekTest) = test;
        }
        m.Hooks.RemoveTemporaryData = [this](MainModel&) { log.push_back(QStringLiteral("cleanup")); };
        m.Hooks.PostPing = [this](MainModel&) {
            log.push_back(QStringLiteral("ping"));
            return true;
        };
        m.Hooks.PostTest = [this](MainModel&) { log.push_back(QStringLiteral("upload")); };
        win2d1 = std::make_unique<FakeTestWindow>(m, 16, 0, log);
        win2d2 = std::make_unique<FakeTestWindow>(m, 17, 0, log);
        win3d1 = std::make_unique<FakeTestWindow>(m, 18, 1, log);
        win3d2 = std::make_unique<FakeTestWindow>(m, 19, 2, log);
        win3d3 = std::make_unique<FakeTestWindow>(m, 20, 3, log);
        m.Gfx2dWindows = {win2d1.get(), win2d2.get()};
        m.Gfx3dWindows = {win3d1.get(), win3d2.get(), win3d3.get()};
        QObject::connect(&m, &MainModel::runEnded, &m, [this](bool cancelled) {
            ended = true;
            endedCancelled = cancelled;
            log.push_back(cancelled ? QStringLiteral("end cancelled") : QStringLiteral("end"));
        });
        m.ApplyInitialNavigation();
    }
    void TearDown() override { SetMessageBoxes(nullptr); }

    // Starts a run and keeps the event loop going until it has ended.
    void RunToEnd() {
        ended = false;
        RozpocznijTestyBtnClick(m);
        QElapsedTimer t;
        t.start();
        while (!ended && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ASSERT_TRUE(ended) << "run did not end";
    }

    bool Logged(const QString& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }
    int IndexOf(const QString& entry) const {
        auto it = std::find(log.begin(), log.end(), entry);
        return it == log.end() ? -1 : static_cast<int>(it - log.begin());
    }
    bool RowShown(int row) const { return m.Visible(WynikImgName(row)) && m.Visible(WynikLblMoreName(row)); }

    MainModel m;
    RecordingBoxes boxes;
    std::vector<QString> log;
    bool prepareOk = true;
    int helperRunsFor = 2;
    int helperTicks = 0;
    std::function<void()> duringRam, duringPoll;
    std::unique_ptr<FakeTestWindow> win2d1, win2d2, win3d1, win3d2, win3d3;
    bool ended = false;
    bool endedCancelled = false;
};

} // namespace orv::test
