#include "platform/Clock.h"
#include "platform/FloatEnv.h"
#include "platform/Version.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

using namespace orv;

TEST(Clock, TickAndCounterMoveForward) {
    const std::uint32_t t0 = GetTickCount();
    const std::int64_t c0 = QueryPerformanceCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const std::uint32_t elapsed = GetTickCount() - t0;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
    const double seconds = static_cast<double>(QueryPerformanceCounter() - c0) /
                           static_cast<double>(QueryPerformanceFrequency());
    EXPECT_GE(seconds, 0.029);
}

TEST(Version, FourNumbersFromTheBuild) {
    const auto v = ProgramVersionRecord();
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(ProgramVersionText(), QStringLiteral("1.2.0.0"));
}

TEST(FloatEnv, ExceptionsMaskedInNewThreads) {
    bool ok = false;
    double nan = 0, inf = 0;
    std::thread t([&] {
        InitThreadFloatingPoint();
        ok = ThreadFloatingPointIsDefault();
        volatile double zero = 0.0, minus = -1.0;
        nan = std::sqrt(static_cast<double>(minus));
        inf = 1.0 / zero;
    });
    t.join();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(std::isnan(nan));
    EXPECT_TRUE(std::isinf(inf));
}
