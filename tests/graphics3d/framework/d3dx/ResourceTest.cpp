#include "NullDevice.h"

#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/framework/d3dx/D3DX9.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;

namespace {

class ResourceTest : public ::testing::Test {
protected:
    test::NullDeviceFixture fixture;
    IDirect3DDevice9* device() { return fixture.device(); }
};

TEST_F(ResourceTest, PlainAndCubeTexturesKeepTheirPixels) {
    const QString dir = test::MakeTempDir("tex");
    QImage img(8, 4, QImage::Format_ARGB32);
    img.fill(QColor(10, 20, 30, 255));
    img.setPixelColor(7, 0, QColor(200, 100, 50, 128));
    ASSERT_TRUE(img.save(dir + "/a.png"));
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileW((dir + "/a.png").toStdWString().c_str(), &info), D3D_OK);
    EXPECT_EQ(info.Width, 8u);
    EXPECT_EQ(info.Height, 4u);
    EXPECT_EQ(info.MipLevels, 4u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileW(device(), (dir + "/a.png").toStdWString().c_str(), &tex), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 4u);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    DWORD first, last;
    std::memcpy(&first, lr.pBits, 4);
    std::memcpy(&last, static_cast<BYTE*>(lr.pBits) + 7 * 4, 4);
    tex->UnlockRect(0);
    EXPECT_EQ(first, 0xFF0A141Eu);
    EXPECT_EQ(last, 0x80C86432u);
    tex->Release();
    // A plain image is not a cube map.
    IDirect3DCubeTexture9* wrong = nullptr;
    EXPECT_TRUE(
        FAILED(D3DXCreateCubeTextureFromFileW(device(), (dir + "/a.png").toStdWString().c_str(), &wrong)));

    QImage cube(4, 24, QImage::Format_RGB32);
    for (int face = 0; face < 6; ++face)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                cube.setPixelColor(x, face * 4 + y, QColor(face * 40, 0, 0));
    cube.setText("Layout", "cube");
    ASSERT_TRUE(cube.save(dir + "/cube.png"));
    ASSERT_EQ(D3DXGetImageInfoFromFileW((dir + "/cube.png").toStdWString().c_str(), &info), D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
    IDirect3DCubeTexture9* c = nullptr;
    ASSERT_EQ(D3DXCreateCubeTextureFromFileW(device(), (dir + "/cube.png").toStdWString().c_str(), &c),
              D3D_OK);
    ASSERT_EQ(c->LockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::memcpy(&first, lr.pBits, 4);
    c->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_Z, 0);
    EXPECT_EQ(first, 0xFFA00000u); // face 4: red 160
    c->Release();

    EXPECT_EQ(D3DXGetImageInfoFromFileW((dir + "/none.png").toStdWString().c_str(), &info), D3DERR_NOTFOUND);
    QFile junk(dir + "/junk.png");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture");
    junk.close();
    EXPECT_TRUE(FAILED(D3DXGetImageInfoFromFileW((dir + "/junk.png").toStdWString().c_str(), &info)));
}

TEST_F(ResourceTest, SpriteBatchesPerTextureAndRestoresStates) {
    IDirect3DTexture9* a = nullptr;
    IDirect3DTexture9* b = nullptr;
    ASSERT_EQ(device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &a, nullptr), D3D_OK);
    ASSERT_EQ(device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &b, nullptr), D3D_OK);
    ID3DXSprite* sprite = nullptr;
    ASSERT_EQ(D3DXCreateSprite(device(), &sprite), D3D_OK);
    device()->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device()->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device()->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device()->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    device()->BeginScene();
    EXPECT_EQ(sprite->Draw(a, nullptr, nullptr, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL); // not begun
    ASSERT_EQ(sprite->Begin(D3DXSPRITE_ALPHABLEND | D3DXSPRITE_SORT_TEXTURE), D3D_OK);
    const D3DXVECTOR3 p(1, 2, 0);
    for (IDirect3DTexture9* t : {a, b, a, b, a})
        sprite->Draw(t, nullptr, nullptr, &p, 0xFFFFFFFF);
    const int before = fixture.control()->Count("Draw");
    ASSERT_EQ(sprite->End(), D3D_OK);
    EXPECT_EQ(fixture.control()->Count("Draw"), before + 2); // one per texture after sorting
    device()->EndScene();
    DWORD z = 0, cull = 0, blend = 1;
    device()->GetRenderState(D3DRS_ZENABLE, &z);
    device()->GetRenderState(D3DRS_CULLMODE, &cull);
    device()->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(z, static_cast<DWORD>(D3DZB_TRUE));
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CCW));
    EXPECT_EQ(blend, 0u);
    EXPECT_EQ(dynamic_cast<DeviceBase*>(device())->StageState(0, D3DTSS_COLOROP),
              static_cast<DWORD>(D3DTOP_SELECTARG2));
    // The sprite let go of the textures it queued.
    EXPECT_EQ(a->AddRef(), 2u);
    a->Release();
    sprite->Release();
    a->Release();
    b->Release();
}

TEST_F(ResourceTest, EffectPassOnTheNullDeviceDrawsThroughTheDevice) {
    const char* text =
        "texture t; technique T { pass { VertexShader = <<< x >>>; PixelShader = <<< y >>>; } }";
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device(), text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr, 0,
                               nullptr, &effect, nullptr),
              D3D_OK);
    IDirect3DTexture9* tex = nullptr;
    device()->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    EXPECT_EQ(effect->SetTexture("t", tex), D3D_OK);
    EXPECT_EQ(tex->AddRef(), 3u); // ours, the effect's and this one
    tex->Release();
    EXPECT_NE(effect->SetFloat("t", 1.0f), D3D_OK);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED, D3DFVF_XYZ, device(), &mesh), D3D_OK);
    device()->BeginScene();
    UINT passes = 0;
    effect->Begin(&passes, 0);
    EXPECT_EQ(effect->BeginPass(1), D3DERR_INVALIDCALL);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    EXPECT_EQ(effect->BeginPass(0), D3DERR_INVALIDCALL); // already in a pass
    const int before = fixture.control()->Count("Draw");
    EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
    EXPECT_EQ(fixture.control()->Count("Draw"), before + 1);
    effect->EndPass();
    effect->End();
    device()->EndScene();
    mesh->Release();
    effect->Release();
    EXPECT_EQ(tex->Release(), 0u);
}

// Values set inside a pass reach its draws only once committed; outside a pass at once. The back end
// receives the pass's program with the committed values, found by handle or by name.
TEST_F(ResourceTest, EffectDrawsCarryTheCommittedValuesToTheBackEnd) {
    const char* text = "float4 colour = {1, 2, 3, 4}; float scale; texture t;"
                       "technique A { pass { VertexShader = <<< a >>>; PixelShader = <<< b >>>; } }"
                       "technique B { pass { VertexShader = <<< c >>>; PixelShader = <<< d >>>; } }";
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device(), text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr, 0,
                               nullptr, &effect, nullptr),
              D3D_OK);
    EXPECT_EQ(fixture.control()->Count("CreateProgram"), 2);
    const D3DXHANDLE colour = effect->GetParameterByName(nullptr, "colour");
    const D3DXHANDLE scale = effect->GetParameterByName(nullptr, "scale");
    ASSERT_NE(colour, nullptr);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "colou"), nullptr);
    EXPECT_EQ(effect->GetParameterByName(nullptr, colour + 1), nullptr); // inside a handle is no handle
    EXPECT_EQ(effect->SetFloat(colour + 1, 1.0f), D3DERR_INVALIDCALL);
    // A name held anywhere else finds the same parameter.
    const std::string name = "scale";
    EXPECT_EQ(effect->SetFloat(name.c_str(), 0.25f), D3D_OK);
    float read = 0;
    EXPECT_EQ(effect->GetFloat(scale, &read), D3D_OK);
    EXPECT_EQ(read, 0.25f);
    ASSERT_EQ(effect->SetTechnique(effect->GetTechniqueByName("B")), D3D_OK);
    EXPECT_STREQ(effect->GetCurrentTechnique(), "B");

    IDirect3DTexture9* tex = nullptr;
    device()->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED, D3DFVF_XYZ, device(), &mesh), D3D_OK);
    fixture.control()->recordDraws = true;
    fixture.control()->draws.clear();
    const D3DXVECTOR4 first(5, 6, 7, 8), second(9, 10, 11, 12);
    effect->SetVector(colour, &first);
    effect->SetTexture("t", tex);
    device()->BeginScene();
    UINT passes = 0;
    effect->Begin(&passes, 0);
    effect->BeginPass(0);
    mesh->DrawSubset(0);
    effect->SetVector(colour, &second);
    effect->SetTexture("t", nullptr);
    mesh->DrawSubset(0); // not committed yet
    EXPECT_EQ(effect->CommitChanges(), D3D_OK);
    mesh->DrawSubset(0);
    effect->EndPass();
    effect->End();
    device()->EndScene();
    EXPECT_EQ(effect->CommitChanges(), D3DERR_INVALIDCALL); // outside a pass

    ASSERT_EQ(fixture.control()->draws.size(), 3u);
    const auto& draws = fixture.control()->draws;
    const std::vector<float> before{5, 6, 7, 8, 0.25f}, after{9, 10, 11, 12, 0.25f};
    EXPECT_EQ(draws[0].programFloats, before);
    EXPECT_EQ(draws[1].programFloats, before);
    EXPECT_EQ(draws[2].programFloats, after);
    EXPECT_EQ(draws[0].texture0, tex);
    EXPECT_EQ(draws[1].texture0, tex);
    EXPECT_EQ(draws[2].texture0, nullptr);
    EXPECT_NE(draws[0].program, nullptr);
    EXPECT_EQ(draws[0].program, draws[2].program);
    // Technique B's program, not A's.
    EXPECT_NE(fixture.control()->programs.back().find("c"), std::string::npos);

    mesh->Release();
    effect->Release();
    EXPECT_EQ(tex->Release(), 0u); // the effect let go of it once it was replaced
}

TEST_F(ResourceTest, CloneKeepsIndicesAttributesAndTableAcrossIndexSizes) {
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_TEX1, device(), &mesh), D3D_OK);
    WORD* idx = nullptr;
    mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
    const WORD i[6] = {0, 1, 2, 3, 2, 1};
    std::memcpy(idx, i, sizeof i);
    mesh->UnlockIndexBuffer();
    float* v = nullptr;
    mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (int k = 0; k < 20; ++k)
        v[k] = static_cast<float>(k);
    mesh->UnlockVertexBuffer();
    DWORD* attr = nullptr;
    mesh->LockAttributeBuffer(0, &attr);
    attr[0] = 3;
    attr[1] = 5;
    mesh->UnlockAttributeBuffer();
    ID3DXMesh* wide = nullptr;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_MANAGED | D3DXMESH_32BIT, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1,
                                 device(), &wide),
              D3D_OK);
    EXPECT_TRUE(wide->GetOptions() & D3DXMESH_32BIT);
    DWORD* wi = nullptr;
    wide->LockIndexBuffer(0, reinterpret_cast<void**>(&wi));
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(wi[k], i[k]);
    wide->UnlockIndexBuffer();
    float* wv = nullptr;
    wide->LockVertexBuffer(0, reinterpret_cast<void**>(&wv));
    // Vertex 1: position 5, 6, 7; normal zero; texture 8, 9.
    EXPECT_EQ(wv[8 + 0], 5.0f);
    EXPECT_EQ(wv[8 + 3], 0.0f);
    EXPECT_EQ(wv[8 + 6], 8.0f);
    EXPECT_EQ(wv[8 + 7], 9.0f);
    wide->UnlockVertexBuffer();
    wide->LockAttributeBuffer(0, &attr);
    EXPECT_EQ(attr[1], 5u);
    wide->UnlockAttributeBuffer();
    D3DVERTEXELEMENT9 decl[MAX_FVF_DECL_SIZE];
    wide->GetDeclaration(decl);
    DWORD fvf = 0;
    D3DXFVFFromDeclarator(decl, &fvf);
    EXPECT_EQ(fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    EXPECT_EQ(D3DXGetDeclVertexSize(decl, 0), 32u);
    wide->Release();
    // More vertices than 16-bit indices reach need the 32-bit option.
    ID3DXMesh* big = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(1, 70000, D3DXMESH_MANAGED, D3DFVF_XYZ, device(), &big), D3DERR_INVALIDCALL);
    mesh->Release();
}

TEST(MediaGenerator, OutputIsTheSameOnEveryRun) {
    const QString tool = test::BinDir() + "/../tools/orv_mediagen";
    if (!QFile::exists(tool))
        GTEST_SKIP() << "generator not built";
    const QString out = test::MakeTempDir("media");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(tool, {out});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    int files = 0;
    QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString built = test::MediaDir() + path.mid(out.size());
        QFile a(path), b(built);
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << built.toStdString();
        EXPECT_EQ(a.readAll(), b.readAll()) << path.toStdString();
        ++files;
    }
    EXPECT_GE(files, 28);
}

} // namespace
