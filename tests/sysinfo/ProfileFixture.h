#pragma once
#include "tests/sysinfo/Fixture.h"

namespace orv::test {

// A disk in the fixture's block-device list; removable disks carry the flag.
inline void AddDisk(const SysFixture& f, const QString& name, const QByteArray& model,
                    bool removable = false) {
    const QString base = QStringLiteral("sys/block/") + name;
    f.MakeDir(base + QStringLiteral("/device"));
    if (!model.isEmpty())
        f.Write(base + QStringLiteral("/device/model"), model + "\n");
    f.Write(base + QStringLiteral("/size"), "1953525168\n");
    f.Write(base + QStringLiteral("/removable"), removable ? "1\n" : "0\n");
}

inline void AddPartition(const SysFixture& f, const QString& disk, const QString& name) {
    f.Write(QStringLiteral("sys/block/%1/%2/partition").arg(disk, name), "1\n");
}

inline void WriteMeminfo(const SysFixture& f, std::uint64_t totalKb, std::uint64_t availableKb,
                         std::uint64_t swapTotalKb = 0, std::uint64_t swapFreeKb = 0) {
    f.Write(QStringLiteral("proc/meminfo"),
            QStringLiteral("MemTotal: %1 kB\nMemFree: 1000 kB\nMemAvailable: %2 kB\n"
                           "SwapTotal: %3 kB\nSwapFree: %4 kB\n")
                .arg(totalKb)
                .arg(availableKb)
                .arg(swapTotalKb)
                .arg(swapFreeKb)
                .toLatin1());
}

} // namespace orv::test
