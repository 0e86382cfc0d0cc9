#pragma once
// The device over OpenGL 3.3 core. The back buffer is an off-screen colour texture of the requested
// size (plus the automatic depth-stencil buffer); Present scales it onto the device window. Images are
// kept top row first, as the interfaces expect, and turned the right way up when presented.
//
// Vertex shaders given to CreateVertexShader are GLSL 3.30 vertex-shader texts. They read the
// attributes by the locations of GlAttribute and the constants as "uniform vec4 c[256]", and write
// gl_Position in the layer's clip space (z from 0 to 1, y up); the layer appends the conversion.
#include "graphics3d/framework/DeviceBase.h"
#include "graphics3d/framework/GlFunctions.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPointer>
#include <QWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv {
class GlVertexShader;
class OffscreenGlContext;
} // namespace orv

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
unsigned LinkGlProgram(const GlFunctions* gl, const std::string& vertexShader,
                       const std::string& fragmentShader,
                       const std::function<void(const char* step, const char* log)>& fail);
// Renames the vertex stage's main and appends one that calls it and turns gl_Position from the layer's
// clip space into OpenGL's; false when the text has no main.
bool AppendClipSpaceConversion(std::string& vertexShader);

// The fixed-function stage's vertex and pixel program texts for a vertex layout, as the device links
// them (benchmarks set the device next to plain OpenGL running the same programs).
std::pair<std::string, std::string> FixedFunctionProgramTexts(const std::vector<D3DVERTEXELEMENT9>& elements);

// The sampler states of one texture binding.
struct GlSamplerStates {
    DWORD addressU, addressV, addressW, magFilter, minFilter, mipFilter;
};
inline bool operator==(const GlSamplerStates& a, const GlSamplerStates& b) {
    return a.addressU == b.addressU && a.addressV == b.addressV && a.addressW == b.addressW &&
           a.magFilter == b.magFilter && a.minFilter == b.minFilter && a.mipFilter == b.mipFilter;
}
// OpenGL's wrap and filter parameters for the states (mip filtering only for textures with levels).
struct GlSamplerParameters {
    int wrapS, wrapT, wrapR, magFilter, minFilter;
};
GlSamplerParameters SamplerParametersOf(const GlSamplerStates& states, bool mipmapped);

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

    std::unique_ptr<BackEndProgram> CreateProgram(const ProgramSource& source, std::string* log) override;
    bool DrawsWithPrograms() const override { return true; }

    // The context made current and its functions, for tests and tools that look behind the device.
    bool MakeCurrent();
    const GlFunctions* Gl() const { return gl_; }
    // The window's context; null when the device draws offscreen.
    QOpenGLContext* Context() { return context_.get(); }
    bool Offscreen() const { return offscreen_ != nullptr; }
    // The offscreen context's render node or platform; empty on a window.
    QString OffscreenPlatform() const;
    // Whether frames are presented without waiting for the display's refresh.
    bool SwapIntervalZero() const;
    // LinkGlProgram on the device's context (GLSL 3.30 unless the texts say otherwise); 0 on failure,
    // with the compile logs on stderr.
    unsigned LinkProgram(const std::string& vertexShader, const std::string& fragmentShader);
    // Forget what the device believes OpenGL holds, after someone else changed the context's state.
    void InvalidateGlState();

protected:
    ResourceBackend* Backend() override { return this; }
    bool FormatUsable(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) override;
    HRESULT DoDraw(const DrawCall& call) override;
    void RenderTargetsChanged() override { targetsDirty_ = true; }
    INT DoBeginEvent(const wchar_t* name) override;
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
    bool HasGlExtension(const char* name) const;
    HRESULT PresentOffscreen(const RECT* sourceRect, const RECT* destRect);
    // The back buffer scaled into a framebuffer of that size (a window's or the offscreen one).
    void BlitBackBuffer(unsigned drawFramebuffer, int ww, int wh, const RECT* sourceRect,
                        const RECT* destRect);
    void MarkTargetsRendered();
    // Whether the viewport reaches over every bound target, so a clear of it needs no scissor.
    bool ViewportCoversTargets() const;
    // The vertex layout of the next draw and a key no other layout shares.
    const std::vector<D3DVERTEXELEMENT9>& CurrentElements(std::uint64_t* key) const;
    // The fixed-function vertex stage on the processor (software vertex processing).
    HRESULT DrawSoftware(const DrawCall& call);

    // What a draw needs, each applied only where it differs from what OpenGL already holds.
    void BindRenderTargets();
    void ApplyRenderState();
    void BindTextures();
    bool BindVertexInput(const DrawCall& call);
    void IssueDraw(const DrawCall& call);
    void UseProgram(unsigned program);
    void SetFixedFunctionUniforms();
    void SetShaderConstants(GlVertexShader& vs);
    HRESULT DrawWithProgram(const DrawCall& call);
    unsigned FixedFunctionProgram();

    // State setters over the shadow of the context's state.
    void Enable(int index, unsigned cap, bool on);
    void SetDepthMask(bool on);
    void SetColorMask(DWORD mask);
    void SetStencilWriteMask(unsigned mask);
    void BindDrawFramebuffer(unsigned fbo);
    void ActiveUnit(unsigned unit);
    // Binds a texture and the sampler for its states on a unit.
    void BindUnit(unsigned unit, unsigned target, unsigned texture, const GlSamplerStates& states,
                  UINT levels);
    void BindElementBuffer(unsigned buffer);
    // Stops using the program if it is in use, and deletes it.
    void ForgetProgram(unsigned program);
    // After a raw bind on the active unit (uploads): the unit's binding is unknown.
    void ForgetActiveUnitBinding();
    unsigned SamplerFor(const GlSamplerStates& states, bool mipmapped);

    // The fixed-function stage's uniforms: locations found once per program, values sent when they
    // differ from what that program last received.
    struct FixedUniformValues {
        float world[4][16];
        float view[16], proj[16];
        float viewport[4], ambient[4], textureFactor[4];
        float matDiffuse[4], matAmbient[4], matSpecular[4], matEmissive[4];
        float matPower, alphaRef;
        int blendCount, lighting, normalize, colorVertex, diffuseSource, ambientSource, specularEnable;
        int hasTex0, colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2, alphaTest, alphaFunc;
        int lightType[8];
        float lightDiffuse[8][4], lightSpecular[8][4], lightAmbient[8][4];
        float lightPosition[8][3], lightDirection[8][3], lightRangeAtt[8][4], lightSpot[8][3];
    };
    struct FixedUniformLocations;
    struct FixedProgram {
        unsigned id = 0;
        std::unique_ptr<FixedUniformLocations> locations;
        FixedUniformValues sent{};
        bool sentValid = false;
    };
    void FillFixedUniforms(FixedUniformValues& v) const;
    void SendFixedUniforms(FixedProgram& p, const FixedUniformValues& v);

    // Vertex array objects by layout and the buffers, offsets and strides of its streams.
    struct VaoKey {
        std::uint64_t layout = 0;
        std::array<std::uint32_t, 3 * kMaxStreams> streams{};
        bool operator==(const VaoKey& o) const { return layout == o.layout && streams == o.streams; }
    };
    struct VaoKeyHash {
        std::size_t operator()(const VaoKey& k) const;
    };
    struct Vao {
        unsigned id = 0;
        unsigned elementBuffer = 0;
        unsigned attributes = 0; // bit per enabled attribute location
    };
    Vao* VaoFor(const VaoKey& key, const std::vector<D3DVERTEXELEMENT9>& elements, const DrawCall& call);

    struct SamplerEntry {
        GlSamplerStates states;
        bool mipmapped;
        unsigned id;
    };

    enum : int { kDepthTest, kCullFace, kStencilTest, kBlend, kScissor };
    // Layout keys: declarations by their id; flexible formats and the software stage's output apart.
    static constexpr std::uint64_t kFvfLayoutKey = 1ull << 63;
    static constexpr std::uint64_t kTransformedLayoutKey = 1ull << 62;

    // What the device last told OpenGL; "unknown" values never match a request.
    struct Shadow {
        static constexpr unsigned kUnknown = 0xFFFFFFFFu;
        std::array<int, 5> enabled; // depth test, cull face, stencil test, blend, scissor: 0, 1 or -1
        std::array<int, 4> viewport;
        std::array<float, 2> depthRange;
        unsigned depthFunc, depthMask, frontFace, cullFace, polygonMode, colorMask, stencilWriteMask;
        std::array<unsigned, 6> stencilFront, stencilBack; // func, ref, mask, fail, zfail, pass
        std::array<unsigned, 6> blend;                     // src, dst, src alpha, dst alpha, op, op alpha
        unsigned program, drawFramebuffer, vao, activeUnit;
        struct Unit {
            unsigned target, texture, sampler;
        };
        std::array<Unit, 16> units;
    };

    QScreen* screen_;
    QPointer<QWindow> window_;
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<QOffscreenSurface> fallback_;
    std::unique_ptr<OffscreenGlContext> offscreen_;
    GlFunctions functions_;
    const GlFunctions* gl_ = nullptr;
    unsigned drawFbo_ = 0, readFbo_ = 0, streamVbo_ = 0, streamIbo_ = 0;
    bool targetsDirty_ = true;
    bool lost_ = false;
    Shadow shadow_{};
    std::map<std::uint64_t, FixedProgram> fixedPrograms_;
    std::unordered_map<VaoKey, Vao, VaoKeyHash> vaos_;
    std::vector<SamplerEntry> samplers_;
    std::uint64_t elementOverrideKey_ = 0;
    const std::vector<D3DVERTEXELEMENT9>* elementOverride_ = nullptr;
    Vao* currentVao_ = nullptr;
    VaoKey lastVaoKey_;
    bool attributeDefaultsValid_ = false;
    FixedProgram* lastFixed_ = nullptr;
    std::uint64_t lastFixedLayout_ = 0;
    FixedUniformValues fixedScratch_{};
    // The software vertex stage's output, kept between draws.
    std::vector<unsigned char> softwareVertices_;
    std::vector<std::uint32_t> softwareIndices_;
    using PushDebugGroup = void (*)(unsigned, unsigned, int, const char*);
    using PopDebugGroup = void (*)();
    PushDebugGroup pushDebugGroup_ = nullptr;
    PopDebugGroup popDebugGroup_ = nullptr;
    std::string eventName_; // reused by the profiling groups
    friend class GlVertexShader;
    friend class GlProgram;
};

} // namespace orv
