#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/GlDirect3D.h"
#include "graphics3d/framework/GlFormats.h"
#include "platform/OffscreenGl.h"

#include <QScreen>

#include <array>
#include <cmath>
#include <cstring>
#include <sstream>

namespace orv {

namespace {

constexpr GLenum kDebugGroupSource = 0x824A; // GL_DEBUG_SOURCE_APPLICATION

GLenum CompareFunc(DWORD f) {
    switch (f) {
    case D3DCMP_NEVER:
        return GL_NEVER;
    case D3DCMP_LESS:
        return GL_LESS;
    case D3DCMP_EQUAL:
        return GL_EQUAL;
    case D3DCMP_LESSEQUAL:
        return GL_LEQUAL;
    case D3DCMP_GREATER:
        return GL_GREATER;
    case D3DCMP_NOTEQUAL:
        return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL:
        return GL_GEQUAL;
    default:
        return GL_ALWAYS;
    }
}

GLenum StencilOp(DWORD op) {
    switch (op) {
    case D3DSTENCILOP_ZERO:
        return GL_ZERO;
    case D3DSTENCILOP_REPLACE:
        return GL_REPLACE;
    case D3DSTENCILOP_INCRSAT:
        return GL_INCR;
    case D3DSTENCILOP_DECRSAT:
        return GL_DECR;
    case D3DSTENCILOP_INVERT:
        return GL_INVERT;
    case D3DSTENCILOP_INCR:
        return GL_INCR_WRAP;
    case D3DSTENCILOP_DECR:
        return GL_DECR_WRAP;
    default:
        return GL_KEEP;
    }
}

GLenum BlendFactor(DWORD b) {
    switch (b) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_ONE:
        return GL_ONE;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

GLenum BlendOp(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE t) {
    switch (t) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLenum TargetOf(const TextureData& t) {
    switch (t.kind) {
    case TextureKind::Cube:
        return GL_TEXTURE_CUBE_MAP;
    case TextureKind::Volume:
        return GL_TEXTURE_3D;
    default:
        return GL_TEXTURE_2D;
    }
}

GLenum FaceTarget(const TextureData& t, UINT face) {
    return t.kind == TextureKind::Cube ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : TargetOf(t);
}

int AttributeFor(const D3DVERTEXELEMENT9& e) {
    switch (e.Usage) {
    case D3DDECLUSAGE_POSITION:
    case D3DDECLUSAGE_POSITIONT:
        return e.UsageIndex == 0 ? static_cast<int>(kAttrPosition) : -1;
    case D3DDECLUSAGE_BLENDWEIGHT:
        return kAttrBlendWeight;
    case D3DDECLUSAGE_BLENDINDICES:
        return kAttrBlendIndices;
    case D3DDECLUSAGE_NORMAL:
        return e.UsageIndex == 0 ? static_cast<int>(kAttrNormal) : -1;
    case D3DDECLUSAGE_COLOR:
        return e.UsageIndex == 0   ? static_cast<int>(kAttrColor0)
               : e.UsageIndex == 1 ? static_cast<int>(kAttrColor1)
                                   : -1;
    case D3DDECLUSAGE_TEXCOORD:
        return e.UsageIndex < 8 ? static_cast<int>(kAttrTexCoord0 + e.UsageIndex) : -1;
    case D3DDECLUSAGE_TANGENT:
        return kAttrTangent;
    case D3DDECLUSAGE_BINORMAL:
        return kAttrBinormal;
    default:
        return -1;
    }
}

// Vertex stage of the fixed-function pipeline, generated per combination of inputs.
const char* kFixedVertexShader = R"(
uniform mat4 uWorld[4];
uniform mat4 uView;
uniform mat4 uProj;
uniform int uBlendCount;          // number of world matrices blended (1 = no blending)
uniform vec4 uViewport;           // x, y, width, height of the viewport in pixels
uniform bool uLighting;
uniform bool uNormalize;
uniform bool uColorVertex;
uniform int uDiffuseSource;       // 0 material, 1 colour 0, 2 colour 1
uniform int uAmbientSource;
uniform vec4 uAmbient;            // the ambient render state
uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;
uniform float uMatPower;
uniform bool uSpecularEnable;
uniform int uLightType[8];        // 0 off, 1 point, 2 spot, 3 directional
uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];
uniform vec3 uLightPosition[8], uLightDirection[8];   // in view space
uniform vec4 uLightRangeAtt[8];   // range, attenuation 0, 1, 2
uniform vec3 uLightSpot[8];       // cos(theta/2), cos(phi/2), falloff
out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTex0;
void main() {
    vec4 inColor0 = HAS_COLOR0 ? aColor0 : vec4(1.0);
    vec4 inColor1 = HAS_COLOR1 ? aColor1 : vec4(0.0);
    vTex0 = HAS_TEX0 ? aTex0 : vec2(0.0);
#if POSITIONT
    vec4 p = aPosition;
    float w = p.w != 0.0 ? 1.0 / p.w : 1.0;
    vec2 ndc = (p.xy - uViewport.xy) / uViewport.zw * 2.0 - 1.0;
    gl_Position = vec4(ndc * w, (2.0 * p.z - 1.0) * w, w);
    vDiffuse = inColor0;
    vSpecular = inColor1;
#else
    vec4 pos = vec4(aPosition.xyz, 1.0);
    vec3 nrm = HAS_NORMAL ? aNormal : vec3(0.0);
    vec4 worldPos = vec4(0.0);
    vec3 worldNrm = vec3(0.0);
    float rest = 1.0;
    for (int i = 0; i < 4; ++i) {
        if (i >= uBlendCount) break;
        float wgt = i == uBlendCount - 1 ? rest : aBlendWeight[i];
        rest -= wgt;
        worldPos += wgt * (uWorld[i] * pos);
        worldNrm += wgt * (mat3(uWorld[i]) * nrm);
    }
    vec4 viewPos = uView * worldPos;
    vec4 clip = uProj * viewPos;
    // Our clip space has z from 0 to w and images stored top row first.
    gl_Position = vec4(clip.x, -clip.y, 2.0 * clip.z - clip.w, clip.w);
    vec4 matDiffuse = (uColorVertex && uDiffuseSource == 1 && HAS_COLOR0) ? inColor0
                    : (uColorVertex && uDiffuseSource == 2 && HAS_COLOR1) ? inColor1 : uMatDiffuse;
    vec4 matAmbient = (uColorVertex && uAmbientSource == 1 && HAS_COLOR0) ? inColor0
                    : (uColorVertex && uAmbientSource == 2 && HAS_COLOR1) ? inColor1 : uMatAmbient;
    if (!uLighting) {
        vDiffuse = inColor0;
        vSpecular = inColor1;
        return;
    }
    vec3 N = mat3(uView) * worldNrm;
    if (uNormalize) N = normalize(N);
    vec3 P = viewPos.xyz;
    vec3 diffuse = vec3(0.0), specular = vec3(0.0), ambient = vec3(0.0);
    for (int i = 0; i < 8; ++i) {
        if (uLightType[i] == 0) continue;
        vec3 L;
        float att = 1.0;
        if (uLightType[i] == 3) {
            L = -normalize(uLightDirection[i]);
        } else {
            vec3 d = uLightPosition[i] - P;
            float dist = length(d);
            if (dist > uLightRangeAtt[i].x) continue;
            L = d / max(dist, 1e-6);
            float den = uLightRangeAtt[i].y + uLightRangeAtt[i].z * dist + uLightRangeAtt[i].w * dist * dist;
            att = den > 0.0 ? 1.0 / den : 1.0;
            if (uLightType[i] == 2) {
                float rho = dot(-L, normalize(uLightDirection[i]));
                float cosTheta = uLightSpot[i].x, cosPhi = uLightSpot[i].y;
                if (rho <= cosPhi) att = 0.0;
                else if (rho < cosTheta)
                    att *= pow(clamp((rho - cosPhi) / max(cosTheta - cosPhi, 1e-6), 0.0, 1.0), uLightSpot[i].z);
            }
        }
        ambient += att * uLightAmbient[i].rgb;
        float ndl = max(dot(N, L), 0.0);
        diffuse += att * ndl * uLightDiffuse[i].rgb;
        if (uSpecularEnable && ndl > 0.0) {
            vec3 H = normalize(L + normalize(-P));
            specular += att * pow(max(dot(N, H), 0.0), uMatPower) * uLightSpecular[i].rgb;
        }
    }
    vec3 colour = uMatEmissive.rgb + matAmbient.rgb * (uAmbient.rgb + ambient) + matDiffuse.rgb * diffuse;
    vDiffuse = vec4(clamp(colour, 0.0, 1.0), matDiffuse.a);
    vSpecular = vec4(clamp(specular * uMatSpecular.rgb, 0.0, 1.0), 0.0);
#endif
}
)";

// Pixel stage: texture stage 0 with its colour and alpha operations, alpha test, specular add.
const char* kFixedFragmentShader = R"(
uniform sampler2D uTex0;
uniform bool uHasTex0;
uniform int uColorOp, uColorArg1, uColorArg2, uAlphaOp, uAlphaArg1, uAlphaArg2;
uniform vec4 uTextureFactor;
uniform bool uAlphaTest;
uniform int uAlphaFunc;
uniform float uAlphaRef;
uniform bool uSpecularEnable;
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTex0;
out vec4 fragColour;
vec4 arg(int a, vec4 tex) {
    if (a == 2) return tex;
    if (a == 3) return uTextureFactor;
    return vDiffuse;      // diffuse, and current (= diffuse at stage 0)
}
vec4 op(int o, vec4 a1, vec4 a2) {
    if (o == 2) return a1;
    if (o == 3) return a2;
    if (o == 4) return a1 * a2;
    if (o == 5) return 2.0 * a1 * a2;
    if (o == 6) return 4.0 * a1 * a2;
    if (o == 7) return a1 + a2;
    return vDiffuse;
}
bool passes(int f, float a, float r) {
    if (f == 1) return false;
    if (f == 2) return a < r;
    if (f == 3) return a == r;
    if (f == 4) return a <= r;
    if (f == 5) return a > r;
    if (f == 6) return a != r;
    if (f == 7) return a >= r;
    return true;
}
void main() {
    vec4 tex = uHasTex0 ? texture(uTex0, vTex0) : vec4(1.0);
    vec4 c = vDiffuse;
    if (uColorOp != 1) {
        c.rgb = op(uColorOp, arg(uColorArg1, tex), arg(uColorArg2, tex)).rgb;
        c.a = uAlphaOp != 1 ? op(uAlphaOp, arg(uAlphaArg1, tex), arg(uAlphaArg2, tex)).a : vDiffuse.a;
    }
    if (uSpecularEnable) c.rgb += vSpecular.rgb;
    if (uAlphaTest && !passes(uAlphaFunc, c.a, uAlphaRef)) discard;
    fragColour = clamp(c, 0.0, 1.0);
}
)";

// Pixel stage used with a vertex shader: its first colour output and first texture coordinate.
const char* kShaderFragmentShader = R"(
uniform sampler2D uTex0;
uniform bool uHasTex0;
in vec4 oD0;
in vec4 oT0;
out vec4 fragColour;
void main() {
    vec4 tex = uHasTex0 ? texture(uTex0, oT0.xy) : vec4(1.0);
    fragColour = clamp(oD0 * tex, 0.0, 1.0);
}
)";

} // namespace

// Vertex shaders: our text, linked with the layer's pixel stage when first drawn with.
class GlVertexShader final : public IDirect3DVertexShader9 {
public:
    GlVertexShader(GlDevice* device, std::string source) : device_(device), source_(std::move(source)) {}
    ~GlVertexShader() override {
        if (program_ && device_->MakeCurrent())
            device_->ForgetProgram(program_);
    }
    bool Link() {
        // The shader's own gl_Position is in our clip space; the layer turns it into OpenGL's.
        std::string vs = source_;
        if (!AppendClipSpaceConversion(vs))
            return false;
        program_ = device_->LinkProgram(vs, kShaderFragmentShader);
        if (!program_)
            return false;
        const GlFunctions* gl = device_->Gl();
        for (UINT i = 0; i < DeviceBase::kVsConstants; ++i)
            constantLocations[i] =
                gl->glGetUniformLocation(program_, ("c[" + std::to_string(i) + "]").c_str());
        hasTexLocation = gl->glGetUniformLocation(program_, "uHasTex0");
        device_->UseProgram(program_);
        gl->glUniform1i(gl->glGetUniformLocation(program_, "uTex0"), 0);
        return true;
    }
    unsigned Program() const { return program_; }

    // What the program last received.
    std::array<int, DeviceBase::kVsConstants> constantLocations{};
    std::array<float, DeviceBase::kVsConstants * 4> sentConstants{};
    bool constantsSent = false;
    int hasTexLocation = -1;
    int sentHasTex = -1;

private:
    GlDevice* device_;
    std::string source_;
    unsigned program_ = 0;
};

// A utility's program: its parameters' locations and units, and the version each last sent.
class GlProgram final : public BackEndProgram {
public:
    struct Slot {
        ProgramValueType type = ProgramValueType::Float;
        int location = -1;
        int unit = -1;
        GLenum target = GL_TEXTURE_2D;
        std::array<DWORD, 6> sampler{};
        std::array<bool, 6> samplerFixed{};
        std::uint64_t sent = 0;
    };
    GlProgram(GlDevice* device, unsigned id) : device_(device), id_(id) {}
    ~GlProgram() override {
        if (device_->MakeCurrent())
            device_->ForgetProgram(id_);
    }
    unsigned Id() const { return id_; }
    std::vector<Slot> parameters;

private:
    GlDevice* device_;
    unsigned id_;
};

GlDevice::GlDevice(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                   const D3DPRESENT_PARAMETERS& pp, const D3DCAPS9& caps, QScreen* screen)
    : DeviceBase(d3d, creation, pp, caps), screen_(screen), window_(pp.hDeviceWindow) {
    InvalidateGlState();
}

GlDevice::~GlDevice() {
    if (MakeCurrent()) {
        ReleaseBindings();
        ReleaseSwapChainSurfaces();
        // Whatever the application still holds loses its card copy now.
        for (auto& w : liveTextures_)
            if (auto t = w.lock())
                TextureDestroyed(*t);
        for (auto& w : liveBuffers_)
            if (auto b = w.lock())
                BufferDestroyed(*b);
        for (auto& [key, p] : fixedPrograms_)
            gl_->glDeleteProgram(p.id);
        for (auto& [key, v] : vaos_)
            gl_->glDeleteVertexArrays(1, &v.id);
        for (const SamplerEntry& s : samplers_)
            gl_->glDeleteSamplers(1, &s.id);
        gl_->glDeleteFramebuffers(1, &drawFbo_);
        gl_->glDeleteFramebuffers(1, &readFbo_);
        gl_->glDeleteBuffers(1, &streamVbo_);
        gl_->glDeleteBuffers(1, &streamIbo_);
        if (offscreen_)
            offscreen_->DoneCurrent();
        else
            context_->doneCurrent();
    }
    DetachResources();
}

bool GlDevice::WindowGone() const {
    return window_.isNull() || !window_->handle();
}

bool GlDevice::MakeCurrent() {
    if (offscreen_)
        return offscreen_->MakeCurrent();
    if (!context_)
        return false;
    QSurface* surface = WindowGone() ? static_cast<QSurface*>(fallback_.get()) : window_.data();
    if (QOpenGLContext::currentContext() == context_.get() && context_->surface() == surface)
        return true;
    return context_->makeCurrent(surface);
}

bool GlDevice::SetUpWindow() {
    if (window_.isNull())
        return false;
    const int interval = pp_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
    QSurfaceFormat fmt = window_->requestedFormat();
    fmt.setRenderableType(QSurfaceFormat::OpenGL);
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CoreProfile);
    fmt.setSwapInterval(interval);
    fmt.setDepthBufferSize(0);
    fmt.setStencilBufferSize(0);
    const bool wasVisible = window_->isVisible();
    const bool mustRecreate = window_->handle() && (window_->surfaceType() != QSurface::OpenGLSurface ||
                                                    window_->format().swapInterval() != interval);
    if (mustRecreate)
        window_->destroy();
    window_->setSurfaceType(QSurface::OpenGLSurface);
    window_->setFormat(fmt);
    if (!pp_.Windowed) {
        // A full-screen device covers its adapter's screen; the back buffer is scaled onto it.
        window_->setScreen(screen_);
        window_->setGeometry(screen_->geometry());
        window_->setWindowStates(Qt::WindowFullScreen);
    } else if (window_->windowStates().testFlag(Qt::WindowFullScreen)) {
        window_->setWindowStates(Qt::WindowNoState);
    }
    window_->create();
    if (mustRecreate && wasVisible)
        window_->show();
    return window_->handle() != nullptr;
}

HRESULT GlDevice::Start() {
    if (OffscreenGraphics()) {
        // No window to draw on: the back buffer is presented into a framebuffer of the display's size.
        QString reason;
        offscreen_ = OffscreenGlContext::Create(GlProfile::Core33, &reason);
        if (!offscreen_ || !offscreen_->ResizeFramebuffer(kOffscreenScreenWidth, kOffscreenScreenHeight, 0))
            return D3DERR_NOTAVAILABLE;
        if (!functions_.Resolve([this](const char* name) { return offscreen_->ProcAddress(name); }))
            return D3DERR_NOTAVAILABLE;
    } else {
        if (!SetUpWindow())
            return D3DERR_INVALIDCALL;
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(window_->format());
        if (!context_->create())
            return D3DERR_NOTAVAILABLE;
        fallback_ = std::make_unique<QOffscreenSurface>(screen_);
        fallback_->setFormat(context_->format());
        fallback_->create();
        if (!MakeCurrent())
            return D3DERR_NOTAVAILABLE;
        if (!functions_.Resolve([this](const char* name) { return context_->getProcAddress(name); }))
            return D3DERR_NOTAVAILABLE;
    }
    gl_ = &functions_;
    InvalidateGlState();
    gl_->glGenFramebuffers(1, &drawFbo_);
    gl_->glGenFramebuffers(1, &readFbo_);
    gl_->glGenBuffers(1, &streamVbo_);
    gl_->glGenBuffers(1, &streamIbo_);
    if (HasGlExtension("GL_KHR_debug")) {
        const auto lookup = [this](const char* name) {
            return offscreen_ ? offscreen_->ProcAddress(name) : context_->getProcAddress(name);
        };
        pushDebugGroup_ = reinterpret_cast<PushDebugGroup>(lookup("glPushDebugGroup"));
        popDebugGroup_ = reinterpret_cast<PopDebugGroup>(lookup("glPopDebugGroup"));
    }
    ResetState();
    if (!CreateSwapChainSurfaces())
        return D3DERR_OUTOFVIDEOMEMORY;
    return D3D_OK;
}

bool GlDevice::HasGlExtension(const char* name) const {
    GLint count = 0;
    gl_->glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const auto* e =
            reinterpret_cast<const char*>(gl_->glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, name) == 0)
            return true;
    }
    return false;
}

bool GlDevice::SwapIntervalZero() const {
    // Offscreen nothing waits for a display's refresh.
    if (offscreen_)
        return true;
    return context_ && pp_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE && !window_.isNull() &&
           window_->format().swapInterval() == 0;
}

QString GlDevice::OffscreenPlatform() const {
    return offscreen_ ? offscreen_->Platform() : QString();
}

// Device loss here means the full-screen window was hidden or minimised.
HRESULT GlDevice::TestCooperativeLevel() {
    if (!offscreen_ && !pp_.Windowed &&
        (window_.isNull() || !window_->isVisible() ||
         window_->windowStates().testFlag(Qt::WindowMinimized))) {
        lost_ = true;
        return D3DERR_DEVICELOST;
    }
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    if (!pp)
        return D3DERR_INVALIDCALL;
    if (!offscreen_ && !pp->Windowed &&
        (window_.isNull() ||
         (lost_ && (!window_->isVisible() || window_->windowStates().testFlag(Qt::WindowMinimized)))))
        return D3DERR_DEVICELOST;
    if (DefaultPoolObjects() > 0 || pp->MultiSampleType != D3DMULTISAMPLE_NONE || pp->BackBufferFormat >= 64)
        return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS next = *pp;
    if (next.hDeviceWindow == nullptr)
        next.hDeviceWindow = creation_.hFocusWindow;
    if (next.Windowed) {
        if (next.BackBufferFormat == D3DFMT_UNKNOWN)
            next.BackBufferFormat = D3DFMT_X8R8G8B8;
        if (next.BackBufferWidth == 0 && next.hDeviceWindow)
            next.BackBufferWidth = static_cast<UINT>(std::max(1, next.hDeviceWindow->width()));
        if (next.BackBufferHeight == 0 && next.hDeviceWindow)
            next.BackBufferHeight = static_cast<UINT>(std::max(1, next.hDeviceWindow->height()));
    }
    if (next.BackBufferCount == 0)
        next.BackBufferCount = 1;
    if (!GlDriver().renderable[next.BackBufferFormat] ||
        (next.EnableAutoDepthStencil &&
         (next.AutoDepthStencilFormat >= 64 || !GlDriver().depthUsable[next.AutoDepthStencilFormat])))
        return D3DERR_INVALIDCALL;
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    pp_ = next;
    *pp = next;
    window_ = pp_.hDeviceWindow;
    if (!offscreen_ && !SetUpWindow())
        return D3DERR_INVALIDCALL;
    ResetState();
    if (!MakeCurrent() || !CreateSwapChainSurfaces())
        return D3DERR_OUTOFVIDEOMEMORY;
    lost_ = false;
    return D3D_OK;
}

void GlDevice::BlitBackBuffer(unsigned drawFramebuffer, int ww, int wh, const RECT* sourceRect,
                              const RECT* destRect) {
    const TextureData& bb = *BackBufferSurface()->Data();
    RECT src{0, 0, static_cast<LONG>(bb.width), static_cast<LONG>(bb.height)};
    if (sourceRect)
        src = *sourceRect;
    RECT dst{0, 0, ww, wh};
    if (destRect)
        dst = *destRect;
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    gl_->glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, bb.glName, 0);
    BindDrawFramebuffer(drawFramebuffer);
    Enable(kScissor, GL_SCISSOR_TEST, false);
    SetColorMask(0xF);
    // Rows are stored top first; the target's origin is at the bottom.
    gl_->glBlitFramebuffer(
        src.left, src.top, src.right, src.bottom, dst.left, wh - dst.top, dst.right, wh - dst.bottom,
        GL_COLOR_BUFFER_BIT,
        (src.right - src.left == dst.right - dst.left && src.bottom - src.top == dst.bottom - dst.top)
            ? GL_NEAREST
            : GL_LINEAR);
}

HRESULT GlDevice::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const void*) {
    if (inScene_)
        return D3DERR_INVALIDCALL;
    if (TestCooperativeLevel() != D3D_OK)
        return D3DERR_DEVICELOST;
    if (offscreen_)
        return PresentOffscreen(sourceRect, destRect);
    QWindow* target = destWindowOverride ? destWindowOverride : window_.data();
    if (!target || !target->handle() || !BackBufferSurface())
        return D3D_OK; // nothing to show on
    if (target == window_.data() ? !MakeCurrent() : !context_->makeCurrent(target))
        return D3DERR_DRIVERINTERNALERROR;
    const qreal dpr = target->devicePixelRatio();
    BlitBackBuffer(context_->defaultFramebufferObject(), static_cast<int>(target->width() * dpr),
                   static_cast<int>(target->height() * dpr), sourceRect, destRect);
    context_->swapBuffers(target);
    // The window system may bind what it likes while it swaps.
    shadow_.drawFramebuffer = Shadow::kUnknown;
    return gl_->glGetError() == GL_OUT_OF_MEMORY ? D3DERR_DRIVERINTERNALERROR : D3D_OK;
}

HRESULT GlDevice::PresentOffscreen(const RECT* sourceRect, const RECT* destRect) {
    if (!BackBufferSurface())
        return D3D_OK;
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    // The same scaled copy as onto a screen, then what a swap does: the frame is handed on and waited for.
    BlitBackBuffer(offscreen_->Framebuffer(), offscreen_->Width(), offscreen_->Height(), sourceRect,
                   destRect);
    offscreen_->FinishFrame();
    return gl_->glGetError() == GL_OUT_OF_MEMORY ? D3DERR_DRIVERINTERNALERROR : D3D_OK;
}

void GlDevice::InvalidateGlState() {
    Shadow& s = shadow_;
    constexpr unsigned u = Shadow::kUnknown;
    s.enabled.fill(-1);
    s.viewport.fill(-1);
    s.depthRange.fill(-1.0f);
    s.depthFunc = s.depthMask = s.frontFace = s.cullFace = s.polygonMode = s.colorMask = u;
    s.stencilWriteMask = u;
    s.stencilFront.fill(u);
    s.stencilBack.fill(u);
    s.blend.fill(u);
    s.program = s.drawFramebuffer = s.vao = s.activeUnit = u;
    for (auto& unit : s.units)
        unit = {u, u, u};
    currentVao_ = nullptr;
    attributeDefaultsValid_ = false;
}

void GlDevice::Enable(int index, unsigned cap, bool on) {
    int& known = shadow_.enabled[static_cast<size_t>(index)];
    if (known == (on ? 1 : 0))
        return;
    if (on)
        gl_->glEnable(cap);
    else
        gl_->glDisable(cap);
    known = on ? 1 : 0;
}

void GlDevice::SetDepthMask(bool on) {
    if (shadow_.depthMask == (on ? 1u : 0u))
        return;
    gl_->glDepthMask(on ? GL_TRUE : GL_FALSE);
    shadow_.depthMask = on ? 1u : 0u;
}

void GlDevice::SetColorMask(DWORD mask) {
    mask &= 0xF;
    if (shadow_.colorMask == mask)
        return;
    gl_->glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
    shadow_.colorMask = mask;
}

void GlDevice::SetStencilWriteMask(unsigned mask) {
    if (shadow_.stencilWriteMask == mask && mask != Shadow::kUnknown)
        return;
    gl_->glStencilMask(mask);
    shadow_.stencilWriteMask = mask;
}

void GlDevice::BindDrawFramebuffer(unsigned fbo) {
    if (shadow_.drawFramebuffer == fbo)
        return;
    gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    shadow_.drawFramebuffer = fbo;
}

void GlDevice::ActiveUnit(unsigned unit) {
    if (shadow_.activeUnit == unit)
        return;
    gl_->glActiveTexture(GL_TEXTURE0 + unit);
    shadow_.activeUnit = unit;
}

void GlDevice::ForgetActiveUnitBinding() {
    const unsigned u = Shadow::kUnknown;
    if (shadow_.activeUnit < shadow_.units.size()) {
        shadow_.units[shadow_.activeUnit].target = shadow_.units[shadow_.activeUnit].texture = u;
        return;
    }
    for (auto& unit : shadow_.units)
        unit.target = unit.texture = u;
}

void GlDevice::UseProgram(unsigned program) {
    if (shadow_.program == program)
        return;
    gl_->glUseProgram(program);
    shadow_.program = program;
}

void GlDevice::ForgetProgram(unsigned program) {
    if (shadow_.program == program) {
        gl_->glUseProgram(0);
        shadow_.program = 0;
    }
    gl_->glDeleteProgram(program);
}

GlSamplerParameters SamplerParametersOf(const GlSamplerStates& states, bool mipmapped) {
    auto address = [](DWORD a) -> int {
        switch (a) {
        case D3DTADDRESS_MIRROR:
            return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
            return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER:
            return GL_CLAMP_TO_BORDER;
        default:
            return GL_REPEAT;
        }
    };
    const bool minLinear = states.minFilter >= D3DTEXF_LINEAR;
    const DWORD mip = mipmapped ? states.mipFilter : D3DTEXF_NONE;
    int minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (mip >= D3DTEXF_LINEAR)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    return {address(states.addressU), address(states.addressV), address(states.addressW),
            states.magFilter >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST, minFilter};
}

unsigned GlDevice::SamplerFor(const GlSamplerStates& states, bool mipmapped) {
    // A handful of combinations in any scene: a short list beats a map.
    for (const SamplerEntry& e : samplers_)
        if (e.mipmapped == mipmapped && e.states == states)
            return e.id;
    const GlSamplerParameters p = SamplerParametersOf(states, mipmapped);
    GLuint id = 0;
    gl_->glGenSamplers(1, &id);
    gl_->glSamplerParameteri(id, GL_TEXTURE_WRAP_S, p.wrapS);
    gl_->glSamplerParameteri(id, GL_TEXTURE_WRAP_T, p.wrapT);
    gl_->glSamplerParameteri(id, GL_TEXTURE_WRAP_R, p.wrapR);
    gl_->glSamplerParameteri(id, GL_TEXTURE_MAG_FILTER, p.magFilter);
    gl_->glSamplerParameteri(id, GL_TEXTURE_MIN_FILTER, p.minFilter);
    samplers_.push_back({states, mipmapped, id});
    return id;
}

void GlDevice::BindUnit(unsigned unit, unsigned target, unsigned texture, const GlSamplerStates& states,
                        UINT levels) {
    Shadow::Unit& known = shadow_.units[unit];
    if (known.target != target || known.texture != texture) {
        ActiveUnit(unit);
        gl_->glBindTexture(target, texture);
        known.target = target;
        known.texture = texture;
    }
    if (!texture)
        return;
    const unsigned sampler = SamplerFor(states, levels > 1);
    if (known.sampler != sampler) {
        gl_->glBindSampler(unit, sampler);
        known.sampler = sampler;
    }
}

void GlDevice::BindRenderTargets() {
    BindDrawFramebuffer(drawFbo_);
    if (!targetsDirty_)
        return;
    GLenum buffers[kMaxRenderTargets];
    GLsizei count = 0;
    for (UINT i = 0; i < kMaxRenderTargets; ++i) {
        Surface9* s = RenderTargetSurface(i);
        if (s) {
            const TextureData& t = *s->Data();
            if (t.kind == TextureKind::Volume)
                continue;
            gl_->glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i,
                                        FaceTarget(t, s->Face()), t.glName, static_cast<GLint>(s->Level()));
            buffers[count++] = GL_COLOR_ATTACHMENT0 + i;
        } else {
            gl_->glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, 0, 0);
        }
    }
    gl_->glDrawBuffers(count, buffers);
    Surface9* ds = DepthStencil();
    const GlFormat dsFormat = ds ? GlFormatOf(ds->Data()->format) : GlFormat{};
    gl_->glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (ds)
        gl_->glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER,
                                       dsFormat.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                       GL_RENDERBUFFER, ds->Data()->glRenderbuffer);
    targetsDirty_ = false;
}

bool GlDevice::ViewportCoversTargets() const {
    const D3DVIEWPORT9& vp = Viewport();
    auto covers = [&](const Surface9* s) {
        return !s || (vp.Width >= s->Data()->LevelWidth(s->Level()) &&
                      vp.Height >= s->Data()->LevelHeight(s->Level()));
    };
    for (UINT i = 0; i < kMaxRenderTargets; ++i)
        if (!covers(RenderTargetSurface(i)))
            return false;
    return covers(DepthStencil());
}

void GlDevice::MarkTargetsRendered() {
    if (Surface9* ds = DepthStencil())
        ds->Data()->cardNewer[0] = true;
    for (UINT i = 0; i < kMaxRenderTargets; ++i)
        if (Surface9* s = RenderTargetSurface(i)) {
            TextureData& t = *s->Data();
            t.cardNewer[s->Face() * t.levels + s->Level()] = true;
        }
}

HRESULT GlDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                        DWORD stencil) {
    if ((count && !rects) || z < 0.0f || z > 1.0f)
        return D3DERR_INVALIDCALL;
    Surface9* ds = DepthStencil();
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !ds)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && D3DFormatInfo(ds->Data()->format).stencil == 0)
        return D3DERR_INVALIDCALL;
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    BindRenderTargets();
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        mask |= GL_COLOR_BUFFER_BIT;
        SetColorMask(0xF);
        gl_->glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                          static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                          static_cast<float>(color & 0xFF) / 255.0f,
                          static_cast<float>((color >> 24) & 0xFF) / 255.0f);
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        mask |= GL_DEPTH_BUFFER_BIT;
        SetDepthMask(true);
        gl_->glClearDepth(z);
    }
    if (flags & D3DCLEAR_STENCIL) {
        mask |= GL_STENCIL_BUFFER_BIT;
        SetStencilWriteMask(0xFFFFFFFFu);
        gl_->glClearStencil(static_cast<GLint>(stencil));
    }
    // A clear covers the viewport, cut to the given rectangles.
    const D3DVIEWPORT9& vp = Viewport();
    if (count == 0 && vp.X == 0 && vp.Y == 0 && ViewportCoversTargets()) {
        // The whole target: drivers clear that faster without a scissor.
        Enable(kScissor, GL_SCISSOR_TEST, false);
        gl_->glClear(mask);
        if (flags & D3DCLEAR_TARGET)
            MarkTargetsRendered();
        if ((flags & D3DCLEAR_ZBUFFER) && ds)
            ds->Data()->cardNewer[0] = true;
        return D3D_OK;
    }
    Enable(kScissor, GL_SCISSOR_TEST, true);
    auto clearRect = [&](LONG x1, LONG y1, LONG x2, LONG y2) {
        x1 = std::max<LONG>(x1, static_cast<LONG>(vp.X));
        y1 = std::max<LONG>(y1, static_cast<LONG>(vp.Y));
        x2 = std::min<LONG>(x2, static_cast<LONG>(vp.X + vp.Width));
        y2 = std::min<LONG>(y2, static_cast<LONG>(vp.Y + vp.Height));
        if (x2 <= x1 || y2 <= y1)
            return;
        gl_->glScissor(x1, y1, x2 - x1, y2 - y1);
        gl_->glClear(mask);
    };
    if (count == 0)
        clearRect(0, 0, 1 << 30, 1 << 30);
    for (DWORD i = 0; i < count; ++i)
        clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    Enable(kScissor, GL_SCISSOR_TEST, false);
    if (flags & D3DCLEAR_TARGET)
        MarkTargetsRendered();
    if ((flags & D3DCLEAR_ZBUFFER) && ds)
        ds->Data()->cardNewer[0] = true;
    return D3D_OK;
}

void GlDevice::ApplyRenderState() {
    Shadow& s = shadow_;
    const D3DVIEWPORT9& vp = Viewport();
    const std::array<int, 4> viewport{static_cast<int>(vp.X), static_cast<int>(vp.Y),
                                      static_cast<int>(vp.Width), static_cast<int>(vp.Height)};
    if (s.viewport != viewport) {
        gl_->glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
        s.viewport = viewport;
    }
    if (s.depthRange[0] != vp.MinZ || s.depthRange[1] != vp.MaxZ) {
        gl_->glDepthRange(vp.MinZ, vp.MaxZ);
        s.depthRange = {vp.MinZ, vp.MaxZ};
    }
    const bool hasDepth = DepthStencil() != nullptr;
    const bool depthTest = hasDepth && RenderState(D3DRS_ZENABLE);
    Enable(kDepthTest, GL_DEPTH_TEST, depthTest);
    if (depthTest) {
        const GLenum f = CompareFunc(RenderState(D3DRS_ZFUNC));
        if (s.depthFunc != f) {
            gl_->glDepthFunc(f);
            s.depthFunc = f;
        }
    }
    SetDepthMask(RenderState(D3DRS_ZWRITEENABLE) != 0);

    // Clockwise faces are front faces; with the rows stored top first they turn anticlockwise.
    if (s.frontFace != GL_CCW) {
        gl_->glFrontFace(GL_CCW);
        s.frontFace = GL_CCW;
    }
    const DWORD cull = RenderState(D3DRS_CULLMODE);
    Enable(kCullFace, GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
    if (cull == D3DCULL_CW || cull == D3DCULL_CCW) {
        const GLenum face = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
        if (s.cullFace != face) {
            gl_->glCullFace(face);
            s.cullFace = face;
        }
    }
    const GLenum polygon = RenderState(D3DRS_FILLMODE) == D3DFILL_WIREFRAME ? GL_LINE
                           : RenderState(D3DRS_FILLMODE) == D3DFILL_POINT   ? GL_POINT
                                                                            : GL_FILL;
    if (s.polygonMode != polygon) {
        gl_->glPolygonMode(GL_FRONT_AND_BACK, polygon);
        s.polygonMode = polygon;
    }

    const bool stencil = RenderState(D3DRS_STENCILENABLE) && hasDepth;
    Enable(kStencilTest, GL_STENCIL_TEST, stencil);
    if (stencil) {
        const unsigned ref = RenderState(D3DRS_STENCILREF);
        const unsigned mask = RenderState(D3DRS_STENCILMASK);
        SetStencilWriteMask(RenderState(D3DRS_STENCILWRITEMASK));
        const std::array<unsigned, 6> front{CompareFunc(RenderState(D3DRS_STENCILFUNC)),
                                            ref,
                                            mask,
                                            StencilOp(RenderState(D3DRS_STENCILFAIL)),
                                            StencilOp(RenderState(D3DRS_STENCILZFAIL)),
                                            StencilOp(RenderState(D3DRS_STENCILPASS))};
        const std::array<unsigned, 6> back =
            RenderState(D3DRS_TWOSIDEDSTENCILMODE)
                ? std::array<unsigned, 6>{CompareFunc(RenderState(D3DRS_CCW_STENCILFUNC)),
                                          ref,
                                          mask,
                                          StencilOp(RenderState(D3DRS_CCW_STENCILFAIL)),
                                          StencilOp(RenderState(D3DRS_CCW_STENCILZFAIL)),
                                          StencilOp(RenderState(D3DRS_CCW_STENCILPASS))}
                : front;
        auto apply = [&](GLenum face, const std::array<unsigned, 6>& want, std::array<unsigned, 6>& known) {
            if (want[0] != known[0] || want[1] != known[1] || want[2] != known[2])
                gl_->glStencilFuncSeparate(face, want[0], static_cast<GLint>(want[1]), want[2]);
            if (want[3] != known[3] || want[4] != known[4] || want[5] != known[5])
                gl_->glStencilOpSeparate(face, want[3], want[4], want[5]);
            known = want;
        };
        apply(GL_FRONT, front, s.stencilFront);
        apply(GL_BACK, back, s.stencilBack);
    }

    const bool blend = RenderState(D3DRS_ALPHABLENDENABLE) != 0;
    Enable(kBlend, GL_BLEND, blend);
    if (blend) {
        const bool separate = RenderState(D3DRS_SEPARATEALPHABLENDENABLE) != 0;
        const GLenum src = BlendFactor(RenderState(D3DRS_SRCBLEND));
        const GLenum dst = BlendFactor(RenderState(D3DRS_DESTBLEND));
        const GLenum op = BlendOp(RenderState(D3DRS_BLENDOP));
        const std::array<unsigned, 6> want{src,
                                           dst,
                                           separate ? BlendFactor(RenderState(D3DRS_SRCBLENDALPHA)) : src,
                                           separate ? BlendFactor(RenderState(D3DRS_DESTBLENDALPHA)) : dst,
                                           op,
                                           separate ? BlendOp(RenderState(D3DRS_BLENDOPALPHA)) : op};
        if (want[0] != s.blend[0] || want[1] != s.blend[1] || want[2] != s.blend[2] || want[3] != s.blend[3])
            gl_->glBlendFuncSeparate(want[0], want[1], want[2], want[3]);
        if (want[4] != s.blend[4] || want[5] != s.blend[5])
            gl_->glBlendEquationSeparate(want[4], want[5]);
        s.blend = want;
    }
    SetColorMask(RenderState(D3DRS_COLORWRITEENABLE));
    Enable(kScissor, GL_SCISSOR_TEST, RenderState(D3DRS_SCISSORTESTENABLE) != 0);
}

void GlDevice::BindTextures() {
    // The device's own pixel stages sample stage 0 only; other stages wait for a program that reads them.
    TextureData* t = TextureDataOf(BoundTexture(0));
    if (!t) {
        BindUnit(0, GL_TEXTURE_2D, 0, {}, 1);
        return;
    }
    BindUnit(0, TargetOf(*t), t->glName,
             {SamplerState(0, D3DSAMP_ADDRESSU), SamplerState(0, D3DSAMP_ADDRESSV),
              SamplerState(0, D3DSAMP_ADDRESSW), SamplerState(0, D3DSAMP_MAGFILTER),
              SamplerState(0, D3DSAMP_MINFILTER), SamplerState(0, D3DSAMP_MIPFILTER)},
             t->levels);
}

std::size_t GlDevice::VaoKeyHash::operator()(const VaoKey& k) const {
    std::uint64_t h = 0xcbf29ce484222325ull ^ k.layout;
    for (std::uint32_t v : k.streams)
        h = (h ^ v) * 0x100000001b3ull;
    return static_cast<std::size_t>(h);
}

GlDevice::Vao* GlDevice::VaoFor(const VaoKey& key, const std::vector<D3DVERTEXELEMENT9>& elements,
                                const DrawCall& call) {
    auto it = vaos_.find(key);
    if (it == vaos_.end()) {
        Vao v;
        gl_->glGenVertexArrays(1, &v.id);
        gl_->glBindVertexArray(v.id);
        for (const auto& e : elements) {
            const int attr = AttributeFor(e);
            if (attr < 0 || (call.userVertices && e.Stream != 0))
                continue;
            const std::uint32_t* stream = &key.streams[3u * e.Stream];
            if (!call.userVertices && !stream[2])
                continue; // no buffer on that stream
            gl_->glBindBuffer(GL_ARRAY_BUFFER, stream[0]);
            const void* ptr = reinterpret_cast<const void*>(static_cast<size_t>(stream[1]) + e.Offset);
            const GLuint loc = static_cast<GLuint>(attr);
            const GLsizei st = static_cast<GLsizei>(stream[2] & 0x7FFFFFFFu);
            bool known = true;
            switch (e.Type) {
            case D3DDECLTYPE_FLOAT1:
            case D3DDECLTYPE_FLOAT2:
            case D3DDECLTYPE_FLOAT3:
            case D3DDECLTYPE_FLOAT4:
                gl_->glVertexAttribPointer(loc, e.Type + 1, GL_FLOAT, GL_FALSE, st, ptr);
                break;
            case D3DDECLTYPE_D3DCOLOR:
                gl_->glVertexAttribPointer(loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, st, ptr);
                break;
            case D3DDECLTYPE_UBYTE4:
                gl_->glVertexAttribPointer(loc, 4, GL_UNSIGNED_BYTE, GL_FALSE, st, ptr);
                break;
            case D3DDECLTYPE_UBYTE4N:
                gl_->glVertexAttribPointer(loc, 4, GL_UNSIGNED_BYTE, GL_TRUE, st, ptr);
                break;
            case D3DDECLTYPE_SHORT2:
                gl_->glVertexAttribPointer(loc, 2, GL_SHORT, GL_FALSE, st, ptr);
                break;
            case D3DDECLTYPE_SHORT4:
                gl_->glVertexAttribPointer(loc, 4, GL_SHORT, GL_FALSE, st, ptr);
                break;
            default:
                known = false;
            }
            if (known) {
                gl_->glEnableVertexAttribArray(loc);
                v.attributes |= 1u << loc;
            }
        }
        it = vaos_.emplace(key, v).first;
        shadow_.vao = v.id;
    } else if (shadow_.vao != it->second.id) {
        gl_->glBindVertexArray(it->second.id);
        shadow_.vao = it->second.id;
    }
    return &it->second;
}

bool GlDevice::BindVertexInput(const DrawCall& call) {
    std::uint64_t layout = 0;
    const std::vector<D3DVERTEXELEMENT9>& elements = CurrentElements(&layout);
    if (elements.empty())
        return false;
    VaoKey key;
    key.layout = layout;
    if (call.userVertices) {
        // User-pointer draws go through the stream buffer, filled anew (orphaning the old store).
        const UINT count = call.indexed ? call.numVertices + call.minIndex : call.numVertices;
        gl_->glBindBuffer(GL_ARRAY_BUFFER, streamVbo_);
        gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * call.userStride,
                          call.userVertices, GL_STREAM_DRAW);
        key.streams[0] = streamVbo_;
        key.streams[2] = call.userStride | 0x80000000u;
    } else {
        for (const auto& e : elements) {
            const Stream& s = StreamSource(e.Stream);
            if (!s.buffer)
                continue;
            // Offsets of the draw itself go to the draw call, so one object serves every range of a buffer.
            std::uint32_t* stream = &key.streams[3u * e.Stream];
            stream[0] = static_cast<VertexBuffer9*>(s.buffer)->Data()->glName;
            stream[1] = s.offset;
            stream[2] = s.stride | 0x80000000u;
        }
    }
    // Consecutive draws mostly read the same buffers: then the object bound already serves.
    if (!currentVao_ || !(key == lastVaoKey_) || shadow_.vao != currentVao_->id) {
        currentVao_ = VaoFor(key, elements, call);
        lastVaoKey_ = key;
    }
    // Inputs the layout lacks read as D3D defaults: white colour, zero elsewhere. OpenGL keeps these
    // values beside the arrays, and a draw from an array may leave them undefined.
    constexpr unsigned kColours = (1u << kAttrColor0) | (1u << kAttrColor1);
    if (!attributeDefaultsValid_ && (currentVao_->attributes & kColours) != kColours) {
        gl_->glVertexAttrib4f(kAttrColor0, 1, 1, 1, 1);
        gl_->glVertexAttrib4f(kAttrColor1, 0, 0, 0, 0);
        attributeDefaultsValid_ = true;
    }
    if (currentVao_->attributes & kColours)
        attributeDefaultsValid_ = false;
    return true;
}

void GlDevice::BindElementBuffer(unsigned buffer) {
    if (currentVao_->elementBuffer == buffer)
        return;
    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    currentVao_->elementBuffer = buffer;
}

void GlDevice::IssueDraw(const DrawCall& call) {
    const GLenum mode = PrimitiveMode(call.type);
    const GLsizei count = static_cast<GLsizei>(VertexCountOf(call.type, call.primitiveCount));
    if (!call.indexed) {
        gl_->glDrawArrays(mode, call.userVertices ? 0 : static_cast<GLint>(call.startVertex), count);
        return;
    }
    if (call.userIndices) {
        const size_t size = call.userIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
        BindElementBuffer(streamIbo_);
        gl_->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * size), call.userIndices,
                          GL_STREAM_DRAW);
        gl_->glDrawElements(mode, count, size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
        return;
    }
    const BufferData& ib = *static_cast<IndexBuffer9*>(IndexBuffer())->Data();
    const bool wide = ib.format == D3DFMT_INDEX32;
    BindElementBuffer(ib.glName);
    const GLenum type = wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
    const void* offset = reinterpret_cast<const void*>(static_cast<size_t>(call.startIndex) * (wide ? 4 : 2));
    if (call.baseVertex == 0)
        gl_->glDrawElements(mode, count, type, offset);
    else
        gl_->glDrawElementsBaseVertex(mode, count, type, offset, call.baseVertex);
}

unsigned GlDevice::LinkProgram(const std::string& vs, const std::string& fs) {
    const std::string header = "#version 330 core\n";
    auto withHeader = [&](const std::string& s) { return s.rfind("#version", 0) == 0 ? s : header + s; };
    return LinkGlProgram(gl_, withHeader(vs), withHeader(fs), [](const char* step, const char* log) {
        if (std::strcmp(step, "link") != 0)
            std::fprintf(stderr, "shader: %s\n", log);
    });
}

unsigned LinkGlProgram(const GlFunctions* gl, const std::string& vertexShader,
                       const std::string& fragmentShader,
                       const std::function<void(const char* step, const char* log)>& fail) {
    auto compile = [&](GLenum type, const std::string& src, const char* step) -> GLuint {
        const GLuint sh = gl->glCreateShader(type);
        const char* text = src.c_str();
        gl->glShaderSource(sh, 1, &text, nullptr);
        gl->glCompileShader(sh);
        GLint ok = 0;
        gl->glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[4096] = {};
            gl->glGetShaderInfoLog(sh, sizeof(log) - 1, nullptr, log);
            fail(step, log);
            gl->glDeleteShader(sh);
            return 0;
        }
        return sh;
    };
    const GLuint v = compile(GL_VERTEX_SHADER, vertexShader, "vertex shader");
    const GLuint f = compile(GL_FRAGMENT_SHADER, fragmentShader, "pixel shader");
    if (!v || !f) {
        if (v)
            gl->glDeleteShader(v);
        if (f)
            gl->glDeleteShader(f);
        return 0;
    }
    const GLuint p = gl->glCreateProgram();
    gl->glAttachShader(p, v);
    gl->glAttachShader(p, f);
    static const char* const kNames[] = {"aPosition", "aBlendWeight",  "aNormal",  "aColor0",
                                         "aColor1",   "aTex0",         "aTex1",    "aTex2",
                                         "aTex3",     "aTex4",         "aTex5",    "aTex6",
                                         "aTex7",     "aBlendIndices", "aTangent", "aBinormal"};
    for (GLuint i = 0; i < 16; ++i)
        gl->glBindAttribLocation(p, i, kNames[i]);
    gl->glBindFragDataLocation(p, 0, "fragColour");
    gl->glLinkProgram(p);
    gl->glDeleteShader(v);
    gl->glDeleteShader(f);
    GLint ok = 0;
    gl->glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[4096] = {};
        gl->glGetProgramInfoLog(p, sizeof(log) - 1, nullptr, log);
        fail("link", log);
        gl->glDeleteProgram(p);
        return 0;
    }
    return p;
}

bool AppendClipSpaceConversion(std::string& vertexShader) {
    const size_t at = vertexShader.find("void main");
    if (at != std::string::npos)
        vertexShader.replace(at, 9, "void orvMain");
    vertexShader += "\nvoid main() {\n    orvMain();\n    gl_Position = vec4(gl_Position.x, -gl_Position.y, "
                    "2.0 * gl_Position.z - gl_Position.w, gl_Position.w);\n}\n";
    return at != std::string::npos;
}

const std::vector<D3DVERTEXELEMENT9>& GlDevice::CurrentElements(std::uint64_t* key) const {
    if (elementOverride_) {
        *key = elementOverrideKey_;
        return *elementOverride_;
    }
    if (auto* decl = static_cast<VertexDeclaration9*>(Declaration())) {
        *key = decl->Id();
        return decl->Elements();
    }
    *key = kFvfLayoutKey | Fvf();
    return CachedDeclarationFromFvf(Fvf());
}

struct GlDevice::FixedUniformLocations {
    int world[4], view, proj, blendCount, viewport, lighting, normalize, colorVertex, diffuseSource,
        ambientSource;
    int ambient, matDiffuse, matAmbient, matSpecular, matEmissive, matPower, specularEnable;
    int lightType[8], lightDiffuse[8], lightSpecular[8], lightAmbient[8], lightPosition[8], lightDirection[8],
        lightRangeAtt[8], lightSpot[8];
    int hasTex0, colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2, textureFactor, alphaTest,
        alphaFunc, alphaRef;

    void Find(const GlFunctions* gl, unsigned p) {
        auto at = [&](const std::string& n) { return gl->glGetUniformLocation(p, n.c_str()); };
        for (int i = 0; i < 4; ++i)
            world[i] = at("uWorld[" + std::to_string(i) + "]");
        view = at("uView");
        proj = at("uProj");
        blendCount = at("uBlendCount");
        viewport = at("uViewport");
        lighting = at("uLighting");
        normalize = at("uNormalize");
        colorVertex = at("uColorVertex");
        diffuseSource = at("uDiffuseSource");
        ambientSource = at("uAmbientSource");
        ambient = at("uAmbient");
        matDiffuse = at("uMatDiffuse");
        matAmbient = at("uMatAmbient");
        matSpecular = at("uMatSpecular");
        matEmissive = at("uMatEmissive");
        matPower = at("uMatPower");
        specularEnable = at("uSpecularEnable");
        for (int i = 0; i < 8; ++i) {
            const std::string idx = "[" + std::to_string(i) + "]";
            lightType[i] = at("uLightType" + idx);
            lightDiffuse[i] = at("uLightDiffuse" + idx);
            lightSpecular[i] = at("uLightSpecular" + idx);
            lightAmbient[i] = at("uLightAmbient" + idx);
            lightPosition[i] = at("uLightPosition" + idx);
            lightDirection[i] = at("uLightDirection" + idx);
            lightRangeAtt[i] = at("uLightRangeAtt" + idx);
            lightSpot[i] = at("uLightSpot" + idx);
        }
        hasTex0 = at("uHasTex0");
        colorOp = at("uColorOp");
        colorArg1 = at("uColorArg1");
        colorArg2 = at("uColorArg2");
        alphaOp = at("uAlphaOp");
        alphaArg1 = at("uAlphaArg1");
        alphaArg2 = at("uAlphaArg2");
        textureFactor = at("uTextureFactor");
        alphaTest = at("uAlphaTest");
        alphaFunc = at("uAlphaFunc");
        alphaRef = at("uAlphaRef");
    }
};

namespace {
std::uint64_t FixedFunctionKey(const std::vector<D3DVERTEXELEMENT9>& elements) {
    bool positionT = false, normal = false, colour0 = false, colour1 = false, tex0 = false;
    int weights = 0;
    for (auto& e : elements) {
        positionT = positionT || e.Usage == D3DDECLUSAGE_POSITIONT;
        normal = normal || (e.Usage == D3DDECLUSAGE_NORMAL && e.UsageIndex == 0);
        colour0 = colour0 || (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 0);
        colour1 = colour1 || (e.Usage == D3DDECLUSAGE_COLOR && e.UsageIndex == 1);
        tex0 = tex0 || (e.Usage == D3DDECLUSAGE_TEXCOORD && e.UsageIndex == 0);
        if (e.Usage == D3DDECLUSAGE_BLENDWEIGHT)
            weights = static_cast<int>(e.Type) + 1;
    }
    return (positionT ? 1u : 0u) | (normal ? 2u : 0u) | (colour0 ? 4u : 0u) | (colour1 ? 8u : 0u) |
           (tex0 ? 16u : 0u) | (static_cast<std::uint64_t>(weights) << 8);
}
} // namespace

std::pair<std::string, std::string>
FixedFunctionProgramTexts(const std::vector<D3DVERTEXELEMENT9>& elements) {
    const std::uint64_t key = FixedFunctionKey(elements);
    auto flag = [&](std::uint64_t bit) { return (key & bit) ? "true" : "false"; };
    std::ostringstream vs;
    vs << "#version 330 core\n";
    vs << "#define POSITIONT " << ((key & 1u) ? 1 : 0) << "\n";
    vs << "#define HAS_NORMAL " << flag(2) << "\n";
    vs << "#define HAS_COLOR0 " << flag(4) << "\n";
    vs << "#define HAS_COLOR1 " << flag(8) << "\n";
    vs << "#define HAS_TEX0 " << flag(16) << "\n";
    vs << "in vec4 aPosition;\nin vec4 aBlendWeight;\nin vec3 aNormal;\nin vec4 aColor0;\nin vec4 aColor1;\n"
          "in vec2 aTex0;\n";
    vs << kFixedVertexShader;
    return {vs.str(), std::string("#version 330 core\n") + kFixedFragmentShader};
}

unsigned GlDevice::FixedFunctionProgram() {
    std::uint64_t layout = 0;
    const std::vector<D3DVERTEXELEMENT9>& elements = CurrentElements(&layout);
    if (lastFixed_ && layout == lastFixedLayout_)
        return lastFixed_->id;
    const std::uint64_t key = FixedFunctionKey(elements);
    auto it = fixedPrograms_.find(key);
    if (it == fixedPrograms_.end()) {
        const auto [vs, fs] = FixedFunctionProgramTexts(elements);
        FixedProgram p;
        p.id = LinkProgram(vs, fs);
        if (p.id) {
            p.locations = std::make_unique<FixedUniformLocations>();
            p.locations->Find(gl_, p.id);
            UseProgram(p.id);
            gl_->glUniform1i(gl_->glGetUniformLocation(p.id, "uTex0"), 0);
        }
        it = fixedPrograms_.emplace(key, std::move(p)).first;
    }
    lastFixed_ = &it->second;
    lastFixedLayout_ = layout;
    return it->second.id;
}

namespace {
void ColourOf(DWORD c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}
void ColourOf(const D3DCOLORVALUE& c, float out[4]) {
    out[0] = c.r;
    out[1] = c.g;
    out[2] = c.b;
    out[3] = c.a;
}
} // namespace

void GlDevice::FillFixedUniforms(FixedUniformValues& v) const {
    for (UINT i = 0; i < 4; ++i)
        std::memcpy(v.world[i], &Transform(D3DTS_WORLDMATRIX(i)).m[0][0], sizeof(v.world[i]));
    const D3DMATRIX& view = Transform(D3DTS_VIEW);
    std::memcpy(v.view, &view.m[0][0], sizeof(v.view));
    std::memcpy(v.proj, &Transform(D3DTS_PROJECTION).m[0][0], sizeof(v.proj));
    const DWORD blend = RenderState(D3DRS_VERTEXBLEND);
    v.blendCount = blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS ? static_cast<int>(blend) + 1 : 1;
    const D3DVIEWPORT9& vp = Viewport();
    v.viewport[0] = static_cast<float>(vp.X);
    v.viewport[1] = static_cast<float>(vp.Y);
    v.viewport[2] = static_cast<float>(vp.Width);
    v.viewport[3] = static_cast<float>(vp.Height);
    v.lighting = RenderState(D3DRS_LIGHTING) != 0;
    v.normalize = RenderState(D3DRS_NORMALIZENORMALS) != 0;
    v.colorVertex = RenderState(D3DRS_COLORVERTEX) != 0;
    v.diffuseSource = static_cast<int>(RenderState(D3DRS_DIFFUSEMATERIALSOURCE));
    v.ambientSource = static_cast<int>(RenderState(D3DRS_AMBIENTMATERIALSOURCE));
    ColourOf(RenderState(D3DRS_AMBIENT), v.ambient);
    const D3DMATERIAL9& m = Material();
    ColourOf(m.Diffuse, v.matDiffuse);
    ColourOf(m.Ambient, v.matAmbient);
    ColourOf(m.Specular, v.matSpecular);
    ColourOf(m.Emissive, v.matEmissive);
    v.matPower = m.Power;
    v.specularEnable = RenderState(D3DRS_SPECULARENABLE) != 0;
    for (UINT i = 0; i < kMaxLights; ++i) {
        const bool on = v.lighting && LightEnabled(i);
        const D3DLIGHT9& l = Light(i);
        v.lightType[i] = on ? static_cast<int>(l.Type) : 0;
        if (!on) {
            // The stage skips a light that is off: what its other values hold does not matter.
            continue;
        }
        ColourOf(l.Diffuse, v.lightDiffuse[i]);
        ColourOf(l.Specular, v.lightSpecular[i]);
        ColourOf(l.Ambient, v.lightAmbient[i]);
        // Lights are given in world space; the lighting runs in view space.
        for (int k = 0; k < 3; ++k) {
            v.lightPosition[i][k] = l.Position.x * view.m[0][k] + l.Position.y * view.m[1][k] +
                                    l.Position.z * view.m[2][k] + view.m[3][k];
            v.lightDirection[i][k] =
                l.Direction.x * view.m[0][k] + l.Direction.y * view.m[1][k] + l.Direction.z * view.m[2][k];
        }
        v.lightRangeAtt[i][0] = l.Range;
        v.lightRangeAtt[i][1] = l.Attenuation0;
        v.lightRangeAtt[i][2] = l.Attenuation1;
        v.lightRangeAtt[i][3] = l.Attenuation2;
        v.lightSpot[i][0] = std::cos(l.Theta / 2);
        v.lightSpot[i][1] = std::cos(l.Phi / 2);
        v.lightSpot[i][2] = l.Falloff;
    }
    const bool hasTex = TextureDataOf(BoundTexture(0)) != nullptr;
    v.hasTex0 = hasTex;
    auto stage = [&](D3DTEXTURESTAGESTATETYPE t) { return static_cast<int>(StageState(0, t)); };
    v.colorOp = stage(D3DTSS_COLOROP);
    v.alphaOp = stage(D3DTSS_ALPHAOP);
    if (!hasTex) {
        // Without a texture the stage passes the diffuse colour on.
        v.colorOp = v.alphaOp = D3DTOP_SELECTARG1;
        v.colorArg1 = v.alphaArg1 = D3DTA_DIFFUSE;
    } else {
        v.colorArg1 = stage(D3DTSS_COLORARG1) & 0xF;
        v.alphaArg1 = stage(D3DTSS_ALPHAARG1) & 0xF;
    }
    v.colorArg2 = stage(D3DTSS_COLORARG2) & 0xF;
    v.alphaArg2 = stage(D3DTSS_ALPHAARG2) & 0xF;
    ColourOf(RenderState(D3DRS_TEXTUREFACTOR), v.textureFactor);
    v.alphaTest = RenderState(D3DRS_ALPHATESTENABLE) != 0;
    v.alphaFunc = static_cast<int>(RenderState(D3DRS_ALPHAFUNC));
    v.alphaRef = static_cast<float>(RenderState(D3DRS_ALPHAREF) & 0xFF) / 255.0f;
}

void GlDevice::SendFixedUniforms(FixedProgram& p, const FixedUniformValues& v) {
    FixedUniformValues& sent = p.sent;
    const FixedUniformLocations& at = *p.locations;
    const bool all = !p.sentValid;
    // Each value goes when it differs from what this program holds: bitwise on purpose, so -0 and
    // NaNs are sent again exactly when their bits change.
    auto changed = [&](const auto& now, auto& before) {
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison)
        if (!all && std::memcmp(&now, &before, sizeof(now)) == 0)
            return false;
        std::memcpy(&before, &now, sizeof(now));
        return true;
    };
    auto i1 = [&](int loc, const int& now, int& before) {
        if (changed(now, before))
            gl_->glUniform1i(loc, now);
    };
    auto f1 = [&](int loc, const float& now, float& before) {
        if (changed(now, before))
            gl_->glUniform1f(loc, now);
    };
    auto f4 = [&](int loc, const float(&now)[4], float(&before)[4]) {
        if (changed(now, before))
            gl_->glUniform4fv(loc, 1, now);
    };
    auto f3 = [&](int loc, const float(&now)[3], float(&before)[3]) {
        if (changed(now, before))
            gl_->glUniform3fv(loc, 1, now);
    };
    auto m4 = [&](int loc, const float(&now)[16], float(&before)[16]) {
        if (changed(now, before))
            gl_->glUniformMatrix4fv(loc, 1, GL_FALSE, now);
    };
    for (int i = 0; i < 4; ++i)
        m4(at.world[i], v.world[i], sent.world[i]);
    m4(at.view, v.view, sent.view);
    m4(at.proj, v.proj, sent.proj);
    i1(at.blendCount, v.blendCount, sent.blendCount);
    f4(at.viewport, v.viewport, sent.viewport);
    i1(at.lighting, v.lighting, sent.lighting);
    i1(at.normalize, v.normalize, sent.normalize);
    i1(at.colorVertex, v.colorVertex, sent.colorVertex);
    i1(at.diffuseSource, v.diffuseSource, sent.diffuseSource);
    i1(at.ambientSource, v.ambientSource, sent.ambientSource);
    f4(at.ambient, v.ambient, sent.ambient);
    f4(at.matDiffuse, v.matDiffuse, sent.matDiffuse);
    f4(at.matAmbient, v.matAmbient, sent.matAmbient);
    f4(at.matSpecular, v.matSpecular, sent.matSpecular);
    f4(at.matEmissive, v.matEmissive, sent.matEmissive);
    f1(at.matPower, v.matPower, sent.matPower);
    i1(at.specularEnable, v.specularEnable, sent.specularEnable);
    for (int i = 0; i < 8; ++i) {
        i1(at.lightType[i], v.lightType[i], sent.lightType[i]);
        if (!v.lightType[i])
            continue;
        f4(at.lightDiffuse[i], v.lightDiffuse[i], sent.lightDiffuse[i]);
        f4(at.lightSpecular[i], v.lightSpecular[i], sent.lightSpecular[i]);
        f4(at.lightAmbient[i], v.lightAmbient[i], sent.lightAmbient[i]);
        f3(at.lightPosition[i], v.lightPosition[i], sent.lightPosition[i]);
        f3(at.lightDirection[i], v.lightDirection[i], sent.lightDirection[i]);
        f4(at.lightRangeAtt[i], v.lightRangeAtt[i], sent.lightRangeAtt[i]);
        f3(at.lightSpot[i], v.lightSpot[i], sent.lightSpot[i]);
    }
    i1(at.hasTex0, v.hasTex0, sent.hasTex0);
    i1(at.colorOp, v.colorOp, sent.colorOp);
    i1(at.colorArg1, v.colorArg1, sent.colorArg1);
    i1(at.colorArg2, v.colorArg2, sent.colorArg2);
    i1(at.alphaOp, v.alphaOp, sent.alphaOp);
    i1(at.alphaArg1, v.alphaArg1, sent.alphaArg1);
    i1(at.alphaArg2, v.alphaArg2, sent.alphaArg2);
    f4(at.textureFactor, v.textureFactor, sent.textureFactor);
    i1(at.alphaTest, v.alphaTest, sent.alphaTest);
    i1(at.alphaFunc, v.alphaFunc, sent.alphaFunc);
    f1(at.alphaRef, v.alphaRef, sent.alphaRef);
    p.sentValid = true;
}

void GlDevice::SetFixedFunctionUniforms() {
    FillFixedUniforms(fixedScratch_);
    SendFixedUniforms(*lastFixed_, fixedScratch_);
}

void GlDevice::SetShaderConstants(GlVertexShader& vs) {
    // Only the registers that changed since this program last drew, as one range.
    const float* now = VsConstants();
    UINT first = kVsConstants, last = 0;
    for (UINT r = 0; r < kVsConstants; ++r) {
        // NOLINTNEXTLINE(bugprone-suspicious-memory-comparison): the bits the program holds
        if (vs.constantsSent && std::memcmp(now + 4 * r, vs.sentConstants.data() + 4 * r, 16) == 0)
            continue;
        first = std::min(first, r);
        last = r;
    }
    if (first < kVsConstants) {
        std::memcpy(vs.sentConstants.data() + 4 * first, now + 4 * first, 16 * (last - first + 1));
        if (vs.constantLocations[first] >= 0)
            gl_->glUniform4fv(vs.constantLocations[first], static_cast<GLsizei>(last - first + 1),
                              now + 4 * first);
    }
    vs.constantsSent = true;
    const int hasTex = TextureDataOf(BoundTexture(0)) != nullptr;
    if (vs.sentHasTex != hasTex) {
        gl_->glUniform1i(vs.hasTexLocation, hasTex);
        vs.sentHasTex = hasTex;
    }
}

HRESULT GlDevice::DoDraw(const DrawCall& call) {
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    if (call.indexed && !call.userIndices && !IndexBuffer())
        return D3DERR_INVALIDCALL;
    if (call.program)
        return DrawWithProgram(call);
    // Software vertex processing runs the vertex stage here and hands over transformed vertices.
    if (GetSoftwareVertexProcessing() && !VertexShader() && !elementOverride_)
        return DrawSoftware(call);
    BindRenderTargets();
    ApplyRenderState();
    BindTextures();
    if (!BindVertexInput(call))
        return D3DERR_INVALIDCALL;
    if (auto* vs = dynamic_cast<GlVertexShader*>(VertexShader())) {
        if (!vs->Program())
            return D3DERR_INVALIDCALL;
        UseProgram(vs->Program());
        SetShaderConstants(*vs);
    } else {
        const unsigned program = FixedFunctionProgram();
        if (!program)
            return D3DERR_DRIVERINTERNALERROR;
        UseProgram(program);
        SetFixedFunctionUniforms();
    }
    IssueDraw(call);
    MarkTargetsRendered();
    return D3D_OK;
}

HRESULT GlDevice::DrawWithProgram(const DrawCall& call) {
    auto& program = static_cast<GlProgram&>(*call.program->program);
    BindRenderTargets();
    ApplyRenderState();
    if (!BindVertexInput(call))
        return D3DERR_INVALIDCALL;
    UseProgram(program.Id());
    const ProgramValue* values = call.program->values;
    static constexpr D3DSAMPLERSTATETYPE kSamplerStates[6] = {D3DSAMP_ADDRESSU,  D3DSAMP_ADDRESSV,
                                                              D3DSAMP_ADDRESSW,  D3DSAMP_MAGFILTER,
                                                              D3DSAMP_MINFILTER, D3DSAMP_MIPFILTER};
    for (size_t i = 0; i < program.parameters.size(); ++i) {
        GlProgram::Slot& slot = program.parameters[i];
        if (slot.location < 0)
            continue;
        const ProgramValue& v = values[i];
        if (slot.unit >= 0) {
            const TextureData* t = TextureDataOf(v.texture);
            // States the program leaves open are the device's for that sampler.
            DWORD s[6];
            for (int k = 0; k < 6; ++k)
                s[k] = slot.samplerFixed[static_cast<size_t>(k)]
                           ? slot.sampler[static_cast<size_t>(k)]
                           : SamplerState(static_cast<DWORD>(slot.unit), kSamplerStates[k]);
            BindUnit(static_cast<unsigned>(slot.unit), slot.target, t ? t->glName : 0,
                     {s[0], s[1], s[2], s[3], s[4], s[5]}, t ? t->levels : 1);
            continue;
        }
        if (slot.sent == v.version)
            continue;
        slot.sent = v.version;
        const float* d = v.data;
        switch (slot.type) {
        case ProgramValueType::Float:
            gl_->glUniform1f(slot.location, d[0]);
            break;
        case ProgramValueType::Float2:
            gl_->glUniform2fv(slot.location, 1, d);
            break;
        case ProgramValueType::Float3:
            gl_->glUniform3fv(slot.location, 1, d);
            break;
        case ProgramValueType::Float4:
            gl_->glUniform4fv(slot.location, 1, d);
            break;
        case ProgramValueType::Float4x4:
            // Uploaded as stored: in GLSL, M * v then gives our row-vector product v * M.
            gl_->glUniformMatrix4fv(slot.location, 1, GL_FALSE, d);
            break;
        default: // int and bool
            gl_->glUniform1i(slot.location, static_cast<GLint>(d[0]));
            break;
        }
    }
    IssueDraw(call);
    MarkTargetsRendered();
    return D3D_OK;
}

std::unique_ptr<BackEndProgram> GlDevice::CreateProgram(const ProgramSource& source, std::string* log) {
    if (!MakeCurrent()) {
        if (log)
            *log = "no OpenGL context";
        return nullptr;
    }
    bool failed = false;
    const unsigned id =
        LinkGlProgram(gl_, source.vertexShader, source.pixelShader, [&](const char* step, const char* text) {
            if (failed || !log)
                return;
            failed = true;
            *log = std::string(step) + ": " + text;
        });
    if (!id)
        return nullptr;
    auto program = std::make_unique<GlProgram>(this, id);
    UseProgram(id);
    int unit = 0;
    for (const ProgramParameter& p : source.parameters) {
        GlProgram::Slot slot;
        slot.type = p.type;
        slot.location = gl_->glGetUniformLocation(id, p.name.c_str());
        if (IsTextureValue(p.type)) {
            slot.unit = unit++;
            slot.target = p.type == ProgramValueType::TextureCube ? GL_TEXTURE_CUBE_MAP
                          : p.type == ProgramValueType::Texture3D ? GL_TEXTURE_3D
                                                                  : GL_TEXTURE_2D;
            slot.sampler = p.sampler;
            slot.samplerFixed = p.samplerFixed;
            if (slot.location >= 0)
                gl_->glUniform1i(slot.location, slot.unit);
        }
        program->parameters.push_back(slot);
    }
    return program;
}

HRESULT GlDevice::CreateVertexShader(const DWORD* function, IDirect3DVertexShader9** shader) {
    if (!function || !shader)
        return D3DERR_INVALIDCALL;
    *shader = nullptr;
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    auto* vs = new GlVertexShader(this, reinterpret_cast<const char*>(function));
    if (!vs->Link()) {
        vs->Release();
        return D3DERR_INVALIDCALL;
    }
    *shader = vs;
    return D3D_OK;
}

HRESULT GlDevice::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* destSurface) {
    auto* s = dynamic_cast<Surface9*>(renderTarget);
    auto* d = dynamic_cast<Surface9*>(destSurface);
    if (!s || !d || !(s->Data()->usage & D3DUSAGE_RENDERTARGET) || s->Data()->format != d->Data()->format ||
        s->Data()->LevelWidth(s->Level()) != d->Data()->LevelWidth(d->Level()) ||
        s->Data()->LevelHeight(s->Level()) != d->Data()->LevelHeight(d->Level()) ||
        d->Data()->pool != D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    TextureData& src = *s->Data();
    TextureDownload(src, s->Face(), s->Level());
    src.cardNewer[s->Face() * src.levels + s->Level()] = false;
    d->Data()->Level(d->Face(), d->Level()) = src.Level(s->Face(), s->Level());
    return D3D_OK;
}

bool GlDevice::FormatUsable(D3DFORMAT format, DWORD usage, D3DRESOURCETYPE type) {
    if (format >= 64)
        return false;
    return d3d_->CheckDeviceFormat(creation_.AdapterOrdinal, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, usage, type,
                                   format) == D3D_OK;
}

// Resources on the card ---------------------------------------------------------------------------

void GlDevice::TextureCreated(TextureData& t) {
    if (t.pool == D3DPOOL_SYSTEMMEM || t.pool == D3DPOOL_SCRATCH)
        return; // memory only
    if (!MakeCurrent())
        return;
    const GlFormat g = GlFormatOf(t.format);
    if (!g.internalFormat)
        return;
    while (gl_->glGetError() != GL_NO_ERROR) {
    }
    if (g.depth) {
        gl_->glGenRenderbuffers(1, &t.glRenderbuffer);
        gl_->glBindRenderbuffer(GL_RENDERBUFFER, t.glRenderbuffer);
        gl_->glRenderbufferStorage(GL_RENDERBUFFER, g.internalFormat, static_cast<GLsizei>(t.width),
                                   static_cast<GLsizei>(t.height));
    } else {
        const GLenum target = TargetOf(t);
        gl_->glGenTextures(1, &t.glName);
        gl_->glBindTexture(target, t.glName);
        ForgetActiveUnitBinding();
        gl_->glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(t.levels - 1));
        static const GLenum kSwizzle[] = {GL_TEXTURE_SWIZZLE_R, GL_TEXTURE_SWIZZLE_G, GL_TEXTURE_SWIZZLE_B,
                                          GL_TEXTURE_SWIZZLE_A};
        static const GLint kKeep[] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
        for (int i = 0; i < 4; ++i) {
            const int s = g.swizzle[i];
            gl_->glTexParameteri(target, kSwizzle[i], s == 0 ? kKeep[i] : s == 0x10000 ? GL_ZERO : s);
        }
        for (UINT face = 0; face < t.Faces(); ++face)
            for (UINT level = 0; level < t.levels; ++level) {
                const GLsizei w = static_cast<GLsizei>(t.LevelWidth(level)),
                              h = static_cast<GLsizei>(t.LevelHeight(level));
                const GLint lv = static_cast<GLint>(level);
                if (g.compressed) {
                    gl_->glCompressedTexImage2D(FaceTarget(t, face), lv, g.internalFormat, w, h, 0,
                                                static_cast<GLsizei>(t.Level(face, level).size()),
                                                t.Level(face, level).data());
                } else if (t.kind == TextureKind::Volume) {
                    gl_->glTexImage3D(target, lv, static_cast<GLint>(g.internalFormat), w, h,
                                      static_cast<GLsizei>(t.LevelDepth(level)), 0, g.format, g.type,
                                      nullptr);
                } else {
                    gl_->glTexImage2D(FaceTarget(t, face), lv, static_cast<GLint>(g.internalFormat), w, h, 0,
                                      g.format, g.type, nullptr);
                }
            }
    }
    if (gl_->glGetError() != GL_NO_ERROR) {
        TextureDestroyed(t);
        t.glName = t.glRenderbuffer = 0;
    }
}

void GlDevice::TextureUpload(TextureData& t, UINT face, UINT level) {
    if (!t.glName || !MakeCurrent())
        return;
    const GlFormat g = GlFormatOf(t.format);
    const GLenum target = TargetOf(t);
    gl_->glBindTexture(target, t.glName);
    ForgetActiveUnitBinding();
    gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLsizei w = static_cast<GLsizei>(t.LevelWidth(level)),
                  h = static_cast<GLsizei>(t.LevelHeight(level));
    const auto& data = t.Level(face, level);
    const GLint lv = static_cast<GLint>(level);
    if (g.compressed)
        gl_->glCompressedTexSubImage2D(FaceTarget(t, face), lv, 0, 0, w, h, g.internalFormat,
                                       static_cast<GLsizei>(data.size()), data.data());
    else if (t.kind == TextureKind::Volume)
        gl_->glTexSubImage3D(target, lv, 0, 0, 0, w, h, static_cast<GLsizei>(t.LevelDepth(level)), g.format,
                             g.type, data.data());
    else
        gl_->glTexSubImage2D(FaceTarget(t, face), lv, 0, 0, w, h, g.format, g.type, data.data());
}

void GlDevice::TextureDownload(TextureData& t, UINT face, UINT level) {
    const GlFormat g = GlFormatOf(t.format);
    if (g.depth && t.glRenderbuffer && !g.stencil && MakeCurrent()) {
        // Lockable depth formats read the depth buffer back.
        gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
        gl_->glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                       t.glRenderbuffer);
        gl_->glPixelStorei(GL_PACK_ALIGNMENT, 1);
        gl_->glReadPixels(0, 0, static_cast<GLsizei>(t.width), static_cast<GLsizei>(t.height),
                          GL_DEPTH_COMPONENT, t.format == D3DFMT_D32F_LOCKABLE ? GL_FLOAT : GL_UNSIGNED_SHORT,
                          t.Level(0, 0).data());
        gl_->glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
        return;
    }
    if (!t.glName || t.kind == TextureKind::Volume || !MakeCurrent())
        return;
    if (g.compressed || g.depth)
        return;
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    gl_->glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, FaceTarget(t, face), t.glName,
                                static_cast<GLint>(level));
    gl_->glReadBuffer(GL_COLOR_ATTACHMENT0);
    gl_->glPixelStorei(GL_PACK_ALIGNMENT, 1);
    gl_->glReadPixels(0, 0, static_cast<GLsizei>(t.LevelWidth(level)),
                      static_cast<GLsizei>(t.LevelHeight(level)), g.format, g.type,
                      t.Level(face, level).data());
    gl_->glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
}

void GlDevice::TextureDestroyed(TextureData& t) {
    if ((t.glName || t.glRenderbuffer) && MakeCurrent()) {
        if (t.glName) {
            gl_->glDeleteTextures(1, &t.glName);
            // Deleting unbinds it everywhere; a later texture may get the same name.
            for (auto& unit : shadow_.units)
                if (unit.texture == t.glName)
                    unit.texture = Shadow::kUnknown;
        }
        if (t.glRenderbuffer)
            gl_->glDeleteRenderbuffers(1, &t.glRenderbuffer);
        targetsDirty_ = true;
    }
    t.glName = t.glRenderbuffer = 0;
}

void GlDevice::BufferUpload(BufferData& b, UINT offset, UINT size) {
    if (b.pool == D3DPOOL_SYSTEMMEM || b.pool == D3DPOOL_SCRATCH || !MakeCurrent())
        return;
    const GLenum target = GL_ARRAY_BUFFER;
    if (!b.glName) {
        gl_->glGenBuffers(1, &b.glName);
        gl_->glBindBuffer(target, b.glName);
        gl_->glBufferData(target, static_cast<GLsizeiptr>(b.mem.size()), b.mem.data(),
                          (b.usage & D3DUSAGE_DYNAMIC) ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        return;
    }
    gl_->glBindBuffer(target, b.glName);
    gl_->glBufferSubData(target, offset, size, b.mem.data() + offset);
}

void GlDevice::BufferDestroyed(BufferData& b) {
    if (b.glName && MakeCurrent()) {
        // Vertex array objects keep a deleted buffer alive under a name OpenGL may hand out again:
        // those that read it go, and those that index with it bind afresh.
        for (auto it = vaos_.begin(); it != vaos_.end();) {
            bool reads = false;
            for (UINT s = 0; s < kMaxStreams; ++s)
                reads = reads || (it->first.streams[3 * s + 2] && it->first.streams[3 * s] == b.glName);
            if (it->second.elementBuffer == b.glName)
                it->second.elementBuffer = Shadow::kUnknown;
            if (!reads) {
                ++it;
                continue;
            }
            if (currentVao_ == &it->second)
                currentVao_ = nullptr;
            if (shadow_.vao == it->second.id)
                shadow_.vao = Shadow::kUnknown;
            gl_->glDeleteVertexArrays(1, &it->second.id);
            it = vaos_.erase(it);
        }
        gl_->glDeleteBuffers(1, &b.glName);
    }
    b.glName = 0;
}

INT GlDevice::DoBeginEvent(const wchar_t* name) {
    if (!pushDebugGroup_ || !MakeCurrent())
        return 0;
    // UTF-8 into storage the groups share, so a frame's groups allocate nothing.
    eventName_.clear();
    for (const wchar_t* p = name; *p; ++p) {
        const auto c = static_cast<char32_t>(*p);
        if (c < 0x80) {
            eventName_ += static_cast<char>(c);
        } else if (c < 0x800) {
            eventName_ += static_cast<char>(0xC0 | (c >> 6));
            eventName_ += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            eventName_ += static_cast<char>(0xE0 | (c >> 12));
            eventName_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            eventName_ += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            eventName_ += static_cast<char>(0xF0 | (c >> 18));
            eventName_ += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            eventName_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            eventName_ += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    pushDebugGroup_(kDebugGroupSource, 0, static_cast<GLsizei>(eventName_.size()), eventName_.c_str());
    return 0;
}

void GlDevice::DoEndEvent() {
    if (popDebugGroup_ && MakeCurrent())
        popDebugGroup_();
}

} // namespace orv
