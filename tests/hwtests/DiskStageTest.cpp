#include "hwtests/DiskStage.h"
#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "hwtests/HwTests.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/WindowClass.h"
#include "sysinfo/WmiSources.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

namespace orv {
namespace {

RegistryKey ResultKey() {
    return RegistryKey(QStringLiteral("Software\\Orvanta"), true);
}

void SetResult(const char* name, std::int32_t v) {
    ResultKey().WriteInteger(QString::fromLatin1(name), v);
}

class CLocale : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }
};

using DiskRows = CLocale;

TEST(DiskHelperProgressLines, StepsBecomeRowsAndAnythingElseIsNotProgress) {
    DiskHelperProgress p;
    ASSERT_TRUE(ParseDiskHelperProgress("progress 1 0\n", &p));
    EXPECT_EQ(p.row, 14);
    EXPECT_EQ(p.percent, 0);
    ASSERT_TRUE(ParseDiskHelperProgress("progress 3 100", &p));
    EXPECT_EQ(p.row, kRow15b);
    EXPECT_EQ(p.percent, 100);
    for (const char* bad : {"progress 4 10", "progress 0 10", "progress 2 101", "progress 2 -1", "progress 2",
                            "progress x 5", "postep 2 5", "progress 2 5 6", ""})
        EXPECT_FALSE(ParseDiskHelperProgress(bad, &p)) << bad;
    EXPECT_EQ(p.row, kRow15b); // a rejected line leaves what was reported
}

TEST_F(DiskRows, ContractConstants) {
    EXPECT_STREQ(kDiskHelperName, "orvanta-hdd");
    EXPECT_STREQ(kDiskHelperWindowClass, "Hdd Test");
    EXPECT_EQ(kHddCheckIntervalMs, 1000);
    EXPECT_EQ(MainModel().HddCheck.interval(), kHddCheckIntervalMs);
    EXPECT_EQ(kCloseWindowTimeoutMs, 5000);
    EXPECT_EQ(kDiskVolumeMb, 1024);
    EXPECT_EQ(kSeekCount, 500);
}

TEST_F(DiskRows, ReadTestResultReadsOnceAndTreatsJunkAsZero) {
    SetResult("wynik1", 2048);
    EXPECT_EQ(ReadTestResult(QStringLiteral("wynik1")), 2048);
    EXPECT_EQ(ReadTestResult(QStringLiteral("wynik1")), 0);
    ResultKey().WriteString(QStringLiteral("wynik2"), QStringLiteral("1500"));
    EXPECT_EQ(ReadTestResult(QStringLiteral("wynik2")), 0);
    EXPECT_FALSE(ResultKey().ValueExists(QStringLiteral("wynik2")));
    EXPECT_EQ(ReadTestResult(QStringLiteral("wynik9")), 0);
}

TEST_F(DiskRows, WriteAndReadThroughput) {
    MainModel m;
    SetResult("wynik1", 2048);
    SetResult("wynik2", 1024);
    writeTest(m);
    readTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(14)), QStringLiteral("500.00 MB/s"));
    EXPECT_EQ(m.Text(WynikLblMoreName(15)), QStringLiteral("1000.00 MB/s"));
    EXPECT_EQ(m.Scores.ScoreTable[14], 35712); // floor(14628 / 2048 * 5000)
    EXPECT_EQ(m.Scores.ScoreTable[15], 62500); // 12800 / 1024 * 5000
    EXPECT_EQ(m.Text(WynikLblName(14)), QStringLiteral("35712"));
    EXPECT_EQ(m.Picture(WynikImgName(15)), 66);
    EXPECT_DOUBLE_EQ(m.Result(14).value, 500.0);
}

TEST_F(DiskRows, MissingResultShowsUnknownThroughput) {
    MainModel m;
    writeTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(14)), QStringLiteral("? MB/s"));
    EXPECT_GE(m.Scores.ScoreTable[14], 1);
    EXPECT_LE(m.Scores.ScoreTable[14], 4);
    // The window keeps its texts; the result says the measurement failed.
    EXPECT_FALSE(m.Result(14).failure.isEmpty());
}

// A missing result is a failed measurement, with the helper's reason when it left one.
TEST_F(DiskRows, FailuresCarryTheHelpersReason) {
    MainModel m;
    SetResult("wynik1", 2048);
    RegistryKey(QStringLiteral("Software\\Orvanta"), true)
        .WriteString(QStringLiteral("blad"), QStringLiteral("błąd zapisu /x: brak miejsca"));
    writeTest(m);
    readTest(m);
    seekTest(m);
    EXPECT_TRUE(m.Result(14).failure.isEmpty()) << "a result is a measurement";
    EXPECT_EQ(m.Result(15).failure, QStringLiteral("błąd zapisu /x: brak miejsca"));
    EXPECT_EQ(m.Result(kRow15b).failure, QStringLiteral("błąd zapisu /x: brak miejsca"));
    EXPECT_EQ(m.Text(WynikLblMoreName(15)), QStringLiteral("? MB/s"));
    RegistryKey(QStringLiteral("Software\\Orvanta"), true).DeleteValue(QStringLiteral("blad"));
    SetResult("wynik3", 0); // a seek sum that was measured, however small
    seekTest(m);
    EXPECT_TRUE(m.Result(kRow15b).failure.isEmpty());
    readTest(m);
    EXPECT_EQ(m.Result(15).failure, QStringLiteral("program testujący dysk zakończył pracę bez wyniku"));
}

TEST_F(DiskRows, SeekTimeAndScore) {
    MainModel m;
    SetResult("wynik3", 2500);
    seekTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(kRow15b)), QStringLiteral("5.00 ms"));
    EXPECT_EQ(m.Scores.ScoreTable[kScoreSeek], 5147);
    EXPECT_EQ(m.Text(WynikLblName(kRow15b)), QStringLiteral("5147"));
    SetResult("wynik3", -500);
    seekTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(kRow15b)), QStringLiteral("-1.00 ms"));
    EXPECT_EQ(m.Scores.ScoreTable[kScoreSeek], 0);
    SetResult("wynik3", 100);
    seekTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(kRow15b)), QStringLiteral("0.20 ms"));
}

TEST_F(DiskRows, CategoryFromTheThreeRows) {
    MainModel m;
    auto category = [&m](std::int32_t write, std::int32_t read, std::int32_t seek) {
        m.Scores.ScoreTable[14] = write;
        m.Scores.ScoreTable[15] = read;
        m.Scores.ScoreTable[kScoreSeek] = seek;
        return m.Scores.ComputeHddCategory();
    };
    EXPECT_EQ(category(5000, 4000, 3000), 4200);
    EXPECT_EQ(category(1, 1, 1), 1);
    EXPECT_EQ(category(0, 0, 4), 0);
    EXPECT_EQ(m.Scores.ScoreTable[kScoreHdd], 0);
}

TEST_F(DiskRows, UserDecimalSeparator) {
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    EXPECT_EQ(DiskThroughputText(2048), QStringLiteral("500,00 MB/s"));
    EXPECT_EQ(SeekTimeText(2500), QStringLiteral("5,00 ms"));
}

// ---- The stage with a stand-in helper ----

class DiskStage : public CLocale {
protected:
    void SetUp() override {
        CLocale::SetUp();
        dataDir_ = test::MakeTempDir(QStringLiteral("data"));
        qputenv("ORVANTA_DATA_DIR", dataDir_.toLocal8Bit());
        m_.BaseDir = QStringLiteral(ORVANTA_FAKE_HDD_DIR);
        InstallHwTests(m_);
        ConnectSequencer(m_);
        // The data folder's clean-up, reduced to the helper's files.
        m_.Hooks.RemoveTemporaryData = [this](MainModel&) {
            ++cleanups_;
            QFile::remove(dataDir_ + QStringLiteral("/hdd/testdata1.dat"));
            QFile::remove(dataDir_ + QStringLiteral("/hdd/testdata2.dat"));
        };
        m_.SetVisible(ctl::StopBtn, true);
        QObject::connect(&m_, &MainModel::runEnded, &m_, [this](bool cancelled) {
            ended_ = true;
            cancelled_ = cancelled;
        });
    }
    void TearDown() override {
        KillProcessesOfExecutable(FakeHelper());
        qunsetenv("ORVANTA_DATA_DIR");
        qunsetenv("FAKE_HDD_MODE");
        qunsetenv("FAKE_HDD_RESULTS");
        CLocale::TearDown();
    }
    bool WaitFor(const std::function<bool()>& done, int ms) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        return done();
    }
    static QString FakeHelper() { return DiskHelperPath(QStringLiteral(ORVANTA_FAKE_HDD_DIR)); }
    QString HelperFile() const { return dataDir_ + QStringLiteral("/hdd/testdata1.dat"); }

    MainModel m_;
    QString dataDir_;
    int cleanups_ = 0;
    bool ended_ = false;
    bool cancelled_ = false;
};

TEST_F(DiskStage, ResultsBecomeRowsAndTheCategory) {
    qputenv("FAKE_HDD_MODE", "results");
    // Scores 5000, 4000 and 3000: category (10000 + 8000 + 3000) / 5.
    qputenv("FAKE_HDD_RESULTS", "14628,16000,8333");
    m_.RunInProgress = true;
    HddStartTests(m_);
    EXPECT_EQ(m_.Text(ctl::HddInfoLbl), QStringLiteral("Testowany dysk: ") + DiskModel(0));
    EXPECT_TRUE(m_.HddCheck.isActive());
    for (const char* row : {"WynikLbl14", "WynikLbl15", "WynikLbl15b"})
        EXPECT_TRUE(m_.Visible(QString::fromLatin1(row))) << row;
    ASSERT_TRUE(WaitFor([&] { return ended_; }, 15000));
    EXPECT_FALSE(cancelled_);
    EXPECT_EQ(m_.Scores.ScoreTable[14], 5000);
    EXPECT_EQ(m_.Scores.ScoreTable[15], 4000);
    EXPECT_EQ(m_.Scores.ScoreTable[kScoreSeek], 3000);
    EXPECT_EQ(m_.Scores.ScoreTable[kScoreHdd], 4200);
    EXPECT_EQ(m_.Text(WynikLblMoreName(14)), QStringLiteral("70.00 MB/s"));
    EXPECT_EQ(m_.Text(WynikLblMoreName(kRow15b)), QStringLiteral("16.67 ms"));
    EXPECT_EQ(cleanups_, 1);
    EXPECT_FALSE(QFile::exists(HelperFile()));
    // Its progress line was taken; its other line went to the terminal.
    EXPECT_EQ(CurrentDiskHelperProgress().row, 15);
    EXPECT_EQ(CurrentDiskHelperProgress().percent, 40);
    // The values were consumed: a later run finds none of them.
    for (const char* name : {"wynik1", "wynik2", "wynik3"})
        EXPECT_FALSE(ResultKey().ValueExists(QString::fromLatin1(name))) << name;
}

TEST_F(DiskStage, StopClosesTheHelperAndKeepsRowsRunning) {
    qputenv("FAKE_HDD_MODE", "polite");
    m_.RunInProgress = true;
    HddStartTests(m_);
    ASSERT_TRUE(WaitFor([] { return FindWindowByClass(QStringLiteral("Hdd Test")).has_value(); }, 10000));
    SetResult("wynik1", 777); // as if the helper had got that far; a stopped run never reads it
    ASSERT_TRUE(m_.Hooks.DiskHelperRunning());
    QElapsedTimer t;
    t.start();
    StopBtnClick(m_);
    EXPECT_LT(t.elapsed(), 4000); // a helper that honours the close request is not waited for
    EXPECT_TRUE(m_.CancelRequested);
    // Its window gone, the helper still takes a moment to exit.
    EXPECT_TRUE(WaitFor([] { return !IsExecutableRunning(FakeHelper()); }, 3000));
    ASSERT_TRUE(WaitFor([&] { return ended_; }, 5000));
    EXPECT_TRUE(cancelled_);
    for (const char* row : {"14", "15", "15b"}) {
        EXPECT_EQ(m_.Text(QStringLiteral("WynikLbl") + QString::fromLatin1(row)), QStringLiteral("w trakcie"))
            << row;
        EXPECT_EQ(m_.Text(QStringLiteral("WynikLblMore") + QString::fromLatin1(row)), QStringLiteral("..."))
            << row;
    }
    EXPECT_EQ(m_.Scores.ScoreTable[kScoreHdd], 0);
    EXPECT_EQ(cleanups_, 2); // the disk stage's, and the stopped run's own
    EXPECT_FALSE(QFile::exists(HelperFile()));
    EXPECT_TRUE(ResultKey().ValueExists(QStringLiteral("wynik1")));
    EXPECT_FALSE(m_.Visible(WynikLblName(16)));
}

TEST_F(DiskStage, AHelperThatIgnoresTheCloseRequestIsKilled) {
    qputenv("FAKE_HDD_MODE", "stubborn");
    StartDiskHelper(m_);
    ASSERT_TRUE(WaitFor([] { return FindWindowByClass(QStringLiteral("Hdd Test")).has_value(); }, 10000));
    const std::optional<WindowHandle> w = FindWindowByClass(QStringLiteral("Hdd Test"));
    ASSERT_TRUE(w.has_value());
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(CloseOrKillWindow(*w, 300));
    EXPECT_GE(t.elapsed(), 300);
    ASSERT_TRUE(WaitFor([] { return !IsExecutableRunning(FakeHelper()); }, 3000));
    EXPECT_FALSE(FindWindowByClass(QStringLiteral("Hdd Test")).has_value());
    // Killed, it could not tidy up: the data folder's clean-up does.
    EXPECT_TRUE(QFile::exists(HelperFile()));
}

TEST_F(DiskStage, MissingHelperGivesUnknownResults) {
    m_.BaseDir = test::MakeTempDir(QStringLiteral("nohelper"));
    SetResult("wynik1", 777); // left by an earlier stopped run
    m_.RunInProgress = true;
    HddStartTests(m_);
    ASSERT_TRUE(WaitFor([&] { return ended_; }, 15000));
    EXPECT_EQ(m_.Text(WynikLblMoreName(14)), QStringLiteral("? MB/s"));
    EXPECT_EQ(m_.Text(WynikLblMoreName(15)), QStringLiteral("? MB/s"));
    EXPECT_EQ(m_.Text(WynikLblMoreName(kRow15b)), QStringLiteral("0.00 ms"));
    EXPECT_EQ(m_.Scores.ScoreTable[kScoreSeek], 0);
    for (int row : {14, 15, kRow15b})
        EXPECT_FALSE(m_.Result(row).failure.isEmpty()) << row;
}

// Other programs named like the helper, old name and new: a run neither waits for them nor stops
// them, and a window of the helper's class that is not our helper's is left alone.
TEST_F(DiskStage, NamesakesOfTheHelperAreNeitherWaitedForNorStopped) {
    const QString bin = test::MakeTempDir(QStringLiteral("decoys"));
    const QString oldName = bin + QStringLiteral("/old/hdd");
    const QString newName = bin + QStringLiteral("/new/orvanta-hdd");
    const QString windowed = bin + QStringLiteral("/win/orvanta-hdd");
    for (const auto& [from, to] :
         {std::pair{QStringLiteral("/bin/sleep"), oldName}, std::pair{QStringLiteral("/bin/sleep"), newName},
          std::pair{FakeHelper(), windowed}}) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(to).absolutePath()));
        ASSERT_TRUE(QFile::copy(from, to));
        QFile::setPermissions(to, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    QProcess sleeperOld, sleeperNew, stranger;
    sleeperOld.start(oldName, {QStringLiteral("60")});
    sleeperNew.start(newName, {QStringLiteral("60")});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FAKE_HDD_MODE"), QStringLiteral("polite"));
    stranger.setProcessEnvironment(env);
    stranger.start(windowed, {});
    for (QProcess* p : {&sleeperOld, &sleeperNew, &stranger})
        ASSERT_TRUE(p->waitForStarted());
    ASSERT_TRUE(WaitFor([] { return FindWindowByClass(QStringLiteral("Hdd Test")).has_value(); }, 10000));
    const std::optional<WindowHandle> strangersWindow = FindWindowByClass(QStringLiteral("Hdd Test"));
    ASSERT_TRUE(strangersWindow.has_value());
    ASSERT_EQ(strangersWindow->pid, stranger.processId());

    // Our helper leaves its results at once; the stage ends although the namesakes run on.
    qputenv("FAKE_HDD_MODE", "results");
    qputenv("FAKE_HDD_RESULTS", "14628,16000,8333");
    m_.RunInProgress = true;
    HddStartTests(m_);
    ASSERT_TRUE(WaitFor([&] { return ended_; }, 15000)) << "the run waited on another program";
    EXPECT_FALSE(cancelled_);
    EXPECT_EQ(m_.Scores.ScoreTable[kScoreHdd], 4200);
    EXPECT_FALSE(DiskHelperRunning());

    StopDiskHelper();
    QThread::msleep(200); // a close request, had one gone out, would have ended the stranger by now
    for (QProcess* p : {&sleeperOld, &sleeperNew, &stranger}) {
        EXPECT_EQ(p->state(), QProcess::Running) << p->program().toStdString();
        EXPECT_TRUE(ProcessAlive(p->processId())) << p->program().toStdString();
    }
    EXPECT_TRUE(WindowExists(*strangersWindow));
    for (QProcess* p : {&sleeperOld, &sleeperNew, &stranger}) {
        p->kill();
        p->waitForFinished(3000);
    }
}

} // namespace
} // namespace orv
