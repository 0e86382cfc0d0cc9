#include "graphics3d/framework/GlDirect3D.h"
#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/GlFormats.h"
#include "graphics3d/framework/GlFunctions.h"
#include "platform/OffscreenGl.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

namespace orv {

namespace {

// Display formats a full-screen device can present in; the back buffer is rendered in the format
// and scaled onto the screen.
const D3DFORMAT kDisplayFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A2R10G10B10};

// Standard sizes offered below the screen's own mode.
const UINT kStandardSizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},
                                  {1280, 768},  {1280, 800},  {1280, 960},  {1280, 1024}, {1360, 768},
                                  {1366, 768},  {1440, 900},  {1600, 900},  {1600, 1200}, {1680, 1050},
                                  {1920, 1080}, {1920, 1200}, {2560, 1440}, {2560, 1600}, {3840, 2160}};

// The offscreen display's refresh rate, as a flat panel's.
constexpr UINT kOffscreenRefresh = 60;

bool HasExtension(const GlFunctions& gl, const char* name) {
    GLint count = 0;
    gl.glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const auto* e = reinterpret_cast<const char*>(gl.glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i)));
        if (e && std::strcmp(e, name) == 0)
            return true;
    }
    return false;
}

GlDriverInfo ProbeWith(const GlFunctions& functions);

GlDriverInfo ProbeOffscreen() {
    QString reason;
    const auto ctx = OffscreenGlContext::Create(GlProfile::Core33, &reason);
    GlFunctions gl;
    if (!ctx || !gl.Resolve([&ctx](const char* name) { return ctx->ProcAddress(name); }))
        return {};
    GlDriverInfo info = ProbeWith(gl);
    ctx->DoneCurrent();
    return info;
}

GlDriverInfo ProbeDriver() {
    if (OffscreenGraphics())
        return ProbeOffscreen();
    GlDriverInfo info;
    if (!QGuiApplication::instance() || QGuiApplication::screens().isEmpty())
        return info;
    QSurfaceFormat fmt;
    fmt.setVersion(3, 3);
    fmt.setProfile(QSurfaceFormat::CoreProfile);
    QOpenGLContext ctx;
    ctx.setFormat(fmt);
    if (!ctx.create())
        return info;
    const QSurfaceFormat got = ctx.format();
    if (got.majorVersion() < 3 || (got.majorVersion() == 3 && got.minorVersion() < 3))
        return info;
    QOffscreenSurface surface;
    surface.setFormat(ctx.format());
    surface.create();
    if (!ctx.makeCurrent(&surface))
        return info;
    GlFunctions gl;
    if (!gl.Resolve([&ctx](const char* name) { return ctx.getProcAddress(name); })) {
        ctx.doneCurrent();
        return info;
    }
    info = ProbeWith(gl);
    ctx.doneCurrent();
    return info;
}

// With the context current: its strings, limits and which formats work for what.
GlDriverInfo ProbeWith(const GlFunctions& functions) {
    GlDriverInfo info;
    const GlFunctions* gl = &functions;
    info.vendor = QString::fromLatin1(reinterpret_cast<const char*>(gl->glGetString(GL_VENDOR)));
    info.renderer = QString::fromLatin1(reinterpret_cast<const char*>(gl->glGetString(GL_RENDERER)));
    info.version = QString::fromLatin1(reinterpret_cast<const char*>(gl->glGetString(GL_VERSION)));
    gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &info.maxTextureSize);
    gl->glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &info.max3dTextureSize);
    gl->glGetIntegerv(GL_MAX_CUBE_MAP_TEXTURE_SIZE, &info.maxCubeSize);
    gl->glGetIntegerv(GL_MAX_DRAW_BUFFERS, &info.maxDrawBuffers);
    gl->glGetIntegerv(GL_MAX_SAMPLES, &info.maxSamples);
    info.s3tc = HasExtension(functions, "GL_EXT_texture_compression_s3tc");

    GLuint fbo = 0, colour = 0;
    gl->glGenFramebuffers(1, &fbo);
    gl->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    for (UINT f = 1; f < D3DFMT_COUNT && f < 64; ++f) {
        const GlFormat g = GlFormatOf(static_cast<D3DFORMAT>(f));
        if (!g.internalFormat)
            continue;
        while (gl->glGetError() != GL_NO_ERROR) {
        }
        if (g.depth) {
            GLuint rb = 0, col = 0;
            gl->glGenRenderbuffers(1, &col);
            gl->glBindRenderbuffer(GL_RENDERBUFFER, col);
            gl->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 4, 4);
            gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, col);
            gl->glGenRenderbuffers(1, &rb);
            gl->glBindRenderbuffer(GL_RENDERBUFFER, rb);
            gl->glRenderbufferStorage(GL_RENDERBUFFER, g.internalFormat, 4, 4);
            gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                          g.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                          GL_RENDERBUFFER, rb);
            info.depthUsable[f] = gl->glGetError() == GL_NO_ERROR &&
                                  gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
            gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                          g.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                          GL_RENDERBUFFER, 0);
            gl->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
            gl->glDeleteRenderbuffers(1, &rb);
            gl->glDeleteRenderbuffers(1, &col);
            continue;
        }
        if (g.compressed) {
            info.texturable[f] = info.s3tc;
            continue;
        }
        gl->glGenTextures(1, &colour);
        gl->glBindTexture(GL_TEXTURE_2D, colour);
        gl->glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(g.internalFormat), 4, 4, 0, g.format, g.type,
                         nullptr);
        info.texturable[f] = gl->glGetError() == GL_NO_ERROR;
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour, 0);
        // Luminance and alpha formats are read through a swizzle; as targets they would write red only.
        const bool swizzledRead = f == D3DFMT_A8 || f == D3DFMT_L8 || f == D3DFMT_A8L8 || f == D3DFMT_L16;
        info.renderable[f] = info.texturable[f] && !swizzledRead &&
                             gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        gl->glDeleteTextures(1, &colour);
        if (!info.renderable[f])
            continue;
        // Cube faces are probed on their own: a driver may render to 2D textures of a format only.
        gl->glGenTextures(1, &colour);
        gl->glBindTexture(GL_TEXTURE_CUBE_MAP, colour);
        for (GLenum face = 0; face < 6; ++face)
            gl->glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, static_cast<GLint>(g.internalFormat),
                             4, 4, 0, g.format, g.type, nullptr);
        bool cube = gl->glGetError() == GL_NO_ERROR;
        for (GLenum face = 0; cube && face < 6; ++face) {
            gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                       GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, colour, 0);
            cube = gl->glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        }
        info.renderableCube[f] = cube;
        gl->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
        gl->glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
        gl->glDeleteTextures(1, &colour);
    }
    gl->glBindFramebuffer(GL_FRAMEBUFFER, 0);
    gl->glDeleteFramebuffers(1, &fbo);
    info.available = true;
    return info;
}

D3DFORMAT DesktopFormat(const QScreen* screen) {
    switch (screen->depth()) {
    case 15:
        return D3DFMT_X1R5G5B5;
    case 16:
        return D3DFMT_R5G6B5;
    case 30:
        return D3DFMT_A2R10G10B10;
    default:
        return D3DFMT_X8R8G8B8;
    }
}

D3DCAPS9 CapsFor(const GlDriverInfo& d, UINT adapter) {
    D3DCAPS9 c;
    c.DeviceType = D3DDEVTYPE_HAL;
    c.AdapterOrdinal = adapter;
    c.Caps2 = D3DCAPS2_CANAUTOGENMIPMAP;
    c.PresentationIntervals = D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE;
    c.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE | D3DDEVCAPS_HWRASTERIZATION;
    c.PrimitiveMiscCaps = D3DPMISCCAPS_SEPARATEALPHABLEND;
    c.TextureCaps = D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP | D3DPTEXTURECAPS_MIPMAP;
    c.MaxTextureWidth = c.MaxTextureHeight = static_cast<DWORD>(std::min(d.maxTextureSize, 16384));
    c.MaxVolumeExtent = static_cast<DWORD>(std::min(d.max3dTextureSize, 2048));
    c.MaxAnisotropy = 1;
    c.StencilCaps = D3DSTENCILCAPS_KEEP | D3DSTENCILCAPS_ZERO | D3DSTENCILCAPS_REPLACE |
                    D3DSTENCILCAPS_INCRSAT | D3DSTENCILCAPS_DECRSAT | D3DSTENCILCAPS_INVERT |
                    D3DSTENCILCAPS_INCR | D3DSTENCILCAPS_DECR | D3DSTENCILCAPS_TWOSIDED;
    c.MaxTextureBlendStages = 8;
    c.MaxSimultaneousTextures = 8;
    c.VertexProcessingCaps = D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS;
    c.MaxActiveLights = DeviceBase::kMaxLights;
    c.MaxUserClipPlanes = 0;
    c.MaxVertexBlendMatrices = 4; // non-indexed blending with world matrices 0 to 3
    c.MaxVertexBlendMatrixIndex = 0;
    c.MaxPointSize = 1.0f;
    c.MaxPrimitiveCount = 0xFFFFFF;
    c.MaxVertexIndex = 0xFFFFFF;
    c.MaxStreams = DeviceBase::kMaxStreams;
    c.MaxStreamStride = 508;
    // OpenGL 3.3 core matches the shader model 3 class of hardware.
    c.VertexShaderVersion = D3DVS_VERSION(3, 0);
    c.MaxVertexShaderConst = DeviceBase::kVsConstants;
    c.PixelShaderVersion = D3DPS_VERSION(3, 0);
    c.NumSimultaneousRTs = static_cast<DWORD>(std::clamp(d.maxDrawBuffers, 1, 4));
    return c;
}

class GlDirect3D final : public IDirect3D9 {
public:
    GlDirect3D() : offscreen_(OffscreenGraphics()) {
        if (!QGuiApplication::instance())
            return;
        const auto screens = QGuiApplication::screens();
        QScreen* primary = QGuiApplication::primaryScreen();
        if (primary)
            screens_.push_back(primary);
        for (QScreen* s : screens)
            if (s != primary)
                screens_.push_back(s);
    }

    // Offscreen there is one adapter, whatever screens the platform makes up.
    UINT GetAdapterCount() override { return AdapterCount(); }
    UINT AdapterCount() const { return offscreen_ ? 1u : static_cast<UINT>(screens_.size()); }

    HRESULT GetAdapterIdentifier(UINT adapter, DWORD, D3DADAPTER_IDENTIFIER9* id) override {
        if (adapter >= GetAdapterCount() || !id)
            return D3DERR_INVALIDCALL;
        *id = {};
        const GlDriverInfo& d = GlDriver();
        const QByteArray description =
            (d.renderer + QStringLiteral(" (") + d.vendor + QStringLiteral(")")).toUtf8();
        std::strncpy(id->Description, description.constData(), sizeof(id->Description) - 1);
        std::strncpy(id->Driver, d.version.toUtf8().constData(), sizeof(id->Driver) - 1);
        const QByteArray name =
            offscreen_ ? QByteArrayLiteral("offscreen") : screens_[adapter]->name().toUtf8();
        std::strncpy(id->DeviceName, name.constData(), sizeof(id->DeviceName) - 1);
        return D3D_OK;
    }

    std::vector<D3DDISPLAYMODE> Modes(UINT adapter, D3DFORMAT format) const {
        std::vector<D3DDISPLAYMODE> out;
        D3DDISPLAYMODE mode{};
        if (!IsDisplayFormat(format) || !DisplayMode(adapter, &mode))
            return out;
        const UINT w = mode.Width, h = mode.Height, refresh = mode.RefreshRate;
        bool own = false;
        for (auto& sz : kStandardSizes) {
            if (sz[0] > w || sz[1] > h)
                continue;
            out.push_back({sz[0], sz[1], refresh, format});
            own = own || (sz[0] == w && sz[1] == h);
        }
        if (!own)
            out.push_back({w, h, refresh, format});
        std::sort(out.begin(), out.end(), [](const D3DDISPLAYMODE& a, const D3DDISPLAYMODE& b) {
            return a.Width != b.Width ? a.Width < b.Width : a.Height < b.Height;
        });
        return out;
    }

    static bool IsDisplayFormat(D3DFORMAT f) {
        return std::find(std::begin(kDisplayFormats), std::end(kDisplayFormats), f) !=
                   std::end(kDisplayFormats) &&
               GlDriver().renderable[f];
    }

    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override {
        return static_cast<UINT>(Modes(adapter, format).size());
    }

    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode, D3DDISPLAYMODE* out) override {
        if (!out)
            return D3DERR_INVALIDCALL;
        const auto modes = Modes(adapter, format);
        if (mode >= modes.size())
            return D3DERR_INVALIDCALL;
        *out = modes[mode];
        return D3D_OK;
    }

    bool DisplayMode(UINT adapter, D3DDISPLAYMODE* mode) const {
        if (offscreen_) {
            *mode = {static_cast<UINT>(kOffscreenScreenWidth), static_cast<UINT>(kOffscreenScreenHeight),
                     kOffscreenRefresh, D3DFMT_X8R8G8B8};
            return true;
        }
        if (adapter >= screens_.size())
            return false;
        const QScreen* s = screens_[adapter];
        const QSize size = s->size() * s->devicePixelRatio();
        *mode = {static_cast<UINT>(size.width()), static_cast<UINT>(size.height()),
                 static_cast<UINT>(std::lround(s->refreshRate())), DesktopFormat(s)};
        return true;
    }

    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override {
        if (adapter >= GetAdapterCount() || !mode)
            return D3DERR_INVALIDCALL;
        return DisplayMode(adapter, mode) ? D3D_OK : D3DERR_INVALIDCALL;
    }

    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, D3DFORMAT bb,
                            BOOL windowed) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL)
            return D3DERR_NOTAVAILABLE;
        D3DDISPLAYMODE desktop;
        GetAdapterDisplayMode(adapter, &desktop);
        if (windowed ? adapterFormat != desktop.Format : !IsDisplayFormat(adapterFormat))
            return D3DERR_NOTAVAILABLE;
        if (bb == D3DFMT_UNKNOWN && windowed)
            bb = adapterFormat;
        if (bb >= 64 || !GlDriver().renderable[bb])
            return D3DERR_NOTAVAILABLE;
        const auto fa = D3DFormatInfo(adapterFormat), fb = D3DFormatInfo(bb);
        if (fa.red != fb.red || fa.green != fb.green || fa.blue != fb.blue || fb.depth)
            return D3DERR_NOTAVAILABLE;
        return D3D_OK;
    }

    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapterFormat, DWORD usage,
                              D3DRESOURCETYPE rtype, D3DFORMAT check) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL)
            return D3DERR_NOTAVAILABLE;
        D3DDISPLAYMODE desktop;
        GetAdapterDisplayMode(adapter, &desktop);
        if (adapterFormat != desktop.Format && !IsDisplayFormat(adapterFormat))
            return D3DERR_NOTAVAILABLE;
        return FormatSupported(check, usage, rtype) ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    static bool FormatSupported(D3DFORMAT check, DWORD usage, D3DRESOURCETYPE rtype) {
        if (check == D3DFMT_UNKNOWN || check >= 64)
            return false;
        const GlDriverInfo& d = GlDriver();
        if (usage & D3DUSAGE_DEPTHSTENCIL)
            return rtype == D3DRTYPE_SURFACE && d.depthUsable[check];
        if (D3DFormatInfo(check).depth)
            return false;
        if (rtype == D3DRTYPE_VERTEXBUFFER || rtype == D3DRTYPE_INDEXBUFFER)
            return false;
        if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING)) {
            if (rtype == D3DRTYPE_CUBETEXTURE)
                return d.renderableCube[check];
            return rtype != D3DRTYPE_VOLUMETEXTURE && rtype != D3DRTYPE_VOLUME && d.renderable[check];
        }
        if ((usage & D3DUSAGE_AUTOGENMIPMAP) && GlFormatOf(check).compressed)
            return false;
        return d.texturable[check];
    }

    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT, BOOL, D3DMULTISAMPLE_TYPE ms,
                                       DWORD* quality) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        // The back buffer is never multisampled.
        if (type != D3DDEVTYPE_HAL || ms != D3DMULTISAMPLE_NONE)
            return D3DERR_NOTAVAILABLE;
        if (quality)
            *quality = 1;
        return D3D_OK;
    }

    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT, D3DFORMAT rt,
                                   D3DFORMAT ds) override {
        if (adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL || ds >= 64 || rt >= 64)
            return D3DERR_NOTAVAILABLE;
        return GlDriver().depthUsable[ds] && GlDriver().renderable[rt] ? D3D_OK : D3DERR_NOTAVAILABLE;
    }

    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override {
        if (adapter >= GetAdapterCount() || !caps)
            return D3DERR_INVALIDCALL;
        if (type != D3DDEVTYPE_HAL)
            return D3DERR_NOTAVAILABLE;
        *caps = CapsFor(GlDriver(), adapter);
        return D3D_OK;
    }

    HMONITOR GetAdapterMonitor(UINT adapter) override {
        return adapter < screens_.size() ? screens_[adapter] : nullptr;
    }

    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus, DWORD flags, D3DPRESENT_PARAMETERS* pp,
                         IDirect3DDevice9** out) override {
        if (!out || !pp || adapter >= GetAdapterCount())
            return D3DERR_INVALIDCALL;
        *out = nullptr;
        if (type != D3DDEVTYPE_HAL)
            return D3DERR_NOTAVAILABLE;
        const DWORD vp = flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                                  D3DCREATE_MIXED_VERTEXPROCESSING);
        if (vp != D3DCREATE_SOFTWARE_VERTEXPROCESSING && vp != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
            vp != D3DCREATE_MIXED_VERTEXPROCESSING)
            return D3DERR_INVALIDCALL;
        if (!pp->hDeviceWindow)
            pp->hDeviceWindow = focus;
        if (!pp->hDeviceWindow)
            return D3DERR_INVALIDCALL;
        D3DDISPLAYMODE desktop;
        GetAdapterDisplayMode(adapter, &desktop);
        if (pp->Windowed) {
            if (pp->BackBufferFormat == D3DFMT_UNKNOWN)
                pp->BackBufferFormat = desktop.Format;
            if (pp->BackBufferWidth == 0)
                pp->BackBufferWidth = static_cast<UINT>(std::max(1, pp->hDeviceWindow->width()));
            if (pp->BackBufferHeight == 0)
                pp->BackBufferHeight = static_cast<UINT>(std::max(1, pp->hDeviceWindow->height()));
        } else {
            // Full screen needs one of the adapter's modes.
            bool found = false;
            for (auto& m : Modes(adapter, desktop.Format))
                found = found || (m.Width == pp->BackBufferWidth && m.Height == pp->BackBufferHeight);
            if (!found)
                return D3DERR_INVALIDCALL;
        }
        if (pp->BackBufferCount == 0)
            pp->BackBufferCount = 1;
        if (pp->BackBufferCount > 3 || pp->MultiSampleType != D3DMULTISAMPLE_NONE ||
            pp->BackBufferFormat >= 64 || !GlDriver().renderable[pp->BackBufferFormat])
            return D3DERR_INVALIDCALL;
        if (pp->EnableAutoDepthStencil &&
            (pp->AutoDepthStencilFormat >= 64 || !GlDriver().depthUsable[pp->AutoDepthStencilFormat]))
            return D3DERR_INVALIDCALL;
        D3DDEVICE_CREATION_PARAMETERS cp{adapter, type, focus, flags};
        auto* device = new GlDevice(this, cp, *pp, CapsFor(GlDriver(), adapter),
                                    adapter < screens_.size() ? screens_[adapter] : nullptr);
        const HRESULT hr = device->Start();
        if (FAILED(hr)) {
            device->Release();
            return hr;
        }
        *out = device;
        return D3D_OK;
    }

private:
    bool offscreen_;
    std::vector<QScreen*> screens_;
};

} // namespace

const GlDriverInfo& GlDriver() {
    static std::once_flag once;
    static GlDriverInfo info;
    std::call_once(once, [] { info = ProbeDriver(); });
    return info;
}

IDirect3D9* CreateGlDirect3D() {
    if (!GlDriver().available)
        return nullptr;
    auto* d3d = new GlDirect3D();
    if (d3d->GetAdapterCount() == 0) {
        d3d->Release();
        return nullptr;
    }
    return d3d;
}

} // namespace orv
