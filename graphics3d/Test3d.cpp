#include "graphics3d/Test3d.h"

#include "core/Sequencer.h"
#include "graphics3d/framework/GlDevice.h"
#include "graphics3d/framework/GlDirect3D.h"
#include "graphics3d/scenes/RenderUnit.h"
#include "graphics3d/scenes/RenderUnit2.h"
#include "graphics3d/scenes/RenderUnit3.h"
#include "platform/OffscreenGl.h"

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <cmath>

namespace orv {

namespace {

// A Wayland compositor places every window itself; a client cannot set where.
bool CompositorPlacesWindows() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

constexpr qint64 kExposeWaitMs = 3000;

// How the device that was just made draws; unknown (empty) on a back end other than OpenGL.
GraphicsSurface DeviceSurface(const QWindow& deviceWindow) {
    GraphicsSurface s;
    auto* device = dynamic_cast<GlDevice*>(DXUTGetD3DDevice());
    if (!device)
        return s;
    const GlDriverInfo& d = GlDriver();
    s.renderer = d.renderer;
    s.vendor = d.vendor;
    s.version = d.version;
    s.displayServer = DisplayServerName(QGuiApplication::platformName());
    s.offscreen = device->Offscreen();
    s.swapIntervalZero = device->SwapIntervalZero();
    const DXUTDeviceSettings settings = DXUTGetDeviceSettings();
    s.width = static_cast<int>(settings.pp.BackBufferWidth);
    s.height = static_cast<int>(settings.pp.BackBufferHeight);
    if (s.offscreen)
        s.note = QStringLiteral("EGL: %1, obraz kopiowany do bufora %2 × %3")
                     .arg(device->OffscreenPlatform())
                     .arg(kOffscreenScreenWidth)
                     .arg(kOffscreenScreenHeight);
    else
        s.note = QStringLiteral("skalowany na okno %1 × %2")
                     .arg(qRound(deviceWindow.width() * deviceWindow.devicePixelRatio()))
                     .arg(qRound(deviceWindow.height() * deviceWindow.devicePixelRatio()));
    return s;
}

} // namespace

// ---- Device window ----

TDeviceWindow::TDeviceWindow(TTest3dBase& owner) : owner_(owner) {
    setObjectName(owner.DeviceWindowClass());
    setTitle(QString());
    setTransientParent(&owner);
    setCursor(Qt::BlankCursor);
}

void TDeviceWindow::keyReleaseEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape)
        owner_.DeviceWindowEscape();
    QWindow::keyReleaseEvent(e);
}

void TDeviceWindow::closeEvent(QCloseEvent* e) {
    owner_.DeviceWindowClose();
    // The window goes when its test stops; the framework may still hold it until then.
    e->ignore();
    hide();
}

// ---- Test window ----

TTest3dBase::TTest3dBase(MainModel& main, int index, const QString& caption, const QString& deviceClass,
                         QPoint position, const TSceneEntryPoints& scene)
    : main_(main), index_(index), row_(18 + index), deviceClass_(deviceClass), position_(position),
      scene_(&scene) {
    setTitle(caption);
    setFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    resize(kTest3dClientWidth, kTest3dClientHeight);
    if (!CompositorPlacesWindows())
        setFramePosition(position_);
    displayPanel_ = new QWindow(this);
    displayPanel_->setObjectName(QStringLiteral("DisplayPanel"));
    displayPanel_->setGeometry(0, 0, kTest3dClientWidth, kTest3dClientHeight);
    finishedTimer_.setInterval(kFinishedTimerMs);
    QObject::connect(&finishedTimer_, &QTimer::timeout, this, [this] { FinishedTimerTimer(); });
    // Ticking from creation on: the first run keeps this phase.
    finishedTimer_.start();
}

TTest3dBase::~TTest3dBase() {
    if (deviceWindow_)
        delete deviceWindow_.data();
}

bool TTest3dBase::event(QEvent* e) {
    if (e->type() == QEvent::Close) {
        // Closing only hides: the window lives as long as the program.
        e->ignore();
        hide();
        return true;
    }
    return QWindow::event(e);
}

void TTest3dBase::Show() {
    resize(kTest3dClientWidth, kTest3dClientHeight);
    if (!CompositorPlacesWindows())
        setFramePosition(position_);
    show();
}

void TTest3dBase::Hide() {
    hide();
}

void TTest3dBase::StartTest() {
    running_ = true;
    // 1-2: the device window covers the screen; the framework draws its 1024 x 768 back buffer on it.
    auto* dw = new TDeviceWindow(*this);
    // Offscreen the platform's made-up screen is not one the test would have had.
    const QRect screenArea = screen() && !OffscreenGraphics()
                                 ? screen()->geometry()
                                 : QRect(0, 0, kOffscreenScreenWidth, kOffscreenScreenHeight);
    dw->setGeometry(0, 0, screenArea.width(), screenArea.height());
    deviceWindow_ = dw;
    DXUTSetPaused(false, false);
    if (scene_->Prepare)
        scene_->Prepare();
    scene_->Measurement->Zero();
    // Enabling a running timer keeps its phase; after a stop it starts a new period.
    if (!finishedTimer_.isActive())
        finishedTimer_.start();
    DXUTSetCallbackDeviceCreated(scene_->DeviceCreated);
    DXUTSetCallbackDeviceReset(scene_->DeviceReset);
    DXUTSetCallbackDeviceLost(scene_->DeviceLost);
    DXUTSetCallbackDeviceDestroyed(scene_->DeviceDestroyed);
    DXUTSetCallbackRenderFrame(scene_->RenderFrame);
    DXUTSetCallbackUpdateFrame(scene_->UpdateFrame);
    DXUTSetCursorBehaviour(true, true);
    scene_->Setup();
    DXUTInitialize(true, true, false, true);
    DXUTSetWindow(dw, dw, dw, false);
    DXUTSetupDevice(0, false, kTest3dBackBufferWidth, kTest3dBackBufferHeight, scene_->AcceptDevice,
                    scene_->AdjustDeviceSettings, nullptr);
    // A Wayland surface takes frames only once the compositor has configured it; the framework
    // draws from its first loop pass on, shown or not.
    if (CompositorPlacesWindows()) {
        QElapsedTimer shown;
        shown.start();
        while (dw->isVisible() && !dw->isExposed() && shown.elapsed() < kExposeWaitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        // The full-screen state the device set before the window was shown does not always reach
        // the compositor (Qt 6.4 passes it on only when it knows the window's output by then).
        if (!DXUTIsWindowed() && !dw->windowStates().testFlag(Qt::WindowFullScreen))
            dw->showFullScreen();
    }
    const GraphicsSurface surface = DeviceSurface(*dw);
    if (surface.Known())
        main_.GfxSurface[1] = surface;
    if (*scene_->Accepted)
        DXUTMainLoop(nullptr); // at once when no device came: the timer ends the test then
    else
        StopTest();
}

void TTest3dBase::FinishedTimerTimer() {
    if (!scene_->Measurement->Done())
        return;
    finishedTimer_.stop();
    StopTest();
}

void TTest3dBase::StopTest() {
    if (!running_)
        return;
    running_ = false;
    finishedTimer_.stop();
    // The measuring thread ends before the record is read and before the framework goes: one reading
    // serves score and text, and no sample can reach a freed framework.
    scene_->Measurement->Stop();
    const double sum = scene_->Measurement->Sum();
    const auto fps = static_cast<std::int32_t>(std::floor(sum / 10.0));
    const auto slot = static_cast<std::size_t>(row_);
    const std::int32_t score =
        main_.Scores.ComputeRateScore(fps, main_.Scores.FactorTable[slot], main_.Scores.ReferenceTable[slot]);
    main_.FinishRow(row_, score, QString::number(fps) + QStringLiteral(" fps"), fps, QStringLiteral("fps"));
    DXUTFreeState();
    scene_->Release();
    if (deviceWindow_) {
        deviceWindow_->hide();
        deviceWindow_->deleteLater();
        deviceWindow_.clear();
    }
    DXUTSetPaused(true, true);
    Continue3dChain(main_, index_ + 1);
}

void TTest3dBase::OnToggleFullscreen() {
    DXUTSwitchFullScreen();
}

void TTest3dBase::DeviceWindowEscape() {
    main_.CancelRequested = true;
    StopTest();
}

void TTest3dBase::DeviceWindowClose() {
    OnToggleFullscreen();
    hide();
}

// ---- The three windows ----

TTest3dFrm::TTest3dFrm(MainModel& main)
    : TTest3dBase(main, 0, QStringLiteral("Test 3D 1"), QStringLiteral("Fullscreen"), QPoint(923, 286),
                  RenderUnit::Scene()) {
    setObjectName(QStringLiteral("Test3dFrm"));
}

TTest3d2Frm::TTest3d2Frm(MainModel& main)
    : TTest3dBase(main, 1, QStringLiteral("Test 3D 2"), QStringLiteral("Fullscreen2"), QPoint(923, 289),
                  RenderUnit2::Scene()) {
    setObjectName(QStringLiteral("Test3d2Frm"));
}

TTest3d3Frm::TTest3d3Frm(MainModel& main)
    : TTest3dBase(main, 2, QStringLiteral("Test 3D 3"), QStringLiteral("Fullscreen3"), QPoint(751, 333),
                  RenderUnit3::Scene()) {
    setObjectName(QStringLiteral("Test3d3Frm"));
}

bool Test3dAvailable(QString* reason) {
    // Offscreen the windows are only the framework's handles: any platform that makes them will do.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ||
        (!OffscreenGraphics() && !QGuiApplication::primaryScreen())) {
        *reason = QStringLiteral("brak ekranu");
        return false;
    }
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) {
        *reason = QStringLiteral("brak GL 3.3");
        // Offscreen the context's own failure says more (no EGL at all, say).
        if (OffscreenGraphics())
            OffscreenGlContext::Create(GlProfile::Core33, reason);
        return false;
    }
    d3d->Release();
    return true;
}

ITestWindow* CreateTest3dFrm(MainModel& main, int which) {
    switch (which) {
    case 1:
        return new TTest3dFrm(main);
    case 2:
        return new TTest3d2Frm(main);
    default:
        return new TTest3d3Frm(main);
    }
}

} // namespace orv
