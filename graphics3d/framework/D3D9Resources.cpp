#include "graphics3d/framework/D3D9Resources.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <unordered_map>

namespace orv {

TextureData::~TextureData() {
    if (defaultPoolCounter)
        --*defaultPoolCounter;
    if (backend)
        backend->TextureDestroyed(*this);
}

BufferData::~BufferData() {
    if (defaultPoolCounter)
        --*defaultPoolCounter;
    if (backend)
        backend->BufferDestroyed(*this);
}

namespace {

bool IsBlockCompressed(D3DFORMAT f) {
    return f == D3DFMT_DXT1 || f == D3DFMT_DXT3 || f == D3DFMT_DXT5;
}

HRESULT ReturnDevice(IDirect3DDevice9* device, IDirect3DDevice9** out) {
    if (!out)
        return D3DERR_INVALIDCALL;
    *out = device;
    if (!device)
        return D3DERR_INVALIDCALL;
    device->AddRef();
    return D3D_OK;
}

} // namespace

UINT TextureData::RowPitch(UINT level) const {
    const UINT w = LevelWidth(level);
    if (IsBlockCompressed(format))
        return ((w + 3) / 4) * (format == D3DFMT_DXT1 ? 8u : 16u);
    return w * static_cast<UINT>(D3DFormatInfo(format).bytes);
}

UINT TextureData::SlicePitch(UINT level) const {
    const UINT h = LevelHeight(level);
    return RowPitch(level) * (IsBlockCompressed(format) ? (h + 3) / 4 : h);
}

D3DSURFACE_DESC TextureData::SurfaceDesc(UINT level) const {
    D3DSURFACE_DESC d;
    d.Format = format;
    d.Type = kind == TextureKind::Surface ? D3DRTYPE_SURFACE : D3DRTYPE_TEXTURE;
    d.Usage = usage;
    d.Pool = pool;
    d.Width = LevelWidth(level);
    d.Height = LevelHeight(level);
    return d;
}

bool InitTextureData(TextureData& data) {
    if (data.width == 0 || data.height == 0 || data.depth == 0 || data.width > 16384 || data.height > 16384 ||
        data.depth > 2048 || D3DFormatInfo(data.format).bytes == 0)
        return false;
    UINT maxLevels = 1;
    for (UINT s = std::max({data.width, data.height, data.depth}); s > 1; s >>= 1)
        ++maxLevels;
    if (data.levels == 0 || data.levels > maxLevels)
        data.levels = maxLevels;
    const UINT count = data.Faces() * data.levels;
    data.mem.assign(count, {});
    data.cardNewer.assign(count, false);
    data.locks.assign(count, 0);
    for (UINT face = 0; face < data.Faces(); ++face)
        for (UINT level = 0; level < data.levels; ++level)
            data.Level(face, level)
                .assign(static_cast<size_t>(data.SlicePitch(level)) * data.LevelDepth(level), 0);
    return true;
}

HRESULT LockTextureRect(TextureData& data, UINT face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                        DWORD flags) {
    if (!locked || face >= data.Faces() || level >= data.levels || !data.lockable)
        return D3DERR_INVALIDCALL;
    const UINT idx = face * data.levels + level;
    if (data.locks[idx] > 0)
        return D3DERR_INVALIDCALL;
    const UINT w = data.LevelWidth(level), h = data.LevelHeight(level);
    size_t offset = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > static_cast<LONG>(w) ||
            rect->bottom > static_cast<LONG>(h) || rect->left >= rect->right || rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        offset = static_cast<size_t>(rect->top) * data.RowPitch(level) +
                 static_cast<size_t>(rect->left) * static_cast<size_t>(D3DFormatInfo(data.format).bytes);
    }
    if (data.cardNewer[idx] && !(flags & D3DLOCK_DISCARD) && data.backend)
        data.backend->TextureDownload(data, face, level);
    data.cardNewer[idx] = false;
    ++data.locks[idx];
    locked->Pitch = static_cast<INT>(data.RowPitch(level));
    locked->pBits = data.Level(face, level).data() + offset;
    (void)(flags & D3DLOCK_READONLY);
    return D3D_OK;
}

HRESULT UnlockTextureRect(TextureData& data, UINT face, UINT level) {
    if (face >= data.Faces() || level >= data.levels)
        return D3DERR_INVALIDCALL;
    const UINT idx = face * data.levels + level;
    if (data.locks[idx] == 0)
        return D3DERR_INVALIDCALL;
    --data.locks[idx];
    if (data.backend)
        data.backend->TextureUpload(data, face, level);
    return D3D_OK;
}

HRESULT LockTextureBox(TextureData& data, UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    if (!locked || data.kind != TextureKind::Volume || level >= data.levels)
        return D3DERR_INVALIDCALL;
    if (data.locks[level] > 0)
        return D3DERR_INVALIDCALL;
    size_t offset = 0;
    if (box) {
        if (box->Right > data.LevelWidth(level) || box->Bottom > data.LevelHeight(level) ||
            box->Back > data.LevelDepth(level) || box->Left >= box->Right || box->Top >= box->Bottom ||
            box->Front >= box->Back)
            return D3DERR_INVALIDCALL;
        offset = static_cast<size_t>(box->Front) * data.SlicePitch(level) +
                 static_cast<size_t>(box->Top) * data.RowPitch(level) +
                 static_cast<size_t>(box->Left) * static_cast<size_t>(D3DFormatInfo(data.format).bytes);
    }
    (void)flags;
    ++data.locks[level];
    locked->RowPitch = static_cast<INT>(data.RowPitch(level));
    locked->SlicePitch = static_cast<INT>(data.SlicePitch(level));
    locked->pBits = data.Level(0, level).data() + offset;
    return D3D_OK;
}

HRESULT UnlockTextureBox(TextureData& data, UINT level) {
    return UnlockTextureRect(data, 0, level);
}

// Surfaces --------------------------------------------------------------------------------------------

HRESULT Surface9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}

HRESULT Surface9::GetDesc(D3DSURFACE_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = data_->SurfaceDesc(level_);
    desc->Type = D3DRTYPE_SURFACE;
    return D3D_OK;
}

HRESULT Surface9::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    return LockTextureRect(*data_, face_, level_, locked, rect, flags);
}

HRESULT Surface9::UnlockRect() {
    return UnlockTextureRect(*data_, face_, level_);
}

HRESULT Volume9::GetDesc(D3DVOLUME_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = data_->format;
    desc->Usage = data_->usage;
    desc->Pool = data_->pool;
    desc->Width = data_->LevelWidth(level_);
    desc->Height = data_->LevelHeight(level_);
    desc->Depth = data_->LevelDepth(level_);
    return D3D_OK;
}

HRESULT Volume9::LockBox(D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    return LockTextureBox(*data_, level_, locked, box, flags);
}

HRESULT Volume9::UnlockBox() {
    return UnlockTextureBox(*data_, level_);
}

// Textures --------------------------------------------------------------------------------------------

HRESULT Texture9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}

HRESULT Texture9::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= data_->levels)
        return D3DERR_INVALIDCALL;
    *desc = data_->SurfaceDesc(level);
    desc->Type = D3DRTYPE_SURFACE;
    return D3D_OK;
}

HRESULT Texture9::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) {
    if (!surface || level >= data_->levels)
        return D3DERR_INVALIDCALL;
    *surface = new Surface9(data_, 0, level);
    return D3D_OK;
}

HRESULT Texture9::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) {
    return LockTextureRect(*data_, 0, level, locked, rect, flags);
}

HRESULT Texture9::UnlockRect(UINT level) {
    return UnlockTextureRect(*data_, 0, level);
}

HRESULT CubeTexture9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}

HRESULT CubeTexture9::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) {
    if (!desc || level >= data_->levels)
        return D3DERR_INVALIDCALL;
    *desc = data_->SurfaceDesc(level);
    desc->Type = D3DRTYPE_SURFACE;
    return D3D_OK;
}

HRESULT CubeTexture9::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) {
    if (!surface || level >= data_->levels || face > D3DCUBEMAP_FACE_NEGATIVE_Z)
        return D3DERR_INVALIDCALL;
    *surface = new Surface9(data_, face, level);
    return D3D_OK;
}

HRESULT CubeTexture9::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                               DWORD flags) {
    return LockTextureRect(*data_, face, level, locked, rect, flags);
}

HRESULT CubeTexture9::UnlockRect(D3DCUBEMAP_FACES face, UINT level) {
    return UnlockTextureRect(*data_, face, level);
}

HRESULT VolumeTexture9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}

HRESULT VolumeTexture9::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) {
    if (level >= data_->levels)
        return D3DERR_INVALIDCALL;
    Volume9 v(data_, level);
    return v.GetDesc(desc);
}

HRESULT VolumeTexture9::GetVolumeLevel(UINT level, IDirect3DVolume9** volume) {
    if (!volume || level >= data_->levels)
        return D3DERR_INVALIDCALL;
    *volume = new Volume9(data_, level);
    return D3D_OK;
}

HRESULT VolumeTexture9::LockBox(UINT level, D3DLOCKED_BOX* locked, const D3DBOX* box, DWORD flags) {
    return LockTextureBox(*data_, level, locked, box, flags);
}

HRESULT VolumeTexture9::UnlockBox(UINT level) {
    return UnlockTextureBox(*data_, level);
}

TextureData* TextureDataOf(IDirect3DBaseTexture9* texture) {
    if (!texture)
        return nullptr;
    if (auto* t = dynamic_cast<Texture9*>(texture))
        return t->Data().get();
    if (auto* c = dynamic_cast<CubeTexture9*>(texture))
        return c->Data().get();
    if (auto* v = dynamic_cast<VolumeTexture9*>(texture))
        return v->Data().get();
    return nullptr;
}

// Buffers ---------------------------------------------------------------------------------------------

namespace {

HRESULT LockBuffer(BufferData& b, UINT offset, UINT size, void** data) {
    if (!data || offset > b.mem.size())
        return D3DERR_INVALIDCALL;
    if (size == 0)
        size = static_cast<UINT>(b.mem.size()) - offset;
    if (size > b.mem.size() - offset)
        return D3DERR_INVALIDCALL;
    if (b.locks == 0) {
        b.lockOffset = offset;
        b.lockSize = size;
    } else {
        // Nested locks widen the range that is uploaded at the last unlock.
        const UINT end = std::max(b.lockOffset + b.lockSize, offset + size);
        b.lockOffset = std::min(b.lockOffset, offset);
        b.lockSize = end - b.lockOffset;
    }
    ++b.locks;
    *data = b.mem.data() + offset;
    return D3D_OK;
}

HRESULT UnlockBuffer(BufferData& b) {
    if (b.locks == 0)
        return D3DERR_INVALIDCALL;
    if (--b.locks == 0 && b.backend)
        b.backend->BufferUpload(b, b.lockOffset, b.lockSize);
    return D3D_OK;
}

} // namespace

HRESULT VertexBuffer9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}
HRESULT VertexBuffer9::Lock(UINT offset, UINT size, void** data, DWORD) {
    return LockBuffer(*data_, offset, size, data);
}
HRESULT VertexBuffer9::Unlock() {
    return UnlockBuffer(*data_);
}
HRESULT VertexBuffer9::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Usage = data_->usage;
    desc->Pool = data_->pool;
    desc->Size = static_cast<UINT>(data_->mem.size());
    desc->FVF = data_->fvf;
    return D3D_OK;
}

HRESULT IndexBuffer9::GetDevice(IDirect3DDevice9** device) {
    return ReturnDevice(data_->device, device);
}
HRESULT IndexBuffer9::Lock(UINT offset, UINT size, void** data, DWORD) {
    return LockBuffer(*data_, offset, size, data);
}
HRESULT IndexBuffer9::Unlock() {
    return UnlockBuffer(*data_);
}
HRESULT IndexBuffer9::GetDesc(D3DINDEXBUFFER_DESC* desc) {
    if (!desc)
        return D3DERR_INVALIDCALL;
    desc->Format = data_->format;
    desc->Usage = data_->usage;
    desc->Pool = data_->pool;
    desc->Size = static_cast<UINT>(data_->mem.size());
    return D3D_OK;
}

HRESULT VertexDeclaration9::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) {
    if (!count)
        return D3DERR_INVALIDCALL;
    const UINT n = static_cast<UINT>(elements_.size()) + 1;
    if (elements) {
        std::copy(elements_.begin(), elements_.end(), elements);
        elements[n - 1] = D3DDECL_END();
    }
    *count = n;
    return D3D_OK;
}

// Vertex formats --------------------------------------------------------------------------------------

UINT DeclTypeSize(BYTE type) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
        return 4;
    case D3DDECLTYPE_FLOAT2:
        return 8;
    case D3DDECLTYPE_FLOAT3:
        return 12;
    case D3DDECLTYPE_FLOAT4:
        return 16;
    case D3DDECLTYPE_D3DCOLOR:
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
    case D3DDECLTYPE_SHORT2:
        return 4;
    case D3DDECLTYPE_SHORT4:
        return 8;
    default:
        return 0;
    }
}

const std::vector<D3DVERTEXELEMENT9>& CachedDeclarationFromFvf(DWORD fvf) {
    thread_local std::unordered_map<DWORD, std::vector<D3DVERTEXELEMENT9>> cache;
    // Draws ask for the same format over and over; map nodes never move, so the last answer stays valid.
    thread_local DWORD lastFvf = 0;
    thread_local const std::vector<D3DVERTEXELEMENT9>* last = nullptr;
    if (last && lastFvf == fvf)
        return *last;
    auto it = cache.find(fvf);
    if (it == cache.end())
        it = cache.emplace(fvf, DeclarationFromFvf(fvf)).first;
    lastFvf = fvf;
    last = &it->second;
    return it->second;
}

VertexDeclaration9::VertexDeclaration9(std::vector<D3DVERTEXELEMENT9> elements)
    : elements_(std::move(elements)) {
    static std::atomic<std::uint64_t> next{1};
    id_ = next.fetch_add(1, std::memory_order_relaxed);
}

std::vector<D3DVERTEXELEMENT9> DeclarationFromFvf(DWORD fvf) {
    std::vector<D3DVERTEXELEMENT9> out;
    WORD offset = 0;
    auto add = [&](BYTE type, BYTE usage, BYTE index) {
        out.push_back({0, offset, type, D3DDECLMETHOD_DEFAULT, usage, index});
        offset = static_cast<WORD>(offset + DeclTypeSize(type));
    };
    const DWORD pos = fvf & D3DFVF_POSITION_MASK;
    if (pos == D3DFVF_XYZ) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
    } else if (pos == D3DFVF_XYZRHW) {
        add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
    } else if (pos >= D3DFVF_XYZB1 && pos <= D3DFVF_XYZB4) {
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        const DWORD weights = (pos - D3DFVF_XYZRHW) / 2; // XYZB1..XYZB4 store 1..4 weights
        static const BYTE kWeightTypes[] = {D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3,
                                            D3DDECLTYPE_FLOAT4};
        add(kWeightTypes[weights - 1], D3DDECLUSAGE_BLENDWEIGHT, 0);
    } else {
        return {};
    }
    if (fvf & D3DFVF_NORMAL)
        add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    if (fvf & D3DFVF_PSIZE)
        add(D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    if (fvf & D3DFVF_DIFFUSE)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    if (fvf & D3DFVF_SPECULAR)
        add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    const DWORD tex = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (DWORD i = 0; i < tex && i < 8; ++i) {
        // Texture coordinate sizes: two bits per set from bit 16; 0 = two floats.
        const DWORD code = (fvf >> (16 + i * 2)) & 3u;
        static const BYTE kTypes[] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                      D3DDECLTYPE_FLOAT1};
        add(kTypes[code], D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(i));
    }
    return out;
}

UINT FvfVertexSize(DWORD fvf) {
    UINT size = 0;
    for (const auto& e : DeclarationFromFvf(fvf))
        size += DeclTypeSize(e.Type);
    return size;
}

UINT VertexCountOf(D3DPRIMITIVETYPE type, UINT n) {
    switch (type) {
    case D3DPT_POINTLIST:
        return n;
    case D3DPT_LINELIST:
        return n * 2;
    case D3DPT_LINESTRIP:
        return n ? n + 1 : 0;
    case D3DPT_TRIANGLELIST:
        return n * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return n ? n + 2 : 0;
    }
    return 0;
}

} // namespace orv
