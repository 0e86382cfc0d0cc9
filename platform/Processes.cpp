#include "platform/Processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace orv {

namespace {

QByteArray ReadSmallFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return f.read(64 * 1024);
}

// Fields of /proc/<pid>/stat after the command name, which may itself hold spaces and parentheses.
QList<QByteArray> StatFields(const QString& procRoot, std::int64_t pid) {
    const QByteArray stat =
        ReadSmallFile(procRoot + QLatin1Char('/') + QString::number(pid) + QStringLiteral("/stat"));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    return stat.mid(close + 1).trimmed().split(' ');
}

QString ProcessDir(const QString& procRoot, std::int64_t pid) {
    return procRoot + QLatin1Char('/') + QString::number(pid);
}

// The executable file as the kernel names it; empty when we may not read it.
QString ExecutableLink(const QString& procRoot, std::int64_t pid) {
    QString exe = QFile::symLinkTarget(ProcessDir(procRoot, pid) + QStringLiteral("/exe"));
    // A replaced or removed executable still names the process.
    if (exe.endsWith(QLatin1String(" (deleted)")))
        exe.chop(10);
    return exe;
}

// Real user id from /proc/<pid>/status; -1 when unknown.
std::int64_t OwnerOf(const QString& procRoot, std::int64_t pid) {
    const QByteArray status = ReadSmallFile(ProcessDir(procRoot, pid) + QStringLiteral("/status"));
    for (const QByteArray& line : status.split('\n')) {
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> ids = line.mid(4).simplified().split(' ');
        bool ok = false;
        const std::int64_t uid = ids.front().toLongLong(&ok);
        return ok ? uid : -1;
    }
    return -1;
}

QString ExecutableOf(const QString& procRoot, std::int64_t pid) {
    const QString dir = ProcessDir(procRoot, pid);
    if (QString exe = ExecutableLink(procRoot, pid); !exe.isEmpty())
        return exe;
    const QByteArray cmdline = ReadSmallFile(dir + QStringLiteral("/cmdline"));
    const qsizetype end = cmdline.indexOf('\0');
    const QByteArray first = end >= 0 ? cmdline.left(end) : cmdline;
    if (!first.isEmpty())
        return QString::fromLocal8Bit(first);
    return QString::fromLocal8Bit(ReadSmallFile(dir + QStringLiteral("/comm")).trimmed());
}

QString UpperAscii(const QString& s) {
    QString out = s;
    for (QChar& c : out)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return out;
}

} // namespace

bool ProcessAlive(std::int64_t pid, const QString& procRoot) {
    const QList<QByteArray> f = StatFields(procRoot, pid);
    if (f.isEmpty())
        return false;
    const QByteArray& state = f.front();
    return !(state == "Z" || state == "X" || state == "x");
}

std::uint64_t ProcessStartTime(std::int64_t pid, const QString& procRoot) {
    // Field 22 overall; StatFields starts at field 3.
    const QList<QByteArray> f = StatFields(procRoot, pid);
    return f.size() > 19 ? f[19].toULongLong() : 0;
}

std::vector<ProcessEntry> ProcessSnapshot(const QString& procRoot) {
    std::vector<ProcessEntry> out;
    const QStringList names = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& n : names) {
        bool ok = false;
        const std::int64_t pid = n.toLongLong(&ok);
        if (!ok || pid <= 0 || !ProcessAlive(pid, procRoot))
            continue;
        ProcessEntry e;
        e.pid = pid;
        e.exePath = ExecutableOf(procRoot, pid);
        if (!e.exePath.isEmpty())
            out.push_back(e);
    }
    std::sort(out.begin(), out.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return out;
}

bool ProcessNameMatches(const QString& exePath, const QString& name) {
    if (name.isEmpty() || exePath.isEmpty())
        return false;
    const QString path = UpperAscii(exePath);
    const QString wanted = UpperAscii(name);
    if (path == wanted)
        return true;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(slash + 1) == wanted;
}

std::optional<std::int64_t> FindProcessId(const QString& name, std::int64_t preferred,
                                          const QString& procRoot) {
    std::optional<std::int64_t> first;
    for (const ProcessEntry& e : ProcessSnapshot(procRoot)) {
        if (!ProcessNameMatches(e.exePath, name))
            continue;
        if (e.pid == preferred)
            return e.pid;
        if (!first)
            first = e.pid;
    }
    return first;
}

bool IsProcessRunning(const QString& name, const QString& procRoot) {
    for (const ProcessEntry& e : ProcessSnapshot(procRoot))
        if (ProcessNameMatches(e.exePath, name))
            return true;
    return false;
}

int KillProcessesByName(const QString& name) {
    const std::int64_t self = ::getpid();
    int killed = 0;
    for (const ProcessEntry& e : ProcessSnapshot()) {
        if (e.pid == self || !ProcessNameMatches(e.exePath, name))
            continue;
        if (::kill(static_cast<pid_t>(e.pid), SIGKILL) == 0)
            ++killed;
    }
    return killed;
}

QString ResolvedExecutable(const QString& path) {
    const QFileInfo info(path);
    QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    // Gone: its folder may still be reached through links.
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? QDir::cleanPath(info.absoluteFilePath())
                            : folder + QLatin1Char('/') + info.fileName();
}

bool ProcessRunsExecutable(std::int64_t pid, const QString& executable, const QString& procRoot) {
    const QString wanted = ResolvedExecutable(executable);
    return !wanted.isEmpty() && ProcessAlive(pid, procRoot) && ExecutableLink(procRoot, pid) == wanted &&
           OwnerOf(procRoot, pid) == static_cast<std::int64_t>(::getuid());
}

std::vector<std::int64_t> ProcessesOfExecutable(const QString& executable, const QString& procRoot) {
    std::vector<std::int64_t> out;
    const QString wanted = ResolvedExecutable(executable);
    if (wanted.isEmpty())
        return out;
    const std::int64_t self = static_cast<std::int64_t>(::getuid());
    // Only the exe link counts: a command line or a short name can be anyone's.
    for (const ProcessEntry& e : ProcessSnapshot(procRoot))
        if (ExecutableLink(procRoot, e.pid) == wanted && OwnerOf(procRoot, e.pid) == self)
            out.push_back(e.pid);
    return out;
}

bool IsExecutableRunning(const QString& executable, const QString& procRoot) {
    return !ProcessesOfExecutable(executable, procRoot).empty();
}

int KillProcessesOfExecutable(const QString& executable) {
    const std::int64_t self = ::getpid();
    int killed = 0;
    for (const std::int64_t pid : ProcessesOfExecutable(executable)) {
        if (pid != self && ::kill(static_cast<pid_t>(pid), SIGKILL) == 0)
            ++killed;
    }
    return killed;
}

} // namespace orv
