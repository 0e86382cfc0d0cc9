#include "core/Random.h"

#include "platform/Clock.h"

#include <atomic>

namespace orv::ProcessRandom {

namespace {
std::atomic<std::uint32_t> g_seed{0};
}

std::uint32_t Seed() {
    return g_seed.load(std::memory_order_relaxed);
}

void SetSeed(std::uint32_t seed) {
    g_seed.store(seed, std::memory_order_relaxed);
}

std::uint32_t Step() {
    const std::uint32_t next = g_seed.load(std::memory_order_relaxed) * 134775813u + 1u;
    g_seed.store(next, std::memory_order_relaxed);
    return next;
}

double Real() {
    return static_cast<double>(Step()) / 4294967296.0;
}

std::int32_t Below(std::int32_t n) {
    const std::uint32_t s = Step();
    if (n <= 0)
        return 0;
    return static_cast<std::int32_t>((static_cast<std::uint64_t>(s) * static_cast<std::uint32_t>(n)) >> 32);
}

std::int32_t Range(std::int32_t a, std::int32_t b) {
    return a + Below(b - a);
}

void Reseed() {
    const std::int64_t counter = QueryPerformanceCounter();
    SetSeed(counter != 0 ? static_cast<std::uint32_t>(counter) : GetTickCount());
}

} // namespace orv::ProcessRandom
