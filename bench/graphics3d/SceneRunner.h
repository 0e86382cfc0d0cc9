#pragma once
// Starting a scene in a window of the benchmark, frame by frame through DXUTRunFrame, and stopping it;
// shared by the scene benchmarks.
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/Scene.h"

#include <QCoreApplication>
#include <QWindow>

#include <memory>

namespace orv::bench {

inline bool StartScene(const TSceneEntryPoints& scene, QWindow& window) {
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

// The scene's preparation objects go with the framework; its measuring thread never sampled.
inline void StopScene(const TSceneEntryPoints& scene) {
    DXUTFreeState();
    scene.Release();
}

// The null back end with as little recorded as it allows; the draws it still logs are for the caller to
// clear (NullControl::calls), which keeps the log's capacity.
inline std::shared_ptr<NullControl> InstallQuietNullDirect3D() {
    NullConfig config = DefaultNullConfig();
    config.control->recordFrameCalls = false;
    config.control->recordDraws = false;
    InstallNullDirect3D(config);
    return config.control;
}

} // namespace orv::bench
