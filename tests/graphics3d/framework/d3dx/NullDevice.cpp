#include "NullDevice.h"

#include "tests/graphics3d/framework/DeviceTestSupport.h"
#include "tests/support/TestEnv.h"

namespace orv::test {

NullDeviceFixture::NullDeviceFixture(DWORD maxBlendMatrices) : config_(DefaultNullConfig()) {
    for (auto& a : config_.adapters)
        a.caps.MaxVertexBlendMatrices = maxBlendMatrices;
    d3d_ = CreateNullDirect3D(config_);
    D3DPRESENT_PARAMETERS pp = WindowedParameters(64, 64, &window_);
    d3d_->CreateDevice(0, D3DDEVTYPE_HAL, &window_, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device_);
}

NullDeviceFixture::~NullDeviceFixture() {
    SafeRelease(device_);
    SafeRelease(d3d_);
}

QString MediaDir() {
    return BinDir() + "/media";
}

std::wstring MediaPath(const QString& relative) {
    return (MediaDir() + "/" + relative).toStdWString();
}

} // namespace orv::test
