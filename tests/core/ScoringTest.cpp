#include "core/Scoring.h"
#include "core/Random.h"
#include "platform/Registry.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace orv;

namespace {

Scoring Plain() {
    return Scoring{};
}

// A scoring object whose BoostMode draws are fixed: re-seeding sets the seed to `seed`.
Scoring Boosted(std::uint32_t seed) {
    Scoring s;
    s.BoostMode = true;
    s.Reseed = [seed] { ProcessRandom::SetSeed(seed); };
    return s;
}

} // namespace

TEST(ComputeScore, ReferenceExamples) {
    const Scoring s = Plain();
    EXPECT_EQ(s.ComputeScore(17363, 17363, 5000, 0), 5000);
    EXPECT_EQ(s.ComputeScore(8682, 17363, 5000, 0), 9999);
    EXPECT_EQ(s.ComputeScore(3000, 17363, 5000, 0), 28938);
    // Twice as slow as the reference: half the points, truncated.
    EXPECT_EQ(s.ComputeScore(2 * 15741 + 1, 15741, 5000, 0), 2499);
}

TEST(ComputeScore, ZeroTimeGivesSmallRandomScoreNeverDivision) {
    Scoring s = Plain();
    for (int i = 0; i < 200; ++i) {
        const auto v = s.ComputeScore(0, 17363, 5000, 0);
        EXPECT_GE(v, 1);
        EXPECT_LE(v, 4);
    }
    s.BoostMode = true;
    for (int i = 0; i < 200; ++i) {
        const auto v = s.ComputeScore(0, 17363, 5000, 0);
        EXPECT_GE(v, 5);
        EXPECT_LE(v, 14);
    }
}

TEST(ComputeScore, NegativeTimeGivesNegativeScore) {
    EXPECT_EQ(Plain().ComputeScore(-17363, 17363, 5000, 0), -5000);
}

TEST(ComputeScore, SmallRandomScoreDrawsWithoutReseeding) {
    Scoring s = Plain();
    int reseeds = 0;
    s.Reseed = [&] { ++reseeds; };
    ProcessRandom::SetSeed(0);
    // Seed 0 → 1; 1 * 4 >> 32 = 0 → 1 + 0.
    EXPECT_EQ(s.ComputeScore(0, 1, 5000, 0), 1);
    EXPECT_EQ(reseeds, 0);
}

TEST(ComputeScore, BoostReductionUsesExtendedPrecision) {
    // Seed 0 steps to 1, whose integer below 2 is 0: r = 5. In extended precision 5 * 0.01 lies just
    // below 0.05, so 1000 * p floors to 49 and the time becomes 951: exactly the reference.
    const Scoring s = Boosted(0);
    EXPECT_EQ(s.ComputeScore(1000, 951, 5000, 0), 5000);
    EXPECT_EQ(s.ComputeScore(1000, 951, 5000, 2), 5000);
    // The same draw in kind 1 gives r = 3 (3 * 0.01 * 1000 floors to 30) and in kind 3 r = 7 (70).
    EXPECT_EQ(s.ComputeScore(1000, 970, 5000, 1), 5000);
    EXPECT_EQ(s.ComputeScore(1000, 930, 5000, 3), 5000);
}

TEST(ComputeScore, BoostUpperDrawAndUnknownKind) {
    // Seed 16 steps to the first value at or above 2^31: the integer below 2 is 1, so r = 6.
    ProcessRandom::SetSeed(16);
    ASSERT_GE(ProcessRandom::Step(), 0x80000000u);
    const Scoring s = Boosted(16);
    EXPECT_EQ(s.ComputeScore(1000, 940, 5000, 0), 5000);
    // Kinds outside 0..3 get no reduction.
    EXPECT_EQ(s.ComputeScore(1000, 1000, 5000, 7), 5000);
}

TEST(ComputeRateScore, Examples) {
    const Scoring s = Plain();
    EXPECT_EQ(s.ComputeRateScore(943, 5000, 943), 5000);
    EXPECT_EQ(s.ComputeRateScore(1886, 5000, 943), 10000);
    for (int i = 0; i < 100; ++i) {
        const auto v = s.ComputeRateScore(0, 5000, 943);
        EXPECT_GE(v, 1);
        EXPECT_LE(v, 4);
        const auto n = s.ComputeRateScore(-3, 5000, 943);
        EXPECT_GE(n, 1);
        EXPECT_LE(n, 4);
    }
    // r = 7: 100 + floor(100 * 0.07) = 107.
    const Scoring b = Boosted(0);
    EXPECT_EQ(b.ComputeRateScore(100, 5000, 107), 5000);
}

TEST(SeekScore, Examples) {
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 10000), 2500);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 5000), 5000);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 4999), 5073);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 2500), 5147);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 500), 5736);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 50), 12364);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 10), 12364);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, 0), 0);
    EXPECT_EQ(Scoring::SeekScore(5000, 5000, -7), 0);
}

TEST(SeekScore, IgnoresBoostMode) {
    Scoring s = Boosted(0);
    EXPECT_EQ(s.SeekScore(5000, 5000, 10000), 2500);
}

TEST(FloorToInt32, RoundsDownAndMarksOverflow) {
    EXPECT_EQ(FloorToInt32(2.999L), 2);
    EXPECT_EQ(FloorToInt32(-0.5L), -1);
    EXPECT_EQ(FloorToInt32(2147483647.9L), 2147483647);
    EXPECT_EQ(FloorToInt32(2147483648.0L), INT32_MIN);
    EXPECT_EQ(FloorToInt32(-2147483649.0L), INT32_MIN);
}

TEST(Categories, Formulas) {
    Scoring s;
    for (int i = 0; i <= 11; ++i)
        s.ScoreTable[static_cast<std::size_t>(i)] = 5000;
    s.ScoreTable[11] = 4999; // sum 59999
    EXPECT_EQ(s.ComputeCpuCategory(), 4999);
    EXPECT_EQ(s.ScoreTable[kScoreCpu], 4999);

    s.ScoreTable[12] = 1234;
    EXPECT_EQ(s.ComputeRamCategory(), 1234);

    s.ScoreTable[14] = 5000;
    s.ScoreTable[15] = 4000;
    s.ScoreTable[kScoreSeek] = 3000;
    EXPECT_EQ(s.ComputeHddCategory(), 4200);
    s.ScoreTable[14] = s.ScoreTable[15] = s.ScoreTable[kScoreSeek] = 1;
    EXPECT_EQ(s.ComputeHddCategory(), 1);
    s.ScoreTable[14] = s.ScoreTable[15] = 0;
    s.ScoreTable[kScoreSeek] = 4;
    EXPECT_EQ(s.ComputeHddCategory(), 0);

    s.ScoreTable[16] = 3;
    s.ScoreTable[17] = 4;
    EXPECT_EQ(s.Compute2dCategory(), 3);
    // Truncation toward zero also for negative sums.
    s.ScoreTable[16] = -3;
    s.ScoreTable[17] = 0;
    EXPECT_EQ(s.Compute2dCategory(), -1);
}

TEST(Categories, OverallOfAllFiveThousand) {
    Scoring s;
    s.ScoreTable.fill(5000);
    s.ComputeCpuCategory();
    s.ComputeRamCategory();
    s.ComputeHddCategory();
    s.Compute2dCategory();
    EXPECT_EQ(s.Category3d(), 5000);
    EXPECT_EQ(s.Overall(), 5000);
}

TEST(Tables, ReferenceAndFactorValues) {
    const Scoring s;
    EXPECT_EQ(s.ReferenceTable[0], 17363);
    EXPECT_EQ(s.ReferenceTable[12], 3448);
    EXPECT_EQ(s.ReferenceTable[13], 15819);
    EXPECT_EQ(s.ReferenceTable[17], 35800);
    EXPECT_EQ(s.ReferenceTable[20], 218);
    EXPECT_EQ(s.ReferenceTable[21], 5000);
    for (auto f : s.FactorTable)
        EXPECT_EQ(f, 5000);
    for (auto v : s.ScoreTable)
        EXPECT_EQ(v, 0);
}

TEST(BoostModeSetting, OnlyTheExactTextOneCounts) {
    RegistryKey key(QStringLiteral("Software\\Brisko"));
    key.DeleteValue(QStringLiteral("Opt"));
    EXPECT_FALSE(ReadBoostMode());
    for (const char* text : {"01", "1 ", "", "true", " 1"}) {
        key.WriteString(QStringLiteral("Opt"), QString::fromLatin1(text));
        EXPECT_FALSE(ReadBoostMode()) << text;
    }
    key.WriteInteger(QStringLiteral("Opt"), 1);
    EXPECT_FALSE(ReadBoostMode());
    key.WriteString(QStringLiteral("Opt"), QStringLiteral("1"));
    EXPECT_TRUE(ReadBoostMode());
    key.DeleteValue(QStringLiteral("Opt"));
}

TEST(BoostModeSetting, MissingKeyIsCreatedEmpty) {
    RegistryKey probe(QStringLiteral("Software\\Brisko"), false);
    QFile::remove(probe.FilePath());
    EXPECT_FALSE(ReadBoostMode());
    EXPECT_TRUE(RegistryKey(QStringLiteral("Software\\Brisko"), false).Exists());
}
