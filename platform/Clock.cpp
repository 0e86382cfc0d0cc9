#include "platform/Clock.h"

#include <chrono>

namespace orv {

std::uint32_t GetTickCount() {
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

std::int64_t QueryPerformanceCounter() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t QueryPerformanceFrequency() {
    return 1'000'000'000;
}

} // namespace orv
