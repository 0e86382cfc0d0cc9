#include "graphics3d/scenes/RenderUnit3.h"

#include "graphics3d/framework/DXUTEnum.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace orv::RenderUnit3 {

namespace {

const D3DVERTEXELEMENT9 kSceneDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

const D3DVERTEXELEMENT9 kShadowDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    D3DDECL_END()};

struct ShadowVertex {
    D3DXVECTOR3 Position;
    D3DXVECTOR3 Normal;
};
static_assert(sizeof(ShadowVertex) == 24);
static_assert(sizeof(CEdgeMapping) == 24);

// Positions and colours as the program starts; set-up clamps the colours.
const D3DXVECTOR3 kLightPositions[kMaxLights] = {{-2, 3, -3}, {2, 3, -3}, {-2, 3, 3},
                                                 {2, 3, 3},   {-2, 3, 0}, {2, 3, 0}};
const D3DXVECTOR4 kLightColours[kMaxLights] = {{15, 15, 15, 1}, {15, 15, 15, 1}, {15, 15, 15, 1},
                                               {15, 15, 15, 1}, {15, 0, 0, 1},   {0, 0, 15, 1}};
const D3DXVECTOR4 kShadowColours[kMaxLights] = {{0, 1, 0, 0.2f}, {1, 1, 0, 0.2f}, {1, 0, 0, 0.2f},
                                                {0, 0, 1, 0.2f}, {1, 0, 1, 0.2f}, {0, 1, 1, 0.2f}};

const D3DFORMAT kAcceptDepthFormats[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D24FS8};
const D3DFORMAT kPreferredDepthFormats[] = {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D24FS8, D3DFMT_D15S1};

const D3DXVECTOR4 kAmbient(0.1f, 0.1f, 0.1f, 1.0f);

struct SceneState {
    std::unique_ptr<CFirstPersonCamera> viewCamera;
    std::unique_ptr<CModelViewerCamera> modelCamera, lightCamera;
    // Room, second background, light mesh, character.
    std::unique_ptr<CDXUTMesh> meshes[4];
    ID3DXMesh* shadowVolume = nullptr;
    ID3DXFont* font = nullptr;
    ID3DXSprite* sprite = nullptr;
    ID3DXEffect* effect = nullptr;
    IDirect3DVertexDeclaration9* sceneDeclaration = nullptr;
    IDirect3DVertexDeclaration9* shadowDeclaration = nullptr;
    IDirect3DTexture9* defaultTexture = nullptr;
    D3DXHANDLE renderScene = nullptr, renderShadow = nullptr;
    D3DXMATRIX characterWorld, roomWorld, backgroundWorld;
    TLight lights[kMaxLights];
};

SceneState s_scene;
// Raised by the measuring thread, read by every frame: nothing else is shared with it.
std::atomic<int> g_lightCount{1};
bool g_accepted = false;
TFpsMeasurement g_measurement;

enum MeshIndex { kRoom = 0, kBackground = 1, kLightMesh = 2, kCharacter = 3 };
const char* const kMeshFiles[4] = {"misc\\cell.x", "misc\\seafloor.x", "misc\\sphere0.x", "dwarf\\dwarf.x"};

// ---- Shadow-volume building ----

// Locked vertex and index data of a mesh, unlocked and released when it goes.
struct LockedMesh {
    ID3DXMesh* mesh = nullptr;
    ShadowVertex* vertices = nullptr;
    DWORD* indices = nullptr;

    LockedMesh() = default;
    LockedMesh(const LockedMesh&) = delete;
    LockedMesh& operator=(const LockedMesh&) = delete;
    ~LockedMesh() { Reset(); }

    HRESULT Lock() {
        if (FAILED(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices))))
            return E_FAIL;
        if (FAILED(mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices)))) {
            mesh->UnlockVertexBuffer();
            vertices = nullptr;
            return E_FAIL;
        }
        return S_OK;
    }
    void Reset() {
        if (!mesh)
            return;
        if (vertices)
            mesh->UnlockVertexBuffer();
        if (indices)
            mesh->UnlockIndexBuffer();
        vertices = nullptr;
        indices = nullptr;
        SafeRelease(mesh);
    }
};

bool Set(const int (&edge)[2]) {
    return edge[0] != -1;
}

// Appends indices to the mesh being written.
struct IndexWriter {
    DWORD* indices;
    DWORD written = 0;

    void Triangle(int a, int b, int c) {
        indices[written++] = static_cast<DWORD>(a);
        indices[written++] = static_cast<DWORD>(b);
        indices[written++] = static_cast<DWORD>(c);
    }
    // The quad between the two copies of an edge, as two triangles.
    void Quad(const CEdgeMapping& e) {
        Triangle(e.m_aanNewEdge[0][1], e.m_aanNewEdge[0][0], e.m_aanNewEdge[1][0]);
        Triangle(e.m_aanNewEdge[1][1], e.m_aanNewEdge[1][0], e.m_aanNewEdge[0][0]);
    }
};

} // namespace

const D3DVERTEXELEMENT9* ShadowVertexDeclaration() {
    return kShadowDeclaration;
}

bool ShadowVolumeNeeds32BitIndices(DWORD vertexCount) {
    return vertexCount > 65535;
}

HRESULT BuildShadowVolumeMesh(IDirect3DDevice9* device, ID3DXMesh* mesh, ID3DXMesh** volume,
                              TShadowVolumeStats* stats) {
    if (!device || !mesh || !volume)
        return E_INVALIDARG;
    *volume = nullptr;

    // 1-2. A 32-bit shadow-vertex copy of the input and its point representatives.
    LockedMesh input;
    HRESULT hr = mesh->CloneMesh(D3DXMESH_32BIT, kShadowDeclaration, device, &input.mesh);
    if (FAILED(hr))
        return hr;
    const DWORD faces = input.mesh->GetNumFaces();
    std::vector<DWORD> adjacency(static_cast<size_t>(faces) * 3);
    std::vector<DWORD> pointReps(input.mesh->GetNumVertices());
    if (FAILED(hr = input.mesh->GenerateAdjacency(0.0001f, adjacency.data())))
        return hr;
    if (FAILED(hr = input.mesh->ConvertAdjacencyToPointReps(adjacency.data(), pointReps.data())))
        return hr;
    if (FAILED(input.Lock()))
        return E_FAIL;

    // 3. The edge map, all empty; the stored entries are always its first ones.
    std::vector<CEdgeMapping> map(static_cast<size_t>(faces) * 3);
    std::memset(map.data(), 0xFF, map.size() * sizeof(CEdgeMapping));
    DWORD stored = 0;

    // 4. The working mesh: every face, and a quad for every edge.
    LockedMesh working;
    hr = D3DXCreateMesh(faces * 7, faces * 3, D3DXMESH_32BIT, kShadowDeclaration, device, &working.mesh);
    if (FAILED(hr))
        return hr;
    if (FAILED(working.Lock()))
        return E_FAIL;
    std::fill(working.vertices, working.vertices + static_cast<size_t>(faces) * 3, ShadowVertex{});
    std::memset(working.indices, 0, sizeof(DWORD) * faces * 7 * 3);
    IndexWriter out{working.indices};

    // 5. Each face with its own three vertices and its normal; an edge met the other way round makes a
    // quad between the two faces.
    for (DWORD f = 0; f < faces; ++f) {
        const DWORD* in = input.indices + static_cast<size_t>(f) * 3;
        ShadowVertex* v = working.vertices + static_cast<size_t>(f) * 3;
        for (int k = 0; k < 3; ++k)
            v[k] = input.vertices[in[k]];
        const int first = static_cast<int>(f * 3);
        out.Triangle(first, first + 1, first + 2);
        const D3DXVECTOR3 e1 = v[1].Position - v[0].Position, e2 = v[2].Position - v[1].Position;
        D3DXVECTOR3 normal;
        D3DXVec3Cross(&normal, &e1, &e2);
        D3DXVec3Normalize(&normal, &normal);
        for (int k = 0; k < 3; ++k)
            v[k].Normal = normal;

        const int rep[3] = {static_cast<int>(pointReps[in[0]]), static_cast<int>(pointReps[in[1]]),
                            static_cast<int>(pointReps[in[2]])};
        for (int k = 0; k < 3; ++k) {
            const int x = rep[k], y = rep[(k + 1) % 3];
            const int u = first + k, w = first + (k + 1) % 3;
            DWORD entry = 0;
            while (entry < map.size() && Set(map[entry].m_anOldEdge) &&
                   !(map[entry].m_anOldEdge[0] == y && map[entry].m_anOldEdge[1] == x))
                ++entry;
            if (entry == map.size())
                return E_INVALIDARG;
            CEdgeMapping& e = map[entry];
            if (!Set(e.m_anOldEdge)) {
                e.m_anOldEdge[0] = x;
                e.m_anOldEdge[1] = y;
                e.m_aanNewEdge[0][0] = u;
                e.m_aanNewEdge[0][1] = w;
                ++stored;
            } else {
                // A match needs a stored edge to match.
                if (stored == 0)
                    return E_FAIL;
                e.m_aanNewEdge[1][0] = u;
                e.m_aanNewEdge[1][1] = w;
                out.Quad(e);
                e = map[stored - 1];
                std::memset(&map[stored - 1], 0xFF, sizeof(CEdgeMapping));
                --stored;
            }
        }
    }
    if (stats) {
        stats->faces = faces;
        stats->storedEdges = stored;
    }

    // 6. The edges left are holes: continue in a mesh with room for their patches.
    const DWORD vertexCount = 3 * (faces + stored);
    LockedMesh patch;
    hr = D3DXCreateMesh(out.written / 3 + 7 * stored, vertexCount, D3DXMESH_32BIT, kShadowDeclaration, device,
                        &patch.mesh);
    if (FAILED(hr))
        return hr;
    if (FAILED(patch.Lock()))
        return E_FAIL;
    std::copy(working.vertices, working.vertices + static_cast<size_t>(faces) * 3, patch.vertices);
    std::memcpy(patch.indices, working.indices, sizeof(DWORD) * out.written);
    working.Reset();
    out.indices = patch.indices;
    int nextVertex = static_cast<int>(faces * 3);

    // 7. Close each hole with patches between its edges; pairs of edges left become quads.
    for (DWORD i = 0; i < stored; ++i) {
        CEdgeMapping& ei = map[i];
        if (!Set(ei.m_anOldEdge))
            continue;
        if (ei.m_aanNewEdge[1][0] != -1) {
            out.Quad(ei);
            continue;
        }
        for (DWORD j = i + 1; j < stored; ++j) {
            CEdgeMapping& ej = map[j];
            if (!Set(ej.m_anOldEdge) || ej.m_aanNewEdge[1][0] != -1)
                continue;
            const int shared = (ej.m_anOldEdge[0] == ei.m_anOldEdge[1] ? 1 : 0) +
                               (ej.m_anOldEdge[1] == ei.m_anOldEdge[0] ? 1 : 0);
            if (shared == 2) {
                ej.m_aanNewEdge[1][0] = ei.m_aanNewEdge[0][0];
                ej.m_aanNewEdge[1][1] = ei.m_aanNewEdge[0][1];
                break;
            }
            if (shared == 1) {
                const bool swap = ej.m_anOldEdge[0] == ei.m_anOldEdge[1];
                const CEdgeMapping& before = swap ? ej : ei;
                const CEdgeMapping& after = swap ? ei : ej;
                ShadowVertex* w = patch.vertices + nextVertex;
                w[0] = patch.vertices[before.m_aanNewEdge[0][1]];
                w[1] = patch.vertices[after.m_aanNewEdge[0][1]];
                w[2] = patch.vertices[after.m_aanNewEdge[0][0]];
                D3DXVECTOR3 a = w[1].Position - w[0].Position, b = w[2].Position - w[1].Position, normal;
                D3DXVec3Normalize(&a, &a);
                D3DXVec3Normalize(&b, &b);
                D3DXVec3Cross(&normal, &a, &b);
                for (int k = 0; k < 3; ++k)
                    w[k].Normal = normal;
                const int w0 = nextVertex, w1 = nextVertex + 1, w2 = nextVertex + 2;
                const int(&an)[2] = after.m_aanNewEdge[0];
                const int(&bn)[2] = before.m_aanNewEdge[0];
                out.Triangle(w0, w1, w2);
                out.Triangle(an[1], an[0], w1);
                out.Triangle(w2, w1, an[0]);
                out.Triangle(bn[1], bn[0], w0);
                out.Triangle(w1, w0, bn[0]);
                if (swap)
                    ej.m_anOldEdge[0] = ei.m_anOldEdge[0];
                else
                    ej.m_anOldEdge[1] = ei.m_anOldEdge[1];
                ej.m_aanNewEdge[0][0] = w2;
                ej.m_aanNewEdge[0][1] = w0;
                nextVertex += 3;
                break;
            }
        }
    }

    // 8. The final mesh, with 16-bit indices where they reach every vertex.
    const bool wide = ShadowVolumeNeeds32BitIndices(vertexCount);
    ID3DXMesh* result = nullptr;
    if (SUCCEEDED(D3DXCreateMesh(out.written / 3, vertexCount,
                                 D3DXMESH_WRITEONLY | (wide ? D3DXMESH_32BIT : 0), kShadowDeclaration, device,
                                 &result))) {
        void* vertices = nullptr;
        void* indices = nullptr;
        const bool locked = SUCCEEDED(result->LockVertexBuffer(0, &vertices)) &&
                            SUCCEEDED(result->LockIndexBuffer(0, &indices));
        if (locked) {
            std::copy(patch.vertices, patch.vertices + vertexCount, static_cast<ShadowVertex*>(vertices));
            if (wide) {
                std::memcpy(indices, patch.indices, sizeof(DWORD) * out.written);
            } else {
                auto* narrow = static_cast<WORD*>(indices);
                for (DWORD k = 0; k < out.written; ++k)
                    narrow[k] = static_cast<WORD>(patch.indices[k]);
            }
        }
        if (vertices)
            result->UnlockVertexBuffer();
        if (indices)
            result->UnlockIndexBuffer();
        if (!locked)
            SafeRelease(result);
    }
    if (result) {
        *volume = result;
    } else {
        // The 32-bit patch mesh serves when the final one cannot be made.
        patch.mesh->UnlockVertexBuffer();
        patch.mesh->UnlockIndexBuffer();
        patch.vertices = nullptr;
        patch.indices = nullptr;
        *volume = patch.mesh;
        patch.mesh = nullptr;
    }
    // 9. The clone and the intermediate meshes go with their holders.
    return S_OK;
}

// ---- Entry points ----

void Prepare() {
    s_scene.viewCamera = std::make_unique<CFirstPersonCamera>();
    s_scene.modelCamera = std::make_unique<CModelViewerCamera>();
    s_scene.lightCamera = std::make_unique<CModelViewerCamera>();
    for (auto& m : s_scene.meshes)
        m = std::make_unique<CDXUTMesh>();
}

void Setup() {
    g_lightCount.store(1, std::memory_order_relaxed);
    DXUTGetEnumeration()->SetPossibleDepthStencilFormatList(
        {D3DFMT_D24S8, D3DFMT_D24X4S4, D3DFMT_D15S1, D3DFMT_D24FS8});
    if (s_scene.viewCamera)
        s_scene.viewCamera->SetTurnButtons(true, false, false);
    for (int i = 0; i < kMaxLights; ++i) {
        TLight& l = s_scene.lights[i];
        l.m_Position = kLightPositions[i];
        l.m_Color = kLightColours[i];
        for (float* c : {&l.m_Color.x, &l.m_Color.y, &l.m_Color.z})
            if (*c > 0.5f)
                *c = 5.0f;
        D3DXMATRIX scale, move;
        D3DXMatrixScaling(&scale, 0.1f, 0.1f, 0.1f);
        D3DXMatrixTranslation(&move, l.m_Position.x, l.m_Position.y, l.m_Position.z);
        D3DXMatrixMultiply(&l.m_mWorld, &scale, &move);
    }
    D3DXMatrixTranslation(&s_scene.roomWorld, 0, 2, 0);
    D3DXMATRIX scale, move;
    D3DXMatrixScaling(&scale, 0.3f, 0.3f, 0.3f);
    D3DXMatrixTranslation(&move, 0, 1.5f, 0);
    D3DXMatrixMultiply(&s_scene.backgroundWorld, &scale, &move);
    // A light joins at every other sample, one to six over the measurement.
    g_measurement.Start([](int count) {
        if (count % 2 == 0) {
            const int now = g_lightCount.load(std::memory_order_relaxed);
            g_lightCount.store(std::min(now + 1, kMaxLights), std::memory_order_relaxed);
        }
    });
}

void Release() {
    s_scene.viewCamera.reset();
    s_scene.modelCamera.reset();
    s_scene.lightCamera.reset();
    for (auto& m : s_scene.meshes)
        m.reset();
    g_measurement.Stop();
    DXUTPostQuitMessage(1);
}

bool IsDepthFormatOk(D3DFORMAT depthFormat, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat) {
    IDirect3D9* d3d = DXUTGetD3DObject();
    return d3d &&
           SUCCEEDED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, adapterFormat, D3DUSAGE_DEPTHSTENCIL,
                                            D3DRTYPE_SURFACE, depthFormat)) &&
           SUCCEEDED(d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, adapterFormat, D3DUSAGE_RENDERTARGET,
                                            D3DRTYPE_SURFACE, backBufferFormat)) &&
           SUCCEEDED(
               d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, adapterFormat, backBufferFormat, depthFormat));
}

bool AcceptDevice(const D3DCAPS9* caps, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, bool, void*) {
    g_accepted = true;
    IDirect3D9* d3d = DXUTGetD3DObject();
    const bool blending =
        d3d && SUCCEEDED(d3d->CheckDeviceFormat(caps->AdapterOrdinal, caps->DeviceType, adapterFormat,
                                                D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING, D3DRTYPE_TEXTURE,
                                                backBufferFormat));
    const bool depth =
        std::any_of(std::begin(kAcceptDepthFormats), std::end(kAcceptDepthFormats),
                    [&](D3DFORMAT f) { return IsDepthFormatOk(f, adapterFormat, backBufferFormat); });
    if (!blending || caps->PixelShaderVersion < D3DPS_VERSION(2, 0) || !depth) {
        g_accepted = false;
        return false;
    }
    return true;
}

bool AdjustDeviceSettings(DXUTDeviceSettings* settings, const D3DCAPS9* caps, void*) {
    settings->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if ((caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) == 0 ||
        caps->VertexShaderVersion < D3DVS_VERSION(1, 1))
        settings->BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    for (D3DFORMAT f : kPreferredDepthFormats)
        if (IsDepthFormatOk(f, settings->AdapterFormat, settings->pp.BackBufferFormat)) {
            settings->pp.AutoDepthStencilFormat = f;
            break;
        }
    return true;
}

HRESULT DeviceCreated(IDirect3DDevice9* device, const D3DSURFACE_DESC*, void*) {
    HRESULT hr;
    if (FAILED(hr = device->CreateVertexDeclaration(kSceneDeclaration, &s_scene.sceneDeclaration)))
        return hr;
    if (FAILED(hr = device->CreateVertexDeclaration(kShadowDeclaration, &s_scene.shadowDeclaration)))
        return hr;
    hr = D3DXCreateFontA(device, 15, 0, 700, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, "Arial", &s_scene.font);
    if (FAILED(hr))
        return hr;
    QString path;
    if (FAILED(hr = DXUTFindMediaFile(&path, QStringLiteral("ShadowVolume.fx"))))
        return hr;
    hr = D3DXCreateEffectFromFileW(device, path.toStdWString().c_str(), nullptr, nullptr,
                                   D3DXFX_NOT_CLONEABLE, nullptr, &s_scene.effect, nullptr);
    if (FAILED(hr))
        return hr;

    D3DCAPS9 caps;
    device->GetDeviceCaps(&caps);
    s_scene.renderScene = s_scene.effect->GetTechniqueByName("RenderScene");
    s_scene.renderShadow = s_scene.effect->GetTechniqueByName(
        (caps.StencilCaps & D3DSTENCILCAPS_TWOSIDED) ? "ShowShadowVolume2Sided" : "ShowShadowVolume");

    for (int i = 0; i < 4; ++i) {
        CDXUTMesh& m = *s_scene.meshes[i];
        if (FAILED(hr = m.LoadMeshFile(device, QString::fromLatin1(kMeshFiles[i]))))
            return hr;
        if (FAILED(hr = m.ApplyVertexDeclaration(device, kSceneDeclaration, true, true, false)))
            return hr;
    }

    // The character fills a unit sphere at the origin.
    D3DXMatrixIdentity(&s_scene.characterWorld);
    ID3DXMesh* character = s_scene.meshes[kCharacter]->Mesh();
    void* vertices = nullptr;
    if (character && SUCCEEDED(character->LockVertexBuffer(D3DLOCK_READONLY, &vertices))) {
        D3DXVECTOR3 centre;
        float radius = 0;
        const HRESULT sphere =
            D3DXComputeBoundingSphere(static_cast<const D3DXVECTOR3*>(vertices), character->GetNumVertices(),
                                      character->GetNumBytesPerVertex(), &centre, &radius);
        character->UnlockVertexBuffer();
        if (SUCCEEDED(sphere) && radius > 0) {
            D3DXMATRIX move, scale;
            D3DXMatrixTranslation(&move, -centre.x, -centre.y, -centre.z);
            D3DXMatrixScaling(&scale, 1 / radius, 1 / radius, 1 / radius);
            D3DXMatrixMultiply(&s_scene.characterWorld, &move, &scale);
        }
    }

    const D3DXVECTOR3 eye(0, 0, -5), at(0, 0, 0);
    s_scene.viewCamera->SetViewPoint(eye, at);
    s_scene.modelCamera->SetViewPoint(eye, at);
    s_scene.lightCamera->SetViewPoint(eye, at);

    if (FAILED(hr = device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          &s_scene.defaultTexture, nullptr)))
        return hr;
    D3DLOCKED_RECT locked;
    if (FAILED(hr = s_scene.defaultTexture->LockRect(0, &locked, nullptr, 0)))
        return hr;
    *static_cast<DWORD*>(locked.pBits) = 0xFFFFFFFFu;
    return s_scene.defaultTexture->UnlockRect(0);
}

HRESULT DeviceReset(IDirect3DDevice9* device, const D3DSURFACE_DESC* backBuffer, void*) {
    if (s_scene.font)
        s_scene.font->OnResetDevice();
    if (s_scene.effect)
        s_scene.effect->OnResetDevice();
    HRESULT hr;
    for (auto& m : s_scene.meshes)
        if (FAILED(hr = m->RestoreMeshObjects(device)))
            return hr;
    if (FAILED(hr = D3DXCreateSprite(device, &s_scene.sprite)))
        return hr;
    const float aspect = static_cast<float>(backBuffer->Width) / static_cast<float>(backBuffer->Height);
    s_scene.viewCamera->SetProjection(D3DX_PI / 4, aspect, 0.1f, 20.0f);
    const int w = static_cast<int>(backBuffer->Width), h = static_cast<int>(backBuffer->Height);
    s_scene.modelCamera->SetViewportSize(w, h, 0.9f);
    s_scene.lightCamera->SetViewportSize(w, h, 0.9f);
    if (s_scene.effect) {
        s_scene.effect->SetFloat("g_fFarClip", 19.9f);
        s_scene.effect->SetMatrix("g_mProj", s_scene.viewCamera->GetProjMatrix());
    }
    // Without a volume the frames show the lit scene alone.
    SafeRelease(s_scene.shadowVolume);
    if (s_scene.meshes[kCharacter]->Mesh())
        BuildShadowVolumeMesh(device, s_scene.meshes[kCharacter]->Mesh(), &s_scene.shadowVolume);
    return S_OK;
}

void DeviceLost(void*) {
    for (auto& m : s_scene.meshes)
        if (m)
            m->ReleaseMeshObjects();
    SafeRelease(s_scene.shadowVolume);
    if (s_scene.font)
        s_scene.font->OnLostDevice();
    if (s_scene.effect)
        s_scene.effect->OnLostDevice();
    SafeRelease(s_scene.sprite);
}

void DeviceDestroyed(void*) {
    for (auto& m : s_scene.meshes)
        if (m)
            m->DestroyMesh();
    SafeRelease(s_scene.defaultTexture);
    SafeRelease(s_scene.effect);
    SafeRelease(s_scene.font);
    SafeRelease(s_scene.sceneDeclaration);
    SafeRelease(s_scene.shadowDeclaration);
    s_scene.renderScene = s_scene.renderShadow = nullptr;
}

void UpdateFrame(IDirect3DDevice9*, double, float elapsedTime, void*) {
    s_scene.viewCamera->UpdateCamera(elapsedTime);
    s_scene.modelCamera->UpdateCamera(elapsedTime);
    s_scene.lightCamera->UpdateCamera(elapsedTime);
}

namespace {

// Every pass of the current technique over a mesh's materials.
void DrawMaterials(CDXUTMesh& mesh) {
    ID3DXEffect* e = s_scene.effect;
    UINT passes = 0;
    if (!mesh.Mesh() || FAILED(e->Begin(&passes, 0)))
        return;
    for (UINT p = 0; p < passes; ++p) {
        e->BeginPass(p);
        for (DWORD m = 0; m < mesh.NumMaterials(); ++m) {
            const D3DCOLORVALUE& d = mesh.Material(m).Diffuse;
            const D3DXVECTOR4 colour(d.r, d.g, d.b, d.a);
            e->SetVector("g_vMatColor", &colour);
            e->SetTexture("g_txScene", mesh.Texture(m) ? mesh.Texture(m) : s_scene.defaultTexture);
            e->CommitChanges();
            mesh.Mesh()->DrawSubset(m);
        }
        e->EndPass();
    }
    e->End();
}

void DrawScene(IDirect3DDevice9* device, bool withLights) {
    ID3DXEffect* e = s_scene.effect;
    const D3DXMATRIX& view = *s_scene.viewCamera->GetViewMatrix();
    const D3DXMATRIX& proj = *s_scene.viewCamera->GetProjMatrix();
    const int lights = g_lightCount.load(std::memory_order_relaxed);

    if (withLights) {
        const D3DXHANDLE remembered = e->GetCurrentTechnique();
        e->SetTechnique("RenderSceneAmbient");
        e->SetTexture("g_txScene", s_scene.defaultTexture);
        const D3DXVECTOR4 white(1, 1, 1, 1);
        e->SetVector("g_vMatColor", &white);
        CDXUTMesh& lightMesh = *s_scene.meshes[kLightMesh];
        UINT passes = 0;
        if (lightMesh.Mesh() && SUCCEEDED(e->Begin(&passes, 0))) {
            for (UINT p = 0; p < passes; ++p) {
                e->BeginPass(p);
                for (int l = 0; l < lights; ++l)
                    for (DWORD m = 0; m < lightMesh.NumMaterials(); ++m) {
                        D3DXMATRIX worldView, wvp;
                        D3DXMatrixMultiply(&worldView, &s_scene.lights[l].m_mWorld,
                                           s_scene.lightCamera->GetWorldMatrix());
                        D3DXMatrixMultiply(&worldView, &worldView, &view);
                        D3DXMatrixMultiply(&wvp, &worldView, &proj);
                        e->SetMatrix("g_mWorldView", &worldView);
                        e->SetMatrix("g_mWorldViewProjection", &wvp);
                        e->SetVector("g_vAmbient", &s_scene.lights[l].m_Color);
                        e->CommitChanges();
                        lightMesh.Mesh()->DrawSubset(m);
                    }
                e->EndPass();
            }
            e->End();
        }
        e->SetTechnique(remembered);
        e->SetVector("g_vAmbient", &kAmbient);
    }

    D3DXMATRIX viewProj, wvp, worldView;
    D3DXMatrixMultiply(&viewProj, &view, &proj);
    device->SetVertexDeclaration(s_scene.sceneDeclaration);
    D3DXMatrixMultiply(&wvp, &s_scene.roomWorld, &viewProj);
    D3DXMatrixMultiply(&worldView, &s_scene.roomWorld, &view);
    e->SetMatrix("g_mWorldViewProjection", &wvp);
    e->SetMatrix("g_mWorldView", &worldView);
    DrawMaterials(*s_scene.meshes[kRoom]);

    device->SetVertexDeclaration(s_scene.sceneDeclaration);
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &s_scene.characterWorld, s_scene.modelCamera->GetWorldMatrix());
    D3DXMatrixMultiply(&wvp, &world, &viewProj);
    D3DXMatrixMultiply(&worldView, &world, &view);
    e->SetMatrix("g_mWorldViewProjection", &wvp);
    e->SetMatrix("g_mWorldView", &worldView);
    DrawMaterials(*s_scene.meshes[kCharacter]);
}

} // namespace

void RenderFrame(IDirect3DDevice9* device, double, float, void*) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 66, 75, 121), 1.0f, 0);
    if (!s_scene.effect || FAILED(device->BeginScene()))
        return;
    ID3DXEffect* e = s_scene.effect;
    const D3DCOLOR eventColour = D3DCOLOR_ARGB(255, 200, 100, 100);

    D3DPERF_BeginEvent(eventColour, L"Scene Ambient");
    e->SetTechnique("RenderSceneAmbient");
    e->SetVector("g_vAmbient", &kAmbient);
    DrawScene(device, true);
    D3DPERF_EndEvent();

    D3DPERF_BeginEvent(eventColour, L"Shadow");
    const int lights = g_lightCount.load(std::memory_order_relaxed);
    for (int l = 0; l < lights; ++l) {
        device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
        const TLight& light = s_scene.lights[l];
        const D3DXVECTOR4 position(light.m_Position.x, light.m_Position.y, light.m_Position.z, 1.0f);
        D3DXVECTOR4 inView;
        D3DXMATRIX toView;
        D3DXMatrixMultiply(&toView, s_scene.lightCamera->GetWorldMatrix(),
                           s_scene.viewCamera->GetViewMatrix());
        D3DXVec4Transform(&inView, &position, &toView);
        e->SetVector("g_vLightView", &inView);
        e->SetVector("g_vLightColor", &light.m_Color);
        e->SetTechnique(s_scene.renderShadow);
        e->SetVector("g_vShadowColor", &kShadowColours[l]);
        if (s_scene.shadowVolume) {
            device->SetVertexDeclaration(s_scene.shadowDeclaration);
            UINT passes = 0;
            if (SUCCEEDED(e->Begin(&passes, 0))) {
                for (UINT p = 0; p < passes; ++p) {
                    e->BeginPass(p);
                    e->CommitChanges();
                    s_scene.shadowVolume->DrawSubset(0);
                    e->EndPass();
                }
                e->End();
            }
        }
        e->SetTechnique(s_scene.renderScene);
        DrawScene(device, false);
    }
    D3DPERF_EndEvent();

    D3DPERF_BeginEvent(eventColour, L"HUD / Stats");
    DrawStatisticsLine(s_scene.font, s_scene.sprite);
    D3DPERF_EndEvent();
    device->EndScene();
}

const TSceneEntryPoints& Scene() {
    static const TSceneEntryPoints scene{
        Prepare,       Setup,          Release,    AcceptDevice,    AdjustDeviceSettings,
        DeviceCreated, DeviceReset,    DeviceLost, DeviceDestroyed, RenderFrame,
        UpdateFrame,   &g_measurement, &g_accepted};
    return scene;
}

int LightCount() {
    return g_lightCount.load(std::memory_order_relaxed);
}
void SetLightCount(int count) {
    g_lightCount.store(std::clamp(count, 1, kMaxLights), std::memory_order_relaxed);
}
TLight& Light(int i) {
    return s_scene.lights[i];
}
D3DXVECTOR4 ShadowColour(int i) {
    return kShadowColours[i];
}
CDXUTMesh* Character() {
    return s_scene.meshes[kCharacter].get();
}
CDXUTMesh* Room() {
    return s_scene.meshes[kRoom].get();
}
D3DXMATRIX& CharacterWorld() {
    return s_scene.characterWorld;
}
const D3DXMATRIX& RoomWorld() {
    return s_scene.roomWorld;
}
const D3DXMATRIX& BackgroundWorld() {
    return s_scene.backgroundWorld;
}
ID3DXMesh* ShadowVolume() {
    return s_scene.shadowVolume;
}
ID3DXEffect* Effect() {
    return s_scene.effect;
}
CFirstPersonCamera* ViewCamera() {
    return s_scene.viewCamera.get();
}
CModelViewerCamera* LightCamera() {
    return s_scene.lightCamera.get();
}
CModelViewerCamera* ModelCamera() {
    return s_scene.modelCamera.get();
}
IDirect3DTexture9* DefaultTexture() {
    return s_scene.defaultTexture;
}
D3DXHANDLE ShadowTechnique() {
    return s_scene.renderShadow;
}
void SetShadowTechnique(D3DXHANDLE technique) {
    s_scene.renderShadow = technique;
}

} // namespace orv::RenderUnit3
