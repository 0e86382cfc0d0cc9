#include "graphics3d/scenes/RenderUnit2.h"

#include "graphics3d/framework/DXUTEnum.h"

#include <cmath>
#include <memory>

namespace orv::RenderUnit2 {

namespace {

constexpr HRESULT kMeshLoadFailed = static_cast<HRESULT>(0x80040903);

const char* const kMeshFiles[kObjectCount] = {"room.x",      "airplane\\airplane 2.x",
                                              "misc\\car.x", "misc\\sphere.x",
                                              "UI\\arrow.x", "UI\\arrow.x",
                                              "UI\\arrow.x", "UI\\arrow.x",
                                              "UI\\arrow.x", "UI\\arrow.x",
                                              "UI\\arrow.x", "UI\\arrow.x",
                                              "ring.x",      "ring.x"};

// Where the eight arrows stand.
const float kArrowPositions[8][2] = {{5, 5},   {5, -5},   {-5, 5},   {-5, -5},
                                     {14, 14}, {14, -14}, {-14, 14}, {-14, -14}};

const D3DVERTEXELEMENT9 kDeclaration[] = {
    {0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
    {0, 12, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_NORMAL, 0},
    {0, 24, D3DDECLTYPE_FLOAT2, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_TEXCOORD, 0},
    D3DDECL_END()};

struct SceneState {
    std::unique_ptr<CFirstPersonCamera> viewCamera, lightCamera;
    std::unique_ptr<CObj[]> objects;
    std::unique_ptr<CDXUTMesh> lightMesh;
    ID3DXFont* font = nullptr;
    ID3DXSprite* sprite = nullptr;
    ID3DXEffect* effect = nullptr;
    IDirect3DVertexDeclaration9* declaration = nullptr;
    IDirect3DTexture9* shadowMap = nullptr;
    // The shadow map's level 0, asked for once per reset rather than once per frame.
    IDirect3DSurface9* shadowSurface = nullptr;
    IDirect3DSurface9* shadowDepth = nullptr;
    IDirect3DTexture9* defaultTexture = nullptr;
    D3DXMATRIX shadowProjection;
    float lightFov = 0;
    D3DXVECTOR4 lightDiffuse{0, 0, 0, 0};
    float lightTheta = 0;
};

SceneState s_scene;
bool g_accepted = false;
TFpsMeasurement g_measurement;

template <typename F> void ForEachMesh(F f) {
    if (s_scene.objects)
        for (int i = 0; i < kObjectCount; ++i)
            f(s_scene.objects[i].m_Mesh);
    if (s_scene.lightMesh)
        f(*s_scene.lightMesh);
}

HRESULT LoadObjectMesh(IDirect3DDevice9* device, CDXUTMesh& mesh, const QString& file) {
    QString path;
    HRESULT hr = DXUTFindMediaFile(&path, file);
    if (FAILED(hr))
        return hr;
    if (FAILED(mesh.LoadMeshFile(device, path)))
        return kMeshLoadFailed;
    return mesh.ApplyVertexDeclaration(device, kDeclaration, true, true, false);
}

// Every pass of the current technique over the mesh, one draw per material subset.
void DrawMesh(CDXUTMesh& mesh, bool whiteForUntextured) {
    ID3DXEffect* e = s_scene.effect;
    UINT passes = 0;
    if (!mesh.Mesh() || FAILED(e->Begin(&passes, 0)))
        return;
    for (UINT p = 0; p < passes; ++p) {
        e->BeginPass(p);
        for (DWORD i = 0; i < mesh.NumMaterials(); ++i) {
            const D3DCOLORVALUE& d = mesh.Material(i).Diffuse;
            const D3DXVECTOR4 material(d.r, d.g, d.b, d.a);
            e->SetVector("g_vMaterial", &material);
            IDirect3DBaseTexture9* texture = mesh.Texture(i);
            if (!texture && whiteForUntextured)
                texture = s_scene.defaultTexture;
            e->SetTexture("g_txScene", texture);
            e->CommitChanges();
            mesh.Mesh()->DrawSubset(i);
        }
        e->EndPass();
    }
    e->End();
}

void DrawScene(IDirect3DDevice9* device, bool forShadowMap, const D3DXMATRIX& view,
               const D3DXMATRIX& projection) {
    ID3DXEffect* e = s_scene.effect;
    e->SetMatrix("g_mProj", &projection);

    D3DXVECTOR4 lightPos;
    D3DXVec3Transform(&lightPos, s_scene.lightCamera->GetEyePt(), &view);
    e->SetVector("g_vLightPos", &lightPos);
    const D3DXVECTOR3* ahead = s_scene.lightCamera->GetWorldAhead();
    const D3DXVECTOR4 ahead4(ahead->x, ahead->y, ahead->z, 0.0f);
    D3DXVECTOR4 lightDir;
    D3DXVec4Transform(&lightDir, &ahead4, &view);
    D3DXVECTOR3 dir3(lightDir.x, lightDir.y, lightDir.z);
    D3DXVec3Normalize(&dir3, &dir3);
    lightDir = D3DXVECTOR4(dir3.x, dir3.y, dir3.z, lightDir.w);
    e->SetVector("g_vLightDir", &lightDir);

    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, D3DCOLOR_ARGB(0, 0, 0, 255), 1.0f, 0);
    if (forShadowMap)
        e->SetTechnique("RenderShadow");
    if (FAILED(device->BeginScene()))
        return;
    if (!forShadowMap)
        e->SetTechnique("RenderScene");

    for (int i = 0; i < kObjectCount; ++i) {
        CObj& obj = s_scene.objects[i];
        D3DXMATRIX worldView;
        D3DXMatrixMultiply(&worldView, &obj.m_mWorld, &view);
        e->SetMatrix("g_mWorldView", &worldView);
        DrawMesh(obj.m_Mesh, true);
    }

    if (!forShadowMap)
        e->SetTechnique("RenderLight");
    D3DXMATRIX lightWorldView;
    D3DXMatrixMultiply(&lightWorldView, s_scene.lightCamera->GetWorldMatrix(), &view);
    e->SetMatrix("g_mWorldView", &lightWorldView);
    DrawMesh(*s_scene.lightMesh, false);

    if (!forShadowMap) {
        DrawStatisticsLine(s_scene.font, s_scene.sprite);
    }
    device->EndScene();
}

} // namespace

const char* ObjectMeshFile(int i) {
    return i >= 0 && i < kObjectCount ? kMeshFiles[i] : nullptr;
}

D3DXMATRIX InitialWorld(int i) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    const auto scaleAndMove = [&m](float sx, float sy, float sz, float tx, float ty, float tz) {
        m.m[0][0] = sx;
        m.m[1][1] = sy;
        m.m[2][2] = sz;
        m.m[3][0] = tx;
        m.m[3][1] = ty;
        m.m[3][2] = tz;
    };
    switch (i) {
    case 0:
        scaleAndMove(3.5f, 3.0f, 3.5f, 0, 0, 0);
        break;
    case 1:
        m = D3DXMATRIX(0.43301f, 0.25f, 0, 0, -0.25f, 0.43301f, 0, 0, 0, 0, 0.5f, 0, 5.0f, 1.33975f, 0, 1);
        break;
    case 2:
        scaleAndMove(0.8f, 0.8f, 0.8f, -14.5f, -7.1f, 0);
        break;
    case 3:
        scaleAndMove(2.0f, 2.0f, 2.0f, 0, -7.0f, 0);
        break;
    case 12:
        scaleAndMove(0.9f, 0.9f, 0.9f, -14.5f, -9.0f, 0);
        break;
    case 13:
        scaleAndMove(0.9f, 0.9f, 0.9f, 14.5f, -9.0f, 0);
        break;
    default:
        if (i >= 4 && i <= 11) {
            const float* at = kArrowPositions[i - 4];
            m = D3DXMATRIX(5.5f, 0, 0, 0, 0, 0, 5.5f, 0, 0, -9.0f, 0, 0, at[0], 0.2f, at[1], 1);
        }
        break;
    }
    return m;
}

// ---- Entry points ----

void Prepare() {
    s_scene.viewCamera = std::make_unique<CFirstPersonCamera>();
    s_scene.lightCamera = std::make_unique<CFirstPersonCamera>();
    s_scene.objects = std::make_unique<CObj[]>(kObjectCount);
    s_scene.lightMesh = std::make_unique<CDXUTMesh>();

    s_scene.viewCamera->SetSpeeds(0.01f, 15.0f);
    s_scene.viewCamera->SetTurnButtons(true, false, false);
    s_scene.lightCamera->SetSpeeds(0.01f, 8.0f);
    s_scene.lightCamera->SetTurnButtons(false, false, true);
    s_scene.viewCamera->SetViewPoint(D3DXVECTOR3(0, 5, -18), D3DXVECTOR3(0, -1, 0));
    s_scene.lightCamera->SetViewPoint(D3DXVECTOR3(0, 0, -12), D3DXVECTOR3(0, -2, 1));

    s_scene.lightFov = D3DX_PI / 2;
    s_scene.lightDiffuse = D3DXVECTOR4(1, 1, 1, 1);
    s_scene.lightTheta = D3DX_PI / 4;
}

void Setup() {
    g_measurement.Start();
}

void Release() {
    s_scene.viewCamera.reset();
    s_scene.lightCamera.reset();
    s_scene.objects.reset();
    s_scene.lightMesh.reset();
    g_measurement.Stop();
    DXUTPostQuitMessage(1);
}

bool AcceptDevice(const D3DCAPS9* caps, D3DFORMAT adapterFormat, D3DFORMAT backBufferFormat, bool, void*) {
    g_accepted = true;
    IDirect3D9* d3d = DXUTGetD3DObject();
    const auto supports = [&](DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
        return d3d && SUCCEEDED(d3d->CheckDeviceFormat(caps->AdapterOrdinal, caps->DeviceType, adapterFormat,
                                                       usage, type, format));
    };
    if (!supports(D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING, D3DRTYPE_TEXTURE, backBufferFormat) ||
        caps->PixelShaderVersion < D3DPS_VERSION(2, 0) ||
        !supports(D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_R32F) ||
        !supports(D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, D3DFMT_A8R8G8B8)) {
        g_accepted = false;
        return false;
    }
    return true;
}

bool AdjustDeviceSettings(DXUTDeviceSettings* settings, const D3DCAPS9* caps, void*) {
    settings->pp.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if ((caps->DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) && caps->VertexShaderVersion >= D3DVS_VERSION(1, 1))
        settings->BehaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    else
        settings->BehaviorFlags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if ((caps->DevCaps & D3DDEVCAPS_PUREDEVICE) &&
        (settings->BehaviorFlags & D3DCREATE_HARDWARE_VERTEXPROCESSING))
        settings->BehaviorFlags |= D3DCREATE_PUREDEVICE;
    return true;
}

HRESULT DeviceCreated(IDirect3DDevice9* device, const D3DSURFACE_DESC*, void*) {
    HRESULT hr = D3DXCreateFontA(device, 15, 0, 700, 1, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial", &s_scene.font);
    if (FAILED(hr))
        return hr;
    QString path;
    if (FAILED(hr = DXUTFindMediaFile(&path, QStringLiteral("ShadowMap.fx"))))
        return hr;
    hr = D3DXCreateEffectFromFileW(device, path.toStdWString().c_str(), nullptr, nullptr,
                                   D3DXFX_NOT_CLONEABLE, nullptr, &s_scene.effect, nullptr);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = device->CreateVertexDeclaration(kDeclaration, &s_scene.declaration)))
        return hr;
    for (int i = 0; i < kObjectCount; ++i) {
        CObj& obj = s_scene.objects[i];
        if (FAILED(hr = LoadObjectMesh(device, obj.m_Mesh, QString::fromLatin1(kMeshFiles[i]))))
            return hr;
        obj.m_mWorld = InitialWorld(i);
    }
    if (FAILED(hr = LoadObjectMesh(device, *s_scene.lightMesh, QStringLiteral("spotlight.x"))))
        return hr;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    device->SetTransform(D3DTS_WORLD, &identity);
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

    const float aspect = static_cast<float>(backBuffer->Width) / static_cast<float>(backBuffer->Height);
    s_scene.viewCamera->SetProjection(D3DX_PI / 4, aspect, 0.1f, 100.0f);
    s_scene.lightCamera->SetProjection(D3DX_PI / 4, aspect, 0.1f, 100.0f);

    hr = device->CreateTexture(1, 1, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                               &s_scene.defaultTexture, nullptr);
    if (FAILED(hr))
        return hr;
    D3DLOCKED_RECT locked;
    if (FAILED(hr = s_scene.defaultTexture->LockRect(0, &locked, nullptr, 0)))
        return hr;
    *static_cast<DWORD*>(locked.pBits) = 0xFFFFFFFFu;
    if (FAILED(hr = s_scene.defaultTexture->UnlockRect(0)))
        return hr;

    for (int i = 0; i < kObjectCount; ++i)
        if (FAILED(hr = s_scene.objects[i].m_Mesh.RestoreMeshObjects(device)))
            return hr;
    if (FAILED(hr = s_scene.lightMesh->RestoreMeshObjects(device)))
        return hr;

    if (s_scene.effect) {
        s_scene.effect->SetVector("g_vLightDiffuse", &s_scene.lightDiffuse);
        s_scene.effect->SetFloat("g_fCosTheta", std::cos(s_scene.lightTheta));
    }

    hr = device->CreateTexture(kShadowMapSize, kShadowMapSize, 1, D3DUSAGE_RENDERTARGET, D3DFMT_R32F,
                               D3DPOOL_DEFAULT, &s_scene.shadowMap, nullptr);
    if (FAILED(hr))
        return hr;
    if (FAILED(s_scene.shadowMap->GetSurfaceLevel(0, &s_scene.shadowSurface)))
        s_scene.shadowSurface = nullptr;
    hr = device->CreateDepthStencilSurface(kShadowMapSize, kShadowMapSize,
                                           DXUTGetDeviceSettings().pp.AutoDepthStencilFormat,
                                           D3DMULTISAMPLE_NONE, 0, 1, &s_scene.shadowDepth, nullptr);
    if (FAILED(hr))
        return hr;
    D3DXMatrixPerspectiveFovLH(&s_scene.shadowProjection, s_scene.lightFov, 1.0f, 0.01f, 100.0f);
    return S_OK;
}

void DeviceLost(void*) {
    if (s_scene.font)
        s_scene.font->OnLostDevice();
    if (s_scene.effect)
        s_scene.effect->OnLostDevice();
    SafeRelease(s_scene.sprite);
    SafeRelease(s_scene.shadowDepth);
    SafeRelease(s_scene.shadowSurface);
    SafeRelease(s_scene.shadowMap);
    SafeRelease(s_scene.defaultTexture);
    ForEachMesh([](CDXUTMesh& m) { m.ReleaseMeshObjects(); });
}

void DeviceDestroyed(void*) {
    SafeRelease(s_scene.effect);
    SafeRelease(s_scene.font);
    SafeRelease(s_scene.declaration);
    ForEachMesh([](CDXUTMesh& m) { m.DestroyMesh(); });
}

void UpdateFrame(IDirect3DDevice9*, double, float elapsedTime, void*) {
    s_scene.viewCamera->UpdateCamera(elapsedTime);
    s_scene.lightCamera->UpdateCamera(elapsedTime);

    D3DXMATRIX r;
    D3DXMATRIX& airplane = s_scene.objects[1].m_mWorld;
    D3DXMatrixRotationY(&r, D3DX_PI * elapsedTime / 4.0f);
    D3DXMatrixMultiply(&airplane, &airplane, &r);

    D3DXMATRIX& car = s_scene.objects[2].m_mWorld;
    D3DXMatrixRotationY(&r, -D3DX_PI * elapsedTime / 4.0f);
    D3DXMatrixMultiply(&car, &car, &r);

    D3DXMATRIX& sphere = s_scene.objects[3].m_mWorld;
    const D3DXVECTOR3 axis(0.1f, 1.0f, -0.2f);
    D3DXMatrixRotationAxis(&r, &axis, -D3DX_PI * elapsedTime / 6.0f);
    D3DXMatrixMultiply(&sphere, &r, &sphere);
}

void RenderFrame(IDirect3DDevice9* device, double, float, void*) {
    if (!s_scene.effect)
        return;
    const D3DXMATRIX lightView = *s_scene.lightCamera->GetViewMatrix();

    IDirect3DSurface9* oldTarget = nullptr;
    IDirect3DSurface9* oldDepth = nullptr;
    device->GetRenderTarget(0, &oldTarget);
    if (s_scene.shadowSurface)
        device->SetRenderTarget(0, s_scene.shadowSurface);
    if (SUCCEEDED(device->GetDepthStencilSurface(&oldDepth)))
        device->SetDepthStencilSurface(s_scene.shadowDepth);

    DrawScene(device, true, lightView, s_scene.shadowProjection);

    if (oldDepth) {
        device->SetDepthStencilSurface(oldDepth);
        oldDepth->Release();
    }
    if (oldTarget) {
        device->SetRenderTarget(0, oldTarget);
        oldTarget->Release();
    }

    const D3DXMATRIX view = *s_scene.viewCamera->GetViewMatrix();
    s_scene.effect->SetTexture("g_txShadow", s_scene.shadowMap);
    D3DXMATRIX viewToLight;
    D3DXMatrixInverse(&viewToLight, nullptr, &view);
    D3DXMatrixMultiply(&viewToLight, &viewToLight, &lightView);
    D3DXMatrixMultiply(&viewToLight, &viewToLight, &s_scene.shadowProjection);
    s_scene.effect->SetMatrix("g_mViewToLightProj", &viewToLight);

    DrawScene(device, false, view, *s_scene.viewCamera->GetProjMatrix());
    s_scene.effect->SetTexture("g_txShadow", nullptr);
}

const TSceneEntryPoints& Scene() {
    static const TSceneEntryPoints scene{
        Prepare,       Setup,          Release,    AcceptDevice,    AdjustDeviceSettings,
        DeviceCreated, DeviceReset,    DeviceLost, DeviceDestroyed, RenderFrame,
        UpdateFrame,   &g_measurement, &g_accepted};
    return scene;
}

CObj* Object(int i) {
    return s_scene.objects && i >= 0 && i < kObjectCount ? &s_scene.objects[i] : nullptr;
}
CDXUTMesh* LightMesh() {
    return s_scene.lightMesh.get();
}
CFirstPersonCamera* ViewCamera() {
    return s_scene.viewCamera.get();
}
CFirstPersonCamera* LightCamera() {
    return s_scene.lightCamera.get();
}
ID3DXEffect* Effect() {
    return s_scene.effect;
}
IDirect3DTexture9* ShadowMap() {
    return s_scene.shadowMap;
}
IDirect3DSurface9* ShadowDepthStencil() {
    return s_scene.shadowDepth;
}
IDirect3DTexture9* DefaultTexture() {
    return s_scene.defaultTexture;
}
const D3DXMATRIX& ShadowProjection() {
    return s_scene.shadowProjection;
}
float LightFov() {
    return s_scene.lightFov;
}
D3DXVECTOR4 LightDiffuse() {
    return s_scene.lightDiffuse;
}
float LightTheta() {
    return s_scene.lightTheta;
}

} // namespace orv::RenderUnit2
