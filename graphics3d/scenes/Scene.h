#pragma once
// What a 3D test window needs of its scene: the objects that live from start to stop, the set-up
// before the framework starts, the framework's callbacks, the release, the measurement and the
// verdict of the last device combination the scene examined.
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/scenes/Measurement.h"

namespace orv {

struct TSceneEntryPoints {
    void (*Prepare)() = nullptr;
    // Enumeration settings and constants; starts the measuring thread.
    void (*Setup)() = nullptr;
    // Frees the preparation objects, ends the measuring thread and posts the quit request.
    void (*Release)() = nullptr;
    TDXUTAcceptDeviceCallback AcceptDevice = nullptr;
    TDXUTAdjustDeviceSettingsCallback AdjustDeviceSettings = nullptr;
    TDXUTDeviceCreatedCallback DeviceCreated = nullptr;
    TDXUTDeviceResetCallback DeviceReset = nullptr;
    TDXUTDeviceLostCallback DeviceLost = nullptr;
    TDXUTDeviceDestroyedCallback DeviceDestroyed = nullptr;
    TDXUTRenderFrameCallback RenderFrame = nullptr;
    TDXUTUpdateFrameCallback UpdateFrame = nullptr;
    TFpsMeasurement* Measurement = nullptr;
    // Set at the start of every AcceptDevice call, cleared when that call rejects; never reset
    // between runs.
    const bool* Accepted = nullptr;
};

} // namespace orv
