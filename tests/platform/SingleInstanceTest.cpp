#include "platform/SingleInstance.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <gtest/gtest.h>

using namespace orv;

TEST(SingleInstanceLock, SecondHolderIsRefusedUntilTheFirstGoes) {
    auto first = std::make_unique<SingleInstanceLock>(QStringLiteral("LockTestA"));
    ASSERT_TRUE(first->TryAcquire());
    EXPECT_TRUE(first->TryAcquire()); // asking again keeps it

    // Another process holds it: simulate by a lock file owned by a live process (this one) from a
    // second lock object, which QLockFile treats as held.
    SingleInstanceLock second(QStringLiteral("LockTestA"));
    EXPECT_FALSE(second.TryAcquire());
    first.reset();
    EXPECT_TRUE(second.TryAcquire());
}

TEST(SingleInstanceLock, StaleLockOfADeadProcessDoesNotBlock) {
    // A process that has ended leaves its pid in the lock file.
    QProcess dead;
    dead.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ASSERT_TRUE(dead.waitForFinished());
    const QByteArray pid = dead.readAllStandardOutput().trimmed();
    ASSERT_FALSE(pid.isEmpty());

    SingleInstanceLock probe(QStringLiteral("LockTestB"));
    QFile f(probe.LockPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pid + "\norvanta\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    f.close();

    EXPECT_TRUE(probe.TryAcquire());
}

TEST(SingleInstanceLock, LockThatCannotBeCreatedCountsAsAnotherCopy) {
    // Nobody, root included, can create files in /proc.
    SingleInstanceLock lock(QStringLiteral("LockTestC"), QStringLiteral("/proc/orvanta-nowhere"));
    EXPECT_FALSE(lock.TryAcquire());
}
