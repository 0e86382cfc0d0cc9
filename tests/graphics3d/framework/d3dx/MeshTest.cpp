#include "NullDevice.h"

#include "graphics3d/framework/d3dx/D3DX9Mesh.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>

using namespace orv;

namespace {

struct PosVertex {
    float x, y, z;
};

// A cube with four vertices per side (24 in all), clockwise seen from outside.
ID3DXMesh* MakeCube(IDirect3DDevice9* device, DWORD fvf = D3DFVF_XYZ) {
    ID3DXMesh* mesh = nullptr;
    if (FAILED(D3DXCreateMeshFVF(12, 24, D3DXMESH_MANAGED, fvf, device, &mesh)))
        return nullptr;
    const float n[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    BYTE* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    const DWORD stride = mesh->GetNumBytesPerVertex();
    std::vector<std::array<DWORD, 3>> faces;
    for (int s = 0; s < 6; ++s) {
        const D3DXVECTOR3 nn(n[s][0], n[s][1], n[s][2]);
        const D3DXVECTOR3 t1 = std::fabs(nn.y) > 0.5f ? D3DXVECTOR3(1, 0, 0) : D3DXVECTOR3(0, 1, 0);
        D3DXVECTOR3 t2;
        D3DXVec3Cross(&t2, &nn, &t1);
        const float k[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
        for (int c = 0; c < 4; ++c) {
            const D3DXVECTOR3 p = nn + t1 * k[c][0] + t2 * k[c][1];
            std::memcpy(v + (s * 4 + c) * stride, &p, 12);
        }
        const DWORD b = static_cast<DWORD>(s * 4);
        // Turn each triangle to face outwards.
        auto add = [&](DWORD a, DWORD bb, DWORD c) {
            D3DXVECTOR3 pa, pb, pc, e1, e2, fn;
            std::memcpy(&pa, v + a * stride, 12);
            std::memcpy(&pb, v + bb * stride, 12);
            std::memcpy(&pc, v + c * stride, 12);
            e1 = pb - pa;
            e2 = pc - pb;
            D3DXVec3Cross(&fn, &e1, &e2);
            if (D3DXVec3Dot(&fn, &nn) < 0)
                std::swap(bb, c);
            faces.push_back({a, bb, c});
        };
        add(b, b + 1, b + 2);
        add(b, b + 2, b + 3);
    }
    mesh->UnlockVertexBuffer();
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    for (size_t f = 0; f < faces.size(); ++f)
        for (int k = 0; k < 3; ++k)
            idx[f * 3 + k] = static_cast<WORD>(faces[f][k]);
    mesh->UnlockIndexBuffer();
    return mesh;
}

class MeshTest : public ::testing::Test {
protected:
    test::NullDeviceFixture fixture;
    IDirect3DDevice9* device() { return fixture.device(); }
};

// Two triangles over one edge that both run the same way (inconsistent winding): whatever adjacency says,
// a representative only ever stands for a vertex at its own position.
TEST_F(MeshTest, PointRepresentativesNeverJoinVerticesAtDifferentPlaces) {
    ASSERT_NE(device(), nullptr);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 6, D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ, device(), &mesh),
              D3D_OK);
    // Face 0: (0,0) -> (1,0) -> (0,1); face 1: (0,0) -> (1,0) -> (0,-1): edge (0,0)-(1,0) in both the same
    // way.
    const PosVertex p[6] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, -1, 0}};
    void* v = nullptr;
    mesh->LockVertexBuffer(0, &v);
    std::memcpy(v, p, sizeof p);
    mesh->UnlockVertexBuffer();
    DWORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    const DWORD faces[6] = {0, 1, 2, 3, 4, 5};
    std::memcpy(idx, faces, sizeof faces);
    mesh->UnlockIndexBuffer();

    std::vector<DWORD> adjacency(6), reps(6);
    ASSERT_EQ(mesh->GenerateAdjacency(0.0001f, adjacency.data()), D3D_OK);
    ASSERT_EQ(mesh->ConvertAdjacencyToPointReps(adjacency.data(), reps.data()), D3D_OK);
    for (DWORD i = 0; i < 6; ++i) {
        const PosVertex& a = p[i];
        const PosVertex& r = p[reps[i]];
        EXPECT_TRUE(a.x == r.x && a.y == r.y && a.z == r.z) << "vertex " << i << " stands for " << reps[i];
    }
    // Hand-made adjacency claiming the faces meet on edges whose ends lie elsewhere joins nothing.
    const std::vector<DWORD> claimed = {1, UNUSED32, UNUSED32, UNUSED32, 0, UNUSED32};
    ASSERT_EQ(mesh->ConvertAdjacencyToPointReps(claimed.data(), reps.data()), D3D_OK);
    for (DWORD i = 0; i < 6; ++i)
        EXPECT_EQ(reps[i], i);
    mesh->Release();
}

TEST_F(MeshTest, AdjacencyAndPointRepresentativesOfACube) {
    ASSERT_NE(device(), nullptr);
    ID3DXMesh* cube = MakeCube(device());
    ASSERT_NE(cube, nullptr);
    std::vector<DWORD> adjacency(36);
    ASSERT_EQ(cube->GenerateAdjacency(0.0001f, adjacency.data()), D3D_OK);
    for (DWORD f = 0; f < 12; ++f) {
        std::set<DWORD> neighbours;
        for (int e = 0; e < 3; ++e) {
            ASSERT_NE(adjacency[f * 3 + e], UNUSED32) << "face " << f;
            EXPECT_NE(adjacency[f * 3 + e], f);
            neighbours.insert(adjacency[f * 3 + e]);
            // Adjacency is mutual.
            const DWORD g = adjacency[f * 3 + e];
            EXPECT_TRUE(adjacency[g * 3] == f || adjacency[g * 3 + 1] == f || adjacency[g * 3 + 2] == f);
        }
        EXPECT_EQ(neighbours.size(), 3u);
    }
    std::vector<DWORD> reps(24);
    ASSERT_EQ(cube->ConvertAdjacencyToPointReps(adjacency.data(), reps.data()), D3D_OK);
    std::set<DWORD> distinct(reps.begin(), reps.end());
    EXPECT_EQ(distinct.size(), 8u);
    // Each representative is the lowest index at its corner, and shares its position.
    BYTE* v = nullptr;
    cube->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(&v));
    for (DWORD i = 0; i < 24; ++i) {
        EXPECT_LE(reps[i], i);
        EXPECT_EQ(std::memcmp(v + i * 12, v + reps[i] * 12, 12), 0);
    }
    cube->UnlockVertexBuffer();
    // Without adjacency every vertex stands for itself.
    cube->ConvertAdjacencyToPointReps(nullptr, reps.data());
    EXPECT_EQ(reps[23], 23u);
    // With a zero epsilon the split corners still match exactly.
    cube->GenerateAdjacency(0.0f, adjacency.data());
    EXPECT_EQ(std::count(adjacency.begin(), adjacency.end(), UNUSED32), 0);
    cube->Release();
}

TEST_F(MeshTest, CloneAddsNormalsAndComputeNormalsPointsOutwards) {
    ID3DXMesh* cube = MakeCube(device());
    ASSERT_NE(cube, nullptr);
    ID3DXMesh* withNormals = nullptr;
    ASSERT_EQ(cube->CloneMeshFVF(cube->GetOptions(), D3DFVF_XYZ | D3DFVF_NORMAL, device(), &withNormals),
              D3D_OK);
    EXPECT_EQ(withNormals->GetFVF(), D3DFVF_XYZ | D3DFVF_NORMAL);
    EXPECT_EQ(withNormals->GetNumBytesPerVertex(), 24u);
    EXPECT_EQ(withNormals->GetNumFaces(), 12u);
    ASSERT_EQ(D3DXComputeNormals(withNormals, nullptr), D3D_OK);
    float* v = nullptr;
    withNormals->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (DWORD i = 0; i < 24; ++i) {
        const D3DXVECTOR3 p(v[i * 6], v[i * 6 + 1], v[i * 6 + 2]),
            n(v[i * 6 + 3], v[i * 6 + 4], v[i * 6 + 5]);
        EXPECT_NEAR(D3DXVec3Length(&n), 1.0f, 1e-5f);
        EXPECT_GT(D3DXVec3Dot(&n, &p), 0.5f); // outwards
    }
    withNormals->UnlockVertexBuffer();
    // Normals cannot be computed into a mesh without them.
    EXPECT_NE(D3DXComputeNormals(cube, nullptr), D3D_OK);
    withNormals->Release();
    cube->Release();
}

TEST_F(MeshTest, OptimizeSortsAttributesAndDrawSubsetDrawsEachRange) {
    ID3DXMesh* cube = MakeCube(device());
    ASSERT_NE(cube, nullptr);
    DWORD* attr = nullptr;
    cube->LockAttributeBuffer(0, &attr);
    for (DWORD f = 0; f < 12; ++f)
        attr[f] = f % 3; // interleaved
    cube->UnlockAttributeBuffer();
    std::vector<DWORD> adjacency(36), adjOut(36), faceRemap(12);
    cube->GenerateAdjacency(0.0f, adjacency.data());
    ASSERT_EQ(cube->OptimizeInplace(D3DXMESHOPT_COMPACT | D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE,
                                    adjacency.data(), adjOut.data(), faceRemap.data(), nullptr),
              D3D_OK);
    DWORD size = 0;
    cube->GetAttributeTable(nullptr, &size);
    ASSERT_EQ(size, 3u);
    std::vector<D3DXATTRIBUTERANGE> table(size);
    cube->GetAttributeTable(table.data(), &size);
    for (DWORD i = 0; i < 3; ++i) {
        EXPECT_EQ(table[i].AttribId, i);
        EXPECT_EQ(table[i].FaceStart, i * 4);
        EXPECT_EQ(table[i].FaceCount, 4u);
    }
    // Faces moved with their attributes; the adjacency followed them.
    for (DWORD f = 0; f < 12; ++f)
        EXPECT_EQ(faceRemap[f] % 3, f / 4);
    for (DWORD f = 0; f < 12; ++f)
        for (int e = 0; e < 3; ++e) {
            const DWORD g = adjOut[f * 3 + e];
            ASSERT_LT(g, 12u);
            EXPECT_EQ(adjacency[faceRemap[f] * 3 + e], faceRemap[g]);
        }
    device()->BeginScene();
    const int before = fixture.control()->Count("Draw");
    EXPECT_EQ(cube->DrawSubset(1), D3D_OK);
    EXPECT_EQ(fixture.control()->Count("Draw"), before + 1);
    EXPECT_EQ(cube->DrawSubset(7), D3D_OK); // no such subset: nothing drawn
    EXPECT_EQ(fixture.control()->Count("Draw"), before + 1);
    device()->EndScene();
    cube->Release();
}

TEST_F(MeshTest, CompactionDropsUnusedVerticesAndDegenerateFaces) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 5, D3DXMESH_MANAGED, D3DFVF_XYZ, device(), &mesh), D3D_OK);
    PosVertex* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (int i = 0; i < 5; ++i)
        v[i] = {static_cast<float>(i), 0, 0};
    mesh->UnlockVertexBuffer();
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    const WORD faces[6] = {4, 2, 0, 1, 1, 3};
    std::memcpy(idx, faces, sizeof faces);
    mesh->UnlockIndexBuffer();
    ID3DXBuffer* remap = nullptr;
    ASSERT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, &remap), D3D_OK);
    EXPECT_EQ(mesh->GetNumFaces(), 1u);
    EXPECT_EQ(mesh->GetNumVertices(), 3u);
    const auto* oldOfNew = static_cast<DWORD*>(remap->GetBufferPointer());
    EXPECT_EQ(oldOfNew[0], 4u);
    EXPECT_EQ(oldOfNew[1], 2u);
    EXPECT_EQ(oldOfNew[2], 0u);
    remap->Release();
    mesh->Release();
}

TEST_F(MeshTest, BoundingSphereOfPoints) {
    const D3DXVECTOR3 p[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 3, 0}, {0, -3, 0}};
    D3DXVECTOR3 c;
    float r = 0;
    ASSERT_EQ(D3DXComputeBoundingSphere(p, 4, sizeof(D3DXVECTOR3), &c, &r), D3D_OK);
    EXPECT_EQ(c, D3DXVECTOR3(0, 0, 0));
    EXPECT_FLOAT_EQ(r, 3.0f);
    EXPECT_NE(D3DXComputeBoundingSphere(p, 0, sizeof(D3DXVECTOR3), &c, &r), D3D_OK);
}

// Skinned strip: faces 0..3 influenced by growing sets of bones.
TEST_F(MeshTest, BlendedMeshGroupsFacesByBonesAndAttributes) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(4, 12, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_NORMAL, device(), &mesh),
              D3D_OK);
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    for (WORD i = 0; i < 12; ++i)
        idx[i] = i;
    mesh->UnlockIndexBuffer();
    DWORD* attr = nullptr;
    mesh->LockAttributeBuffer(0, &attr);
    attr[0] = attr[1] = 0;
    attr[2] = attr[3] = 1;
    mesh->UnlockAttributeBuffer();
    ID3DXSkinInfo* skin = nullptr;
    ASSERT_EQ(D3DXCreateSkinInfoFVF(12, D3DFVF_XYZ | D3DFVF_NORMAL, 6, &skin), D3D_OK);
    // Bone b weighs on listed vertices.
    auto set = [&](DWORD bone, std::vector<DWORD> verts, float w) {
        std::vector<float> weights(verts.size(), w);
        skin->SetBoneInfluence(bone, static_cast<DWORD>(verts.size()), verts.data(), weights.data());
    };
    set(0, {0, 1, 2}, 1.0f);    // face 0: bone 0
    set(1, {3, 4, 5, 6}, 0.5f); // face 1: bones 1, 2; face 2 vertex 6
    set(2, {3, 4, 5}, 0.5f);
    set(3, {6, 7, 8, 9}, 0.5f); // face 2: bones 1, 3, 4; face 3: bones 3, 5
    set(4, {7, 8}, 0.5f);
    set(5, {9, 10, 11}, 0.5f);
    for (DWORD b = 0; b < 6; ++b)
        skin->SetBoneName(b, ("bone" + std::to_string(b)).c_str());
    DWORD influences = 0, groups = 0;
    ID3DXBuffer* combos = nullptr;
    ID3DXMesh* blended = nullptr;
    ASSERT_EQ(skin->ConvertToBlendedMesh(mesh, D3DXMESH_MANAGED | D3DXMESHOPT_VERTEXCACHE, nullptr, nullptr,
                                         nullptr, nullptr, &influences, &groups, &combos, &blended),
              D3D_OK);
    EXPECT_EQ(influences, 3u);
    // Attribute 0: faces 0 and 1 share one group (bones 0, 1, 2); attribute 1: faces 2 (1, 3, 4) and 3 (3, 5)
    // cannot share three slots.
    ASSERT_EQ(groups, 3u);
    auto* c = static_cast<D3DXBONECOMBINATION*>(combos->GetBufferPointer());
    EXPECT_EQ(c[0].AttribId, 0u);
    EXPECT_EQ(c[0].FaceCount, 2u);
    EXPECT_EQ(c[1].AttribId, 1u);
    EXPECT_EQ(c[2].AttribId, 1u);
    auto used = [&](DWORD g) {
        DWORD n = 0;
        for (DWORD i = 0; i < influences; ++i)
            n += c[g].BoneId[i] != UNUSED32 ? 1u : 0u;
        return n;
    };
    EXPECT_EQ(used(0), 3u);
    EXPECT_EQ(used(1), 3u);
    EXPECT_EQ(used(2), 2u);
    EXPECT_EQ(c[2].BoneId[2], UNUSED32);
    // With a limit of two blend matrices, only the last group fits.
    DWORD firstSoftware = groups;
    for (DWORD g = 0; g < groups && firstSoftware == groups; ++g)
        if (used(g) > 2)
            firstSoftware = g;
    EXPECT_EQ(firstSoftware, 0u);
    // The blended mesh: position, two weights, normal; one subset per group.
    EXPECT_EQ(blended->GetFVF(), D3DFVF_XYZB2 | D3DFVF_NORMAL);
    EXPECT_EQ(blended->GetNumFaces(), 4u);
    DWORD size = 0;
    blended->GetAttributeTable(nullptr, &size);
    EXPECT_EQ(size, 3u);
    // Weights of a vertex of face 1 (bones 1 and 2 at 0.5 each, bone 0 slot empty).
    float* v = nullptr;
    blended->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    const DWORD stride = blended->GetNumBytesPerVertex() / 4;
    const DWORD vertex = c[0].VertexStart + 3; // face 1's first vertex within group 0
    EXPECT_FLOAT_EQ(v[vertex * stride + 3], 0.0f);
    EXPECT_FLOAT_EQ(v[vertex * stride + 4], 0.5f);
    blended->UnlockVertexBuffer();
    combos->Release();
    blended->Release();
    skin->Release();
    mesh->Release();
}

} // namespace
