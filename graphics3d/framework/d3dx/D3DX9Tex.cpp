#include "graphics3d/framework/d3dx/D3DX9Tex.h"

#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <QImage>
#include <QImageReader>

#include <cstring>

namespace orv {

namespace {

constexpr HRESULT kInvalidData = MakeHResult(0x88760B59u);

struct Loaded {
    QImage image;
    D3DXIMAGE_INFO info;
};

HRESULT Load(const wchar_t* fileName, Loaded* out) {
    if (!fileName)
        return D3DERR_INVALIDCALL;
    QImageReader reader(d3dx::FromWide(fileName).replace('\\', '/'));
    const QByteArray format = reader.format().toLower();
    QImage img;
    if (!reader.read(&img) || img.isNull())
        return reader.error() == QImageReader::FileNotFoundError ? D3DERR_NOTFOUND : kInvalidData;
    D3DXIMAGE_INFO info;
    info.ImageFileFormat = format == "png"                       ? D3DXIFF_PNG
                           : format == "bmp"                     ? D3DXIFF_BMP
                           : format == "jpeg" || format == "jpg" ? D3DXIFF_JPG
                           : format == "tga"                     ? D3DXIFF_TGA
                           : format == "ppm"                     ? D3DXIFF_PPM
                                                                 : D3DXIFF_PNG;
    info.Format = img.hasAlphaChannel() ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    const QString layout = img.text("Layout").toLower();
    const auto w = static_cast<UINT>(img.width()), h = static_cast<UINT>(img.height());
    if (layout == "cube") {
        if (h != w * 6)
            return kInvalidData;
        info.ResourceType = D3DRTYPE_CUBETEXTURE;
        info.Width = info.Height = w;
        info.Depth = 1;
        info.MipLevels = 1;
    } else if (layout == "volume") {
        bool ok = false;
        const UINT depth = img.text("Depth").toUInt(&ok);
        if (!ok || depth == 0 || h % depth != 0)
            return kInvalidData;
        info.ResourceType = D3DRTYPE_VOLUMETEXTURE;
        info.Width = w;
        info.Height = h / depth;
        info.Depth = depth;
        info.MipLevels = 1;
    } else {
        info.ResourceType = D3DRTYPE_TEXTURE;
        info.Width = w;
        info.Height = h;
        info.Depth = 1;
        UINT levels = 1;
        for (UINT s = std::max(w, h); s > 1; s >>= 1)
            ++levels;
        info.MipLevels = levels;
    }
    out->image = img.convertToFormat(QImage::Format_ARGB32);
    out->info = info;
    return D3D_OK;
}

// Load for the texture creators: an image of another resource type is invalid data for them.
HRESULT LoadAs(const wchar_t* fileName, D3DRESOURCETYPE type, Loaded* out) {
    const HRESULT hr = Load(fileName, out);
    if (FAILED(hr))
        return hr;
    return out->info.ResourceType == type ? D3D_OK : kInvalidData;
}

// Rows of a QImage region into locked memory (A8R8G8B8 and X8R8G8B8 share the byte order of ARGB32).
void CopyRows(const QImage& img, int top, UINT width, UINT height, BYTE* dst, INT pitch) {
    for (UINT y = 0; y < height; ++y)
        std::memcpy(dst + static_cast<size_t>(y) * static_cast<size_t>(pitch),
                    img.constScanLine(top + static_cast<int>(y)), static_cast<size_t>(width) * 4);
}

} // namespace

HRESULT D3DXGetImageInfoFromFileW(const wchar_t* fileName, D3DXIMAGE_INFO* info) {
    if (!info)
        return D3DERR_INVALIDCALL;
    Loaded l;
    const HRESULT hr = Load(fileName, &l);
    if (SUCCEEDED(hr))
        *info = l.info;
    return hr;
}

HRESULT D3DXCreateTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                   IDirect3DTexture9** texture) {
    if (!device || !texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Loaded l;
    HRESULT hr = LoadAs(fileName, D3DRTYPE_TEXTURE, &l);
    if (FAILED(hr))
        return hr;
    IDirect3DTexture9* t = nullptr;
    hr = device->CreateTexture(l.info.Width, l.info.Height, l.info.MipLevels, 0, l.info.Format,
                               D3DPOOL_MANAGED, &t, nullptr);
    if (FAILED(hr))
        return hr;
    QImage level = l.image;
    for (UINT i = 0; i < t->GetLevelCount(); ++i) {
        if (i > 0)
            level = level.scaled(std::max(1, level.width() / 2), std::max(1, level.height() / 2),
                                 Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        D3DLOCKED_RECT lr;
        if (FAILED(t->LockRect(i, &lr, nullptr, 0)))
            break;
        CopyRows(level, 0, static_cast<UINT>(level.width()), static_cast<UINT>(level.height()),
                 static_cast<BYTE*>(lr.pBits), lr.Pitch);
        t->UnlockRect(i);
    }
    *texture = t;
    return D3D_OK;
}

HRESULT D3DXCreateCubeTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                       IDirect3DCubeTexture9** texture) {
    if (!device || !texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Loaded l;
    HRESULT hr = LoadAs(fileName, D3DRTYPE_CUBETEXTURE, &l);
    if (FAILED(hr))
        return hr;
    IDirect3DCubeTexture9* t = nullptr;
    hr = device->CreateCubeTexture(l.info.Width, 1, 0, l.info.Format, D3DPOOL_MANAGED, &t, nullptr);
    if (FAILED(hr))
        return hr;
    for (UINT face = 0; face < 6; ++face) {
        D3DLOCKED_RECT lr;
        if (FAILED(t->LockRect(static_cast<D3DCUBEMAP_FACES>(face), 0, &lr, nullptr, 0)))
            continue;
        CopyRows(l.image, static_cast<int>(face * l.info.Height), l.info.Width, l.info.Height,
                 static_cast<BYTE*>(lr.pBits), lr.Pitch);
        t->UnlockRect(static_cast<D3DCUBEMAP_FACES>(face), 0);
    }
    *texture = t;
    return D3D_OK;
}

HRESULT D3DXCreateVolumeTextureFromFileW(IDirect3DDevice9* device, const wchar_t* fileName,
                                         IDirect3DVolumeTexture9** texture) {
    if (!device || !texture)
        return D3DERR_INVALIDCALL;
    *texture = nullptr;
    Loaded l;
    HRESULT hr = LoadAs(fileName, D3DRTYPE_VOLUMETEXTURE, &l);
    if (FAILED(hr))
        return hr;
    IDirect3DVolumeTexture9* t = nullptr;
    hr = device->CreateVolumeTexture(l.info.Width, l.info.Height, l.info.Depth, 1, 0, l.info.Format,
                                     D3DPOOL_MANAGED, &t, nullptr);
    if (FAILED(hr))
        return hr;
    D3DLOCKED_BOX box;
    if (SUCCEEDED(t->LockBox(0, &box, nullptr, 0))) {
        for (UINT z = 0; z < l.info.Depth; ++z)
            CopyRows(l.image, static_cast<int>(z * l.info.Height), l.info.Width, l.info.Height,
                     static_cast<BYTE*>(box.pBits) +
                         static_cast<size_t>(z) * static_cast<size_t>(box.SlicePitch),
                     box.RowPitch);
        t->UnlockBox(0);
    }
    *texture = t;
    return D3D_OK;
}

} // namespace orv
