#pragma once
#include "core/Catalogue.h"
#include "hwtests/DiskStage.h"

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace orv {

class MainModel;

// How long the rows of a run will take on this machine. Rows timed against the reference computer
// expect its time scaled by how this run has compared so far; the others expect what a finished row
// of the same stage took, or a typical time for their stage.
class RunEstimate {
public:
    explicit RunEstimate(std::uint32_t workDivisor = 1) : workDivisor_(workDivisor ? workDivisor : 1) {}
    void Finished(int row, std::int64_t wallMs);
    std::int64_t ExpectedMs(int row) const;
    // The rows still to run (the current one not among them) plus what the current one has left.
    std::int64_t RemainingMs(const std::vector<int>& pending, int current,
                             std::int64_t currentElapsedMs) const;

private:
    std::uint32_t workDivisor_;
    double referenceMs_ = 0;
    double measuredMs_ = 0;
    std::map<Stage, std::int64_t> lastOfStage_;
};

// "1:05" for minutes and seconds, "1:02:05" from an hour on.
QString ClockText(std::int64_t ms);

// The one live line of a terminal run, cut to width columns: the running test, its seconds and its
// progress (percent < 0: none), then the run's elapsed time and what is left.
QString LiveLine(const QString& title, std::int64_t rowMs, int percent, std::int64_t runMs,
                 std::int64_t leftMs, int width = 80);

// The row the live line names: while the disk helper runs, the step it reports.
int ShownRow(int row, const DiskHelperProgress& disk);

// The running row's progress in percent: the bars the window shows, the disk helper's step, or -1
// where the row has none.
int RowProgressPercent(const MainModel& m, int row, const DiskHelperProgress& disk);

} // namespace orv
