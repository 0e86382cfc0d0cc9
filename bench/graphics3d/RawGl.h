#pragma once
// Plain Qt and OpenGL for the baselines of the 3D benchmarks: a window with a 3.3 core context, no
// vertical sync, and an off-screen colour and depth buffer like the layer's back buffer.
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLVersionFunctionsFactory>
#include <QScreen>
#include <QWindow>

namespace orv::bench {

class RawGlWindow {
public:
    // Full screen on the primary screen when size is empty; false without a 3.3 core context.
    bool Start(QSize size = {}) {
        QSurfaceFormat fmt;
        fmt.setVersion(3, 3);
        fmt.setProfile(QSurfaceFormat::CoreProfile);
        fmt.setSwapInterval(0);
        window.setSurfaceType(QSurface::OpenGLSurface);
        window.setFormat(fmt);
        if (size.isEmpty()) {
            window.setGeometry(QGuiApplication::primaryScreen()->geometry());
            window.showFullScreen();
        } else {
            window.resize(size);
            window.show();
        }
        context.setFormat(fmt);
        if (!context.create() || !context.makeCurrent(&window))
            return false;
        gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(&context);
        return gl && gl->initializeOpenGLFunctions();
    }
    ~RawGlWindow() {
        if (gl)
            context.doneCurrent();
    }

    QWindow window;
    QOpenGLContext context;
    QOpenGLFunctions_3_3_Core* gl = nullptr;
};

// Colour texture and depth renderbuffer (depthFormat 0: none) on a framebuffer of their own.
class OffscreenTarget {
public:
    OffscreenTarget(QOpenGLFunctions_3_3_Core* gl, int width, int height, GLenum depthFormat) : gl_(gl) {
        gl_->glGenFramebuffers(1, &fbo);
        gl_->glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        gl_->glGenTextures(1, &colour_);
        gl_->glBindTexture(GL_TEXTURE_2D, colour_);
        gl_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        gl_->glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
        if (depthFormat) {
            gl_->glGenRenderbuffers(1, &depth_);
            gl_->glBindRenderbuffer(GL_RENDERBUFFER, depth_);
            gl_->glRenderbufferStorage(GL_RENDERBUFFER, depthFormat, width, height);
            gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER,
                                           depthFormat == GL_DEPTH24_STENCIL8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                              : GL_DEPTH_ATTACHMENT,
                                           GL_RENDERBUFFER, depth_);
        }
    }
    ~OffscreenTarget() {
        gl_->glDeleteFramebuffers(1, &fbo);
        gl_->glDeleteTextures(1, &colour_);
        gl_->glDeleteRenderbuffers(1, &depth_);
    }
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    GLuint fbo = 0;

private:
    QOpenGLFunctions_3_3_Core* gl_;
    GLuint colour_ = 0, depth_ = 0;
};

} // namespace orv::bench
