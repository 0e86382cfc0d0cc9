#include "app/CliProgress.h"

#include "core/MainModel.h"
#include "core/Scoring.h"
#include "graphics3d/scenes/Measurement.h"

#include <algorithm>

namespace orv {

namespace {

// Until a row of the stage has run: the disk helper's three measurements and the 3D frame loops.
std::int64_t TypicalMs(Stage stage) {
    switch (stage) {
    case Stage::Hdd:
        return 8000;
    case Stage::Gfx3d:
        return kFpsWarmUpMs + kFpsSamples * kFpsSampleIntervalMs;
    default:
        return 5000;
    }
}

} // namespace

void RunEstimate::Finished(int row, std::int64_t wallMs) {
    const RowInfo* info = FindRow(row);
    if (!info)
        return;
    lastOfStage_[info->stage] = wallMs;
    if (info->rule == ScoreRule::Time) {
        referenceMs_ += kReferenceValues[static_cast<std::size_t>(info->tableIndex)];
        measuredMs_ += static_cast<double>(wallMs);
    }
}

std::int64_t RunEstimate::ExpectedMs(int row) const {
    const RowInfo* info = FindRow(row);
    if (!info)
        return 0;
    if (info->rule == ScoreRule::Time) {
        const double reference = kReferenceValues[static_cast<std::size_t>(info->tableIndex)];
        const double scale = referenceMs_ > 0 ? measuredMs_ / referenceMs_ : 1.0 / workDivisor_;
        return static_cast<std::int64_t>(reference * scale);
    }
    const auto last = lastOfStage_.find(info->stage);
    return last != lastOfStage_.end() ? last->second : TypicalMs(info->stage);
}

std::int64_t RunEstimate::RemainingMs(const std::vector<int>& pending, int current,
                                      std::int64_t currentElapsedMs) const {
    std::int64_t left = current >= 0 ? std::max<std::int64_t>(0, ExpectedMs(current) - currentElapsedMs) : 0;
    for (int row : pending)
        left += ExpectedMs(row);
    return left;
}

QString ClockText(std::int64_t ms) {
    const std::int64_t s = std::max<std::int64_t>(0, ms) / 1000;
    const auto two = [](std::int64_t v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); };
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(two(s / 60 % 60), two(s % 60));
    return QStringLiteral("%1:%2").arg(s / 60).arg(two(s % 60));
}

QString LiveLine(const QString& title, std::int64_t rowMs, int percent, std::int64_t runMs,
                 std::int64_t leftMs, int width) {
    QString row = QStringLiteral("%1 s").arg(std::max<std::int64_t>(0, rowMs) / 1000);
    if (percent >= 0)
        row += QStringLiteral(", %1%").arg(std::clamp(percent, 0, 100));
    const QString tail =
        QStringLiteral(" | test trwa %1, pozostało ok. %2").arg(ClockText(runMs), ClockText(leftMs));
    // The title gives way first: the numbers are what the line is for.
    const int room = width - 4 - static_cast<int>(row.size() + tail.size());
    QString shownTitle = title;
    if (room < shownTitle.size())
        shownTitle = room > 1 ? shownTitle.left(room - 1) + QChar(0x2026) : QString();
    const QString line = QStringLiteral("  %1 %2%3").arg(shownTitle, row, tail);
    return line.left(width - 1);
}

namespace {
bool IsDiskRow(int row) {
    const RowInfo* info = FindRow(row);
    return info && info->stage == Stage::Hdd;
}
} // namespace

int ShownRow(int row, const DiskHelperProgress& disk) {
    return IsDiskRow(row) && disk.row >= 0 ? disk.row : row;
}

int RowProgressPercent(const MainModel& m, int row, const DiskHelperProgress& disk) {
    const RowInfo* info = FindRow(row);
    if (!info)
        return -1;
    switch (info->stage) {
    case Stage::Cpu: // ten points per finished worker of eight
        return m.Position(ctl::CpuProgress) * 100 / 80;
    case Stage::Ram:
        return m.Position(ctl::RamProgress);
    case Stage::Hdd:
        return disk.row >= 0 ? disk.percent : -1;
    default:
        return -1;
    }
}

} // namespace orv
