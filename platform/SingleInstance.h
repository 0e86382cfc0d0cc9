#pragma once
#include <QString>
#include <memory>

class QLockFile;

namespace orv {

// System-wide single-instance lock by name. A lock left behind by a process that no longer runs is
// taken over, so a crash never keeps the program from starting again.
class SingleInstanceLock {
public:
    // The lock file lies in the user's runtime folder unless a folder is given.
    explicit SingleInstanceLock(const QString& name, const QString& folder = {});
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // False when another process holds the lock, or when the lock cannot be created at all.
    bool TryAcquire();
    // After a failed TryAcquire: whether another living process holds it (not merely no lock file).
    bool HeldElsewhere() const;
    QString LockPath() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace orv
