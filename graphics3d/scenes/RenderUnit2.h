#pragma once
// The second 3D test's scene: a room with fourteen objects lit by one spot light that casts shadows
// through a 512 x 512 single-channel float shadow map, drawn twice a frame (from the light into the
// map, then from the viewer with the map bound), plus the light's own mesh and the statistics line.
// All shading is the effect's; the scene sets matrices, vectors and textures and draws subsets.
#include "graphics3d/framework/d3dx/D3DX9.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/Scene.h"

namespace orv::RenderUnit2 {

// A mesh-file object and where it stands.
struct CObj {
    CDXUTMesh m_Mesh;
    D3DXMATRIX m_mWorld;
};

constexpr int kObjectCount = 14;
constexpr UINT kShadowMapSize = 512;

// Mesh file of object i, in table order.
const char* ObjectMeshFile(int i);
// The world matrix object i gets at every device creation.
D3DXMATRIX InitialWorld(int i);

// The scene's entry points.
void Prepare();
void Setup();
void Release();
bool AcceptDevice(const D3DCAPS9* caps, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, bool windowed,
                  void* userContext);
bool AdjustDeviceSettings(DXUTDeviceSettings* settings, const D3DCAPS9* caps, void* userContext);
HRESULT DeviceCreated(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer, void* userContext);
HRESULT DeviceReset(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer, void* userContext);
void DeviceLost(void* userContext);
void DeviceDestroyed(void* userContext);
void UpdateFrame(IDirect3DDevice9* device, double time, float elapsedTime, void* userContext);
void RenderFrame(IDirect3DDevice9* device, double time, float elapsedTime, void* userContext);

const TSceneEntryPoints& Scene();

// Scene state, open for tests; null outside preparation and release.
CObj* Object(int i);
CDXUTMesh* LightMesh();
CFirstPersonCamera* ViewCamera();
CFirstPersonCamera* LightCamera();
ID3DXEffect* Effect();
IDirect3DTexture9* ShadowMap();
IDirect3DSurface9* ShadowDepthStencil();
IDirect3DTexture9* DefaultTexture();
const D3DXMATRIX& ShadowProjection();
float LightFov();
D3DXVECTOR4 LightDiffuse();
float LightTheta();

} // namespace orv::RenderUnit2
