#pragma once
// The three 3D test windows. Each runs its scene through the framework on a full-screen device
// window, samples the frame rate on the scene's measuring thread and turns the average into its row.
#include "core/MainModel.h"
#include "graphics3d/scenes/Scene.h"

#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace orv {

inline constexpr int kFinishedTimerMs = 10000;
// Outer size 443 x 343 with the usual frame.
inline constexpr int kTest3dClientWidth = 435;
inline constexpr int kTest3dClientHeight = 315;
inline constexpr int kTest3dBackBufferWidth = 1024;
inline constexpr int kTest3dBackBufferHeight = 768;

class TTest3dBase;

// The full-screen surface the framework draws on: Escape cancels, a close request leaves full screen
// and closes the test window; the pointer is hidden over it.
class TDeviceWindow final : public QWindow {
    Q_OBJECT
public:
    explicit TDeviceWindow(TTest3dBase& owner);

protected:
    void keyReleaseEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    TTest3dBase& owner_;
};

class TTest3dBase : public QWindow, public ITestWindow {
    Q_OBJECT
public:
    ~TTest3dBase() override;

    void Show() override;
    void Hide() override;
    void StartTest() override;
    void StopTest();
    void FinishedTimerTimer();
    void OnToggleFullscreen();

    int Row() const { return row_; }
    // Null while the scene of this window is not part of the program.
    const TSceneEntryPoints* Scene() const { return scene_; }
    QTimer& FinishedTimer() { return finishedTimer_; }
    QWindow* DisplayPanel() const { return displayPanel_; }
    TDeviceWindow* DeviceWindow() const { return deviceWindow_.data(); }
    bool Running() const { return running_; }
    // The class name the device window is registered under.
    QString DeviceWindowClass() const { return deviceClass_; }

    // Device window events.
    void DeviceWindowEscape();
    void DeviceWindowClose();

protected:
    TTest3dBase(MainModel& main, int index, const QString& caption, const QString& deviceClass,
                QPoint position, const TSceneEntryPoints& scene);
    bool event(QEvent* e) override;

private:
    MainModel& main_;
    int index_;
    int row_;
    QString deviceClass_;
    QPoint position_;
    const TSceneEntryPoints* scene_;
    QWindow* displayPanel_ = nullptr;
    QTimer finishedTimer_;
    QPointer<TDeviceWindow> deviceWindow_;
    bool running_ = false;
};

// Row 18: the skinned-mesh scene.
class TTest3dFrm final : public TTest3dBase {
    Q_OBJECT
public:
    explicit TTest3dFrm(MainModel& main);
};

// Row 19: the shadow-map scene.
class TTest3d2Frm final : public TTest3dBase {
    Q_OBJECT
public:
    explicit TTest3d2Frm(MainModel& main);
};

// Row 20: the shadow-volume scene.
class TTest3d3Frm final : public TTest3dBase {
    Q_OBJECT
public:
    explicit TTest3d3Frm(MainModel& main);
};

// False (with a reason for the results) when no OpenGL 3.3 core device can be made here.
bool Test3dAvailable(QString* reason);

// The window of test 1, 2 or 3.
ITestWindow* CreateTest3dFrm(MainModel& main, int which);

} // namespace orv
