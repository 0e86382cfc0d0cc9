#include "app/Cli.h"
#include "app/Reporters.h"

#include "app/Startup.h"
#include "core/History.h"
#include "core/MainModel.h"
#include "core/RunExport.h"
#include "core/Sequencer.h"
#include "graphics2d/Graphics2d.h"
#include "graphics3d/Test3d.h"
#include "platform/MessageBoxes.h"
#include "platform/OffscreenGl.h"
#include "platform/ProcessExit.h"
#include "platform/SingleInstance.h"
#include "platform/Version.h"
#include "sysinfo/ComputerProfile.h"
#include "sysinfo/ConditionsMonitor.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
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

// Signals since the poll last looked: two that arrive between its looks are a second request.
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free, "touched from a signal handler");

// Repeats on a budget without --repeat stop here at the latest.
constexpr unsigned kMostRepeatsOnABudget = 100;
// The budget rule wants this many runs before it trusts a small spread.
constexpr int kFewestRepeatsToSettle = 3;

QString SignedPercent(double v) {
    return (v >= 0 ? QStringLiteral("+") : QString()) +
           QString::number(v, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','));
}

// The medians of repeated runs with their spreads.
void PrintRepeatSummary(const RunRecord& c) {
    ConsolePrint(QString());
    ConsolePrint(
        QStringLiteral("Mediana %1 powtórzeń (rozrzut: najniższy i najwyższy wynik względem mediany):")
            .arg(c.repeats));
    const auto line = [](const QString& title, std::int32_t score, const Spread& s, bool unstable) {
        ConsolePrint(QStringLiteral("  %1 %2 pkt  %3%/%4%%5")
                         .arg(title.leftJustified(48), QString::number(score).rightJustified(8),
                              SignedPercent(s.MinPercent()), SignedPercent(s.MaxPercent()),
                              unstable ? QStringLiteral("  niestabilny") : QString()));
    };
    for (const RowRecord& r : c.rows)
        if (r.Scored())
            line(r.title, r.score, r.scores, r.Unstable());
    for (const CategoryRecord& cat : c.categories)
        if (cat.score > 0)
            line(cat.caption.chopped(2), cat.score, cat.scores,
                 cat.scores.Percent() > kUnstableSpreadPercent);
    line(QStringLiteral("Wynik końcowy"), c.overall, c.overallScores,
         c.overallScores.Percent() > kUnstableSpreadPercent);
}

// What identifies this computer among the history's runs.
QString ThisComputer() {
    MainModel here;
    GetComputerInfo(here);
    return ComputerKey(RecordOfRun(here, {}, false).profile);
}

void OnInterrupt(int) {
    g_interrupts.fetch_add(1);
}

} // namespace

QString UsageText() {
    return QStringLiteral(
        "Użycie: orvanta [OPCJE]\n"
        "Test wydajności komputera. Bez opcji uruchamia okno programu.\n"
        "\n"
        "  --cli               przeprowadza testy bez okna i wypisuje wyniki\n"
        "  --json PLIK         (z --cli) zapisuje wyniki także w pliku JSON\n"
        "  --stages LISTA      (z --cli) etapy do wykonania, rozdzielone przecinkami:\n"
        "                      cpu,ram,hdd,2d,3d (domyślnie wszystkie)\n"
        "  --work-divisor N    (z --cli) dzieli liczbę iteracji obciążeń przez N;\n"
        "                      wyniki nie są wtedy porównywalne (do testów programu)\n"
        "  --repeat N          (z --cli) powtarza testy N razy i podaje medianę i rozrzut\n"
        "  --budget MINUTY     (z --cli) powtarza testy, aż minie czas albo rozrzut każdej\n"
        "                      kategorii spadnie poniżej 2% (najwyżej N razy z --repeat)\n"
        "  --offscreen         (z --cli) testy 2D i 3D rysują bez okien, przez EGL (także\n"
        "                      gdy jest ekran); bez ekranu (brak DISPLAY i WAYLAND_DISPLAY)\n"
        "                      tak jest zawsze\n"
        "  --history           wypisuje zapisane wyniki wcześniejszych testów\n"
        "  --compare [A] [B]   porównuje dwa zapisane testy (domyślnie dwa ostatnie\n"
        "                      testy tego komputera)\n"
        "  --export TEST --format json|csv|html PLIK\n"
        "                      zapisuje test z historii (numer albo last) w pliku;\n"
        "                      html to raport z wykresami, PLIK - to standardowe wyjście\n"
        "  --version           wypisuje wersję programu\n"
        "  -h, --help          wypisuje ten opis\n"
        "\n"
        "Etapy, których nie da się tu wykonać (np. grafika bez OpenGL), są pomijane\n"
        "i nie otrzymują punktów. Ctrl+C przerywa testy tak jak przycisk zatrzymania.\n"
        "Testy 2D i 3D rysują we własnych oknach, gdy jest ekran z OpenGL; Esc w ich\n"
        "oknie także przerywa testy. Bez ekranu rysują w buforach poza ekranem (EGL:\n"
        "urządzenie renderujące karty albo Mesa surfaceless), okna 2D w rozmiarze\n"
        "1024 × 768. Przełączniki grafiki 3D (np. -windowed, -forcevsync:1, -nostats)\n"
        "trafiają do testów 3D.\n");
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
        } else if (a == QLatin1String("--history")) {
            o.history = true;
        } else if (a == QLatin1String("--compare")) {
            o.compare = true;
            while (i + 1 < args.size() && o.compareRuns.size() < 2) {
                bool ok = false;
                const qint64 id = args[i + 1].toLongLong(&ok);
                if (!ok || id <= 0)
                    break;
                o.compareRuns.push_back(id);
                ++i;
            }
        } else if (a == QLatin1String("--export")) {
            o.exportRun = true;
            if (!value(&o.exportWhich))
                return std::nullopt;
        } else if (a == QLatin1String("--format")) {
            if (!value(&o.exportFormat))
                return std::nullopt;
            if (!ExportFormatNamed(o.exportFormat)) {
                *error = QStringLiteral("nieznany format: %1 (json, csv albo html)").arg(o.exportFormat);
                return std::nullopt;
            }
        } else if (o.exportRun && o.exportFile.isEmpty() &&
                   (a == QLatin1String("-") || !a.startsWith(QLatin1Char('-')))) {
            o.exportFile = a;
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
        } else if (a == QLatin1String("--offscreen")) {
            o.offscreen = true;
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
        } else if (a == QLatin1String("--repeat") || a == QLatin1String("--budget")) {
            QString n;
            if (!value(&n))
                return std::nullopt;
            bool ok = false;
            const unsigned v = n.toUInt(&ok);
            if (!ok || v == 0) {
                *error = QStringLiteral("niepoprawna wartość %1: %2").arg(a, n);
                return std::nullopt;
            }
            (a == QLatin1String("--repeat") ? o.repeat : o.budgetMinutes) = v;
            cliOnlySeen = true;
        } else if (DXUTIsCommandLineSwitch(a)) {
            o.frameworkSwitches << a;
        } else {
            *error = QStringLiteral("nieznana opcja: %1").arg(a);
            return std::nullopt;
        }
    }
    if (!o.exportFormat.isEmpty() && !o.exportRun) {
        *error = QStringLiteral("opcja --format działa tylko z --export");
        return std::nullopt;
    }
    if (o.exportRun) {
        if (o.exportFile.isEmpty()) {
            *error = QStringLiteral("opcja --export wymaga nazwy pliku");
            return std::nullopt;
        }
        if (o.exportFormat.isEmpty() && !ExportFormatOfFile(o.exportFile)) {
            *error = QStringLiteral("podaj format pliku: --format json, csv albo html");
            return std::nullopt;
        }
    }
    if (o.budgetMinutes > 0 && o.repeat == 1)
        o.repeat = kMostRepeatsOnABudget;
    if (cliOnlySeen && !o.cli && !o.help) {
        *error = QStringLiteral("opcje --json, --stages, --work-divisor, --repeat, --budget i --offscreen "
                                "działają tylko z --cli");
        return std::nullopt;
    }
    return o;
}

int ListHistory() {
    History history;
    if (!OpenHistory(history))
        return 1;
    const std::vector<RunRecord> runs = history.Runs();
    if (runs.empty()) {
        ConsolePrint(QStringLiteral("Historia wyników jest pusta (%1).").arg(history.Path()));
        return 0;
    }
    ConsolePrint(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9")
                     .arg(QStringLiteral("Nr").rightJustified(5), QStringLiteral("Data").leftJustified(16),
                          QStringLiteral("Wynik").rightJustified(8), QStringLiteral("CPU").rightJustified(8),
                          QStringLiteral("RAM").rightJustified(8), QStringLiteral("HDD").rightJustified(8),
                          QStringLiteral("2D").rightJustified(8), QStringLiteral("3D").rightJustified(8),
                          QStringLiteral("Uwagi")));
    for (const RunRecord& r : runs) {
        QStringList notes = r.conditions.Warnings();
        if (r.repeats > 1)
            notes.prepend(QStringLiteral("mediana %1 powtórzeń").arg(r.repeats));
        const auto cat = [&r](std::size_t i) {
            return QString::number(r.categories[i].score).rightJustified(8);
        };
        ConsolePrint(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9")
                         .arg(QString::number(r.id).rightJustified(5),
                              r.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")).leftJustified(16),
                              QString::number(r.overall).rightJustified(8), cat(0), cat(1), cat(2), cat(3),
                              cat(4), notes.join(QStringLiteral("; "))));
    }
    return 0;
}

int ExportRun(const CliOptions& options) {
    History history;
    if (!OpenHistory(history))
        return 1;
    QString error;
    // Only "last" needs to know which computer this is; gathering the profile is not free.
    const QString computer = NamesLastRun(options.exportWhich) ? ThisComputer() : QString();
    const std::optional<RunRecord> run = FindStoredRun(history, options.exportWhich, computer, &error);
    if (!run) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    const ExportFormat format = options.exportFormat.isEmpty() ? *ExportFormatOfFile(options.exportFile)
                                                               : *ExportFormatNamed(options.exportFormat);
    const QByteArray bytes = ExportRecord(*run, format, RunsUpTo(history, *run));
    if (options.exportFile == QLatin1String("-")) {
        const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                         stdout) == static_cast<std::size_t>(bytes.size());
        return written && std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!WriteWholeFile(options.exportFile, bytes, &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    ConsolePrint(QStringLiteral("Test nr %1 zapisano w pliku %2.").arg(run->id).arg(options.exportFile));
    return 0;
}

int CompareHistory(const std::vector<std::int64_t>& ids) {
    History history;
    if (!OpenHistory(history))
        return 1;
    std::vector<RunRecord> pair;
    if (ids.size() < 2) {
        // This computer's last runs fill in what was not named.
        std::vector<RunRecord> mine = history.Runs(ThisComputer());
        if (ids.size() == 1) {
            const auto a = history.Run(ids[0]);
            if (!a || mine.empty()) {
                std::fprintf(stderr, "Brak testu do porównania.\n");
                return 1;
            }
            pair = {*a, mine.back()};
        } else if (mine.size() >= 2) {
            pair = {mine[mine.size() - 2], mine.back()};
        } else {
            std::fprintf(stderr, "Historia tego komputera ma mniej niż dwa testy.\n");
            return 1;
        }
    } else {
        for (const std::int64_t id : ids) {
            const auto r = history.Run(id);
            if (!r) {
                std::fprintf(stderr, "Nie ma testu nr %lld w historii.\n", static_cast<long long>(id));
                return 1;
            }
            pair.push_back(*r);
        }
    }
    ConsolePrint(QStringLiteral("Porównanie testu nr %1 (%2) z testem nr %3 (%4):")
                     .arg(pair[0].id)
                     .arg(pair[0].date.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
                     .arg(pair[1].id)
                     .arg(pair[1].date.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    for (const Change& c : CompareRecords(pair[0], pair[1]))
        ConsolePrint(
            QStringLiteral("  %1 %2 → %3  %4%  %5")
                .arg(c.name.leftJustified(48), QString::number(qRound64(c.before)).rightJustified(8),
                     QString::number(qRound64(c.after)).rightJustified(8),
                     SignedPercent(c.percent).rightJustified(7),
                     c.real ? QStringLiteral("zmiana rzeczywista")
                            : QStringLiteral("w granicach szumu (rozrzut %1%)").arg(qRound(c.noisePercent))));
    return 0;
}

int RunCli(int& argc, char** argv, const CliOptions& options) {
    // From the very start: a signal that comes early is kept and acted on once the loop runs.
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool graphics = options.stages[static_cast<std::size_t>(Stage::Gfx2d)] ||
                          options.stages[static_cast<std::size_t>(Stage::Gfx3d)];
    // Without a display, or when asked, the graphics stages draw offscreen through EGL. Their windows
    // are still Qt's objects: Qt's offscreen platform makes them, and never shows them anywhere.
    bool offscreen = graphics && (options.offscreen || !display);
    SetOffscreenGraphics(offscreen);
    if (offscreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The graphics tests draw in windows of their own; everything else needs no screen.
    const bool gui2d = graphics && (display || offscreen);
    // A display that cannot be reached must not end the run: Qt falls back to its offscreen platform.
    if (gui2d && !offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ? "xcb;offscreen" : "wayland;xcb;offscreen");
    std::unique_ptr<QCoreApplication> app;
    if (gui2d)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    // A display that could not be reached leaves Qt on a platform without one: draw offscreen then too.
    if (gui2d && !offscreen &&
        (QGuiApplication::platformName() == QLatin1String("offscreen") ||
         QGuiApplication::platformName() == QLatin1String("minimal"))) {
        offscreen = true;
        SetOffscreenGraphics(true);
    }
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
    if (gui2d) {
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

    GetComputerInfo(model);
    // On a terminal one live line follows the running test; pipes and logs get the finished rows only.
    const char* term = std::getenv("TERM");
    const bool live = ::isatty(STDOUT_FILENO) == 1 && !(term && std::strcmp(term, "dumb") == 0);
    ConditionsMonitor conditions(model);
    ConsoleReporter console(options.workDivisor, live);
    HistoryReporter history;
    std::unique_ptr<JsonFileReporter> json;
    // The conditions go first: the others report what they found. Repeats are kept and written as one.
    const bool repeating = options.repeat > 1;
    std::vector<RunReporter*> reporters{&conditions, &console};
    if (!repeating)
        reporters.push_back(&history);
    if (!options.jsonFile.isEmpty() && !repeating) {
        json = std::make_unique<JsonFileReporter>(options.jsonFile);
        reporters.push_back(json.get());
    }
    std::vector<RunRecord> repeats;
    QElapsedTimer budgetClock;
    budgetClock.start();
    qint64 lastRunMs = 0;
    StartReporting(model, reporters, [&](const RunEnd& end, bool delivered) {
        if (repeating && end.Completed()) {
            repeats.push_back(RecordOfRun(model, model.Conditions, false));
            const qint64 elapsed = budgetClock.elapsed();
            lastRunMs = elapsed - lastRunMs;
            const RunRecord combined = CombineRuns(repeats);
            bool more = repeats.size() < options.repeat;
            if (more && options.budgetMinutes > 0) {
                // A run that would end past the budget is not begun.
                const qint64 budgetMs = qint64(options.budgetMinutes) * 60000;
                const bool settled =
                    static_cast<int>(repeats.size()) >= kFewestRepeatsToSettle && SpreadsSettled(combined);
                more = !settled && elapsed + lastRunMs <= budgetMs;
            }
            lastRunMs = elapsed;
            if (more) {
                ConsolePrint(QStringLiteral("Powtórzenie %1…").arg(repeats.size() + 1));
                QTimer::singleShot(0, &model, [&model] {
                    if (!RozpocznijTestyBtnClick(model))
                        QCoreApplication::exit(kExitRunError);
                });
                return;
            }
            PrintRepeatSummary(combined);
            RunRecord stored = combined;
            stored.id = KeepInHistory(combined);
            if (!options.jsonFile.isEmpty() && !WriteJsonFile(options.jsonFile, RecordJson(stored)))
                delivered = false;
        }
        int exitCode = 0;
        if (!end.error.isEmpty())
            exitCode = kExitRunError;
        else if (end.cancelled)
            exitCode = kExitCancelled;
        else if (AnyMeasurementFailed(model))
            exitCode = kExitMeasurementFailed;
        if (!delivered)
            exitCode = 1;
        QCoreApplication::exit(exitCode);
    });

    QTimer interruptPoll;
    QObject::connect(&interruptPoll, &QTimer::timeout, &model, [&model] {
        const int interrupts = g_interrupts.exchange(0);
        if (interrupts == 0)
            return;
        // A running run stops as with the stop button; in any other state, or asked again, we go now.
        if (interrupts == 1 && model.RunInProgress && !model.CancelRequested && model.Visible(ctl::StopBtn)) {
            StopBtnClick(model);
            return;
        }
        // A stage may be waiting in a loop of its own (the processor's workers finishing their workload),
        // which leaving the event loop would not end: the process ends here, as closing the window does.
        ConsolePrint(QStringLiteral("Testy anulowano."));
        if (model.Hooks.StopDiskHelper)
            model.Hooks.StopDiskHelper();
        model.Harness.TerminateAllWorkers(true);
        if (model.Hooks.RemoveTemporaryData)
            model.Hooks.RemoveTemporaryData(model);
        std::fflush(stdout);
        std::fflush(stderr);
        EndProcessNow(kExitCancelled);
    });
    interruptPoll.start(100);

    QTimer::singleShot(0, &model, [&model] {
        // A run that cannot start has said why: nothing will end it later.
        if (!RozpocznijTestyBtnClick(model))
            QCoreApplication::exit(kExitRunError);
    });
    const int code = app->exec();
    model.Harness.TerminateAllWorkers(true);
    return code;
}

} // namespace orv
