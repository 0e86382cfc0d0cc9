#include "core/Harness.h"
#include "core/Scoring.h"

#include <benchmark/benchmark.h>

#include <thread>
#include <vector>

namespace {

void BM_ComputeScore(benchmark::State& state) {
    orv::Scoring s;
    std::int32_t value = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.ComputeScore(value, 17363, 5000, 0));
        value = value % 30000 + 1;
    }
}
BENCHMARK(BM_ComputeScore);

// Cost of handing one line from a worker to the owner of the list, as rows 8 and 9 do per number.
void BM_AppendLineHandOff(benchmark::State& state) {
    for (auto _ : state) {
        orv::SharedLineList lines;
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 1000; ++i)
                lines.appendLine(QStringLiteral("1234567"));
            done = true;
        });
        while (!done)
            lines.Serve();
        worker.join();
        lines.Serve();
        benchmark::DoNotOptimize(lines.Lines().size());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_AppendLineHandOff)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
