#include "hwtests/DiskStage.h"
#include "platform/Latin1.h"

#include "core/Catalogue.h"
#include "core/MainModel.h"
#include "hwtests/Formats.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/WindowClass.h"
#include "sysinfo/WmiSources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cstdio>

namespace orv {

namespace {
// Why a result is missing: the helper's own words when it left them.
QString MissingResultReason() {
    const QString said = RegistryKey(L(kResultKey), true).ReadString(L(kErrorResult));
    return said.isEmpty() ? QStringLiteral("program testujący dysk zakończył pracę bez wyniku") : said;
}

QString& StartedHelper() {
    static QString path;
    return path;
}

DiskHelperProgress& ReportedProgress() {
    static DiskHelperProgress progress;
    return progress;
}

QString CurrentHelper() {
    const QString& started = StartedHelper();
    return started.isEmpty() ? DiskHelperPath(QCoreApplication::applicationDirPath()) : started;
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
    if (const auto direct = key.ReadInteger(L(kDirectResult)))
        m.DiskDirectIo = *direct != 0 ? 1 : 0;
    const std::int32_t score = Scoring::SeekScore(
        m.Scores.FactorTable[kRow15b], m.Scores.ReferenceTable[kRow15b], static_cast<long double>(v));
    m.FinishRow(kRow15b, score, SeekTimeText(v), static_cast<double>(v) / kSeekCount, QStringLiteral("ms"),
                present ? QString() : MissingResultReason());
}

void RemoveStaleDiskHelperFiles(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("testdata*.dat")}, QDir::Files)) {
        // testdata<k>.<run>.dat, or the plain names of a helper that named no run.
        const QStringList parts = name.split(QLatin1Char('.'));
        if (parts.size() == 3) {
            SingleInstanceLock runLock(DiskHelperLockName(parts[1]), folder);
            if (!runLock.TryAcquire())
                continue; // its run is still going
        }
        QFile::remove(dir.filePath(name));
    }
}

QString DiskHelperPath(const QString& baseDir) {
    return QDir(baseDir).filePath(L(kDiskHelperName));
}

void StartDiskHelper(MainModel& m) {
    m.SetText(ctl::HddInfoLbl, QStringLiteral("Testowany dysk: ") + DiskModel(0));
    // Values a stopped run left unread must not pass for this run's results when the helper fails.
    RegistryKey key(L(kResultKey), true);
    m.DiskDirectIo = -1;
    for (const char* name : {kWriteResult, kReadResult, kSeekResult, kErrorResult, kDirectResult})
        key.DeleteValue(L(name));
    RemoveStaleDiskHelperFiles(m.DataDir() + QStringLiteral("/hdd"));
    // Without arguments, in our current folder; its outcome is not examined: a helper that never ran
    // leaves no results. It is our child so that it ends with us.
    static QProcess* helper = nullptr;
    if (helper && helper->state() != QProcess::NotRunning) {
        // An earlier run's helper that was stopped but has not gone yet.
        helper->kill();
        helper->waitForFinished(1000);
    }
    delete helper;
    helper = new QProcess;
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ReportedProgress() = {};
    QObject::connect(helper, &QProcess::readyReadStandardOutput, helper, [p = helper] {
        while (p->canReadLine()) {
            const QByteArray line = p->readLine();
            if (!ParseDiskHelperProgress(line, &ReportedProgress())) {
                // Anything else it prints is for the user, as its errors are.
                std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
                std::fflush(stdout);
            }
        }
    });
    helper->setWorkingDirectory(QDir::currentPath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(L(kHelperProgressVariable), QStringLiteral("1"));
    env.insert(L(kHelperParentVariable), QString::number(QCoreApplication::applicationPid()));
    helper->setProcessEnvironment(env);
    StartedHelper() = DiskHelperPath(m.BaseDir);
    helper->start(StartedHelper(), {});
}

bool ParseDiskHelperProgress(const QByteArray& line, DiskHelperProgress* out) {
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 3 || parts[0] != "progress")
        return false;
    bool stepOk = false;
    bool percentOk = false;
    const int step = parts[1].toInt(&stepOk);
    const int percent = parts[2].toInt(&percentOk);
    if (!stepOk || !percentOk || step < 1 || step > 3 || percent < 0 || percent > 100)
        return false;
    static constexpr int kStepRows[] = {14, 15, kRow15b};
    *out = {kStepRows[step - 1], percent};
    return true;
}

DiskHelperProgress CurrentDiskHelperProgress() {
    return ReportedProgress();
}

bool DiskHelperRunning() {
    return IsExecutableRunning(CurrentHelper());
}

void StopDiskHelper() {
    const QString program = CurrentHelper();
    // Another program's window of that class is not ours to close, let alone kill.
    if (const std::optional<WindowHandle> w = FindWindowByClass(L(kDiskHelperWindowClass));
        w && ProcessRunsExecutable(w->pid, program))
        CloseOrKillWindow(*w);
    KillProcessesOfExecutable(program);
}

} // namespace orv
