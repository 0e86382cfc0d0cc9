#include "platform/Processes.h"
#include "platform/WindowClass.h"
#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <unistd.h>

namespace orv {
namespace {

void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(Processes, NamesCompareUpperCasedByFileNameOrWholePath) {
    EXPECT_TRUE(ProcessNameMatches(QStringLiteral("/opt/orvanta/hdd"), QStringLiteral("HDD")));
    EXPECT_TRUE(ProcessNameMatches(QStringLiteral("/opt/orvanta/hdd"), QStringLiteral("/OPT/Orvanta/HDD")));
    EXPECT_TRUE(ProcessNameMatches(QStringLiteral("hdd"), QStringLiteral("hdd")));
    EXPECT_FALSE(ProcessNameMatches(QStringLiteral("/opt/orvanta/hddx"), QStringLiteral("hdd")));
    EXPECT_FALSE(ProcessNameMatches(QStringLiteral("/opt/hdd/orvanta"), QStringLiteral("hdd")));
    EXPECT_FALSE(ProcessNameMatches(QStringLiteral("/opt/orvanta/hdd"), QString()));
    // Only ASCII letters are folded.
    EXPECT_FALSE(ProcessNameMatches(QStringLiteral("/x/żółw"), QStringLiteral("ŻÓŁW")));
}

TEST(Processes, SnapshotOfAProcTree) {
    const QString proc = test::MakeTempDir(QStringLiteral("proc"));
    WriteFile(proc + QStringLiteral("/1/stat"), "1 (init) S 0 1 1");
    WriteFile(proc + QStringLiteral("/1/cmdline"), QByteArray("/sbin/init\0splash\0", 18));
    WriteFile(proc + QStringLiteral("/42/stat"), "42 (hdd) Z 1 42 42");
    WriteFile(proc + QStringLiteral("/42/comm"), "hdd\n");
    WriteFile(proc + QStringLiteral("/7/stat"), "7 (odd (name) x) R 1 7 7");
    QFile::link(QStringLiteral("/opt/orvanta/hdd (deleted)"), proc + QStringLiteral("/7/exe"));
    WriteFile(proc + QStringLiteral("/99/stat"), "99 (kworker/0:1) I 2 0 0");
    WriteFile(proc + QStringLiteral("/99/comm"), "kworker/0:1\n");
    WriteFile(proc + QStringLiteral("/self/stat"), "1 (init) S 0 1 1");

    const std::vector<ProcessEntry> s = ProcessSnapshot(proc);
    ASSERT_EQ(s.size(), 3u); // the zombie and the non-numeric entry are left out
    EXPECT_EQ(s[0].pid, 1);
    EXPECT_EQ(s[0].exePath, QStringLiteral("/sbin/init"));
    EXPECT_EQ(s[1].pid, 7);
    EXPECT_EQ(s[1].exePath, QStringLiteral("/opt/orvanta/hdd"));
    EXPECT_EQ(s[2].exePath, QStringLiteral("kworker/0:1"));
    EXPECT_TRUE(IsProcessRunning(QStringLiteral("HDD"), proc));
    EXPECT_EQ(FindProcessId(QStringLiteral("hdd"), -1, proc), 7);
    EXPECT_FALSE(ProcessAlive(42, proc));
    EXPECT_FALSE(IsProcessRunning(QStringLiteral("init.exe"), proc));
}

TEST(Processes, FindsItselfAndPrefersItsOwnId) {
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_EQ(FindProcessId(self, ::getpid()), ::getpid());
    EXPECT_TRUE(IsProcessRunning(QCoreApplication::applicationFilePath()));
    EXPECT_FALSE(FindProcessId(QStringLiteral("no-such-program-here")).has_value());
}

TEST(Processes, KillByName) {
    const QString copy = test::MakeTempDir(QStringLiteral("bin")) + QStringLiteral("/orvsleeper") +
                         QString::number(::getpid());
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copy));
    QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QString name = QFileInfo(copy).fileName();
    QProcess p1, p2;
    p1.start(copy, {QStringLiteral("30")});
    p2.start(copy, {QStringLiteral("30")});
    ASSERT_TRUE(p1.waitForStarted());
    ASSERT_TRUE(p2.waitForStarted());
    EXPECT_TRUE(IsProcessRunning(name.toUpper()));
    EXPECT_EQ(KillProcessesByName(name), 2);
    EXPECT_TRUE(p1.waitForFinished(3000));
    EXPECT_TRUE(p2.waitForFinished(3000));
    EXPECT_FALSE(IsProcessRunning(name));
    EXPECT_EQ(KillProcessesByName(name), 0);
}

QByteArray StatusOf(uid_t uid) {
    return QByteArray("Name:\tx\nUid:\t") + QByteArray::number(uid) + "\t" + QByteArray::number(uid) +
           "\t0\t0\n";
}

// Only the exe link of a process of ours names our executable; names, command lines and other
// users' processes do not.
TEST(ProcessesOfExecutable, AProcTreeWithNamesakes) {
    const QString proc = test::MakeTempDir(QStringLiteral("proc"));
    const QString ours = QStringLiteral("/opt/orvanta-test/orvanta-hdd");
    const auto add = [&](int pid, const char* state, const QString& exe, uid_t uid) {
        const QString dir = proc + QLatin1Char('/') + QString::number(pid);
        WriteFile(dir + QStringLiteral("/stat"),
                  QByteArray::number(pid) + " (orvanta-hdd) " + state + " 1 1 1");
        WriteFile(dir + QStringLiteral("/status"), StatusOf(uid));
        if (!exe.isEmpty())
            QFile::link(exe, dir + QStringLiteral("/exe"));
    };
    add(10, "S", ours, ::getuid());
    add(11, "S", QStringLiteral("/usr/bin/orvanta-hdd"), ::getuid()); // same name, other file
    add(12, "R", ours + QStringLiteral(" (deleted)"), ::getuid());    // rebuilt since it started
    add(13, "S", ours, ::getuid() + 1);                               // another user's
    add(14, "S", QString(), ::getuid());                              // exe not readable
    WriteFile(proc + QStringLiteral("/14/cmdline"), ours.toLocal8Bit() + QByteArray("\0", 1));
    add(15, "Z", ours, ::getuid());                                                // a zombie
    add(16, "S", QStringLiteral("/opt/orvanta-test/orvanta-hdd-old"), ::getuid()); // a longer name

    EXPECT_EQ(ProcessesOfExecutable(ours, proc), (std::vector<std::int64_t>{10, 12}));
    EXPECT_TRUE(IsExecutableRunning(ours, proc));
    EXPECT_TRUE(ProcessRunsExecutable(10, ours, proc));
    EXPECT_TRUE(ProcessRunsExecutable(12, ours, proc));
    for (int other : {11, 13, 14, 15, 16, 99})
        EXPECT_FALSE(ProcessRunsExecutable(other, ours, proc)) << other;
    EXPECT_FALSE(IsExecutableRunning(QStringLiteral("/opt/orvanta-test/hdd"), proc));
    // The old search by name finds the namesake just as well.
    EXPECT_TRUE(IsProcessRunning(QStringLiteral("orvanta-hdd"), proc));
}

TEST(ProcessesOfExecutable, PathsResolveAsTheKernelShowsThem) {
    const QString dir = test::MakeTempDir(QStringLiteral("resolve"));
    const QString real = dir + QStringLiteral("/real/prog");
    WriteFile(real, "x");
    ASSERT_TRUE(QFile::link(dir + QStringLiteral("/real"), dir + QStringLiteral("/via")));
    const QString canonical = QFileInfo(real).canonicalFilePath();
    EXPECT_EQ(ResolvedExecutable(dir + QStringLiteral("/via/prog")), canonical);
    EXPECT_EQ(ResolvedExecutable(dir + QStringLiteral("/via/../via/prog")), canonical);
    // A removed file keeps the resolved folder.
    EXPECT_EQ(ResolvedExecutable(dir + QStringLiteral("/via/gone")),
              QFileInfo(dir + QStringLiteral("/real")).canonicalFilePath() + QStringLiteral("/gone"));
    EXPECT_EQ(ResolvedExecutable(QStringLiteral("/no/such/dir/../prog")), QStringLiteral("/no/such/prog"));
}

// Two copies of one program under the same name: killing one file's processes spares the other's.
TEST(ProcessesOfExecutable, KillSparesANamesakeAndFindsARemovedFile) {
    const QString a = test::MakeTempDir(QStringLiteral("bina")) + QStringLiteral("/orvanta-hdd");
    const QString b = test::MakeTempDir(QStringLiteral("binb")) + QStringLiteral("/orvanta-hdd");
    for (const QString& copy : {a, b}) {
        ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), copy));
        QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    QProcess pa, pb;
    pa.start(a, {QStringLiteral("30")});
    pb.start(b, {QStringLiteral("30")});
    ASSERT_TRUE(pa.waitForStarted());
    ASSERT_TRUE(pb.waitForStarted());
    EXPECT_EQ(ProcessesOfExecutable(a), (std::vector<std::int64_t>{pa.processId()}));
    // Removed while it runs (as a rebuild does): still found by its path.
    ASSERT_TRUE(QFile::remove(a));
    EXPECT_TRUE(IsExecutableRunning(a));
    EXPECT_EQ(KillProcessesOfExecutable(a), 1);
    EXPECT_TRUE(pa.waitForFinished(3000));
    EXPECT_EQ(pb.state(), QProcess::Running);
    EXPECT_TRUE(ProcessAlive(pb.processId()));
    EXPECT_TRUE(IsExecutableRunning(b));
    EXPECT_EQ(KillProcessesOfExecutable(a), 0);
    pb.kill();
    pb.waitForFinished(3000);
}

TEST(WindowClasses, RegistrationIsFoundAndGoesAway) {
    const QString cls = QStringLiteral("Test Class %1").arg(::getpid());
    EXPECT_FALSE(FindWindowByClass(cls).has_value());
    {
        WindowClassRegistration reg(cls);
        ASSERT_TRUE(reg.Ok());
        const std::optional<WindowHandle> w = FindWindowByClass(cls);
        ASSERT_TRUE(w.has_value());
        EXPECT_EQ(w->pid, ::getpid());
        EXPECT_TRUE(WindowExists(*w));
        EXPECT_FALSE(FindWindowByClass(cls + QStringLiteral("x")).has_value());
    }
    EXPECT_FALSE(FindWindowByClass(cls).has_value());
}

TEST(WindowClasses, StaleAnnouncementOfADeadProcessIsIgnored) {
    const QString cls = QStringLiteral("Stale %1").arg(::getpid());
    QString file;
    {
        QProcess child;
        child.start(QStringLiteral("/bin/true"), {});
        ASSERT_TRUE(child.waitForFinished());
        const qint64 deadPid = child.processId() > 0 ? child.processId() : 999999;
        WindowClassRegistration reg(cls);
        const std::optional<WindowHandle> own = FindWindowByClass(cls);
        ASSERT_TRUE(own.has_value());
        file = own->file;
        // Re-label the announcement as the dead child's.
        file.chop(QString::number(::getpid()).size());
        ASSERT_TRUE(QFile::copy(own->file, file + QString::number(deadPid)));
        file += QString::number(deadPid);
    }
    EXPECT_FALSE(FindWindowByClass(cls).has_value());
    EXPECT_FALSE(QFile::exists(file));
}

} // namespace
} // namespace orv
