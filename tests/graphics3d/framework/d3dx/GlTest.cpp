#include "NullDevice.h"
#include "graphics3d/framework/D3D9.h"
#include "graphics3d/framework/d3dx/D3DX9Effect.h"
#include "graphics3d/framework/d3dx/D3DX9Shader.h"
#include "graphics3d/framework/d3dx/DXUTMesh.h"
#include "tests/graphics3d/framework/DeviceTestSupport.h"
#include "tests/support/TestEnv.h"

#include <QWindow>

#include <gtest/gtest.h>

#include <cstring>

using namespace orv;

namespace {

class GlUtilityTest : public test::GlDeviceFixture {
protected:
    DWORD Pixel(int x, int y) {
        IDirect3DSurface9* bb = nullptr;
        device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
        D3DSURFACE_DESC desc;
        bb->GetDesc(&desc);
        IDirect3DSurface9* copy = nullptr;
        device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                            nullptr);
        EXPECT_EQ(device->GetRenderTargetData(bb, copy), D3D_OK);
        D3DLOCKED_RECT locked;
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
        DWORD value = 0;
        std::memcpy(&value, static_cast<BYTE*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
        copy->UnlockRect();
        copy->Release();
        bb->Release();
        return value & 0x00FFFFFFu;
    }

    // Two triangles covering the left half of the screen in clip space.
    ID3DXMesh* HalfScreen() {
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_MANAGED, D3DFVF_XYZ, device, &mesh), D3D_OK);
        float* v = nullptr;
        mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&v));
        const float p[12] = {-1, 1, 0.5f, 0, 1, 0.5f, 0, -1, 0.5f, -1, -1, 0.5f};
        std::memcpy(v, p, sizeof p);
        mesh->UnlockVertexBuffer();
        WORD* idx = nullptr;
        mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&idx));
        const WORD i[6] = {0, 1, 2, 0, 2, 3};
        std::memcpy(idx, i, sizeof i);
        mesh->UnlockIndexBuffer();
        return mesh;
    }

    void DrawWith(ID3DXEffect* effect, ID3DXMesh* mesh) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        UINT passes = 0;
        ASSERT_EQ(effect->Begin(&passes, 0), D3D_OK);
        for (UINT p = 0; p < passes; ++p) {
            ASSERT_EQ(effect->BeginPass(p), D3D_OK);
            effect->CommitChanges();
            EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
            effect->EndPass();
        }
        effect->End();
        device->EndScene();
    }
};

TEST_F(GlUtilityTest, EffectWithTwoTechniquesRenders) {
    const char* text = R"(
        float4 g_vColour = {1.0, 0.0, 0.0, 1.0};
        float4x4 g_mShift;
        shared <<< vec4 place(vec3 p) { return g_mShift * vec4(p, 1.0); } >>>
        technique Plain {
            pass P0 {
                CullMode = NONE;
                ZEnable = false;
                VertexShader = <<< in vec3 aPosition; void main() { gl_Position = place(aPosition); } >>>;
                PixelShader = <<< void main() { fragColour = g_vColour; } >>>;
            }
        }
        technique Added {
            pass P0 {
                CullMode = NONE;
                VertexShader = <<< in vec3 aPosition; void main() { gl_Position = place(aPosition); } >>>;
                PixelShader = <<< void main() { fragColour = vec4(0.0, 1.0, 0.0, 1.0); } >>>;
            }
            pass P1 {
                CullMode = NONE;
                AlphaBlendEnable = true; SrcBlend = One; DestBlend = One;
                VertexShader = <<< in vec3 aPosition; void main() { gl_Position = place(aPosition); } >>>;
                PixelShader = <<< void main() { fragColour = vec4(0.0, 0.0, 1.0, 1.0); } >>>;
            }
        }
    )";
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr,
                               D3DXFX_NOT_CLONEABLE, nullptr, &effect, nullptr),
              D3D_OK);
    ID3DXMesh* mesh = HalfScreen();
    DrawWith(effect, mesh);
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u);
    EXPECT_EQ(Pixel(50, 32), 0x000000u);
    // Parameters reach the program: a matrix moving the quad to the right half, a new colour.
    D3DXMATRIX shift;
    D3DXMatrixTranslation(&shift, 1, 0, 0);
    effect->SetMatrix("g_mShift", &shift);
    const D3DXVECTOR4 white(1, 1, 1, 1);
    effect->SetVector("g_vColour", &white);
    DrawWith(effect, mesh);
    EXPECT_EQ(Pixel(10, 32), 0x000000u);
    EXPECT_EQ(Pixel(50, 32), 0xFFFFFFu);
    // The second technique's two passes add up.
    ASSERT_EQ(effect->SetTechnique("Added"), D3D_OK);
    DrawWith(effect, mesh);
    EXPECT_EQ(Pixel(50, 32), 0x00FFFFu);
    DWORD blend = 1;
    device->GetRenderState(D3DRS_ALPHABLENDENABLE, &blend);
    EXPECT_EQ(blend, 0u); // restored by End
    mesh->Release();
    effect->Release();
}

TEST_F(GlUtilityTest, CompileErrorFailsCreationWithTheMessage) {
    const char* text = "technique T { pass P { VertexShader = <<< void main() { gl_Position = nope; } >>>;"
                       " PixelShader = <<< void main() { fragColour = vec4(1.0); } >>>; } }";
    ID3DXEffect* effect = nullptr;
    ID3DXBuffer* errors = nullptr;
    EXPECT_EQ(D3DXCreateEffect(device, text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr, 0,
                               nullptr, &effect, &errors),
              D3DXERR_INVALIDDATA);
    EXPECT_EQ(effect, nullptr);
    ASSERT_NE(errors, nullptr);
    const std::string message = static_cast<const char*>(errors->GetBufferPointer());
    EXPECT_NE(message.find("technique T, pass P, vertex shader"), std::string::npos) << message;
    errors->Release();
}

TEST_F(GlUtilityTest, SceneMediaCompilesOnTheDevice) {
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffectFromFileW(device, test::MediaPath("SkinnedMesh.fx").c_str(), nullptr, nullptr,
                                        D3DXFX_NOT_CLONEABLE, nullptr, &effect, nullptr),
              D3D_OK);
    EXPECT_NE(effect->GetParameterByName(nullptr, "lhtDir"), nullptr);
    effect->Release();
    // Everything the shadow-map scene sets and selects.
    ASSERT_EQ(D3DXCreateEffectFromFileW(device, test::MediaPath("ShadowMap.fx").c_str(), nullptr, nullptr,
                                        D3DXFX_NOT_CLONEABLE, nullptr, &effect, nullptr),
              D3D_OK);
    for (const char* technique : {"RenderShadow", "RenderScene", "RenderLight"})
        EXPECT_NE(effect->GetTechniqueByName(technique), nullptr) << technique;
    for (const char* parameter :
         {"g_mProj", "g_mWorldView", "g_mViewToLightProj", "g_vLightPos", "g_vLightDir", "g_vMaterial",
          "g_vLightDiffuse", "g_fCosTheta", "g_txScene", "g_txShadow"})
        EXPECT_NE(effect->GetParameterByName(nullptr, parameter), nullptr) << parameter;
    const D3DXMATRIX identity(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    EXPECT_EQ(effect->SetMatrix("g_mViewToLightProj", &identity), D3D_OK);
    EXPECT_EQ(effect->SetFloat("g_fCosTheta", 0.5f), D3D_OK);
    EXPECT_EQ(effect->SetTexture("g_txShadow", nullptr), D3D_OK);
    effect->Release();
    // And the shadow-volume scene's.
    ASSERT_EQ(D3DXCreateEffectFromFileW(device, test::MediaPath("ShadowVolume.fx").c_str(), nullptr, nullptr,
                                        D3DXFX_NOT_CLONEABLE, nullptr, &effect, nullptr),
              D3D_OK);
    for (const char* technique :
         {"RenderSceneAmbient", "RenderScene", "ShowShadowVolume2Sided", "ShowShadowVolume"})
        EXPECT_NE(effect->GetTechniqueByName(technique), nullptr) << technique;
    for (const char* parameter :
         {"g_mProj", "g_mWorldView", "g_mWorldViewProjection", "g_vAmbient", "g_vMatColor", "g_vLightView",
          "g_vLightColor", "g_vShadowColor", "g_fFarClip", "g_txScene"})
        EXPECT_NE(effect->GetParameterByName(nullptr, parameter), nullptr) << parameter;
    effect->Release();
    for (int i = 1; i <= 4; ++i) {
        ID3DXBuffer* code = nullptr;
        ASSERT_EQ(D3DXAssembleShaderFromFileW(test::MediaPath(QString("skinmesh%1.vsh").arg(i)).c_str(),
                                              nullptr, nullptr, 0, &code, nullptr),
                  D3D_OK);
        IDirect3DVertexShader9* shader = nullptr;
        EXPECT_EQ(device->CreateVertexShader(static_cast<const DWORD*>(code->GetBufferPointer()), &shader),
                  D3D_OK)
            << i;
        SafeRelease(shader);
        code->Release();
    }
}

TEST_F(GlUtilityTest, YellowTextRendersWhereTheGlyphsAre) {
    ID3DXFont* font = nullptr;
    ID3DXSprite* sprite = nullptr;
    ASSERT_EQ(D3DXCreateFontA(device, 15, 0, FW_BOLD, 1, false, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                              DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "Arial", &font),
              D3D_OK);
    ASSERT_EQ(D3DXCreateSprite(device, &sprite), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF424B79u, 1.0f, 0);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    CDXUTTextHelper txt(font, sprite, 15);
    txt.BeginText();
    txt.SetTextPosition(5, 5);
    txt.SetTextColour(1, 1, 0, 1);
    EXPECT_EQ(txt.DrawTextLine(L"\u2588\u2588\u2588 MW"), S_OK);
    txt.EndText();
    device->EndScene();
    int yellow = 0, other = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const DWORD p = Pixel(x, y);
            const bool isYellow = ((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && (p & 0xFF) < 80;
            if (isYellow) {
                ++yellow;
                EXPECT_GE(y, 5);
                EXPECT_LT(y, 5 + font->LineHeight());
                EXPECT_GE(x, 4);
            } else if (p != 0x424B79u && y >= 5 + font->LineHeight()) {
                ++other;
            }
        }
    EXPECT_GT(yellow, 30);
    EXPECT_EQ(other, 0);
    // The background shows between and around the glyphs.
    EXPECT_EQ(Pixel(2, 2), 0x424B79u);
    sprite->Release();
    font->Release();
}

TEST_F(GlUtilityTest, EffectTexturesReachTheirSamplers) {
    const char* text = R"(
        texture g_txA { MinFilter = Point; MagFilter = Point; }
        texture g_txB { MinFilter = Point; MagFilter = Point; }
        technique T {
            pass P0 {
                CullMode = NONE;
                ZEnable = false;
                VertexShader = <<< in vec3 aPosition; out vec2 vUv;
                                   void main() { gl_Position = vec4(aPosition, 1.0); vUv = vec2(0.5); } >>>;
                PixelShader = <<< in vec2 vUv;
                                  void main() { fragColour = texture(g_txA, vUv) + texture(g_txB, vUv); } >>>;
            }
        }
    )";
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr, 0,
                               nullptr, &effect, nullptr),
              D3D_OK);
    auto solid = [&](DWORD colour) {
        IDirect3DTexture9* t = nullptr;
        EXPECT_EQ(device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        D3DLOCKED_RECT lr;
        t->LockRect(0, &lr, nullptr, 0);
        std::memcpy(lr.pBits, &colour, 4);
        t->UnlockRect(0);
        return t;
    };
    IDirect3DTexture9* red = solid(0xFFFF0000u);
    IDirect3DTexture9* blue = solid(0xFF0000FFu);
    effect->SetTexture("g_txA", red);
    effect->SetTexture("g_txB", blue);
    ID3DXMesh* mesh = HalfScreen();
    DrawWith(effect, mesh);
    EXPECT_EQ(Pixel(10, 32), 0xFF00FFu);
    // Without a texture a sampler reads black.
    effect->SetTexture("g_txB", nullptr);
    DrawWith(effect, mesh);
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u);
    mesh->Release();
    effect->Release();
    red->Release();
    blue->Release();
}

// Sampler states an effect file leaves out are the device's for that sampler, as the device's own
// defaults (point filtering) or as the application set them; the file's own states win.
TEST_F(GlUtilityTest, EffectSamplerStatesNotInTheFileComeFromTheDevice) {
    const auto effectWith = [&](const char* states) {
        const std::string text = std::string("texture g_tx { ") + states + R"( }
            technique T {
                pass P0 {
                    CullMode = NONE;
                    ZEnable = false;
                    VertexShader = <<< in vec3 aPosition; void main() { gl_Position = vec4(aPosition, 1.0); } >>>;
                    PixelShader = <<< void main() { fragColour = texture(g_tx, vec2(0.3, 0.5)); } >>>;
                }
            })";
        ID3DXEffect* effect = nullptr;
        EXPECT_EQ(D3DXCreateEffect(device, text.data(), static_cast<UINT>(text.size()), nullptr, nullptr, 0,
                                   nullptr, &effect, nullptr),
                  D3D_OK);
        return effect;
    };
    // Red on the left, blue on the right: at u = 0.3 a linear filter mixes in a tenth of the blue.
    IDirect3DTexture9* texture = nullptr;
    ASSERT_EQ(device->CreateTexture(2, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    texture->LockRect(0, &lr, nullptr, 0);
    const DWORD texels[2] = {0xFFFF0000u, 0xFF0000FFu};
    std::memcpy(lr.pBits, texels, sizeof texels);
    texture->UnlockRect(0);
    ID3DXMesh* mesh = HalfScreen();
    const auto blue = [&] { return Pixel(10, 32) & 0xFFu; };

    ID3DXEffect* open = effectWith("");
    open->SetTexture("g_tx", texture);
    DrawWith(open, mesh);
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u) << "the device's default filter is point";
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DrawWith(open, mesh);
    EXPECT_NEAR(static_cast<int>(blue()), 26, 3) << "the device's linear filter";

    ID3DXEffect* pinned = effectWith("MagFilter = Point;");
    pinned->SetTexture("g_tx", texture);
    DrawWith(pinned, mesh);
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u) << "the file's state wins";
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    pinned->Release();
    open->Release();
    mesh->Release();
    texture->Release();
}

// A clear of the stencil alone keeps the colour and the depth that are there.
TEST_F(GlUtilityTest, StencilOnlyClearKeepsColourAndDepth) {
    const char* text = R"(
        float4 g_vColour = {1.0, 1.0, 1.0, 1.0};
        technique Test {
            pass P0 {
                CullMode = NONE;
                ZEnable = true; ZFunc = Less; ZWriteEnable = false;
                StencilEnable = true; StencilFunc = Equal; StencilRef = 0;
                VertexShader = <<< in vec3 aPosition; void main() { gl_Position = vec4(aPosition, 1.0); } >>>;
                PixelShader = <<< void main() { fragColour = g_vColour; } >>>;
            }
        }
    )";
    ID3DXEffect* effect = nullptr;
    ASSERT_EQ(D3DXCreateEffect(device, text, static_cast<UINT>(std::strlen(text)), nullptr, nullptr, 0,
                               nullptr, &effect, nullptr),
              D3D_OK);
    ID3DXMesh* mesh = HalfScreen(); // at depth 0.5
    const auto draw = [&] {
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        UINT passes = 0;
        effect->Begin(&passes, 0);
        effect->BeginPass(0);
        mesh->DrawSubset(0);
        effect->EndPass();
        effect->End();
        device->EndScene();
    };
    // Red, depth nearer than the quad, stencil 5: then the stencil alone back to 0.
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFFFF0000u, 0.25f, 5);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0xFF00FF00u, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u) << "colour kept";
    draw();
    EXPECT_EQ(Pixel(10, 32), 0xFF0000u) << "depth kept: the quad behind it is hidden";
    // With the depth cleared too the quad shows, so the stencil did become 0.
    device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    draw();
    EXPECT_EQ(Pixel(10, 32), 0xFFFFFFu) << "stencil cleared to 0";
    device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 7);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    draw();
    EXPECT_EQ(Pixel(10, 32), 0x000000u) << "a stencil of 7 fails the test";
    mesh->Release();
    effect->Release();
}

// A format reported usable as a cube render target can be made one and drawn into face by face.
TEST_F(GlUtilityTest, CubeRenderTargetsReportedUsableCanBeDrawnInto) {
    IDirect3D9* d3d9 = nullptr;
    device->GetDirect3D(&d3d9);
    int usable = 0;
    for (D3DFORMAT format : {D3DFMT_A8R8G8B8, D3DFMT_R32F, D3DFMT_A16B16G16R16F, D3DFMT_L8}) {
        SCOPED_TRACE(static_cast<int>(format));
        const bool reported = SUCCEEDED(d3d9->CheckDeviceFormat(
            0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_CUBETEXTURE, format));
        IDirect3DCubeTexture9* cube = nullptr;
        const HRESULT made =
            device->CreateCubeTexture(8, 1, D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT, &cube, nullptr);
        EXPECT_EQ(SUCCEEDED(made), reported);
        if (!cube)
            continue;
        ++usable;
        IDirect3DSurface9* saved = nullptr;
        device->GetRenderTarget(0, &saved);
        for (UINT face = 0; face < 6; ++face) {
            IDirect3DSurface9* surface = nullptr;
            ASSERT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, &surface), D3D_OK);
            EXPECT_EQ(device->SetRenderTarget(0, surface), D3D_OK);
            EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | (face * 40u), 1.0f, 0),
                      D3D_OK);
            surface->Release();
        }
        // Each face kept its own colour.
        for (UINT face = 0; format == D3DFMT_A8R8G8B8 && face < 6; ++face) {
            IDirect3DSurface9* surface = nullptr;
            IDirect3DSurface9* copy = nullptr;
            cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), 0, &surface);
            device->CreateOffscreenPlainSurface(8, 8, format, D3DPOOL_SYSTEMMEM, &copy, nullptr);
            EXPECT_EQ(device->GetRenderTargetData(surface, copy), D3D_OK);
            D3DLOCKED_RECT lr;
            copy->LockRect(&lr, nullptr, D3DLOCK_READONLY);
            EXPECT_EQ(*static_cast<const DWORD*>(lr.pBits) & 0xFFFFFFu, face * 40u) << "face " << face;
            copy->UnlockRect();
            copy->Release();
            surface->Release();
        }
        device->SetRenderTarget(0, saved);
        saved->Release();
        cube->Release();
    }
    // Luminance targets would write red only: never offered. Colour and float ones are on Mesa.
    EXPECT_FALSE(SUCCEEDED(d3d9->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET,
                                                   D3DRTYPE_CUBETEXTURE, D3DFMT_L8)));
    EXPECT_GE(usable, 2);
    d3d9->Release();
}

} // namespace
