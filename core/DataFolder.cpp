#include "core/DataFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orv {

namespace {
bool Writable(const QString& dir) {
    QFileInfo info(dir);
    return info.isDir() && info.isWritable();
}
} // namespace

QString DataFolder(const QString& exeDir) {
    const QString forced = qEnvironmentVariable("ORVANTA_DATA_DIR");
    if (!forced.isEmpty())
        return QDir::cleanPath(forced);
    QString beside = QDir::cleanPath(exeDir + QStringLiteral("/data"));
    if (Writable(beside) || (!QFileInfo::exists(beside) && Writable(exeDir)))
        return beside;
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/orvanta/data"));
}

} // namespace orv
