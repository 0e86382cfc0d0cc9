#pragma once
#include <cstdint>

namespace orv {

// Process-wide 32-bit linear congruential generator: seed := seed * 134775813 + 1.
// All threads share the one seed; loads and stores are relaxed atomics, so concurrent workers may
// overwrite each other's steps, which is harmless for the workloads.
namespace ProcessRandom {

std::uint32_t Seed();
void SetSeed(std::uint32_t seed);

// One step; returns the new seed.
std::uint32_t Step();
// [0, 1): new seed / 2^32.
double Real();
// 0 .. n-1 (n > 0): upper 32 bits of new seed * n. n <= 0 gives 0.
std::int32_t Below(std::int32_t n);
// a + Below(b - a).
std::int32_t Range(std::int32_t a, std::int32_t b);

// Seed from the low 32 bits of the high-resolution counter.
void Reseed();

} // namespace ProcessRandom

} // namespace orv
