// The .x reader on top of assimp, adapted to what the callers expect: the file's left-handed data and
// clockwise winding are kept, corners assimp splits are welded back, each frame gets one mesh container
// with its materials as subsets, and rotation keys keep the file's sense.
#include "graphics3d/framework/d3dx/D3DXInternal.h"

#include <QFile>

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace orv {

namespace {

D3DXMATRIX ToD3DX(const aiMatrix4x4& m) {
    // assimp stores column vectors; ours are rows.
    return D3DXMATRIX(m.a1, m.b1, m.c1, m.d1, m.a2, m.b2, m.c2, m.d2, m.a3, m.b3, m.c3, m.d3, m.a4, m.b4,
                      m.c4, m.d4);
}

char* CopyName(const std::string& s) {
    char* p = new char[s.size() + 1];
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

// The importer adds an unnamed material to meshes without a material list; the file's own are named.
bool IsDefaultMaterial(const aiMaterial* m) {
    aiString name;
    if (m->Get(AI_MATKEY_NAME, name) != AI_SUCCESS || name.length == 0)
        return true;
    return std::strcmp(name.C_Str(), AI_DEFAULT_MATERIAL_NAME) == 0;
}

struct LoadedMaterial {
    D3DMATERIAL9 mat;
    std::string texture;
};

LoadedMaterial ReadMaterial(const aiMaterial* m) {
    LoadedMaterial out;
    aiColor4D c;
    if (m->Get(AI_MATKEY_COLOR_DIFFUSE, c) == AI_SUCCESS)
        out.mat.Diffuse = {c.r, c.g, c.b, c.a};
    float opacity = 1.0f;
    if (m->Get(AI_MATKEY_OPACITY, opacity) == AI_SUCCESS && opacity < 1.0f)
        out.mat.Diffuse.a = opacity;
    if (m->Get(AI_MATKEY_COLOR_SPECULAR, c) == AI_SUCCESS)
        out.mat.Specular = {c.r, c.g, c.b, 1.0f};
    if (m->Get(AI_MATKEY_COLOR_EMISSIVE, c) == AI_SUCCESS)
        out.mat.Emissive = {c.r, c.g, c.b, 1.0f};
    float power = 0;
    if (m->Get(AI_MATKEY_SHININESS, power) == AI_SUCCESS)
        out.mat.Power = power;
    aiString tex;
    if (m->GetTexture(aiTextureType_DIFFUSE, 0, &tex) == AI_SUCCESS)
        out.texture = tex.C_Str();
    return out;
}

// The meshes of one node, merged: vertices welded, materials of the node as subsets 0..n-1.
struct MergedMesh {
    bool normals = false, texcoords = false;
    std::vector<D3DXVECTOR3> positions, normalList;
    std::vector<D3DXVECTOR2> uvs;
    std::vector<std::array<DWORD, 3>> faces;
    std::vector<DWORD> attributes;
    std::vector<LoadedMaterial> materials;
    bool hasMaterials = false;
    struct Bone {
        std::string name;
        D3DXMATRIX offset;
        std::vector<DWORD> vertices;
        std::vector<float> weights;
    };
    std::vector<Bone> bones;
};

bool MergeNodeMeshes(const aiScene* scene, const std::vector<unsigned>& meshIndices,
                     const D3DXMATRIX* transform, MergedMesh* out) {
    // Subsets in the order of the scene's materials.
    std::vector<unsigned> materialIds;
    materialIds.reserve(meshIndices.size());
    for (unsigned mi : meshIndices)
        materialIds.push_back(scene->mMeshes[mi]->mMaterialIndex);
    std::sort(materialIds.begin(), materialIds.end());
    materialIds.erase(std::unique(materialIds.begin(), materialIds.end()), materialIds.end());
    for (unsigned id : materialIds) {
        const aiMaterial* m = id < scene->mNumMaterials ? scene->mMaterials[id] : nullptr;
        if (m && !IsDefaultMaterial(m))
            out->hasMaterials = true;
        out->materials.push_back(m ? ReadMaterial(m) : LoadedMaterial{});
    }
    std::map<std::string, size_t> boneByName;
    for (unsigned mi : meshIndices) {
        const aiMesh* mesh = scene->mMeshes[mi];
        if (!mesh->HasPositions())
            return false;
        const auto base = static_cast<DWORD>(out->positions.size());
        out->normals = out->normals || mesh->HasNormals();
        out->texcoords = out->texcoords || mesh->HasTextureCoords(0);
        for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
            D3DXVECTOR3 p(mesh->mVertices[v].x, mesh->mVertices[v].y, mesh->mVertices[v].z);
            D3DXVECTOR3 n = mesh->HasNormals()
                                ? D3DXVECTOR3(mesh->mNormals[v].x, mesh->mNormals[v].y, mesh->mNormals[v].z)
                                : D3DXVECTOR3(0, 0, 0);
            if (transform) {
                D3DXVec3TransformCoord(&p, &p, transform);
                D3DXVec3TransformNormal(&n, &n, transform);
                D3DXVec3Normalize(&n, &n);
            }
            out->positions.push_back(p);
            out->normalList.push_back(n);
            // The importer turns v upside down for OpenGL; the file's value is 1 - v.
            out->uvs.push_back(mesh->HasTextureCoords(0) ? D3DXVECTOR2(mesh->mTextureCoords[0][v].x,
                                                                       1.0f - mesh->mTextureCoords[0][v].y)
                                                         : D3DXVECTOR2(0, 0));
        }
        const auto attrib = static_cast<DWORD>(
            std::lower_bound(materialIds.begin(), materialIds.end(), mesh->mMaterialIndex) -
            materialIds.begin());
        for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            if (face.mNumIndices != 3)
                continue;
            std::array<DWORD, 3> tri{};
            bool ok = true;
            for (int k = 0; k < 3; ++k) {
                if (face.mIndices[k] >= mesh->mNumVertices)
                    ok = false;
                tri[static_cast<size_t>(k)] = base + face.mIndices[k];
            }
            if (!ok)
                return false;
            out->faces.push_back(tri);
            out->attributes.push_back(attrib);
        }
        for (unsigned b = 0; b < mesh->mNumBones; ++b) {
            const aiBone* bone = mesh->mBones[b];
            auto it = boneByName.find(bone->mName.C_Str());
            if (it == boneByName.end()) {
                it = boneByName.emplace(bone->mName.C_Str(), out->bones.size()).first;
                out->bones.push_back({bone->mName.C_Str(), ToD3DX(bone->mOffsetMatrix), {}, {}});
            }
            auto& dst = out->bones[it->second];
            for (unsigned w = 0; w < bone->mNumWeights; ++w) {
                if (bone->mWeights[w].mVertexId >= mesh->mNumVertices)
                    return false;
                dst.vertices.push_back(base + bone->mWeights[w].mVertexId);
                dst.weights.push_back(bone->mWeights[w].mWeight);
            }
        }
    }
    return !out->faces.empty();
}

HRESULT CreateD3DXMesh(const MergedMesh& m, DWORD options, IDirect3DDevice9* device, ID3DXMesh** mesh) {
    DWORD fvf = D3DFVF_XYZ;
    if (m.normals)
        fvf |= D3DFVF_NORMAL;
    if (m.texcoords)
        fvf |= D3DFVF_TEX1;
    if (m.positions.size() > 65535)
        options |= D3DXMESH_32BIT;
    HRESULT hr = D3DXCreateMeshFVF(static_cast<DWORD>(m.faces.size()), static_cast<DWORD>(m.positions.size()),
                                   options, fvf, device, mesh);
    if (FAILED(hr))
        return hr;
    BYTE* v = nullptr;
    (*mesh)->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    const DWORD stride = (*mesh)->GetNumBytesPerVertex();
    for (size_t i = 0; i < m.positions.size(); ++i) {
        BYTE* p = v + i * stride;
        std::memcpy(p, &m.positions[i], 12);
        size_t off = 12;
        if (m.normals) {
            std::memcpy(p + off, &m.normalList[i], 12);
            off += 12;
        }
        if (m.texcoords)
            std::memcpy(p + off, &m.uvs[i], 8);
    }
    (*mesh)->UnlockVertexBuffer();
    void* idx = nullptr;
    (*mesh)->LockIndexBuffer(0, &idx);
    const bool wide = ((*mesh)->GetOptions() & D3DXMESH_32BIT) != 0;
    for (size_t f = 0; f < m.faces.size(); ++f)
        for (size_t k = 0; k < 3; ++k) {
            if (wide)
                static_cast<std::uint32_t*>(idx)[f * 3 + k] = m.faces[f][k];
            else
                static_cast<std::uint16_t*>(idx)[f * 3 + k] = static_cast<std::uint16_t>(m.faces[f][k]);
        }
    (*mesh)->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    (*mesh)->LockAttributeBuffer(0, &attr);
    std::copy(m.attributes.begin(), m.attributes.end(), attr);
    (*mesh)->UnlockAttributeBuffer();
    return D3D_OK;
}

// Materials as the loader hands them out: records with texture names that live as long as the array.
struct MaterialArray {
    std::vector<D3DXMATERIAL> records;
    std::vector<std::string> names;
    void Fill(const std::vector<LoadedMaterial>& mats) {
        names.clear();
        for (const auto& m : mats)
            names.push_back(m.texture);
        records.assign(mats.size(), D3DXMATERIAL{});
        for (size_t i = 0; i < mats.size(); ++i) {
            records[i].MatD3D = mats[i].mat;
            records[i].pTextureFilename = names[i].empty() ? nullptr : names[i].data();
        }
    }
};

class Importer {
public:
    const aiScene* Read(const void* data, DWORD size) {
        if (!data || size == 0 || !d3dx::CheckTextXFile(data, size))
            return nullptr;
        importer_.SetPropertyInteger(AI_CONFIG_IMPORT_NO_SKELETON_MESHES, 1);
        importer_.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
        // Checked first, so that the later steps only ever see a consistent scene.
        const aiScene* scene = importer_.ReadFileFromMemory(data, size, aiProcess_ValidateDataStructure, "x");
        if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE))
            return nullptr;
        // The importer turns the file into right-handed, counter-clockwise data; these two steps turn it
        // back.
        scene = importer_.ApplyPostProcessing(aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                                              aiProcess_MakeLeftHanded | aiProcess_FlipWindingOrder |
                                              aiProcess_SortByPType | aiProcess_ValidateDataStructure);
        if (!scene || !scene->mRootNode || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE))
            return nullptr;
        return scene;
    }

private:
    Assimp::Importer importer_;
};

bool ReadWholeFile(const wchar_t* fileName, QByteArray* bytes) {
    if (!fileName)
        return false;
    QFile f(d3dx::FromWide(fileName).replace('\\', '/'));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    *bytes = f.readAll();
    return !bytes->isEmpty();
}

// Animation ------------------------------------------------------------------------------------------

struct Track {
    D3DXMATRIX* target = nullptr;
    D3DXMATRIX rest;
    std::vector<std::pair<double, D3DXVECTOR3>> positions, scales;
    std::vector<std::pair<double, D3DXQUATERNION>> rotations;
};

struct AnimationSet {
    std::string name;
    double period = 0; // seconds
    std::vector<Track> tracks;
};

template <class T, class Lerp> T Sample(const std::vector<std::pair<double, T>>& keys, double t, Lerp lerp) {
    if (keys.size() == 1 || t <= keys.front().first)
        return keys.front().second;
    if (t >= keys.back().first)
        return keys.back().second;
    auto it =
        std::upper_bound(keys.begin(), keys.end(), t, [](double x, const auto& k) { return x < k.first; });
    const auto& b = *it;
    const auto& a = *(it - 1);
    const double span = b.first - a.first;
    return lerp(a.second, b.second, static_cast<float>(span > 0 ? (t - a.first) / span : 0));
}

class AnimationController final : public ID3DXAnimationController {
public:
    explicit AnimationController(std::vector<AnimationSet> sets) : sets_(std::move(sets)) {}
    HRESULT AdvanceTime(double timeDelta, void*) override {
        if (!(timeDelta >= 0) || !std::isfinite(timeDelta))
            return D3DERR_INVALIDCALL;
        time_ += timeDelta;
        Apply();
        return D3D_OK;
    }
    HRESULT ResetTime() override {
        time_ = 0;
        return D3D_OK;
    }
    double GetTime() override { return time_; }
    UINT GetNumAnimationSets() override { return static_cast<UINT>(sets_.size()); }
    UINT GetMaxNumAnimationOutputs() override {
        size_t n = 0;
        for (const auto& s : sets_)
            n = std::max(n, s.tracks.size());
        return static_cast<UINT>(n);
    }
    double GetPeriod() override { return sets_.empty() ? 0.0 : sets_[current_].period; }
    const char* GetAnimationSetName(UINT index) override {
        return index < sets_.size() ? sets_[index].name.c_str() : nullptr;
    }
    HRESULT SetTrackAnimationSet(UINT track, UINT animationSet) override {
        if (track != 0 || animationSet >= sets_.size())
            return D3DERR_INVALIDCALL;
        current_ = animationSet;
        return D3D_OK;
    }

private:
    void Apply() {
        if (sets_.empty())
            return;
        const AnimationSet& set = sets_[current_];
        const double t = set.period > 0 ? std::fmod(time_, set.period) : 0.0;
        for (const Track& tr : set.tracks) {
            D3DXVECTOR3 scale(1, 1, 1), pos(tr.rest.m[3][0], tr.rest.m[3][1], tr.rest.m[3][2]);
            D3DXQUATERNION rot;
            if (tr.rotations.empty()) {
                D3DXVECTOR3 s, p;
                D3DXMatrixDecompose(&s, &rot, &p, &tr.rest);
            }
            auto lerp3 = [](const D3DXVECTOR3& a, const D3DXVECTOR3& b, float s) { return a + (b - a) * s; };
            if (!tr.scales.empty())
                scale = Sample(tr.scales, t, lerp3);
            if (!tr.positions.empty())
                pos = Sample(tr.positions, t, lerp3);
            if (!tr.rotations.empty())
                rot = Sample(tr.rotations, t, [](const D3DXQUATERNION& a, const D3DXQUATERNION& b, float s) {
                    D3DXQUATERNION r;
                    D3DXQuaternionSlerp(&r, &a, &b, s);
                    return r;
                });
            D3DXMATRIX ms, mr, mt;
            D3DXMatrixScaling(&ms, scale.x, scale.y, scale.z);
            D3DXQuaternionNormalize(&rot, &rot);
            D3DXMatrixRotationQuaternion(&mr, &rot);
            D3DXMatrixTranslation(&mt, pos.x, pos.y, pos.z);
            *tr.target = ms * mr * mt;
        }
    }

    std::vector<AnimationSet> sets_;
    UINT current_ = 0;
    double time_ = 0;
};

// Builds the caller's frames from the nodes; on failure everything made so far is destroyed.
class HierarchyBuilder {
public:
    HierarchyBuilder(const aiScene* scene, DWORD options, IDirect3DDevice9* device,
                     ID3DXAllocateHierarchy* alloc)
        : scene_(scene), options_(options), device_(device), alloc_(alloc) {}

    HRESULT Build(const aiNode* node, D3DXFRAME** out, int depth = 0) {
        *out = nullptr;
        if (depth > 256)
            return E_FAIL;
        D3DXFRAME* frame = nullptr;
        HRESULT hr = alloc_->CreateFrame(node->mName.C_Str(), &frame);
        if (FAILED(hr))
            return hr;
        if (!frame)
            return E_FAIL;
        frame->TransformationMatrix = ToD3DX(node->mTransformation);
        *out = frame;
        if (node->mNumMeshes > 0) {
            std::vector<unsigned> meshes;
            for (unsigned i = 0; i < node->mNumMeshes; ++i)
                if (node->mMeshes[i] < scene_->mNumMeshes)
                    meshes.push_back(node->mMeshes[i]);
            hr = BuildContainer(node->mName.C_Str(), meshes, &frame->pMeshContainer);
            if (FAILED(hr))
                return hr;
        }
        D3DXFRAME** link = &frame->pFrameFirstChild;
        for (unsigned c = 0; c < node->mNumChildren; ++c) {
            hr = Build(node->mChildren[c], link, depth + 1);
            if (FAILED(hr))
                return hr;
            link = &(*link)->pFrameSibling;
        }
        return D3D_OK;
    }

private:
    HRESULT BuildContainer(const char* name, const std::vector<unsigned>& meshes, D3DXMESHCONTAINER** out) {
        MergedMesh merged;
        if (!MergeNodeMeshes(scene_, meshes, nullptr, &merged))
            return E_FAIL;
        ID3DXMesh* mesh = nullptr;
        HRESULT hr = CreateD3DXMesh(merged, options_, device_, &mesh);
        if (FAILED(hr))
            return hr;
        std::vector<DWORD> adjacency(merged.faces.size() * 3);
        mesh->GenerateAdjacency(0.0f, adjacency.data());
        ID3DXSkinInfo* skin = nullptr;
        if (!merged.bones.empty()) {
            D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
            mesh->GetDeclaration(decl);
            D3DXCreateSkinInfo(mesh->GetNumVertices(), decl, static_cast<DWORD>(merged.bones.size()), &skin);
            for (DWORD b = 0; b < merged.bones.size(); ++b) {
                const auto& bone = merged.bones[b];
                skin->SetBoneName(b, bone.name.c_str());
                skin->SetBoneOffsetMatrix(b, &bone.offset);
                skin->SetBoneInfluence(b, static_cast<DWORD>(bone.vertices.size()), bone.vertices.data(),
                                       bone.weights.data());
            }
        }
        MaterialArray materials;
        if (merged.hasMaterials)
            materials.Fill(merged.materials);
        D3DXMESHDATA data;
        data.Type = D3DXMESHTYPE_MESH;
        data.pMesh = mesh;
        std::vector<D3DXEFFECTINSTANCE> effects(materials.records.size());
        hr = alloc_->CreateMeshContainer(
            name, &data, materials.records.empty() ? nullptr : materials.records.data(),
            effects.empty() ? nullptr : effects.data(), static_cast<DWORD>(materials.records.size()),
            adjacency.data(), skin, out);
        mesh->Release();
        if (skin)
            skin->Release();
        return hr;
    }

    const aiScene* scene_;
    DWORD options_;
    IDirect3DDevice9* device_;
    ID3DXAllocateHierarchy* alloc_;
};

std::vector<AnimationSet> ReadAnimations(const aiScene* scene, D3DXFRAME* root) {
    std::vector<AnimationSet> sets;
    for (unsigned a = 0; a < scene->mNumAnimations; ++a) {
        const aiAnimation* anim = scene->mAnimations[a];
        const double ticks = anim->mTicksPerSecond > 0 ? anim->mTicksPerSecond : 4800.0;
        AnimationSet set;
        set.name = anim->mName.C_Str();
        set.period = anim->mDuration / ticks;
        for (unsigned c = 0; c < anim->mNumChannels; ++c) {
            const aiNodeAnim* ch = anim->mChannels[c];
            D3DXFRAME* frame = D3DXFrameFind(root, ch->mNodeName.C_Str());
            if (!frame)
                continue;
            Track t;
            t.target = &frame->TransformationMatrix;
            t.rest = frame->TransformationMatrix;
            for (unsigned k = 0; k < ch->mNumPositionKeys; ++k) {
                const auto& key = ch->mPositionKeys[k];
                t.positions.push_back(
                    {key.mTime / ticks, D3DXVECTOR3(key.mValue.x, key.mValue.y, key.mValue.z)});
            }
            for (unsigned k = 0; k < ch->mNumScalingKeys; ++k) {
                const auto& key = ch->mScalingKeys[k];
                t.scales.push_back(
                    {key.mTime / ticks, D3DXVECTOR3(key.mValue.x, key.mValue.y, key.mValue.z)});
            }
            for (unsigned k = 0; k < ch->mNumRotationKeys; ++k) {
                const auto& key = ch->mRotationKeys[k];
                // assimp conjugates the file's keys; ours keep the file's sense.
                t.rotations.push_back({key.mTime / ticks, D3DXQUATERNION(-key.mValue.x, -key.mValue.y,
                                                                         -key.mValue.z, key.mValue.w)});
            }
            auto byTime = [](const auto& x, const auto& y) { return x.first < y.first; };
            std::stable_sort(t.positions.begin(), t.positions.end(), byTime);
            std::stable_sort(t.scales.begin(), t.scales.end(), byTime);
            std::stable_sort(t.rotations.begin(), t.rotations.end(), byTime);
            set.tracks.push_back(std::move(t));
        }
        if (!(set.period > 0) || !std::isfinite(set.period))
            set.period = 0;
        sets.push_back(std::move(set));
    }
    return sets;
}

} // namespace

D3DXFRAME* D3DXFrameFind(const D3DXFRAME* root, const char* name) {
    if (!root)
        return nullptr;
    if ((name == nullptr && root->Name == nullptr) ||
        (name != nullptr && root->Name != nullptr && std::strcmp(root->Name, name) == 0))
        return const_cast<D3DXFRAME*>(root);
    if (D3DXFRAME* f = D3DXFrameFind(root->pFrameSibling, name))
        return f;
    return D3DXFrameFind(root->pFrameFirstChild, name);
}

HRESULT D3DXFrameDestroy(D3DXFRAME* root, ID3DXAllocateHierarchy* allocator) {
    if (!root || !allocator)
        return D3DERR_INVALIDCALL;
    if (root->pFrameSibling)
        D3DXFrameDestroy(root->pFrameSibling, allocator);
    if (root->pFrameFirstChild)
        D3DXFrameDestroy(root->pFrameFirstChild, allocator);
    D3DXMESHCONTAINER* mc = root->pMeshContainer;
    while (mc) {
        D3DXMESHCONTAINER* next = mc->pNextMeshContainer;
        allocator->DestroyMeshContainer(mc);
        mc = next;
    }
    return allocator->DestroyFrame(root);
}

UINT D3DXFrameNumNamedMatrices(const D3DXFRAME* root) {
    if (!root)
        return 0;
    return (root->Name ? 1u : 0u) + D3DXFrameNumNamedMatrices(root->pFrameSibling) +
           D3DXFrameNumNamedMatrices(root->pFrameFirstChild);
}

HRESULT D3DXFrameCalculateBoundingSphere(const D3DXFRAME* root, D3DXVECTOR3* centre, float* radius) {
    if (!root || !centre || !radius)
        return D3DERR_INVALIDCALL;
    std::vector<std::pair<D3DXVECTOR3, float>> spheres;
    std::function<void(const D3DXFRAME*, const D3DXMATRIX&)> walk = [&](const D3DXFRAME* f,
                                                                        const D3DXMATRIX& parent) {
        for (; f; f = f->pFrameSibling) {
            const D3DXMATRIX combined = f->TransformationMatrix * parent;
            for (const D3DXMESHCONTAINER* mc = f->pMeshContainer; mc; mc = mc->pNextMeshContainer) {
                ID3DXMesh* mesh = mc->MeshData.pMesh;
                if (!mesh)
                    continue;
                d3dx::MeshArrays m;
                if (FAILED(d3dx::ReadMesh(mesh, &m)) || m.vertices.empty())
                    continue;
                std::vector<D3DXVECTOR3> p(mesh->GetNumVertices());
                for (DWORD v = 0; v < p.size(); ++v) {
                    const D3DXVECTOR3 local = m.Position(v);
                    D3DXVec3TransformCoord(&p[v], &local, &combined);
                }
                D3DXVECTOR3 c;
                float r;
                if (SUCCEEDED(D3DXComputeBoundingSphere(p.data(), static_cast<DWORD>(p.size()),
                                                        sizeof(D3DXVECTOR3), &c, &r)))
                    spheres.push_back({c, r});
            }
            walk(f->pFrameFirstChild, combined);
        }
    };
    walk(root, D3DXMATRIX(D3DMatrixIdentity()));
    *centre = D3DXVECTOR3(0, 0, 0);
    *radius = 0;
    if (spheres.empty())
        return D3D_OK;
    for (const auto& s : spheres)
        *centre += s.first;
    *centre *= 1.0f / static_cast<float>(spheres.size());
    for (const auto& s : spheres) {
        const D3DXVECTOR3 d = s.first - *centre;
        *radius = std::max(*radius, D3DXVec3Length(&d) + s.second);
    }
    return D3D_OK;
}

HRESULT D3DXLoadMeshHierarchyFromXInMemory(const void* data, DWORD size, DWORD options,
                                           IDirect3DDevice9* device, ID3DXAllocateHierarchy* allocator,
                                           ID3DXLoadUserData*, D3DXFRAME** frameHierarchy,
                                           ID3DXAnimationController** animController) {
    if (!device || !allocator || !frameHierarchy)
        return D3DERR_INVALIDCALL;
    *frameHierarchy = nullptr;
    if (animController)
        *animController = nullptr;
    Importer importer;
    const aiScene* scene = importer.Read(data, size);
    if (!scene)
        return E_FAIL;
    HierarchyBuilder builder(scene, options, device, allocator);
    D3DXFRAME* root = nullptr;
    const HRESULT hr = builder.Build(scene->mRootNode, &root);
    if (FAILED(hr)) {
        if (root)
            D3DXFrameDestroy(root, allocator);
        return hr;
    }
    *frameHierarchy = root;
    if (animController) {
        auto sets = ReadAnimations(scene, root);
        if (!sets.empty())
            *animController = new AnimationController(std::move(sets));
    }
    return D3D_OK;
}

HRESULT D3DXLoadMeshHierarchyFromXW(const wchar_t* fileName, DWORD options, IDirect3DDevice9* device,
                                    ID3DXAllocateHierarchy* allocator, ID3DXLoadUserData* userDataLoader,
                                    D3DXFRAME** frameHierarchy, ID3DXAnimationController** animController) {
    QByteArray bytes;
    if (!ReadWholeFile(fileName, &bytes))
        return D3DERR_NOTFOUND;
    return D3DXLoadMeshHierarchyFromXInMemory(bytes.constData(), static_cast<DWORD>(bytes.size()), options,
                                              device, allocator, userDataLoader, frameHierarchy,
                                              animController);
}

HRESULT D3DXLoadMeshFromXW(const wchar_t* fileName, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                           DWORD* numMaterials, ID3DXMesh** mesh) {
    if (!device || !mesh)
        return D3DERR_INVALIDCALL;
    *mesh = nullptr;
    if (adjacency)
        *adjacency = nullptr;
    if (materials)
        *materials = nullptr;
    if (effectInstances)
        *effectInstances = nullptr;
    if (numMaterials)
        *numMaterials = 0;
    QByteArray bytes;
    if (!ReadWholeFile(fileName, &bytes))
        return D3DERR_NOTFOUND;
    Importer importer;
    const aiScene* scene = importer.Read(bytes.constData(), static_cast<DWORD>(bytes.size()));
    if (!scene)
        return E_FAIL;
    // The whole hierarchy collapsed into one mesh under its frame matrices.
    MergedMesh merged;
    std::vector<std::pair<unsigned, D3DXMATRIX>> placed;
    std::function<void(const aiNode*, const D3DXMATRIX&, int)> walk =
        [&](const aiNode* n, const D3DXMATRIX& parent, int depth) {
            if (depth > 256)
                return;
            const D3DXMATRIX combined = ToD3DX(n->mTransformation) * parent;
            for (unsigned i = 0; i < n->mNumMeshes; ++i)
                if (n->mMeshes[i] < scene->mNumMeshes)
                    placed.push_back({n->mMeshes[i], combined});
            for (unsigned c = 0; c < n->mNumChildren; ++c)
                walk(n->mChildren[c], combined, depth + 1);
        };
    walk(scene->mRootNode, D3DXMATRIX(D3DMatrixIdentity()), 0);
    if (placed.empty())
        return E_FAIL;
    // Merge per mesh (each with its own matrix), then renumber the materials over the whole file.
    std::vector<unsigned> allMaterialIds;
    allMaterialIds.reserve(placed.size());
    for (const auto& [mi, m] : placed)
        allMaterialIds.push_back(scene->mMeshes[mi]->mMaterialIndex);
    std::sort(allMaterialIds.begin(), allMaterialIds.end());
    allMaterialIds.erase(std::unique(allMaterialIds.begin(), allMaterialIds.end()), allMaterialIds.end());
    for (const auto& [mi, m] : placed) {
        MergedMesh part;
        if (!MergeNodeMeshes(scene, {mi}, &m, &part))
            return E_FAIL;
        const auto base = static_cast<DWORD>(merged.positions.size());
        merged.normals = merged.normals || part.normals;
        merged.texcoords = merged.texcoords || part.texcoords;
        merged.hasMaterials = merged.hasMaterials || part.hasMaterials;
        merged.positions.insert(merged.positions.end(), part.positions.begin(), part.positions.end());
        merged.normalList.insert(merged.normalList.end(), part.normalList.begin(), part.normalList.end());
        merged.uvs.insert(merged.uvs.end(), part.uvs.begin(), part.uvs.end());
        const auto attrib = static_cast<DWORD>(std::lower_bound(allMaterialIds.begin(), allMaterialIds.end(),
                                                                scene->mMeshes[mi]->mMaterialIndex) -
                                               allMaterialIds.begin());
        for (const auto& f : part.faces) {
            merged.faces.push_back({f[0] + base, f[1] + base, f[2] + base});
            merged.attributes.push_back(attrib);
        }
    }
    for (unsigned id : allMaterialIds)
        merged.materials.push_back(id < scene->mNumMaterials ? ReadMaterial(scene->mMaterials[id])
                                                             : LoadedMaterial{});
    HRESULT hr = CreateD3DXMesh(merged, options, device, mesh);
    if (FAILED(hr))
        return hr;
    if (adjacency) {
        D3DXCreateBuffer(static_cast<DWORD>(merged.faces.size() * 3 * sizeof(DWORD)), adjacency);
        (*mesh)->GenerateAdjacency(0.0f, static_cast<DWORD*>((*adjacency)->GetBufferPointer()));
    }
    const DWORD count = merged.hasMaterials ? static_cast<DWORD>(merged.materials.size()) : 0;
    if (numMaterials)
        *numMaterials = count;
    if (materials && count > 0) {
        // Records followed by the texture names they point at.
        size_t names = 0;
        for (const auto& m : merged.materials)
            names += m.texture.empty() ? 0 : m.texture.size() + 1;
        D3DXCreateBuffer(static_cast<DWORD>(count * sizeof(D3DXMATERIAL) + names), materials);
        auto* base = static_cast<BYTE*>((*materials)->GetBufferPointer());
        auto* recs = reinterpret_cast<D3DXMATERIAL*>(base);
        char* text = reinterpret_cast<char*>(base + count * sizeof(D3DXMATERIAL));
        for (DWORD i = 0; i < count; ++i) {
            D3DXMATERIAL r;
            r.MatD3D = merged.materials[i].mat;
            if (!merged.materials[i].texture.empty()) {
                std::memcpy(text, merged.materials[i].texture.c_str(),
                            merged.materials[i].texture.size() + 1);
                r.pTextureFilename = text;
                text += merged.materials[i].texture.size() + 1;
            }
            recs[i] = r;
        }
    }
    if (effectInstances)
        D3DXCreateBuffer(static_cast<DWORD>(std::max<DWORD>(count, 1) * sizeof(D3DXEFFECTINSTANCE)),
                         effectInstances);
    (void)CopyName;
    return D3D_OK;
}

} // namespace orv
