#include "core/Catalogue.h"
#include "hwtests/DiskStage.h"
#include "hwtests/hdd/DiskBench.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/SingleInstance.h"
#include "platform/WindowClass.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace orv {
namespace {

// Runs the real helper on a private data folder, headless, with a reduced volume.
class Helper : public ::testing::Test {
protected:
    void SetUp() override {
        data_ = test::MakeTempDir(QStringLiteral("hdddata"));
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert(QStringLiteral("ORVANTA_DATA_DIR"), data_);
        env_.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char* n : {"wynik1", "wynik2", "wynik3", "blad"})
            Key().DeleteValue(QString::fromLatin1(n));
    }
    void TearDown() override { KillProcessesOfExecutable(Program()); }
    static RegistryKey Key() { return RegistryKey(QStringLiteral("Software\\Orvanta"), true); }
    QString Program() const { return DiskHelperPath(test::BinDir()); }
    int Run(const QStringList& args, const QString& shellPrefix = {}) {
        QProcess p;
        p.setProcessChannelMode(QProcess::SeparateChannels);
        p.setProcessEnvironment(env_);
        if (shellPrefix.isEmpty()) {
            p.start(Program(), args);
        } else {
            QString cmd = shellPrefix + QStringLiteral("; exec '") + Program() + QLatin1Char('\'');
            for (const QString& a : args)
                cmd += QLatin1Char(' ') + a;
            p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), cmd});
        }
        EXPECT_TRUE(p.waitForFinished(60000));
        stderr_ = QString::fromUtf8(p.readAllStandardError());
        stdout_ = p.readAllStandardOutput();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    bool NoTestFiles() const {
        return !QFile::exists(data_ + QStringLiteral("/hdd/testdata1.dat")) &&
               !QFile::exists(data_ + QStringLiteral("/hdd/testdata2.dat"));
    }
    bool NoResults() const {
        for (const char* n : {"wynik1", "wynik2", "wynik3"})
            if (Key().ValueExists(QString::fromLatin1(n)))
                return false;
        return true;
    }
    QString data_;
    QProcessEnvironment env_;
    QString stderr_;
    QByteArray stdout_;
};

TEST_F(Helper, LeavesThreeResultsAndNoFiles) {
    ASSERT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("8")}), 0);
    for (const char* n : {"wynik1", "wynik2", "wynik3"}) {
        const std::optional<std::int32_t> v = Key().ReadInteger(QString::fromLatin1(n));
        ASSERT_TRUE(v.has_value()) << n;
        EXPECT_GE(*v, 1) << n;
    }
    EXPECT_TRUE(QDir(data_ + QStringLiteral("/hdd")).exists());
    EXPECT_TRUE(NoTestFiles());
    EXPECT_FALSE(FindWindowByClass(QStringLiteral("Hdd Test")).has_value());
}

TEST_F(Helper, ReportsItsStepsOnStandardOutputOnlyWhenAsked) {
    ASSERT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("8")}), 0);
    EXPECT_TRUE(stdout_.isEmpty()) << stdout_.constData();

    env_.insert(QString::fromLatin1(kHelperProgressVariable), QStringLiteral("1"));
    ASSERT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("8")}), 0);
    const QList<QByteArray> lines = stdout_.trimmed().split('\n');
    ASSERT_GE(lines.size(), 3);
    std::vector<int> rows;
    DiskHelperProgress p;
    for (const QByteArray& line : lines) {
        ASSERT_TRUE(ParseDiskHelperProgress(line, &p)) << line.constData();
        if (rows.empty() || rows.back() != p.row)
            rows.push_back(p.row);
    }
    // Each step once, in order, and the last one complete.
    EXPECT_EQ(rows, (std::vector<int>{14, 15, kRow15b}));
    EXPECT_EQ(p.percent, 100);
}

TEST_F(Helper, NotEnoughSpaceWritesNothing) {
    ASSERT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("1000000000")}),
              static_cast<int>(DiskBenchStatus::NoSpace));
    EXPECT_TRUE(NoResults());
    EXPECT_TRUE(NoTestFiles());
}

TEST_F(Helper, FailedWriteRemovesThePartialFile) {
    // A 4 MiB file-size limit makes the write fail part-way, as a full disk does.
    ASSERT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("16")}, QStringLiteral("ulimit -f 4096")),
              static_cast<int>(DiskBenchStatus::NoSpace));
    EXPECT_TRUE(NoResults());
    EXPECT_TRUE(NoTestFiles());
    // Its reason, in Polish that reads right, on its error stream and left for the program.
    EXPECT_TRUE(stderr_.contains(QStringLiteral("błąd zapisu"))) << stderr_.toStdString();
    const QString left = Key().ReadString(QStringLiteral("blad"));
    EXPECT_TRUE(left.startsWith(QStringLiteral("błąd zapisu "))) << left.toStdString();
}

TEST_F(Helper, BadArguments) {
    EXPECT_EQ(Run({QStringLiteral("--size-mb"), QStringLiteral("zero")}), 64);
    EXPECT_EQ(Run({QStringLiteral("--fast")}), 64);
    EXPECT_TRUE(NoResults());
}

TEST_F(Helper, CloseRequestEndsItPromptlyAndTidily) {
    const std::int64_t size = 512;
    if (DiskBench::FreeSpace(data_) < (size + 128) * kMiB)
        GTEST_SKIP() << "not enough free space for the volume that keeps the helper busy";
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(Program(), {QStringLiteral("--size-mb"), QString::number(size)});
    ASSERT_TRUE(p.waitForStarted());
    QElapsedTimer t;
    t.start();
    std::optional<WindowHandle> w;
    while (!(w = FindWindowByClass(QStringLiteral("Hdd Test"))) && t.elapsed() < 10000)
        QThread::msleep(5);
    ASSERT_TRUE(w.has_value());
    EXPECT_EQ(w->pid, p.processId());
    t.restart();
    EXPECT_TRUE(CloseOrKillWindow(*w));
    EXPECT_LT(t.elapsed(), kCloseWindowTimeoutMs);
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), static_cast<int>(DiskBenchStatus::Cancelled));
    EXPECT_TRUE(NoResults());
    EXPECT_TRUE(NoTestFiles());
}

// The helper goes when its parent goes, and tidies up as for a close request.
TEST_F(Helper, EndsWithItsParent) {
    const std::int64_t size = 512;
    if (DiskBench::FreeSpace(data_) < (size + 128) * kMiB)
        GTEST_SKIP() << "not enough free space for the volume that keeps the helper busy";
    QProcess parent;
    parent.setProcessEnvironment(env_);
    parent.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("'%1' --size-mb %2 & wait").arg(Program()).arg(size)});
    ASSERT_TRUE(parent.waitForStarted());
    QElapsedTimer t;
    t.start();
    std::optional<WindowHandle> w;
    while (!(w = FindWindowByClass(QStringLiteral("Hdd Test"))) && t.elapsed() < 10000)
        QThread::msleep(5);
    ASSERT_TRUE(w.has_value());
    ::kill(static_cast<pid_t>(parent.processId()), SIGKILL);
    parent.waitForFinished();
    t.restart();
    while (::kill(static_cast<pid_t>(w->pid), 0) == 0 && t.elapsed() < 5000)
        QThread::msleep(20);
    EXPECT_NE(::kill(static_cast<pid_t>(w->pid), 0), 0) << "the helper outlived its parent";
    EXPECT_TRUE(
        QDir(data_ + QStringLiteral("/hdd")).entryList({QStringLiteral("testdata*")}, QDir::Files).isEmpty());
}

// Two helpers on one data folder each measure their own files.
TEST_F(Helper, TwoRunsOnOneFolderKeepApart) {
    QProcess a, b;
    for (QProcess* p : {&a, &b}) {
        p->setProcessEnvironment(env_);
        p->start(Program(), {QStringLiteral("--size-mb"), QStringLiteral("96")});
    }
    ASSERT_TRUE(a.waitForFinished(60000));
    ASSERT_TRUE(b.waitForFinished(60000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    EXPECT_TRUE(NoTestFiles());
}

// Files of runs that have ended go; a run that still holds its lock keeps them.
TEST(DiskHelperFiles, StaleOnesAreRemovedLiveOnesKept) {
    const QString folder = test::MakeTempDir(QStringLiteral("stale"));
    const auto touch = [&](const QString& name) {
        QFile f(folder + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    };
    SingleInstanceLock live(DiskHelperLockName(QStringLiteral("4242")), folder);
    ASSERT_TRUE(live.TryAcquire());
    touch(DiskHelperFileName(1, QStringLiteral("4242")));
    touch(DiskHelperFileName(1, QStringLiteral("999999999")));
    touch(DiskHelperFileName(2, QStringLiteral("999999999")));
    touch(QStringLiteral("testdata1.dat"));
    touch(QStringLiteral("notes.txt"));
    RemoveStaleDiskHelperFiles(folder);
    EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.dat")}, QDir::Files),
              QStringList{QStringLiteral("testdata1.4242.dat")});
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/notes.txt")));
}

TEST(DiskBenchUnit, MillisecondsAreRoundedAndNeverZero) {
    EXPECT_EQ(DiskBench::ToMs(0.0), 1);
    EXPECT_EQ(DiskBench::ToMs(0.0004), 1);
    EXPECT_EQ(DiskBench::ToMs(1.2345), 1235);
    EXPECT_EQ(DiskBench::ToMs(1e12), 2147483647);
    EXPECT_EQ(kDiskBenchDefaultSize, 1024 * kMiB);
    EXPECT_EQ(kDiskBenchSeeks, 500);
    EXPECT_EQ(kSeekBlock, 4096u);
}

TEST(DiskBenchUnit, CancelStopsBeforeWritingAndRemovesFiles) {
    DiskBenchOptions o;
    o.folder = test::MakeTempDir(QStringLiteral("bench")) + QStringLiteral("/hdd");
    o.size = 4 * kMiB;
    o.seekFileSize = 4 * kMiB;
    DiskBench bench(o);
    std::atomic<bool> cancel{true};
    const DiskBenchResult r = bench.Run(cancel);
    EXPECT_EQ(r.status, DiskBenchStatus::Cancelled);
    EXPECT_FALSE(QFile::exists(bench.DataFile()));
    EXPECT_FALSE(QFile::exists(bench.SeekFile()));
}

TEST(DiskBenchUnit, PhasesReportProgressInOrder) {
    DiskBenchOptions o;
    o.folder = test::MakeTempDir(QStringLiteral("bench")) + QStringLiteral("/hdd");
    o.size = 4 * kMiB;
    o.seekFileSize = 2 * kMiB;
    o.seeks = 50;
    DiskBench bench(o);
    std::atomic<bool> cancel{false};
    std::vector<DiskBenchPhase> phases;
    const DiskBenchResult r = bench.Run(cancel, [&](DiskBenchPhase p, int percent) {
        EXPECT_GE(percent, 0);
        EXPECT_LE(percent, 100);
        if (phases.empty() || phases.back() != p)
            phases.push_back(p);
    });
    ASSERT_EQ(r.status, DiskBenchStatus::Ok) << r.error.toStdString();
    EXPECT_EQ(phases, (std::vector<DiskBenchPhase>{DiskBenchPhase::Write, DiskBenchPhase::Read,
                                                   DiskBenchPhase::PrepareSeek, DiskBenchPhase::Seek}));
    EXPECT_GT(r.writeSeconds, 0.0);
    EXPECT_GT(r.readSeconds, 0.0);
    EXPECT_GT(r.seekSumSeconds, 0.0);
    EXPECT_FALSE(QFile::exists(bench.DataFile()));
}

TEST(DiskBenchUnit, BufferedPathMeasuresToo) {
    DiskBenchOptions o;
    o.folder = test::MakeTempDir(QStringLiteral("bench")) + QStringLiteral("/hdd");
    o.size = 4 * kMiB;
    o.seekFileSize = 2 * kMiB;
    o.seeks = 50;
    o.allowDirect = false;
    DiskBench bench(o);
    std::atomic<bool> cancel{false};
    const DiskBenchResult r = bench.Run(cancel);
    ASSERT_EQ(r.status, DiskBenchStatus::Ok) << r.error.toStdString();
    EXPECT_FALSE(r.directWrite || r.directRead || r.directSeek);
    EXPECT_GE(r.writeMs, 1);
    EXPECT_GE(r.readMs, 1);
    EXPECT_GE(r.seekMs, 1);
    EXPECT_FALSE(QFile::exists(bench.DataFile()));
    EXPECT_FALSE(QFile::exists(bench.SeekFile()));
}

} // namespace
} // namespace orv
