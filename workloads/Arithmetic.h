#pragma once
#include <cmath>
#include <cstdint>

namespace orv {

struct WorkloadContext;
class TWorker;

// Work of one worker in each arithmetic test. These counts are the benchmark: every iteration runs.
inline constexpr std::uint32_t kIntegralIntervals = 9'000'000;
inline constexpr std::uint32_t kNeedleThrows = 9'000'001;
inline constexpr std::uint32_t kMathRounds = 12'000'001;
inline constexpr std::uint32_t kPowerRounds = 25'000'001; // i = 0 .. 25,000,000
inline constexpr std::uint32_t kRandomLines = 6'001;
inline constexpr std::uint32_t kPrimeCount = 5'000;
inline constexpr std::int32_t kFirstPrimeCandidate = 20'000;

inline constexpr double kIntegralUpper = 30.0;
inline constexpr double kNeedleSpread = 3.662;      // x range: half the line distance
inline constexpr double kNeedleAngle = 1.570796327; // theta range
inline constexpr double kNeedleHalf = 2.152;        // half the needle
inline constexpr double kNeedleLength = 4.304;
inline constexpr double kLineDistance = 7.324;
inline constexpr std::int32_t kMathLow = 10;
inline constexpr std::int32_t kMathHigh = 100'000;
inline constexpr std::int32_t kRandomLimit = 10'000'000;

// An iteration count at reduced size (tests, quick runs): count / divisor, at least 1.
inline std::uint32_t ScaledCount(std::uint32_t count, std::uint32_t divisor) {
    const std::uint32_t n = divisor > 1 ? count / divisor : count;
    return n > 0 ? n : 1;
}

// Returns v unchanged, but the compiler can no longer tell that the result equals v, so a call on it
// is not merged with the same call on v. Costs no instruction.
inline double Unmerged(double v) {
#if defined(__GNUC__) && defined(__x86_64__)
    __asm__("" : "+x"(v));
#else
    volatile double copy = v;
    v = copy;
#endif
    return v;
}

// f(x) = sin(t) * sin(t) * e^(-x^2), t = (sqrt(x) + 1) / (x^2 + 1); the two sines are evaluated one
// after the other, not once and squared.
inline double IntegralFunction(double x) {
    const double x2 = x * x;
    const double t = (std::sqrt(x) + 1.0) / (x2 + 1.0);
    const double first = std::sin(t);
    return first * std::sin(Unmerged(t)) * std::exp(-x2);
}

// a * b as a signed 32-bit two's-complement product: large products wrap to negative values.
inline std::int32_t WrappedProduct(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// One round of the mathematical operations: base-4 logarithm of the square root of the wrapped
// product. A negative product gives a NaN root and a NaN result, never an error.
inline double MathRound(std::int32_t a, std::int32_t b) {
    const double s = std::sqrt(static_cast<double>(WrappedProduct(a, b)));
    return std::log2(s) / std::log2(4.0);
}

// base^exponent for a non-negative integral exponent by repeated squaring and multiplication; a
// negative exponent gives the reciprocal.
double IntPower(double base, std::int32_t exponent);

// The general real power function: exponent 0 gives 1, base 0 with a positive exponent gives 0,
// an integral exponent goes through IntPower, anything else through exp(exponent * ln(base)).
double Power(double base, double exponent);

// Rounds down and keeps the low 32 bits, as a signed value (|y| < 2^63).
inline std::int32_t FloorToInt32(double y) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(std::floor(y))));
}

// One round of the power loop: z = floor(Power(i, 2.0)) stored in 32 bits.
inline std::int32_t PowerLoopValue(std::int32_t i) {
    return FloorToInt32(Power(static_cast<double>(i), 2.0));
}

// Full trial division by every d from 2 to n - 1, stopping at the first divisor; n <= 2 counts as
// prime. No square-root bound: the cost is the point.
inline bool IsPrime(std::int32_t n) {
    if (n <= 2)
        return true;
    for (std::int32_t d = 2; d < n; ++d) {
        if (n % d == 0)
            return false;
    }
    return true;
}

// Worker bodies of rows 0, 1, 2, 7, 8 and 9. Each runs the whole workload of one worker once; the
// iteration counts are divided by context.workDivisor.
void Watek1Run(TWorker& worker, const WorkloadContext& context);  // integral
void Watek2Run(TWorker& worker, const WorkloadContext& context);  // pi by needle dropping
void Watek3Run(TWorker& worker, const WorkloadContext& context);  // mathematical operations
void Watek8Run(TWorker& worker, const WorkloadContext& context);  // loop of powers
void Watek9Run(TWorker& worker, const WorkloadContext& context);  // random data into the shared line list
void Watek10Run(TWorker& worker, const WorkloadContext& context); // primes into the shared line list

} // namespace orv
