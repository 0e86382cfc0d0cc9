#pragma once
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"

#include <QCloseEvent>
#include <QWindow>

#include <string>
#include <vector>

namespace orv::test {

// A device window that records close requests and keeps itself open, as the test windows do.
class RecordingWindow : public QWindow {
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent* e) override {
        ++closeRequests;
        e->ignore();
    }
};

// Frees the framework state when a test leaves early, before its windows go.
struct FreeStateAtExit {
    ~FreeStateAtExit() { DXUTFreeState(); }
};

// Scene callbacks that log what the framework calls, with failures to order.
struct SceneLog {
    std::vector<std::string> calls;
    HRESULT createdResult = S_OK;
    HRESULT resetResult = S_OK;
    bool adjustResult = true;
    UINT interval = D3DPRESENT_INTERVAL_IMMEDIATE;
    int acceptCalls = 0;
    // Back ends may honour what the scene asked for here.
    DWORD behaviourOverride = 0;
};

inline SceneLog* g_log = nullptr;

inline bool LogAccept(const D3DCAPS9*, D3DFORMAT, D3DFORMAT, bool, void*) {
    ++g_log->acceptCalls;
    return true;
}
inline bool LogAdjust(DXUTDeviceSettings* s, const D3DCAPS9*, void*) {
    g_log->calls.push_back("adjust");
    s->pp.PresentationInterval = g_log->interval;
    if (g_log->behaviourOverride)
        s->BehaviorFlags = g_log->behaviourOverride;
    return g_log->adjustResult;
}
inline HRESULT LogCreated(IDirect3DDevice9*, const D3DSURFACE_DESC*, void*) {
    g_log->calls.push_back("created");
    return g_log->createdResult;
}
inline HRESULT LogReset(IDirect3DDevice9*, const D3DSURFACE_DESC*, void*) {
    g_log->calls.push_back("reset");
    return g_log->resetResult;
}
inline void LogLost(void*) {
    g_log->calls.push_back("lost");
}
inline void LogDestroyed(void*) {
    g_log->calls.push_back("destroyed");
}
inline void LogUpdate(IDirect3DDevice9*, double, float, void*) {
    g_log->calls.push_back("update");
}
inline void LogRender(IDirect3DDevice9* d, double, float, void*) {
    g_log->calls.push_back("render");
    if (SUCCEEDED(d->BeginScene()))
        d->EndScene();
}

// The order a test window drives the framework in, up to the device request.
inline HRESULT StartLikeTestWindow(QWindow* window, SceneLog& log, const QStringList& args = {}) {
    g_log = &log;
    DXUTSetPaused(false, false);
    DXUTSetCallbackDeviceCreated(LogCreated);
    DXUTSetCallbackDeviceReset(LogReset);
    DXUTSetCallbackDeviceLost(LogLost);
    DXUTSetCallbackDeviceDestroyed(LogDestroyed);
    DXUTSetCallbackRenderFrame(LogRender);
    DXUTSetCallbackUpdateFrame(LogUpdate);
    DXUTSetCursorBehaviour(true, true);
    DXUTSetCommandLineArguments(args);
    HRESULT hr = DXUTInitialize(true, true, false, true);
    if (FAILED(hr))
        return hr;
    hr = DXUTSetWindow(window, window, window, false);
    if (FAILED(hr))
        return hr;
    return DXUTSetupDevice(0, false, 1024, 768, LogAccept, LogAdjust, nullptr);
}

} // namespace orv::test
