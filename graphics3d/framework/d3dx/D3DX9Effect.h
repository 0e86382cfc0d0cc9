#pragma once
// Effects: techniques and passes of our effect-file format (EffectFile.h) compiled to GLSL programs on
// the OpenGL device, with parameters looked up by name. Meshes drawn between BeginPass and EndPass go
// through the pass's program; on other devices the pass only sets its render states.
#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/d3dx/D3DX9Math.h"
#include "graphics3d/framework/d3dx/D3DX9Mesh.h"

namespace orv {

// A parameter or technique: the handle a lookup returned, or simply its name.
using D3DXHANDLE = const char*;

constexpr DWORD D3DXFX_DONOTSAVESTATE = 0x1u;
constexpr DWORD D3DXFX_DONOTSAVESHADERSTATE = 0x2u;
constexpr DWORD D3DXFX_DONOTSAVESAMPLERSTATE = 0x4u;
constexpr DWORD D3DXFX_NOT_CLONEABLE = 0x800u;
constexpr HRESULT D3DXERR_INVALIDDATA = MakeHResult(0x88760B59u);

struct D3DXMACRO {
    const char* Name = nullptr;
    const char* Definition = nullptr;
};
class ID3DXInclude;
class ID3DXEffectPool;

class ID3DXEffect : public IUnknown {
public:
    virtual D3DXHANDLE GetParameterByName(D3DXHANDLE parent, const char* name) = 0;
    virtual D3DXHANDLE GetTechniqueByName(const char* name) = 0;
    virtual D3DXHANDLE GetTechnique(UINT index) = 0;
    virtual HRESULT SetTechnique(D3DXHANDLE technique) = 0;
    virtual D3DXHANDLE GetCurrentTechnique() = 0;
    virtual HRESULT ValidateTechnique(D3DXHANDLE technique) = 0;

    virtual HRESULT SetMatrix(D3DXHANDLE parameter, const D3DXMATRIX* matrix) = 0;
    virtual HRESULT GetMatrix(D3DXHANDLE parameter, D3DXMATRIX* matrix) = 0;
    virtual HRESULT SetVector(D3DXHANDLE parameter, const D3DXVECTOR4* vector) = 0;
    virtual HRESULT GetVector(D3DXHANDLE parameter, D3DXVECTOR4* vector) = 0;
    virtual HRESULT SetFloat(D3DXHANDLE parameter, float value) = 0;
    virtual HRESULT GetFloat(D3DXHANDLE parameter, float* value) = 0;
    virtual HRESULT SetInt(D3DXHANDLE parameter, INT value) = 0;
    virtual HRESULT SetBool(D3DXHANDLE parameter, BOOL value) = 0;
    virtual HRESULT SetValue(D3DXHANDLE parameter, const void* data, UINT bytes) = 0;
    virtual HRESULT SetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9* texture) = 0;
    virtual HRESULT GetTexture(D3DXHANDLE parameter, IDirect3DBaseTexture9** texture) = 0;

    virtual HRESULT Begin(UINT* passes, DWORD flags) = 0;
    virtual HRESULT BeginPass(UINT pass) = 0;
    virtual HRESULT CommitChanges() = 0;
    virtual HRESULT EndPass() = 0;
    virtual HRESULT End() = 0;

    virtual HRESULT GetDevice(IDirect3DDevice9** device) = 0;
    virtual HRESULT OnLostDevice() = 0;
    virtual HRESULT OnResetDevice() = 0;
};

HRESULT D3DXCreateEffectFromFileW(IDirect3DDevice9* device, const wchar_t* fileName, const D3DXMACRO* defines,
                                  ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool,
                                  ID3DXEffect** effect, ID3DXBuffer** compilationErrors);
HRESULT D3DXCreateEffect(IDirect3DDevice9* device, const void* data, UINT length, const D3DXMACRO* defines,
                         ID3DXInclude* include, DWORD flags, ID3DXEffectPool* pool, ID3DXEffect** effect,
                         ID3DXBuffer** compilationErrors);

} // namespace orv
