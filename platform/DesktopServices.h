#pragma once
#include <QString>
#include <QStringList>

namespace orv {

// What the save dialog asks for.
struct SaveFileRequest {
    QString caption;
    QStringList filters; // as the dialog lists them, "Plik tekstowy (*.txt)"
    QString fileName;    // proposed name
    QString suffix;      // added when the user types none
};

// The desktop's services: the browser, the clipboard, the save dialog and the end of the event loop.
// The windowed program installs the desktop's own (ui/WidgetDesktopServices.h); without one (command
// line) addresses are printed, the clipboard stays inside the program and the dialog is cancelled.
class DesktopServices {
public:
    virtual ~DesktopServices() = default;
    // Opens an address in the default browser; the outcome is not examined.
    virtual void OpenUrl(const QString& address) = 0;
    virtual void SetClipboardText(const QString& text) = 0;
    // The chosen file, empty when the user cancels.
    virtual QString ChooseSaveFile(const SaveFileRequest& request) = 0;
    // Ends the event loop after the current event, also a loop that starts only later.
    virtual void Quit() = 0;
};

// Installs the services used from now on (not owned); nullptr restores the console ones.
void SetDesktopServices(DesktopServices* services);
DesktopServices& Desktop();

// Installs services for the lifetime of this object, then restores the console ones.
class DesktopServicesScope {
public:
    explicit DesktopServicesScope(DesktopServices& services) { SetDesktopServices(&services); }
    ~DesktopServicesScope() { SetDesktopServices(nullptr); }
    DesktopServicesScope(const DesktopServicesScope&) = delete;
    DesktopServicesScope& operator=(const DesktopServicesScope&) = delete;
};

// Ends the event loop of the running application after the current event (queued).
void QueueQuit();

} // namespace orv
