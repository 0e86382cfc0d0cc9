#include "NullDevice.h"

#include "graphics3d/framework/d3dx/D3DX9Mesh.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

using namespace orv;

namespace {

// Keeps what the loader hands over, as a scene's allocator would.
class TestAllocator : public ID3DXAllocateHierarchy {
public:
    HRESULT CreateFrame(const char* name, D3DXFRAME** newFrame) override {
        auto* f = new D3DXFRAME;
        f->Name = Copy(name);
        D3DXMatrixIdentity(&f->TransformationMatrix);
        *newFrame = f;
        ++frames;
        return S_OK;
    }
    HRESULT CreateMeshContainer(const char* name, const D3DXMESHDATA* meshData, const D3DXMATERIAL* materials,
                                const D3DXEFFECTINSTANCE*, DWORD numMaterials, const DWORD* adjacency,
                                ID3DXSkinInfo* skinInfo, D3DXMESHCONTAINER** out) override {
        auto* mc = new D3DXMESHCONTAINER;
        mc->Name = Copy(name);
        mc->MeshData = *meshData;
        meshData->pMesh->AddRef();
        mc->NumMaterials = numMaterials;
        if (numMaterials) {
            mc->pMaterials = new D3DXMATERIAL[numMaterials];
            for (DWORD i = 0; i < numMaterials; ++i) {
                mc->pMaterials[i].MatD3D = materials[i].MatD3D;
                mc->pMaterials[i].pTextureFilename = Copy(materials[i].pTextureFilename);
            }
        }
        const DWORD faces = meshData->pMesh->GetNumFaces();
        mc->pAdjacency = new DWORD[faces * 3];
        std::memcpy(mc->pAdjacency, adjacency, faces * 3 * sizeof(DWORD));
        mc->pSkinInfo = skinInfo;
        if (skinInfo)
            skinInfo->AddRef();
        *out = mc;
        ++containers;
        return S_OK;
    }
    HRESULT DestroyFrame(D3DXFRAME* f) override {
        delete[] f->Name;
        delete f;
        --frames;
        return S_OK;
    }
    HRESULT DestroyMeshContainer(D3DXMESHCONTAINER* mc) override {
        delete[] mc->Name;
        for (DWORD i = 0; i < mc->NumMaterials; ++i)
            delete[] mc->pMaterials[i].pTextureFilename;
        delete[] mc->pMaterials;
        delete[] mc->pAdjacency;
        SafeRelease(mc->MeshData.pMesh);
        SafeRelease(mc->pSkinInfo);
        delete mc;
        --containers;
        return S_OK;
    }
    static char* Copy(const char* s) {
        if (!s)
            return nullptr;
        char* c = new char[std::strlen(s) + 1];
        std::strcpy(c, s);
        return c;
    }
    int frames = 0, containers = 0;
};

class XFileTest : public ::testing::Test {
protected:
    test::NullDeviceFixture fixture;
    TestAllocator alloc;
    IDirect3DDevice9* device() { return fixture.device(); }
};

D3DXMATRIX Combined(D3DXFRAME* root, const char* name) {
    // Walk down from the root to the frame, multiplying the local matrices.
    std::function<bool(D3DXFRAME*, const D3DXMATRIX&, D3DXMATRIX*)> walk =
        [&](D3DXFRAME* f, const D3DXMATRIX& p, D3DXMATRIX* out) {
            for (; f; f = f->pFrameSibling) {
                const D3DXMATRIX c = f->TransformationMatrix * p;
                if (f->Name && std::strcmp(f->Name, name) == 0) {
                    *out = c;
                    return true;
                }
                if (walk(f->pFrameFirstChild, c, out))
                    return true;
            }
            return false;
        };
    D3DXMATRIX out, id;
    D3DXMatrixIdentity(&id);
    D3DXMatrixIdentity(&out);
    walk(root, id, &out);
    return out;
}

TEST_F(XFileTest, TinyHierarchySkinAndWalk) {
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* anim = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXW(test::MediaPath("tiny.x").c_str(), D3DXMESH_MANAGED, device(),
                                          &alloc, nullptr, &root, &anim),
              D3D_OK);
    ASSERT_NE(root, nullptr);
    ASSERT_NE(anim, nullptr);
    EXPECT_STREQ(root->Name, "Scene_Root");
    D3DXFRAME* pelvis = D3DXFrameFind(root, "Pelvis");
    ASSERT_NE(pelvis, nullptr);
    ASSERT_NE(pelvis->pFrameFirstChild, nullptr);
    EXPECT_STREQ(pelvis->pFrameFirstChild->Name, "Spine1");
    D3DXFRAME* calf = D3DXFrameFind(root, "L_Calf");
    ASSERT_NE(calf, nullptr);
    EXPECT_STREQ(calf->pFrameFirstChild->Name, "L_Foot");
    EXPECT_GE(D3DXFrameNumNamedMatrices(root), 26u);

    D3DXFRAME* body = D3DXFrameFind(root, "Body");
    ASSERT_NE(body, nullptr);
    ASSERT_NE(body->pMeshContainer, nullptr);
    EXPECT_EQ(alloc.containers, 1);
    D3DXMESHCONTAINER* mc = body->pMeshContainer;
    EXPECT_EQ(mc->NumMaterials, 4u);
    ASSERT_NE(mc->pMaterials[0].pTextureFilename, nullptr);
    EXPECT_STREQ(mc->pMaterials[0].pTextureFilename, "tiny_skin.png");
    EXPECT_STREQ(mc->pMaterials[1].pTextureFilename, "tiny_cloth.png");
    EXPECT_EQ(mc->pMaterials[2].pTextureFilename, nullptr);
    ID3DXMesh* mesh = mc->MeshData.pMesh;
    EXPECT_EQ(mesh->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    // Corners welded back: far fewer vertices than three per face.
    EXPECT_LT(mesh->GetNumVertices(), mesh->GetNumFaces() * 3 / 2);

    // Skin: every bone named after a frame, offsets undo the bind pose.
    ID3DXSkinInfo* skin = mc->pSkinInfo;
    ASSERT_NE(skin, nullptr);
    EXPECT_GE(skin->GetNumBones(), 20u);
    DWORD maxVertexInfluences = 0;
    skin->GetMaxVertexInfluences(&maxVertexInfluences);
    EXPECT_GE(maxVertexInfluences, 2u);
    EXPECT_LE(maxVertexInfluences, 4u);
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
        ASSERT_NE(D3DXFrameFind(root, skin->GetBoneName(b)), nullptr) << skin->GetBoneName(b);
        const D3DXMATRIX product = *skin->GetBoneOffsetMatrix(b) * Combined(root, skin->GetBoneName(b));
        for (int i = 0; i < 16; ++i)
            EXPECT_NEAR(product.m[i / 4][i % 4], i % 5 == 0 ? 1.0f : 0.0f, 1e-4f) << skin->GetBoneName(b);
    }
    for (DWORD b = 0; b < skin->GetNumBones(); ++b) {
        if (std::strcmp(skin->GetBoneName(b), "Pelvis") == 0) {
            EXPECT_NEAR(skin->GetBoneOffsetMatrix(b)->m[3][1], -1.0f, 1e-5f);
        }
    }

    // Blended mesh: groups within four matrices; with one matrix fewer some fit and some do not.
    DWORD influences = 0, groups = 0;
    ID3DXBuffer* combos = nullptr;
    ID3DXMesh* blended = nullptr;
    ASSERT_EQ(skin->ConvertToBlendedMesh(mesh, D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE, mc->pAdjacency,
                                         nullptr, nullptr, nullptr, &influences, &groups, &combos, &blended),
              D3D_OK);
    EXPECT_GE(influences, 3u);
    EXPECT_LE(influences, 4u);
    EXPECT_GT(groups, 4u);
    auto* c = static_cast<D3DXBONECOMBINATION*>(combos->GetBufferPointer());
    int fit = 0, exceed = 0;
    for (DWORD g = 0; g < groups; ++g) {
        DWORD used = 0;
        for (DWORD i = 0; i < influences; ++i)
            used += c[g].BoneId[i] != UNUSED32 ? 1u : 0u;
        EXPECT_GE(used, 1u);
        (used <= influences - 1 ? fit : exceed)++;
    }
    EXPECT_GT(fit, 0);
    EXPECT_GT(exceed, 0);
    combos->Release();
    blended->Release();

    // The walk: about four seconds, keys move the legs, and the cycle comes back.
    EXPECT_NEAR(anim->GetPeriod(), 4.0, 0.01);
    D3DXFRAME* thigh = D3DXFrameFind(root, "L_Thigh");
    anim->AdvanceTime(1.0 / 3.0, nullptr);
    // At a third of a second the left thigh swings forward by 0.45 rad about x.
    EXPECT_NEAR(thigh->TransformationMatrix.m[1][1], std::cos(0.45f), 1e-3f);
    EXPECT_NEAR(thigh->TransformationMatrix.m[1][2], std::sin(0.45f), 1e-3f);
    EXPECT_NEAR(thigh->TransformationMatrix.m[3][0], 0.1f, 1e-4f);
    EXPECT_NEAR(thigh->TransformationMatrix.m[3][1], -0.05f, 1e-4f);
    const D3DXMATRIX atThird = thigh->TransformationMatrix;
    anim->AdvanceTime(0.5, nullptr);
    EXPECT_GT(std::fabs(thigh->TransformationMatrix.m[1][2] - atThird.m[1][2]), 0.1f);
    anim->AdvanceTime(anim->GetPeriod() - 0.5, nullptr);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(thigh->TransformationMatrix.m[i / 4][i % 4], atThird.m[i / 4][i % 4], 1e-4f);

    D3DXVECTOR3 centre;
    float radius = 0;
    ASSERT_EQ(D3DXFrameCalculateBoundingSphere(root, &centre, &radius), D3D_OK);
    EXPECT_GT(radius, 0.8f);
    EXPECT_LT(radius, 1.5f);
    EXPECT_GT(centre.y, 0.5f);

    anim->Release();
    EXPECT_EQ(D3DXFrameDestroy(root, &alloc), D3D_OK);
    EXPECT_EQ(alloc.frames, 0);
    EXPECT_EQ(alloc.containers, 0);
}

// A vertex shared by faces of different bone groups is copied into each group; every copy must blend
// the same bones by the same weights, or the skin cracks along group borders once the bones move.
TEST_F(XFileTest, TinyBlendedCopiesOfOneVertexCarryEqualWeights) {
    D3DXFRAME* root = nullptr;
    ID3DXAnimationController* anim = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXW(test::MediaPath("tiny.x").c_str(), D3DXMESH_MANAGED, device(),
                                          &alloc, nullptr, &root, &anim),
              D3D_OK);
    D3DXMESHCONTAINER* mc = D3DXFrameFind(root, "Body")->pMeshContainer;
    ID3DXSkinInfo* skin = mc->pSkinInfo;
    ID3DXMesh* mesh = mc->MeshData.pMesh;
    DWORD sourceFaceBonesMax = 0;
    IDirect3DIndexBuffer9* ib = nullptr;
    mesh->GetIndexBuffer(&ib);
    skin->GetMaxFaceInfluences(ib, mesh->GetNumFaces(), &sourceFaceBonesMax);
    ib->Release();
    // The case that needs the per-vertex decision: faces touching more bones than can blend.
    EXPECT_GT(sourceFaceBonesMax, 4u);

    DWORD influences = 0, groups = 0;
    ID3DXBuffer* combos = nullptr;
    ID3DXBuffer* remap = nullptr;
    ID3DXMesh* blended = nullptr;
    ASSERT_EQ(skin->ConvertToBlendedMesh(mesh, D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE, mc->pAdjacency,
                                         nullptr, nullptr, &remap, &influences, &groups, &combos, &blended),
              D3D_OK);
    ASSERT_GE(influences, 2u);
    const auto* c = static_cast<D3DXBONECOMBINATION*>(combos->GetBufferPointer());
    const auto* sourceOf = static_cast<DWORD*>(remap->GetBufferPointer());
    const DWORD stride = blended->GetNumBytesPerVertex();
    BYTE* vertices = nullptr;
    ASSERT_EQ(blended->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices)), D3D_OK);
    std::map<DWORD, std::map<DWORD, float>> first; // source vertex -> bone -> weight of its first copy
    int copiesCompared = 0;
    for (DWORD g = 0; g < groups; ++g) {
        for (DWORD v = c[g].VertexStart; v < c[g].VertexStart + c[g].VertexCount; ++v) {
            float w[4] = {0, 0, 0, 0};
            std::memcpy(w, vertices + static_cast<size_t>(v) * stride + 12, 4 * (influences - 1));
            float last = 1.0f;
            std::map<DWORD, float> byBone;
            for (DWORD i = 0; i < influences; ++i) {
                const float weight = i + 1 < influences ? w[i] : last;
                last -= i + 1 < influences ? w[i] : 0.0f;
                if (c[g].BoneId[i] != UNUSED32 && std::fabs(weight) > 1e-6f)
                    byBone[c[g].BoneId[i]] += weight;
                else
                    EXPECT_NEAR(weight, 0.0f, 1e-5f) << "weight on an empty slot, group " << g;
            }
            auto [it, inserted] = first.emplace(sourceOf[v], byBone);
            if (inserted)
                continue;
            ++copiesCompared;
            ASSERT_EQ(it->second.size(), byBone.size()) << "source vertex " << sourceOf[v];
            for (const auto& [bone, weight] : byBone) {
                ASSERT_TRUE(it->second.count(bone)) << "source vertex " << sourceOf[v] << " bone " << bone;
                EXPECT_NEAR(it->second[bone], weight, 1e-5f) << "source vertex " << sourceOf[v];
            }
        }
    }
    blended->UnlockVertexBuffer();
    EXPECT_GT(copiesCompared, 50);
    combos->Release();
    remap->Release();
    blended->Release();
    anim->Release();
    D3DXFrameDestroy(root, &alloc);
}

TEST_F(XFileTest, EveryGeneratedMeshLoads) {
    for (const char* name :
         {"room.x", "airplane/airplane 2.x", "misc/car.x", "misc/sphere.x", "UI/arrow.x", "ring.x",
          "spotlight.x", "misc/cell.x", "misc/seafloor.x", "misc/sphere0.x", "dwarf/dwarf.x"}) {
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* adjacency = nullptr;
        ID3DXBuffer* materials = nullptr;
        DWORD count = 0;
        ASSERT_EQ(D3DXLoadMeshFromXW(test::MediaPath(name).c_str(), D3DXMESH_MANAGED, device(), &adjacency,
                                     &materials, nullptr, &count, &mesh),
                  D3D_OK)
            << name;
        EXPECT_GE(count, 1u) << name;
        EXPECT_GT(mesh->GetNumFaces(), 10u) << name;
        EXPECT_EQ(mesh->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1) << name;
        auto* m = static_cast<D3DXMATERIAL*>(materials->GetBufferPointer());
        for (DWORD i = 0; i < count; ++i) {
            if (m[i].pTextureFilename) {
                EXPECT_TRUE(QFile::exists(QFileInfo(QString::fromStdWString(test::MediaPath(name))).path() +
                                          "/" + m[i].pTextureFilename))
                    << name << " " << m[i].pTextureFilename;
            }
        }
        mesh->Release();
        adjacency->Release();
        materials->Release();
    }
}

// Every edge of the character is shared by exactly two faces running in opposite directions.
TEST_F(XFileTest, DwarfIsWatertightWithConsistentWinding) {
    ID3DXMesh* mesh = nullptr;
    DWORD count = 0;
    ASSERT_EQ(D3DXLoadMeshFromXW(test::MediaPath("dwarf/dwarf.x").c_str(), D3DXMESH_MANAGED, device(),
                                 nullptr, nullptr, nullptr, &count, &mesh),
              D3D_OK);
    EXPECT_GE(mesh->GetNumFaces(), 3000u);
    std::vector<DWORD> adjacency(mesh->GetNumFaces() * 3), reps(mesh->GetNumVertices());
    mesh->GenerateAdjacency(0.0001f, adjacency.data());
    mesh->ConvertAdjacencyToPointReps(adjacency.data(), reps.data());
    std::map<std::pair<DWORD, DWORD>, int> edges;
    WORD* idx = nullptr;
    ASSERT_FALSE(mesh->GetOptions() & D3DXMESH_32BIT);
    mesh->LockIndexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&idx));
    for (DWORD f = 0; f < mesh->GetNumFaces(); ++f)
        for (int e = 0; e < 3; ++e)
            edges[{reps[idx[f * 3 + e]], reps[idx[f * 3 + (e + 1) % 3]]}]++;
    mesh->UnlockIndexBuffer();
    int bad = 0;
    for (const auto& [edge, n] : edges) {
        auto back = edges.find({edge.second, edge.first});
        if (n != 1 || back == edges.end() || back->second != 1)
            ++bad;
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(edges.size(), mesh->GetNumFaces() * 3u);
    // Clockwise seen from outside: the face normals point away from the middle on the whole.
    float* v = nullptr;
    mesh->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    mesh->LockIndexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&idx));
    double volume = 0;
    const DWORD stride = mesh->GetNumBytesPerVertex() / 4;
    for (DWORD f = 0; f < mesh->GetNumFaces(); ++f) {
        D3DXVECTOR3 p[3];
        for (int k = 0; k < 3; ++k) {
            const float* q = v + idx[f * 3 + k] * stride;
            p[k] = D3DXVECTOR3(q[0], q[1], q[2]);
        }
        D3DXVECTOR3 c;
        D3DXVec3Cross(&c, &p[1], &p[2]);
        volume += D3DXVec3Dot(&p[0], &c);
    }
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    EXPECT_GT(volume, 0.0);
    mesh->Release();
}

TEST_F(XFileTest, FileContentKeepsItsHandednessAndWinding) {
    const QString dir = test::MakeTempDir("xfile");
    QFile f(dir + "/tri.x");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "xof 0303txt 0032\nFrame F {\n FrameTransformMatrix {\n  "
        "1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,2.0,3.0,-4.0,1.0;;\n }\n"
        " Mesh M {\n  4;\n  0;0;-1;,\n  0;1;-1;,\n  1;0;-1;,\n  1;1;-1;;\n  2;\n  3;0,1,2;,\n  3;1,3,2;;\n"
        "  MeshTextureCoords { 4; 0;0;, 0;1;, 1;0;, 1;1;; }\n }\n}\n");
    f.close();
    D3DXFRAME* root = nullptr;
    ASSERT_EQ(D3DXLoadMeshHierarchyFromXW((dir + "/tri.x").toStdWString().c_str(), D3DXMESH_MANAGED, device(),
                                          &alloc, nullptr, &root, nullptr),
              D3D_OK);
    EXPECT_FLOAT_EQ(root->TransformationMatrix.m[3][2], -4.0f);
    D3DXMESHCONTAINER* mc = root->pMeshContainer;
    ASSERT_NE(mc, nullptr);
    // No material list: no materials.
    EXPECT_EQ(mc->NumMaterials, 0u);
    ID3DXMesh* mesh = mc->MeshData.pMesh;
    EXPECT_EQ(mesh->GetNumVertices(), 4u);
    float* v = nullptr;
    WORD* idx = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    const DWORD stride = mesh->GetNumBytesPerVertex() / 4;
    auto pos = [&](int corner) {
        return D3DXVECTOR3(v[idx[corner] * stride], v[idx[corner] * stride + 1], v[idx[corner] * stride + 2]);
    };
    // The first face in the file's order of corners, z untouched.
    EXPECT_EQ(pos(0), D3DXVECTOR3(0, 0, -1));
    EXPECT_EQ(pos(1), D3DXVECTOR3(0, 1, -1));
    EXPECT_EQ(pos(2), D3DXVECTOR3(1, 0, -1));
    // Texture coordinates as written.
    EXPECT_FLOAT_EQ(v[idx[1] * stride + 4], 1.0f);
    mesh->UnlockIndexBuffer();
    mesh->UnlockVertexBuffer();
    D3DXFrameDestroy(root, &alloc);

    // The whole-file loader gives no materials either.
    ID3DXMesh* flat = nullptr;
    DWORD count = 7;
    ID3DXBuffer* materials = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXW((dir + "/tri.x").toStdWString().c_str(), D3DXMESH_MANAGED, device(), nullptr,
                                 &materials, nullptr, &count, &flat),
              D3D_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(materials, nullptr);
    // Frame matrices are applied to the collapsed mesh.
    flat->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    EXPECT_FLOAT_EQ(v[2], -5.0f);
    flat->UnlockVertexBuffer();
    flat->Release();
}

TEST_F(XFileTest, MissingOrMalformedFilesFail) {
    ID3DXMesh* mesh = nullptr;
    EXPECT_TRUE(FAILED(D3DXLoadMeshFromXW(L"/nonexistent/none.x", D3DXMESH_MANAGED, device(), nullptr,
                                          nullptr, nullptr, nullptr, &mesh)));
    EXPECT_EQ(mesh, nullptr);
    const char* bad[] = {
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n",
        "xof 0303txt 0032\nFrame A { Frame B { Mesh { 99999; ", "not an x file at all",
        "xof 0303bin 0032\x01\x02\x03",
        // Counts and indices that do not agree with the data.
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
        " MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }\n",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
        " MeshMaterialList { 1; 1; 3;; Material { 1;1;1;1;; 1; 0;0;0;; 0;0;0;; } } }\n",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
        " SkinWeights { \"b\"; 1; 9; 1.0; 1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1;; } }\n",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
        " MeshTextureCoords { 2; 0;0;, 1;1;; } }\n",
        "xof 0303txt 0032\nAnimationSet { Animation { { F } AnimationKey { 0; 1; 0; 3; 1,0,0;;; } } }\n"};
    for (const char* text : bad) {
        D3DXFRAME* root = nullptr;
        EXPECT_TRUE(FAILED(D3DXLoadMeshHierarchyFromXInMemory(text, static_cast<DWORD>(std::strlen(text)),
                                                              D3DXMESH_MANAGED, device(), &alloc, nullptr,
                                                              &root, nullptr)))
            << text;
        EXPECT_EQ(root, nullptr);
    }
    EXPECT_EQ(alloc.frames, 0);
}

} // namespace
