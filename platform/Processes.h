#pragma once
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

// One running process as a snapshot of /proc shows it. exePath is the resolved executable when the
// system lets us read it, otherwise the first command-line word, otherwise the kernel's short name.
struct ProcessEntry {
    std::int64_t pid = 0;
    QString exePath;
};

// Live processes (zombies left out) in ascending id order. procRoot is injectable for tests.
std::vector<ProcessEntry> ProcessSnapshot(const QString& procRoot = QStringLiteral("/proc"));

// Names compare upper-cased (ASCII), against either the file-name part of the path or the whole path.
bool ProcessNameMatches(const QString& exePath, const QString& name);

// First process whose executable matches name; preferred wins when it matches too.
std::optional<std::int64_t> FindProcessId(const QString& name, std::int64_t preferred = -1,
                                          const QString& procRoot = QStringLiteral("/proc"));

bool IsProcessRunning(const QString& name, const QString& procRoot = QStringLiteral("/proc"));

// Kills (SIGKILL) every matching process except this one; returns how many signals were delivered.
// Always the live system: ids from a fixture tree must never be signalled.
int KillProcessesByName(const QString& name);

// The path /proc/<pid>/exe shows for an executable: symbolic links followed; the clean absolute
// path when the file is not there (a removed executable is still named by its old path).
QString ResolvedExecutable(const QString& path);

// Processes of this user that run exactly that executable file, ascending. Names are generic, so
// this is how a program tells its own helper from an unrelated program of the same name. A
// process whose file was replaced or removed since it started still counts.
std::vector<std::int64_t> ProcessesOfExecutable(const QString& executable,
                                                const QString& procRoot = QStringLiteral("/proc"));
bool IsExecutableRunning(const QString& executable, const QString& procRoot = QStringLiteral("/proc"));
bool ProcessRunsExecutable(std::int64_t pid, const QString& executable,
                           const QString& procRoot = QStringLiteral("/proc"));
// Kills (SIGKILL) those processes except this one; returns how many signals were delivered.
int KillProcessesOfExecutable(const QString& executable);

// True while the process exists and is not a zombie.
bool ProcessAlive(std::int64_t pid, const QString& procRoot = QStringLiteral("/proc"));

// Start time of a process in clock ticks since boot (field 22 of /proc/<pid>/stat); 0 when unknown.
std::uint64_t ProcessStartTime(std::int64_t pid, const QString& procRoot = QStringLiteral("/proc"));

} // namespace orv
