#pragma once
// Pieces the utility library's parts share; not for scenes.
#include "graphics3d/framework/d3dx/D3DX9Mesh.h"

#include <QString>

#include <array>
#include <vector>

namespace orv::d3dx {

// Indexed draw through the effect pass active on the device, or the device itself when none is.
using PassDrawFunction = HRESULT (*)(void* pass, IDirect3DDevice9* device, D3DPRIMITIVETYPE type,
                                     INT baseVertex, UINT minIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount);
// A null pass clears the device's entry.
void SetActivePass(IDirect3DDevice9* device, void* pass, PassDrawFunction draw);
HRESULT DrawIndexed(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                    UINT numVertices, UINT startIndex, UINT primitiveCount);

// Elements of a declaration up to its end marker.
std::vector<D3DVERTEXELEMENT9> Elements(const D3DVERTEXELEMENT9* declaration);
// The element of a usage, or null.
const D3DVERTEXELEMENT9* FindElement(const std::vector<D3DVERTEXELEMENT9>& elements, BYTE usage, BYTE index);
// Reads or writes one element as four floats (missing components read as 0, w as 1 for positions).
void ReadElement(const BYTE* vertex, const D3DVERTEXELEMENT9& e, float out[4]);
void WriteElement(BYTE* vertex, const D3DVERTEXELEMENT9& e, const float in[4]);

QString FromWide(const wchar_t* text);

// GetDevice of the utilities: the device they were made on, with a reference for the caller.
inline HRESULT HandOutDevice(IDirect3DDevice9* device, IDirect3DDevice9** out) {
    if (!out)
        return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

// True for a text .x file whose counts and indices are consistent (binary and compressed forms are
// not taken).
bool CheckTextXFile(const void* data, size_t size);

// Mesh data as plain arrays, for the algorithms that rebuild meshes.
struct MeshArrays {
    std::vector<D3DVERTEXELEMENT9> elements;
    UINT stride = 0;
    std::vector<BYTE> vertices;
    std::vector<std::array<DWORD, 3>> faces;
    std::vector<DWORD> attributes;
    DWORD options = 0;
    D3DXVECTOR3 Position(DWORD v) const;
};
HRESULT ReadMesh(ID3DXMesh* mesh, MeshArrays* out);
// Creates a mesh on the device from the arrays (32-bit indices when needed or asked).
HRESULT BuildMesh(const MeshArrays& in, IDirect3DDevice9* device, ID3DXMesh** mesh);
// Point representatives by position (within epsilon): each vertex maps to the lowest index at its point.
std::vector<DWORD> PointRepsByPosition(const MeshArrays& m, float epsilon);

} // namespace orv::d3dx
