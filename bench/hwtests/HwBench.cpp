// Memory pass against a plain copy loop with one refused call, and the disk helper's three
// measurements on the file system of ORVANTA_BENCH_DIR (default: the current folder), with
// ORVANTA_BENCH_MB megabytes (default 1024); ORVANTA_BENCH_BUFFERED=1 measures the buffered path.
// compare_fio.sh runs fio with the same flags.
#include "hwtests/RamTest.h"
#include "hwtests/hdd/DiskBench.h"

#include <QDir>

#include <benchmark/benchmark.h>

#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace orv;

void BM_RamPass(benchmark::State& state) {
    RamProbeTarget target;
    std::vector<std::uint32_t> block(kRamBlockWords, 0);
    const std::int64_t self = ::getpid();
    for (auto _ : state)
        benchmark::DoNotOptimize(RamPass(self, target.Address(), block.data()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kRamBlockSize));
}
BENCHMARK(BM_RamPass);

// The same work written out by hand: a downward word copy into a stack buffer and one system call
// that the kernel refuses.
__attribute__((noinline)) long PlainPass(const std::uint32_t* src, void* target) {
    std::uint32_t dst[kRamBlockWords];
    for (std::size_t i = kRamBlockWords; i-- > 0;)
        dst[i] = src[i];
    iovec local{dst, sizeof dst};
    iovec remote{target, sizeof dst};
    return ::syscall(SYS_process_vm_writev, ::getpid(), &local, 1UL, &remote, 1UL, 0UL);
}

void BM_PlainCopyAndRefusedCall(benchmark::State& state) {
    void* target = ::mmap(nullptr, kRamBlockSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    std::vector<std::uint32_t> block(kRamBlockWords, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(PlainPass(block.data(), target));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(kRamBlockSize));
    ::munmap(target, kRamBlockSize);
}
BENCHMARK(BM_PlainCopyAndRefusedCall);

// The whole measured loop as the memory test runs it (2000 passes).
void BM_RamTestLoop(benchmark::State& state) {
    RamTestConfig config{QStringLiteral("bench_hwtests"), 2000};
    for (auto _ : state)
        benchmark::DoNotOptimize(MeasureRamTime(config, {}));
}
BENCHMARK(BM_RamTestLoop)->Unit(benchmark::kMillisecond)->Iterations(5);

QString BenchFolder() {
    const QString dir = qEnvironmentVariable("ORVANTA_BENCH_DIR", QDir::currentPath());
    return dir + QStringLiteral("/orvanta-bench");
}

std::int64_t BenchBytes() {
    return qEnvironmentVariableIntValue("ORVANTA_BENCH_MB") > 0
               ? qEnvironmentVariableIntValue("ORVANTA_BENCH_MB") * kMiB
               : kDiskBenchDefaultSize;
}

void BM_DiskHelper(benchmark::State& state) {
    DiskBenchOptions o;
    o.folder = BenchFolder();
    o.size = BenchBytes();
    o.seekFileSize = std::min(o.size, kSeekFileSize);
    o.allowDirect = qEnvironmentVariableIsEmpty("ORVANTA_BENCH_BUFFERED");
    QDir().mkpath(o.folder);
    DiskBench bench(o);
    std::atomic<bool> cancel{false};
    DiskBenchResult r;
    for (auto _ : state) {
        r = bench.Run(cancel);
        if (r.status != DiskBenchStatus::Ok) {
            state.SkipWithError(r.error.toUtf8().constData());
            return;
        }
        state.SetIterationTime(r.writeSeconds + r.readSeconds + r.seekSumSeconds);
    }
    const double mb = static_cast<double>(o.size) / static_cast<double>(kMiB);
    state.counters["write_MBps"] = mb / r.writeSeconds;
    state.counters["read_MBps"] = mb / r.readSeconds;
    state.counters["seek_mean_us"] = r.seekSumSeconds / o.seeks * 1e6;
    state.counters["wynik1_ms"] = r.writeMs;
    state.counters["wynik2_ms"] = r.readMs;
    state.counters["wynik3_ms"] = r.seekMs;
    state.counters["direct"] = r.directWrite && r.directRead && r.directSeek ? 1 : 0;
}
BENCHMARK(BM_DiskHelper)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
