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

// A device's entry stays when its pass ends, so beginning the next pass finds it instead of making one.
void SetActivePass(IDirect3DDevice9* device, void* pass, PassDrawFunction draw) {
    if (pass && draw) {
        Active()[device] = {pass, draw};
    } else {
        auto it = Active().find(device);
        if (it != Active().end())
            it->second = ActivePass{};
    }
}

HRESULT DrawIndexed(IDirect3DDevice9* device, D3DPRIMITIVETYPE type, INT baseVertex, UINT minIndex,
                    UINT numVertices, UINT startIndex, UINT primitiveCount) {
    auto it = Active().find(device);
    if (it != Active().end() && it->second.draw)
        return it->second.draw(it->second.pass, device, type, baseVertex, minIndex, numVertices, startIndex,
                               primitiveCount);
    return device->DrawIndexedPrimitive(type, baseVertex, minIndex, numVertices, startIndex, primitiveCount);
}

QString FromWide(const wchar_t* text) {
    return text ? QString::fromWCharArray(text) : QString();
}

} // namespace orv::d3dx
