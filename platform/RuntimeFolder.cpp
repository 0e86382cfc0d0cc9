#include "platform/RuntimeFolder.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace orv {

namespace {

enum class Fit { Private, OursButOpen, Unfit };

Fit Check(const QByteArray& path) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != ::geteuid())
        return Fit::Unfit;
    return (st.st_mode & 0777) == 0700 ? Fit::Private : Fit::OursButOpen;
}

QString UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::geteuid());
}

} // namespace

QString EnsureRuntimeFolder() {
    const QByteArray current = qgetenv("XDG_RUNTIME_DIR");
    if (Check(current) == Fit::Private)
        return QFile::decodeName(current);
    QByteArray chosen = "/run/user/" + QByteArray::number(::geteuid());
    if (Check(chosen) != Fit::Private) {
        chosen = QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-") + UserName());
        if (::mkdir(chosen.constData(), 0700) != 0 && Check(chosen) == Fit::OursButOpen)
            ::chmod(chosen.constData(), 0700);
        if (Check(chosen) != Fit::Private) {
            QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/runtime-") +
                                                   UserName() + QStringLiteral("-XXXXXX"));
            chosen = ::mkdtemp(pattern.data()) ? pattern : QByteArray();
        }
    }
    if (chosen.isEmpty())
        return {};
    qputenv("XDG_RUNTIME_DIR", chosen);
    return QFile::decodeName(chosen);
}

} // namespace orv
