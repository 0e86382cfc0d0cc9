#pragma once
// What a 3D test window needs of its scene: the objects that live from start to stop, the set-up
// before the framework starts, the framework's callbacks, the release, the measurement and the
// verdict of the last device combination the scene examined.
#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
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

// The statistics line every scene draws last: frames per second and device, yellow, at (5, 5).
inline void DrawStatisticsLine(ID3DXFont* font, ID3DXSprite* sprite) {
    CDXUTTextHelper text(font, sprite, 15);
    text.BeginText();
    text.SetTextPosition(5, 5);
    text.SetTextColour(1.0f, 1.0f, 0.0f, 1.0f);
    text.DrawTextLine(DXUTFrameStatsText(true));
    text.EndText();
}

} // namespace orv
