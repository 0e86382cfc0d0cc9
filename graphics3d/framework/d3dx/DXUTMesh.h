#pragma once
// The text helper that draws the statistics line, and the mesh-file object: a mesh loaded from a .x
// file with its materials and textures.
#include "graphics3d/framework/d3dx/D3DX9Core.h"
#include "graphics3d/framework/d3dx/D3DX9Mesh.h"

#include <QString>

#include <string>
#include <vector>

namespace orv {

class CDXUTTextHelper {
public:
    // Holds the font and the sprite without owning them.
    CDXUTTextHelper(ID3DXFont* font, ID3DXSprite* sprite, int lineHeight);

    void BeginText();
    void SetTextPosition(int x, int y) {
        x_ = x;
        y_ = y;
    }
    void SetTextColour(float red, float green, float blue, float alpha) {
        colour_ = D3DXCOLOR(red, green, blue, alpha);
    }
    HRESULT DrawTextLine(const QString& text);
    HRESULT DrawTextLine(const wchar_t* text);
    void EndText();

    POINT Position() const { return POINT{x_, y_}; }
    D3DXCOLOR Colour() const { return colour_; }

private:
    ID3DXFont* font_;
    ID3DXSprite* sprite_;
    D3DXCOLOR colour_{1, 1, 1, 1};
    int x_ = 0, y_ = 0;
    int lineHeight_;
};

class CDXUTMesh {
public:
    explicit CDXUTMesh(const QString& name = "CDXUTMeshFile_Mesh");
    ~CDXUTMesh();
    CDXUTMesh(const CDXUTMesh&) = delete;
    CDXUTMesh& operator=(const CDXUTMesh&) = delete;

    HRESULT LoadMeshFile(IDirect3DDevice9* device, const QString& fileName);
    HRESULT ApplyVertexDeclaration(IDirect3DDevice9* device, const D3DVERTEXELEMENT9* declaration,
                                   bool computeNormals = true, bool computeTangents = true,
                                   bool splitVerticesForTangents = false);
    HRESULT RestoreMeshObjects(IDirect3DDevice9* device);
    HRESULT ReleaseMeshObjects();
    HRESULT DestroyMesh();

    ID3DXMesh* Mesh() const { return mesh_; }
    DWORD NumMaterials() const { return static_cast<DWORD>(materials_.size()); }
    const D3DMATERIAL9& Material(DWORD i) const { return materials_[i]; }
    IDirect3DBaseTexture9* Texture(DWORD i) const { return textures_[i]; }
    const std::string& TextureName(DWORD i) const { return textureNames_[i]; }
    bool UseMaterials() const { return useMaterials_; }
    void SetUseMaterials(bool use) { useMaterials_ = use; }
    const QString& Name() const { return name_; }
    IDirect3DVertexBuffer9* VertexBuffer() const { return vb_; }
    IDirect3DIndexBuffer9* IndexBuffer() const { return ib_; }
    IDirect3DVertexDeclaration9* Declaration() const { return decl_; }
    DWORD NumVertices() const { return numVertices_; }
    DWORD NumFaces() const { return numFaces_; }
    DWORD BytesPerVertex() const { return bytesPerVertex_; }

private:
    // Buffers, declaration and counts of the current mesh.
    void DescribeMesh(IDirect3DDevice9* device);

    QString name_;
    ID3DXMesh* mesh_ = nullptr;
    std::vector<D3DMATERIAL9> materials_;
    std::vector<IDirect3DBaseTexture9*> textures_;
    std::vector<std::string> textureNames_;
    bool useMaterials_ = true;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DVertexDeclaration9* decl_ = nullptr;
    DWORD numVertices_ = 0, numFaces_ = 0, bytesPerVertex_ = 0;
};

} // namespace orv
