#include "app/Reporters.h"
#include "core/MainModel.h"
#include "core/RunReport.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace orv;

namespace {

class RecordingReporter final : public RunReporter {
public:
    explicit RecordingReporter(QStringList* log, bool delivers = true) : log_(log), delivers_(delivers) {}
    void Begin(const MainModel&) override { *log_ << QStringLiteral("begin"); }
    void RowStarted(const MainModel&, int row) override { *log_ << QStringLiteral("start %1").arg(row); }
    void RowEnded(const MainModel& m, int row) override {
        *log_ << QStringLiteral("end %1 %2").arg(row).arg(m.Result(row).score);
    }
    bool End(const MainModel&, const RunEnd& end) override {
        *log_ << QStringLiteral("done %1 %2").arg(end.cancelled).arg(end.error);
        return delivers_;
    }

private:
    QStringList* log_;
    bool delivers_;
};

void SetCategories(MainModel& m) {
    auto& s = m.Scores.ScoreTable;
    s[kScoreCpu] = 81234;
    s[kScoreRam] = 5000;
    s[kScoreHdd] = 0;
    s[kScore2d] = 12;
}

} // namespace

TEST(RunReport, CategoryLinesAreTheResultsPagesTexts) {
    MainModel m;
    SetCategories(m);
    const auto lines = CategoryLines(m.Scores);
    QStringList texts;
    for (const CategoryLine& l : lines)
        texts << l.Text();
    EXPECT_EQ(texts, (QStringList{"CPU: 81234", "RAM: 5000", "HDD: 0", "2D: 12",
                                  QStringLiteral("3D: %1").arg(m.Scores.Category3d())}));
}

TEST(RunReport, JsonNamesFailedAndSkippedRowsAndLeavesOutScoresOfACancelledRun) {
    MainModel m;
    SetCategories(m);
    m.ShowResultRow(0);
    m.FinishRow(0, 4321, QStringLiteral("1234 ms"), 1234, QStringLiteral("ms"));
    m.ShowResultRow(1);
    m.FinishRow(1, 5000, QStringLiteral("10 ms"), 10, QStringLiteral("ms"), QStringLiteral("brak pliku"));
    m.SkipRow(16, QStringLiteral("brak ekranu"));
    const QJsonObject done = ResultsJson(m, false);
    const QJsonArray rows = done[QStringLiteral("rows")].toArray();
    ASSERT_EQ(rows.size(), kRowCount);
    EXPECT_EQ(rows[0].toObject()[QStringLiteral("status")], QStringLiteral("finished"));
    EXPECT_EQ(rows[0].toObject()[QStringLiteral("score")], 4321);
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("status")], QStringLiteral("failed"));
    EXPECT_FALSE(rows[1].toObject().contains(QStringLiteral("score")));
    EXPECT_EQ(rows[1].toObject()[QStringLiteral("reason")], QStringLiteral("brak pliku"));
    EXPECT_EQ(done[QStringLiteral("categories")].toObject()[QStringLiteral("cpu")], 81234);
    EXPECT_EQ(done[QStringLiteral("overall")], m.Scores.Overall());
    EXPECT_TRUE(AnyMeasurementFailed(m));

    const QJsonObject cancelled = ResultsJson(m, true);
    EXPECT_FALSE(cancelled.contains(QStringLiteral("categories")));
    EXPECT_FALSE(cancelled.contains(QStringLiteral("overall")));
}

TEST(Reporters, EveryReporterSeesTheRowsInOrderAndTheEndOnce) {
    MainModel m;
    QStringList first, second;
    RecordingReporter a(&first), b(&second, false);
    int ends = 0;
    bool allDelivered = true;
    StartReporting(m, {&a, &b}, [&](const RunEnd& end, bool delivered) {
        ++ends;
        allDelivered = delivered;
        EXPECT_TRUE(end.Completed());
    });
    m.ShowResultRow(3);
    m.FinishRow(3, 777, QStringLiteral("9 ms"), 9, QStringLiteral("ms"));
    emit m.runEnded(false);
    const QStringList expected{"begin", "start 3", "end 3 777", "done 0 "};
    EXPECT_EQ(first, expected);
    EXPECT_EQ(second, expected);
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(allDelivered); // one reporter could not write its output
}
