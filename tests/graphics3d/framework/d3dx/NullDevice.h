#pragma once
// A device of the null back end for tests that need resources but no drawing.
#include "graphics3d/framework/NullDirect3D.h"

#include <QString>
#include <QWindow>

#include <memory>

namespace orv::test {

class NullDeviceFixture {
public:
    explicit NullDeviceFixture(DWORD maxBlendMatrices = 4);
    ~NullDeviceFixture();
    IDirect3DDevice9* device() const { return device_; }
    std::shared_ptr<NullControl> control() const { return config_.control; }

private:
    NullConfig config_;
    QWindow window_;
    IDirect3D9* d3d_ = nullptr;
    IDirect3DDevice9* device_ = nullptr;
};

// The generated media folder beside the built programs.
QString MediaDir();
std::wstring MediaPath(const QString& relative);

} // namespace orv::test
