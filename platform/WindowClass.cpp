#include "platform/WindowClass.h"

#include "platform/Processes.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <chrono>
#include <csignal>
#include <unistd.h>

namespace orv {

namespace {

QString RegistryFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/orvanta-windows");
}

// Class names may hold any character; the file name carries them hex-encoded.
QString Prefix(const QString& className) {
    return QString::fromLatin1(className.toUtf8().toHex()) + QLatin1Char('.');
}

} // namespace

WindowClassRegistration::WindowClassRegistration(const QString& className) {
    const QString dir = RegistryFolder();
    QDir().mkpath(dir);
    const std::int64_t pid = ::getpid();
    file_ = dir + QLatin1Char('/') + Prefix(className) + QString::number(pid);
    QFile f(file_);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ok_ = f.write(QByteArray::number(static_cast<qulonglong>(ProcessStartTime(pid)))) > 0;
        f.close();
    }
}

WindowClassRegistration::~WindowClassRegistration() {
    QFile::remove(file_);
}

bool WindowExists(const WindowHandle& w) {
    if (!QFile::exists(w.file) || !ProcessAlive(w.pid))
        return false;
    return w.startTime == 0 || ProcessStartTime(w.pid) == w.startTime;
}

std::optional<WindowHandle> FindWindowByClass(const QString& className) {
    const QString dir = RegistryFolder();
    const QString prefix = Prefix(className);
    for (const QString& name : QDir(dir).entryList({prefix + QLatin1Char('*')}, QDir::Files, QDir::Name)) {
        bool ok = false;
        const std::int64_t pid = name.mid(prefix.size()).toLongLong(&ok);
        if (!ok)
            continue;
        WindowHandle w;
        w.pid = pid;
        w.file = dir + QLatin1Char('/') + name;
        QFile f(w.file);
        if (f.open(QIODevice::ReadOnly))
            w.startTime = f.readAll().trimmed().toULongLong();
        if (WindowExists(w))
            return w;
        QFile::remove(w.file);
    }
    return std::nullopt;
}

bool CloseOrKillWindow(const WindowHandle& w, int timeoutMs) {
    if (!WindowExists(w))
        return true;
    ::kill(static_cast<pid_t>(w.pid), SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!WindowExists(w))
            return true;
        QThread::msleep(20);
    }
    if (!WindowExists(w))
        return true;
    ::kill(static_cast<pid_t>(w.pid), SIGKILL);
    QFile::remove(w.file);
    return false;
}

} // namespace orv
