#pragma once
// The device over OpenGL 3.3 core. The back buffer is an off-screen colour texture of the requested
// size (plus the automatic depth-stencil buffer); Present scales it onto the device window. Images are
// kept top row first, as the interfaces expect, and turned the right way up when presented.
//
// Vertex shaders given to CreateVertexShader are GLSL 3.30 vertex-shader texts. They read the
// attributes by the locations of GlAttribute and the constants as "uniform vec4 c[256]", and write
// gl_Position in the layer's clip space (z from 0 to 1, y up); the layer appends the conversion.
#include "graphics3d/framework/DeviceBase.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPointer>
#include <QWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QOpenGLFunctions_3_3_Core;

namespace orv {

// Attribute locations of the vertex inputs.
enum GlAttribute : unsigned {
    kAttrPosition = 0,
    kAttrBlendWeight = 1,
    kAttrNormal = 2,
    kAttrColor0 = 3,
    kAttrColor1 = 4,
    kAttrTexCoord0 = 5, // .. 12 for sets 0..7
    kAttrBlendIndices = 13,
    kAttrTangent = 14,
    kAttrBinormal = 15
};

// Compiles and links a program with the vertex inputs at the locations above and the colour output
// "fragColour"; 0 on failure. Each failing step ("vertex shader", "pixel shader", "link") goes to fail
// with the driver's log.
unsigned LinkGlProgram(QOpenGLFunctions_3_3_Core* gl, const std::string& vertexShader,
                       const std::string& fragmentShader,
                       const std::function<void(const char* step, const char* log)>& fail);
// Renames the vertex stage's main and appends one that calls it and turns gl_Position from the layer's
// clip space into OpenGL's; false when the text has no main.
bool AppendClipSpaceConversion(std::string& vertexShader);

// The sampler states of one texture binding.
struct GlSamplerStates {
    DWORD addressU, addressV, addressW, magFilter, minFilter, mipFilter;
};
// Sets the wrap and filter parameters of the texture bound at target (mip filtering only with levels).
void SetGlSamplerParameters(QOpenGLFunctions_3_3_Core* gl, unsigned target, const GlSamplerStates& states,
                            UINT levels);

class GlDevice final : public DeviceBase, private ResourceBackend {
public:
    GlDevice(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation, const D3DPRESENT_PARAMETERS& pp,
             const D3DCAPS9& caps, QScreen* screen);
    ~GlDevice() override;

    // Creates the context and the swap chain; a failure code when the device cannot work.
    HRESULT Start();

    HRESULT TestCooperativeLevel() override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* pp) override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const void* dirtyRegion) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) override;
    HRESULT CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) override;

    // For utilities built on the device (effects, fonts, sprites): the context made current, its
    // functions, and the state of the device applied to OpenGL before a draw with their own program.
    bool MakeCurrent();
    QOpenGLFunctions_3_3_Core* Gl() const { return gl_; }
    QOpenGLContext* Context() { return context_.get(); }
    void ApplyRenderState();
    void BindRenderTargets();
    void BindTextures();
    // Binds the vertex input of a draw to the attribute locations above; false when unusable.
    bool BindVertexInput(const DrawCall& call);
    // Issues the draw with whatever program is bound.
    void IssueDraw(const DrawCall& call);
    unsigned GlTextureOf(IDirect3DBaseTexture9* texture);
    // LinkGlProgram on the device's context (GLSL 3.30 unless the texts say otherwise); 0 on failure,
    // with the compile logs on stderr.
    unsigned LinkProgram(const std::string& vertexShader, const std::string& fragmentShader);
    // Utilities with programs of their own (effects): while one is set, draws use it instead of the
    // fixed-function or vertex-shader program; prepare runs after the device's state is applied and
    // before the draw, to bind textures and set uniforms. Program 0 returns to the device's own.
    void SetExternalProgram(unsigned program, std::function<void()> prepare);

protected:
    ResourceBackend* Backend() override { return this; }
    bool FormatUsable(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) override;
    HRESULT DoDraw(const DrawCall& call) override;
    void RenderTargetsChanged() override { targetsDirty_ = true; }
    INT DoBeginEvent(const std::wstring& name) override;
    void DoEndEvent() override;

private:
    void TextureCreated(TextureData& t) override;
    void TextureUpload(TextureData& t, UINT face, UINT level) override;
    void TextureDownload(TextureData& t, UINT face, UINT level) override;
    void TextureDestroyed(TextureData& t) override;
    void BufferUpload(BufferData& b, UINT offset, UINT size) override;
    void BufferDestroyed(BufferData& b) override;

    bool SetUpWindow();
    bool WindowGone() const;
    void MarkTargetsRendered();
    unsigned FixedFunctionProgram(const DrawCall& call);
    std::vector<D3DVERTEXELEMENT9> CurrentElements() const;
    // The fixed-function vertex stage on the processor (software vertex processing).
    HRESULT DrawSoftware(const DrawCall& call);
    void SetFixedFunctionUniforms(unsigned program);

    struct Program {
        unsigned id = 0;
        std::map<std::string, int, std::less<>> uniforms;
    };
    int Uniform(Program& p, const char* name);

    QScreen* screen_;
    QPointer<QWindow> window_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> fallback_;
    QOpenGLFunctions_3_3_Core* gl_ = nullptr;
    unsigned vao_ = 0, drawFbo_ = 0, readFbo_ = 0, streamVbo_ = 0, streamIbo_ = 0;
    bool targetsDirty_ = true;
    bool lost_ = false;
    std::map<std::uint64_t, Program> programs_;
    std::map<unsigned, Program*> programById_;
    Program* currentProgram_ = nullptr;
    unsigned externalProgram_ = 0;
    const std::vector<D3DVERTEXELEMENT9>* elementOverride_ = nullptr;
    std::function<void()> externalPrepare_;
    friend class GlVertexShader;
};

} // namespace orv
