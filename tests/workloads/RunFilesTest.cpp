#include "core/MainModel.h"
#include "core/Sequencer.h"
#include "platform/MessageBoxes.h"
#include "tests/support/RecordingBoxes.h"
#include "tests/support/TestEnv.h"
#include "tests/workloads/WorkloadsTestUtil.h"
#include "workloads/Arithmetic.h"
#include "workloads/DataFiles.h"
#include "workloads/Workloads.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>

#include <map>

namespace orv {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Splits a file into its lines; every line must end in CR LF.
QList<QByteArray> CrLfLines(const QByteArray& data) {
    EXPECT_TRUE(data.endsWith("\r\n"));
    QList<QByteArray> lines = data.split('\n');
    lines.removeLast();
    for (QByteArray& l : lines) {
        EXPECT_TRUE(l.endsWith('\r'));
        l.chop(1);
    }
    return lines;
}

void ExpectEightIdenticalFiles(const QString& dir, char prefix) {
    const QByteArray first = ReadAll(dir + QLatin1Char('/') + QLatin1Char(prefix) + QStringLiteral("0.txt"));
    for (int i = 1; i < 8; ++i) {
        const QString path =
            dir + QLatin1Char('/') + QLatin1Char(prefix) + QString::number(i) + QStringLiteral(".txt");
        EXPECT_EQ(ReadAll(path), first) << path.toStdString();
    }
}

class RunFiles : public testing::Test {
protected:
    void SetUp() override {
        qunsetenv("ORVANTA_DATA_DIR");
        main.BaseDir = test::MakeTempDir(QStringLiteral("run"));
        InstallWorkloads(main);
        ConnectSequencer(main);
        main.WorkDivisor = 50;
        SetMessageBoxes(&boxes);
    }
    void TearDown() override { SetMessageBoxes(nullptr); }

    // Starts a run and returns once it has ended; true when it ended cancelled.
    bool RunToEnd() {
        bool ended = false;
        bool cancelled = false;
        QEventLoop loop;
        QObject::connect(&main, &MainModel::runEnded, &loop, [&](bool c) {
            ended = true;
            cancelled = c;
            loop.quit();
        });
        QTimer::singleShot(0, &loop, [this] { RozpocznijTestyBtnClick(main); });
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_TRUE(ended);
        return cancelled;
    }

    MainModel main;
    test::RecordingBoxes boxes;
};

TEST_F(RunFiles, DataAndPrimeStepsWriteEightIdenticalFiles) {
    ASSERT_TRUE(main.Hooks.PrepareDataFolder(main));
    const QString dir = main.DataDir();

    dataTest(main);
    EXPECT_EQ(main.Result(8).status, RowResult::Status::Finished);
    ExpectEightIdenticalFiles(dir, 'b');
    const QList<QByteArray> numbers = CrLfLines(ReadAll(dir + QStringLiteral("/b3.txt")));
    EXPECT_EQ(numbers.size(), 8 * 120); // eight workers of 6001 / 50 lines
    for (const QByteArray& n : numbers) {
        ASSERT_TRUE(n.size() >= 1 && n.size() <= 7) << n.toStdString();
        ASSERT_TRUE(n == "0" || n[0] != '0') << n.toStdString();
        bool ok = false;
        ASSERT_LT(n.toLongLong(&ok), 10'000'000);
        ASSERT_TRUE(ok) << n.toStdString();
    }

    primeTest(main);
    EXPECT_EQ(main.Result(9).status, RowResult::Status::Finished);
    ExpectEightIdenticalFiles(dir, 'a');
    const QByteArray primesFile = ReadAll(dir + QStringLiteral("/a7.txt"));
    EXPECT_EQ(primesFile.size(), 8 * 100 * 7); // 100 five-digit primes per worker, CR LF each
    // Every worker appends the same primes; the lines of different workers may interleave.
    std::map<int, int> seen;
    for (const QByteArray& line : CrLfLines(primesFile))
        ++seen[line.toInt()];
    const std::vector<int> expected = test::PrimesFrom(20000, 100);
    ASSERT_EQ(seen.size(), expected.size());
    for (int p : expected)
        EXPECT_EQ(seen[p], 8) << p;
    EXPECT_EQ(seen.begin()->first, 20011);
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(RunFiles, CpuRunMeasuresEveryRowAndCleansUpAfterTheDiskStage) {
    main.StageEnabled = {true, false, false, false, false};
    EXPECT_FALSE(RunToEnd());
    for (int row = 0; row < 12; ++row) {
        const RowResult& r = main.Result(row);
        EXPECT_EQ(r.status, RowResult::Status::Finished) << row;
        EXPECT_GT(r.score, 0) << row;
        EXPECT_EQ(r.detail, QString::number(static_cast<qint64>(r.value)) + QStringLiteral(" ms")) << row;
        EXPECT_EQ(main.Scores.ScoreTable[static_cast<std::size_t>(row)], r.score) << row;
    }
    EXPECT_GT(main.Scores.ScoreTable[kScoreCpu], 0);

    // The clean-up after the disk stage took the text files; the folders stay.
    const QDir dir(main.DataDir());
    EXPECT_TRUE(dir.exists(QStringLiteral("hdd")));
    EXPECT_TRUE(dir.entryList(QDir::Files).isEmpty()) << dir.entryList(QDir::Files).join(u' ').toStdString();
    EXPECT_TRUE(boxes.errors.isEmpty());
}

TEST_F(RunFiles, UnwritableTextFileEndsTheRunCancelled) {
    ASSERT_TRUE(main.Hooks.PrepareDataFolder(main));
    const QString dir = main.DataDir();
    ASSERT_TRUE(QDir(dir).mkdir(QStringLiteral("b5.txt"))); // a folder where the file must go
    main.StageEnabled = {true, true, true, true, true};

    EXPECT_TRUE(RunToEnd());
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors.front(), LineFileErrorText(dir + QStringLiteral("/b5.txt")));
    EXPECT_TRUE(boxes.errors.front().contains(QStringLiteral("b5.txt")));
    // Row 8 was measured before the files were due; nothing after it ran.
    EXPECT_EQ(main.Result(8).status, RowResult::Status::Finished);
    for (int row : {9, 10, 11, 12, 14})
        EXPECT_EQ(main.Result(row).status, RowResult::Status::NotRun) << row;
    // The stopped run took the files it had written with it.
    for (int i = 0; i < 8; ++i)
        EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/b%1.txt").arg(i)) && i != 5) << i;
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/a0.txt")));
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/logo0.png")));
    // The cancelled end: buttons back, menu unlocked, no run in progress.
    EXPECT_TRUE(main.CancelRequested);
    EXPECT_FALSE(main.RunInProgress);
    EXPECT_FALSE(main.Visible(ctl::StopBtn));
    EXPECT_TRUE(main.Visible(ctl::RozpocznijTestyBtn));
    EXPECT_FALSE(main.Visible(ctl::TrwaAnulowanieLbl));
}

TEST_F(RunFiles, UnwritablePrimeFileOutsideARunStillCancels) {
    // The step alone, no run around it, and no data folder prepared.
    main.Lines.appendLine(QStringLiteral("20011"));
    EXPECT_FALSE(SaveLineFiles(main, QLatin1Char('a')));
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors.front().contains(QStringLiteral("a0.txt")));
    EXPECT_TRUE(main.CancelRequested);
}

} // namespace
} // namespace orv
