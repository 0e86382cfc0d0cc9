// OpenGL without a window system: both profiles, the framebuffer standing in for a window's back
// buffer, and the names the graphics stages record.
#include "platform/OffscreenGl.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace orv {
namespace {

QString GlText(GLenum name) {
    const auto* t = reinterpret_cast<const char*>(glGetString(name));
    return t ? QString::fromLatin1(t) : QString();
}

TEST(OffscreenGl, DisplayServerNamesFollowTheModeAndQtsPlatform) {
    SetOffscreenGraphics(false);
    EXPECT_EQ(DisplayServerName(QStringLiteral("xcb")), QStringLiteral("X11"));
    EXPECT_EQ(DisplayServerName(QStringLiteral("wayland")), QStringLiteral("Wayland"));
    EXPECT_EQ(DisplayServerName(QStringLiteral("wayland-egl")), QStringLiteral("Wayland"));
    EXPECT_EQ(DisplayServerName(QStringLiteral("eglfs")), QStringLiteral("eglfs"));
    SetOffscreenGraphics(true);
    EXPECT_TRUE(OffscreenGraphics());
    EXPECT_EQ(DisplayServerName(QStringLiteral("offscreen")), QStringLiteral("offscreen"));
    EXPECT_EQ(DisplayServerName(QStringLiteral("xcb")), QStringLiteral("offscreen"));
    SetOffscreenGraphics(false);
    EXPECT_EQ(kOffscreenScreenWidth, 1024);
    EXPECT_EQ(kOffscreenScreenHeight, 768);
}

TEST(OffscreenGl, ProfilesAreTheOnesAskedForWithoutADisplay) {
    ASSERT_EQ(std::getenv("DISPLAY"), nullptr) << "registered to run without a display";
    QString reason;
    auto legacy = OffscreenGlContext::Create(GlProfile::Compatibility, &reason);
    ASSERT_NE(legacy, nullptr) << reason.toStdString();
    EXPECT_TRUE(legacy->IsCurrent());
    EXPECT_FALSE(legacy->Platform().isEmpty());
    EXPECT_FALSE(GlText(GL_RENDERER).isEmpty());
    GLint profile = -1;
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_EQ(profile & GL_CONTEXT_CORE_PROFILE_BIT, 0);

    auto core = OffscreenGlContext::Create(GlProfile::Core33, &reason);
    ASSERT_NE(core, nullptr) << reason.toStdString();
    EXPECT_TRUE(core->IsCurrent());
    EXPECT_FALSE(legacy->IsCurrent());
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    EXPECT_GE(major * 10 + minor, 33);
    glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    EXPECT_NE(profile & GL_CONTEXT_CORE_PROFILE_BIT, 0);
    EXPECT_NE(core->ProcAddress("glGenVertexArrays"), nullptr);

    // Each context makes itself current again; done, none is.
    ASSERT_TRUE(legacy->MakeCurrent());
    EXPECT_TRUE(legacy->IsCurrent());
    legacy->DoneCurrent();
    EXPECT_FALSE(legacy->IsCurrent());
    EXPECT_FALSE(core->IsCurrent());
}

TEST(OffscreenGl, FramebufferHoldsWhatIsDrawnAtItsSizeWithDepth) {
    QString reason;
    auto ctx = OffscreenGlContext::Create(GlProfile::Compatibility, &reason);
    ASSERT_NE(ctx, nullptr) << reason.toStdString();
    EXPECT_FALSE(ctx->ResizeFramebuffer(0, 10, 24));
    ASSERT_TRUE(ctx->ResizeFramebuffer(64, 48, 24));
    EXPECT_EQ(ctx->Width(), 64);
    EXPECT_EQ(ctx->Height(), 48);
    EXPECT_NE(ctx->Framebuffer(), 0u);
    GLint bound = 0, depthBits = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    EXPECT_EQ(static_cast<unsigned>(bound), ctx->Framebuffer());
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_EQ(depthBits, 24);

    // A red near quad in front of a green far one, on blue: the picture is the near quad's where they
    // overlap, the background elsewhere.
    glViewport(0, 0, 64, 48);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    auto quad = [](float x0, float x1, float z, float r, float g) {
        glColor3f(r, g, 0);
        glBegin(GL_QUADS);
        glVertex3f(x0, -1, z);
        glVertex3f(x1, -1, z);
        glVertex3f(x1, 1, z);
        glVertex3f(x0, 1, z);
        glEnd();
    };
    quad(-1, 0, -0.5f, 1, 0);
    quad(-1, 0, 0.5f, 0, 1);
    ctx->FinishFrame();
    ctx->Finish();
    std::vector<unsigned char> px(64 * 48 * 4);
    glReadPixels(0, 0, 64, 48, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    const auto at = [&](int x, int y) { return &px[static_cast<std::size_t>(y * 64 + x) * 4]; };
    EXPECT_EQ(at(10, 20)[0], 255);
    EXPECT_EQ(at(10, 20)[1], 0);
    EXPECT_EQ(at(50, 20)[2], 255);
    EXPECT_EQ(at(50, 20)[0], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // A new size is a new, empty buffer of that size.
    ASSERT_TRUE(ctx->ResizeFramebuffer(32, 16, 0));
    EXPECT_EQ(ctx->Width(), 32);
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_EQ(depthBits, 0);
    for (int i = 0; i < 3; ++i)
        ctx->FinishFrame(); // frames in a row wait for one another without piling up
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
} // namespace orv
