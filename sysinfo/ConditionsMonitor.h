#pragma once
#include "core/Conditions.h"
#include "core/RunReport.h"
#include "sysinfo/ConditionsReader.h"
#include "sysinfo/SysSources.h"

#include <QHash>
#include <QObject>
#include <QTimer>

namespace orv {

// Gathers the run's conditions before the first row and watches them during every stage: the
// processors' frequency, other programs' load, throttling. At the end it takes what the disk and
// graphics stages said, raises the flags and leaves the record in `MainModel::Conditions`. It goes
// first among the reporters so that the others find the finished record.
class ConditionsMonitor final : public QObject, public RunReporter {
public:
    // `pid` is the process whose time (with its children's) is ours, not another program's.
    explicit ConditionsMonitor(MainModel& m, SysSources sources = CurrentSysSources(), QString pid = {});
    void Begin(const MainModel& m) override;
    void RowStarted(const MainModel& m, int row) override;
    void RowEnded(const MainModel& m, int row) override;
    bool End(const MainModel& m, const RunEnd& end) override;

    const RunConditions& Conditions() const { return c_; }
    // One look at the frequency and our children's time; the timer calls it during a stage.
    void Sample();

    // How often a stage is looked at between its rows.
    static constexpr int kSampleMs = 1000;

private:
    void OpenStage(int stage);
    void CloseStage();
    void SampleFrequency();
    void SampleChildren(bool atStageStart = false);

    MainModel& m_;
    SysSources s_;
    QString pid_;
    RunConditions c_;
    QTimer timer_;
    int stage_ = -1;
    MachineTicks machineAtStart_;
    std::uint64_t ownAtStart_ = 0;
    std::uint64_t throttleAtStart_ = 0;
    // Our children's time during the stage: first and last value seen of each, so that a helper which
    // ends inside the stage still counts as ours.
    QHash<QString, std::pair<std::uint64_t, std::uint64_t>> children_;
};

} // namespace orv
