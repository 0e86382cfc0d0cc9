// Processor time per draw through the 3D layer, next to a plain OpenGL loop issuing the same draws
// with the same buffers, programs and uniforms: a small mesh into a small target, a new world matrix
// per draw, so the driver's work is the same in both and the difference is the layer. Thread CPU time of
// the drawing thread only (llvmpipe rasterises on threads of its own). Run under a display.
#include "bench/graphics3d/RawGl.h"
#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/d3dx/D3DX9.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QWindow>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

using namespace orv;

namespace {

constexpr int kDrawsPerFrame = 500;
constexpr int kTarget = 64;
constexpr int kWorlds = 16;

double ThreadSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A quad of two triangles near the middle of the target.
constexpr float kQuad[12] = {-0.2f, 0.2f, 0.5f, 0.2f, 0.2f, 0.5f, 0.2f, -0.2f, 0.5f, -0.2f, -0.2f, 0.5f};
constexpr WORD kIndices[6] = {0, 1, 2, 0, 2, 3};

std::array<D3DXMATRIX, kWorlds> Worlds() {
    std::array<D3DXMATRIX, kWorlds> w;
    for (int i = 0; i < kWorlds; ++i)
        D3DXMatrixTranslation(&w[static_cast<size_t>(i)], 0.04f * static_cast<float>(i % 4 - 2),
                              0.04f * static_cast<float>(i / 4 - 2), 0);
    return w;
}

struct LayerDevice {
    QWindow window;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    bool Start() {
        window.resize(kTarget, kTarget);
        window.show();
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        if (!d3d)
            return false;
        D3DPRESENT_PARAMETERS pp;
        pp.Windowed = true;
        pp.BackBufferWidth = pp.BackBufferHeight = kTarget;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
        pp.EnableAutoDepthStencil = true;
        pp.AutoDepthStencilFormat = D3DFMT_D24S8;
        pp.hDeviceWindow = &window;
        pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                 &device) == D3D_OK;
    }
    ~LayerDevice() {
        SafeRelease(device);
        SafeRelease(d3d);
    }
};

ID3DXMesh* QuadMesh(IDirect3DDevice9* device) {
    ID3DXMesh* mesh = nullptr;
    if (FAILED(D3DXCreateMeshFVF(2, 4, D3DXMESH_MANAGED, D3DFVF_XYZ, device, &mesh)))
        return nullptr;
    void* p = nullptr;
    mesh->LockVertexBuffer(0, &p);
    std::memcpy(p, kQuad, sizeof kQuad);
    mesh->UnlockVertexBuffer();
    mesh->LockIndexBuffer(0, &p);
    std::memcpy(p, kIndices, sizeof kIndices);
    mesh->UnlockIndexBuffer();
    return mesh;
}

void Report(benchmark::State& state, double cpuSeconds) {
    const double draws = static_cast<double>(state.iterations()) * kDrawsPerFrame;
    state.counters["cpu_us_per_draw"] = cpuSeconds * 1e6 / draws;
}

// Fixed-function draws: world transform, material colour, no lighting.
void BM_FixedFunctionDraw_Layer(benchmark::State& state) {
    LayerDevice d;
    ID3DXMesh* mesh = d.Start() ? QuadMesh(d.device) : nullptr;
    if (!mesh) {
        state.SkipWithError("no 3D device");
        return;
    }
    IDirect3DDevice9* dev = d.device;
    const auto worlds = Worlds();
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    dev->SetTransform(D3DTS_VIEW, &identity);
    dev->SetTransform(D3DTS_PROJECTION, &identity);
    dev->SetRenderState(D3DRS_LIGHTING, 0);
    dev->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    double cpu = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        dev->BeginScene();
        for (int i = 0; i < kDrawsPerFrame; ++i) {
            dev->SetTransform(D3DTS_WORLD, &worlds[static_cast<size_t>(i % kWorlds)]);
            mesh->DrawSubset(0);
        }
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        cpu += ThreadSeconds() - t0;
    }
    Report(state, cpu);
    mesh->Release();
}
BENCHMARK(BM_FixedFunctionDraw_Layer)->Unit(benchmark::kMillisecond)->MinTime(2.0);

const char* kEffect = R"(
    float4x4 g_mWorld;
    float4 g_vColour = {1.0, 0.5, 0.25, 1.0};
    technique T {
        pass P0 {
            CullMode = NONE;
            VertexShader = <<< in vec3 aPosition; void main() { gl_Position = g_mWorld * vec4(aPosition, 1.0); } >>>;
            PixelShader = <<< void main() { fragColour = g_vColour; } >>>;
        }
    }
)";

void BM_EffectDraw_Layer(benchmark::State& state) {
    LayerDevice d;
    ID3DXMesh* mesh = d.Start() ? QuadMesh(d.device) : nullptr;
    ID3DXEffect* effect = nullptr;
    if (!mesh || FAILED(D3DXCreateEffect(d.device, kEffect, static_cast<UINT>(std::strlen(kEffect)), nullptr,
                                         nullptr, 0, nullptr, &effect, nullptr))) {
        state.SkipWithError("no 3D device or effect");
        SafeRelease(mesh);
        return;
    }
    IDirect3DDevice9* dev = d.device;
    const auto worlds = Worlds();
    const D3DXHANDLE world = effect->GetParameterByName(nullptr, "g_mWorld");
    double cpu = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        dev->BeginScene();
        UINT passes = 0;
        effect->Begin(&passes, 0);
        effect->BeginPass(0);
        for (int i = 0; i < kDrawsPerFrame; ++i) {
            effect->SetMatrix(world, &worlds[static_cast<size_t>(i % kWorlds)]);
            effect->CommitChanges();
            mesh->DrawSubset(0);
        }
        effect->EndPass();
        effect->End();
        dev->EndScene();
        dev->Present(nullptr, nullptr, nullptr, nullptr);
        cpu += ThreadSeconds() - t0;
    }
    Report(state, cpu);
    effect->Release();
    mesh->Release();
}
BENCHMARK(BM_EffectDraw_Layer)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same frames straight on OpenGL with the same program: one vertex array object, the world
// matrix per draw, an off-screen colour and depth buffer blitted to the window as the layer presents.
// For the fixed-function draws the program is the layer's own fixed-function program, so the driver
// runs the same vertex stage and the difference is the layer alone.
void RawLoop(benchmark::State& state, const std::string& vs, const std::string& fs, const char* worldName,
             bool fixedFunction) {
    bench::RawGlWindow w;
    if (!w.Start(QSize(kTarget, kTarget))) {
        state.SkipWithError("no OpenGL 3.3 context");
        return;
    }
    QOpenGLFunctions_3_3_Core* gl = w.gl;
    GlFunctions layerGl;
    layerGl.Resolve([&w](const char* name) { return w.context.getProcAddress(name); });
    const GLuint program =
        LinkGlProgram(&layerGl, vs, fs, [](const char*, const char* log) { std::fputs(log, stderr); });
    if (!program) {
        state.SkipWithError("program did not link");
        return;
    }
    gl->glUseProgram(program);
    const GLint uWorld = gl->glGetUniformLocation(program, worldName);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    if (fixedFunction) {
        // What the layer sends for these draws: no blending of matrices, no lighting, no texture.
        gl->glUniformMatrix4fv(gl->glGetUniformLocation(program, "uView"), 1, GL_FALSE, identity);
        gl->glUniformMatrix4fv(gl->glGetUniformLocation(program, "uProj"), 1, GL_FALSE, identity);
        gl->glUniform1i(gl->glGetUniformLocation(program, "uBlendCount"), 1);
        gl->glUniform1i(gl->glGetUniformLocation(program, "uColorOp"), D3DTOP_SELECTARG1);
        gl->glUniform1i(gl->glGetUniformLocation(program, "uAlphaOp"), D3DTOP_SELECTARG1);
        gl->glUniform4f(gl->glGetUniformLocation(program, "uViewport"), 0, 0, kTarget, kTarget);
    } else {
        gl->glUniform4f(gl->glGetUniformLocation(program, "g_vColour"), 1, 0.5f, 0.25f, 1);
    }
    GLuint vao = 0, vbo = 0, ibo = 0;
    gl->glGenVertexArrays(1, &vao);
    gl->glBindVertexArray(vao);
    gl->glGenBuffers(1, &vbo);
    gl->glBindBuffer(GL_ARRAY_BUFFER, vbo);
    gl->glBufferData(GL_ARRAY_BUFFER, sizeof kQuad, kQuad, GL_STATIC_DRAW);
    gl->glEnableVertexAttribArray(kAttrPosition);
    gl->glVertexAttribPointer(kAttrPosition, 3, GL_FLOAT, GL_FALSE, 12, nullptr);
    w.context.functions()->glVertexAttrib4f(kAttrColor0, 1, 1, 1, 1);
    gl->glGenBuffers(1, &ibo);
    gl->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ibo);
    gl->glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof kIndices, kIndices, GL_STATIC_DRAW);
    const bench::OffscreenTarget target(gl, kTarget, kTarget, GL_DEPTH24_STENCIL8);
    const GLuint fbo = target.fbo;
    gl->glViewport(0, 0, kTarget, kTarget);
    gl->glEnable(GL_DEPTH_TEST);
    const auto worlds = Worlds();
    double cpu = 0;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        for (int i = 0; i < kDrawsPerFrame; ++i) {
            gl->glUniformMatrix4fv(uWorld, 1, GL_FALSE, &worlds[static_cast<size_t>(i % kWorlds)].m[0][0]);
            gl->glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);
        }
        gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
        gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, w.context.defaultFramebufferObject());
        gl->glBlitFramebuffer(0, 0, kTarget, kTarget, 0, kTarget, kTarget, 0, GL_COLOR_BUFFER_BIT,
                              GL_NEAREST);
        w.context.swapBuffers(&w.window);
        cpu += ThreadSeconds() - t0;
    }
    Report(state, cpu);
    gl->glDeleteProgram(program);
    gl->glDeleteVertexArrays(1, &vao);
    gl->glDeleteBuffers(1, &vbo);
    gl->glDeleteBuffers(1, &ibo);
}

void BM_FixedFunctionDraw_RawGl(benchmark::State& state) {
    const auto [vs, fs] = FixedFunctionProgramTexts(DeclarationFromFvf(D3DFVF_XYZ));
    RawLoop(state, vs, fs, "uWorld[0]", true);
}
BENCHMARK(BM_FixedFunctionDraw_RawGl)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_EffectDraw_RawGl(benchmark::State& state) {
    const std::string uniforms = "uniform mat4 g_mWorld;\nuniform vec4 g_vColour;\n";
    std::string vs = "in vec3 aPosition; void main() { gl_Position = g_mWorld * vec4(aPosition, 1.0); }";
    AppendClipSpaceConversion(vs);
    RawLoop(state, "#version 330 core\n" + uniforms + vs,
            "#version 330 core\n" + uniforms +
                "out vec4 fragColour;\nvoid main() { fragColour = g_vColour; }\n",
            "g_mWorld", false);
}
BENCHMARK(BM_EffectDraw_RawGl)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
