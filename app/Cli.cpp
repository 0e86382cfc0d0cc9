#include "app/Cli.h"
#include "app/CliProgress.h"

#include "app/Startup.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "graphics2d/Graphics2d.h"
#include "graphics3d/Test3d.h"
#include "platform/MessageBoxes.h"
#include "platform/SingleInstance.h"
#include "platform/Version.h"
#include "sysinfo/ComputerProfile.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace orv {

namespace {

const char* const kStageNames[kStageCount] = {"cpu", "ram", "hdd", "2d", "3d"};

// Exit status of a command-line run.
constexpr int kExitRunError = 1;          // the run could not start or stopped on an error
constexpr int kExitMeasurementFailed = 3; // the run ended, some measurement failed
constexpr int kExitCancelled = 130;       // Ctrl+C or SIGTERM

bool AnyMeasurementFailed(const MainModel& m) {
    for (const RowInfo& info : Catalogue())
        if (!m.Result(info.row).failure.isEmpty())
            return true;
    return false;
}

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) {
    g_interrupted.store(true);
}

// The live line of a terminal run, if one is on the screen: finished lines replace it.
bool g_liveShown = false;

void ClearLive() {
    if (!g_liveShown)
        return;
    std::fputs("\r\x1b[2K", stdout);
    g_liveShown = false;
}

void Print(const QString& text) {
    ClearLive();
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString Pad(const QString& s, int width) {
    return s.leftJustified(width, QLatin1Char(' '));
}

QString StatusText(RowResult::Status s) {
    switch (s) {
    case RowResult::Status::Finished:
        return QStringLiteral("finished");
    case RowResult::Status::Skipped:
        return QStringLiteral("skipped");
    case RowResult::Status::Running:
        return QStringLiteral("interrupted");
    case RowResult::Status::NotRun:
        break;
    }
    return QStringLiteral("not-run");
}

QJsonObject ResultsJson(const MainModel& m, bool cancelled) {
    QJsonArray rows;
    for (const RowInfo& info : Catalogue()) {
        const RowResult& r = m.Result(info.row);
        QJsonObject o;
        o[QStringLiteral("row")] = QString::fromLatin1(info.suffix);
        o[QStringLiteral("title")] = QString::fromUtf8(info.title);
        if (r.status == RowResult::Status::Finished && !r.failure.isEmpty()) {
            // The window shows its usual texts; a report must not pass them off as a measurement.
            o[QStringLiteral("status")] = QStringLiteral("failed");
            o[QStringLiteral("reason")] = r.failure;
            rows.append(o);
            continue;
        }
        o[QStringLiteral("status")] = StatusText(r.status);
        if (r.status == RowResult::Status::Finished) {
            o[QStringLiteral("value")] = r.value;
            o[QStringLiteral("unit")] = r.unit;
            o[QStringLiteral("detail")] = r.detail;
            o[QStringLiteral("score")] = r.score;
        } else if (r.status == RowResult::Status::Skipped) {
            o[QStringLiteral("reason")] = r.skipReason;
        }
        rows.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("program")] = QStringLiteral("Orvanta");
    root[QStringLiteral("version")] = ProgramVersionText();
    root[QStringLiteral("date")] = QDateTime::currentDateTime().toString(Qt::ISODate);
    root[QStringLiteral("boostMode")] = m.Scores.BoostMode;
    root[QStringLiteral("cancelled")] = cancelled;
    root[QStringLiteral("rows")] = rows;
    if (!cancelled) {
        const auto& s = m.Scores.ScoreTable;
        QJsonObject cat;
        cat[QStringLiteral("cpu")] = s[kScoreCpu];
        cat[QStringLiteral("ram")] = s[kScoreRam];
        cat[QStringLiteral("hdd")] = s[kScoreHdd];
        cat[QStringLiteral("2d")] = s[kScore2d];
        cat[QStringLiteral("3d")] = m.Scores.Category3d();
        root[QStringLiteral("categories")] = cat;
        root[QStringLiteral("overall")] = m.Scores.Overall();
    }
    root[QStringLiteral("skipped")] = QJsonArray::fromStringList(m.SkippedCategories());
    return root;
}

} // namespace

QString UsageText() {
    return QStringLiteral("Użycie: orvanta [OPCJE]\n"
                          "Test wydajności komputera. Bez opcji uruchamia okno programu.\n"
                          "\n"
                          "  --cli               przeprowadza testy bez okna i wypisuje wyniki\n"
                          "  --json PLIK         (z --cli) zapisuje wyniki także w pliku JSON\n"
                          "  --stages LISTA      (z --cli) etapy do wykonania, rozdzielone przecinkami:\n"
                          "                      cpu,ram,hdd,2d,3d (domyślnie wszystkie)\n"
                          "  --work-divisor N    (z --cli) dzieli liczbę iteracji obciążeń przez N;\n"
                          "                      wyniki nie są wtedy porównywalne (do testów programu)\n"
                          "  --version           wypisuje wersję programu\n"
                          "  -h, --help          wypisuje ten opis\n"
                          "\n"
                          "Etapy, których nie da się tu wykonać (np. grafika bez ekranu), są pomijane\n"
                          "i nie otrzymują punktów. Ctrl+C przerywa testy tak jak przycisk zatrzymania.\n"
                          "Testy 2D i 3D rysują we własnych oknach (potrzebny ekran z OpenGL); Esc w ich\n"
                          "oknie także przerywa testy. Przełączniki grafiki 3D (np. -windowed,\n"
                          "-forcevsync:1, -nostats) trafiają do testów 3D.\n");
}

std::optional<CliOptions> ParseOptions(const QStringList& args, QString* error) {
    CliOptions o;
    bool cliOnlySeen = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("opcja %1 wymaga wartości").arg(a);
                return false;
            }
            *out = args[++i];
            return true;
        };
        if (a == QLatin1String("--cli")) {
            o.cli = true;
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            o.help = true;
        } else if (a == QLatin1String("--version")) {
            o.version = true;
        } else if (a == QLatin1String("--json")) {
            if (!value(&o.jsonFile))
                return std::nullopt;
            cliOnlySeen = true;
        } else if (a == QLatin1String("--stages")) {
            QString list;
            if (!value(&list))
                return std::nullopt;
            o.stages.fill(false);
            for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                bool known = false;
                for (int s = 0; s < kStageCount; ++s) {
                    if (part.trimmed() == QLatin1String(kStageNames[s])) {
                        o.stages[static_cast<std::size_t>(s)] = true;
                        known = true;
                    }
                }
                if (!known) {
                    *error = QStringLiteral("nieznany etap: %1").arg(part);
                    return std::nullopt;
                }
            }
            cliOnlySeen = true;
        } else if (a == QLatin1String("--work-divisor")) {
            QString n;
            if (!value(&n))
                return std::nullopt;
            bool ok = false;
            o.workDivisor = n.toUInt(&ok);
            if (!ok || o.workDivisor == 0) {
                *error = QStringLiteral("niepoprawna wartość --work-divisor: %1").arg(n);
                return std::nullopt;
            }
            cliOnlySeen = true;
        } else if (DXUTIsCommandLineSwitch(a)) {
            o.frameworkSwitches << a;
        } else {
            *error = QStringLiteral("nieznana opcja: %1").arg(a);
            return std::nullopt;
        }
    }
    if (cliOnlySeen && !o.cli && !o.help) {
        *error = QStringLiteral("opcje --json, --stages i --work-divisor działają tylko z --cli");
        return std::nullopt;
    }
    return o;
}

int RunCli(int& argc, char** argv, const CliOptions& options) {
    // From the very start: a signal that comes early is kept and acted on once the loop runs.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    // The graphics tests draw in windows of their own; everything else needs no screen.
    const bool gui2d = display && (options.stages[static_cast<std::size_t>(Stage::Gfx2d)] ||
                                   options.stages[static_cast<std::size_t>(Stage::Gfx3d)]);
    // A display that cannot be reached must not end the run: fall back to no screen at all.
    if (gui2d && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (gui2d)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const bool screen = gui2d && QGuiApplication::platformName() != QLatin1String("offscreen") &&
                        QGuiApplication::platformName() != QLatin1String("minimal");
    SetMessageBoxes(nullptr);
    SetConsoleDefaultAnswer(true);

    SingleInstanceLock lock(kInstanceName);
    if (!lock.TryAcquire()) {
        std::fprintf(stderr, "%s\n", kAlreadyRunning.toUtf8().constData());
        return 1;
    }

    MainModel model;
    InitMainModel(model);
    std::unique_ptr<SingleInstanceLock> dataLock;
    if (!ClaimDataFolder(model, &dataLock)) {
        std::fprintf(stderr, "%s\n", kAlreadyRunning.toUtf8().constData());
        return 1;
    }
    if (!LoadArchiveEngine(model))
        return 1;
    model.WorkDivisor = options.workDivisor;
    for (int s = 0; s < kStageCount; ++s)
        model.StageEnabled[static_cast<std::size_t>(s)] = options.stages[static_cast<std::size_t>(s)];
    DXUTSetCommandLineArguments(options.frameworkSwitches);
    if (screen) {
        model.Gfx2dWindows[0] = CreateTest2dFrm(model, 1);
        model.Gfx2dWindows[1] = CreateTest2dFrm(model, 2);
        QString reason;
        if (Test3dAvailable(&reason)) {
            for (int i = 0; i < 3; ++i)
                model.Gfx3dWindows[static_cast<std::size_t>(i)] = CreateTest3dFrm(model, i + 1);
        } else {
            model.Gfx3dMissingReason = reason;
        }
    } else {
        model.Gfx2dMissingReason = QStringLiteral("brak ekranu");
        model.Gfx3dMissingReason = QStringLiteral("brak ekranu");
    }

    Print(QStringLiteral("Orvanta %1 — test wydajności komputera").arg(ProgramVersionText()));
    GetComputerInfo(model);
    const auto profileLine = [](const char* caption, const QString& value) {
        const QString v = value.trimmed();
        Print(QString::fromUtf8(caption) + (v.isEmpty() ? QStringLiteral("brak danych") : v));
    };
    profileLine("Procesor: ", model.CpuInfo);
    profileLine("Pamięć: ", model.RamInfo);
    profileLine("Dyski: ", model.HddInfo + model.HddInfo2);
    profileLine("Karta graficzna: ", model.GpuInfo);
    profileLine("System: ", model.OsInfo);
    if (options.workDivisor != 1)
        Print(QStringLiteral("Uwaga: obciążenia zmniejszone %1 razy, wyniki nie są porównywalne.")
                  .arg(options.workDivisor));

    // On a terminal one live line follows the running test; pipes and logs get the finished rows only.
    const char* term = std::getenv("TERM");
    const bool live = ::isatty(STDOUT_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
    RunEstimate estimate(options.workDivisor);
    QElapsedTimer runClock;
    QElapsedTimer rowClock;
    int currentRow = -1;
    const auto pendingRows = [&model, &currentRow] {
        std::vector<int> rows;
        for (const RowInfo& info : Catalogue()) {
            const auto stage = static_cast<std::size_t>(info.stage);
            const bool noScreen = (info.stage == Stage::Gfx2d && !model.Gfx2dMissingReason.isEmpty()) ||
                                  (info.stage == Stage::Gfx3d && !model.Gfx3dMissingReason.isEmpty());
            if (model.StageEnabled[stage] && !noScreen && info.row != currentRow &&
                model.Result(info.row).status == RowResult::Status::NotRun)
                rows.push_back(info.row);
        }
        return rows;
    };
    QTimer liveTimer;
    QObject::connect(&liveTimer, &QTimer::timeout, &model, [&] {
        if (currentRow < 0 || !runClock.isValid())
            return;
        const DiskHelperProgress disk = CurrentDiskHelperProgress();
        const QString line = LiveLine(RowTitle(ShownRow(currentRow, disk)), rowClock.elapsed(),
                                      RowProgressPercent(model, currentRow, disk), runClock.elapsed(),
                                      estimate.RemainingMs(pendingRows(), currentRow, rowClock.elapsed()));
        std::fputs("\r\x1b[2K", stdout);
        std::fputs(line.toUtf8().constData(), stdout);
        std::fflush(stdout);
        g_liveShown = true;
    });
    if (live)
        liveTimer.start(250);

    QObject::connect(&model, &MainModel::rowChanged, &model, [&, live](int row) {
        const RowResult& r = model.Result(row);
        if (r.status == RowResult::Status::Running) {
            if (!runClock.isValid())
                runClock.start();
            currentRow = row;
            rowClock.start();
            return;
        }
        if (row == currentRow) {
            if (r.status == RowResult::Status::Finished)
                estimate.Finished(row, rowClock.elapsed());
            currentRow = -1;
        }
        if (live)
            ClearLive();
        const QString title = Pad(RowTitle(row), 48);
        if (r.status == RowResult::Status::Finished && !r.failure.isEmpty())
            Print(QStringLiteral("  %1 nieudany (%2)").arg(title, r.failure));
        else if (r.status == RowResult::Status::Finished)
            Print(QStringLiteral("  %1 %2 %3 pkt")
                      .arg(title, r.detail.rightJustified(12), QString::number(r.score).rightJustified(7)));
        else if (r.status == RowResult::Status::Skipped)
            Print(QStringLiteral("  %1 pominięty (%2)").arg(title, r.skipReason));
    });

    int exitCode = 0;
    QObject::connect(&model, &MainModel::runEnded, &model, [&](bool cancelled) {
        liveTimer.stop();
        ClearLive();
        if (!model.RunError.isEmpty()) {
            Print(QStringLiteral("Testy przerwano: %1").arg(model.RunError));
            exitCode = kExitRunError;
        } else if (cancelled) {
            Print(QStringLiteral("Testy anulowano."));
            exitCode = kExitCancelled;
        } else {
            const auto& s = model.Scores.ScoreTable;
            Print(QString());
            Print(QStringLiteral("CPU: %1").arg(s[kScoreCpu]));
            Print(QStringLiteral("RAM: %1").arg(s[kScoreRam]));
            Print(QStringLiteral("HDD: %1").arg(s[kScoreHdd]));
            Print(QStringLiteral("2D: %1").arg(s[kScore2d]));
            Print(QStringLiteral("3D: %1").arg(model.Scores.Category3d()));
            Print(QStringLiteral("Wynik końcowy: %1").arg(model.Scores.Overall()));
            if (const QString note = model.SkippedNote(); !note.isEmpty())
                Print(note);
            if (AnyMeasurementFailed(model)) {
                Print(QStringLiteral("Niektóre pomiary nie powiodły się."));
                exitCode = kExitMeasurementFailed;
            }
        }
        if (!options.jsonFile.isEmpty()) {
            QFile f(options.jsonFile);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                f.write(QJsonDocument(ResultsJson(model, cancelled)).toJson()) < 0) {
                std::fprintf(stderr, "Nie można zapisać pliku %s\n", options.jsonFile.toUtf8().constData());
                exitCode = 1;
            }
        }
        QCoreApplication::exit(exitCode);
    });

    bool leftAtOnce = false;
    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &model, [&model, &leftAtOnce] {
        if (!g_interrupted.exchange(false))
            return;
        // A running run stops as with the stop button; in any other state, or asked again, we go now.
        if (model.RunInProgress && !model.CancelRequested && model.Visible(ctl::StopBtn)) {
            StopBtnClick(model);
            return;
        }
        Print(QStringLiteral("Testy anulowano."));
        if (model.Hooks.StopDiskHelper)
            model.Hooks.StopDiskHelper();
        leftAtOnce = true;
        QCoreApplication::exit(kExitCancelled);
    });
    interruptPoll.start(100);

    QTimer::singleShot(0, &model, [&model] {
        // A run that cannot start has said why: nothing will end it later.
        if (!RozpocznijTestyBtnClick(model))
            QCoreApplication::exit(kExitRunError);
    });
    const int code = app->exec();
    model.Harness.TerminateAllWorkers(true);
    // Left in the middle of a run: its files go once its workers have stopped writing them.
    if (leftAtOnce && model.Hooks.RemoveTemporaryData)
        model.Hooks.RemoveTemporaryData(model);
    return code;
}

} // namespace orv
