// Cost of one worker of each arithmetic test next to a plain loop doing the same work, compiled into
// the same program. The ratio shows what the workload code adds beyond the work itself; it should
// stay at 1.05 or below. Each round runs both once, in alternating order, and the minimum thread CPU
// time of each is compared, so that load from elsewhere on the machine does not decide the figure.
#include "core/Harness.h"
#include "core/MainModel.h"
#include "core/Random.h"
#include "platform/FloatEnv.h"
#include "workloads/Arithmetic.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cmath>
#include <functional>

#include <time.h>

namespace {

// Runs of a tenth of the production size: many short rounds give a steadier minimum than a few long
// ones; the work per iteration is the same.
constexpr std::uint32_t kDivisor = 10;

using orv::MainModel;
using orv::TWorker;

void RefIntegral(MainModel&, std::uint32_t n) {
    const double h = 30.0 / n;
    auto f = [](double x) {
        const double x2 = x * x;
        const double t = (std::sqrt(x) + 1.0) / (x2 + 1.0);
        const double first = std::sin(t);
        return first * std::sin(orv::Unmerged(t)) * std::exp(-x2);
    };
    double s = 0.0;
    for (std::uint32_t i = 1; i < n; ++i)
        s += f(i * h);
    volatile double result = h * ((f(0.0) + f(30.0)) / 2.0 + s);
    (void)result;
}

void RefNeedle(MainModel&, std::uint32_t throws) {
    std::uint32_t hits = 0;
    for (std::uint32_t i = 0; i < throws; ++i) {
        const double x = orv::ProcessRandom::Real() * 3.662;
        const double theta = orv::ProcessRandom::Real() * 1.570796327;
        if (std::sin(theta) * 2.152 >= x)
            ++hits;
    }
    volatile double estimate = (2.0 * 4.304 * throws) / (hits * 7.324);
    (void)estimate;
}

void RefMath(MainModel&, std::uint32_t rounds) {
    [[maybe_unused]] volatile double r = 0.0;
    for (std::uint32_t i = 0; i < rounds; ++i) {
        const std::int32_t a = orv::ProcessRandom::Range(10, 100000);
        const std::int32_t b = orv::ProcessRandom::Range(10, 100000);
        const std::int32_t p =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
        r = std::log2(std::sqrt(static_cast<double>(p))) / 2.0;
    }
}

void RefPower(MainModel&, std::uint32_t rounds) {
    [[maybe_unused]] volatile std::int32_t z = 0;
    for (std::uint32_t i = 0; i < rounds; ++i)
        z = static_cast<std::int32_t>(
            static_cast<std::int64_t>(std::floor(orv::Power(static_cast<double>(i), 2.0))));
}

void RefRandomData(MainModel& main, std::uint32_t lines) {
    for (std::uint32_t i = 0; i < lines; ++i)
        main.Lines.appendLine(QString::number(orv::ProcessRandom::Below(10'000'000)));
}

void RefPrimes(MainModel& main, std::uint32_t wanted) {
    std::uint32_t found = 0;
    for (std::int32_t n = 20000; found < wanted; ++n) {
        bool prime = true;
        for (std::int32_t d = 2; d < n; ++d) {
            if (n % d == 0) {
                prime = false;
                break;
            }
        }
        if (prime) {
            main.Lines.appendLine(QString::number(n));
            ++found;
        }
    }
}

// Thread CPU time: the machine may be shared, and time spent waiting for a processor is not cost.
double Millis(const std::function<void()>& f) {
    auto now = [] {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    };
    const double t0 = now();
    f();
    return now() - t0;
}

void Compare(benchmark::State& state, void (*workload)(TWorker&, const orv::WorkloadContext&),
             void (*reference)(MainModel&, std::uint32_t), std::uint32_t productionCount) {
    orv::InitThreadFloatingPoint();
    MainModel main;
    main.WorkDivisor = kDivisor;
    const std::uint32_t count = orv::ScaledCount(productionCount, kDivisor);
    TWorker worker(0, {});
    double bestWorkload = 1e300;
    double bestReference = 1e300;
    bool workloadFirst = true;
    for (auto _ : state) {
        double w = 0;
        double r = 0;
        const orv::WorkloadContext context = main.ContextForWorkloads();
        auto runWorkload = [&] { w = Millis([&] { workload(worker, context); }); };
        auto runReference = [&] { r = Millis([&] { reference(main, count); }); };
        if (workloadFirst) {
            runWorkload();
            main.Lines.clearLines();
            runReference();
        } else {
            runReference();
            main.Lines.clearLines();
            runWorkload();
        }
        main.Lines.clearLines();
        workloadFirst = !workloadFirst;
        bestWorkload = std::min(bestWorkload, w);
        bestReference = std::min(bestReference, r);
        state.SetIterationTime(w / 1000.0);
    }
    state.counters["workload_ms"] = bestWorkload;
    state.counters["reference_ms"] = bestReference;
    state.counters["ratio"] = bestWorkload / bestReference;
}

constexpr int kRounds = 40;

BENCHMARK_CAPTURE(Compare, Watek1Run_integral, orv::Watek1Run, RefIntegral, orv::kIntegralIntervals)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, Watek2Run_needle, orv::Watek2Run, RefNeedle, orv::kNeedleThrows)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, Watek3Run_math, orv::Watek3Run, RefMath, orv::kMathRounds)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, Watek8Run_powers, orv::Watek8Run, RefPower, orv::kPowerRounds)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, Watek9Run_random_data, orv::Watek9Run, RefRandomData, orv::kRandomLines)
    ->UseManualTime()
    ->Iterations(400)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Compare, Watek10Run_primes, orv::Watek10Run, RefPrimes, orv::kPrimeCount)
    ->UseManualTime()
    ->Iterations(kRounds)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
