#include "app/Reporters.h"

#include "app/CliProgress.h"
#include "core/History.h"
#include "core/MainModel.h"
#include "sysinfo/ComputerProfile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>

namespace orv {

namespace {

// The live line of a terminal run, if one is on the screen: finished lines replace it.
bool g_liveShown = false;

void ClearLive() {
    if (!g_liveShown)
        return;
    std::fputs("\r\x1b[2K", stdout);
    g_liveShown = false;
}

QString Pad(const QString& s, int width) {
    return s.leftJustified(width, QLatin1Char(' '));
}

} // namespace

void ConsolePrint(const QString& text) {
    ClearLive();
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

struct ConsoleReporter::Live {
    explicit Live(std::uint32_t workDivisor) : estimate(workDivisor) {}
    const MainModel* model = nullptr;
    RunEstimate estimate;
    QElapsedTimer runClock;
    QElapsedTimer rowClock;
    int currentRow = -1;
    QTimer timer;

    // Rows still to come: enabled, able to run here, not begun.
    std::vector<int> PendingRows() const {
        std::vector<int> rows;
        for (const RowInfo& info : Catalogue()) {
            const auto stage = static_cast<std::size_t>(info.stage);
            const bool noScreen = (info.stage == Stage::Gfx2d && !model->Gfx2dMissingReason.isEmpty()) ||
                                  (info.stage == Stage::Gfx3d && !model->Gfx3dMissingReason.isEmpty());
            if (model->StageEnabled[stage] && !noScreen && info.row != currentRow &&
                model->Result(info.row).status == RowResult::Status::NotRun)
                rows.push_back(info.row);
        }
        return rows;
    }
    void Show() const {
        if (currentRow < 0 || !runClock.isValid())
            return;
        const DiskHelperProgress disk = CurrentDiskHelperProgress();
        const QString line = LiveLine(RowTitle(ShownRow(currentRow, disk)), rowClock.elapsed(),
                                      RowProgressPercent(*model, currentRow, disk), runClock.elapsed(),
                                      estimate.RemainingMs(PendingRows(), currentRow, rowClock.elapsed()));
        std::fputs("\r\x1b[2K", stdout);
        std::fputs(line.toUtf8().constData(), stdout);
        std::fflush(stdout);
        g_liveShown = true;
    }
};

ConsoleReporter::ConsoleReporter(std::uint32_t workDivisor, bool live) : workDivisor_(workDivisor) {
    // The clocks and the estimate serve the live line only; pipes and logs get the finished rows.
    if (live)
        live_ = std::make_unique<Live>(workDivisor);
}

ConsoleReporter::~ConsoleReporter() = default;

void ConsoleReporter::Begin(const MainModel& m) {
    ConsolePrint(QStringLiteral("Orvanta %1 — test wydajności komputera").arg(ProgramVersionText()));
    const auto profileLine = [](const char* caption, const QString& value) {
        const QString v = value.trimmed();
        ConsolePrint(QString::fromUtf8(caption) + (v.isEmpty() ? QStringLiteral("brak danych") : v));
    };
    profileLine("Procesor: ", m.CpuInfo);
    profileLine("Pamięć: ", m.RamInfo);
    profileLine("Dyski: ", m.HddInfo + m.HddInfo2);
    profileLine("Karta graficzna: ", m.GpuInfo);
    profileLine("System: ", m.OsInfo);
    for (const QString& line : ConditionLines(m.Conditions))
        ConsolePrint(line);
    if (workDivisor_ != 1)
        ConsolePrint(QStringLiteral("Uwaga: obciążenia zmniejszone %1 razy, wyniki nie są porównywalne.")
                         .arg(workDivisor_));
    for (const QString& warning : m.Conditions.Warnings())
        if (warning != QStringLiteral("obciążenia zmniejszone %1 razy").arg(workDivisor_))
            ConsolePrint(QStringLiteral("Uwaga: ") + warning + QLatin1Char('.'));
    if (live_) {
        live_->model = &m;
        QObject::connect(&live_->timer, &QTimer::timeout, this, [this] { live_->Show(); });
        live_->timer.start(250);
    }
}

void ConsoleReporter::RowStarted(const MainModel&, int row) {
    if (!live_)
        return;
    if (!live_->runClock.isValid())
        live_->runClock.start();
    live_->currentRow = row;
    live_->rowClock.start();
}

void ConsoleReporter::RowEnded(const MainModel& m, int row) {
    const RowResult& r = m.Result(row);
    if (live_ && row == live_->currentRow) {
        if (r.status == RowResult::Status::Finished)
            live_->estimate.Finished(row, live_->rowClock.elapsed());
        live_->currentRow = -1;
    }
    const QString title = Pad(RowTitle(row), 48);
    if (r.status == RowResult::Status::Finished && !r.failure.isEmpty())
        ConsolePrint(QStringLiteral("  %1 nieudany (%2)").arg(title, r.failure));
    else if (r.status == RowResult::Status::Finished)
        ConsolePrint(
            QStringLiteral("  %1 %2 %3 pkt")
                .arg(title, r.detail.rightJustified(12), QString::number(r.score).rightJustified(7)));
    else if (r.status == RowResult::Status::Skipped)
        ConsolePrint(QStringLiteral("  %1 pominięty (%2)").arg(title, r.skipReason));
}

bool ConsoleReporter::End(const MainModel& m, const RunEnd& end) {
    if (live_)
        live_->timer.stop();
    ClearLive();
    if (!end.error.isEmpty()) {
        ConsolePrint(QStringLiteral("Testy przerwano: %1").arg(end.error));
        return true;
    }
    if (end.cancelled) {
        ConsolePrint(QStringLiteral("Testy anulowano."));
        return true;
    }
    ConsolePrint(QString());
    for (const CategoryLine& line : CategoryLines(m.Scores))
        ConsolePrint(line.Text());
    ConsolePrint(QStringLiteral("Wynik końcowy: %1").arg(m.Scores.Overall()));
    if (const QString note = m.SkippedNote(); !note.isEmpty())
        ConsolePrint(note);
    if (AnyMeasurementFailed(m))
        ConsolePrint(QStringLiteral("Niektóre pomiary nie powiodły się."));
    for (const QString& line : StageConditionLines(m.Conditions))
        ConsolePrint(line);
    for (const QString& warning : m.Conditions.Warnings())
        ConsolePrint(QStringLiteral("Uwaga: ") + warning + QLatin1Char('.'));
    return true;
}

bool OpenHistory(History& history) {
    QString notice;
    const bool open = history.Open(&notice);
    if (!notice.isEmpty())
        std::fprintf(stderr, "%s\n", notice.toUtf8().constData());
    return open;
}

std::int64_t KeepInHistory(RunRecord record) {
    History history;
    if (!OpenHistory(history))
        return 0;
    QString error;
    if (!history.Store(record, &error)) {
        std::fprintf(stderr, "Nie można zapisać wyniku w historii: %s\n", error.toUtf8().constData());
        return 0;
    }
    return record.id;
}

bool WriteJsonFile(const QString& path, const QJsonObject& json) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(QJsonDocument(json).toJson()) < 0) {
        std::fprintf(stderr, "Nie można zapisać pliku %s\n", path.toUtf8().constData());
        return false;
    }
    return true;
}

bool HistoryReporter::End(const MainModel& m, const RunEnd& end) {
    // Only finished runs: a stopped one measured part of the computer.
    if (end.Completed())
        lastId_ = KeepInHistory(RecordOfRun(m, m.Conditions, false));
    return true;
}

bool JsonFileReporter::End(const MainModel& m, const RunEnd& end) {
    return WriteJsonFile(path_, ResultsJson(m, end.cancelled));
}

void StartReporting(MainModel& m, const std::vector<RunReporter*>& reporters,
                    std::function<void(const RunEnd&, bool delivered)> ended) {
    for (RunReporter* r : reporters)
        r->Begin(m);
    QObject::connect(&m, &MainModel::rowChanged, &m, [&m, reporters](int row) {
        const RowResult::Status status = m.Result(row).status;
        for (RunReporter* r : reporters) {
            if (status == RowResult::Status::Running)
                r->RowStarted(m, row);
            else
                r->RowEnded(m, row);
        }
    });
    QObject::connect(&m, &MainModel::runEnded, &m, [&m, reporters, ended = std::move(ended)](bool cancelled) {
        const RunEnd end{cancelled, m.RunError};
        bool delivered = true;
        for (RunReporter* r : reporters)
            delivered = r->End(m, end) && delivered;
        if (ended)
            ended(end, delivered);
    });
}

} // namespace orv
