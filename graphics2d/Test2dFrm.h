#pragma once
#include "core/MainModel.h"

#include <QOpenGLContext>
#include <QRect>
#include <QSurfaceFormat>
#include <QWindow>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orv {

class OffscreenGlContext;

// Work of one test: spheres per frame, frames, facets per sphere.
inline constexpr int kTest2dSpheres = 4000;
inline constexpr int kTest2d2Spheres = 6000;
inline constexpr int kTest2dFrames = 5;
inline constexpr int kSphereSlices = 64;
inline constexpr int kSphereStacks = 64;

// Client area of both windows in their normal state.
inline constexpr int kTest2dWidth = 551;
inline constexpr int kTest2dHeight = 396;

// One entry of the sphere list, seven floats in this order.
struct SphereEntry {
    float x;
    float y;
    float z;
    float radius;
    float red;
    float green;
    float blue;
};
static_assert(sizeof(SphereEntry) == 7 * sizeof(float));

// Refills the list with count entries from the process-wide generator: x, y and z each a/100 - b/100
// for two successive integers below 10000, then radius, red, green and blue as four reals in [0, 1).
void GenerateSpheres(std::vector<SphereEntry>& list, int count);

// Double buffered RGBA 8/8/8, no alpha, 32 depth bits asked for, no stencil, legacy profile.
QSurfaceFormat Test2dSurfaceFormat();

// False (with a reason for the results) when no legacy OpenGL context can be made here.
bool Test2dOpenGlAvailable(QString* reason);

// What both 2D test windows share: a frameless, always-on-top native window with its own legacy GL
// context, the timed five-frame loop and Esc as the cancel key while a test draws. In the offscreen
// mode (OffscreenGraphics()) the window is never shown: an EGL context draws into a framebuffer of
// the size the window would have had.
class TTest2dBase : public QWindow, public ITestWindow {
    Q_OBJECT
public:
    ~TTest2dBase() override;

    void Show() override;
    void Hide() override;
    void StartTest() override;

    // Set-up on showing: a fresh context made current and the test's initial GL state.
    void FormActivate();
    // Viewport and projection for a client area of width x height device pixels.
    void FormResize(int width, int height);

    int Row() const { return row_; }
    // Spheres per frame: the production count divided by MainModel::WorkDivisor.
    int SphereCount() const;
    int FramesDrawn() const { return framesDrawn_; }
    // The window's context; null offscreen.
    QOpenGLContext* Context() const { return context_.get(); }
    // Whether a context exists and is current, in either mode.
    bool ContextCurrent() const;
    // Shown as the window is, or offscreen between Show and Hide.
    bool Shown() const;
    // The size frames are drawn at, in device pixels.
    QSize DrawingSize() const;
    const std::vector<SphereEntry>& Spheres() const { return spheres_; }
    // The geometry of the normal (not maximised) state.
    QRect NormalGeometry() const { return normalGeometry_; }

    // Observers for tests and diagnostics: before a frame is generated, and after it is drawn but
    // before the buffers are swapped (the context is current then).
    std::function<void(int frame)> FrameStarted;
    std::function<void(int frame)> FrameDrawn;

protected:
    TTest2dBase(MainModel& main, int row, int productionSpheres, const QString& caption);

    virtual void GLInit() = 0;
    virtual void BeforeTest() {}
    virtual void DrawFrame() = 0;
    // Pushes, colours, translates, draws and pops every sphere, pumping events after each.
    void DrawSpheres();
    bool MakeCurrent();

    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

    MainModel& main_;

private:
    void RegisterHotKey();
    void UnregisterHotKey();
    void Maximise();
    void Restore();
    // The offscreen framebuffer at the size, with the viewport and projection for it.
    void ResizeOffscreen(QSize size);
    // What the stage records of its surface once the window is maximised.
    GraphicsSurface Surface() const;
    // Pumps events until done() or the time is up.
    template <typename Done> bool WaitFor(Done done, std::uint32_t ms);

    int row_;
    int productionSpheres_;
    QRect normalGeometry_;
    QSize resizedTo_; // size of the last resize event
    std::unique_ptr<QOpenGLContext> context_;
    std::unique_ptr<OffscreenGlContext> offscreen_;
    bool offscreenShown_ = false;
    std::vector<SphereEntry> spheres_;
    int framesDrawn_ = 0;
    bool hotKeyRegistered_ = false;
};

// Test 1: 4000 unlit spheres per frame on a grey background.
class TTest2dFrm final : public TTest2dBase {
    Q_OBJECT
public:
    explicit TTest2dFrm(MainModel& main);

protected:
    void GLInit() override;
    void DrawFrame() override;
};

// Test 2: 6000 lit spheres per frame, blended additively, with the lights switched one frame late.
class TTest2d2Frm final : public TTest2dBase {
    Q_OBJECT
public:
    explicit TTest2d2Frm(MainModel& main);

    // Switches of lights 1, 2 and 3.
    const std::array<bool, 3>& LightSwitches() const { return lightOn_; }

protected:
    void GLInit() override;
    void BeforeTest() override;
    void DrawFrame() override;

private:
    std::array<bool, 3> lightOn_{false, true, false};
};

} // namespace orv
