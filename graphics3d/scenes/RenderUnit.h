#pragma once
// The first 3D test's scene: one animated, skinned character from a frame hierarchy, lit by one
// directional light, drawn with non-indexed vertex blending (groups beyond the device's blend-matrix
// limit in software), with the statistics line on top.
#include "graphics3d/framework/d3dx/D3DX9.h"
#include "graphics3d/scenes/Scene.h"

namespace orv::RenderUnit {

struct TD3DXFrameDerived : D3DXFRAME {
    D3DXMATRIX CombinedTransformationMatrix;
};

#pragma pack(push, 1)
struct TD3DXMeshContainerDerived : D3DXMESHCONTAINER {
    IDirect3DTexture9** ppTextures = nullptr;
    ID3DXMesh* pOrigMesh = nullptr;
    D3DXATTRIBUTERANGE* pAttributeTable = nullptr;
    DWORD NumAttributeGroups = 0;
    DWORD NumInfl = 0;
    ID3DXBuffer* pBoneCombinationBuf = nullptr;
    D3DXMATRIX** ppBoneMatrixPtrs = nullptr;
    D3DXMATRIX* pBoneOffsetMatrices = nullptr;
    DWORD NumPaletteEntries = 0;
    bool UseSoftwareVP = false;
    DWORD iAttributeSW = 0;
};
#pragma pack(pop)

class CAllocateHierarchy final : public ID3DXAllocateHierarchy {
public:
    HRESULT CreateFrame(const char* name, D3DXFRAME** newFrame) override;
    HRESULT CreateMeshContainer(const char* name, const D3DXMESHDATA* meshData, const D3DXMATERIAL* materials,
                                const D3DXEFFECTINSTANCE* effectInstances, DWORD numMaterials,
                                const DWORD* adjacency, ID3DXSkinInfo* skinInfo,
                                D3DXMESHCONTAINER** newMeshContainer) override;
    HRESULT DestroyFrame(D3DXFRAME* frame) override;
    HRESULT DestroyMeshContainer(D3DXMESHCONTAINER* meshContainer) override;
};

// Non-indexed blended mesh of a container with skin information, and its software split.
HRESULT GenerateSkinnedMesh(IDirect3DDevice9* device, TD3DXMeshContainerDerived* container);

// The scene's entry points.
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

// Scene state, open for tests.
D3DXFRAME* FrameRoot();
ID3DXAnimationController* AnimationController();
D3DXVECTOR3 ObjectCenter();
float ObjectRadius();

} // namespace orv::RenderUnit
