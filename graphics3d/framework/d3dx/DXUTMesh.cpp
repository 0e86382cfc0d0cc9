#include "graphics3d/framework/d3dx/DXUTMesh.h"

#include "graphics3d/framework/DXUT.h"
#include "graphics3d/framework/d3dx/D3DX9Tex.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"
#include "graphics3d/framework/d3dx/DXUTMisc.h"

#include <QFileInfo>

namespace orv {

CDXUTTextHelper::CDXUTTextHelper(ID3DXFont* font, ID3DXSprite* sprite, int lineHeight)
    : font_(font), sprite_(sprite), lineHeight_(lineHeight) {}

void CDXUTTextHelper::BeginText() {
    if (sprite_)
        sprite_->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE);
}

HRESULT CDXUTTextHelper::DrawTextLine(const QString& text) {
    // Helpers are made per frame; the wide copy of the line lives on in a buffer that keeps its size.
    thread_local std::vector<wchar_t> wide(256); // room for a statistics line
    wide.resize(static_cast<size_t>(text.size()) + 1);
    const qsizetype n = text.toWCharArray(wide.data());
    wide[static_cast<size_t>(n)] = L'\0';
    return DrawTextLine(wide.data());
}

HRESULT CDXUTTextHelper::DrawTextLine(const wchar_t* text) {
    if (!font_)
        return E_INVALIDARG;
    RECT rc{x_, y_, 0, 0};
    if (font_->DrawTextW(sprite_, text, -1, &rc, DT_NOCLIP, static_cast<D3DCOLOR>(colour_)) == 0)
        return E_FAIL;
    y_ += lineHeight_;
    return S_OK;
}

void CDXUTTextHelper::EndText() {
    if (sprite_)
        sprite_->End();
}

CDXUTMesh::CDXUTMesh(const QString& name) : name_(name.left(512)) {}

CDXUTMesh::~CDXUTMesh() {
    DestroyMesh();
}

HRESULT CDXUTMesh::LoadMeshFile(IDirect3DDevice9* device, const QString& fileName) {
    DestroyMesh();
    QString path;
    HRESULT hr = DXUTFindMediaFile(&path, fileName);
    if (FAILED(hr))
        return hr;
    ID3DXBuffer* adjacency = nullptr;
    ID3DXBuffer* materials = nullptr;
    DWORD count = 0;
    const std::wstring wpath = path.toStdWString();
    hr = D3DXLoadMeshFromXW(wpath.c_str(), D3DXMESH_MANAGED, device, &adjacency, &materials, nullptr, &count,
                            &mesh_);
    if (FAILED(hr))
        return hr;
    // Compact, sort by attribute and order for the vertex cache.
    mesh_->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                           static_cast<DWORD*>(adjacency->GetBufferPointer()), nullptr, nullptr, nullptr);
    adjacency->Release();

    const QString folder = QFileInfo(path).path();
    materials_.resize(count);
    textures_.assign(count, nullptr);
    textureNames_.assign(count, std::string());
    auto* records = count ? static_cast<D3DXMATERIAL*>(materials->GetBufferPointer()) : nullptr;
    bool volumeSeen = false;
    for (DWORD i = 0; i < count; ++i) {
        materials_[i] = records[i].MatD3D;
        if (!records[i].pTextureFilename)
            continue;
        textureNames_[i] = records[i].pTextureFilename;
        if (volumeSeen)
            continue; // after a volume texture no further textures of this mesh are loaded
        // Beside the mesh file first, then wherever the media search finds it.
        QString texturePath =
            folder + "/" + QString::fromLocal8Bit(records[i].pTextureFilename).replace('\\', '/');
        std::wstring wtex = texturePath.toStdWString();
        D3DXIMAGE_INFO info;
        if (FAILED(D3DXGetImageInfoFromFileW(wtex.c_str(), &info))) {
            if (FAILED(DXUTFindMediaFile(&texturePath, QString::fromLocal8Bit(records[i].pTextureFilename))))
                continue;
            wtex = texturePath.toStdWString();
            if (FAILED(D3DXGetImageInfoFromFileW(wtex.c_str(), &info)))
                continue;
        }
        switch (info.ResourceType) {
        case D3DRTYPE_TEXTURE: {
            IDirect3DTexture9* t = nullptr;
            if (SUCCEEDED(D3DXCreateTextureFromFileW(device, wtex.c_str(), &t)))
                textures_[i] = t;
            break;
        }
        case D3DRTYPE_CUBETEXTURE: {
            IDirect3DCubeTexture9* t = nullptr;
            if (SUCCEEDED(D3DXCreateCubeTextureFromFileW(device, wtex.c_str(), &t)))
                textures_[i] = t;
            break;
        }
        case D3DRTYPE_VOLUMETEXTURE: {
            IDirect3DVolumeTexture9* t = nullptr;
            if (SUCCEEDED(D3DXCreateVolumeTextureFromFileW(device, wtex.c_str(), &t)))
                textures_[i] = t;
            volumeSeen = true;
            break;
        }
        default:
            break;
        }
    }
    if (materials)
        materials->Release();

    DescribeMesh(device);
    return S_OK;
}

void CDXUTMesh::DescribeMesh(IDirect3DDevice9* device) {
    ReleaseMeshObjects();
    numVertices_ = mesh_->GetNumVertices();
    numFaces_ = mesh_->GetNumFaces();
    bytesPerVertex_ = mesh_->GetNumBytesPerVertex();
    mesh_->GetVertexBuffer(&vb_);
    mesh_->GetIndexBuffer(&ib_);
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    mesh_->GetDeclaration(decl);
    device->CreateVertexDeclaration(decl, &decl_);
}

HRESULT CDXUTMesh::ApplyVertexDeclaration(IDirect3DDevice9* device, const D3DVERTEXELEMENT9* declaration,
                                          bool computeNormals, bool computeTangents, bool split) {
    if (!mesh_)
        return E_FAIL;
    D3DVERTEXELEMENT9 old[MAX_FVF_DECL_SIZE];
    mesh_->GetDeclaration(old);
    const auto oldElements = d3dx::Elements(old), newElements = d3dx::Elements(declaration);
    auto has = [](const std::vector<D3DVERTEXELEMENT9>& e, BYTE usage) {
        return d3dx::FindElement(e, usage, 0) != nullptr;
    };
    ID3DXMesh* clone = nullptr;
    if (FAILED(mesh_->CloneMesh(mesh_->GetOptions(), declaration, device, &clone)))
        return E_FAIL;
    const bool newNormals = has(newElements, D3DDECLUSAGE_NORMAL);
    if (newNormals && !has(oldElements, D3DDECLUSAGE_NORMAL) && computeNormals)
        D3DXComputeNormals(clone, nullptr);
    if (newNormals && has(newElements, D3DDECLUSAGE_TANGENT) && !has(oldElements, D3DDECLUSAGE_TANGENT) &&
        computeTangents) {
        const float partial = split ? 0.01f : -1.01f, singular = split ? 0.25f : 0.01f,
                    normalEdge = split ? 0.01f : -1.01f;
        const bool binormals = has(newElements, D3DDECLUSAGE_BINORMAL);
        D3DXComputeTangentFrameEx(clone, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLUSAGE_TANGENT, 0,
                                  binormals ? static_cast<DWORD>(D3DDECLUSAGE_BINORMAL) : D3DX_DEFAULT, 0,
                                  D3DDECLUSAGE_NORMAL, 0, 0, nullptr, partial, singular, normalEdge, nullptr,
                                  nullptr);
    }
    mesh_->Release();
    mesh_ = clone;
    DescribeMesh(device);
    return S_OK;
}

HRESULT CDXUTMesh::RestoreMeshObjects(IDirect3DDevice9*) {
    return S_OK;
}

HRESULT CDXUTMesh::ReleaseMeshObjects() {
    SafeRelease(vb_);
    SafeRelease(ib_);
    SafeRelease(decl_);
    return S_OK;
}

HRESULT CDXUTMesh::DestroyMesh() {
    ReleaseMeshObjects();
    for (auto*& t : textures_)
        SafeRelease(t);
    textures_.clear();
    materials_.clear();
    textureNames_.clear();
    SafeRelease(mesh_);
    return S_OK;
}

} // namespace orv
