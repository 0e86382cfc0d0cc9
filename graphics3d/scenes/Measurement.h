#pragma once
// The frame-rate measurement of a 3D test: a record shared by the GUI thread and the scene's
// measuring thread, and that thread, which samples the framework's frames-per-second figure.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace orv {

// Production timing of the measuring thread.
inline constexpr int kFpsWarmUpMs = 5000;
inline constexpr int kFpsSampleIntervalMs = 1000;
inline constexpr int kFpsSamples = 10;

struct TFpsTiming {
    int warmUpMs = kFpsWarmUpMs;
    int intervalMs = kFpsSampleIntervalMs;
    int samples = kFpsSamples;
};

// The timing every scene's thread uses; tests shorten it.
TFpsTiming& FpsTiming();

class TFpsMeasurement {
public:
    using Source = std::function<float()>;
    // Called on the measuring thread before a sample is counted, with the count so far.
    using SampleHook = std::function<void(int count)>;

    TFpsMeasurement();
    ~TFpsMeasurement();
    TFpsMeasurement(const TFpsMeasurement&) = delete;
    TFpsMeasurement& operator=(const TFpsMeasurement&) = delete;

    // Sum, count and done together.
    void Zero();
    // Starts the thread (a previous one is stopped first).
    void Start(SampleHook hook = {});
    // Asks the thread to end, wakes its sleeps and waits for it. Afterwards nothing touches the record.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    double Sum() const { return sum_.load(std::memory_order_acquire); }
    std::int32_t Count() const { return count_.load(std::memory_order_acquire); }
    bool Done() const { return done_.load(std::memory_order_acquire); }

    // Where samples come from: the framework's figure unless a test sets another.
    void SetSource(Source source) { source_ = std::move(source); }

private:
    void Run(TFpsTiming timing, const SampleHook& hook);
    // False when a stop was asked for during the wait.
    bool Sleep(int ms);

    std::atomic<double> sum_{0.0};
    std::atomic<std::int32_t> count_{0};
    std::atomic<bool> done_{false};
    Source source_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    std::thread thread_;
};

} // namespace orv
