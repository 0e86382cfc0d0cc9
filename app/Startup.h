#pragma once
#include "platform/SingleInstance.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QApplication;
class QWidget;

namespace orv {

class MainModel;
class TMainFrm;

inline const QString kInstanceName = QStringLiteral("Orvanta");
inline const QString kAlreadyRunning = QStringLiteral("Orvanta jest już uruchomiony.");

// The parts of the main window's creation that hold in every mode: hooks of the other stages,
// score tables, flags and BoostMode.
void InitMainModel(MainModel& m);
// Locks the data folder for this process and clears what earlier runs left in it. False when another
// program uses the folder; a folder that cannot be locked at all is left to the run to report.
bool ClaimDataFolder(MainModel& m, std::unique_ptr<SingleInstanceLock>* lock);

// Creates the main window's archive object; without the archive engine the message is shown and
// false returned, and start-up ends.
bool LoadArchiveEngine(MainModel& m);

// Creation handler of the main window.
void FormCreate(MainModel& m, TMainFrm& frm);

// The two start-up hooks: silent login and version check against the gateway.
void Start1(MainModel& m);
void Start2(MainModel& m);
// Time-outs of the start-up requests.
inline constexpr int kStartupConnectTimeoutMs = 1500;
inline constexpr int kStartupTotalTimeoutMs = 2500;
// Start1 and Start2 with the start-up time-outs.
void StartOnline(MainModel& m);
// Hides the splash, shows the window and then starts the online part.
void ShowMainWindow(MainModel& m, TMainFrm& frm, QWidget& splash);

// What the windowed program sets on its application before any window: Qt's Polish texts. It sets no
// display name, so every window shows exactly its own title ("Potwierdzenie", "Test 2D" ...).
void PrepareApplication(QApplication& app);

// What the windowed program asks Qt for as its platform: in a Wayland session (a Wayland display
// named, or the session type saying so) the native one first and X11 after it, for a session whose
// compositor turns us away. Empty leaves Qt's own choice: a user's QT_QPA_PLATFORM or -platform, and
// any session without Wayland.
struct PlatformEnvironment {
    QByteArray qpaPlatform;    // QT_QPA_PLATFORM
    QByteArray waylandDisplay; // WAYLAND_DISPLAY
    QByteArray sessionType;    // XDG_SESSION_TYPE
    bool platformOption = false;
};
QByteArray PreferredPlatforms(const PlatformEnvironment& env);
inline constexpr char kWaylandFirst[] = "wayland;xcb";
// True when Qt's own -platform option is among the arguments.
bool HasPlatformOption(int argc, const char* const* argv);
// A Wayland display named relative to the runtime folder, as a full path to its socket: start-up may
// give the program a runtime folder of its own (platform/RuntimeFolder.h), and the socket must still
// be found. Empty when there is nothing to pin (a full path already, or no socket there).
QByteArray PinnedWaylandDisplay(const QByteArray& waylandDisplay, const QByteArray& sessionType,
                                const QByteArray& runtimeFolder);
// Both applied to this process's environment (the disk helper inherits them); before the runtime
// folder is chosen and before the application object exists.
void PinWaylandDisplay();
void PreferNativePlatform(int argc, const char* const* argv);

// Program entry of the windowed program.
int RunGui(int& argc, char** argv);

} // namespace orv
