#include "hwtests/RamTest.h"
#include "core/MainModel.h"
#include "hwtests/Formats.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>
#include <vector>

namespace orv {
namespace {

QString OwnName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
}

class LocaleGuard {
public:
    explicit LocaleGuard(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleGuard() { QLocale::setDefault(QLocale::c()); }
};

TEST(RamTest, ProductionConstants) {
    EXPECT_EQ(kRamPasses, 20001);
    EXPECT_EQ(kRamBlockSize, 524288u);
    EXPECT_EQ(kRamBlockWords, 131072u);
    EXPECT_EQ(kRamVolumeMb, 10000.0);
    EXPECT_STREQ(kOwnExecutableName, "orvanta");
    // A block on the stack with a wide margin (two blocks' worth crashed under the thread sanitizer).
    EXPECT_GE(kRamThreadStackSize, 8 * kRamBlockSize);
}

TEST(RamTest, ThroughputTexts) {
    LocaleGuard c(QLocale::c());
    EXPECT_EQ(RamThroughputText(3448), QStringLiteral("2900.23 MB/s"));
    EXPECT_EQ(RamThroughputText(1000), QStringLiteral("10000.00 MB/s"));
    EXPECT_EQ(RamThroughputText(20000000), QStringLiteral(".50 MB/s"));
    EXPECT_EQ(RamThroughputText(0), QStringLiteral("? MB/s"));
    EXPECT_EQ(RamThroughputText(-7), QStringLiteral("? MB/s"));
    LocaleGuard pl(QLocale(QLocale::Polish, QLocale::Poland));
    EXPECT_EQ(RamThroughputText(3448), QStringLiteral("2900,23 MB/s"));
    EXPECT_EQ(FormatHash0Dot00(0.5), QStringLiteral("0,50"));
    EXPECT_EQ(FormatHashDot00(123456.789), QStringLiteral("123456,79")); // no thousands separator
}

TEST(RamTest, ReferenceTimeScores5000) {
    MainModel m;
    EXPECT_EQ(m.Scores.ComputeScore(3448, m.Scores.ReferenceTable[12], m.Scores.FactorTable[12], 1), 5000);
}

TEST(RamTest, PassIsRefusedAndLeavesTheCodeUnchanged) {
    RamProbeTarget target;
    ASSERT_NE(target.Address(), nullptr);
    EXPECT_TRUE(target.InCode());
    const auto* code = static_cast<const char*>(target.Address());
    const QByteArray before =
        QCryptographicHash::hash(QByteArray(code, kRamBlockSize), QCryptographicHash::Sha256);
    std::vector<std::uint32_t> block(kRamBlockWords);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint32_t>(i * 2654435761u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RamPass(::getpid(), target.Address(), block.data()), -1);
    EXPECT_EQ(QCryptographicHash::hash(QByteArray(code, kRamBlockSize), QCryptographicHash::Sha256), before);
}

TEST(RamTest, MeasuresOnlyWhenTheProgramFindsItself) {
    std::vector<int> progress;
    int passes = -1;
    RamTestConfig found{OwnName(), 40};
    const std::int32_t t = MeasureRamTime(
        found, [&](int p) { progress.push_back(p); }, &passes);
    EXPECT_EQ(passes, 40);
    EXPECT_GE(t, 0);
    EXPECT_EQ(progress, (std::vector<int>{50, 100}));

    progress.clear();
    RamTestConfig missing{QStringLiteral("no-such-program-here"), 40};
    EXPECT_EQ(MeasureRamTime(
                  missing, [&](int p) { progress.push_back(p); }, &passes),
              0);
    EXPECT_EQ(passes, 0);
    EXPECT_EQ(progress, (std::vector<int>{100}));
}

TEST(RamTest, FinishesRow12WhileTheWindowStaysResponsive) {
    LocaleGuard c(QLocale::c());
    MainModel m;
    std::vector<int> positions;
    QObject::connect(&m, &MainModel::controlChanged, &m, [&](const QString& name) {
        if (name == ctl::RamProgress)
            positions.push_back(m.Position(name));
    });
    m.SetPosition(ctl::RamProgress, 7);
    positions.clear();
    bool tickedWhileRunning = false;
    QTimer::singleShot(0, &m,
                       [&] { tickedWhileRunning = m.Result(12).status != RowResult::Status::Finished; });

    RunRamTest(m, RamTestConfig{OwnName(), 400});

    EXPECT_TRUE(tickedWhileRunning);
    EXPECT_EQ(positions, (std::vector<int>{0, 50, 100}));
    const RowResult& r = m.Result(12);
    ASSERT_EQ(r.status, RowResult::Status::Finished);
    EXPECT_TRUE(m.Visible(WynikLblName(12)));
    EXPECT_EQ(m.Picture(WynikImgName(12)), 66);
    EXPECT_EQ(m.Text(WynikLblName(12)), QString::number(r.score));
    EXPECT_EQ(m.Scores.ScoreTable[12], r.score);
    EXPECT_TRUE(r.detail.endsWith(QLatin1String(" MB/s")));
    EXPECT_EQ(m.Text(WynikLblMoreName(12)), r.detail);
}

TEST(RamTest, NotFoundShowsUnknownThroughputAndASmallScore) {
    // The test program is not called "orvanta": no passes run and the time is 0.
    MainModel m;
    m.WorkDivisor = 1000;
    ramTest(m);
    EXPECT_EQ(m.Text(WynikLblMoreName(12)), QStringLiteral("? MB/s"));
    EXPECT_GE(m.Scores.ScoreTable[12], 1);
    EXPECT_LE(m.Scores.ScoreTable[12], 4);
    EXPECT_EQ(m.Position(ctl::RamProgress), 100);
}

} // namespace
} // namespace orv
