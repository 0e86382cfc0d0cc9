#include "platform/OffscreenGl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace orv {

namespace {

std::atomic<bool> g_offscreen{false};

bool HasWord(const char* list, const char* word) {
    if (!list)
        return false;
    const std::size_t n = std::strlen(word);
    for (const char* p = list; (p = std::strstr(p, word)) != nullptr; p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == '\0'))
            return true;
    return false;
}

template <typename F> F Resolve(const char* name) {
    return reinterpret_cast<F>(eglGetProcAddress(name));
}

// One display for the process: opening it per context would load the driver again each time.
struct Display {
    EGLDisplay display = EGL_NO_DISPLAY;
    QString platform;
    QString failure;
};

// A GPU with a render node first; software devices are left to the surfaceless platform, which needs
// no device at all.
EGLDisplay OpenRenderNode(PFNEGLGETPLATFORMDISPLAYEXTPROC getPlatformDisplay, QString* node) {
    const char* client = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasWord(client, "EGL_EXT_device_enumeration") || !HasWord(client, "EGL_EXT_platform_device"))
        return EGL_NO_DISPLAY;
    const auto queryDevices = Resolve<PFNEGLQUERYDEVICESEXTPROC>("eglQueryDevicesEXT");
    const auto queryString = Resolve<PFNEGLQUERYDEVICESTRINGEXTPROC>("eglQueryDeviceStringEXT");
    if (!queryDevices || !queryString)
        return EGL_NO_DISPLAY;
    constexpr EGLint kMostDevices = 16;
    EGLDeviceEXT devices[kMostDevices];
    EGLint count = 0;
    if (!queryDevices(kMostDevices, devices, &count))
        return EGL_NO_DISPLAY;
    for (EGLint i = 0; i < count; ++i) {
        const char* ext = queryString(devices[i], EGL_EXTENSIONS);
        if (HasWord(ext, "EGL_MESA_device_software"))
            continue;
        const char* file = nullptr;
        if (HasWord(ext, "EGL_EXT_device_drm_render_node"))
            file = queryString(devices[i], EGL_DRM_RENDER_NODE_FILE_EXT);
        if (!file && HasWord(ext, "EGL_EXT_device_drm"))
            file = queryString(devices[i], EGL_DRM_DEVICE_FILE_EXT);
        if (!file)
            continue;
        EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        EGLint major = 0, minor = 0;
        if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) {
            *node = QString::fromLocal8Bit(file);
            return d;
        }
    }
    return EGL_NO_DISPLAY;
}

const Display& TheDisplay() {
    static std::once_flag once;
    static Display shown;
    std::call_once(once, [] {
        const auto getPlatformDisplay = Resolve<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");
        if (!getPlatformDisplay) {
            shown.failure = QStringLiteral("brak EGL");
            return;
        }
        QString node;
        shown.display = OpenRenderNode(getPlatformDisplay, &node);
        if (shown.display != EGL_NO_DISPLAY) {
            shown.platform = node;
            return;
        }
        if (HasWord(eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS), "EGL_MESA_platform_surfaceless")) {
            EGLDisplay d = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
            EGLint major = 0, minor = 0;
            if (d != EGL_NO_DISPLAY && eglInitialize(d, &major, &minor)) {
                shown.display = d;
                shown.platform = QStringLiteral("Mesa surfaceless");
                return;
            }
        }
        shown.failure = QStringLiteral("brak EGL bez ekranu");
    });
    return shown;
}

} // namespace

void SetOffscreenGraphics(bool on) {
    g_offscreen.store(on);
}

bool OffscreenGraphics() {
    return g_offscreen.load();
}

QString DisplayServerName(const QString& qtPlatform) {
    if (OffscreenGraphics())
        return QStringLiteral("offscreen");
    if (qtPlatform == QLatin1String("xcb"))
        return QStringLiteral("X11");
    if (qtPlatform.startsWith(QLatin1String("wayland")))
        return QStringLiteral("Wayland");
    return qtPlatform;
}

struct OffscreenGlContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    QString platform;
    unsigned fbo = 0, colour = 0, depth = 0;
    int width = 0, height = 0;
    EGLSync previousFrame = EGL_NO_SYNC;

    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    PFNGLDRAWBUFFERSPROC drawBuffers = nullptr;
    using Flush = void (*)();
    Flush flush = nullptr;
    Flush finish = nullptr;

    void ReleaseFramebuffer() {
        if (fbo)
            deleteFramebuffers(1, &fbo);
        if (colour)
            deleteRenderbuffers(1, &colour);
        if (depth)
            deleteRenderbuffers(1, &depth);
        fbo = colour = depth = 0;
        width = height = 0;
    }
};

OffscreenGlContext::OffscreenGlContext(std::unique_ptr<Impl> impl) : d_(std::move(impl)) {}

std::unique_ptr<OffscreenGlContext> OffscreenGlContext::Create(GlProfile profile, QString* reason) {
    const Display& shown = TheDisplay();
    if (shown.display == EGL_NO_DISPLAY) {
        *reason = shown.failure;
        return nullptr;
    }
    const char* ext = eglQueryString(shown.display, EGL_EXTENSIONS);
    if (!HasWord(ext, "EGL_KHR_surfaceless_context") || !HasWord(ext, "EGL_KHR_create_context") ||
        !eglBindAPI(EGL_OPENGL_API)) {
        *reason = QStringLiteral("brak OpenGL bez okna");
        return nullptr;
    }
    // Without a window nothing needs a pixel format: the framebuffer object has its own.
    EGLConfig config = EGL_NO_CONFIG_KHR;
    if (!HasWord(ext, "EGL_KHR_no_config_context") && !HasWord(ext, "EGL_MESA_configless_context")) {
        const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint found = 0;
        if (!eglChooseConfig(shown.display, want, &config, 1, &found) || found < 1) {
            *reason = QStringLiteral("brak OpenGL bez okna");
            return nullptr;
        }
    }
    const bool core = profile == GlProfile::Core33;
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 core ? 3 : 1,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 core ? 3 : 0,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 core ? EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT
                                      : EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                 EGL_NONE};
    EGLContext context = eglCreateContext(shown.display, config, EGL_NO_CONTEXT, attributes);
    if (context == EGL_NO_CONTEXT) {
        *reason = core ? QStringLiteral("brak GL 3.3") : QStringLiteral("brak obsługi OpenGL");
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->display = shown.display;
    impl->context = context;
    impl->platform = shown.platform;
    impl->genFramebuffers = Resolve<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
    impl->deleteFramebuffers = Resolve<PFNGLDELETEFRAMEBUFFERSPROC>("glDeleteFramebuffers");
    impl->bindFramebuffer = Resolve<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
    impl->genRenderbuffers = Resolve<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers");
    impl->deleteRenderbuffers = Resolve<PFNGLDELETERENDERBUFFERSPROC>("glDeleteRenderbuffers");
    impl->bindRenderbuffer = Resolve<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer");
    impl->renderbufferStorage = Resolve<PFNGLRENDERBUFFERSTORAGEPROC>("glRenderbufferStorage");
    impl->framebufferRenderbuffer = Resolve<PFNGLFRAMEBUFFERRENDERBUFFERPROC>("glFramebufferRenderbuffer");
    impl->checkFramebufferStatus = Resolve<PFNGLCHECKFRAMEBUFFERSTATUSPROC>("glCheckFramebufferStatus");
    impl->drawBuffers = Resolve<PFNGLDRAWBUFFERSPROC>("glDrawBuffers");
    impl->flush = Resolve<Impl::Flush>("glFlush");
    impl->finish = Resolve<Impl::Flush>("glFinish");
    std::unique_ptr<OffscreenGlContext> out(new OffscreenGlContext(std::move(impl)));
    if (!out->MakeCurrent()) {
        *reason = QStringLiteral("brak OpenGL bez okna");
        return nullptr;
    }
    return out;
}

OffscreenGlContext::~OffscreenGlContext() {
    if (MakeCurrent()) {
        if (d_->previousFrame != EGL_NO_SYNC)
            eglDestroySync(d_->display, d_->previousFrame);
        d_->ReleaseFramebuffer();
        DoneCurrent();
    }
    eglDestroyContext(d_->display, d_->context);
}

bool OffscreenGlContext::MakeCurrent() {
    if (IsCurrent())
        return true;
    return eglMakeCurrent(d_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, d_->context) == EGL_TRUE;
}

void OffscreenGlContext::DoneCurrent() {
    if (IsCurrent())
        eglMakeCurrent(d_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool OffscreenGlContext::IsCurrent() const {
    return eglGetCurrentContext() == d_->context;
}

OffscreenGlContext::Function OffscreenGlContext::ProcAddress(const char* name) const {
    return eglGetProcAddress(name);
}

QString OffscreenGlContext::Platform() const {
    return d_->platform;
}

bool OffscreenGlContext::ResizeFramebuffer(int width, int height, int depthBits) {
    if (!MakeCurrent() || width <= 0 || height <= 0)
        return false;
    Impl& d = *d_;
    d.ReleaseFramebuffer();
    d.genFramebuffers(1, &d.fbo);
    d.bindFramebuffer(GL_FRAMEBUFFER, d.fbo);
    d.genRenderbuffers(1, &d.colour);
    d.bindRenderbuffer(GL_RENDERBUFFER, d.colour);
    d.renderbufferStorage(GL_RENDERBUFFER, GL_RGB8, width, height);
    d.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, d.colour);
    if (depthBits > 0) {
        d.genRenderbuffers(1, &d.depth);
        d.bindRenderbuffer(GL_RENDERBUFFER, d.depth);
        d.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        d.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, d.depth);
    }
    d.bindRenderbuffer(GL_RENDERBUFFER, 0);
    const GLenum draw = GL_COLOR_ATTACHMENT0;
    d.drawBuffers(1, &draw);
    if (d.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        d.bindFramebuffer(GL_FRAMEBUFFER, 0);
        d.ReleaseFramebuffer();
        return false;
    }
    d.width = width;
    d.height = height;
    return true;
}

unsigned OffscreenGlContext::Framebuffer() const {
    return d_->fbo;
}

int OffscreenGlContext::Width() const {
    return d_->width;
}

int OffscreenGlContext::Height() const {
    return d_->height;
}

void OffscreenGlContext::FinishFrame() {
    if (!MakeCurrent())
        return;
    Impl& d = *d_;
    EGLSync frame = eglCreateSync(d.display, EGL_SYNC_FENCE, nullptr);
    d.flush();
    if (d.previousFrame != EGL_NO_SYNC) {
        eglClientWaitSync(d.display, d.previousFrame, EGL_SYNC_FLUSH_COMMANDS_BIT, EGL_FOREVER);
        eglDestroySync(d.display, d.previousFrame);
    }
    d.previousFrame = frame;
    if (frame == EGL_NO_SYNC)
        d.finish(); // no fences: wait as a blocking swap would
}

void OffscreenGlContext::Finish() {
    if (MakeCurrent())
        d_->finish();
}

} // namespace orv
