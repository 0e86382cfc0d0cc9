#pragma once
#include <cstdint>

namespace orv {

// Monotonic millisecond tick; wraps like a 32-bit counter, so callers take unsigned differences.
std::uint32_t GetTickCount();

// High-resolution monotonic counter and its frequency in counts per second.
std::int64_t QueryPerformanceCounter();
std::int64_t QueryPerformanceFrequency();

} // namespace orv
