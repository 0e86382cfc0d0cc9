#include "graphics3d/scenes/RenderUnit.h"

#include "graphics3d/framework/DXUTEnum.h"

#include <QDir>

#include <cstring>
#include <new>

namespace orv::RenderUnit {

namespace {

struct SceneState {
    ID3DXFont* font = nullptr;
    ID3DXSprite* sprite = nullptr;
    ID3DXEffect* effect = nullptr;
    IDirect3DVertexShader9* shaders[4] = {};
    D3DXFRAME* frameRoot = nullptr;
    ID3DXAnimationController* animController = nullptr;
    D3DXVECTOR3 objectCenter{0, 0, 0};
    float objectRadius = 0;
    D3DXMATRIX view, projection;
};

SceneState s_scene;
bool g_accepted = false;
TFpsMeasurement g_measurement;

char* CopyName(const char* name) {
    if (!name)
        return nullptr;
    const size_t n = std::strlen(name) + 1;
    char* out = new (std::nothrow) char[n];
    if (out)
        std::memcpy(out, name, n);
    return out;
}

} // namespace

// ---- Hierarchy allocator ----

HRESULT CAllocateHierarchy::CreateFrame(const char* name, D3DXFRAME** newFrame) {
    *newFrame = nullptr;
    auto* frame = new (std::nothrow) TD3DXFrameDerived;
    if (!frame)
        return E_OUTOFMEMORY;
    frame->Name = CopyName(name);
    if (name && !frame->Name) {
        delete frame;
        return E_OUTOFMEMORY;
    }
    D3DXMatrixIdentity(&frame->TransformationMatrix);
    D3DXMatrixIdentity(&frame->CombinedTransformationMatrix);
    *newFrame = frame;
    return S_OK;
}

HRESULT CAllocateHierarchy::CreateMeshContainer(const char* name, const D3DXMESHDATA* meshData,
                                                const D3DXMATERIAL* materials, const D3DXEFFECTINSTANCE*,
                                                DWORD numMaterials, const DWORD* adjacency,
                                                ID3DXSkinInfo* skinInfo,
                                                D3DXMESHCONTAINER** newMeshContainer) {
    *newMeshContainer = nullptr;
    if (!meshData || meshData->Type != D3DXMESHTYPE_MESH || !meshData->pMesh)
        return E_FAIL;
    ID3DXMesh* mesh = meshData->pMesh;
    if (mesh->GetFVF() == 0)
        return E_FAIL;

    auto* mc = new (std::nothrow) TD3DXMeshContainerDerived;
    if (!mc)
        return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    IDirect3DDevice9* device = nullptr;
    const auto fail = [&](HRESULT code) {
        if (device)
            device->Release();
        DestroyMeshContainer(mc);
        return code;
    };
    mc->Name = CopyName(name);
    if (name && !mc->Name)
        return fail(E_OUTOFMEMORY);
    mesh->GetDevice(&device);
    const DWORD numFaces = mesh->GetNumFaces();

    if (mesh->GetFVF() & D3DFVF_NORMAL) {
        mc->MeshData.Type = D3DXMESHTYPE_MESH;
        mc->MeshData.pMesh = mesh;
        mesh->AddRef();
    } else {
        mc->MeshData.Type = D3DXMESHTYPE_MESH;
        hr = mesh->CloneMeshFVF(mesh->GetOptions(), mesh->GetFVF() | D3DFVF_NORMAL, device,
                                &mc->MeshData.pMesh);
        if (FAILED(hr))
            return fail(hr);
        D3DXComputeNormals(mc->MeshData.pMesh, nullptr);
    }

    mc->NumMaterials = std::max<DWORD>(1, numMaterials);
    mc->pMaterials = new (std::nothrow) D3DXMATERIAL[mc->NumMaterials];
    mc->ppTextures = new (std::nothrow) IDirect3DTexture9*[mc->NumMaterials]();
    mc->pAdjacency = new (std::nothrow) DWORD[static_cast<size_t>(numFaces) * 3];
    if (!mc->pMaterials || !mc->ppTextures || !mc->pAdjacency)
        return fail(E_OUTOFMEMORY);
    if (adjacency)
        std::memcpy(mc->pAdjacency, adjacency, sizeof(DWORD) * numFaces * 3);
    else
        std::fill(mc->pAdjacency, mc->pAdjacency + static_cast<size_t>(numFaces) * 3, UNUSED32);

    if (numMaterials > 0) {
        for (DWORD i = 0; i < numMaterials; ++i) {
            mc->pMaterials[i].MatD3D = materials[i].MatD3D;
            mc->pMaterials[i].pTextureFilename = nullptr;
            if (materials[i].pTextureFilename) {
                // The current directory is the mesh file's folder while the hierarchy loads.
                QString path;
                if (SUCCEEDED(
                        DXUTFindMediaFile(&path, QString::fromLocal8Bit(materials[i].pTextureFilename)))) {
                    if (FAILED(D3DXCreateTextureFromFileW(device, path.toStdWString().c_str(),
                                                          &mc->ppTextures[i])))
                        mc->ppTextures[i] = nullptr;
                }
            }
        }
    } else {
        D3DXMATERIAL& m = mc->pMaterials[0];
        m = D3DXMATERIAL{};
        m.MatD3D.Diffuse.r = m.MatD3D.Diffuse.g = m.MatD3D.Diffuse.b = 0.5f;
        m.MatD3D.Specular.r = m.MatD3D.Specular.g = m.MatD3D.Specular.b = 0.5f;
    }

    if (skinInfo) {
        mc->pSkinInfo = skinInfo;
        skinInfo->AddRef();
        mc->pOrigMesh = mesh;
        mesh->AddRef();
        const DWORD bones = skinInfo->GetNumBones();
        mc->pBoneOffsetMatrices = new (std::nothrow) D3DXMATRIX[bones];
        if (!mc->pBoneOffsetMatrices)
            return fail(E_OUTOFMEMORY);
        for (DWORD b = 0; b < bones; ++b)
            mc->pBoneOffsetMatrices[b] = *skinInfo->GetBoneOffsetMatrix(b);
        hr = GenerateSkinnedMesh(device, mc);
        if (FAILED(hr))
            return fail(hr);
    }
    device->Release();
    *newMeshContainer = mc;
    return S_OK;
}

HRESULT CAllocateHierarchy::DestroyFrame(D3DXFRAME* frame) {
    delete[] frame->Name;
    delete static_cast<TD3DXFrameDerived*>(frame);
    return S_OK;
}

HRESULT CAllocateHierarchy::DestroyMeshContainer(D3DXMESHCONTAINER* base) {
    auto* mc = static_cast<TD3DXMeshContainerDerived*>(base);
    delete[] mc->Name;
    delete[] mc->pAdjacency;
    delete[] mc->pMaterials;
    delete[] mc->pBoneOffsetMatrices;
    if (mc->ppTextures)
        for (DWORD i = 0; i < mc->NumMaterials; ++i)
            SafeRelease(mc->ppTextures[i]);
    delete[] mc->ppTextures;
    delete[] mc->ppBoneMatrixPtrs;
    SafeRelease(mc->pBoneCombinationBuf);
    SafeRelease(mc->MeshData.pMesh);
    SafeRelease(mc->pSkinInfo);
    SafeRelease(mc->pOrigMesh);
    delete mc;
    return S_OK;
}

// ---- Skinning ----

HRESULT GenerateSkinnedMesh(IDirect3DDevice9* device, TD3DXMeshContainerDerived* mc) {
    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    if (!mc->pSkinInfo)
        return S_OK;
    SafeRelease(mc->MeshData.pMesh);
    SafeRelease(mc->pBoneCombinationBuf);

    HRESULT hr = mc->pSkinInfo->ConvertToBlendedMesh(
        mc->pOrigMesh, D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE, mc->pAdjacency, nullptr, nullptr, nullptr,
        &mc->NumInfl, &mc->NumAttributeGroups, &mc->pBoneCombinationBuf, &mc->MeshData.pMesh);
    if (FAILED(hr))
        return hr;

    const auto* combos = static_cast<D3DXBONECOMBINATION*>(mc->pBoneCombinationBuf->GetBufferPointer());
    for (mc->iAttributeSW = 0; mc->iAttributeSW < mc->NumAttributeGroups; ++mc->iAttributeSW) {
        DWORD used = 0;
        for (DWORD i = 0; i < mc->NumInfl; ++i)
            if (combos[mc->iAttributeSW].BoneId[i] != UNUSED32)
                ++used;
        if (used > caps.MaxVertexBlendMatrices)
            break;
    }
    if (mc->iAttributeSW < mc->NumAttributeGroups) {
        ID3DXMesh* clone = nullptr;
        hr = mc->MeshData.pMesh->CloneMeshFVF(D3DXMESH_SOFTWAREPROCESSING | mc->MeshData.pMesh->GetOptions(),
                                              mc->MeshData.pMesh->GetFVF(), device, &clone);
        if (FAILED(hr))
            return hr;
        mc->MeshData.pMesh->Release();
        mc->MeshData.pMesh = clone;
    }
    return S_OK;
}

namespace {

HRESULT SetupBoneMatrixPointersOnMesh(D3DXMESHCONTAINER* base) {
    auto* mc = static_cast<TD3DXMeshContainerDerived*>(base);
    if (!mc->pSkinInfo)
        return S_OK;
    const DWORD bones = mc->pSkinInfo->GetNumBones();
    mc->ppBoneMatrixPtrs = new (std::nothrow) D3DXMATRIX*[bones];
    if (!mc->ppBoneMatrixPtrs)
        return E_OUTOFMEMORY;
    for (DWORD b = 0; b < bones; ++b) {
        auto* frame =
            static_cast<TD3DXFrameDerived*>(D3DXFrameFind(s_scene.frameRoot, mc->pSkinInfo->GetBoneName(b)));
        if (!frame)
            return E_FAIL;
        mc->ppBoneMatrixPtrs[b] = &frame->CombinedTransformationMatrix;
    }
    return S_OK;
}

HRESULT SetupBoneMatrixPointers(D3DXFRAME* frame) {
    HRESULT hr;
    for (D3DXMESHCONTAINER* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
        if (FAILED(hr = SetupBoneMatrixPointersOnMesh(mc)))
            return hr;
    if (frame->pFrameSibling && FAILED(hr = SetupBoneMatrixPointers(frame->pFrameSibling)))
        return hr;
    if (frame->pFrameFirstChild && FAILED(hr = SetupBoneMatrixPointers(frame->pFrameFirstChild)))
        return hr;
    return S_OK;
}

void UpdateFrameMatrices(D3DXFRAME* base, const D3DXMATRIX* parent) {
    auto* frame = static_cast<TD3DXFrameDerived*>(base);
    if (parent)
        D3DXMatrixMultiply(&frame->CombinedTransformationMatrix, &frame->TransformationMatrix, parent);
    else
        frame->CombinedTransformationMatrix = frame->TransformationMatrix;
    if (frame->pFrameSibling)
        UpdateFrameMatrices(frame->pFrameSibling, parent);
    if (frame->pFrameFirstChild)
        UpdateFrameMatrices(frame->pFrameFirstChild, &frame->CombinedTransformationMatrix);
}

// Index of the last used bone id of a group, 0 when none is used.
DWORD LastUsedBone(const D3DXBONECOMBINATION& c, DWORD influences) {
    DWORD n = 0;
    for (DWORD i = 0; i < influences; ++i)
        if (c.BoneId[i] != UNUSED32)
            n = i;
    return n;
}

void DrawGroup(IDirect3DDevice9* device, TD3DXMeshContainerDerived* mc, const D3DXBONECOMBINATION& c, DWORD g,
               DWORD n, DWORD* previousAttrib) {
    for (DWORD i = 0; i < mc->NumInfl; ++i) {
        const DWORD bone = c.BoneId[i];
        if (bone == UNUSED32)
            continue;
        D3DXMATRIX world;
        D3DXMatrixMultiply(&world, &mc->pBoneOffsetMatrices[bone], mc->ppBoneMatrixPtrs[bone]);
        device->SetTransform(D3DTS_WORLDMATRIX(i), &world);
    }
    device->SetRenderState(D3DRS_VERTEXBLEND, n);
    if (*previousAttrib == UNUSED32 || c.AttribId != *previousAttrib) {
        device->SetMaterial(&mc->pMaterials[c.AttribId].MatD3D);
        device->SetTexture(0, mc->ppTextures[c.AttribId]);
        *previousAttrib = c.AttribId;
    }
    mc->MeshData.pMesh->DrawSubset(g);
}

void DrawMeshContainer(IDirect3DDevice9* device, D3DXMESHCONTAINER* base, D3DXFRAME* frameBase) {
    auto* mc = static_cast<TD3DXMeshContainerDerived*>(base);
    auto* frame = static_cast<TD3DXFrameDerived*>(frameBase);
    if (mc->pSkinInfo) {
        D3DCAPS9 caps;
        device->GetDeviceCaps(&caps);
        const auto* combos = static_cast<D3DXBONECOMBINATION*>(mc->pBoneCombinationBuf->GetBufferPointer());
        DWORD previousAttrib = UNUSED32;
        for (DWORD g = 0; g < mc->NumAttributeGroups; ++g) {
            const DWORD n = LastUsedBone(combos[g], mc->NumInfl);
            if (caps.MaxVertexBlendMatrices >= n + 1)
                DrawGroup(device, mc, combos[g], g, n, &previousAttrib);
        }
        if (mc->iAttributeSW < mc->NumAttributeGroups) {
            previousAttrib = UNUSED32;
            device->SetSoftwareVertexProcessing(1);
            for (DWORD g = mc->iAttributeSW; g < mc->NumAttributeGroups; ++g) {
                const DWORD n = LastUsedBone(combos[g], mc->NumInfl);
                if (n + 1 > caps.MaxVertexBlendMatrices)
                    DrawGroup(device, mc, combos[g], g, n, &previousAttrib);
            }
            device->SetSoftwareVertexProcessing(0);
        }
        device->SetRenderState(D3DRS_VERTEXBLEND, 0);
    } else {
        device->SetTransform(D3DTS_WORLD, &frame->CombinedTransformationMatrix);
        for (DWORD i = 0; i < mc->NumMaterials; ++i) {
            device->SetMaterial(&mc->pMaterials[i].MatD3D);
            device->SetTexture(0, mc->ppTextures[i]);
            mc->MeshData.pMesh->DrawSubset(i);
        }
    }
}

void DrawFrame(IDirect3DDevice9* device, D3DXFRAME* frame) {
    for (D3DXMESHCONTAINER* mc = frame->pMeshContainer; mc; mc = mc->pNextMeshContainer)
        DrawMeshContainer(device, mc, frame);
    if (frame->pFrameSibling)
        DrawFrame(device, frame->pFrameSibling);
    if (frame->pFrameFirstChild)
        DrawFrame(device, frame->pFrameFirstChild);
}

} // namespace

// ---- Entry points ----

void Setup() {
    CD3DEnumeration* e = DXUTGetEnumeration();
    e->SetPossibleVertexProcessingList(true, false, false, true);
    e->SetPossibleVertexProcessingList(true, true, true, true);
    g_measurement.Start();
}

void Release() {
    g_measurement.Stop();
    DXUTPostQuitMessage(1);
}

bool AcceptDevice(const D3DCAPS9* caps, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, bool, void*) {
    g_accepted = true;
    IDirect3D9* d3d = DXUTGetD3DObject();
    if (!d3d || FAILED(d3d->CheckDeviceFormat(caps->AdapterOrdinal, caps->DeviceType, adapterFormat,
                                              D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING, D3DRTYPE_TEXTURE,
                                              backBufferFormat))) {
        g_accepted = false;
        return false;
    }
    if (caps->PixelShaderVersion < D3DPS_VERSION(2, 0)) {
        g_accepted = false;
        return false;
    }
    return true;
}

bool AdjustDeviceSettings(DXUTDeviceSettings* settings, const D3DCAPS9* caps, void*) {
    settings->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if ((caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) == 0 ||
        caps->VertexShaderVersion < D3DVS_VERSION(2, 0))
        settings->BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (caps->MaxVertexBlendMatrices < 2)
        settings->BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (settings->BehaviorFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING)
        settings->BehaviorFlags = D3DCREATE_MIXED_VERTEXPROCESSING;
    return true;
}

HRESULT DeviceCreated(IDirect3DDevice9* device, const D3DSURFACE_DESC*, void*) {
    CAllocateHierarchy alloc;
    HRESULT hr = D3DXCreateFontA(device, 15, 0, 700, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial", &s_scene.font);
    if (FAILED(hr))
        return hr;
    QString path;
    if (FAILED(hr = DXUTFindMediaFile(&path, QStringLiteral("SkinnedMesh.fx"))))
        return hr;
    hr = D3DXCreateEffectFromFileW(device, path.toStdWString().c_str(), nullptr, nullptr,
                                   D3DXFX_NOT_CLONEABLE, nullptr, &s_scene.effect, nullptr);
    if (FAILED(hr))
        return hr;

    if (FAILED(hr = DXUTFindMediaFile(&path, QStringLiteral("tiny.x"))))
        return hr;
    // The mesh names its textures relative to its own folder.
    const qsizetype cut = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\'));
    const QString folder = cut >= 0 ? path.left(cut) : QStringLiteral(".");
    const QString file = cut >= 0 ? path.mid(cut + 1) : path;
    const QString saved = QDir::currentPath();
    QDir::setCurrent(folder);
    hr = D3DXLoadMeshHierarchyFromXW(file.toStdWString().c_str(), D3DXMESH_MANAGED, device, &alloc, nullptr,
                                     &s_scene.frameRoot, &s_scene.animController);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = SetupBoneMatrixPointers(s_scene.frameRoot)))
        return hr;
    if (FAILED(hr = D3DXFrameCalculateBoundingSphere(s_scene.frameRoot, &s_scene.objectCenter,
                                                     &s_scene.objectRadius)))
        return hr;
    QDir::setCurrent(saved);
    return S_OK;
}

HRESULT DeviceReset(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer, void*) {
    if (s_scene.font)
        s_scene.font->OnResetDevice();
    if (s_scene.effect)
        s_scene.effect->OnResetDevice();
    HRESULT hr = D3DXCreateSprite(device, &s_scene.sprite);
    if (FAILED(hr))
        return hr;

    device->SetRenderState(D3DRS_LIGHTING, 1);
    device->SetRenderState(D3DRS_DITHERENABLE, 1);
    device->SetRenderState(D3DRS_ZENABLE, 1);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_AMBIENT, 0x33333333);
    device->SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);

    for (int i = 0; i < 4; ++i) {
        QString path;
        if (FAILED(hr = DXUTFindMediaFile(&path, QStringLiteral("skinmesh%1.vsh").arg(i + 1))))
            return hr;
        ID3DXBuffer* code = nullptr;
        hr = D3DXAssembleShaderFromFileW(path.toStdWString().c_str(), nullptr, nullptr, 0, &code, nullptr);
        if (FAILED(hr))
            return hr;
        hr = device->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()),
                                        &s_scene.shaders[i]);
        code->Release();
        if (FAILED(hr))
            return hr;
    }

    const float aspect = static_cast<float>(backBuffer->Width) / static_cast<float>(backBuffer->Height);
    D3DXMatrixPerspectiveFovLH(&s_scene.projection, D3DX_PI / 4, aspect, s_scene.objectRadius / 64.0f,
                               s_scene.objectRadius * 200.0f);
    device->SetTransform(D3DTS_PROJECTION, &s_scene.projection);
    return S_OK;
}

void DeviceLost(void*) {
    if (s_scene.font)
        s_scene.font->OnLostDevice();
    if (s_scene.effect)
        s_scene.effect->OnLostDevice();
    SafeRelease(s_scene.sprite);
    for (auto*& s : s_scene.shaders)
        SafeRelease(s);
}

void DeviceDestroyed(void*) {
    SafeRelease(s_scene.effect);
    SafeRelease(s_scene.font);
    CAllocateHierarchy alloc;
    if (s_scene.frameRoot)
        D3DXFrameDestroy(s_scene.frameRoot, &alloc);
    s_scene.frameRoot = nullptr;
    SafeRelease(s_scene.animController);
}

void UpdateFrame(IDirect3DDevice9* device, double, float elapsedTime, void*) {
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, -s_scene.objectCenter.x, -s_scene.objectCenter.y, -s_scene.objectCenter.z);
    device->SetTransform(D3DTS_WORLD, &world);

    const D3DXVECTOR3 eye(0, 0, -2 * s_scene.objectRadius), at(0, 0, 0), up(0, 1, 0);
    D3DXMatrixLookAtLH(&s_scene.view, &eye, &at, &up);
    device->SetTransform(D3DTS_VIEW, &s_scene.view);

    if (s_scene.animController)
        s_scene.animController->AdvanceTime(elapsedTime, nullptr);
    if (s_scene.frameRoot)
        UpdateFrameMatrices(s_scene.frameRoot, &world);
}

void RenderFrame(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 66, 75, 121), 1.0f, 0);

    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    D3DXVECTOR3 direction(0.0f, -1.0f, 1.0f);
    D3DXVec3Normalize(&direction, &direction);
    light.Direction = direction;
    light.Position = D3DXVECTOR3(0.0f, -1.0f, 1.0f);
    light.Range = 1000.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, 1);

    D3DXVECTOR4 lightVector(0.0f, 1.0f, -1.0f, 0.0f);
    D3DXVec4Normalize(&lightVector, &lightVector);
    device->SetVertexShaderConstantF(1, &lightVector.x, 1);
    if (s_scene.effect)
        s_scene.effect->SetVector("lhtDir", &lightVector);

    if (SUCCEEDED(device->BeginScene())) {
        if (s_scene.frameRoot)
            DrawFrame(device, s_scene.frameRoot);
        DrawStatisticsLine(s_scene.font, s_scene.sprite);
        device->EndScene();
    }
}

const TSceneEntryPoints& Scene() {
    static const TSceneEntryPoints scene{
        nullptr,       Setup,          Release,    AcceptDevice,    AdjustDeviceSettings,
        DeviceCreated, DeviceReset,    DeviceLost, DeviceDestroyed, RenderFrame,
        UpdateFrame,   &g_measurement, &g_accepted};
    return scene;
}

D3DXFRAME* FrameRoot() {
    return s_scene.frameRoot;
}
ID3DXAnimationController* AnimationController() {
    return s_scene.animController;
}
D3DXVECTOR3 ObjectCenter() {
    return s_scene.objectCenter;
}
float ObjectRadius() {
    return s_scene.objectRadius;
}

} // namespace orv::RenderUnit
