#include "workloads/Arithmetic.h"

#include "core/MainModel.h"
#include "core/Random.h"

#include <QString>

#include <climits>

namespace orv {

double IntPower(double base, std::int32_t exponent) {
    std::uint32_t n =
        exponent < 0 ? 0u - static_cast<std::uint32_t>(exponent) : static_cast<std::uint32_t>(exponent);
    double result = 1.0;
    double factor = base;
    while (n != 0) {
        if (n & 1u)
            result *= factor;
        n >>= 1;
        if (n != 0)
            factor *= factor;
    }
    return exponent < 0 ? 1.0 / result : result;
}

// Kept out of line: the loop of powers must pay for the general function with all its checks, not
// for a multiplication the compiler could derive from the constant exponent.
[[gnu::noinline]] double Power(double base, double exponent) {
    if (exponent == 0.0)
        return 1.0;
    if (base == 0.0 && exponent > 0.0)
        return 0.0;
    if (std::trunc(exponent) == exponent && std::fabs(exponent) <= static_cast<double>(INT_MAX))
        return IntPower(base, static_cast<std::int32_t>(exponent));
    return std::exp(exponent * std::log(base));
}

// Discarded results go to volatile locals: the stores must happen, so no iteration can be dropped,
// and each worker writes its own stack, so the eight workers do not share a cache line.

void Watek1Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t n = ScaledCount(kIntegralIntervals, context.workDivisor);
    const double h = kIntegralUpper / static_cast<double>(n);
    double s = 0.0;
    for (std::uint32_t i = 1; i < n; ++i)
        s += IntegralFunction(static_cast<double>(i) * h);
    volatile double result = h * ((IntegralFunction(0.0) + IntegralFunction(kIntegralUpper)) / 2.0 + s);
    (void)result;
}

void Watek2Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t throws = ScaledCount(kNeedleThrows, context.workDivisor);
    std::uint32_t hits = 0;
    for (std::uint32_t i = 0; i < throws; ++i) {
        const double x = ProcessRandom::Real() * kNeedleSpread;
        const double theta = ProcessRandom::Real() * kNeedleAngle;
        if (std::sin(theta) * kNeedleHalf >= x)
            ++hits;
    }
    // No hits gives infinity, an ordinary value here.
    volatile double estimate =
        (2.0 * kNeedleLength * static_cast<double>(throws)) / (static_cast<double>(hits) * kLineDistance);
    (void)estimate;
}

void Watek3Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t rounds = ScaledCount(kMathRounds, context.workDivisor);
    [[maybe_unused]] volatile double r = 0.0;
    for (std::uint32_t i = 0; i < rounds; ++i) {
        const std::int32_t a = ProcessRandom::Range(kMathLow, kMathHigh);
        const std::int32_t b = ProcessRandom::Range(kMathLow, kMathHigh);
        r = MathRound(a, b);
    }
}

void Watek8Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t rounds = ScaledCount(kPowerRounds, context.workDivisor);
    [[maybe_unused]] volatile std::int32_t z = 0;
    for (std::uint32_t i = 0; i < rounds; ++i)
        z = PowerLoopValue(static_cast<std::int32_t>(i));
}

void Watek9Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t lines = ScaledCount(kRandomLines, context.workDivisor);
    for (std::uint32_t i = 0; i < lines; ++i)
        context.lines->appendLine(QString::number(ProcessRandom::Below(kRandomLimit)));
}

void Watek10Run(TWorker&, const WorkloadContext& context) {
    const std::uint32_t wanted = ScaledCount(kPrimeCount, context.workDivisor);
    std::uint32_t found = 0;
    for (std::int32_t n = kFirstPrimeCandidate; found < wanted; ++n) {
        if (IsPrime(n)) {
            context.lines->appendLine(QString::number(n));
            ++found;
        }
    }
}

} // namespace orv
