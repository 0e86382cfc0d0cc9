#pragma once
#include <QList>
#include <QPair>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace orv {

// Where the system-information readers look. Everything comes from files under root (proc, sys,
// etc, the PCI name list) plus the processor's CPUID, so tests can point the readers at a fixture tree.
struct SysSources {
    QString root = QStringLiteral("/");
    // CPUID leaf → eax, ebx, ecx, edx; nullopt where the processor has no CPUID.
    std::function<std::optional<std::array<std::uint32_t, 4>>(std::uint32_t leaf)> cpuid;

    bool Live() const { return root == QLatin1String("/"); }
    QString Path(const QString& relative) const;
    // Trimmed contents of a small file; nullopt when it cannot be read.
    std::optional<QString> Read(const QString& relative) const;
};

// The sources in use; the real system unless a test has put fixtures in place.
const SysSources& CurrentSysSources();
std::optional<std::array<std::uint32_t, 4>> NativeCpuid(std::uint32_t leaf);

// Replaces the sources for its lifetime (tests).
class ScopedSysSources {
public:
    explicit ScopedSysSources(SysSources sources);
    ~ScopedSysSources();
    ScopedSysSources(const ScopedSysSources&) = delete;
    ScopedSysSources& operator=(const ScopedSysSources&) = delete;

private:
    SysSources previous_;
};

// Key/value lines such as /etc/os-release (quotes removed) or /proc/meminfo ("MemTotal: 1 kB").
QString OsReleaseValue(const SysSources& s, const QString& key);
std::optional<std::uint64_t> MeminfoKb(const SysSources& s, const QString& key);

// Kernel release ("6.1.0-18-amd64"), its first three numbers, and the machine name ("x86_64").
QString KernelRelease(const SysSources& s);
std::array<int, 3> KernelNumbers(const SysSources& s);
QString MachineName(const SysSources& s);

// /proc/cpuinfo as blocks of key → value, one per logical processor.
struct CpuInfoBlock {
    QList<QPair<QString, QString>> fields;
    QString Value(const QString& key) const;
};
QList<CpuInfoBlock> ReadCpuInfo(const SysSources& s);

} // namespace orv
