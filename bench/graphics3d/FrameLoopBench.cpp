// Frames per second of a clear and present through the framework's frame loop, next to a plain Qt
// and OpenGL loop doing the same work: clear a 1024 x 768 off-screen buffer, scale it onto the
// full-screen window, swap, handle pending events. The difference is the framework's overhead.
// Run under a display (xvfb-run in CI machines).
#include "bench/graphics3d/RawGl.h"
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QScreen>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <memory>

using namespace orv;

namespace {

constexpr int kFramesPerIteration = 200;
int g_framesLeft = 0;

bool Accept(const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) {
    return true;
}
bool Adjust(DXUTDeviceSettings* s, const D3DCAPS9*, void*) {
    s->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return true;
}
void Render(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(66, 75, 121), 1.0f, 0);
    if (--g_framesLeft == 0)
        DXUTPostQuitMessage(0);
}

void BM_FrameworkMainLoop(benchmark::State& state) {
    QWindow window;
    DXUTSetPaused(false, false);
    DXUTSetCallbackRenderFrame(Render);
    DXUTSetCommandLineArguments({});
    if (FAILED(DXUTInitialize(true, true, false, true)) ||
        FAILED(DXUTSetWindow(&window, &window, &window, false)) ||
        FAILED(DXUTSetupDevice(0, false, 1024, 768, Accept, Adjust, nullptr))) {
        state.SkipWithError("no 3D device");
        DXUTFreeState();
        return;
    }
    for (auto _ : state) {
        g_framesLeft = kFramesPerIteration;
        DXUTMainLoop();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFramesPerIteration,
                                               benchmark::Counter::kIsRate);
    DXUTFreeState();
}
BENCHMARK(BM_FrameworkMainLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The full-screen present alone: the 1024 x 768 back buffer scaled onto the screen and swapped, with
// the filter the device uses (linear, argument 0) next to the cheapest one (nearest, argument 1).
void BM_PresentScaledBlit(benchmark::State& state) {
    const bool nearest = state.range(0) == 1;
    bench::RawGlWindow w;
    if (!w.Start()) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    QOpenGLFunctions_3_3_Core* gl = w.gl;
    const bench::OffscreenTarget target(gl, 1024, 768, 0);
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, target.fbo);
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, w.context.defaultFramebufferObject());
    for (auto _ : state) {
        gl->glBlitFramebuffer(0, 0, 1024, 768, 0, w.window.height(), w.window.width(), 0, GL_COLOR_BUFFER_BIT,
                              nearest ? GL_NEAREST : GL_LINEAR);
        w.context.swapBuffers(&w.window);
    }
}
BENCHMARK(BM_PresentScaledBlit)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_RawQtGlLoop(benchmark::State& state) {
    bench::RawGlWindow w;
    if (!w.Start()) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    QOpenGLFunctions_3_3_Core* gl = w.gl;
    QWindow& window = w.window;
    QOpenGLContext& context = w.context;
    const bench::OffscreenTarget target(gl, 1024, 768, GL_DEPTH_COMPONENT32);
    const GLuint fbo = target.fbo;
    for (auto _ : state) {
        for (int i = 0; i < kFramesPerIteration; ++i) {
            QCoreApplication::processEvents();
            gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
            gl->glClearColor(66 / 255.0f, 75 / 255.0f, 121 / 255.0f, 0.0f);
            gl->glClearDepth(1.0);
            gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
            gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context.defaultFramebufferObject());
            gl->glBlitFramebuffer(0, 0, 1024, 768, 0, window.height(), window.width(), 0, GL_COLOR_BUFFER_BIT,
                                  GL_LINEAR);
            context.swapBuffers(&window);
        }
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()) * kFramesPerIteration,
                                               benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RawQtGlLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// The framework's own share of a frame: one frame step (timer, statistics, callbacks, present) on the
// null back end, where the device costs next to nothing.
void NullRender(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_XRGB(66, 75, 121), 1.0f, 0);
}

void BM_FrameworkFrameStepNull(benchmark::State& state) {
    NullConfig config = DefaultNullConfig();
    config.control->recordFrameCalls = false;
    InstallNullDirect3D(config);
    QWindow window;
    DXUTSetPaused(false, false);
    DXUTSetCallbackRenderFrame(NullRender);
    DXUTSetCommandLineArguments({});
    if (FAILED(DXUTInitialize(true, true, false, true)) ||
        FAILED(DXUTSetWindow(&window, &window, &window, false)) ||
        FAILED(DXUTSetupDevice(0, false, 1024, 768, Accept, Adjust, nullptr))) {
        state.SkipWithError("no null device");
    } else {
        for (auto _ : state) {
            QCoreApplication::processEvents();
            DXUTRunFrame();
        }
    }
    DXUTFreeState();
    SetDirect3DFactory({});
}
BENCHMARK(BM_FrameworkFrameStepNull);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
