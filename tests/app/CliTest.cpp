#include "platform/SingleInstance.h"

#include "tests/support/TestEnv.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

using namespace orv;

namespace {

struct Outcome {
    int code = -1;
    QString out, err;
};

// Runs the program headless; `shellPrefix` (e.g. a file-size limit) is applied by a shell first.
Outcome RunOrvanta(const QStringList& args, int timeoutMs = 60000, QString dataDir = {},
                   const QString& shellPrefix = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (dataDir.isEmpty())
        dataDir = test::MakeTempDir(QStringLiteral("clidata"));
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), dataDir);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    if (shellPrefix.isEmpty()) {
        p.start(test::BinDir() + QStringLiteral("/orvanta"), args);
    } else {
        QString cmd = shellPrefix + QStringLiteral("; exec '") + test::BinDir() + QStringLiteral("/orvanta'");
        for (const QString& a : args)
            cmd += QLatin1Char(' ') + a;
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), cmd});
    }
    Outcome o;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

} // namespace

TEST(Cli, HelpGoesToStdoutAndSucceeds) {
    const Outcome o = RunOrvanta({QStringLiteral("--help")});
    EXPECT_EQ(o.code, 0);
    EXPECT_TRUE(o.out.contains(QStringLiteral("--cli")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("--json")));
    EXPECT_TRUE(o.err.isEmpty());
}

TEST(Cli, BadOptionsPrintUsageOnStderrAndExitTwo) {
    for (const QStringList& args :
         {QStringList{QStringLiteral("--bogus")},
          QStringList{QStringLiteral("--json"), QStringLiteral("x.json")},
          QStringList{QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu,gpu")},
          QStringList{QStringLiteral("--cli"), QStringLiteral("--json")},
          QStringList{QStringLiteral("--cli"), QStringLiteral("--work-divisor"), QStringLiteral("0")}}) {
        const Outcome o = RunOrvanta(args);
        EXPECT_EQ(o.code, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(o.err.contains(QStringLiteral("Użycie"))) << o.err.toStdString();
        EXPECT_TRUE(o.out.isEmpty());
    }
}

TEST(Cli, VersionIsTheProgramVersion) {
    const Outcome o = RunOrvanta({QStringLiteral("--version")});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.out.trimmed(), QStringLiteral("orvanta 1.2.0.0"));
}

TEST(Cli, RunPrintsRowsCategoriesAndWritesJson) {
    const QString json = test::MakeTempDir(QStringLiteral("json")) + QStringLiteral("/wyniki.json");
    const Outcome o = RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"),
                                  QStringLiteral("cpu,2d"), QStringLiteral("--work-divisor"),
                                  QStringLiteral("2000"), QStringLiteral("--json"), json});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    for (const char* line : {"CPU: ", "RAM: ", "HDD: ", "2D: ", "3D: ", "Wynik końcowy: "})
        EXPECT_TRUE(o.out.contains(QString::fromUtf8(line))) << line;
    EXPECT_TRUE(o.out.contains(QStringLiteral("Liczenie całek")));
    EXPECT_TRUE(o.out.contains(QStringLiteral("etap wyłączony")));
    EXPECT_FALSE(o.err.contains(QStringLiteral("Potwierdzenie"))); // no question asked

    QFile f(json);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(root[QStringLiteral("version")].toString(), QStringLiteral("1.2.0.0"));
    EXPECT_FALSE(root[QStringLiteral("date")].toString().isEmpty());
    EXPECT_FALSE(root[QStringLiteral("cancelled")].toBool());
    const QJsonArray rows = root[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), 21);
    int cpuSum = 0, gfx2dSum = 0;
    for (const QJsonValue& v : rows) {
        const QJsonObject r = v.toObject();
        const QString id = r[QStringLiteral("row")].toString();
        const QString status = r[QStringLiteral("status")].toString();
        const int n = id.toInt();
        if (id == QLatin1String("15b") || (n >= 12 && n <= 15) || n >= 18) {
            EXPECT_EQ(status, QStringLiteral("skipped")) << id.toStdString();
            EXPECT_EQ(r[QStringLiteral("reason")].toString(), QStringLiteral("etap wyłączony"));
        } else if (status == QLatin1String("finished")) {
            // A finished row carries its time, unit and the score shown; the 2D rows were drawn
            // offscreen, there being no display.
            EXPECT_EQ(r[QStringLiteral("unit")].toString(), QStringLiteral("ms"));
            EXPECT_EQ(r[QStringLiteral("detail")].toString(),
                      QString::number(r[QStringLiteral("value")].toInteger()) + QStringLiteral(" ms"));
            (n >= 16 ? gfx2dSum : cpuSum) += r[QStringLiteral("score")].toInt();
        } else {
            EXPECT_LT(n, 16) << "2D row " << n << " " << status.toStdString();
            EXPECT_EQ(status, QStringLiteral("skipped"));
        }
        EXPECT_FALSE(r.contains(QStringLiteral("score")) && status != QLatin1String("finished"));
    }
    const QJsonObject cat = root[QStringLiteral("categories")].toObject();
    EXPECT_EQ(cat[QStringLiteral("cpu")].toInt(), cpuSum / 12);
    EXPECT_EQ(cat[QStringLiteral("ram")].toInt(), 0);
    EXPECT_GT(gfx2dSum, 0);
    EXPECT_EQ(cat[QStringLiteral("2d")].toInt(), gfx2dSum / 2);
    EXPECT_EQ(root[QStringLiteral("overall")].toInt(), (cpuSum / 12 + gfx2dSum / 2) / 5);
}

// Runs kept by the command line are listed, compared and exported by the program itself.
TEST(Cli, StoredRunsAreListedComparedAndExported) {
    const QStringList run{QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu"),
                          QStringLiteral("--work-divisor"), QStringLiteral("4000")};
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(RunOrvanta(run).code, 0);

    Outcome o = RunOrvanta({QStringLiteral("--history")});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    const QStringList lines = o.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << o.out.toStdString(); // the heading and two runs
    EXPECT_TRUE(lines[2].contains(QStringLiteral("obciążenia zmniejszone 4000 razy")))
        << lines[2].toStdString();
    const QString lastId = lines[2].trimmed().section(QLatin1Char(' '), 0, 0);

    o = RunOrvanta({QStringLiteral("--compare")});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("z testem nr %1").arg(lastId))) << o.out.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Liczenie całek")));

    const QString html = test::MakeTempDir(QStringLiteral("export")) + QStringLiteral("/raport.html");
    o = RunOrvanta({QStringLiteral("--export"), QStringLiteral("last"), QStringLiteral("--format"),
                    QStringLiteral("html"), html});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    QFile f(html);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral("<svg")));
    EXPECT_TRUE(page.contains(QStringLiteral("Liczenie całek")));

    o = RunOrvanta({QStringLiteral("--export"), lastId, QStringLiteral("--format"), QStringLiteral("csv"),
                    QStringLiteral("-")});
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.startsWith(QStringLiteral("row,title,status,value,unit,detail,reason,score\r\n")))
        << o.out.left(200).toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Liczenie całek")));

    o = RunOrvanta({QStringLiteral("--export"), QStringLiteral("999999"), QStringLiteral("x.json")});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("Nie ma testu nr 999999"))) << o.err.toStdString();
}

// A shell without a session's runtime folder: the program and its disk helper choose one quietly.
TEST(Cli, RunWithoutARuntimeFolderPrintsOnlyItsOwnLines) {
    const Outcome o = RunOrvanta(
        {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("ram,hdd"),
         QStringLiteral("--work-divisor"), QStringLiteral("2000")},
        120000, {},
        QStringLiteral("unset XDG_RUNTIME_DIR; export TMPDIR=") + test::MakeTempDir(QStringLiteral("tmp")));
    ASSERT_EQ(o.code, 0) << o.err.toStdString();
    EXPECT_TRUE(o.out.contains(QStringLiteral("Wynik końcowy")));
    EXPECT_FALSE(o.err.contains(QStringLiteral("XDG_RUNTIME_DIR"))) << o.err.toStdString();
    EXPECT_FALSE(o.err.contains(QStringLiteral("QStandardPaths"))) << o.err.toStdString();
}

// On a terminal a live line follows the running test; without one (every other test here) only the
// finished rows are printed.
TEST(Cli, TerminalRunShowsALiveLineAndPipesDoNot) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), test::MakeTempDir(QStringLiteral("tty")));
    env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    // script(1) gives the program a terminal of its own.
    p.start(QStringLiteral("script"),
            {QStringLiteral("-qec"),
             test::BinDir() + QStringLiteral("/orvanta --cli --stages cpu --work-divisor 200"),
             QStringLiteral("/dev/null")});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("\r\x1b[2K"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("pozostało ok."))) << out.toStdString();
    // A finished row replaces the live line.
    EXPECT_TRUE(out.contains(QRegularExpression(QStringLiteral("\x1b\\[2K  [^\r\n]* pkt\r?\n"))))
        << out.toStdString();

    const Outcome piped =
        RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("ram"),
                    QStringLiteral("--work-divisor"), QStringLiteral("2000")});
    ASSERT_EQ(piped.code, 0);
    EXPECT_FALSE(piped.out.contains(QChar(0x1b)));
    EXPECT_FALSE(piped.out.contains(QStringLiteral("pozostało")));
}

TEST(Cli, SecondCopyIsRefusedWithTheMessage) {
    SingleInstanceLock held(QStringLiteral("Orvanta"));
    ASSERT_TRUE(held.TryAcquire());
    const Outcome o =
        RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("ram")});
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("Orvanta jest już uruchomiony.")));
    EXPECT_FALSE(o.out.contains(QStringLiteral("Wynik końcowy")));
}

TEST(Cli, InterruptStopsTheRunLikeTheStopButton) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), test::MakeTempDir(QStringLiteral("clidata")));
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(test::BinDir() + QStringLiteral("/orvanta"),
            {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu"),
             QStringLiteral("--work-divisor"), QStringLiteral("4")});
    ASSERT_TRUE(p.waitForStarted());
    // Wait for the banner, so that the run is under way, then interrupt during the first test.
    ASSERT_TRUE(p.waitForReadyRead(10000));
    QThread::msleep(100);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(out.contains(QStringLiteral("Testy anulowano.")));
    EXPECT_TRUE(out.contains(QStringLiteral("Liczenie całek")));
    // Later tests never started, so they are neither finished nor listed as skipped.
    EXPECT_FALSE(out.contains(QStringLiteral("Testowanie pętli")));
    EXPECT_FALSE(out.contains(QStringLiteral("Wynik końcowy")));
}

// A data folder that cannot be written ends the run at once with the message, never a hang.
TEST(CliFailures, UnwritableDataFolderExitsWithTheMessage) {
    const Outcome o = RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu")},
                                 30000, QStringLiteral("/proc/orvanta-data"));
    ASSERT_NE(o.code, -1) << "still running after 30 s";
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("Nie można zapisać pliku"))) << o.err.toStdString();
    EXPECT_FALSE(o.out.contains(QStringLiteral("Wynik końcowy")));
}

// A disk that fills while the pictures are written: the same, and no truncated picture stays.
TEST(CliFailures, FullDiskWhilePreparingLeavesNoTruncatedPicture) {
    const QString data = test::MakeTempDir(QStringLiteral("fulldata"));
    const Outcome o = RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu")},
                                 30000, data, QStringLiteral("trap '' XFSZ; ulimit -f 64"));
    ASSERT_NE(o.code, -1) << "still running after 30 s";
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("logo"))) << o.err.toStdString();
    for (const QString& name : QDir(data).entryList({QStringLiteral("logo*.png")}, QDir::Files))
        EXPECT_GT(QFileInfo(data + QLatin1Char('/') + name).size(), 64 * 1024)
            << "a truncated " << name.toStdString();
}

// A disk measurement that fails is reported as failed with the helper's reason, and the exit says so.
TEST(CliFailures, FailedDiskMeasurementIsNotAResult) {
    const QString data = test::MakeTempDir(QStringLiteral("hddfail"));
    const QString json = data + QStringLiteral("/wyniki.json");
    const Outcome o = RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("hdd"),
                                  QStringLiteral("--json"), json},
                                 120000, data, QStringLiteral("trap '' XFSZ; ulimit -f 16384"));
    ASSERT_NE(o.code, -1);
    EXPECT_EQ(o.code, 3) << o.out.toStdString();
    // The file-size limit stops the write; a disk short of the volume is refused before it starts.
    const auto helpersWords = [](const QString& reason) {
        return reason.startsWith(QStringLiteral("błąd zapisu")) ||
               reason.startsWith(QStringLiteral("za mało miejsca"));
    };
    EXPECT_TRUE(o.out.contains(QStringLiteral("nieudany (błąd zapisu")) ||
                o.out.contains(QStringLiteral("nieudany (za mało miejsca")))
        << o.out.toStdString() << o.err.toStdString();
    QFile f(json);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonArray rows = QJsonDocument::fromJson(f.readAll()).object()[QStringLiteral("rows")].toArray();
    int failed = 0;
    for (const QJsonValue& v : rows) {
        const QJsonObject r = v.toObject();
        if (r[QStringLiteral("status")].toString() != QLatin1String("failed"))
            continue;
        ++failed;
        EXPECT_TRUE(helpersWords(r[QStringLiteral("reason")].toString()))
            << r[QStringLiteral("reason")].toString().toStdString();
        EXPECT_FALSE(r.contains(QStringLiteral("score")));
    }
    EXPECT_EQ(failed, 3); // write, read and seek
}

// SIGTERM ends the command line in every state: during a stage, and again while it is stopping (the
// second signal comes once the first has been delivered: pending ones of a kind merge in the kernel).
TEST(CliFailures, TerminationEndsTheRunInEveryState) {
    for (int times : {1, 2}) {
        SCOPED_TRACE(times);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString data = test::MakeTempDir(QStringLiteral("termdata"));
        env.insert(QStringLiteral("ORVANTA_DATA_DIR"), data);
        env.remove(QStringLiteral("DISPLAY"));
        p.setProcessEnvironment(env);
        p.start(test::BinDir() + QStringLiteral("/orvanta"),
                {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu")});
        ASSERT_TRUE(p.waitForStarted());
        ASSERT_TRUE(p.waitForReadyRead(10000));
        QThread::msleep(200);
        for (int i = 0; i < times; ++i) {
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
            QThread::msleep(150);
        }
        ASSERT_TRUE(p.waitForFinished(times == 2 ? 5000 : 60000));
        EXPECT_EQ(p.exitCode(), 130);
        EXPECT_TRUE(
            QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("Testy anulowano.")));
        // Either way the run's files are gone.
        QStringList left = QDir(data).entryList(QDir::Files);
        left.removeAll(QStringLiteral("orvanta-data.lock"));
        EXPECT_TRUE(left.isEmpty()) << left.join(QLatin1Char(' ')).toStdString();
    }
}

// One data folder, one program: a second one (another session, another runtime folder) is refused.
TEST(CliFailures, DataFolderInUseIsRefused) {
    const QString data = test::MakeTempDir(QStringLiteral("shared"));
    SingleInstanceLock other(QStringLiteral("orvanta-data"), data);
    ASSERT_TRUE(other.TryAcquire());
    const Outcome o =
        RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("ram")}, 30000, data,
                   QStringLiteral("export XDG_RUNTIME_DIR=") + test::MakeTempDir(QStringLiteral("rt")));
    EXPECT_EQ(o.code, 1);
    EXPECT_TRUE(o.err.contains(QStringLiteral("Orvanta jest już uruchomiony."))) << o.err.toStdString();
}

// What earlier runs left is gone when the program starts; a stopped run leaves nothing either.
TEST(CliFailures, LeftoversAreRemovedAtStartAndByAStoppedRun) {
    const QString data = test::MakeTempDir(QStringLiteral("leftovers"));
    QDir().mkpath(data + QStringLiteral("/hdd"));
    for (const QString& name :
         {QStringLiteral("a0.txt"), QStringLiteral("logo3.png"), QStringLiteral("gfx1.7z"),
          QStringLiteral("hdd/testdata1.999999999.dat"), QStringLiteral("hdd/testdata2.dat")}) {
        QFile f(data + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("left over");
    }
    // A small 2D run (drawn offscreen, there being no display): the leftovers go before it starts.
    const Outcome o = RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("2d"),
                                  QStringLiteral("--work-divisor"), QStringLiteral("2000")},
                                 30000, data);
    EXPECT_EQ(o.code, 0);
    const auto files = [&] {
        QStringList out;
        QDirIterator it(data, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            out << QDir(data).relativeFilePath(it.next());
        out.removeAll(QStringLiteral("orvanta-data.lock"));
        return out;
    };
    EXPECT_TRUE(files().isEmpty()) << files().join(QLatin1Char(' ')).toStdString();

    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), data);
    env.remove(QStringLiteral("DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(test::BinDir() + QStringLiteral("/orvanta"),
            {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("cpu")});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(p.waitForReadyRead(10000));
    QThread::msleep(1500); // into the CPU stage, its files written
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 130);
    EXPECT_TRUE(files().isEmpty()) << files().join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(QDir(data + QStringLiteral("/hdd")).exists()) << "the folders stay";
}

namespace {

const char* const kGraphicsRows[] = {
    "Testowanie grafiki dwuwymiarowej (1)",  "Testowanie grafiki dwuwymiarowej (2)",
    "Testowanie grafiki trójwymiarowej (1)", "Testowanie grafiki trójwymiarowej (2)",
    "Testowanie grafiki trójwymiarowej (3)",
};

} // namespace

// No display at all: the 2D and 3D stages draw offscreen through EGL and are measured and scored.
TEST(Cli, GraphicsStagesWithoutADisplayDrawOffscreenAndAreMeasured) {
    const QString json = test::MakeTempDir(QStringLiteral("json")) + QStringLiteral("/wyniki.json");
    const Outcome o =
        RunOrvanta({QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("2d,3d"),
                    QStringLiteral("--work-divisor"), QStringLiteral("40"), QStringLiteral("--json"), json},
                   180000);
    ASSERT_EQ(o.code, 0) << o.out.toStdString() << o.err.toStdString();
    for (int i = 0; i < 5; ++i) {
        const QString title = QString::fromUtf8(kGraphicsRows[i]);
        const QRegularExpression measured(QRegularExpression::escape(title) +
                                          QStringLiteral(" +[1-9][0-9]* (ms|fps) +[1-9][0-9]* pkt"));
        EXPECT_TRUE(o.out.contains(measured)) << title.toStdString() << "\n" << o.out.toStdString();
    }
    EXPECT_FALSE(o.out.contains(QStringLiteral("pominięty (brak ekranu)")));

    QFile f(json);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(f.readAll()).object();
    for (const QJsonValue& v : root[QStringLiteral("rows")].toArray()) {
        const QJsonObject r = v.toObject();
        const int n = r[QStringLiteral("row")].toString().toInt();
        if (n < 16)
            continue;
        EXPECT_EQ(r[QStringLiteral("status")].toString(), QStringLiteral("finished")) << n;
        EXPECT_GT(r[QStringLiteral("value")].toDouble(), 0.0) << n;
        EXPECT_EQ(r[QStringLiteral("unit")].toString(),
                  n <= 17 ? QStringLiteral("ms") : QStringLiteral("fps"));
    }
    const QJsonObject cat = root[QStringLiteral("categories")].toObject();
    EXPECT_GT(cat[QStringLiteral("2d")].toInt(), 0);
    EXPECT_GT(cat[QStringLiteral("3d")].toInt(), 0);
    // Both stages say what drew them, and that it was offscreen at the test's sizes.
    const QJsonObject graphics =
        root[QStringLiteral("conditions")].toObject()[QStringLiteral("graphics")].toObject();
    for (const QString& stage : {QStringLiteral("2d"), QStringLiteral("3d")}) {
        const QJsonObject g = graphics[stage].toObject();
        const QString renderer = g[QStringLiteral("renderer")].toString();
        EXPECT_FALSE(renderer.isEmpty()) << stage.toStdString();
        EXPECT_TRUE(o.out.contains(renderer)) << stage.toStdString();
        EXPECT_TRUE(g[QStringLiteral("offscreen")].toBool()) << stage.toStdString();
        EXPECT_EQ(g[QStringLiteral("displayServer")].toString(), QStringLiteral("offscreen"));
        EXPECT_TRUE(g[QStringLiteral("surface")].toString().startsWith(QStringLiteral("1024 × 768")))
            << g[QStringLiteral("surface")].toString().toStdString();
        EXPECT_TRUE(g[QStringLiteral("surface")].toString().contains(QStringLiteral("EGL")));
    }
    EXPECT_TRUE(graphics[QStringLiteral("2d")].toObject()[QStringLiteral("version")].toString().contains(
        QStringLiteral("Compatibility")));
}

// Offscreen there is no Esc; Ctrl+C stops the drawing between frames as the stop button does.
TEST(Cli, InterruptStopsTheOffscreenGraphicsStage) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANTA_DATA_DIR"), test::MakeTempDir(QStringLiteral("clidata")));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    // Full-size 2D frames take seconds each on a software renderer: the signal comes while they draw.
    p.start(test::BinDir() + QStringLiteral("/orvanta"),
            {QStringLiteral("--cli"), QStringLiteral("--stages"), QStringLiteral("2d,3d")});
    ASSERT_TRUE(p.waitForStarted());
    ASSERT_TRUE(p.waitForReadyRead(10000));
    QThread::msleep(1500);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 130) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Testy anulowano."))) << out.toStdString();
    EXPECT_FALSE(out.contains(QString::fromUtf8(kGraphicsRows[2]))) << out.toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("Wynik końcowy")));
}
