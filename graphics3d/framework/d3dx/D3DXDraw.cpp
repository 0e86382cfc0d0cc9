#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <map>

namespace orv::d3dx {

namespace {
struct ActivePass {
    void* pass = nullptr;
    PassDrawFunction draw = nullptr;
};
std::map<IDirect3DDevice9*, ActivePass>& Active() {
    static std::map<IDirect3DDevice9*, ActivePass> active;
    return active;
}
} // namespace

void SetActivePass(IDirect3DDevice9* device, void* pass, PassDrawFunction draw) {
    if (pass && draw)
        Active()[device] = {pass, draw};
    else
        Active().erase(device);
}

HRESULT DrawIndexed(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                    UINT numVertices, UINT startIndex, UINT primitiveCount) {
    auto it = Active().find(device);
    if (it != Active().end())
        return it->second.draw(it->second.pass, device, type, baseVertex, minIndex, numVertices, startIndex,
                               primitiveCount);
    return device->DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
}

QString FromWide(const wchar_t* text) {
    return text ? QString::fromWCharArray(text) : QString();
}

} // namespace orv::d3dx
