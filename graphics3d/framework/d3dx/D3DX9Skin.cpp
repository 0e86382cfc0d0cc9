#include "graphics3d/framework/D3D9Resources.h"
#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <numeric>

namespace orv {

namespace {

struct BoneData {
    std::string name;
    D3DXMATRIX offset = D3DXMATRIX(D3DMatrixIdentity());
    std::vector<DWORD> vertices;
    std::vector<float> weights;
};

class SkinInfo final : public ID3DXSkinInfo {
public:
    SkinInfo(DWORD numVertices, std::vector<D3DVERTEXELEMENT9> elements, DWORD numBones)
        : numVertices_(numVertices), elements_(std::move(elements)), bones_(numBones) {}

    HRESULT SetBoneInfluence(DWORD bone, DWORD numInfluences, const DWORD* vertices,
                             const float* weights) override {
        if (bone >= bones_.size() || (numInfluences && (!vertices || !weights)))
            return D3DERR_INVALIDCALL;
        for (DWORD i = 0; i < numInfluences; ++i)
            if (vertices[i] >= numVertices_)
                return D3DERR_INVALIDCALL;
        bones_[bone].vertices.assign(vertices, vertices + numInfluences);
        bones_[bone].weights.assign(weights, weights + numInfluences);
        return D3D_OK;
    }
    DWORD GetNumBoneInfluences(DWORD bone) override {
        return bone < bones_.size() ? static_cast<DWORD>(bones_[bone].vertices.size()) : 0;
    }
    HRESULT GetBoneInfluence(DWORD bone, DWORD* vertices, float* weights) override {
        if (bone >= bones_.size() || !vertices || !weights)
            return D3DERR_INVALIDCALL;
        std::copy(bones_[bone].vertices.begin(), bones_[bone].vertices.end(), vertices);
        std::copy(bones_[bone].weights.begin(), bones_[bone].weights.end(), weights);
        return D3D_OK;
    }
    HRESULT GetMaxVertexInfluences(DWORD* maxVertexInfluences) override {
        if (!maxVertexInfluences)
            return D3DERR_INVALIDCALL;
        std::vector<DWORD> count(numVertices_, 0);
        for (const auto& b : bones_)
            for (size_t i = 0; i < b.vertices.size(); ++i)
                if (b.weights[i] > 0)
                    ++count[b.vertices[i]];
        *maxVertexInfluences = count.empty() ? 0 : *std::max_element(count.begin(), count.end());
        return D3D_OK;
    }
    DWORD GetNumBones() override { return static_cast<DWORD>(bones_.size()); }
    HRESULT GetMaxFaceInfluences(IDirect3DIndexBuffer9* indexBuffer, DWORD numFaces,
                                 DWORD* maxFaceInfluences) override {
        auto* ib = dynamic_cast<IndexBuffer9*>(indexBuffer);
        if (!ib || !maxFaceInfluences)
            return D3DERR_INVALIDCALL;
        const auto& mem = ib->Data()->mem;
        const bool wide = ib->Data()->format == D3DFMT_INDEX32;
        if (mem.size() < static_cast<size_t>(numFaces) * 3 * (wide ? 4 : 2))
            return D3DERR_INVALIDCALL;
        const auto influences = VertexInfluences();
        DWORD best = 0;
        for (DWORD f = 0; f < numFaces; ++f) {
            std::vector<DWORD> bones;
            for (int k = 0; k < 3; ++k) {
                DWORD v = 0;
                if (wide)
                    std::memcpy(&v, mem.data() + (f * 3 + k) * 4, 4);
                else {
                    std::uint16_t s;
                    std::memcpy(&s, mem.data() + (f * 3 + k) * 2, 2);
                    v = s;
                }
                if (v < numVertices_)
                    for (const auto& [b, w] : influences[v])
                        if (std::find(bones.begin(), bones.end(), b) == bones.end())
                            bones.push_back(b);
            }
            best = std::max(best, static_cast<DWORD>(bones.size()));
        }
        *maxFaceInfluences = best;
        return D3D_OK;
    }
    HRESULT SetBoneName(DWORD bone, const char* name) override {
        if (bone >= bones_.size() || !name)
            return D3DERR_INVALIDCALL;
        bones_[bone].name = name;
        return D3D_OK;
    }
    const char* GetBoneName(DWORD bone) override {
        return bone < bones_.size() ? bones_[bone].name.c_str() : nullptr;
    }
    HRESULT SetBoneOffsetMatrix(DWORD bone, const D3DXMATRIX* boneTransform) override {
        if (bone >= bones_.size() || !boneTransform)
            return D3DERR_INVALIDCALL;
        bones_[bone].offset = *boneTransform;
        return D3D_OK;
    }
    D3DXMATRIX* GetBoneOffsetMatrix(DWORD bone) override {
        return bone < bones_.size() ? &bones_[bone].offset : nullptr;
    }
    DWORD GetFVF() override {
        auto d = elements_;
        d.push_back(D3DDECL_END());
        DWORD fvf = 0;
        D3DXFVFFromDeclarator(d.data(), &fvf);
        return fvf;
    }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) override {
        if (!declaration)
            return D3DERR_INVALIDCALL;
        std::copy(elements_.begin(), elements_.end(), declaration);
        declaration[elements_.size()] = D3DDECL_END();
        return D3D_OK;
    }
    HRESULT Clone(ID3DXSkinInfo** skinInfo) override {
        if (!skinInfo)
            return D3DERR_INVALIDCALL;
        auto* c = new SkinInfo(numVertices_, elements_, GetNumBones());
        c->bones_ = bones_;
        *skinInfo = c;
        return D3D_OK;
    }

    HRESULT ConvertToBlendedMesh(ID3DXMesh* mesh, DWORD options, const DWORD* adjacencyIn,
                                 DWORD* adjacencyOut, DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                                 DWORD* maxFaceInfluences, DWORD* numBoneCombinations,
                                 ID3DXBuffer** boneCombinationTable, ID3DXMesh** meshOut) override;

private:
    // Per vertex: (bone, weight) pairs with a weight above zero.
    std::vector<std::vector<std::pair<DWORD, float>>> VertexInfluences() const {
        std::vector<std::vector<std::pair<DWORD, float>>> out(numVertices_);
        for (DWORD b = 0; b < bones_.size(); ++b)
            for (size_t i = 0; i < bones_[b].vertices.size(); ++i)
                if (bones_[b].weights[i] > 0)
                    out[bones_[b].vertices[i]].push_back({b, bones_[b].weights[i]});
        return out;
    }

    // The influences blending uses, decided once per vertex: its strongest four bones, then, while a
    // face gathers more than four bones between its vertices, the face's weakest bone is dropped from
    // every vertex that has others; weights are renormalised per vertex. A bone that is some vertex's
    // only one is never dropped, and a face with five bones always has one that is not.
    std::vector<std::vector<std::pair<DWORD, float>>>
    BlendInfluences(const std::vector<std::array<DWORD, 3>>& faces) const {
        auto out = VertexInfluences();
        const auto byWeight = [](const auto& a, const auto& b) {
            return a.second > b.second || (a.second == b.second && a.first < b.first);
        };
        for (auto& list : out) {
            std::sort(list.begin(), list.end(), byWeight);
            if (list.size() > kMaxBlendBones)
                list.resize(kMaxBlendBones);
        }
        for (bool changed = true; changed;) {
            changed = false;
            for (const auto& face : faces) {
                std::map<DWORD, float> sum;
                for (DWORD v : face)
                    for (const auto& [b, w] : out[v])
                        sum[b] += w;
                if (sum.size() <= kMaxBlendBones)
                    continue;
                DWORD weakest = UNUSED32;
                float weakestSum = 0;
                for (const auto& [b, total] : sum) {
                    bool someVertexOnly = false;
                    for (DWORD v : face)
                        someVertexOnly |= out[v].size() == 1 && out[v][0].first == b;
                    if (!someVertexOnly && (weakest == UNUSED32 || total < weakestSum)) {
                        weakest = b;
                        weakestSum = total;
                    }
                }
                if (weakest == UNUSED32)
                    continue;
                for (DWORD v : face)
                    std::erase_if(out[v], [weakest](const auto& p) { return p.first == weakest; });
                changed = true;
            }
        }
        for (auto& list : out) {
            float total = 0;
            for (const auto& [b, w] : list)
                total += w;
            if (total > 0)
                for (auto& [b, w] : list)
                    w /= total;
        }
        return out;
    }

    static constexpr size_t kMaxBlendBones = 4;

    DWORD numVertices_;
    std::vector<D3DVERTEXELEMENT9> elements_;
    std::vector<BoneData> bones_;
};

HRESULT SkinInfo::ConvertToBlendedMesh(ID3DXMesh* mesh, DWORD options, const DWORD* adjacencyIn,
                                       DWORD* adjacencyOut, DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                                       DWORD* maxFaceInfluences, DWORD* numBoneCombinations,
                                       ID3DXBuffer** boneCombinationTable, ID3DXMesh** meshOut) {
    if (!mesh || !meshOut || !boneCombinationTable || !numBoneCombinations)
        return D3DERR_INVALIDCALL;
    *meshOut = nullptr;
    *boneCombinationTable = nullptr;
    d3dx::MeshArrays src;
    HRESULT hr = d3dx::ReadMesh(mesh, &src);
    if (FAILED(hr))
        return hr;
    const DWORD numVerts = static_cast<DWORD>(src.vertices.size() / src.stride);
    if (numVerts != numVertices_)
        return D3DERR_INVALIDCALL;
    const auto numFaces = static_cast<DWORD>(src.faces.size());
    const auto influences = BlendInfluences(src.faces);

    // Bones of each face: the union of its vertices' bones, four at most by construction.
    std::vector<std::vector<DWORD>> faceBones(numFaces);
    DWORD maxInfl = 1;
    for (DWORD f = 0; f < numFaces; ++f) {
        for (DWORD v : src.faces[f])
            for (const auto& [b, w] : influences[v])
                if (std::find(faceBones[f].begin(), faceBones[f].end(), b) == faceBones[f].end())
                    faceBones[f].push_back(b);
        std::sort(faceBones[f].begin(), faceBones[f].end());
        maxInfl = std::max(maxInfl, static_cast<DWORD>(faceBones[f].size()));
    }

    // Faces in attribute order, grouped greedily into combinations of at most maxInfl bones.
    std::vector<DWORD> order(numFaces);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](DWORD a, DWORD b) { return src.attributes[a] < src.attributes[b]; });
    struct Group {
        DWORD attrib;
        std::vector<DWORD> bones;
        std::vector<DWORD> faces;
    };
    std::vector<Group> groups;
    for (DWORD f : order) {
        const DWORD attrib = src.attributes[f];
        bool placed = false;
        if (!groups.empty() && groups.back().attrib == attrib) {
            auto& g = groups.back();
            std::vector<DWORD> merged = g.bones;
            for (DWORD b : faceBones[f])
                if (std::find(merged.begin(), merged.end(), b) == merged.end())
                    merged.push_back(b);
            if (merged.size() <= maxInfl) {
                g.bones = merged;
                g.faces.push_back(f);
                placed = true;
            }
        }
        if (!placed)
            groups.push_back({attrib, faceBones[f], {f}});
    }

    // Output layout: blend weights after the position, the rest of the source behind.
    std::vector<D3DVERTEXELEMENT9> outElements;
    WORD offset = 0;
    outElements.push_back({0, 0, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0});
    offset = 12;
    if (maxInfl > 1) {
        outElements.push_back({0, offset, static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + (maxInfl - 2)),
                               D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_BLENDWEIGHT, 0});
        offset = static_cast<WORD>(offset + 4 * (maxInfl - 1));
    }
    for (const auto& e : src.elements) {
        if (e.Usage == D3DDECLUSAGE_POSITION || e.Usage == D3DDECLUSAGE_BLENDWEIGHT ||
            e.Usage == D3DDECLUSAGE_BLENDINDICES || e.Stream != 0)
            continue;
        D3DVERTEXELEMENT9 c = e;
        c.Offset = offset;
        offset = static_cast<WORD>(offset + DeclTypeSize(e.Type));
        outElements.push_back(c);
    }
    d3dx::MeshArrays out;
    out.elements = outElements;
    out.stride = offset;
    out.options = options & ~0xFF000000u;
    std::vector<DWORD> oldOfNewVertex, oldOfNewFace;
    struct Range {
        DWORD faceStart, faceCount, vertexStart, vertexCount;
    };
    std::vector<Range> ranges;
    for (DWORD gi = 0; gi < groups.size(); ++gi) {
        const Group& g = groups[gi];
        Range r{static_cast<DWORD>(out.faces.size()), static_cast<DWORD>(g.faces.size()),
                static_cast<DWORD>(oldOfNewVertex.size()), 0};
        std::map<DWORD, DWORD> local;
        for (DWORD f : g.faces) {
            std::array<DWORD, 3> nf{};
            for (int k = 0; k < 3; ++k) {
                const DWORD v = src.faces[f][k];
                auto it = local.find(v);
                if (it == local.end()) {
                    it = local.emplace(v, static_cast<DWORD>(oldOfNewVertex.size())).first;
                    oldOfNewVertex.push_back(v);
                    // The vertex's own weights in this group's slots. Its bones are a subset of the
                    // group's, so every copy of the vertex blends the same bones by the same amounts.
                    std::vector<float> w(g.bones.size(), 0.0f);
                    for (const auto& [b, wt] : influences[v]) {
                        auto pos = std::find(g.bones.begin(), g.bones.end(), b);
                        if (pos != g.bones.end())
                            w[static_cast<size_t>(pos - g.bones.begin())] += wt;
                    }
                    if (influences[v].empty() && !w.empty())
                        w[0] = 1.0f;
                    std::vector<BYTE> vx(out.stride, 0);
                    const BYTE* s = src.vertices.data() + static_cast<size_t>(v) * src.stride;
                    for (const auto& e : outElements) {
                        float value[4] = {0, 0, 0, 0};
                        if (e.Usage == D3DDECLUSAGE_BLENDWEIGHT) {
                            for (DWORD i = 0; i + 1 < maxInfl && i < 4; ++i)
                                value[i] = i < w.size() ? w[i] : 0.0f;
                        } else if (const auto* se = d3dx::FindElement(src.elements, e.Usage, e.UsageIndex)) {
                            d3dx::ReadElement(s, *se, value);
                        }
                        d3dx::WriteElement(vx.data(), e, value);
                    }
                    out.vertices.insert(out.vertices.end(), vx.begin(), vx.end());
                }
                nf[static_cast<size_t>(k)] = it->second;
            }
            out.faces.push_back(nf);
            out.attributes.push_back(gi);
            oldOfNewFace.push_back(f);
        }
        r.vertexCount = static_cast<DWORD>(oldOfNewVertex.size()) - r.vertexStart;
        ranges.push_back(r);
    }
    IDirect3DDevice9* device = nullptr;
    mesh->GetDevice(&device);
    hr = d3dx::BuildMesh(out, device, meshOut);
    device->Release();
    if (FAILED(hr))
        return hr;
    std::vector<D3DXATTRIBUTERANGE> table;
    for (DWORD gi = 0; gi < groups.size(); ++gi)
        table.push_back(
            {gi, ranges[gi].faceStart, ranges[gi].faceCount, ranges[gi].vertexStart, ranges[gi].vertexCount});
    (*meshOut)->SetAttributeTable(table.data(), static_cast<DWORD>(table.size()));

    // The combination table: records first, then the bone ids they point at, in one buffer.
    const size_t header = groups.size() * sizeof(D3DXBONECOMBINATION);
    D3DXCreateBuffer(static_cast<DWORD>(header + groups.size() * maxInfl * sizeof(DWORD)),
                     boneCombinationTable);
    auto* base = static_cast<BYTE*>((*boneCombinationTable)->GetBufferPointer());
    auto* combos = reinterpret_cast<D3DXBONECOMBINATION*>(base);
    auto* ids = reinterpret_cast<DWORD*>(base + header);
    for (DWORD gi = 0; gi < groups.size(); ++gi) {
        D3DXBONECOMBINATION c;
        c.AttribId = groups[gi].attrib;
        c.FaceStart = ranges[gi].faceStart;
        c.FaceCount = ranges[gi].faceCount;
        c.VertexStart = ranges[gi].vertexStart;
        c.VertexCount = ranges[gi].vertexCount;
        c.BoneId = ids + gi * maxInfl;
        for (DWORD i = 0; i < maxInfl; ++i)
            c.BoneId[i] = i < groups[gi].bones.size() ? groups[gi].bones[i] : UNUSED32;
        combos[gi] = c;
    }
    *numBoneCombinations = static_cast<DWORD>(groups.size());
    if (maxFaceInfluences)
        *maxFaceInfluences = maxInfl;
    if (faceRemap)
        std::copy(oldOfNewFace.begin(), oldOfNewFace.end(), faceRemap);
    if (vertexRemap) {
        D3DXCreateBuffer(static_cast<DWORD>(oldOfNewVertex.size() * sizeof(DWORD)), vertexRemap);
        std::memcpy((*vertexRemap)->GetBufferPointer(), oldOfNewVertex.data(),
                    oldOfNewVertex.size() * sizeof(DWORD));
    }
    if (adjacencyOut) {
        std::vector<DWORD> newOfOld(numFaces, UNUSED32);
        for (DWORD n = 0; n < oldOfNewFace.size(); ++n)
            newOfOld[oldOfNewFace[n]] = n;
        for (DWORD n = 0; n < oldOfNewFace.size(); ++n)
            for (int k = 0; k < 3; ++k) {
                const DWORD old = adjacencyIn ? adjacencyIn[oldOfNewFace[n] * 3 + k] : UNUSED32;
                adjacencyOut[n * 3 + k] = old < numFaces ? newOfOld[old] : UNUSED32;
            }
    }
    return D3D_OK;
}

} // namespace

HRESULT D3DXCreateSkinInfo(DWORD numVertices, const D3DVERTEXELEMENT9* declaration, DWORD numBones,
                           ID3DXSkinInfo** skinInfo) {
    if (!declaration || !skinInfo)
        return D3DERR_INVALIDCALL;
    *skinInfo = new SkinInfo(numVertices, d3dx::Elements(declaration), numBones);
    return D3D_OK;
}

HRESULT D3DXCreateSkinInfoFVF(DWORD numVertices, DWORD fvf, DWORD numBones, ID3DXSkinInfo** skinInfo) {
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    const HRESULT hr = D3DXDeclaratorFromFVF(fvf, decl);
    if (FAILED(hr))
        return hr;
    return D3DXCreateSkinInfo(numVertices, decl, numBones, skinInfo);
}

} // namespace orv
