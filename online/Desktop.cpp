#include "online/Desktop.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

namespace orv {

namespace {
std::function<void(const QString&)> g_opener;
std::function<void()> g_quit;
} // namespace

void OpenInBrowser(const QString& address) {
    if (address.isEmpty())
        return;
    if (g_opener) {
        g_opener(address);
        return;
    }
    QDesktopServices::openUrl(QUrl(address, QUrl::StrictMode));
}

void QuitProgram() {
    if (g_quit) {
        g_quit();
        return;
    }
    // Queued, so that it also ends a loop that starts only later (the check runs before the main loop).
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, &QCoreApplication::quit);
}

void SetBrowserOpener(std::function<void(const QString&)> opener) {
    g_opener = std::move(opener);
}

void SetQuitAction(std::function<void()> quit) {
    g_quit = std::move(quit);
}

} // namespace orv
