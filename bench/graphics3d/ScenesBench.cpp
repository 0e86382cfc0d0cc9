// A 3D scene's frame (the skinned mesh, the shadow map, the shadow volumes with one and six lights): update,
// draw and present at 1024 x 768 through the OpenGL back end, next to the same frame on the null back end,
// which does all of our layer's work (scene, utilities, device state, checks) but hands nothing to a driver.
// Wall time gives the frame rate; the CPU time of the calling thread, set against the null run's, splits our
// code from the driver's. Run under a display (xvfb-run with Mesa in CI machines).
#include "bench/graphics3d/SceneRunner.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "graphics3d/scenes/RenderUnit3.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <functional>

using namespace orv;
using orv::bench::StartScene;
using orv::bench::StopScene;

namespace {

void RunFrames(benchmark::State& state) {
    for (auto _ : state) {
        DXUTRunFrame();
        QCoreApplication::processEvents();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void SceneOnOpenGl(benchmark::State& state, const TSceneEntryPoints& scene,
                   const std::function<void()>& afterSetup = {}) {
    SetDirect3DFactory({});
    QWindow window;
    if (!StartScene(scene, window)) {
        state.SkipWithError("no 3D device");
    } else {
        if (afterSetup)
            afterSetup();
        RunFrames(state);
    }
    StopScene(scene);
}

void SceneOnNullBackEnd(benchmark::State& state, const TSceneEntryPoints& scene,
                        const std::function<void()>& afterSetup = {}) {
    InstallNullDirect3D(DefaultNullConfig());
    QWindow window;
    if (!StartScene(scene, window)) {
        state.SkipWithError("no null device");
    } else {
        if (afterSetup)
            afterSetup();
        RunFrames(state);
    }
    StopScene(scene);
    SetDirect3DFactory({});
}

void BM_Scene1Frame_OpenGl(benchmark::State& state) {
    SceneOnOpenGl(state, RenderUnit::Scene());
}
BENCHMARK(BM_Scene1Frame_OpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void BM_Scene1Frame_NullBackEnd(benchmark::State& state) {
    SceneOnNullBackEnd(state, RenderUnit::Scene());
}
BENCHMARK(BM_Scene1Frame_NullBackEnd)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

void BM_Scene2Frame_OpenGl(benchmark::State& state) {
    SceneOnOpenGl(state, RenderUnit2::Scene());
}
BENCHMARK(BM_Scene2Frame_OpenGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void BM_Scene2Frame_NullBackEnd(benchmark::State& state) {
    SceneOnNullBackEnd(state, RenderUnit2::Scene());
}
BENCHMARK(BM_Scene2Frame_NullBackEnd)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

void BM_Scene3Frame_OpenGl(benchmark::State& state) {
    SceneOnOpenGl(state, RenderUnit3::Scene(),
                  [&] { RenderUnit3::SetLightCount(static_cast<int>(state.range(0))); });
}
BENCHMARK(BM_Scene3Frame_OpenGl)->Arg(1)->Arg(6)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);

void BM_Scene3Frame_NullBackEnd(benchmark::State& state) {
    SceneOnNullBackEnd(state, RenderUnit3::Scene(),
                       [&] { RenderUnit3::SetLightCount(static_cast<int>(state.range(0))); });
}
BENCHMARK(BM_Scene3Frame_NullBackEnd)->Arg(1)->Arg(6)->Unit(benchmark::kMicrosecond)->MinTime(3.0);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
