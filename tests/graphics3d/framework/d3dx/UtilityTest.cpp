#include "NullDevice.h"

#include "graphics3d/framework/d3dx/D3DX9Effect.h"
#include "graphics3d/framework/d3dx/D3DX9Shader.h"
#include "graphics3d/framework/d3dx/D3DX9Tex.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
#include "graphics3d/framework/d3dx/EffectFile.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;

namespace {

class UtilityTest : public ::testing::Test {
protected:
    test::NullDeviceFixture fixture;
    IDirect3DDevice9* device() { return fixture.device(); }
};

TEST_F(UtilityTest, TextLinesMoveDownByTheLineHeight) {
    ID3DXFont* font = nullptr;
    ID3DXSprite* sprite = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device(), 15, 0, FW_BOLD, 1, false, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial", &font),
              D3D_OK);
    ASSERT_EQ(D3DXCreateSprite(device(), &sprite), D3D_OK);
    CDXUTTextHelper txt(font, sprite, 15);
    EXPECT_EQ(txt.Colour().r, 1.0f); // white at creation
    EXPECT_EQ(txt.Position().x, 0);
    device()->BeginScene();
    txt.BeginText();
    txt.SetTextPosition(5, 5);
    txt.SetTextColour(1, 1, 0, 1);
    const int drawsBefore = fixture.control()->Count("Draw");
    EXPECT_EQ(txt.DrawTextLine(QString("123.45 fps Vsync off (1024x768), X8R8G8B8 (D24X8)")), S_OK);
    EXPECT_EQ(txt.Position().y, 20);
    EXPECT_EQ(txt.DrawTextLine(L"second"), S_OK);
    EXPECT_EQ(txt.Position().y, 35);
    txt.EndText();
    // The glyphs went out in one batch through the sprite.
    EXPECT_EQ(fixture.control()->Count("Draw"), drawsBefore + 1);
    // A new frame's BeginText keeps the insertion point.
    txt.BeginText();
    EXPECT_EQ(txt.Position().y, 35);
    txt.EndText();
    device()->EndScene();
    CDXUTTextHelper none(nullptr, sprite, 15);
    EXPECT_EQ(none.DrawTextLine(L"x"), E_INVALIDARG);
    EXPECT_EQ(none.Position().y, 0);
    sprite->Release();
    font->Release();
}

TEST_F(UtilityTest, FontMeasuresAndKeepsTheLineHeight) {
    ID3DXFont* font = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device(), 15, 0, FW_BOLD, 1, false, DEFAULT_CHARSET, 0, 0, 0, "Arial", &font),
              D3D_OK);
    RECT r{10, 20, 0, 0};
    const INT h = font->DrawTextW(nullptr, L"Wynik\nfps", -1, &r, DT_CALCRECT, 0xFFFFFFFF);
    EXPECT_EQ(h, 2 * font->LineHeight());
    EXPECT_GE(font->LineHeight(), 15);
    EXPECT_LE(font->LineHeight(), 20);
    EXPECT_GT(r.right - r.left, 20);
    EXPECT_EQ(r.bottom - r.top, h);
    font->Release();
}

void WriteText(const QString& path, const char* text) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

const char* kQuadHeader =
    "xof 0303txt 0032\nFrame Q {\n FrameTransformMatrix {\n  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,"
    "0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0;;\n }\n Mesh M {\n  4;\n  0.0;0.0;0.0;,\n  0.0;1.0;0.0;,\n"
    "  1.0;0.0;0.0;,\n  1.0;1.0;0.0;;\n  3;\n  3;0,1,2;,\n  3;1,3,2;,\n  3;0,2,3;;\n"
    "  MeshTextureCoords { 4; 0.0;0.0;, 0.0;1.0;, 1.0;0.0;, 1.0;1.0;; }\n";

TEST_F(UtilityTest, MeshFileWithoutMaterialsHasNone) {
    const QString dir = test::MakeTempDir("nomat");
    WriteText(dir + "/plain.x", (std::string(kQuadHeader) + " }\n}\n").c_str());
    CDXUTMesh mesh;
    EXPECT_EQ(mesh.Name(), "CDXUTMeshFile_Mesh");
    ASSERT_EQ(mesh.LoadMeshFile(device(), dir + "/plain.x"), S_OK);
    EXPECT_EQ(mesh.NumMaterials(), 0u);
    ASSERT_NE(mesh.Mesh(), nullptr);
    EXPECT_EQ(mesh.NumFaces(), 3u);
    EXPECT_EQ(mesh.NumVertices(), 4u);
    EXPECT_EQ(mesh.BytesPerVertex(), 20u);
    EXPECT_NE(mesh.VertexBuffer(), nullptr);
    EXPECT_NE(mesh.Declaration(), nullptr);
    mesh.ReleaseMeshObjects();
    EXPECT_EQ(mesh.VertexBuffer(), nullptr);
    // A missing file is not found by the media search.
    CDXUTMesh missing;
    EXPECT_EQ(missing.LoadMeshFile(device(), dir + "/none.x"), MakeHResult(0x80040903u));
}

TEST_F(UtilityTest, TexturesAfterAVolumeTextureAreNotLoaded) {
    const QString dir = test::MakeTempDir("volume");
    QImage plain(4, 4, QImage::Format_RGB32);
    plain.fill(Qt::red);
    ASSERT_TRUE(plain.save(dir + "/a.png"));
    ASSERT_TRUE(plain.save(dir + "/c.png"));
    QImage volume(4, 8, QImage::Format_RGB32);
    volume.fill(Qt::blue);
    volume.setText("Layout", "volume");
    volume.setText("Depth", "2");
    ASSERT_TRUE(volume.save(dir + "/vol.png"));
    D3DXIMAGE_INFO info;
    ASSERT_EQ(D3DXGetImageInfoFromFileW((dir + "/vol.png").toStdWString().c_str(), &info), D3D_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(info.Depth, 2u);
    EXPECT_EQ(info.Height, 4u);

    std::string x = kQuadHeader;
    x += "  MeshMaterialList {\n   4;\n   3;\n   0,\n   1,\n   2;;\n";
    for (const char* tex : {"a.png", "vol.png", "c.png", ""}) {
        x += "   Material {\n    1.0;1.0;1.0;1.0;;\n    8.0;\n    0.0;0.0;0.0;;\n    0.0;0.0;0.0;;\n";
        if (*tex)
            x += std::string("    TextureFilename {\n     \"") + tex + "\";\n    }\n";
        x += "   }\n";
    }
    x += "  }\n }\n}\n";
    WriteText(dir + "/m.x", x.c_str());
    CDXUTMesh mesh;
    ASSERT_EQ(mesh.LoadMeshFile(device(), dir + "/m.x"), S_OK);
    ASSERT_EQ(mesh.NumMaterials(), 3u) << "a material no face uses is not kept";
    ASSERT_NE(mesh.Texture(0), nullptr);
    EXPECT_EQ(mesh.Texture(0)->GetType(), D3DRTYPE_TEXTURE);
    EXPECT_GT(mesh.Texture(0)->GetLevelCount(), 1u);
    ASSERT_NE(mesh.Texture(1), nullptr);
    EXPECT_EQ(mesh.Texture(1)->GetType(), D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(mesh.Texture(2), nullptr);
    EXPECT_EQ(mesh.TextureName(2), "c.png");
}

TEST_F(UtilityTest, ApplyDeclarationAddsNormalsAndTangents) {
    CDXUTMesh mesh;
    ASSERT_EQ(mesh.LoadMeshFile(device(), test::MediaDir() + "/misc/sphere0.x"), S_OK);
    const D3DVERTEXELEMENT9 decl[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                      {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_NORMAL, 0},
                                      {0, 24, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                      {0, 32, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_TANGENT, 0},
                                      D3DDECL_END()};
    ASSERT_EQ(mesh.ApplyVertexDeclaration(device(), decl), S_OK);
    EXPECT_EQ(mesh.Mesh()->GetNumBytesPerVertex(), 44u);
    float* v = nullptr;
    mesh.Mesh()->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
    for (DWORD i = 0; i < mesh.Mesh()->GetNumVertices(); i += 7) {
        const D3DXVECTOR3 n(v[i * 11 + 3], v[i * 11 + 4], v[i * 11 + 5]),
            t(v[i * 11 + 8], v[i * 11 + 9], v[i * 11 + 10]);
        EXPECT_NEAR(D3DXVec3Length(&t), 1.0f, 1e-3f);
        EXPECT_NEAR(D3DXVec3Dot(&n, &t), 0.0f, 1e-3f);
    }
    mesh.Mesh()->UnlockVertexBuffer();
}

TEST(EffectFile, ParsesParametersTechniquesAndStates) {
    const std::string text = R"(
        // header
        float4x4 g_mWorld;
        float4 lhtDir = {0.0, 1, -1, 0};
        float g_fScale = 2.5;
        texture g_txScene { MinFilter = Point; AddressU = Clamp; }
        /* shared code */
        shared <<< float twice(float x) { return 2.0 * x; } >>>
        technique A { pass P0 { ZEnable = false; CullMode = CCW; StencilPass = Incr; CCW_StencilPass = Decr;
                                TwoSidedStencilMode = true; SrcBlend = SrcAlpha; StencilRef = 0x10;
                                ColorWriteEnable = Red | Green | Blue;
                                VertexShader = <<< void main() {} >>>; PixelShader = <<< void main() {} >>>; } }
        technique B { pass P0 { VertexShader = <<< a >>>; PixelShader = <<< b >>>; }
                      pass P1 { VertexShader = <<< c >>>; PixelShader = <<< d >>>; } }
    )";
    fx::Effect e;
    std::string error;
    ASSERT_TRUE(fx::Parse(text, &e, &error)) << error;
    ASSERT_EQ(e.parameters.size(), 4u);
    EXPECT_EQ(e.parameters[0].defaults[5], 1.0f); // identity by default
    EXPECT_EQ(e.parameters[1].defaults, (std::vector<float>{0, 1, -1, 0}));
    EXPECT_EQ(e.parameters[2].defaults[0], 2.5f);
    EXPECT_EQ(e.parameters[3].sampler.at(D3DSAMP_MINFILTER), static_cast<DWORD>(D3DTEXF_POINT));
    EXPECT_EQ(e.parameters[3].sampler.at(D3DSAMP_ADDRESSU), static_cast<DWORD>(D3DTADDRESS_CLAMP));
    EXPECT_NE(e.shared.find("twice"), std::string::npos);
    ASSERT_EQ(e.techniques.size(), 2u);
    const auto& s = e.techniques[0].passes[0].states;
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[0], std::make_pair(D3DRS_ZENABLE, DWORD{0}));
    EXPECT_EQ(s[1], std::make_pair(D3DRS_CULLMODE, static_cast<DWORD>(D3DCULL_CCW)));
    EXPECT_EQ(s[2], std::make_pair(D3DRS_STENCILPASS, static_cast<DWORD>(D3DSTENCILOP_INCR)));
    EXPECT_EQ(s[3], std::make_pair(D3DRS_CCW_STENCILPASS, static_cast<DWORD>(D3DSTENCILOP_DECR)));
    EXPECT_EQ(s[5], std::make_pair(D3DRS_SRCBLEND, static_cast<DWORD>(D3DBLEND_SRCALPHA)));
    EXPECT_EQ(s[6], std::make_pair(D3DRS_STENCILREF, DWORD{16}));
    EXPECT_EQ(s[7], std::make_pair(D3DRS_COLORWRITEENABLE, DWORD{7}));
    EXPECT_EQ(e.techniques[1].passes.size(), 2u);
}

TEST(EffectFile, ErrorsNameTheLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"technique A { pass { ZEnable = maybe; VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "line 1"},
        {"float4 v = {1, 2};\ntechnique A { pass { VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "needs 4"},
        {"\n\ntechnique A { pass { VertexShader = <<< never closed", "line 3"},
        {"technique A { pass { VertexShader = <<< x >>>; } }", "PixelShader"},
        {"float a;\nfloat a;\ntechnique A { pass { VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "twice"},
        {"float a;", "no technique"},
        {"technique A { pass { Bogus = 1; VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "unknown state"},
        {"float x = ;", "line 1"},
        {"technique A { pass { ColorWriteEnable = Red | ; VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "bad value"},
        {"technique A { pass { CullMode = CW | CCW; VertexShader = <<< >>>; PixelShader = <<< >>>; } }",
         "expected \";\""}};
    for (const auto& [text, expected] : cases) {
        fx::Effect e;
        std::string error;
        EXPECT_FALSE(fx::Parse(text, &e, &error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

TEST_F(UtilityTest, EffectPassesSetStatesAndRestoreThem) {
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    ASSERT_EQ(D3DXCreateEffectFromFileW(device(), test::MediaPath("SkinnedMesh.fx").c_str(), nullptr, nullptr,
                                        D3DXFX_NOT_CLONEABLE, nullptr, &effect, &errors),
              D3D_OK);
    D3DXHANDLE light = effect->GetParameterByName(nullptr, "lhtDir");
    ASSERT_NE(light, nullptr);
    const D3DXVECTOR4 dir(0, 0.707f, -0.707f, 0);
    EXPECT_EQ(effect->SetVector(light, &dir), D3D_OK);
    D3DXVECTOR4 back;
    EXPECT_EQ(effect->GetVector("lhtDir", &back), D3D_OK);
    EXPECT_EQ(back, dir);
    EXPECT_EQ(effect->GetParameterByName(nullptr, "noSuch"), nullptr);
    EXPECT_NE(effect->SetFloat("noSuch", 1.0f), D3D_OK);
    EXPECT_NE(effect->SetTechnique("noSuch"), D3D_OK);
    ASSERT_EQ(effect->SetTechnique(effect->GetTechniqueByName("Unlit")), D3D_OK);

    device()->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    UINT passes = 0;
    ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
    EXPECT_EQ(passes, 1u);
    ASSERT_EQ(effect->BeginPass(0), D3D_OK);
    DWORD cull = 0;
    device()->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    EXPECT_EQ(effect->CommitChanges(), D3D_OK);
    EXPECT_EQ(effect->EndPass(), D3D_OK);
    EXPECT_EQ(effect->End(), D3D_OK);
    device()->GetRenderState(D3DRS_CULLMODE, &cull);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_CW));
    EXPECT_EQ(effect->OnLostDevice(), D3D_OK);
    EXPECT_EQ(effect->OnResetDevice(), D3D_OK);
    effect->Release();

    const char* broken =
        "technique T { pass { CullMode = sideways; VertexShader = <<< >>>; PixelShader = <<< >>>; } }";
    EXPECT_EQ(D3DXCreateEffect(device(), broken, static_cast<UINT>(std::strlen(broken)), nullptr, nullptr, 0,
                               nullptr, &effect, &errors),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(effect, nullptr);
    ASSERT_NE(errors, nullptr);
    EXPECT_NE(std::string(static_cast<const char*>(errors->GetBufferPointer())).find("CullMode"),
              std::string::npos);
    errors->Release();
}

TEST(ShaderAssembler, SkinMeshFilesAssemble) {
    for (int i = 1; i <= 4; ++i) {
        ID3DXBuffer* shader = nullptr;
        ID3DXBuffer* errors = nullptr;
        const std::wstring path = test::MediaPath(QString("skinmesh%1.vsh").arg(i));
        ASSERT_EQ(D3DXAssembleShaderFromFileW(path.c_str(), nullptr, nullptr, 0, &shader, &errors), D3D_OK)
            << i;
        const std::string glsl = static_cast<const char*>(shader->GetBufferPointer());
        EXPECT_NE(glsl.find("gl_Position"), std::string::npos);
        EXPECT_NE(glsl.find("in vec4 aPosition;"), std::string::npos);
        EXPECT_EQ(glsl.find("aBlendWeight") != std::string::npos, i > 1);
        EXPECT_EQ(shader->GetBufferSize() % 4, 0u);
        shader->Release();
    }
}

TEST(ShaderAssembler, TranslatesInstructionsAndRejectsBadInput) {
    std::string glsl, error;
    ASSERT_TRUE(AssembleVertexShader("vs_1_1\ndcl_position v0\ndef c4, 1, 2, 3, 4\nm4x4 oPos, v0, c0\n"
                                     "mad r1.xy, v0.x, -c4.yzzz, c4 ; comment\nmov oT0, r1\n",
                                     &glsl, &error))
        << error;
    EXPECT_NE(glsl.find("dot((aPosition), c[0])"), std::string::npos) << glsl;
    EXPECT_NE(glsl.find("r1.xy = ((aPosition.xxxx) * (-def4.yzzz) + (def4)).xy"), std::string::npos) << glsl;
    const std::pair<const char*, const char*> bad[] = {
        {"mov oPos, v0\n", "version"},
        {"vs_1_1\nmov oPos, v0\n", "not declared"},
        {"vs_1_1\ndcl_position v0\nfoo oPos, v0\n", "line 3"},
        {"vs_1_1\ndcl_position v0\nmov oPos.yx, v0\n", "mask"},
        {"vs_1_1\ndcl_position v0\nmov r0, v0\n", "oPos"},
        {"vs_1_1\ndcl_position v0\nm4x4 oPos, v0, r0\n", "constant"},
        {"vs_1_1\ndcl_position v0\nmov oPos, c999\n", "unknown register"}};
    for (const auto& [text, expected] : bad) {
        EXPECT_FALSE(AssembleVertexShader(text, &glsl, &error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << " -> " << error;
    }
}

} // namespace
