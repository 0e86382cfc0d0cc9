#include "workloads/Arithmetic.h"
#include "core/Harness.h"
#include "core/MainModel.h"
#include "core/Random.h"
#include "platform/FloatEnv.h"
#include "tests/workloads/WorkloadsTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace orv {
namespace {

TEST(ArithmeticWorkloads, ProductionCountsArePerWorkerWork) {
    EXPECT_EQ(kIntegralIntervals, 9'000'000u);
    EXPECT_EQ(kNeedleThrows, 9'000'001u);
    EXPECT_EQ(kMathRounds, 12'000'001u);
    EXPECT_EQ(kPowerRounds, 25'000'001u);
    EXPECT_EQ(kRandomLines, 6'001u);
    EXPECT_EQ(kPrimeCount, 5'000u);
    EXPECT_EQ(kFirstPrimeCandidate, 20'000);
    EXPECT_EQ(MainModel().WorkDivisor, 1u);
}

TEST(ArithmeticWorkloads, GeneratorFromSeedZero) {
    ProcessRandom::SetSeed(0);
    EXPECT_EQ(ProcessRandom::Step(), 1u);
    EXPECT_EQ(ProcessRandom::Step(), 134775814u);
    ProcessRandom::SetSeed(0);
    EXPECT_EQ(ProcessRandom::Below(10), 0);
    ProcessRandom::SetSeed(0);
    EXPECT_DOUBLE_EQ(ProcessRandom::Real(), 1.0 / 4294967296.0);
    // Range draws one step: the first value from seed 0 is the lower bound.
    ProcessRandom::SetSeed(0);
    EXPECT_EQ(ProcessRandom::Range(kMathLow, kMathHigh), kMathLow);
}

TEST(ArithmeticWorkloads, MathRoundWrapsProductsAndGivesNanForNegativeOnes) {
    InitThreadFloatingPoint();
    EXPECT_EQ(WrappedProduct(50000, 50000), -1'794'967'296);
    EXPECT_TRUE(std::isnan(MathRound(50000, 50000)));
    EXPECT_EQ(WrappedProduct(99999, 99999), 1'409'865'409);
    EXPECT_NEAR(MathRound(99999, 99999), std::log(std::sqrt(1'409'865'409.0)) / std::log(4.0), 1e-12);
    EXPECT_DOUBLE_EQ(MathRound(16, 16), 2.0); // sqrt(256) = 16 = 4^2
    EXPECT_EQ(WrappedProduct(10, 10), 100);
}

TEST(ArithmeticWorkloads, PowerFunctionGeneralCases) {
    EXPECT_EQ(Power(3.0, 2.0), 9.0);
    EXPECT_EQ(Power(46341.0, 2.0), 2'147'488'281.0);
    EXPECT_EQ(Power(0.0, 2.0), 0.0);
    EXPECT_EQ(Power(0.0, 0.0), 1.0);
    EXPECT_EQ(Power(-5.0, 0.0), 1.0);
    EXPECT_EQ(Power(-3.0, 3.0), -27.0);
    EXPECT_EQ(Power(2.0, -2.0), 0.25);
    EXPECT_EQ(Power(1.5, 7.0), 1.5 * 1.5 * 1.5 * 1.5 * 1.5 * 1.5 * 1.5);
    EXPECT_EQ(IntPower(2.0, 31), 2147483648.0);
    EXPECT_NEAR(Power(2.0, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_NEAR(Power(10.0, 1.5), std::pow(10.0, 1.5), 1e-12);
    EXPECT_TRUE(std::isnan(Power(-8.0, 1.0 / 3.0)));
}

TEST(ArithmeticWorkloads, PowerLoopKeepsLow32BitsOfTheFloor) {
    EXPECT_EQ(PowerLoopValue(0), 0);
    EXPECT_EQ(PowerLoopValue(3), 9);
    EXPECT_EQ(PowerLoopValue(46340), 2'147'395'600);
    EXPECT_EQ(PowerLoopValue(46341), -2'147'479'015);
    // The last round: 625,000,000,000,000 mod 2^32, as a signed value.
    EXPECT_EQ(PowerLoopValue(25'000'000), static_cast<std::int32_t>(625'000'000'000'000LL % 4294967296LL));
    EXPECT_EQ(FloorToInt32(-0.5), -1);
}

TEST(ArithmeticWorkloads, IntegrandEvaluatesBothSines) {
    for (double x : {0.0, 0.25, 1.0, 7.5, 30.0}) {
        const long double t =
            (std::sqrt(static_cast<long double>(x)) + 1.0L) / (static_cast<long double>(x) * x + 1.0L);
        const long double expected = std::sin(t) * std::sin(t) * std::exp(-static_cast<long double>(x) * x);
        EXPECT_NEAR(IntegralFunction(x), static_cast<double>(expected), 1e-15) << x;
    }
    EXPECT_DOUBLE_EQ(IntegralFunction(0.0), std::sin(1.0) * std::sin(1.0));
}

TEST(ArithmeticWorkloads, TrialDivisionAgreesWithASieve) {
    EXPECT_FALSE(IsPrime(20000));
    EXPECT_TRUE(IsPrime(2));
    EXPECT_FALSE(IsPrime(4));
    EXPECT_FALSE(IsPrime(20001)); // 3 * 59 * 113
    const std::vector<int> primes = test::PrimesFrom(20000, 200);
    ASSERT_EQ(primes.front(), 20011);
    std::size_t next = 0;
    for (int n = 20000; n <= primes.back(); ++n) {
        const bool sieve = next < primes.size() && primes[next] == n;
        EXPECT_EQ(IsPrime(n), sieve) << n;
        next += sieve ? 1 : 0;
    }
    EXPECT_EQ(test::PrimesFrom(20000, 5000).back(), 73553);
    EXPECT_TRUE(IsPrime(73553));
}

// The workloads called directly on this thread: the shared line list belongs to it, so appends land
// at once and the generator is touched by nobody else.
class WorkloadOnOneThread : public testing::Test {
protected:
    MainModel main;
    TWorker worker{0, {}};
};

TEST_F(WorkloadOnOneThread, NeedleAndMathDrawTwoNumbersPerIteration) {
    main.WorkDivisor = 1000;
    ProcessRandom::SetSeed(12345);
    Watek2Run(worker, main.ContextForWorkloads());
    EXPECT_EQ(ProcessRandom::Seed(), test::SeedAfter(12345, 2 * 9000));

    ProcessRandom::SetSeed(777);
    Watek3Run(worker, main.ContextForWorkloads());
    EXPECT_EQ(ProcessRandom::Seed(), test::SeedAfter(777, 2 * 12000));
    EXPECT_TRUE(main.Lines.Lines().isEmpty());
}

TEST_F(WorkloadOnOneThread, RandomDataAppendsOneDecimalNumberPerStep) {
    main.WorkDivisor = 10;
    ProcessRandom::SetSeed(0);
    Watek9Run(worker, main.ContextForWorkloads());
    const QStringList& lines = main.Lines.Lines();
    ASSERT_EQ(lines.size(), 600);
    EXPECT_EQ(lines.front(), QStringLiteral("0")); // seed 1 -> below 10,000,000 is 0
    std::uint32_t seed = 0;
    for (const QString& line : lines) {
        seed = test::SeedAfter(seed, 1);
        const auto expected = (static_cast<std::uint64_t>(seed) * 10'000'000u) >> 32;
        ASSERT_EQ(line, QString::number(expected));
    }
}

TEST_F(WorkloadOnOneThread, PrimesStartAt20011AndFollowTheSieve) {
    main.WorkDivisor = 25; // 200 primes
    Watek10Run(worker, main.ContextForWorkloads());
    const std::vector<int> primes = test::PrimesFrom(20000, 200);
    const QStringList& lines = main.Lines.Lines();
    ASSERT_EQ(lines.size(), 200);
    for (qsizetype i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], QString::number(primes[static_cast<std::size_t>(i)]));

    main.Lines.clearLines();
    main.WorkDivisor = 0xFFFFFFFFu; // never less than one prime
    Watek10Run(worker, main.ContextForWorkloads());
    EXPECT_EQ(main.Lines.Lines(), QStringList{QStringLiteral("20011")});
}

} // namespace
} // namespace orv
