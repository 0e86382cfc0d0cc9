#include "hwtests/DiskStage.h"

#include "core/MainModel.h"
#include "hwtests/Formats.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/WindowClass.h"
#include "sysinfo/WmiSources.h"

#include <QDir>
#include <QProcess>

namespace orv {

namespace {
QString L(const char* s) {
    return QString::fromLatin1(s);
}

// Why a result is missing: the helper's own words when it left them.
QString MissingResultReason() {
    const QString said = RegistryKey(L(kResultKey), true).ReadString(L(kErrorResult));
    return said.isEmpty() ? QStringLiteral("program testujący dysk zakończył pracę bez wyniku") : said;
}

void FinishThroughputRow(MainModel& m, int row, const char* value) {
    const std::int32_t v = ReadTestResult(L(value));
    const std::size_t t = static_cast<std::size_t>(row);
    const std::int32_t score =
        m.Scores.ComputeScore(v, m.Scores.ReferenceTable[t], m.Scores.FactorTable[t], 2);
    m.FinishRow(row, score, DiskThroughputText(v), DiskThroughputMbps(v), QStringLiteral("MB/s"),
                v > 0 ? QString() : MissingResultReason());
}
} // namespace

std::int32_t ReadTestResult(const QString& name) {
    RegistryKey key(L(kResultKey), true);
    const std::optional<std::int32_t> v = key.ReadInteger(name);
    key.DeleteValue(name);
    return v.value_or(0);
}

double DiskThroughputMbps(std::int32_t ms) {
    return ms > 0 ? static_cast<double>(kDiskVolumeMb) / (static_cast<double>(ms) / 1000.0) : 0.0;
}

QString DiskThroughputText(std::int32_t ms) {
    if (ms <= 0)
        return QStringLiteral("? MB/s");
    return FormatHashDot00(DiskThroughputMbps(ms)) + QStringLiteral(" MB/s");
}

QString SeekTimeText(std::int32_t sumMs) {
    return FormatHash0Dot00(static_cast<double>(sumMs) / kSeekCount) + QStringLiteral(" ms");
}

void writeTest(MainModel& m) {
    FinishThroughputRow(m, 14, kWriteResult);
}
void readTest(MainModel& m) {
    FinishThroughputRow(m, 15, kReadResult);
}

void seekTest(MainModel& m) {
    RegistryKey key(L(kResultKey), true);
    const bool present = key.ReadInteger(L(kSeekResult)).has_value();
    const std::int32_t v = ReadTestResult(L(kSeekResult));
    const std::int32_t score = Scoring::SeekScore(
        m.Scores.FactorTable[kRow15b], m.Scores.ReferenceTable[kRow15b], static_cast<long double>(v));
    m.FinishRow(kRow15b, score, SeekTimeText(v), static_cast<double>(v) / kSeekCount, QStringLiteral("ms"),
                present ? QString() : MissingResultReason());
}

void StartDiskHelper(MainModel& m) {
    m.SetText(QStringLiteral("HddInfoLbl"), QStringLiteral("Testowany dysk: ") + DiskModel(0));
    // Values a stopped run left unread must not pass for this run's results when the helper fails.
    RegistryKey key(L(kResultKey), true);
    for (const char* name : {kWriteResult, kReadResult, kSeekResult, kErrorResult})
        key.DeleteValue(L(name));
    // Started on its own, without arguments, in our current folder; its outcome is not examined:
    // a helper that never ran leaves no results.
    QProcess::startDetached(QDir(m.BaseDir).filePath(L(kDiskHelperName)), {}, QDir::currentPath());
}

bool DiskHelperRunning() {
    return IsProcessRunning(L(kDiskHelperName));
}

void StopDiskHelper() {
    if (const std::optional<WindowHandle> w = FindWindowByClass(L(kDiskHelperWindowClass)))
        CloseOrKillWindow(*w);
    KillProcessesByName(L(kDiskHelperName));
}

} // namespace orv
