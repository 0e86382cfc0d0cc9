// A 3D scene's frame (the skinned mesh, the shadow map, the shadow volumes with one and six lights): update,
// draw and present at 1024 x 768 through the OpenGL back end, next to the same frame on the null back end,
// which does all of our layer's work (scene, utilities, device state, checks) but hands nothing to a driver.
// Wall time gives the frame rate; the CPU time of the calling thread, set against the null run's, splits our
// code from the driver's. Run under a display (xvfb-run with Mesa in CI machines).
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "graphics3d/scenes/RenderUnit3.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <functional>

using namespace orv;

namespace {

bool StartScene(const TSceneEntryPoints& scene, QWindow& window) {
    DXUTSetExecutablePathForSearch(QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/../bin/orvanta"));
    DXUTSetPaused(false, false);
    if (scene.Prepare)
        scene.Prepare();
    // The scene's own set-up, with a measuring thread that never samples.
    FpsTiming().warmUpMs = 1 << 30;
    scene.Setup();
    DXUTSetCallbackDeviceCreated(scene.DeviceCreated);
    DXUTSetCallbackDeviceReset(scene.DeviceReset);
    DXUTSetCallbackDeviceLost(scene.DeviceLost);
    DXUTSetCallbackDeviceDestroyed(scene.DeviceDestroyed);
    DXUTSetCallbackUpdateFrame(scene.UpdateFrame);
    DXUTSetCallbackRenderFrame(scene.RenderFrame);
    DXUTSetCommandLineArguments({});
    return SUCCEEDED(DXUTInitialize(true, true, false, true)) &&
           SUCCEEDED(DXUTSetWindow(&window, &window, &window, false)) &&
           SUCCEEDED(DXUTSetupDevice(0, false, 1024, 768, scene.AcceptDevice, scene.AdjustDeviceSettings,
                                     nullptr)) &&
           DXUTGetD3DDevice();
}

void RunFrames(benchmark::State& state) {
    for (auto _ : state) {
        DXUTRunFrame();
        QCoreApplication::processEvents();
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The scene's preparation objects go with the framework; its measuring thread never sampled.
void StopScene(const TSceneEntryPoints& scene) {
    DXUTFreeState();
    scene.Release();
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
