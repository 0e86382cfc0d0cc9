// The .x reader on a null device: any input either loads into a hierarchy that can be destroyed again
// or fails with a code.
#include "graphics3d/framework/NullDirect3D.h"
#include "graphics3d/framework/d3dx/D3DX9Mesh.h"

#include <QGuiApplication>
#include <QWindow>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace orv;

namespace {

class Allocator : public ID3DXAllocateHierarchy {
public:
    HRESULT CreateFrame(const char* name, D3DXFRAME** out) override {
        auto* f = new D3DXFRAME;
        f->Name = Copy(name);
        D3DXMatrixIdentity(&f->TransformationMatrix);
        *out = f;
        ++live;
        return S_OK;
    }
    HRESULT CreateMeshContainer(const char* name, const D3DXMESHDATA* data, const D3DXMATERIAL* materials,
                                const D3DXEFFECTINSTANCE*, DWORD numMaterials, const DWORD* adjacency,
                                ID3DXSkinInfo* skin, D3DXMESHCONTAINER** out) override {
        auto* mc = new D3DXMESHCONTAINER;
        mc->Name = Copy(name);
        mc->MeshData = *data;
        data->pMesh->AddRef();
        // Touch what the loader handed over, as a scene would.
        for (DWORD i = 0; i < numMaterials; ++i)
            if (materials[i].pTextureFilename)
                (void)std::strlen(materials[i].pTextureFilename);
        const DWORD faces = data->pMesh->GetNumFaces();
        for (DWORD i = 0; i < faces * 3; ++i)
            if (adjacency[i] != 0xFFFFFFFFu && adjacency[i] >= faces)
                __builtin_trap();
        if (skin) {
            skin->AddRef();
            mc->pSkinInfo = skin;
            DWORD influences = 0, groups = 0;
            ID3DXBuffer* combos = nullptr;
            ID3DXMesh* blended = nullptr;
            if (SUCCEEDED(skin->ConvertToBlendedMesh(data->pMesh, D3DXMESH_MANAGED, adjacency, nullptr,
                                                     nullptr, nullptr, &influences, &groups, &combos,
                                                     &blended))) {
                combos->Release();
                blended->Release();
            }
        }
        *out = mc;
        ++live;
        return S_OK;
    }
    HRESULT DestroyFrame(D3DXFRAME* f) override {
        delete[] f->Name;
        delete f;
        --live;
        return S_OK;
    }
    HRESULT DestroyMeshContainer(D3DXMESHCONTAINER* mc) override {
        delete[] mc->Name;
        SafeRelease(mc->MeshData.pMesh);
        SafeRelease(mc->pSkinInfo);
        delete mc;
        --live;
        return S_OK;
    }
    static char* Copy(const char* s) {
        if (!s)
            return nullptr;
        char* c = new char[std::strlen(s) + 1];
        std::strcpy(c, s);
        return c;
    }
    int live = 0;
};

IDirect3DDevice9* g_device = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    static QWindow window;
    IDirect3D9* d3d = CreateNullDirect3D(DefaultNullConfig());
    D3DPRESENT_PARAMETERS pp;
    pp.Windowed = true;
    pp.BackBufferWidth = pp.BackBufferHeight = 16;
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.SwapEffect = D3DSWAPEFFECT_DISCARD;
    pp.hDeviceWindow = &window;
    d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &g_device);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Allocator alloc;
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* anim = nullptr;
    const HRESULT hr = D3DXLoadMeshHierarchyFromXInMemory(data, static_cast<DWORD>(size), D3DXMESH_MANAGED,
                                                          g_device, &alloc, nullptr, &root, &anim);
    if (SUCCEEDED(hr)) {
        if (anim) {
            anim->AdvanceTime(0.37, nullptr);
            anim->AdvanceTime(1e9, nullptr);
            anim->Release();
        }
        D3DXVECTOR3 centre;
        float radius;
        D3DXFrameCalculateBoundingSphere(root, &centre, &radius);
        D3DXFrameDestroy(root, &alloc);
    } else if (root) {
        __builtin_trap();
    }
    if (alloc.live != 0)
        __builtin_trap();
    return 0;
}
