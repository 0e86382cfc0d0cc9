// Demonstration of the 3D framework: a full-screen device, a cleared back buffer and a rotating
// coloured triangle drawn by the layer's own fixed-function shader. A second thread samples the
// frame rate once a second, the way the 3D tests measure, and prints it.
//
//   orvanta_demo3d [--seconds N] [framework switches such as -windowed, -forcevsync:1, -nostats]
#include "graphics3d/framework/DXUT.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using namespace orv;

namespace {

struct Vertex {
    float x, y, z;
    D3DCOLOR colour;
};
constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

class DeviceWindow : public QWindow {
protected:
    void keyReleaseEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Escape)
            DXUTPostQuitMessage(1);
    }
    void closeEvent(QCloseEvent* e) override {
        // The framework's shutdown asks too; the demo only leaves its loop.
        DXUTPostQuitMessage(1);
        e->ignore();
    }
};

D3DMATRIX RotationY(float angle) {
    D3DMATRIX m = D3DMatrixIdentity();
    m.m[0][0] = std::cos(angle);
    m.m[0][2] = -std::sin(angle);
    m.m[2][0] = std::sin(angle);
    m.m[2][2] = std::cos(angle);
    return m;
}

// Left-handed perspective projection, row vectors.
D3DMATRIX Perspective(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m;
    const float y = 1.0f / std::tan(fovY / 2);
    m.m[0][0] = y / aspect;
    m.m[1][1] = y;
    m.m[2][2] = zf / (zf - zn);
    m.m[2][3] = 1.0f;
    m.m[3][2] = -zn * zf / (zf - zn);
    return m;
}

bool Accept(const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) {
    return true;
}

bool Adjust(DXUTDeviceSettings* s, const D3DCAPS9*, void*) {
    s->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return true;
}

HRESULT Reset(IDirect3DDevice9* device, const D3DSURFACE_DESC* bb, void*) {
    device->SetRenderState(D3DRS_LIGHTING, 0);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const D3DMATRIX proj = Perspective(
        3.14159265f / 4, static_cast<float>(bb->Width) / static_cast<float>(bb->Height), 0.1f, 100.0f);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    D3DMATRIX view = D3DMatrixIdentity();
    view.m[3][2] = 3.0f; // eye 3 units in front of the origin
    device->SetTransform(D3DTS_VIEW, &view);
    return S_OK;
}

void Update(IDirect3DDevice9* device, double time, float, void*) {
    const D3DMATRIX world = RotationY(static_cast<float>(time));
    device->SetTransform(D3DTS_WORLD, &world);
}

void Render(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 66, 75, 121), 1.0f, 0);
    static const Vertex kTriangle[3] = {{-1.0f, -1.0f, 0.0f, D3DCOLOR_XRGB(255, 0, 0)},
                                        {0.0f, 1.0f, 0.0f, D3DCOLOR_XRGB(0, 255, 0)},
                                        {1.0f, -1.0f, 0.0f, D3DCOLOR_XRGB(0, 0, 255)}};
    if (SUCCEEDED(device->BeginScene())) {
        device->SetFVF(kFvf);
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, kTriangle, sizeof(Vertex));
        device->EndScene();
    }
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    int seconds = 10;
    QStringList switches;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QStringLiteral("--seconds") && i + 1 < args.size())
            seconds = args[++i].toInt();
        else
            switches << args[i];
    }

    DeviceWindow window;
    window.setTitle(QStringLiteral("Orvanta 3D"));
    DXUTSetPaused(false, false);
    DXUTSetCallbackDeviceReset(Reset);
    DXUTSetCallbackUpdateFrame(Update);
    DXUTSetCallbackRenderFrame(Render);
    DXUTSetCursorBehaviour(true, true);
    DXUTSetCommandLineArguments(switches);
    HRESULT hr = DXUTInitialize(true, true, false, true);
    if (SUCCEEDED(hr))
        hr = DXUTSetWindow(&window, &window, &window, false);
    if (SUCCEEDED(hr))
        hr = DXUTSetupDevice(0, false, 1024, 768, Accept, Adjust, nullptr);
    if (FAILED(hr)) {
        std::fprintf(stderr, "no 3D device: 0x%08X\n", static_cast<unsigned>(hr));
        DXUTFreeState();
        return 1;
    }
    std::printf("%s\n", qPrintable(DXUTGetDeviceStats().replace(QStringLiteral("%s"), QString())));
    std::fflush(stdout);

    // The measuring thread: one sample a second, read without a lock.
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        for (int i = 0; i < seconds && !done.load(); ++i) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            std::printf("%.2f fps\n", static_cast<double>(DXUTCurrentFps()));
            std::fflush(stdout);
        }
        done.store(true);
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, [] {});
    // Ends the loop once the sampler has taken its samples.
    QTimer* poll = new QTimer(&app);
    QObject::connect(poll, &QTimer::timeout, [&] {
        if (done.load())
            DXUTPostQuitMessage(0);
    });
    poll->start(100);
    DXUTMainLoop();
    poll->stop();
    done.store(true);
    sampler.join();
    DXUTFreeState();
    return 0;
}
