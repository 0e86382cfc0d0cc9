#include "app/Startup.h"
#include "app/Reporters.h"
#include "core/RunExport.h"
#include "sysinfo/ConditionsMonitor.h"

#include "app/Cli.h"

#include "core/MainModel.h"
#include "core/Scoring.h"
#include "core/Sequencer.h"
#include "graphics2d/Graphics2d.h"
#include "graphics3d/Test3d.h"
#include "hwtests/DiskStage.h"
#include "hwtests/HwTests.h"
#include "online/Account.h"
#include "online/Gateway.h"
#include "online/Online.h"
#include "platform/DesktopServices.h"
#include "platform/MessageBoxes.h"
#include "platform/SingleInstance.h"
#include "platform/Translations.h"
#include "platform/Version.h"
#include "sysinfo/ComputerProfile.h"
#include "sysinfo/Descriptions.h"
#include "ui/MainFrm.h"
#include "ui/SplashFrm.h"
#include "ui/WidgetDesktopServices.h"
#include "ui/WidgetMessageBoxes.h"
#include "workloads/ImageWorkloads.h"
#include "workloads/SevenZip.h"
#include "workloads/Workloads.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

namespace orv {

void InitMainModel(MainModel& m) {
    InstallWorkloads(m);
    InstallHwTests(m);
    InstallOnline(m);
    InstallDescriptions(m);
    ConnectSequencer(m);
    m.SetText(ctl::VersionLbl, QStringLiteral("v.") + ProgramVersionText());
    m.Scores.ResetScores();
    m.ResultsUploaded = false;
    m.RunFinished = false;
    m.CancelRequested = false;
    m.MainMenuState = 0;
    m.LoginButtonHot = false;
    m.ReportButtonsHot = false;
    m.DescriptionHot = false;
    m.LoggedIn = false;
    m.Scores.BoostMode = ReadBoostMode();
    if (m.Scores.BoostMode)
        m.SetVisible(ctl::BriskoBtn, false);
}

bool LoadArchiveEngine(MainModel& m) {
    try {
        CreateMainSevenZip(m);
        return true;
    } catch (const ESevenZipError& e) {
        Boxes().Error(QString::fromStdString(e.what()));
        return false;
    }
}

bool ClaimDataFolder(MainModel& m, std::unique_ptr<SingleInstanceLock>* lock) {
    const QString dir = m.DataDir();
    QDir().mkpath(dir);
    // Two programs on one data folder would delete each other's files mid-measurement.
    *lock = std::make_unique<SingleInstanceLock>(QStringLiteral("orvanta-data"), dir);
    if (!(*lock)->TryAcquire())
        return !(*lock)->HeldElsewhere();
    if (m.Hooks.RemoveTemporaryData)
        m.Hooks.RemoveTemporaryData(m);
    RemoveStaleDiskHelperFiles(dir + QStringLiteral("/hdd"));
    return true;
}

void FormCreate(MainModel& m, TMainFrm& frm) {
    // Screen density: Qt scales the whole window (positions, sizes, fonts) by density / 96 itself.
    frm.ApplyColours();
    m.Hooks.SetBusyCursor = [](bool busy) {
        if (busy)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            while (QApplication::overrideCursor())
                QApplication::restoreOverrideCursor();
    };
    m.ApplyInitialNavigation();
    SetInfoTopic(m, kTopicComputer);
    GetComputerInfo(m);
    InitMainModel(m);
}

void Start1(MainModel& m) {
    if (m.LoggedIn || !m.Hooks.PostPing || !m.Hooks.PostPing(m) || !m.Hooks.PostLoginSilent)
        return;
    const QString id = m.Hooks.PostLoginSilent(m);
    if (id.isEmpty())
        return;
    m.AccountId = id;
    m.LoggedIn = true;
    if (m.Hooks.ZapiszLogin)
        m.Hooks.ZapiszLogin(m);
}

void Start2(MainModel& m) {
    if (m.Hooks.PostPing && m.Hooks.PostPing(m) && m.Hooks.SprawdzWersje)
        m.Hooks.SprawdzWersje(m);
}

void StartOnline(MainModel& m) {
    // Each start-up request is brief: a gateway that never answers holds the window a few seconds at
    // most, not a minute.
    DataPoster& poster = PosterOf(m);
    poster.SetTimeouts(kStartupConnectTimeoutMs, kStartupTotalTimeoutMs);
    Start1(m);
    Start2(m);
    poster.SetTimeouts(DataPoster::kConnectTimeoutMs, DataPoster::kTotalTimeoutMs);
}

void ShowMainWindow(MainModel& m, TMainFrm& frm, QWidget& splash) {
    splash.hide();
    frm.show();
    // The gateway is asked once the window is up, in the same order: silent login, then the version.
    QTimer::singleShot(0, &frm, [&m] { StartOnline(m); });
}

void PrepareApplication(QApplication& app) {
    // No application display name is set: the platform would append it to every window title.
    InstallPolishQtTranslations(app);
}

QByteArray PreferredPlatforms(const PlatformEnvironment& env) {
    if (!env.qpaPlatform.isEmpty() || env.platformOption)
        return {};
    // Qt itself picks Wayland only for some sessions and then without a fallback.
    if (!env.waylandDisplay.isEmpty() || env.sessionType == "wayland")
        return kWaylandFirst;
    return {};
}

bool HasPlatformOption(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (!argv[i])
            continue;
        const QByteArray a(argv[i]);
        if (a == "-platform" || a == "--platform")
            return true;
    }
    return false;
}

QByteArray PinnedWaylandDisplay(const QByteArray& waylandDisplay, const QByteArray& sessionType,
                                const QByteArray& runtimeFolder) {
    // Without a name the client library takes the session's first display.
    const QByteArray name = !waylandDisplay.isEmpty()  ? waylandDisplay
                            : sessionType == "wayland" ? QByteArray("wayland-0")
                                                       : QByteArray();
    if (name.isEmpty() || name.startsWith('/') || runtimeFolder.isEmpty())
        return {};
    const QByteArray path = runtimeFolder + '/' + name;
    return QFileInfo(QFile::decodeName(path)).exists() ? path : QByteArray();
}

void PinWaylandDisplay() {
    const QByteArray pinned = PinnedWaylandDisplay(qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"),
                                                   qgetenv("XDG_RUNTIME_DIR"));
    if (!pinned.isEmpty())
        qputenv("WAYLAND_DISPLAY", pinned);
}

void PreferNativePlatform(int argc, const char* const* argv) {
    PlatformEnvironment env;
    env.qpaPlatform = qgetenv("QT_QPA_PLATFORM");
    env.waylandDisplay = qgetenv("WAYLAND_DISPLAY");
    env.sessionType = qgetenv("XDG_SESSION_TYPE");
    env.platformOption = HasPlatformOption(argc, argv);
    const QByteArray platforms = PreferredPlatforms(env);
    if (!platforms.isEmpty())
        qputenv("QT_QPA_PLATFORM", platforms);
}

int RunGui(int& argc, char** argv) {
    PreferNativePlatform(argc, argv);
    QApplication app(argc, argv);
    PrepareApplication(app);
    // Qt has taken its own options; the 3D framework's switches go to the 3D tests, anything else is
    // not ours.
    QStringList frameworkSwitches;
    for (const QString& a : app.arguments().mid(1)) {
        if (!DXUTIsCommandLineSwitch(a)) {
            std::fprintf(stderr, "orvanta: nieznana opcja: %s\n\n%s", a.toUtf8().constData(),
                         UsageText().toUtf8().constData());
            return 2;
        }
        frameworkSwitches << a;
    }
    DXUTSetCommandLineArguments(frameworkSwitches);
    WidgetMessageBoxes boxes;
    SetMessageBoxes(&boxes);
    WidgetDesktopServices desktop;
    DesktopServicesScope desktopScope(desktop);

    SingleInstanceLock lock(kInstanceName);
    if (!lock.TryAcquire()) {
        QMessageBox box(QMessageBox::NoIcon, kProgramTitle, kAlreadyRunning, QMessageBox::Ok);
        box.exec();
        return 1;
    }

    TSplashFrm splash;
    splash.ShowNow();

    MainModel model;
    TMainFrm frm(model);
    boxes.SetOwner(&frm);
    desktop.SetOwner(&frm);
    FormCreate(model, frm);
    std::unique_ptr<SingleInstanceLock> dataLock;
    if (!ClaimDataFolder(model, &dataLock)) {
        QMessageBox box(QMessageBox::NoIcon, kProgramTitle, kAlreadyRunning, QMessageBox::Ok);
        box.exec();
        return 1;
    }
    if (!LoadArchiveEngine(model))
        return 1;
    splash.SetStep(1);

    model.Gfx2dWindows[0] = CreateTest2dFrm(model, 1);
    splash.SetStep(2);
    model.Gfx2dWindows[1] = CreateTest2dFrm(model, 2);
    splash.SetStep(3);
    splash.SetStep(4);
    QString reason3d;
    const bool can3d = Test3dAvailable(&reason3d);
    if (!can3d)
        model.Gfx3dMissingReason = reason3d;
    for (int i = 0; i < 3; ++i) {
        // The windows exist either way; without a device the stage is skipped with its reason.
        ITestWindow* w = CreateTest3dFrm(model, i + 1);
        model.Gfx3dWindows[static_cast<std::size_t>(i)] = can3d ? w : nullptr;
        splash.SetStep(5 + i);
    }

    splash.SetStep(8);
    splash.SetStep(9);
    // Every finished run of the window is kept in the history with its conditions, as on the command line.
    ConditionsMonitor conditions(model);
    HistoryReporter history;
    StartReporting(model, {&conditions, &history}, [&model, &history](const RunEnd& end, bool) {
        ShowRunNotice(model, end.Completed() ? history.LastId() : 0);
    });
    QObject::connect(&model, &MainModel::runStarted, &conditions,
                     [&conditions, &model] { conditions.Begin(model); });
    ShowMainWindow(model, frm, splash);
    return app.exec();
}

} // namespace orv
