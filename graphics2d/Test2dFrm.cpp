#include "graphics2d/Test2dFrm.h"

#include "core/Random.h"
#include "platform/Clock.h"
#include "platform/OffscreenGl.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScreen>
#include <QThread>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>

namespace orv {

namespace {

// On Wayland the compositor sizes a maximised window and always answers, in its own time; there is no
// window manager to be missing.
bool OnWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

constexpr std::uint32_t kCompositorAnswerMs = 3000;

} // namespace

void GenerateSpheres(std::vector<SphereEntry>& list, int count) {
    list.resize(static_cast<std::size_t>(std::max(count, 0)));
    for (SphereEntry& e : list) {
        for (float* c : {&e.x, &e.y, &e.z}) {
            // Left operand first: the two draws must come in this order.
            const long double a = ProcessRandom::Below(10000) / 100.0L;
            const long double b = ProcessRandom::Below(10000) / 100.0L;
            *c = static_cast<float>(a - b);
        }
        e.radius = static_cast<float>(ProcessRandom::Real());
        e.red = static_cast<float>(ProcessRandom::Real());
        e.green = static_cast<float>(ProcessRandom::Real());
        e.blue = static_cast<float>(ProcessRandom::Real());
    }
}

QSurfaceFormat Test2dSurfaceFormat() {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    f.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    f.setRedBufferSize(8);
    f.setGreenBufferSize(8);
    f.setBlueBufferSize(8);
    f.setAlphaBufferSize(0);
    f.setDepthBufferSize(32);
    f.setStencilBufferSize(0);
    // As the 3D scenes do: the frames' time is the drawing's, not the display's refresh.
    f.setSwapInterval(0);
    return f;
}

bool Test2dOpenGlAvailable(QString* reason) {
    if (OffscreenGraphics()) {
        // The windows are still made (they are the tests' objects), so Qt's GUI must run.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            *reason = QStringLiteral("brak ekranu");
            return false;
        }
        return OffscreenGlContext::Create(GlProfile::Compatibility, reason) != nullptr;
    }
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) || !QGuiApplication::primaryScreen()) {
        *reason = QStringLiteral("brak ekranu");
        return false;
    }
    QOpenGLContext probe;
    probe.setFormat(Test2dSurfaceFormat());
    if (!probe.create() || probe.isOpenGLES() || probe.format().profile() == QSurfaceFormat::CoreProfile) {
        *reason = QStringLiteral("brak obsługi OpenGL");
        return false;
    }
    return true;
}

// ---- Shared window ----

TTest2dBase::TTest2dBase(MainModel& main, int row, int productionSpheres, const QString& caption)
    : main_(main), row_(row), productionSpheres_(productionSpheres) {
    setSurfaceType(QSurface::OpenGLSurface);
    setFormat(Test2dSurfaceFormat());
    // A top-level window without a transient parent gets its own taskbar entry.
    setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setTitle(caption);
    QRect r(0, 0, kTest2dWidth, kTest2dHeight);
    if (QScreen* s = screen())
        r.moveCenter(s->geometry().center());
    normalGeometry_ = r;
    setGeometry(r);
}

TTest2dBase::~TTest2dBase() {
    UnregisterHotKey();
    offscreen_.reset();
    if (context_ && QOpenGLContext::currentContext() == context_.get())
        context_->doneCurrent();
}

int TTest2dBase::SphereCount() const {
    const std::uint32_t divisor = std::max<std::uint32_t>(main_.WorkDivisor, 1);
    return std::max(1, static_cast<int>(static_cast<std::uint32_t>(productionSpheres_) / divisor));
}

template <typename Done> bool TTest2dBase::WaitFor(Done done, std::uint32_t ms) {
    const std::uint32_t start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms)
            return false;
        main_.PumpEvents();
        QThread::msleep(2);
    }
    return true;
}

bool TTest2dBase::ContextCurrent() const {
    if (offscreen_)
        return offscreen_->IsCurrent();
    return context_ && QOpenGLContext::currentContext() == context_.get();
}

bool TTest2dBase::Shown() const {
    return OffscreenGraphics() ? offscreenShown_ : isVisible();
}

QSize TTest2dBase::DrawingSize() const {
    if (OffscreenGraphics())
        return offscreen_ ? QSize(offscreen_->Width(), offscreen_->Height()) : QSize();
    return QSize(qRound(width() * devicePixelRatio()), qRound(height() * devicePixelRatio()));
}

void TTest2dBase::Show() {
    setGeometry(normalGeometry_);
    if (OffscreenGraphics()) {
        offscreenShown_ = true;
        FormActivate();
        return;
    }
    show();
    raise();
    requestActivate();
    // Drawing before the window is on the screen would go nowhere.
    WaitFor([this] { return isExposed(); }, 3000);
    FormActivate();
    // Qt on Wayland applies the sizes the compositor sends an OpenGL window (maximised and back) only
    // once the window has shown a frame: its first one is the cleared background.
    if (OnWayland() && MakeCurrent()) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        context_->swapBuffers(this);
    }
}

void TTest2dBase::Hide() {
    if (OffscreenGraphics()) {
        offscreen_.reset();
        offscreenShown_ = false;
        return;
    }
    unsetCursor();
    if (context_) {
        if (QOpenGLContext::currentContext() == context_.get())
            context_->doneCurrent();
        context_.reset();
    }
    hide();
    // Without a native window a hidden test window cannot hold up the application's quit.
    destroy();
}

void TTest2dBase::FormActivate() {
    if (OffscreenGraphics()) {
        main_.PumpEvents();
        QString reason;
        offscreen_.reset();
        offscreen_ = OffscreenGlContext::Create(GlProfile::Compatibility, &reason);
        if (!offscreen_)
            return;
        GLInit();
        ResizeOffscreen(normalGeometry_.size());
        return;
    }
    main_.PumpEvents();
    requestActivate();
    if (context_ && QOpenGLContext::currentContext() == context_.get())
        context_->doneCurrent();
    context_ = std::make_unique<QOpenGLContext>();
    context_->setFormat(requestedFormat());
    context_->create();
    MakeCurrent();
    GLInit();
    FormResize(qRound(width() * devicePixelRatio()), qRound(height() * devicePixelRatio()));
}

bool TTest2dBase::MakeCurrent() {
    if (OffscreenGraphics())
        return offscreen_ && offscreen_->MakeCurrent();
    if (!context_ || !context_->isValid() || !handle())
        return false;
    if (QOpenGLContext::currentContext() == context_.get() && context_->surface() == this)
        return true;
    return context_->makeCurrent(this);
}

void TTest2dBase::FormResize(int width, int height) {
    if (height == 0)
        height = 1;
    if (!MakeCurrent())
        return;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<GLdouble>(width) / static_cast<GLdouble>(height), 1.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void TTest2dBase::resizeEvent(QResizeEvent* e) {
    QWindow::resizeEvent(e);
    resizedTo_ = e->size();
    FormResize(qRound(e->size().width() * devicePixelRatio()),
               qRound(e->size().height() * devicePixelRatio()));
}

bool TTest2dBase::event(QEvent* e) {
    if (e->type() == QEvent::Close) {
        // The window lives as long as the program; only hiding puts it away.
        e->ignore();
        return true;
    }
    return QWindow::event(e);
}

// Esc cancels while a test draws. A system-wide key grab is not available on every desktop, so the
// key is taken in every window of this program instead; the test windows are on top and focused.
void TTest2dBase::RegisterHotKey() {
    if (hotKeyRegistered_ || !QCoreApplication::instance())
        return;
    QCoreApplication::instance()->installEventFilter(this);
    hotKeyRegistered_ = true;
}

void TTest2dBase::UnregisterHotKey() {
    if (!hotKeyRegistered_)
        return;
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
    hotKeyRegistered_ = false;
}

bool TTest2dBase::eventFilter(QObject* watched, QEvent* e) {
    if (hotKeyRegistered_ && e->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        main_.CancelRequested = true;
        return true;
    }
    return QWindow::eventFilter(watched, e);
}

void TTest2dBase::ResizeOffscreen(QSize size) {
    if (!offscreen_)
        return;
    // The geometry follows, as a window's would: it is what the window would have covered.
    setGeometry(QRect(size == normalGeometry_.size() ? normalGeometry_.topLeft() : QPoint(0, 0), size));
    offscreen_->ResizeFramebuffer(size.width(), size.height(), 24);
    FormResize(size.width(), size.height());
}

GraphicsSurface TTest2dBase::Surface() const {
    GraphicsSurface s;
    const auto text = [](GLenum name) {
        const auto* t = reinterpret_cast<const char*>(glGetString(name));
        return t ? QString::fromLatin1(t) : QString();
    };
    s.renderer = text(GL_RENDERER);
    s.vendor = text(GL_VENDOR);
    s.version = text(GL_VERSION);
    s.displayServer = DisplayServerName(QGuiApplication::platformName());
    s.offscreen = offscreen_ != nullptr;
    const QSize size = DrawingSize();
    s.width = size.width();
    s.height = size.height();
    if (offscreen_) {
        // Nothing waits for a display's refresh.
        s.swapIntervalZero = true;
        s.note =
            QStringLiteral("rozmiar przyjęty w zastępstwie ekranu (EGL: %1)").arg(offscreen_->Platform());
    } else {
        s.swapIntervalZero = context_ && context_->format().swapInterval() == 0;
        s.note = QStringLiteral("okno zmaksymalizowane");
    }
    return s;
}

void TTest2dBase::Maximise() {
    if (OffscreenGraphics()) {
        ResizeOffscreen(QSize(kOffscreenScreenWidth, kOffscreenScreenHeight));
        return;
    }
    const QRect area = screen() ? screen()->availableGeometry() : geometry();
    showMaximized();
    // Without a window manager nobody acts on the request; take the area ourselves then. The size is
    // the one of the last resize event: geometry() changes at once, the event that resets the
    // matrices comes later and must not land in the first frame. A Wayland compositor always answers.
    const auto resized = [this] { return resizedTo_.isValid() && resizedTo_ != normalGeometry_.size(); };
    if (OnWayland())
        WaitFor(resized, kCompositorAnswerMs);
    else if (!WaitFor(resized, 300)) {
        setGeometry(area);
        WaitFor([this, area] { return resizedTo_ == area.size(); }, 1000);
    }
    WaitFor([this] { return isExposed(); }, 1000);
    // Software drivers take the new window size only after a swap; without this, frame 1 would be
    // drawn (and timed) at the old, small size. The second swap shows the cleared full window.
    for (int i = 0; i < 2 && MakeCurrent(); ++i) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        context_->swapBuffers(this);
    }
    FormResize(qRound(width() * devicePixelRatio()), qRound(height() * devicePixelRatio()));
}

void TTest2dBase::Restore() {
    if (OffscreenGraphics()) {
        ResizeOffscreen(normalGeometry_.size());
        return;
    }
    showNormal();
    const auto restored = [this] { return resizedTo_ == normalGeometry_.size(); };
    if (!WaitFor(restored, OnWayland() ? kCompositorAnswerMs : 300)) {
        setGeometry(normalGeometry_);
        WaitFor(restored, 1000);
    }
}

void TTest2dBase::StartTest() {
    if (!context_)
        FormActivate();
    BeforeTest();
    RegisterHotKey();
    Maximise();
    if (MakeCurrent())
        main_.GfxSurface[0] = Surface();

    framesDrawn_ = 0;
    const int spheres = SphereCount();
    const std::uint32_t t0 = GetTickCount();
    for (int frame = 1; frame <= kTest2dFrames; ++frame) {
        if (main_.CancelRequested)
            continue;
        if (FrameStarted)
            FrameStarted(frame);
        GenerateSpheres(spheres_, spheres);
        MakeCurrent();
        DrawFrame();
        ++framesDrawn_;
        MakeCurrent();
        if (FrameDrawn)
            FrameDrawn(frame);
        if (!MakeCurrent())
            continue;
        if (offscreen_)
            offscreen_->FinishFrame();
        else
            context_->swapBuffers(this);
    }
    // A swap on a window waits for its frame; offscreen the last frame is waited for here.
    if (offscreen_)
        offscreen_->Finish();
    const std::uint32_t t = GetTickCount() - t0;

    const auto slot = static_cast<std::size_t>(row_);
    const std::int32_t score = main_.Scores.ComputeScore(
        static_cast<std::int32_t>(t), main_.Scores.ReferenceTable[slot], main_.Scores.FactorTable[slot], 3);
    main_.FinishRow(row_, score, QString::number(t) + QStringLiteral(" ms"), static_cast<double>(t),
                    QStringLiteral("ms"));

    Restore();
    UnregisterHotKey();
    close(); // refused: the window stays until the sequencer hides it
}

void TTest2dBase::DrawSpheres() {
    GLUquadric* quadric = gluNewQuadric();
    for (const SphereEntry& s : spheres_) {
        glPushMatrix();
        glColor3f(s.red, s.green, s.blue);
        glTranslatef(s.x, s.y, s.z);
        gluSphere(quadric, static_cast<GLdouble>(s.radius), kSphereSlices, kSphereStacks);
        glPopMatrix();
        // Keeps the stop button, Esc and the main window alive; a handler may have used another context.
        main_.PumpEvents();
        MakeCurrent();
    }
    gluDeleteQuadric(quadric);
}

// ---- Test 1 ----

TTest2dFrm::TTest2dFrm(MainModel& main) : TTest2dBase(main, 16, kTest2dSpheres, QStringLiteral("Test 2D")) {
    setObjectName(QStringLiteral("Test2dFrm"));
}

void TTest2dFrm::GLInit() {
    glClearColor(0.2f, 0.2f, 0.2f, 0.2f);
    glClearDepth(1.0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_DEPTH_TEST);
}

void TTest2dFrm::DrawFrame() {
    setCursor(Qt::BlankCursor);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -3.5f);
    DrawSpheres();
}

// ---- Test 2 ----

namespace {

struct LightSetting {
    GLfloat ambient[4];
    GLfloat diffuse[4];
    GLfloat position[4];
};

constexpr LightSetting kLights[3] = {
    {{1.0f, 0.1f, 0.1f, 1.0f}, {0.4f, 0.4f, 0.4f, 1.0f}, {0.0f, 0.0f, -5.4f, 1.0f}},
    {{0.0f, 0.5f, 0.0f, 0.5f}, {0.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 2.5f, 0.0f, 1.0f}},
    {{1.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 1.0f, 0.0f, 1.0f}, {0.0f, 2.5f, 0.0f, 1.0f}},
};

constexpr GLenum kLightIds[3] = {GL_LIGHT1, GL_LIGHT2, GL_LIGHT3};

} // namespace

TTest2d2Frm::TTest2d2Frm(MainModel& main)
    : TTest2dBase(main, 17, kTest2d2Spheres, QStringLiteral("Test 2D 2")) {
    setObjectName(QStringLiteral("Test2d2Frm"));
}

void TTest2d2Frm::GLInit() {
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glShadeModel(GL_SMOOTH);
    glClearDepth(1.0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
}

void TTest2d2Frm::BeforeTest() {
    lightOn_ = {false, true, false};
}

void TTest2d2Frm::DrawFrame() {
    setCursor(Qt::BlankCursor);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glTranslatef(0.0f, 0.0f, -3.5f);
    DrawSpheres();

    // Positions go through the current model-view matrix, translation included.
    for (std::size_t i = 0; i < 3; ++i) {
        glLightfv(kLightIds[i], GL_AMBIENT, kLights[i].ambient);
        glLightfv(kLightIds[i], GL_DIFFUSE, kLights[i].diffuse);
        glLightfv(kLightIds[i], GL_POSITION, kLights[i].position);
    }
    // Switched after the spheres, so the change shows in the next frame.
    lightOn_[0] = !lightOn_[0];
    for (std::size_t i = 0; i < 3; ++i) {
        if (lightOn_[i])
            glEnable(kLightIds[i]);
        else
            glDisable(kLightIds[i]);
    }
    glEnable(GL_LIGHTING);
}

} // namespace orv
