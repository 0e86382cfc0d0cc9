#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/GlDirect3D.h"
#include "graphics3d/framework/GlFormats.h"

#include <QOpenGLFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
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
            device_->Gl()->glDeleteProgram(program_);
    }
    bool Link() {
        // The shader's own gl_Position is in our clip space; the layer turns it into OpenGL's.
        std::string vs = source_;
        if (!AppendClipSpaceConversion(vs))
            return false;
        program_ = device_->LinkProgram(vs, kShaderFragmentShader);
        return program_ != 0;
    }
    unsigned Program() const { return program_; }

private:
    GlDevice* device_;
    std::string source_;
    unsigned program_ = 0;
};

GlDevice::GlDevice(IDirect3D9* d3d, const D3DDEVICE_CREATION_PARAMETERS& creation,
                   const D3DPRESENT_PARAMETERS& pp, const D3DCAPS9& caps, QScreen* screen)
    : DeviceBase(d3d, creation, pp, caps), screen_(screen), window_(pp.hDeviceWindow) {}

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
        for (auto& [key, p] : programs_)
            gl_->glDeleteProgram(p.id);
        gl_->glDeleteVertexArrays(1, &vao_);
        gl_->glDeleteFramebuffers(1, &drawFbo_);
        gl_->glDeleteFramebuffers(1, &readFbo_);
        gl_->glDeleteBuffers(1, &streamVbo_);
        gl_->glDeleteBuffers(1, &streamIbo_);
        context_->doneCurrent();
    }
    DetachResources();
}

bool GlDevice::WindowGone() const {
    return window_.isNull() || !window_->handle();
}

bool GlDevice::MakeCurrent() {
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
    gl_ = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context_.get());
    if (!gl_ || !gl_->initializeOpenGLFunctions())
        return D3DERR_NOTAVAILABLE;
    gl_->glGenVertexArrays(1, &vao_);
    gl_->glBindVertexArray(vao_);
    gl_->glGenFramebuffers(1, &drawFbo_);
    gl_->glGenFramebuffers(1, &readFbo_);
    gl_->glGenBuffers(1, &streamVbo_);
    gl_->glGenBuffers(1, &streamIbo_);
    ResetState();
    if (!CreateSwapChainSurfaces())
        return D3DERR_OUTOFVIDEOMEMORY;
    return D3D_OK;
}

// Device loss here means the full-screen window was hidden or minimised.
HRESULT GlDevice::TestCooperativeLevel() {
    if (!pp_.Windowed && (window_.isNull() || !window_->isVisible() ||
                          window_->windowStates().testFlag(Qt::WindowMinimized))) {
        lost_ = true;
        return D3DERR_DEVICELOST;
    }
    return lost_ ? D3DERR_DEVICENOTRESET : D3D_OK;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* pp) {
    if (!pp)
        return D3DERR_INVALIDCALL;
    if (!pp->Windowed &&
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
    if (!SetUpWindow())
        return D3DERR_INVALIDCALL;
    ResetState();
    if (!MakeCurrent() || !CreateSwapChainSurfaces())
        return D3DERR_OUTOFVIDEOMEMORY;
    lost_ = false;
    return D3D_OK;
}

HRESULT GlDevice::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                          const void*) {
    if (inScene_)
        return D3DERR_INVALIDCALL;
    if (TestCooperativeLevel() != D3D_OK)
        return D3DERR_DEVICELOST;
    QWindow* target = destWindowOverride ? destWindowOverride : window_.data();
    if (!target || !target->handle() || !BackBufferSurface())
        return D3D_OK; // nothing to show on
    if (target == window_.data() ? !MakeCurrent() : !context_->makeCurrent(target))
        return D3DERR_DRIVERINTERNALERROR;
    const TextureData& bb = *BackBufferSurface()->Data();
    RECT src{0, 0, static_cast<LONG>(bb.width), static_cast<LONG>(bb.height)};
    if (sourceRect)
        src = *sourceRect;
    const qreal dpr = target->devicePixelRatio();
    const int ww = static_cast<int>(target->width() * dpr), wh = static_cast<int>(target->height() * dpr);
    RECT dst{0, 0, ww, wh};
    if (destRect)
        dst = *destRect;
    gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, readFbo_);
    gl_->glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, bb.glName, 0);
    gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context_->defaultFramebufferObject());
    gl_->glDisable(GL_SCISSOR_TEST);
    gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Rows are stored top first; the window's origin is at the bottom.
    gl_->glBlitFramebuffer(
        src.left, src.top, src.right, src.bottom, dst.left, wh - dst.top, dst.right, wh - dst.bottom,
        GL_COLOR_BUFFER_BIT,
        (src.right - src.left == dst.right - dst.left && src.bottom - src.top == dst.bottom - dst.top)
            ? GL_NEAREST
            : GL_LINEAR);
    context_->swapBuffers(target);
    targetsDirty_ = true;
    return gl_->glGetError() == GL_OUT_OF_MEMORY ? D3DERR_DRIVERINTERNALERROR : D3D_OK;
}

void GlDevice::BindRenderTargets() {
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, drawFbo_);
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
            gl_->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, FaceTarget(t, s->Face()),
                                        t.glName, static_cast<GLint>(s->Level()));
            buffers[count++] = GL_COLOR_ATTACHMENT0 + i;
        } else {
            gl_->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, 0, 0);
        }
    }
    gl_->glDrawBuffers(count, buffers);
    Surface9* ds = DepthStencil();
    const GlFormat dsFormat = ds ? GlFormatOf(ds->Data()->format) : GlFormat{};
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (ds)
        gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                       dsFormat.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                       GL_RENDERBUFFER, ds->Data()->glRenderbuffer);
    targetsDirty_ = false;
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
        gl_->glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        gl_->glClearColor(static_cast<float>((color >> 16) & 0xFF) / 255.0f,
                          static_cast<float>((color >> 8) & 0xFF) / 255.0f,
                          static_cast<float>(color & 0xFF) / 255.0f,
                          static_cast<float>((color >> 24) & 0xFF) / 255.0f);
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        mask |= GL_DEPTH_BUFFER_BIT;
        gl_->glDepthMask(GL_TRUE);
        gl_->glClearDepth(z);
    }
    if (flags & D3DCLEAR_STENCIL) {
        mask |= GL_STENCIL_BUFFER_BIT;
        gl_->glStencilMask(0xFFFFFFFFu);
        gl_->glClearStencil(static_cast<GLint>(stencil));
    }
    // A clear covers the viewport, cut to the given rectangles.
    const D3DVIEWPORT9& vp = Viewport();
    gl_->glEnable(GL_SCISSOR_TEST);
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
    gl_->glDisable(GL_SCISSOR_TEST);
    if (flags & D3DCLEAR_TARGET)
        MarkTargetsRendered();
    if ((flags & D3DCLEAR_ZBUFFER) && ds)
        ds->Data()->cardNewer[0] = true;
    return D3D_OK;
}

void GlDevice::ApplyRenderState() {
    const D3DVIEWPORT9& vp = Viewport();
    gl_->glViewport(static_cast<GLint>(vp.X), static_cast<GLint>(vp.Y), static_cast<GLsizei>(vp.Width),
                    static_cast<GLsizei>(vp.Height));
    gl_->glDepthRange(vp.MinZ, vp.MaxZ);
    const bool hasDepth = DepthStencil() != nullptr;
    if (hasDepth && RenderState(D3DRS_ZENABLE)) {
        gl_->glEnable(GL_DEPTH_TEST);
        gl_->glDepthFunc(CompareFunc(RenderState(D3DRS_ZFUNC)));
    } else {
        gl_->glDisable(GL_DEPTH_TEST);
    }
    gl_->glDepthMask(RenderState(D3DRS_ZWRITEENABLE) ? GL_TRUE : GL_FALSE);

    // Clockwise faces are front faces; with the rows stored top first they turn anticlockwise.
    gl_->glFrontFace(GL_CCW);
    switch (RenderState(D3DRS_CULLMODE)) {
    case D3DCULL_CW:
        gl_->glEnable(GL_CULL_FACE);
        gl_->glCullFace(GL_FRONT);
        break;
    case D3DCULL_CCW:
        gl_->glEnable(GL_CULL_FACE);
        gl_->glCullFace(GL_BACK);
        break;
    default:
        gl_->glDisable(GL_CULL_FACE);
    }
    gl_->glPolygonMode(GL_FRONT_AND_BACK, RenderState(D3DRS_FILLMODE) == D3DFILL_WIREFRAME ? GL_LINE
                                          : RenderState(D3DRS_FILLMODE) == D3DFILL_POINT   ? GL_POINT
                                                                                           : GL_FILL);

    if (RenderState(D3DRS_STENCILENABLE) && hasDepth) {
        gl_->glEnable(GL_STENCIL_TEST);
        const GLint ref = static_cast<GLint>(RenderState(D3DRS_STENCILREF));
        const GLuint mask = RenderState(D3DRS_STENCILMASK);
        gl_->glStencilMask(RenderState(D3DRS_STENCILWRITEMASK));
        gl_->glStencilFuncSeparate(GL_FRONT, CompareFunc(RenderState(D3DRS_STENCILFUNC)), ref, mask);
        gl_->glStencilOpSeparate(GL_FRONT, StencilOp(RenderState(D3DRS_STENCILFAIL)),
                                 StencilOp(RenderState(D3DRS_STENCILZFAIL)),
                                 StencilOp(RenderState(D3DRS_STENCILPASS)));
        if (RenderState(D3DRS_TWOSIDEDSTENCILMODE)) {
            gl_->glStencilFuncSeparate(GL_BACK, CompareFunc(RenderState(D3DRS_CCW_STENCILFUNC)), ref, mask);
            gl_->glStencilOpSeparate(GL_BACK, StencilOp(RenderState(D3DRS_CCW_STENCILFAIL)),
                                     StencilOp(RenderState(D3DRS_CCW_STENCILZFAIL)),
                                     StencilOp(RenderState(D3DRS_CCW_STENCILPASS)));
        } else {
            gl_->glStencilFuncSeparate(GL_BACK, CompareFunc(RenderState(D3DRS_STENCILFUNC)), ref, mask);
            gl_->glStencilOpSeparate(GL_BACK, StencilOp(RenderState(D3DRS_STENCILFAIL)),
                                     StencilOp(RenderState(D3DRS_STENCILZFAIL)),
                                     StencilOp(RenderState(D3DRS_STENCILPASS)));
        }
    } else {
        gl_->glDisable(GL_STENCIL_TEST);
    }

    if (RenderState(D3DRS_ALPHABLENDENABLE)) {
        gl_->glEnable(GL_BLEND);
        if (RenderState(D3DRS_SEPARATEALPHABLENDENABLE)) {
            gl_->glBlendFuncSeparate(BlendFactor(RenderState(D3DRS_SRCBLEND)),
                                     BlendFactor(RenderState(D3DRS_DESTBLEND)),
                                     BlendFactor(RenderState(D3DRS_SRCBLENDALPHA)),
                                     BlendFactor(RenderState(D3DRS_DESTBLENDALPHA)));
            gl_->glBlendEquationSeparate(BlendOp(RenderState(D3DRS_BLENDOP)),
                                         BlendOp(RenderState(D3DRS_BLENDOPALPHA)));
        } else {
            gl_->glBlendFunc(BlendFactor(RenderState(D3DRS_SRCBLEND)),
                             BlendFactor(RenderState(D3DRS_DESTBLEND)));
            gl_->glBlendEquation(BlendOp(RenderState(D3DRS_BLENDOP)));
        }
    } else {
        gl_->glDisable(GL_BLEND);
    }
    const DWORD cw = RenderState(D3DRS_COLORWRITEENABLE);
    gl_->glColorMask(cw & 1, (cw >> 1) & 1, (cw >> 2) & 1, (cw >> 3) & 1);
    if (RenderState(D3DRS_SCISSORTESTENABLE))
        gl_->glEnable(GL_SCISSOR_TEST);
    else
        gl_->glDisable(GL_SCISSOR_TEST);
}

unsigned GlDevice::GlTextureOf(IDirect3DBaseTexture9* texture) {
    const TextureData* t = TextureDataOf(texture);
    return t ? t->glName : 0;
}

void GlDevice::BindTextures() {
    for (UINT stage = 0; stage < 8; ++stage) {
        gl_->glActiveTexture(GL_TEXTURE0 + stage);
        TextureData* t = TextureDataOf(BoundTexture(stage));
        if (!t) {
            gl_->glBindTexture(GL_TEXTURE_2D, 0);
            continue;
        }
        const GLenum target = TargetOf(*t);
        gl_->glBindTexture(target, t->glName);
        SetGlSamplerParameters(gl_, target,
                               {SamplerState(stage, D3DSAMP_ADDRESSU), SamplerState(stage, D3DSAMP_ADDRESSV),
                                SamplerState(stage, D3DSAMP_ADDRESSW), SamplerState(stage, D3DSAMP_MAGFILTER),
                                SamplerState(stage, D3DSAMP_MINFILTER),
                                SamplerState(stage, D3DSAMP_MIPFILTER)},
                               t->levels);
    }
    gl_->glActiveTexture(GL_TEXTURE0);
}

void SetGlSamplerParameters(QOpenGLFunctions_3_3_Core* gl, unsigned target, const GlSamplerStates& states,
                            UINT levels) {
    auto address = [](DWORD a) -> GLint {
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
    gl->glTexParameteri(target, GL_TEXTURE_WRAP_S, address(states.addressU));
    gl->glTexParameteri(target, GL_TEXTURE_WRAP_T, address(states.addressV));
    gl->glTexParameteri(target, GL_TEXTURE_WRAP_R, address(states.addressW));
    const bool magLinear = states.magFilter >= D3DTEXF_LINEAR;
    const bool minLinear = states.minFilter >= D3DTEXF_LINEAR;
    const DWORD mip = levels > 1 ? states.mipFilter : D3DTEXF_NONE;
    GLint minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    else if (mip >= D3DTEXF_LINEAR)
        minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    gl->glTexParameteri(target, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
    gl->glTexParameteri(target, GL_TEXTURE_MIN_FILTER, minFilter);
}

bool GlDevice::BindVertexInput(const DrawCall& call) {
    const std::vector<D3DVERTEXELEMENT9> elements = CurrentElements();
    if (elements.empty())
        return false;
    gl_->glBindVertexArray(vao_);
    for (GLuint i = 0; i < 16; ++i)
        gl_->glDisableVertexAttribArray(i);

    // User-pointer draws go through the stream buffer.
    if (call.userVertices) {
        const UINT first = call.indexed ? call.minIndex : 0;
        const UINT count = call.indexed ? call.numVertices + call.minIndex : call.numVertices;
        (void)first;
        gl_->glBindBuffer(GL_ARRAY_BUFFER, streamVbo_);
        gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(count) * call.userStride,
                          call.userVertices, GL_STREAM_DRAW);
    }
    for (const auto& e : elements) {
        const int attr = AttributeFor(e);
        if (attr < 0)
            continue;
        UINT stride;
        size_t base;
        if (call.userVertices) {
            if (e.Stream != 0)
                continue;
            stride = call.userStride;
            base = 0;
            gl_->glBindBuffer(GL_ARRAY_BUFFER, streamVbo_);
        } else {
            const Stream& s = StreamSource(e.Stream);
            auto* vb = dynamic_cast<VertexBuffer9*>(s.buffer);
            if (!vb)
                continue;
            stride = s.stride;
            base = s.offset;
            gl_->glBindBuffer(GL_ARRAY_BUFFER, vb->Data()->glName);
        }
        if (!call.indexed)
            base += static_cast<size_t>(call.startVertex) * stride;
        else if (!call.userVertices)
            base += static_cast<size_t>(static_cast<std::int64_t>(call.baseVertex) * stride);
        const void* ptr = reinterpret_cast<const void*>(base + e.Offset);
        const GLuint loc = static_cast<GLuint>(attr);
        gl_->glEnableVertexAttribArray(loc);
        const GLsizei st = static_cast<GLsizei>(stride);
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
            gl_->glDisableVertexAttribArray(loc);
        }
    }
    // Inputs the declaration lacks read as D3D defaults: white colour, zero elsewhere.
    context_->functions()->glVertexAttrib4f(kAttrColor0, 1, 1, 1, 1);
    context_->functions()->glVertexAttrib4f(kAttrColor1, 0, 0, 0, 0);
    return true;
}

void GlDevice::IssueDraw(const DrawCall& call) {
    const GLenum mode = PrimitiveMode(call.type);
    const GLsizei count = static_cast<GLsizei>(VertexCountOf(call.type, call.primitiveCount));
    if (!call.indexed) {
        gl_->glDrawArrays(mode, 0, count);
        return;
    }
    if (call.userIndices) {
        const size_t size = call.userIndexFormat == D3DFMT_INDEX32 ? 4 : 2;
        gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, streamIbo_);
        gl_->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(count * size), call.userIndices,
                          GL_STREAM_DRAW);
        gl_->glDrawElements(mode, count, size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
        return;
    }
    auto* ib = dynamic_cast<IndexBuffer9*>(IndexBuffer());
    const bool wide = ib->Data()->format == D3DFMT_INDEX32;
    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ib->Data()->glName);
    gl_->glDrawElements(mode, count, wide ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                        reinterpret_cast<const void*>(static_cast<size_t>(call.startIndex) * (wide ? 4 : 2)));
}

unsigned GlDevice::LinkProgram(const std::string& vs, const std::string& fs) {
    const std::string header = "#version 330 core\n";
    auto withHeader = [&](const std::string& s) { return s.rfind("#version", 0) == 0 ? s : header + s; };
    return LinkGlProgram(gl_, withHeader(vs), withHeader(fs), [](const char* step, const char* log) {
        if (std::strcmp(step, "link") != 0)
            std::fprintf(stderr, "shader: %s\n", log);
    });
}

unsigned LinkGlProgram(QOpenGLFunctions_3_3_Core* gl, const std::string& vertexShader,
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

int GlDevice::Uniform(Program& p, const char* name) {
    auto it = p.uniforms.find(name);
    if (it != p.uniforms.end())
        return it->second;
    const int loc = gl_->glGetUniformLocation(p.id, name);
    p.uniforms.emplace(name, loc);
    return loc;
}

std::vector<D3DVERTEXELEMENT9> GlDevice::CurrentElements() const {
    if (elementOverride_)
        return *elementOverride_;
    if (auto* decl = dynamic_cast<VertexDeclaration9*>(Declaration()))
        return decl->Elements();
    return DeclarationFromFvf(Fvf());
}

unsigned GlDevice::FixedFunctionProgram(const DrawCall&) {
    const std::vector<D3DVERTEXELEMENT9> elements = CurrentElements();
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
    const std::uint64_t key = (positionT ? 1u : 0u) | (normal ? 2u : 0u) | (colour0 ? 4u : 0u) |
                              (colour1 ? 8u : 0u) | (tex0 ? 16u : 0u) |
                              (static_cast<std::uint64_t>(weights) << 8);
    auto it = programs_.find(key);
    if (it != programs_.end()) {
        currentProgram_ = &it->second;
        return it->second.id;
    }
    std::ostringstream vs;
    vs << "#define POSITIONT " << (positionT ? 1 : 0) << "\n";
    vs << "#define HAS_NORMAL " << (normal ? "true" : "false") << "\n";
    vs << "#define HAS_COLOR0 " << (colour0 ? "true" : "false") << "\n";
    vs << "#define HAS_COLOR1 " << (colour1 ? "true" : "false") << "\n";
    vs << "#define HAS_TEX0 " << (tex0 ? "true" : "false") << "\n";
    vs << "in vec4 aPosition;\nin vec4 aBlendWeight;\nin vec3 aNormal;\nin vec4 aColor0;\nin vec4 aColor1;\n"
          "in vec2 aTex0;\n";
    vs << kFixedVertexShader;
    Program p;
    p.id = LinkProgram(vs.str(), kFixedFragmentShader);
    auto& stored = programs_[key] = p;
    currentProgram_ = &stored;
    return p.id;
}

namespace {
struct LightUniformNames {
    std::string type, diffuse, specular, ambient, position, direction, rangeAtt, spot;
};
const std::array<LightUniformNames, DeviceBase::kMaxLights>& LightNames() {
    static const auto names = [] {
        std::array<LightUniformNames, DeviceBase::kMaxLights> out;
        for (UINT i = 0; i < DeviceBase::kMaxLights; ++i) {
            const std::string idx = "[" + std::to_string(i) + "]";
            out[i] = {"uLightType" + idx,     "uLightDiffuse" + idx,  "uLightSpecular" + idx,
                      "uLightAmbient" + idx,  "uLightPosition" + idx, "uLightDirection" + idx,
                      "uLightRangeAtt" + idx, "uLightSpot" + idx};
        }
        return out;
    }();
    return names;
}
} // namespace

void GlDevice::SetFixedFunctionUniforms(unsigned) {
    Program& p = *currentProgram_;
    auto col = [&](const char* n, const D3DCOLORVALUE& c) {
        gl_->glUniform4f(Uniform(p, n), c.r, c.g, c.b, c.a);
    };
    auto argb = [&](const char* n, DWORD c) {
        gl_->glUniform4f(Uniform(p, n), static_cast<float>((c >> 16) & 0xFF) / 255.0f,
                         static_cast<float>((c >> 8) & 0xFF) / 255.0f, static_cast<float>(c & 0xFF) / 255.0f,
                         static_cast<float>((c >> 24) & 0xFF) / 255.0f);
    };
    auto i1 = [&](const char* n, int v) { gl_->glUniform1i(Uniform(p, n), v); };
    static const char* const kWorld[] = {"uWorld[0]", "uWorld[1]", "uWorld[2]", "uWorld[3]"};
    for (int i = 0; i < 4; ++i) {
        gl_->glUniformMatrix4fv(Uniform(p, kWorld[i]), 1, GL_FALSE,
                                &Transform(D3DTS_WORLDMATRIX(static_cast<UINT>(i))).m[0][0]);
    }
    const D3DMATRIX& view = Transform(D3DTS_VIEW);
    gl_->glUniformMatrix4fv(Uniform(p, "uView"), 1, GL_FALSE, &view.m[0][0]);
    gl_->glUniformMatrix4fv(Uniform(p, "uProj"), 1, GL_FALSE, &Transform(D3DTS_PROJECTION).m[0][0]);
    const DWORD blend = RenderState(D3DRS_VERTEXBLEND);
    i1("uBlendCount", blend >= D3DVBF_1WEIGHTS && blend <= D3DVBF_3WEIGHTS ? static_cast<int>(blend) + 1 : 1);
    const D3DVIEWPORT9& vp = Viewport();
    gl_->glUniform4f(Uniform(p, "uViewport"), static_cast<float>(vp.X), static_cast<float>(vp.Y),
                     static_cast<float>(vp.Width), static_cast<float>(vp.Height));
    i1("uLighting", RenderState(D3DRS_LIGHTING) != 0);
    i1("uNormalize", RenderState(D3DRS_NORMALIZENORMALS) != 0);
    i1("uColorVertex", RenderState(D3DRS_COLORVERTEX) != 0);
    i1("uDiffuseSource", static_cast<int>(RenderState(D3DRS_DIFFUSEMATERIALSOURCE)));
    i1("uAmbientSource", static_cast<int>(RenderState(D3DRS_AMBIENTMATERIALSOURCE)));
    argb("uAmbient", RenderState(D3DRS_AMBIENT));
    const D3DMATERIAL9& m = Material();
    col("uMatDiffuse", m.Diffuse);
    col("uMatAmbient", m.Ambient);
    col("uMatSpecular", m.Specular);
    col("uMatEmissive", m.Emissive);
    gl_->glUniform1f(Uniform(p, "uMatPower"), m.Power);
    i1("uSpecularEnable", RenderState(D3DRS_SPECULARENABLE) != 0);
    if (RenderState(D3DRS_LIGHTING)) {
        for (UINT i = 0; i < kMaxLights; ++i) {
            const LightUniformNames& n = LightNames()[i];
            const D3DLIGHT9& l = Light(i);
            gl_->glUniform1i(Uniform(p, n.type.c_str()), LightEnabled(i) ? static_cast<int>(l.Type) : 0);
            if (!LightEnabled(i))
                continue;
            col(n.diffuse.c_str(), l.Diffuse);
            col(n.specular.c_str(), l.Specular);
            col(n.ambient.c_str(), l.Ambient);
            // Lights are given in world space; the lighting runs in view space.
            const float px = l.Position.x, py = l.Position.y, pz = l.Position.z;
            float pv[3], dv[3];
            for (int k = 0; k < 3; ++k) {
                pv[k] = px * view.m[0][k] + py * view.m[1][k] + pz * view.m[2][k] + view.m[3][k];
                dv[k] = l.Direction.x * view.m[0][k] + l.Direction.y * view.m[1][k] +
                        l.Direction.z * view.m[2][k];
            }
            gl_->glUniform3fv(Uniform(p, n.position.c_str()), 1, pv);
            gl_->glUniform3fv(Uniform(p, n.direction.c_str()), 1, dv);
            gl_->glUniform4f(Uniform(p, n.rangeAtt.c_str()), l.Range, l.Attenuation0, l.Attenuation1,
                             l.Attenuation2);
            gl_->glUniform3f(Uniform(p, n.spot.c_str()), std::cos(l.Theta / 2), std::cos(l.Phi / 2),
                             l.Falloff);
        }
    }
    const bool hasTex = TextureDataOf(BoundTexture(0)) != nullptr;
    i1("uTex0", 0);
    i1("uHasTex0", hasTex);
    auto stage = [&](D3DTEXTURESTAGESTATETYPE t) { return static_cast<int>(StageState(0, t)); };
    int colourOp = stage(D3DTSS_COLOROP), alphaOp = stage(D3DTSS_ALPHAOP);
    if (!hasTex) {
        // Without a texture the stage passes the diffuse colour on.
        colourOp = alphaOp = D3DTOP_SELECTARG1;
        i1("uColorArg1", D3DTA_DIFFUSE);
        i1("uAlphaArg1", D3DTA_DIFFUSE);
    } else {
        i1("uColorArg1", stage(D3DTSS_COLORARG1) & 0xF);
        i1("uAlphaArg1", stage(D3DTSS_ALPHAARG1) & 0xF);
    }
    i1("uColorOp", colourOp);
    i1("uAlphaOp", alphaOp);
    i1("uColorArg2", stage(D3DTSS_COLORARG2) & 0xF);
    i1("uAlphaArg2", stage(D3DTSS_ALPHAARG2) & 0xF);
    argb("uTextureFactor", RenderState(D3DRS_TEXTUREFACTOR));
    i1("uAlphaTest", RenderState(D3DRS_ALPHATESTENABLE) != 0);
    i1("uAlphaFunc", static_cast<int>(RenderState(D3DRS_ALPHAFUNC)));
    gl_->glUniform1f(Uniform(p, "uAlphaRef"),
                     static_cast<float>(RenderState(D3DRS_ALPHAREF) & 0xFF) / 255.0f);
}

HRESULT GlDevice::DoDraw(const DrawCall& call) {
    if (!MakeCurrent())
        return D3DERR_DRIVERINTERNALERROR;
    if (call.indexed && !call.userIndices && !dynamic_cast<IndexBuffer9*>(IndexBuffer()))
        return D3DERR_INVALIDCALL;
    // Software vertex processing runs the vertex stage here and hands over transformed vertices.
    if (GetSoftwareVertexProcessing() && !externalProgram_ && !VertexShader() && !elementOverride_)
        return DrawSoftware(call);
    BindRenderTargets();
    ApplyRenderState();
    BindTextures();
    if (!BindVertexInput(call))
        return D3DERR_INVALIDCALL;
    if (externalProgram_) {
        gl_->glUseProgram(externalProgram_);
        if (externalPrepare_)
            externalPrepare_();
    } else if (auto* vs = dynamic_cast<GlVertexShader*>(VertexShader())) {
        if (!vs->Program())
            return D3DERR_INVALIDCALL;
        gl_->glUseProgram(vs->Program());
        const GLint c = gl_->glGetUniformLocation(vs->Program(), "c");
        if (c >= 0)
            gl_->glUniform4fv(c, kVsConstants, VsConstants());
        const GLint t = gl_->glGetUniformLocation(vs->Program(), "uTex0");
        gl_->glUniform1i(t, 0);
        gl_->glUniform1i(gl_->glGetUniformLocation(vs->Program(), "uHasTex0"),
                         TextureDataOf(BoundTexture(0)) != nullptr);
    } else {
        const unsigned program = FixedFunctionProgram(call);
        if (!program)
            return D3DERR_DRIVERINTERNALERROR;
        gl_->glUseProgram(program);
        SetFixedFunctionUniforms(program);
    }
    IssueDraw(call);
    MarkTargetsRendered();
    return D3D_OK;
}

void GlDevice::SetExternalProgram(unsigned program, std::function<void()> prepare) {
    externalProgram_ = program;
    externalPrepare_ = program ? std::move(prepare) : std::function<void()>();
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
        if (t.glName)
            gl_->glDeleteTextures(1, &t.glName);
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
    if (b.glName && MakeCurrent())
        gl_->glDeleteBuffers(1, &b.glName);
    b.glName = 0;
}

INT GlDevice::DoBeginEvent(const std::wstring& name) {
    if (MakeCurrent() && context_->hasExtension("GL_KHR_debug")) {
        using PushFn = void (*)(GLenum, GLuint, GLsizei, const char*);
        if (auto push = reinterpret_cast<PushFn>(context_->getProcAddress("glPushDebugGroup"))) {
            const QByteArray text = QString::fromStdWString(name).toUtf8();
            push(kDebugGroupSource, 0, static_cast<GLsizei>(text.size()), text.constData());
        }
    }
    return 0;
}

void GlDevice::DoEndEvent() {
    if (MakeCurrent() && context_->hasExtension("GL_KHR_debug")) {
        using PopFn = void (*)();
        if (auto pop = reinterpret_cast<PopFn>(context_->getProcAddress("glPopDebugGroup")))
            pop();
    }
}

} // namespace orv
