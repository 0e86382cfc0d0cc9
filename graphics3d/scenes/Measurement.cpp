#include "graphics3d/scenes/Measurement.h"

#include "graphics3d/framework/DXUT.h"

#include <chrono>

namespace orv {

TFpsTiming& FpsTiming() {
    static TFpsTiming timing;
    return timing;
}

TFpsMeasurement::TFpsMeasurement() : source_([] { return DXUTCurrentFps(); }) {}

TFpsMeasurement::~TFpsMeasurement() {
    Stop();
}

void TFpsMeasurement::Zero() {
    sum_.store(0.0, std::memory_order_release);
    count_.store(0, std::memory_order_release);
    done_.store(false, std::memory_order_release);
}

void TFpsMeasurement::Start(SampleHook hook) {
    Stop();
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
    }
    thread_ = std::thread([this, timing = FpsTiming(), hook = std::move(hook)] { Run(timing, hook); });
}

void TFpsMeasurement::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

bool TFpsMeasurement::Sleep(int ms) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested_; });
}

void TFpsMeasurement::Run(TFpsTiming timing, const SampleHook& hook) {
    // Loading the scene counts against the warm-up: sampling does not wait for it.
    if (!Sleep(timing.warmUpMs))
        return;
    Zero();
    while (Count() < timing.samples) {
        const double sample = static_cast<double>(source_());
        sum_.store(Sum() + sample, std::memory_order_release);
        if (hook)
            hook(Count());
        count_.store(Count() + 1, std::memory_order_release);
        if (!Sleep(timing.intervalMs))
            return;
    }
    done_.store(true, std::memory_order_release);
}

} // namespace orv
