#pragma once
// Resources shared by both back ends. Every texture, surface and buffer keeps a system-memory copy
// (what Lock hands out); a back end mirrors it on the graphics card through ResourceBackend.
#include "graphics3d/framework/D3D9.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orv {

struct TextureData;
struct BufferData;

// The device side of the resources. Called on the device's thread.
class ResourceBackend {
public:
    virtual ~ResourceBackend() = default;
    virtual void TextureCreated(TextureData&) {}
    // After an unlock that may have changed the memory copy of (face, level).
    virtual void TextureUpload(TextureData&, UINT /*face*/, UINT /*level*/) {}
    // Before a lock when the card holds newer content than the memory copy.
    virtual void TextureDownload(TextureData&, UINT /*face*/, UINT /*level*/) {}
    virtual void TextureDestroyed(TextureData&) {}
    virtual void BufferUpload(BufferData&, UINT /*offset*/, UINT /*size*/) {}
    virtual void BufferDestroyed(BufferData&) {}
};

enum class TextureKind { Surface, Texture2D, Cube, Volume };

struct TextureData {
    ~TextureData();
    TextureKind kind = TextureKind::Texture2D;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    DWORD usage = 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    UINT width = 0, height = 0, depth = 1, levels = 1;
    bool lockable = true;
    // Set for default-pool objects the application created; counts them while they live.
    std::shared_ptr<int> defaultPoolCounter;
    // mem[face * levels + level]
    std::vector<std::vector<BYTE>> mem;
    std::vector<bool> cardNewer; // the card holds content the memory copy lacks
    std::vector<int> locks;
    ResourceBackend* backend = nullptr;
    IDirect3DDevice9* device = nullptr;
    // Back-end handles.
    unsigned glName = 0;
    unsigned glRenderbuffer = 0;

    UINT Faces() const { return kind == TextureKind::Cube ? 6u : 1u; }
    UINT LevelWidth(UINT level) const { return width >> level ? width >> level : 1u; }
    UINT LevelHeight(UINT level) const { return height >> level ? height >> level : 1u; }
    UINT LevelDepth(UINT level) const { return depth >> level ? depth >> level : 1u; }
    UINT RowPitch(UINT level) const;
    UINT SlicePitch(UINT level) const;
    std::vector<BYTE>& Level(UINT face, UINT level) { return mem[face * levels + level]; }
    D3DSURFACE_DESC SurfaceDesc(UINT level) const;
};

// Allocates the memory copies; false when the sizes are unusable.
bool InitTextureData(TextureData& data);

struct BufferData {
    ~BufferData();
    bool index = false;
    D3DFORMAT format = D3DFMT_VERTEXDATA;
    DWORD usage = 0;
    DWORD fvf = 0;
    D3DPOOL pool = D3DPOOL_MANAGED;
    std::shared_ptr<int> defaultPoolCounter;
    std::vector<BYTE> mem;
    UINT lockOffset = 0, lockSize = 0;
    int locks = 0;
    ResourceBackend* backend = nullptr;
    IDirect3DDevice9* device = nullptr;
    unsigned glName = 0;
};

class Surface9 final : public IDirect3DSurface9 {
public:
    Surface9(std::shared_ptr<TextureData> data, UINT face, UINT level)
        : data_(std::move(data)), face_(face), level_(level) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    const std::shared_ptr<TextureData>& Data() const { return data_; }
    UINT Face() const { return face_; }
    UINT Level() const { return level_; }

private:
    std::shared_ptr<TextureData> data_;
    UINT face_, level_;
};

class Volume9 final : public IDirect3DVolume9 {
public:
    Volume9(std::shared_ptr<TextureData> data, UINT level) : data_(std::move(data)), level_(level) {}
    HRESULT GetDesc(D3DVOLUME_DESC* desc) override;
    HRESULT LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox() override;

private:
    std::shared_ptr<TextureData> data_;
    UINT level_;
};

// Lock helpers shared by textures and surfaces.
HRESULT LockTextureRect(TextureData& data, UINT face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                        DWORD flags);
HRESULT UnlockTextureRect(TextureData& data, UINT face, UINT level);
HRESULT LockTextureBox(TextureData& data, UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags);
HRESULT UnlockTextureBox(TextureData& data, UINT level);

class Texture9 final : public IDirect3DTexture9 {
public:
    explicit Texture9(std::shared_ptr<TextureData> data) : data_(std::move(data)) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    DWORD GetLevelCount() override { return data_->levels; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    const std::shared_ptr<TextureData>& Data() const { return data_; }

private:
    std::shared_ptr<TextureData> data_;
};

class CubeTexture9 final : public IDirect3DCubeTexture9 {
public:
    explicit CubeTexture9(std::shared_ptr<TextureData> data) : data_(std::move(data)) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    DWORD GetLevelCount() override { return data_->levels; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    const std::shared_ptr<TextureData>& Data() const { return data_; }

private:
    std::shared_ptr<TextureData> data_;
};

class VolumeTexture9 final : public IDirect3DVolumeTexture9 {
public:
    explicit VolumeTexture9(std::shared_ptr<TextureData> data) : data_(std::move(data)) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VOLUMETEXTURE; }
    DWORD GetLevelCount() override { return data_->levels; }
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) override;
    HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volume) override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) override;
    HRESULT UnlockBox(UINT level) override;
    const std::shared_ptr<TextureData>& Data() const { return data_; }

private:
    std::shared_ptr<TextureData> data_;
};

// The texture data behind any of our texture objects, or null.
TextureData* TextureDataOf(IDirect3DBaseTexture9* texture);

class VertexBuffer9 final : public IDirect3DVertexBuffer9 {
public:
    explicit VertexBuffer9(std::shared_ptr<BufferData> data) : data_(std::move(data)) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;
    const std::shared_ptr<BufferData>& Data() const { return data_; }

private:
    std::shared_ptr<BufferData> data_;
};

class IndexBuffer9 final : public IDirect3DIndexBuffer9 {
public:
    explicit IndexBuffer9(std::shared_ptr<BufferData> data) : data_(std::move(data)) {}
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
    HRESULT Unlock() override;
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;
    const std::shared_ptr<BufferData>& Data() const { return data_; }

private:
    std::shared_ptr<BufferData> data_;
};

class VertexDeclaration9 final : public IDirect3DVertexDeclaration9 {
public:
    explicit VertexDeclaration9(std::vector<D3DVERTEXELEMENT9> elements);
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    // Without the end marker.
    const std::vector<D3DVERTEXELEMENT9>& Elements() const { return elements_; }
    // Never shared with another declaration, not even one made later at the same address, so back
    // ends can key what they derive from the layout on it.
    std::uint64_t Id() const { return id_; }

private:
    std::vector<D3DVERTEXELEMENT9> elements_;
    std::uint64_t id_;
};

// Declaration elements from a flexible vertex format (stream 0); empty for an unusable format.
std::vector<D3DVERTEXELEMENT9> DeclarationFromFvf(DWORD fvf);
// The same, made once per format and thread: for the draw path, which must not allocate.
const std::vector<D3DVERTEXELEMENT9>& CachedDeclarationFromFvf(DWORD fvf);
UINT FvfVertexSize(DWORD fvf);
// Bytes of one element of a declaration type.
UINT DeclTypeSize(BYTE type);
// Number of vertices a draw of primitiveCount primitives reads.
UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT primitiveCount);

} // namespace orv
