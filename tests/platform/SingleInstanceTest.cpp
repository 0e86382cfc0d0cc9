#include "platform/SingleInstance.h"
#include "platform/RuntimeFolder.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {

QStringList g_warnings;

void Capture(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg)
        g_warnings << text;
}

bool PrivateFolderOfOurs(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

} // namespace

TEST(RuntimeFolder, APrivateFolderIsChosenBeforeQtWouldWarn) {
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    const QString tmp = test::MakeTempDir(QStringLiteral("tmp"));
    qputenv("TMPDIR", QFile::encodeName(tmp));

    // A private folder named by the variable stays.
    const QString mine = test::MakeTempDir(QStringLiteral("mine"));
    ASSERT_EQ(::chmod(QFile::encodeName(mine).constData(), 0700), 0);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(mine));
    EXPECT_EQ(EnsureRuntimeFolder(), mine);

    // An open folder or none: a private one of ours, which Qt then takes without a word.
    const QString open = test::MakeTempDir(QStringLiteral("open"));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    for (const QByteArray& value : {QFile::encodeName(open), QByteArray()}) {
        if (value.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", value);
        const QString chosen = EnsureRuntimeFolder();
        EXPECT_NE(chosen, open);
        EXPECT_TRUE(PrivateFolderOfOurs(chosen)) << chosen.toStdString();
        EXPECT_EQ(qEnvironmentVariable("XDG_RUNTIME_DIR"), chosen);
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(Capture);
        EXPECT_EQ(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), chosen);
        qInstallMessageHandler(previous);
        EXPECT_TRUE(g_warnings.isEmpty()) << g_warnings.join(QLatin1Char('\n')).toStdString();
    }

    // Without a session folder: <temp>/runtime-<user>, and never through a link someone planted there.
    const QString session = QStringLiteral("/run/user/") + QString::number(::geteuid());
    if (!PrivateFolderOfOurs(session)) {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString chosen = EnsureRuntimeFolder();
        EXPECT_TRUE(chosen.startsWith(tmp + QStringLiteral("/runtime-"))) << chosen.toStdString();
        ASSERT_TRUE(QDir(chosen).removeRecursively());
        const QString elsewhere = test::MakeTempDir(QStringLiteral("elsewhere"));
        ASSERT_TRUE(QFile::link(elsewhere, chosen));
        qunsetenv("XDG_RUNTIME_DIR");
        const QString second = EnsureRuntimeFolder();
        EXPECT_NE(second, chosen);
        EXPECT_TRUE(PrivateFolderOfOurs(second));
        EXPECT_EQ(QFileInfo(elsewhere).permissions(),
                  QFileInfo(test::MakeTempDir(QStringLiteral("ref"))).permissions());
    }
    qputenv("XDG_RUNTIME_DIR", saved);
    qputenv("TMPDIR", savedTmp);
}
