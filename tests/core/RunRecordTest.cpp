#include "core/RunRecord.h"
#include "core/Conditions.h"
#include "core/MainModel.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

RunRecord Sample(std::int32_t cpu, std::int32_t rowScore, const QStringList& flags = {}) {
    RunRecord r;
    RowRecord row;
    row.row = 0;
    row.suffix = QStringLiteral("0");
    row.title = QStringLiteral("Kompresja");
    row.status = QStringLiteral("finished");
    row.score = rowScore;
    row.detail = QStringLiteral("%1 ms").arg(rowScore);
    row.scores = Spread{double(rowScore), double(rowScore), double(rowScore), 1};
    r.rows.push_back(row);
    static const char* const kKeys[5] = {"cpu", "ram", "hdd", "2d", "3d"};
    for (std::size_t i = 0; i < 5; ++i)
        r.categories[i] = CategoryRecord{QString::fromLatin1(kKeys[i]), QStringLiteral("X: "), 0, Spread{}};
    r.categories[0].score = cpu;
    r.categories[0].scores = Spread{double(cpu), double(cpu), double(cpu), 1};
    r.overall = cpu / 5;
    r.overallScores = Spread{double(r.overall), double(r.overall), double(r.overall), 1};
    r.conditions.flags = flags;
    return r;
}

TEST(RunRecord, SpreadIsMedianAndRangeOfTheValues) {
    const Spread odd = SpreadOf({87969, 79538, 85945});
    EXPECT_EQ(odd.median, 85945);
    EXPECT_EQ(odd.count, 3);
    EXPECT_NEAR(odd.Percent(), (87969.0 - 79538.0) / 85945.0 * 100.0, 1e-9);
    EXPECT_NEAR(odd.MinPercent(), (79538.0 - 85945.0) / 85945.0 * 100.0, 1e-9);
    EXPECT_EQ(SpreadOf({4, 1, 3, 2}).median, 2.5);
    EXPECT_EQ(SpreadOf({7}).Percent(), 0);
    EXPECT_EQ(SpreadOf({}).count, 0);
}

TEST(RunRecord, CombinedRunsTakeMediansKeepEveryRunAndMergeFlags) {
    const RunRecord c =
        CombineRuns({Sample(1000, 100), Sample(1100, 130, {QStringLiteral("battery")}), Sample(1050, 110)});
    EXPECT_EQ(c.repeats, 3);
    EXPECT_EQ(c.runs.size(), 3);
    EXPECT_EQ(c.categories[0].score, 1050);
    EXPECT_EQ(c.rows[0].score, 110);
    // The row's texts come from the repeat at the median.
    EXPECT_EQ(c.rows[0].detail, QStringLiteral("110 ms"));
    EXPECT_TRUE(c.rows[0].Unstable()); // 30 / 110 > 5 %
    EXPECT_EQ(c.UnstableRows(), QStringList{QStringLiteral("Kompresja")});
    EXPECT_TRUE(c.conditions.flags.contains(QStringLiteral("battery")));
    EXPECT_FALSE(SpreadsSettled(c)); // CPU spread 9.5 %
    EXPECT_TRUE(SpreadsSettled(CombineRuns({Sample(1000, 100), Sample(1010, 100)})));
    EXPECT_FALSE(SpreadsSettled(Sample(1000, 100))) << "one run settles nothing";
}

TEST(RunRecord, JsonRoundTripKeepsScoresSpreadsAndConditions) {
    RunRecord c = CombineRuns({Sample(1000, 100), Sample(1100, 130)});
    c.id = 7;
    c.profile = {{QStringLiteral("Procesor"), QStringLiteral("Żółw 3 GHz")}};
    c.conditions.governor = QStringLiteral("powersave");
    c.conditions.stages[0].ran = true;
    c.conditions.stages[0].otherLoadPercent = 12.5;
    FlagConditions(c.conditions);
    const RunRecord back = RecordFromJson(RecordJson(c));
    EXPECT_EQ(back.id, 7);
    EXPECT_EQ(back.repeats, 2);
    EXPECT_EQ(back.categories[0].score, c.categories[0].score);
    EXPECT_EQ(back.categories[0].scores.min, 1000);
    EXPECT_EQ(back.rows[0].scores.max, 130);
    EXPECT_EQ(back.profile[0].second, QStringLiteral("Żółw 3 GHz"));
    EXPECT_EQ(back.conditions.flags, c.conditions.flags);
    EXPECT_TRUE(back.conditions.flags.contains(QStringLiteral("other-load:cpu")));
}

TEST(RunRecord, CompareCountsAChangeOnlyBeyondTheNoise) {
    // Without repeats a change must exceed 5 %.
    auto changes = CompareRecords(Sample(1000, 100), Sample(1040, 120));
    ASSERT_GE(changes.size(), 2U);
    EXPECT_NEAR(changes[0].percent, 20.0, 1e-9);
    EXPECT_TRUE(changes[0].real);
    EXPECT_NEAR(changes[1].percent, 4.0, 1e-9); // CPU
    EXPECT_FALSE(changes[1].real);
    // Repeats measure their own noise: 1 % apart is then real, and a wide spread hides 8 %.
    const RunRecord tightA = CombineRuns({Sample(1000, 100), Sample(1001, 100)});
    const RunRecord tightB = CombineRuns({Sample(1040, 100), Sample(1041, 100)});
    EXPECT_TRUE(CompareRecords(tightA, tightB)[1].real);
    const RunRecord wide = CombineRuns({Sample(900, 100), Sample(1100, 100)});
    const RunRecord later = CombineRuns({Sample(1080, 100), Sample(1081, 100)});
    EXPECT_FALSE(CompareRecords(wide, later)[1].real);
}

TEST(Conditions, FlagsRaisedExactlyWhenTheyShould) {
    RunConditions c;
    c.powerSource = QStringLiteral("ac");
    c.governor = QStringLiteral("performance");
    c.frequencyDriver = QStringLiteral("acpi-cpufreq");
    FlagConditions(c);
    EXPECT_TRUE(c.flags.isEmpty()) << c.flags.join(QLatin1Char(',')).toStdString();

    c.powerSource = QStringLiteral("battery");
    c.governor = QStringLiteral("powersave");
    FlagConditions(c);
    EXPECT_EQ(c.flags, (QStringList{QStringLiteral("battery"), QStringLiteral("powersave-governor")}));
    // Under the drivers whose "powersave" is dynamic, only an energy preference of "power" holds back.
    c.powerSource = QStringLiteral("ac");
    c.frequencyDriver = QStringLiteral("intel_pstate");
    c.energyPreference = QStringLiteral("balance_performance");
    FlagConditions(c);
    EXPECT_TRUE(c.flags.isEmpty());
    c.energyPreference = QStringLiteral("power");
    FlagConditions(c);
    EXPECT_EQ(c.flags, QStringList{QStringLiteral("powersave-governor")});

    RunConditions s;
    StageConditions& cpu = s.stages[static_cast<std::size_t>(Stage::Cpu)];
    cpu.ran = true;
    cpu.otherLoadPercent = kOtherLoadLimitPercent; // at the limit: not above it
    cpu.mhzHighest = 3000;
    cpu.mhzAfter = 2600; // 13 % down
    FlagConditions(s);
    EXPECT_TRUE(s.flags.isEmpty());
    cpu.otherLoadPercent = 10.5;
    cpu.mhzAfter = 2500; // 17 % down
    FlagConditions(s);
    EXPECT_EQ(s.flags, (QStringList{QStringLiteral("other-load:cpu"), QStringLiteral("throttling:cpu")}));
    // A disk stage idles the processor: a lower clock there is no throttling, a counter is.
    StageConditions& hdd = s.stages[static_cast<std::size_t>(Stage::Hdd)];
    hdd.ran = true;
    hdd.mhzHighest = 3000;
    hdd.mhzAfter = 800;
    FlagConditions(s);
    EXPECT_FALSE(s.flags.contains(QStringLiteral("throttling:hdd")));
    hdd.throttleEvents = 3;
    FlagConditions(s);
    EXPECT_TRUE(s.flags.contains(QStringLiteral("throttling:hdd")));
    EXPECT_EQ(s.Warnings().size(), s.flags.size());
}

TEST(Conditions, RefusedVerticalSyncFlagsItsGraphicsStage) {
    RunConditions c;
    c.stages[static_cast<std::size_t>(Stage::Gfx3d)].ran = true;
    GraphicsSurface surface;
    surface.renderer = QStringLiteral("llvmpipe");
    surface.displayServer = QStringLiteral("offscreen");
    surface.offscreen = true;
    surface.swapIntervalZero = false;
    surface.width = 1024;
    surface.height = 768;
    TakeGraphicsSurface(c, 1, surface);
    FlagConditions(c);
    EXPECT_EQ(c.flags, QStringList{QStringLiteral("vsync:3d")});
    const RunConditions back = ConditionsFromJson(ConditionsJson(c));
    EXPECT_TRUE(back.offscreen[1]);
    EXPECT_EQ(back.graphicsRenderer[1], QStringLiteral("llvmpipe"));
    EXPECT_EQ(back.surfaceSize[1], QStringLiteral("1024 × 768"));
    EXPECT_EQ(back.flags, c.flags);
}

} // namespace
} // namespace orv
