// The shadow-volume builder on the null back end: closed models, holes and their patches, inconsistent
// winding, the 16/32-bit index boundary, and the generated character.
#include "SceneTestSupport.h"
#include "graphics3d/scenes/RenderUnit3.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"

#include <QWindow>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

using namespace orv;
using namespace orv::RenderUnit3;

namespace {

using Face = std::array<DWORD, 3>;

struct Geometry {
    std::vector<D3DXVECTOR3> positions;
    std::vector<Face> faces;

    void Append(const Geometry& g, const D3DXVECTOR3& offset) {
        const auto base = static_cast<DWORD>(positions.size());
        for (const auto& p : g.positions)
            positions.push_back(p + offset);
        for (const auto& f : g.faces)
            faces.push_back({f[0] + base, f[1] + base, f[2] + base});
    }
};

// A closed tetrahedron, every face turned the same way.
Geometry Tetrahedron() {
    return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}}};
}

// Two triangles of a square sharing its diagonal (four hole edges).
Geometry Square() {
    return {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}};
}

class ShadowVolumeTest : public ::testing::Test {
protected:
    void SetUp() override {
        cfg = DefaultNullConfig();
        d3d = CreateNullDirect3D(cfg);
        D3DPRESENT_PARAMETERS pp = test::WindowedParameters(64, 64, &window);
        ASSERT_EQ(
            d3d->CreateDevice(0, D3DDEVTYPE_HAL, &window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp, &device),
            D3D_OK);
    }
    void TearDown() override {
        SafeRelease(volume);
        SafeRelease(device);
        SafeRelease(d3d);
    }

    ID3DXMesh* MakeMesh(const Geometry& g) {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateMeshFVF(static_cast<DWORD>(g.faces.size()),
                                    static_cast<DWORD>(g.positions.size()), D3DXMESH_MANAGED | D3DXMESH_32BIT,
                                    D3DFVF_XYZ | D3DFVF_NORMAL, device, &mesh),
                  D3D_OK);
        float* v = nullptr;
        mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
        for (size_t i = 0; i < g.positions.size(); ++i) {
            std::memcpy(v + i * 6, &g.positions[i], 12);
            std::memset(v + i * 6 + 3, 0, 12);
        }
        mesh->UnlockVertexBuffer();
        DWORD* idx = nullptr;
        mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
        std::memcpy(idx, g.faces.data(), g.faces.size() * sizeof(Face));
        mesh->UnlockIndexBuffer();
        return mesh;
    }

    HRESULT Build(const Geometry& g) {
        ID3DXMesh* mesh = MakeMesh(g);
        SafeRelease(volume);
        const HRESULT hr = BuildShadowVolumeMesh(device, mesh, &volume, &stats);
        mesh->Release();
        return hr;
    }

    // Directed edges that no triangle runs the other way once the vertices of faces turned away from a
    // light are pushed away from it, as the effect does: zero for a volume that stays closed.
    int OpenEdges(const D3DXVECTOR3& light = D3DXVECTOR3(3, 5, -4)) const {
        const bool wide = (volume->GetOptions() & D3DXMESH_32BIT) != 0;
        const BYTE* v = nullptr;
        void* idx = nullptr;
        volume->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(const_cast<BYTE**>(&v)));
        volume->LockIndexBuffer(D3DLOCK_READONLY, &idx);
        using Point = std::array<long, 3>;
        const auto placed = [&](DWORD i) {
            D3DXVECTOR3 p, n;
            std::memcpy(&p, v + static_cast<size_t>(i) * 24, 12);
            std::memcpy(&n, v + static_cast<size_t>(i) * 24 + 12, 12);
            D3DXVECTOR3 away = p - light;
            if (D3DXVec3Dot(&n, &away) > 0) {
                D3DXVec3Normalize(&away, &away);
                p += away * 50.0f;
            }
            return Point{std::lround(p.x * 1000), std::lround(p.y * 1000), std::lround(p.z * 1000)};
        };
        std::map<std::pair<Point, Point>, int> count;
        for (DWORD f = 0; f < volume->GetNumFaces(); ++f) {
            Point t[3];
            for (DWORD k = 0; k < 3; ++k)
                t[k] = placed(wide ? static_cast<const DWORD*>(idx)[f * 3 + k]
                                   : static_cast<const WORD*>(idx)[f * 3 + k]);
            for (int k = 0; k < 3; ++k) {
                const Point &a = t[k], &b = t[(k + 1) % 3];
                if (a == b)
                    continue; // a degenerate quad's zero-length side
                ++count[{a, b}];
                --count[{b, a}];
            }
        }
        volume->UnlockVertexBuffer();
        volume->UnlockIndexBuffer();
        int open = 0;
        for (const auto& [edge, n] : count)
            open += n > 0 ? n : 0;
        return open;
    }

    NullConfig cfg;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    QWindow window;
    ID3DXMesh* volume = nullptr;
    TShadowVolumeStats stats;
};

} // namespace

// Every edge met twice: one vertex triple per face and one quad per edge, F + 2 * 3F / 2 = 4F faces.
TEST_F(ShadowVolumeTest, ClosedModelHasAQuadOnEveryEdgeAndNoHole) {
    Geometry two;
    two.Append(Tetrahedron(), {0, 0, 0});
    two.Append(Tetrahedron(), {3, 0, 0});
    ASSERT_EQ(Build(two), S_OK);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(stats.storedEdges, 0u);
    EXPECT_EQ(volume->GetNumVertices(), 3u * 8);
    EXPECT_EQ(volume->GetNumFaces(), 4u * 8);
    EXPECT_EQ(volume->GetOptions() & D3DXMESH_32BIT, 0u);
    EXPECT_NE(volume->GetOptions() & D3DXMESH_WRITEONLY, 0u);
    EXPECT_EQ(OpenEdges(), 0);
    // Every vertex carries its face's unit normal.
    const BYTE* v = nullptr;
    volume->LockVertexBuffer(D3DLOCK_READONLY, reinterpret_cast<void**>(const_cast<BYTE**>(&v)));
    for (DWORD i = 0; i < volume->GetNumVertices(); ++i) {
        D3DXVECTOR3 n;
        std::memcpy(&n, v + i * 24 + 12, 12);
        EXPECT_NEAR(D3DXVec3Length(&n), 1.0f, 1e-5f) << i;
    }
    volume->UnlockVertexBuffer();
}

// One triangle: three hole edges, closed by one patch of three vertices and five triangles, and the
// quad of the hole's last two edges.
TEST_F(ShadowVolumeTest, SingleTriangleIsClosedByOnePatchAndOneQuad) {
    ASSERT_EQ(Build({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}}), S_OK);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(stats.storedEdges, 3u);
    EXPECT_EQ(volume->GetNumVertices(), 3u * (1 + 3));
    EXPECT_EQ(volume->GetNumFaces(), 1u + 5 + 2);
    EXPECT_EQ(OpenEdges(), 0);
}

// Two faces over one edge that runs the same way in both are not matched: both edges stay holes.
TEST_F(ShadowVolumeTest, InconsistentWindingLeavesBothEdgesAsHoles) {
    const Geometry sameWay{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, -1, 0}},
                           {{0, 1, 2}, {3, 4, 5}}};
    ASSERT_EQ(Build(sameWay), S_OK);
    EXPECT_EQ(stats.storedEdges, 6u);
    EXPECT_EQ(volume->GetNumVertices(), 3u * (2 + 6));
    // Turned consistently, the shared edge is matched.
    const Geometry turned{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}, {1, 0, 0}, {0, -1, 0}},
                          {{0, 1, 2}, {4, 3, 5}}};
    ASSERT_EQ(Build(turned), S_OK);
    EXPECT_EQ(stats.storedEdges, 4u);
    EXPECT_EQ(OpenEdges(), 0);
}

// 16-bit indices while every vertex can be reached with them. F + stored edges is always even (each face
// brings three edges and a match takes two), so 3 x 21844 = 65532 and 3 x 21846 = 65538 are the counts
// either side of the 65535 limit.
TEST_F(ShadowVolumeTest, IndicesWidenOnlyAboveSixtyFiveThousandFiveHundredThirtyFiveVertices) {
    EXPECT_FALSE(ShadowVolumeNeeds32BitIndices(65535));
    EXPECT_TRUE(ShadowVolumeNeeds32BitIndices(65536));

    Geometry below;
    for (int i = 0; i < 5461; ++i)
        below.Append(Tetrahedron(), {static_cast<float>(i % 100) * 2, static_cast<float>(i / 100) * 2, 0});
    ASSERT_EQ(Build(below), S_OK);
    EXPECT_EQ(volume->GetNumVertices(), 65532u);
    EXPECT_EQ(volume->GetOptions() & D3DXMESH_32BIT, 0u);

    Geometry above;
    for (int i = 0; i < 5460; ++i)
        above.Append(Tetrahedron(), {static_cast<float>(i % 100) * 2, static_cast<float>(i / 100) * 2, 0});
    above.Append(Square(), {0, 0, 50});
    ASSERT_EQ(Build(above), S_OK);
    EXPECT_EQ(stats.storedEdges, 4u);
    EXPECT_EQ(volume->GetNumVertices(), 65538u);
    EXPECT_NE(volume->GetOptions() & D3DXMESH_32BIT, 0u);
    EXPECT_EQ(OpenEdges(), 0);
}

TEST_F(ShadowVolumeTest, GeneratedCharacterIsClosed) {
    test::UseBuiltMedia();
    CDXUTMesh dwarf;
    ASSERT_EQ(dwarf.LoadMeshFile(device, QStringLiteral("dwarf\\dwarf.x")), S_OK);
    ASSERT_EQ(BuildShadowVolumeMesh(device, dwarf.Mesh(), &volume, &stats), S_OK);
    EXPECT_EQ(stats.storedEdges, 0u);
    EXPECT_EQ(volume->GetNumVertices(), 3 * stats.faces);
    EXPECT_EQ(volume->GetNumFaces(), 4 * stats.faces);
    EXPECT_EQ(OpenEdges(), 0);
}

TEST_F(ShadowVolumeTest, BuffersThatCannotBeMadeLeaveNoVolume) {
    ID3DXMesh* mesh = MakeMesh(Tetrahedron());
    cfg.control->bufferLimit = 200; // the working mesh's indices (28 faces) do not fit
    EXPECT_TRUE(FAILED(BuildShadowVolumeMesh(device, mesh, &volume)));
    EXPECT_EQ(volume, nullptr);
    mesh->Release();
}
