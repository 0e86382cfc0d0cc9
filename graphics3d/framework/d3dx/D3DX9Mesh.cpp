#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numeric>

namespace orv {

namespace {

class Buffer final : public ID3DXBuffer {
public:
    explicit Buffer(DWORD size) : data_(size) {}
    void* GetBufferPointer() override { return data_.empty() ? nullptr : data_.data(); }
    DWORD GetBufferSize() override { return static_cast<DWORD>(data_.size()); }

private:
    std::vector<BYTE> data_;
};

D3DPOOL PoolOf(DWORD options, bool index) {
    const DWORD sys = index ? D3DXMESH_IB_SYSTEMMEM : D3DXMESH_VB_SYSTEMMEM;
    const DWORD managed = index ? D3DXMESH_IB_MANAGED : D3DXMESH_VB_MANAGED;
    if (options & sys)
        return D3DPOOL_SYSTEMMEM;
    if (options & managed)
        return D3DPOOL_MANAGED;
    return D3DPOOL_DEFAULT;
}

DWORD UsageOf(DWORD options, bool index) {
    DWORD usage = 0;
    if (options & (index ? D3DXMESH_IB_WRITEONLY : D3DXMESH_VB_WRITEONLY))
        usage |= D3DUSAGE_WRITEONLY;
    if (options & (index ? D3DXMESH_IB_DYNAMIC : D3DXMESH_VB_DYNAMIC))
        usage |= D3DUSAGE_DYNAMIC;
    if (options & (index ? D3DXMESH_IB_SOFTWAREPROCESSING : D3DXMESH_VB_SOFTWAREPROCESSING))
        usage |= D3DUSAGE_SOFTWAREPROCESSING;
    return usage;
}

class Mesh final : public ID3DXMesh {
public:
    Mesh(IDirect3DDevice9* device, DWORD options, std::vector<D3DVERTEXELEMENT9> elements)
        : device_(device), options_(options), elements_(std::move(elements)) {
        device_->AddRef();
        stride_ = D3DXGetDeclVertexSize(Declaration().data(), 0);
        D3DXFVFFromDeclarator(Declaration().data(), &fvf_);
    }
    ~Mesh() override {
        SafeRelease(vb_);
        SafeRelease(ib_);
        SafeRelease(decl_);
        device_->Release();
    }

    HRESULT Create(DWORD numFaces, DWORD numVertices) {
        if (numFaces == 0 || numVertices == 0 || stride_ == 0)
            return D3DERR_INVALIDCALL;
        if (!(options_ & D3DXMESH_32BIT) && numVertices > 65535)
            return D3DERR_INVALIDCALL;
        numFaces_ = numFaces;
        numVertices_ = numVertices;
        const std::uint64_t vbBytes = static_cast<std::uint64_t>(numVertices) * stride_;
        const std::uint64_t ibBytes = static_cast<std::uint64_t>(numFaces) * 3 * IndexSize();
        if (vbBytes > 0x7FFFFFFF || ibBytes > 0x7FFFFFFF)
            return E_OUTOFMEMORY;
        HRESULT hr = device_->CreateVertexBuffer(static_cast<UINT>(vbBytes), UsageOf(options_, false), fvf_,
                                                 PoolOf(options_, false), &vb_, nullptr);
        if (FAILED(hr))
            return hr;
        hr = device_->CreateIndexBuffer(static_cast<UINT>(ibBytes), UsageOf(options_, true),
                                        (options_ & D3DXMESH_32BIT) ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                        PoolOf(options_, true), &ib_, nullptr);
        if (FAILED(hr))
            return hr;
        attributes_.assign(numFaces, 0);
        return D3D_OK;
    }

    std::vector<D3DVERTEXELEMENT9> Declaration() const {
        auto d = elements_;
        d.push_back(D3DDECL_END());
        return d;
    }
    UINT IndexSize() const { return (options_ & D3DXMESH_32BIT) ? 4u : 2u; }

    HRESULT DrawSubset(DWORD attribId) override {
        HRESULT hr;
        if (fvf_) {
            hr = device_->SetFVF(fvf_);
        } else {
            if (!decl_) {
                hr = device_->CreateVertexDeclaration(Declaration().data(), &decl_);
                if (FAILED(hr))
                    return hr;
            }
            hr = device_->SetVertexDeclaration(decl_);
        }
        if (FAILED(hr))
            return hr;
        device_->SetStreamSource(0, vb_, 0, stride_);
        device_->SetIndices(ib_);
        if (!table_.empty()) {
            for (const auto& r : table_)
                if (r.AttribId == attribId && r.FaceCount > 0) {
                    hr = d3dx::DrawIndexed(device_, D3DPT_TRIANGLELIST, 0, r.VertexStart, r.VertexCount,
                                           r.FaceStart * 3, r.FaceCount);
                    if (FAILED(hr))
                        return hr;
                }
            return D3D_OK;
        }
        // Without a table: every run of faces with this id.
        DWORD f = 0;
        while (f < numFaces_) {
            if (attributes_[f] != attribId) {
                ++f;
                continue;
            }
            DWORD end = f;
            while (end < numFaces_ && attributes_[end] == attribId)
                ++end;
            hr = d3dx::DrawIndexed(device_, D3DPT_TRIANGLELIST, 0, 0, numVertices_, f * 3, end - f);
            if (FAILED(hr))
                return hr;
            f = end;
        }
        return D3D_OK;
    }

    DWORD GetNumFaces() override { return numFaces_; }
    DWORD GetNumVertices() override { return numVertices_; }
    DWORD GetFVF() override { return fvf_; }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) override {
        if (!declaration)
            return D3DERR_INVALIDCALL;
        const auto d = Declaration();
        std::copy(d.begin(), d.end(), declaration);
        return D3D_OK;
    }
    DWORD GetNumBytesPerVertex() override { return stride_; }
    DWORD GetOptions() override { return options_; }
    HRESULT GetDevice(IDirect3DDevice9** device) override { return d3dx::HandOutDevice(device_, device); }

    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device, ID3DXMesh** cloneMesh) override {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        const HRESULT hr = D3DXDeclaratorFromFVF(fvf, decl);
        if (FAILED(hr))
            return hr;
        return CloneMesh(options, decl, device, cloneMesh);
    }

    HRESULT CloneMesh(DWORD options, const D3DVERTEXELEMENT9* declaration, IDirect3DDevice9* device,
                      ID3DXMesh** cloneMesh) override {
        if (!declaration || !device || !cloneMesh)
            return D3DERR_INVALIDCALL;
        *cloneMesh = nullptr;
        auto elements = d3dx::Elements(declaration);
        if (elements.empty() || !d3dx::FindElement(elements, D3DDECLUSAGE_POSITION, 0))
            return D3DERR_INVALIDCALL;
        auto* out = new Mesh(device, options & ~0xFF000000u, elements);
        HRESULT hr = out->Create(numFaces_, numVertices_);
        if (FAILED(hr)) {
            out->Release();
            return hr;
        }
        // Vertices: each element of the new layout from the same usage of ours (zero when absent).
        std::vector<BYTE>& src = static_cast<VertexBuffer9*>(vb_)->Data()->mem;
        std::vector<BYTE>& dst = static_cast<VertexBuffer9*>(out->vb_)->Data()->mem;
        for (DWORD v = 0; v < numVertices_; ++v) {
            const BYTE* s = src.data() + static_cast<size_t>(v) * stride_;
            BYTE* d = dst.data() + static_cast<size_t>(v) * out->stride_;
            for (const auto& e : out->elements_) {
                float value[4] = {0, 0, 0, 0};
                if (const auto* se = d3dx::FindElement(elements_, e.Usage, e.UsageIndex))
                    d3dx::ReadElement(s, *se, value);
                d3dx::WriteElement(d, e, value);
            }
        }
        out->UploadVertices();
        // Indices, widened or narrowed.
        std::vector<DWORD> indices = Indices();
        out->SetIndicesFrom(indices);
        out->attributes_ = attributes_;
        out->table_ = table_;
        *cloneMesh = out;
        return D3D_OK;
    }

    HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** vb) override {
        if (!vb)
            return D3DERR_INVALIDCALL;
        vb_->AddRef();
        *vb = vb_;
        return D3D_OK;
    }
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** ib) override {
        if (!ib)
            return D3DERR_INVALIDCALL;
        ib_->AddRef();
        *ib = ib_;
        return D3D_OK;
    }
    HRESULT LockVertexBuffer(DWORD flags, void** data) override { return vb_->Lock(0, 0, data, flags); }
    HRESULT UnlockVertexBuffer() override { return vb_->Unlock(); }
    HRESULT LockIndexBuffer(DWORD flags, void** data) override { return ib_->Lock(0, 0, data, flags); }
    HRESULT UnlockIndexBuffer() override { return ib_->Unlock(); }

    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* table, DWORD* tableSize) override {
        if (!tableSize)
            return D3DERR_INVALIDCALL;
        if (table)
            std::copy(table_.begin(), table_.begin() + std::min<size_t>(*tableSize, table_.size()), table);
        *tableSize = static_cast<DWORD>(table_.size());
        return D3D_OK;
    }

    HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* table, DWORD tableSize) override {
        if (tableSize && !table)
            return D3DERR_INVALIDCALL;
        table_.assign(table, table + tableSize);
        return D3D_OK;
    }

    HRESULT GenerateAdjacency(float epsilon, DWORD* adjacency) override {
        if (!adjacency || epsilon < 0)
            return D3DERR_INVALIDCALL;
        d3dx::MeshArrays m;
        HRESULT hr = d3dx::ReadMesh(this, &m);
        if (FAILED(hr))
            return hr;
        const std::vector<DWORD> reps = d3dx::PointRepsByPosition(m, epsilon);
        std::map<std::pair<DWORD, DWORD>, std::vector<DWORD>> edges; // (rep a, rep b) -> face * 3 + edge
        for (DWORD f = 0; f < numFaces_; ++f)
            for (DWORD e = 0; e < 3; ++e)
                edges[{reps[m.faces[f][e]], reps[m.faces[f][(e + 1) % 3]]}].push_back(f * 3 + e);
        std::fill(adjacency, adjacency + numFaces_ * 3, UNUSED32);
        for (DWORD f = 0; f < numFaces_; ++f)
            for (DWORD e = 0; e < 3; ++e) {
                const DWORD a = reps[m.faces[f][e]], b = reps[m.faces[f][(e + 1) % 3]];
                if (a == b)
                    continue;
                auto pick = [&](const std::vector<DWORD>* list) {
                    if (!list)
                        return false;
                    for (DWORD fe : *list)
                        if (fe / 3 != f) {
                            adjacency[f * 3 + e] = fe / 3;
                            return true;
                        }
                    return false;
                };
                auto opposite = edges.find({b, a});
                if (pick(opposite == edges.end() ? nullptr : &opposite->second))
                    continue;
                auto same = edges.find({a, b});
                pick(same == edges.end() ? nullptr : &same->second);
            }
        return D3D_OK;
    }

    HRESULT ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* pointReps) override {
        if (!pointReps)
            return D3DERR_INVALIDCALL;
        std::vector<DWORD> parent(numVertices_);
        std::iota(parent.begin(), parent.end(), 0u);
        if (!adjacency) {
            std::copy(parent.begin(), parent.end(), pointReps);
            return D3D_OK;
        }
        auto find = [&](DWORD x) {
            while (parent[x] != x) {
                parent[x] = parent[parent[x]];
                x = parent[x];
            }
            return x;
        };
        auto unite = [&](DWORD a, DWORD b) {
            a = find(a);
            b = find(b);
            if (a != b)
                parent[std::max(a, b)] = std::min(a, b);
        };
        d3dx::MeshArrays m;
        if (FAILED(d3dx::ReadMesh(this, &m)))
            return D3DERR_INVALIDCALL;
        // Ends of a shared edge are joined only where they lie at the same place: a neighbour whose edge
        // runs the same way pairs start with start, and ends that do not meet are not joined at all.
        constexpr float kSamePlace = 0.0001f;
        const auto samePlace = [&](DWORD a, DWORD b) {
            const D3DXVECTOR3 pa = m.Position(a), pb = m.Position(b);
            return std::fabs(pa.x - pb.x) <= kSamePlace && std::fabs(pa.y - pb.y) <= kSamePlace &&
                   std::fabs(pa.z - pb.z) <= kSamePlace;
        };
        const std::vector<DWORD> idx = Indices();
        for (DWORD f = 0; f < numFaces_; ++f)
            for (DWORD e = 0; e < 3; ++e) {
                const DWORD g = adjacency[f * 3 + e];
                if (g == UNUSED32 || g >= numFaces_)
                    continue;
                for (DWORD k = 0; k < 3; ++k) {
                    if (adjacency[g * 3 + k] != f)
                        continue;
                    const DWORD fa = idx[f * 3 + e], fb = idx[f * 3 + (e + 1) % 3];
                    const DWORD ga = idx[g * 3 + k], gb = idx[g * 3 + (k + 1) % 3];
                    if (samePlace(fa, gb) && samePlace(fb, ga)) {
                        unite(fa, gb);
                        unite(fb, ga);
                    } else if (samePlace(fa, ga) && samePlace(fb, gb)) {
                        unite(fa, ga);
                        unite(fb, gb);
                    }
                    break;
                }
            }
        for (DWORD v = 0; v < numVertices_; ++v)
            pointReps[v] = find(v);
        return D3D_OK;
    }

    HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) override {
        if (!adjacency)
            return D3DERR_INVALIDCALL;
        const std::vector<DWORD> idx = Indices();
        auto rep = [&](DWORD v) { return pointReps ? pointReps[v] : v; };
        std::map<std::pair<DWORD, DWORD>, DWORD> edges;
        for (DWORD f = 0; f < numFaces_; ++f)
            for (DWORD e = 0; e < 3; ++e)
                edges.emplace(std::make_pair(rep(idx[f * 3 + e]), rep(idx[f * 3 + (e + 1) % 3])), f);
        for (DWORD f = 0; f < numFaces_; ++f)
            for (DWORD e = 0; e < 3; ++e) {
                auto it = edges.find({rep(idx[f * 3 + (e + 1) % 3]), rep(idx[f * 3 + e])});
                adjacency[f * 3 + e] = (it != edges.end() && it->second != f) ? it->second : UNUSED32;
            }
        return D3D_OK;
    }

    HRESULT UpdateSemantics(const D3DVERTEXELEMENT9* declaration) override {
        auto elements = d3dx::Elements(declaration);
        if (D3DXGetDeclVertexSize(declaration, 0) != stride_)
            return D3DERR_INVALIDCALL;
        elements_ = elements;
        SafeRelease(decl_);
        D3DXFVFFromDeclarator(Declaration().data(), &fvf_);
        return D3D_OK;
    }

    HRESULT LockAttributeBuffer(DWORD, DWORD** data) override {
        if (!data)
            return D3DERR_INVALIDCALL;
        *data = attributes_.data();
        return D3D_OK;
    }
    HRESULT UnlockAttributeBuffer() override { return D3D_OK; }

    HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                            ID3DXBuffer** vertexRemap) override {
        std::vector<DWORD> idx = Indices();
        // Faces: drop those that repeat a vertex (compaction), then sort by attribute (stable).
        std::vector<DWORD> order;
        for (DWORD f = 0; f < numFaces_; ++f) {
            const DWORD a = idx[f * 3], b = idx[f * 3 + 1], c = idx[f * 3 + 2];
            if ((flags & D3DXMESHOPT_COMPACT) && (a == b || b == c || a == c))
                continue;
            order.push_back(f);
        }
        if (order.empty())
            return D3DERR_INVALIDCALL;
        if (flags & (D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER))
            std::stable_sort(order.begin(), order.end(),
                             [&](DWORD x, DWORD y) { return attributes_[x] < attributes_[y]; });
        // Vertices: in the order the faces first use them; unused ones go (compaction) or trail.
        std::vector<DWORD> newOfOld(numVertices_, UNUSED32), oldOfNew;
        const bool reorderVertices =
            !(flags & D3DXMESHOPT_IGNOREVERTS) &&
            (flags & (D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE));
        if (reorderVertices) {
            for (DWORD f : order)
                for (int k = 0; k < 3; ++k) {
                    const DWORD v = idx[f * 3 + k];
                    if (newOfOld[v] == UNUSED32) {
                        newOfOld[v] = static_cast<DWORD>(oldOfNew.size());
                        oldOfNew.push_back(v);
                    }
                }
            if (!(flags & D3DXMESHOPT_COMPACT))
                for (DWORD v = 0; v < numVertices_; ++v)
                    if (newOfOld[v] == UNUSED32) {
                        newOfOld[v] = static_cast<DWORD>(oldOfNew.size());
                        oldOfNew.push_back(v);
                    }
        } else {
            for (DWORD v = 0; v < numVertices_; ++v) {
                newOfOld[v] = v;
                oldOfNew.push_back(v);
            }
        }
        // Rebuild the buffers.
        std::vector<BYTE>& vmem = static_cast<VertexBuffer9*>(vb_)->Data()->mem;
        std::vector<BYTE> newVertices(oldOfNew.size() * stride_);
        for (size_t n = 0; n < oldOfNew.size(); ++n)
            std::memcpy(newVertices.data() + n * stride_,
                        vmem.data() + static_cast<size_t>(oldOfNew[n]) * stride_, stride_);
        std::vector<DWORD> newIdx;
        std::vector<DWORD> newAttr;
        std::vector<DWORD> newFaceOfOld(numFaces_, UNUSED32);
        for (size_t n = 0; n < order.size(); ++n) {
            const DWORD f = order[n];
            newFaceOfOld[f] = static_cast<DWORD>(n);
            for (int k = 0; k < 3; ++k)
                newIdx.push_back(newOfOld[idx[f * 3 + k]]);
            newAttr.push_back(attributes_[f]);
        }
        if (adjacencyOut) {
            for (size_t n = 0; n < order.size(); ++n)
                for (int k = 0; k < 3; ++k) {
                    const DWORD old = adjacencyIn ? adjacencyIn[order[n] * 3 + k] : UNUSED32;
                    adjacencyOut[n * 3 + k] =
                        old == UNUSED32 || old >= numFaces_ ? UNUSED32 : newFaceOfOld[old];
                }
        }
        if (faceRemap)
            std::copy(order.begin(), order.end(), faceRemap);
        if (vertexRemap) {
            *vertexRemap = nullptr;
            D3DXCreateBuffer(static_cast<DWORD>(oldOfNew.size() * sizeof(DWORD)), vertexRemap);
            std::memcpy((*vertexRemap)->GetBufferPointer(), oldOfNew.data(), oldOfNew.size() * sizeof(DWORD));
        }
        // Replace the buffers when the sizes changed.
        if (oldOfNew.size() != numVertices_ || order.size() != numFaces_) {
            SafeRelease(vb_);
            SafeRelease(ib_);
            const HRESULT hr = Create(static_cast<DWORD>(order.size()), static_cast<DWORD>(oldOfNew.size()));
            if (FAILED(hr))
                return hr;
        }
        static_cast<VertexBuffer9*>(vb_)->Data()->mem = newVertices;
        UploadVertices();
        SetIndicesFrom(newIdx);
        attributes_ = newAttr;
        if (flags & D3DXMESHOPT_ATTRSORT)
            RebuildAttributeTable();
        return D3D_OK;
    }

    // Helpers shared with the algorithms.
    std::vector<DWORD> Indices() const {
        std::vector<DWORD> out(static_cast<size_t>(numFaces_) * 3);
        const std::vector<BYTE>& mem = static_cast<IndexBuffer9*>(ib_)->Data()->mem;
        for (size_t i = 0; i < out.size(); ++i) {
            if (IndexSize() == 4) {
                std::uint32_t v;
                std::memcpy(&v, mem.data() + i * 4, 4);
                out[i] = v;
            } else {
                std::uint16_t v;
                std::memcpy(&v, mem.data() + i * 2, 2);
                out[i] = v;
            }
        }
        return out;
    }
    void SetIndicesFrom(const std::vector<DWORD>& idx) {
        void* p = nullptr;
        if (FAILED(ib_->Lock(0, 0, &p, 0)))
            return;
        for (size_t i = 0; i < idx.size(); ++i) {
            if (IndexSize() == 4) {
                const std::uint32_t v = idx[i];
                std::memcpy(static_cast<BYTE*>(p) + i * 4, &v, 4);
            } else {
                const auto v = static_cast<std::uint16_t>(idx[i]);
                std::memcpy(static_cast<BYTE*>(p) + i * 2, &v, 2);
            }
        }
        ib_->Unlock();
    }
    void UploadVertices() {
        // A lock and unlock pushes the memory copy to the card.
        void* p = nullptr;
        if (SUCCEEDED(vb_->Lock(0, 0, &p, 0)))
            vb_->Unlock();
    }
    void RebuildAttributeTable() {
        table_.clear();
        const std::vector<DWORD> idx = Indices();
        for (DWORD f = 0; f < numFaces_; ++f) {
            if (table_.empty() || table_.back().AttribId != attributes_[f]) {
                D3DXATTRIBUTERANGE r;
                r.AttribId = attributes_[f];
                r.FaceStart = f;
                r.VertexStart = UNUSED32;
                table_.push_back(r);
            }
            auto& r = table_.back();
            r.FaceCount++;
            for (int k = 0; k < 3; ++k) {
                const DWORD v = idx[f * 3 + k];
                const DWORD end = r.VertexStart == UNUSED32 ? v + 1 : r.VertexStart + r.VertexCount;
                r.VertexStart = r.VertexStart == UNUSED32 ? v : std::min(r.VertexStart, v);
                r.VertexCount = std::max(end, v + 1) - r.VertexStart;
            }
        }
    }

    const std::vector<D3DVERTEXELEMENT9>& ElementList() const { return elements_; }
    std::vector<DWORD>& Attributes() { return attributes_; }
    std::vector<BYTE>& VertexMemory() { return static_cast<VertexBuffer9*>(vb_)->Data()->mem; }

private:
    IDirect3DDevice9* device_;
    DWORD options_;
    std::vector<D3DVERTEXELEMENT9> elements_;
    UINT stride_ = 0;
    DWORD fvf_ = 0;
    DWORD numFaces_ = 0, numVertices_ = 0;
    IDirect3DVertexBuffer9* vb_ = nullptr;
    IDirect3DIndexBuffer9* ib_ = nullptr;
    IDirect3DVertexDeclaration9* decl_ = nullptr;
    std::vector<DWORD> attributes_;
    std::vector<D3DXATTRIBUTERANGE> table_;
};

float Half(std::uint16_t) {
    return 0.0f;
}

} // namespace

HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) {
    if (!buffer)
        return D3DERR_INVALIDCALL;
    *buffer = new Buffer(numBytes);
    return D3D_OK;
}

HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options, const D3DVERTEXELEMENT9* declaration,
                       IDirect3DDevice9* device, ID3DXMesh** mesh) {
    if (!declaration || !device || !mesh)
        return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    auto elements = d3dx::Elements(declaration);
    if (elements.empty() || !d3dx::FindElement(elements, D3DDECLUSAGE_POSITION, 0))
        return D3DERR_INVALIDCALL;
    auto* m = new Mesh(device, options, elements);
    const HRESULT hr = m->Create(numFaces, numVertices);
    if (FAILED(hr)) {
        m->Release();
        return hr;
    }
    *mesh = m;
    return D3D_OK;
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice9* device, ID3DXMesh** mesh) {
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    const HRESULT hr = D3DXDeclaratorFromFVF(fvf, decl);
    if (FAILED(hr))
        return hr;
    return D3DXCreateMesh(numFaces, numVertices, options, decl, device, mesh);
}

HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) {
    if (!declaration)
        return D3DERR_INVALIDCALL;
    const auto elements = DeclarationFromFvf(fvf);
    if (elements.empty())
        return D3DERR_INVALIDCALL;
    std::copy(elements.begin(), elements.end(), declaration);
    declaration[elements.size()] = D3DDECL_END();
    return D3D_OK;
}

HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declaration, DWORD* fvf) {
    if (!declaration || !fvf)
        return D3DERR_INVALIDCALL;
    *fvf = 0;
    const auto elements = d3dx::Elements(declaration);
    // Try the formats our meshes use and keep the one whose declaration is identical.
    const auto pos = d3dx::FindElement(elements, D3DDECLUSAGE_POSITION, 0);
    if (!pos || pos->Type != D3DDECLTYPE_FLOAT3 || pos->Offset != 0)
        return D3DERR_INVALIDCALL;
    DWORD candidate = D3DFVF_XYZ;
    if (const auto* w = d3dx::FindElement(elements, D3DDECLUSAGE_BLENDWEIGHT, 0))
        candidate = D3DFVF_XYZB1 + 2u * static_cast<DWORD>(w->Type - D3DDECLTYPE_FLOAT1);
    if (d3dx::FindElement(elements, D3DDECLUSAGE_NORMAL, 0))
        candidate |= D3DFVF_NORMAL;
    if (d3dx::FindElement(elements, D3DDECLUSAGE_COLOR, 0))
        candidate |= D3DFVF_DIFFUSE;
    if (d3dx::FindElement(elements, D3DDECLUSAGE_COLOR, 1))
        candidate |= D3DFVF_SPECULAR;
    DWORD tex = 0;
    while (tex < 8 && d3dx::FindElement(elements, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(tex)))
        ++tex;
    candidate |= tex << D3DFVF_TEXCOUNT_SHIFT;
    const auto fromFvf = DeclarationFromFvf(candidate);
    if (fromFvf.size() != elements.size())
        return D3D_OK;
    for (size_t i = 0; i < elements.size(); ++i)
        if (std::memcmp(&fromFvf[i], &elements[i], sizeof(D3DVERTEXELEMENT9)) != 0)
            return D3D_OK;
    *fvf = candidate;
    return D3D_OK;
}

UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream) {
    UINT size = 0;
    for (const auto& e : d3dx::Elements(declaration))
        if (e.Stream == stream)
            size = std::max<UINT>(size, e.Offset + DeclTypeSize(e.Type));
    return size;
}

UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration) {
    return static_cast<UINT>(d3dx::Elements(declaration).size());
}

namespace d3dx {

std::vector<D3DVERTEXELEMENT9> Elements(const D3DVERTEXELEMENT9* declaration) {
    std::vector<D3DVERTEXELEMENT9> out;
    if (!declaration)
        return out;
    for (UINT i = 0; i < MAXD3DDECLLENGTH && declaration[i].Stream != 0xFF; ++i)
        out.push_back(declaration[i]);
    return out;
}

const D3DVERTEXELEMENT9* FindElement(const std::vector<D3DVERTEXELEMENT9>& elements, BYTE usage, BYTE index) {
    for (const auto& e : elements)
        if (e.Usage == usage && e.UsageIndex == index && e.Stream == 0)
            return &e;
    return nullptr;
}

void ReadElement(const BYTE* vertex, const D3DVERTEXELEMENT9& e, float out[4]) {
    const BYTE* p = vertex + e.Offset;
    out[0] = out[1] = out[2] = 0;
    out[3] = e.Usage == D3DDECLUSAGE_POSITION ? 1.0f : 0.0f;
    switch (e.Type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(out, p, (e.Type + 1u) * sizeof(float));
        break;
    case D3DDECLTYPE_D3DCOLOR: {
        DWORD c;
        std::memcpy(&c, p, 4);
        out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
        out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
        out[2] = static_cast<float>(c & 0xFF) / 255.0f;
        out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
        break;
    }
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            out[i] = p[i];
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            out[i] = p[i] / 255.0f;
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < (e.Type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++i) {
            std::int16_t s;
            std::memcpy(&s, p + i * 2, 2);
            out[i] = s;
        }
        break;
    default:
        break;
    }
}

void WriteElement(BYTE* vertex, const D3DVERTEXELEMENT9& e, const float in[4]) {
    BYTE* p = vertex + e.Offset;
    auto byte = [](float v) { return static_cast<BYTE>(std::lround(std::clamp(v, 0.0f, 255.0f))); };
    switch (e.Type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        std::memcpy(p, in, (e.Type + 1u) * sizeof(float));
        break;
    case D3DDECLTYPE_D3DCOLOR: {
        const DWORD c = (static_cast<DWORD>(byte(in[3] * 255)) << 24) |
                        (static_cast<DWORD>(byte(in[0] * 255)) << 16) |
                        (static_cast<DWORD>(byte(in[1] * 255)) << 8) | byte(in[2] * 255);
        std::memcpy(p, &c, 4);
        break;
    }
    case D3DDECLTYPE_UBYTE4:
        for (int i = 0; i < 4; ++i)
            p[i] = byte(in[i]);
        break;
    case D3DDECLTYPE_UBYTE4N:
        for (int i = 0; i < 4; ++i)
            p[i] = byte(in[i] * 255);
        break;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
        for (int i = 0; i < (e.Type == D3DDECLTYPE_SHORT2 ? 2 : 4); ++i) {
            const auto s = static_cast<std::int16_t>(std::clamp(in[i], -32768.0f, 32767.0f));
            std::memcpy(p + i * 2, &s, 2);
        }
        break;
    default:
        break;
    }
}

D3DXVECTOR3 MeshArrays::Position(DWORD v) const {
    float f[4];
    ReadElement(vertices.data() + static_cast<size_t>(v) * stride,
                *FindElement(elements, D3DDECLUSAGE_POSITION, 0), f);
    return {f[0], f[1], f[2]};
}

HRESULT ReadMesh(ID3DXMesh* mesh, MeshArrays* out) {
    auto* m = dynamic_cast<Mesh*>(mesh);
    if (!m)
        return D3DERR_INVALIDCALL;
    out->elements = m->ElementList();
    out->stride = m->GetNumBytesPerVertex();
    out->vertices = m->VertexMemory();
    out->vertices.resize(static_cast<size_t>(m->GetNumVertices()) * out->stride);
    const auto idx = m->Indices();
    out->faces.resize(m->GetNumFaces());
    for (size_t f = 0; f < out->faces.size(); ++f)
        out->faces[f] = {idx[f * 3], idx[f * 3 + 1], idx[f * 3 + 2]};
    out->attributes = m->Attributes();
    out->options = m->GetOptions();
    return D3D_OK;
}

HRESULT BuildMesh(const MeshArrays& in, IDirect3DDevice9* device, ID3DXMesh** mesh) {
    auto decl = in.elements;
    decl.push_back(D3DDECL_END());
    DWORD options = in.options;
    if (in.vertices.size() / std::max<UINT>(1, in.stride) > 65535)
        options |= D3DXMESH_32BIT;
    const auto numVertices = static_cast<DWORD>(in.vertices.size() / std::max<UINT>(1, in.stride));
    HRESULT hr =
        D3DXCreateMesh(static_cast<DWORD>(in.faces.size()), numVertices, options, decl.data(), device, mesh);
    if (FAILED(hr))
        return hr;
    auto* m = static_cast<Mesh*>(*mesh);
    m->VertexMemory() = in.vertices;
    m->VertexMemory().resize(static_cast<size_t>(numVertices) * m->GetNumBytesPerVertex());
    m->UploadVertices();
    std::vector<DWORD> idx;
    idx.reserve(in.faces.size() * 3);
    for (const auto& f : in.faces)
        idx.insert(idx.end(), f.begin(), f.end());
    m->SetIndicesFrom(idx);
    m->Attributes() = in.attributes;
    m->Attributes().resize(in.faces.size(), 0);
    return D3D_OK;
}

std::vector<DWORD> PointRepsByPosition(const MeshArrays& m, float epsilon) {
    const auto n = static_cast<DWORD>(m.vertices.size() / std::max<UINT>(1, m.stride));
    std::vector<D3DXVECTOR3> p(n);
    for (DWORD v = 0; v < n; ++v)
        p[v] = m.Position(v);
    std::vector<DWORD> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
              [&](DWORD a, DWORD b) { return p[a].x < p[b].x || (p[a].x == p[b].x && a < b); });
    std::vector<DWORD> reps(n);
    std::iota(reps.begin(), reps.end(), 0u);
    for (size_t i = 0; i < order.size(); ++i) {
        const DWORD a = order[i];
        for (size_t j = i + 1; j < order.size() && p[order[j]].x - p[a].x <= epsilon; ++j) {
            const DWORD b = order[j];
            if (std::fabs(p[a].y - p[b].y) <= epsilon && std::fabs(p[a].z - p[b].z) <= epsilon) {
                const DWORD lo = std::min(reps[a], reps[b]);
                reps[std::max(a, b)] = std::min(reps[std::max(a, b)], lo);
                reps[std::min(a, b)] = std::min(reps[std::min(a, b)], lo);
            }
        }
    }
    // Resolve chains so every vertex points at the lowest index of its point.
    for (DWORD v = 0; v < n; ++v) {
        DWORD r = reps[v];
        while (reps[r] != r)
            r = reps[r];
        reps[v] = r;
    }
    return reps;
}

} // namespace d3dx

HRESULT D3DXComputeBoundingSphere(const D3DXVECTOR3* firstPosition, DWORD numVertices, DWORD stride,
                                  D3DXVECTOR3* centre, float* radius) {
    if (!firstPosition || !centre || !radius || numVertices == 0 || stride < sizeof(float) * 3)
        return D3DERR_INVALIDCALL;
    auto at = [&](DWORD i) {
        D3DXVECTOR3 v;
        std::memcpy(&v, reinterpret_cast<const BYTE*>(firstPosition) + static_cast<size_t>(i) * stride,
                    sizeof(float) * 3);
        return v;
    };
    double sx = 0, sy = 0, sz = 0;
    for (DWORD i = 0; i < numVertices; ++i) {
        const D3DXVECTOR3 v = at(i);
        sx += v.x;
        sy += v.y;
        sz += v.z;
    }
    const D3DXVECTOR3 c(static_cast<float>(sx / numVertices), static_cast<float>(sy / numVertices),
                        static_cast<float>(sz / numVertices));
    float r2 = 0;
    for (DWORD i = 0; i < numVertices; ++i) {
        const D3DXVECTOR3 d = at(i) - c;
        r2 = std::max(r2, D3DXVec3LengthSq(&d));
    }
    *centre = c;
    *radius = std::sqrt(r2);
    return D3D_OK;
}

HRESULT D3DXComputeNormals(ID3DXMesh* mesh, const DWORD* adjacency) {
    d3dx::MeshArrays m;
    if (!mesh || FAILED(d3dx::ReadMesh(mesh, &m)))
        return D3DERR_INVALIDCALL;
    const auto* ne = d3dx::FindElement(m.elements, D3DDECLUSAGE_NORMAL, 0);
    if (!ne || ne->Type != D3DDECLTYPE_FLOAT3)
        return D3DERR_INVALIDCALL;
    const DWORD n = mesh->GetNumVertices();
    std::vector<DWORD> reps(n);
    if (FAILED(mesh->ConvertAdjacencyToPointReps(adjacency, reps.data())))
        std::iota(reps.begin(), reps.end(), 0u);
    std::vector<D3DXVECTOR3> sums(n, D3DXVECTOR3(0, 0, 0));
    for (const auto& f : m.faces) {
        const D3DXVECTOR3 a = m.Position(f[0]), b = m.Position(f[1]), c = m.Position(f[2]);
        D3DXVECTOR3 e1 = b - a, e2 = c - a, fn;
        D3DXVec3Cross(&fn, &e1, &e2);
        for (DWORD v : f)
            sums[reps[v]] += fn;
    }
    BYTE* data = nullptr;
    if (FAILED(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&data))))
        return D3DERR_INVALIDCALL;
    for (DWORD v = 0; v < n; ++v) {
        D3DXVECTOR3 nv;
        D3DXVec3Normalize(&nv, &sums[reps[v]]);
        const float out[4] = {nv.x, nv.y, nv.z, 0};
        d3dx::WriteElement(data + static_cast<size_t>(v) * m.stride, *ne, out);
    }
    mesh->UnlockVertexBuffer();
    return D3D_OK;
}

HRESULT D3DXComputeTangentFrameEx(ID3DXMesh* mesh, DWORD textureInSemantic, DWORD textureInIndex,
                                  DWORD uPartialOutSemantic, DWORD uPartialOutIndex,
                                  DWORD vPartialOutSemantic, DWORD vPartialOutIndex, DWORD normalOutSemantic,
                                  DWORD normalOutIndex, DWORD options, const DWORD* adjacency, float, float,
                                  float, ID3DXMesh** meshOut, ID3DXBuffer** vertexMapping) {
    if (!mesh)
        return D3DERR_INVALIDCALL;
    ID3DXMesh* target = mesh;
    if (meshOut) {
        D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
        mesh->GetDeclaration(decl);
        IDirect3DDevice9* device = nullptr;
        mesh->GetDevice(&device);
        const HRESULT hr = mesh->CloneMesh(mesh->GetOptions(), decl, device, meshOut);
        device->Release();
        if (FAILED(hr))
            return hr;
        target = *meshOut;
    }
    if (vertexMapping) {
        const DWORD n = target->GetNumVertices();
        D3DXCreateBuffer(n * sizeof(DWORD), vertexMapping);
        std::iota(static_cast<DWORD*>((*vertexMapping)->GetBufferPointer()),
                  static_cast<DWORD*>((*vertexMapping)->GetBufferPointer()) + n, 0u);
    }
    d3dx::MeshArrays m;
    d3dx::ReadMesh(target, &m);
    const auto* te = d3dx::FindElement(m.elements, static_cast<BYTE>(textureInSemantic),
                                       static_cast<BYTE>(textureInIndex));
    if (!te)
        return D3DERR_INVALIDCALL;
    if ((options & D3DXTANGENT_CALCULATE_NORMALS) && normalOutSemantic != D3DX_DEFAULT) {
        const HRESULT hr = D3DXComputeNormals(target, adjacency);
        if (FAILED(hr))
            return hr;
        d3dx::ReadMesh(target, &m);
    }
    const DWORD n = target->GetNumVertices();
    std::vector<D3DXVECTOR3> tan(n, D3DXVECTOR3(0, 0, 0)), bin(n, D3DXVECTOR3(0, 0, 0));
    for (const auto& f : m.faces) {
        const D3DXVECTOR3 p0 = m.Position(f[0]), p1 = m.Position(f[1]), p2 = m.Position(f[2]);
        float t0[4], t1[4], t2[4];
        d3dx::ReadElement(m.vertices.data() + static_cast<size_t>(f[0]) * m.stride, *te, t0);
        d3dx::ReadElement(m.vertices.data() + static_cast<size_t>(f[1]) * m.stride, *te, t1);
        d3dx::ReadElement(m.vertices.data() + static_cast<size_t>(f[2]) * m.stride, *te, t2);
        const D3DXVECTOR3 e1 = p1 - p0, e2 = p2 - p0;
        const float du1 = t1[0] - t0[0], dv1 = t1[1] - t0[1], du2 = t2[0] - t0[0], dv2 = t2[1] - t0[1];
        const float det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < 1e-12f)
            continue;
        const float r = 1.0f / det;
        const D3DXVECTOR3 t = (e1 * dv2 - e2 * dv1) * r;
        const D3DXVECTOR3 b = (e2 * du1 - e1 * du2) * r;
        for (DWORD v : f) {
            tan[v] += t;
            bin[v] += b;
        }
    }
    BYTE* data = nullptr;
    if (FAILED(target->LockVertexBuffer(0, reinterpret_cast<void**>(&data))))
        return D3DERR_INVALIDCALL;
    const auto* ne = d3dx::FindElement(m.elements, D3DDECLUSAGE_NORMAL, 0);
    const auto* ue = uPartialOutSemantic == D3DX_DEFAULT
                         ? nullptr
                         : d3dx::FindElement(m.elements, static_cast<BYTE>(uPartialOutSemantic),
                                             static_cast<BYTE>(uPartialOutIndex));
    const auto* ve = vPartialOutSemantic == D3DX_DEFAULT
                         ? nullptr
                         : d3dx::FindElement(m.elements, static_cast<BYTE>(vPartialOutSemantic),
                                             static_cast<BYTE>(vPartialOutIndex));
    for (DWORD v = 0; v < n; ++v) {
        BYTE* vx = data + static_cast<size_t>(v) * m.stride;
        D3DXVECTOR3 nrm(0, 0, 1);
        if (ne) {
            float f[4];
            d3dx::ReadElement(vx, *ne, f);
            nrm = D3DXVECTOR3(f[0], f[1], f[2]);
        }
        // Gram-Schmidt against the normal; a degenerate tangent falls back to any perpendicular.
        D3DXVECTOR3 t = tan[v] - nrm * D3DXVec3Dot(&nrm, &tan[v]);
        if (D3DXVec3LengthSq(&t) < 1e-12f) {
            const D3DXVECTOR3 helper = std::fabs(nrm.x) < 0.9f ? D3DXVECTOR3(1, 0, 0) : D3DXVECTOR3(0, 1, 0);
            D3DXVec3Cross(&t, &helper, &nrm);
        }
        D3DXVec3Normalize(&t, &t);
        D3DXVECTOR3 b = bin[v] - nrm * D3DXVec3Dot(&nrm, &bin[v]) - t * D3DXVec3Dot(&t, &bin[v]);
        if (D3DXVec3LengthSq(&b) < 1e-12f)
            D3DXVec3Cross(&b, &nrm, &t);
        D3DXVec3Normalize(&b, &b);
        if (ue) {
            const float o[4] = {t.x, t.y, t.z, 0};
            d3dx::WriteElement(vx, *ue, o);
        }
        if (ve) {
            const float o[4] = {b.x, b.y, b.z, 0};
            d3dx::WriteElement(vx, *ve, o);
        }
    }
    target->UnlockVertexBuffer();
    (void)normalOutIndex;
    (void)Half;
    return D3D_OK;
}

} // namespace orv
