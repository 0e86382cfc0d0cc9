// Frames per second of a clear and present through the framework's frame loop, next to a plain Qt
// and OpenGL loop doing the same work: clear a 1024 x 768 off-screen buffer, scale it onto the
// full-screen window, swap, handle pending events. The difference is the framework's overhead.
// Run under a display (xvfb-run in CI machines).
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

void BM_RawQtGlLoop(benchmark::State& state) {
    QWindow window;
    QSurfaceFormat fmt;
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CoreProfile);
    fmt.setSwapInterval(0);
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(fmt);
    window.setGeometry(QGuiApplication::primaryScreen()->geometry());
    window.showFullScreen();
    QOpenGLContext context;
    context.setFormat(fmt);
    if (!context.create() || !context.makeCurrent(&window)) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    auto* gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
    gl->initializeOpenGLFunctions();
    GLuint fbo = 0, colour = 0, depth = 0;
    gl->glGenFramebuffers(1, &fbo);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    gl->glGenTextures(1, &colour);
    gl->glBindTexture(GL_TEXTURE_2D, colour);
    gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1024, 768, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
    gl->glGenRenderbuffers(1, &depth);
    gl->glBindRenderbuffer(GL_RENDERBUFFER, depth);
    gl->glRenderbufferStorage(GL_RENDERBUFFER, 0x81A7 /*GL_DEPTH_COMPONENT32*/, 1024, 768);
    gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
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
    gl->glDeleteFramebuffers(1, &fbo);
    gl->glDeleteTextures(1, &colour);
    gl->glDeleteRenderbuffers(1, &depth);
    context.doneCurrent();
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
