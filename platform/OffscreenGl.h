#pragma once
// OpenGL without a window system, through EGL: a GPU's render node when there is one, else Mesa's
// surfaceless platform. The context draws into a framebuffer object of its own, which stands in for a
// window's back buffer.
#include <QString>

#include <memory>

namespace orv {

// Whether the graphics stages draw offscreen through EGL instead of in windows; one choice per process,
// made before the stages' windows are created.
void SetOffscreenGraphics(bool on);
bool OffscreenGraphics();

// The graphics stages' name for where they draw: "offscreen" in the offscreen mode, else "X11" or
// "Wayland" for Qt's platform of that name (other platforms keep theirs).
QString DisplayServerName(const QString& qtPlatform);

// The size an offscreen stage takes for a screen it does not have.
inline constexpr int kOffscreenScreenWidth = 1024;
inline constexpr int kOffscreenScreenHeight = 768;

enum class GlProfile {
    Compatibility, // the legacy pipeline, any version
    Core33,        // OpenGL 3.3 core or later
};

class OffscreenGlContext {
public:
    using Function = void (*)();

    // Null, with the reason, when no context of the profile can be made here.
    static std::unique_ptr<OffscreenGlContext> Create(GlProfile profile, QString* reason);
    ~OffscreenGlContext();
    OffscreenGlContext(const OffscreenGlContext&) = delete;
    OffscreenGlContext& operator=(const OffscreenGlContext&) = delete;

    bool MakeCurrent();
    void DoneCurrent();
    bool IsCurrent() const;
    // Any entry point, core ones included.
    Function ProcAddress(const char* name) const;
    // Where the context draws: the render node's file or "Mesa surfaceless".
    QString Platform() const;

    // The framebuffer made anew at this size: 8-bit RGB colour and, when depthBits > 0, a 24-bit depth
    // buffer; bound for drawing and reading. False when it cannot be made.
    bool ResizeFramebuffer(int width, int height, int depthBits);
    unsigned Framebuffer() const;
    int Width() const;
    int Height() const;

    // Ends a frame as a swap would: flushes, then waits until the frame before this one is done, so at
    // most two frames are in flight.
    void FinishFrame();
    // Waits until everything drawn so far is done.
    void Finish();

private:
    struct Impl;
    explicit OffscreenGlContext(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

} // namespace orv
