#include "platform/DesktopServices.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace orv {

namespace {

class ConsoleDesktop final : public DesktopServices {
public:
    void OpenUrl(const QString& address) override {
        if (!address.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(address));
    }
    void SetClipboardText(const QString& text) override { clipboard_ = text; }
    QString ChooseSaveFile(const SaveFileRequest&) override { return {}; }
    void Quit() override { QueueQuit(); }

private:
    QString clipboard_;
};

ConsoleDesktop& Console() {
    static ConsoleDesktop desktop;
    return desktop;
}

DesktopServices* g_desktop = nullptr;

} // namespace

void SetDesktopServices(DesktopServices* services) {
    g_desktop = services;
}

DesktopServices& Desktop() {
    return g_desktop ? *g_desktop : Console();
}

void QueueQuit() {
    // Queued, so that it also ends a loop that starts only later (the version check runs before the
    // main loop).
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, &QCoreApplication::quit);
}

} // namespace orv
