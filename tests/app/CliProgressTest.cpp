// The command line's live line: the estimate of what is left, the clock and the line itself.
#include "app/CliProgress.h"
#include "core/MainModel.h"
#include "core/Scoring.h"

#include <gtest/gtest.h>

using namespace orv;

TEST(RunEstimate, ReferenceTimesScaleByWhatThisRunMeasuredAndOtherRowsByTheirStage) {
    RunEstimate e(4);
    // Before anything ran: the reference computer's time, shrunk with the work.
    EXPECT_EQ(e.ExpectedMs(0), kReferenceValues[0] / 4);
    // A machine ten times faster than the reference on the first row.
    e.Finished(0, kReferenceValues[0] / 10);
    EXPECT_NEAR(static_cast<double>(e.ExpectedMs(1)), kReferenceValues[1] / 10.0, 1.0);
    // The 3D rows have no reference time: a typical time, then what the first of them took.
    EXPECT_GT(e.ExpectedMs(19), 0);
    e.Finished(18, 3000);
    EXPECT_EQ(e.ExpectedMs(19), 3000);
    EXPECT_EQ(e.ExpectedMs(20), 3000);
    // The current row counts only what it has left, never less than nothing.
    EXPECT_EQ(e.RemainingMs({19, 20}, 18, 1000), 3000 + 3000 + 2000);
    EXPECT_EQ(e.RemainingMs({19}, 18, 99999), 3000);
    EXPECT_EQ(e.RemainingMs({}, -1, 0), 0);
    EXPECT_EQ(e.ExpectedMs(13), 0); // no such row
}

TEST(LiveLine, ClockTitleProgressAndEstimateFitTheWidth) {
    EXPECT_EQ(ClockText(0), QStringLiteral("0:00"));
    EXPECT_EQ(ClockText(65'999), QStringLiteral("1:05"));
    EXPECT_EQ(ClockText(3'725'000), QStringLiteral("1:02:05"));
    EXPECT_EQ(ClockText(-5), QStringLiteral("0:00"));

    const QString line = LiveLine(QStringLiteral("Liczenie całek"), 12'400, 63, 45'000, 130'000);
    EXPECT_EQ(line, QStringLiteral("  Liczenie całek 12 s, 63% | test trwa 0:45, pozostało ok. 2:10"));
    EXPECT_FALSE(LiveLine(QStringLiteral("Zapis danych"), 1000, -1, 2000, 3000).contains(u'%'));
    EXPECT_TRUE(LiveLine(QStringLiteral("x"), 0, 250, 0, 0).contains(QStringLiteral("100%")));

    // A narrow terminal shortens the title and keeps the numbers.
    const QString narrow = LiveLine(QStringLiteral("Podstawowe operacje graficzne (kompresja JPEG)"), 3000,
                                    50, 61'000, 5000, 60);
    EXPECT_LT(narrow.size(), 60);
    EXPECT_TRUE(narrow.contains(QChar(0x2026)));
    EXPECT_TRUE(narrow.endsWith(QStringLiteral("3 s, 50% | test trwa 1:01, pozostało ok. 0:05")))
        << narrow.toStdString();
}

TEST(LiveLine, RowsShowTheirBarsAndTheDiskRowsTheHelpersStep) {
    MainModel m;
    m.SetPosition(ctl::CpuProgress, 40); // four workers of eight
    m.SetPosition(ctl::RamProgress, 70);
    EXPECT_EQ(RowProgressPercent(m, 0, {}), 50);
    EXPECT_EQ(RowProgressPercent(m, 12, {}), 70);
    EXPECT_EQ(RowProgressPercent(m, 16, {}), -1);

    // The disk rows run as one: the line names the step the helper reports, whichever row runs.
    const DiskHelperProgress none;
    EXPECT_EQ(RowProgressPercent(m, kRow15b, none), -1);
    EXPECT_EQ(ShownRow(kRow15b, none), kRow15b);
    const DiskHelperProgress reading{15, 45};
    EXPECT_EQ(RowProgressPercent(m, kRow15b, reading), 45);
    EXPECT_EQ(ShownRow(kRow15b, reading), 15);
    // Other stages never borrow it.
    EXPECT_EQ(ShownRow(12, reading), 12);
    EXPECT_EQ(RowProgressPercent(m, 16, reading), -1);
}
