// Heap allocations (operator new and new[]) of a steady-state frame of each 3D scene, on the null back end
// and on the OpenGL back end, next to the framework's own clear-and-present frame with no scene. Only the
// frame thread counts, and only inside DXUTRunFrame (window events are Qt's). The goal is 0 per frame: a
// benchmark that allocates while it draws measures itself.
// ORVANTA_ALLOC_TRACE=<n> prints the call stacks of the first n counted allocations of each run.
// Run under a display (xvfb-run with Mesa in CI machines).
#include "bench/graphics3d/SceneRunner.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "graphics3d/scenes/RenderUnit3.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <execinfo.h>
#include <new>
#include <unistd.h>

using namespace orv;

namespace {

std::atomic<std::uint64_t> g_allocations{0};
std::atomic<std::uint64_t> g_bytes{0};
thread_local bool t_counting = false;
int g_traceLeft = 0;

void Trace(std::size_t bytes) {
    // The dump itself must not count, nor recurse into another dump.
    t_counting = false;
    --g_traceLeft;
    char line[64];
    const int n = std::snprintf(line, sizeof line, "--- operator new(%zu)\n", bytes);
    (void)!write(STDERR_FILENO, line, static_cast<size_t>(n));
    void* frames[40];
    backtrace_symbols_fd(frames, backtrace(frames, 40), STDERR_FILENO);
    t_counting = true;
}

void Count(std::size_t bytes) {
    if (!t_counting)
        return;
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    g_bytes.fetch_add(bytes, std::memory_order_relaxed);
    if (g_traceLeft > 0)
        Trace(bytes);
}

void* Allocate(std::size_t bytes) {
    Count(bytes);
    if (void* p = std::malloc(bytes ? bytes : 1))
        return p;
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) {
    Count(bytes);
    const auto a = static_cast<std::size_t>(alignment);
    // aligned_alloc wants a size that is a multiple of the alignment.
    if (void* p = std::aligned_alloc(a, (bytes + a - 1) / a * a + (bytes ? 0 : a)))
        return p;
    throw std::bad_alloc();
}

} // namespace

void* operator new(std::size_t bytes) {
    return Allocate(bytes);
}
void* operator new[](std::size_t bytes) {
    return Allocate(bytes);
}
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    Count(bytes);
    return std::malloc(bytes ? bytes : 1);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    Count(bytes);
    return std::malloc(bytes ? bytes : 1);
}
void* operator new(std::size_t bytes, std::align_val_t alignment) {
    return AllocateAligned(bytes, alignment);
}
void* operator new[](std::size_t bytes, std::align_val_t alignment) {
    return AllocateAligned(bytes, alignment);
}
void* operator new(std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(bytes, alignment);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t bytes, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return AllocateAligned(bytes, alignment);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
    std::free(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

constexpr int kWarmUpFrames = 30;

// The null device logs every draw; emptied between frames it keeps its capacity instead of growing.
std::shared_ptr<NullControl> g_nullControl;
void ClearNullLog() {
    if (g_nullControl)
        g_nullControl->calls.clear();
}

enum class BackEnd { Null, OpenGl };

// Warm-up frames first (glyphs rasterised, batches and caches at their size), then counted frames until
// the benchmark has enough; at least a second of them, so the once-a-second statistics text is in.
void CountFrames(benchmark::State& state) {
    for (int i = 0; i < kWarmUpFrames; ++i) {
        DXUTRunFrame();
        QCoreApplication::processEvents();
        ClearNullLog();
    }
    g_traceLeft = std::getenv("ORVANTA_ALLOC_TRACE") ? std::atoi(std::getenv("ORVANTA_ALLOC_TRACE")) : 0;
    const std::uint64_t allocations = g_allocations.load(), bytes = g_bytes.load();
    for (auto _ : state) {
        t_counting = true;
        DXUTRunFrame();
        t_counting = false;
        QCoreApplication::processEvents();
        ClearNullLog();
    }
    const auto frames = static_cast<double>(state.iterations());
    state.counters["allocs_per_frame"] = static_cast<double>(g_allocations.load() - allocations) / frames;
    state.counters["bytes_per_frame"] = static_cast<double>(g_bytes.load() - bytes) / frames;
}

void UseBackEnd(BackEnd backEnd) {
    g_nullControl.reset();
    if (backEnd == BackEnd::Null)
        g_nullControl = bench::InstallQuietNullDirect3D();
    else
        SetDirect3DFactory({});
}

void SceneAllocations(benchmark::State& state, const TSceneEntryPoints& scene, BackEnd backEnd,
                      int lights = 0) {
    UseBackEnd(backEnd);
    QWindow window;
    if (!bench::StartScene(scene, window)) {
        state.SkipWithError("no 3D device");
    } else {
        if (lights > 0)
            RenderUnit3::SetLightCount(lights);
        CountFrames(state);
    }
    bench::StopScene(scene);
    SetDirect3DFactory({});
}

// The baseline: the framework's frame with a render callback that only clears.
bool AcceptAny(const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) {
    return true;
}
bool Immediate(DXUTDeviceSettings* s, const D3DCAPS9*, void*) {
    s->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return true;
}
void ClearOnly(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(66, 75, 121), 1.0f, 0);
}

void FrameworkAllocations(benchmark::State& state, BackEnd backEnd) {
    UseBackEnd(backEnd);
    QWindow window;
    DXUTSetPaused(false, false);
    DXUTSetCallbackRenderFrame(ClearOnly);
    DXUTSetCommandLineArguments({});
    if (FAILED(DXUTInitialize(true, true, false, true)) ||
        FAILED(DXUTSetWindow(&window, &window, &window, false)) ||
        FAILED(DXUTSetupDevice(0, false, 1024, 768, AcceptAny, Immediate, nullptr))) {
        state.SkipWithError("no 3D device");
    } else {
        CountFrames(state);
    }
    DXUTFreeState();
    SetDirect3DFactory({});
}

void BM_FrameworkClearPresent_Null(benchmark::State& state) {
    FrameworkAllocations(state, BackEnd::Null);
}
void BM_FrameworkClearPresent_OpenGl(benchmark::State& state) {
    FrameworkAllocations(state, BackEnd::OpenGl);
}
void BM_Scene1_Null(benchmark::State& state) {
    SceneAllocations(state, RenderUnit::Scene(), BackEnd::Null);
}
void BM_Scene1_OpenGl(benchmark::State& state) {
    SceneAllocations(state, RenderUnit::Scene(), BackEnd::OpenGl);
}
void BM_Scene2_Null(benchmark::State& state) {
    SceneAllocations(state, RenderUnit2::Scene(), BackEnd::Null);
}
void BM_Scene2_OpenGl(benchmark::State& state) {
    SceneAllocations(state, RenderUnit2::Scene(), BackEnd::OpenGl);
}
void BM_Scene3_Null(benchmark::State& state) {
    SceneAllocations(state, RenderUnit3::Scene(), BackEnd::Null, static_cast<int>(state.range(0)));
}
void BM_Scene3_OpenGl(benchmark::State& state) {
    SceneAllocations(state, RenderUnit3::Scene(), BackEnd::OpenGl, static_cast<int>(state.range(0)));
}

BENCHMARK(BM_FrameworkClearPresent_Null)->Unit(benchmark::kMicrosecond)->MinTime(1.5);
BENCHMARK(BM_Scene1_Null)->Unit(benchmark::kMicrosecond)->MinTime(1.5);
BENCHMARK(BM_Scene2_Null)->Unit(benchmark::kMicrosecond)->MinTime(1.5);
BENCHMARK(BM_Scene3_Null)->Arg(1)->Arg(6)->Unit(benchmark::kMicrosecond)->MinTime(1.5);
BENCHMARK(BM_FrameworkClearPresent_OpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_Scene1_OpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_Scene2_OpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);
BENCHMARK(BM_Scene3_OpenGl)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1.5);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
