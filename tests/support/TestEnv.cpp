#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

namespace orv::test {

namespace {
std::unique_ptr<QTemporaryDir> g_root;
std::atomic<int> g_counter{0};
} // namespace

void IsolateUserFolders() {
    g_root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/orvanta-test-XXXXXX"));
    const QString root = g_root->path();
    for (const char* sub : {"config", "runtime", "tmp", "data"})
        QDir(root).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(root + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + QStringLiteral("/runtime")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toLocal8Bit());
}

QString MakeTempDir(const QString& tag) {
    const QString dir = g_root->path() + QStringLiteral("/tmp/") + tag + QString::number(g_counter++);
    QDir().mkpath(dir);
    return dir;
}

QString BinDir() {
    const QString dir = qEnvironmentVariable("ORVANTA_BIN_DIR");
    // Test programs land in build/tests, the program in build/bin.
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../bin") : dir;
}

} // namespace orv::test
