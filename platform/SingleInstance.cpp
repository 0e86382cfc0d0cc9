#include "platform/SingleInstance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace orv {

namespace {
QString LockFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}
} // namespace

SingleInstanceLock::SingleInstanceLock(const QString& name, const QString& folder)
    : path_((folder.isEmpty() ? LockFolder() : folder) + QLatin1Char('/') + name + QStringLiteral(".lock")),
      lock_(new QLockFile(path_)) {
    // Only a dead owner makes the lock stale; a long-running copy keeps it however old it is.
    lock_->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::TryAcquire() {
    if (lock_->isLocked())
        return true;
    if (lock_->tryLock(0))
        return true;
    if (lock_->error() == QLockFile::LockFailedError) {
        // QLockFile already removes locks of dead processes; a lock whose owner cannot be read is
        // given one more chance through an explicit check.
        qint64 pid = 0;
        QString host, app;
        if (!lock_->getLockInfo(&pid, &host, &app) && lock_->removeStaleLockFile())
            return lock_->tryLock(0);
    }
    return false;
}

bool SingleInstanceLock::HeldElsewhere() const {
    return !lock_->isLocked() && lock_->error() == QLockFile::LockFailedError;
}

} // namespace orv
