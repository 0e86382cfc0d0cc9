#pragma once
// The third 3D test's scene: a character in a room with stencil shadow volumes. At every device reset
// the character's mesh becomes a closed volume mesh with a degenerate quad on every edge; each frame
// draws the scene with ambient light, then per light the volume (in that light's shadow colour) and the
// scene lit where the stencil count is zero. The measuring thread adds lights, one to six.
#include "graphics3d/framework/d3dx/D3DX9.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"
#include "graphics3d/scenes/Scene.h"

namespace orv::RenderUnit3 {

constexpr int kMaxLights = 6;

struct TLight {
    D3DXVECTOR3 m_Position;
    D3DXVECTOR4 m_Color;
    D3DXMATRIX m_mWorld;
};

// One entry of the volume builder's edge map: an edge of the input mesh by point representatives and
// the two copies of it in the output, one per face; -1 where unset. All bytes 0xFF when empty.
struct CEdgeMapping {
    int m_anOldEdge[2];
    int m_aanNewEdge[2][2];
};

// What a build found, for tests.
struct TShadowVolumeStats {
    DWORD faces = 0;       // of the input
    DWORD storedEdges = 0; // edges only one face has
};

// The closed shadow-volume mesh of a mesh, in the shadow-vertex layout (position, face normal).
HRESULT BuildShadowVolumeMesh(IDirect3DDevice9* device, ID3DXMesh* mesh, ID3DXMesh** volume,
                              TShadowVolumeStats* stats = nullptr);
// Whether a volume of this many vertices needs 32-bit indices.
bool ShadowVolumeNeeds32BitIndices(DWORD vertexCount);
const D3DVERTEXELEMENT9* ShadowVertexDeclaration();

// The scene's entry points.
void Prepare();
void Setup();
void Release();
bool IsDepthFormatOk(D3DFORMAT depthFormat, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat);
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

// Scene state, open for tests.
int LightCount();
void SetLightCount(int count);
TLight& Light(int i);
D3DXVECTOR4 ShadowColour(int i);
CDXUTMesh* Character();
CDXUTMesh* Room();
D3DXMATRIX& CharacterWorld();
const D3DXMATRIX& RoomWorld();
const D3DXMATRIX& BackgroundWorld();
ID3DXMesh* ShadowVolume();
ID3DXEffect* Effect();
CFirstPersonCamera* ViewCamera();
CModelViewerCamera* LightCamera();
CModelViewerCamera* ModelCamera();
IDirect3DTexture9* DefaultTexture();
// The technique the volumes are drawn with on this device (until the next device).
D3DXHANDLE ShadowTechnique();
void SetShadowTechnique(D3DXHANDLE technique);

} // namespace orv::RenderUnit3
