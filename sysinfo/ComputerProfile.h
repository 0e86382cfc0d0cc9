#pragma once
#include "platform/Version.h"
#include "sysinfo/SysSources.h"
#include "sysinfo/SystemVersion.h"

#include <QList>
#include <QPair>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace orv {

class MainModel;

// The six texts that describe the computer: gathered once at start-up, shown on the start page and
// sent with every result upload.
struct ComputerProfile {
    QString CpuInfo;
    QString RamInfo;
    QString HddInfo;
    QString HddInfo2;
    QString GpuInfo;
    QString OsInfo;
};

// Fills the model's profile fields; runs once while the main window is created.
void GetComputerInfo(MainModel& m);
ComputerProfile GatherComputerProfile();

// Disks 0..3 into the two profile lines: HddInfo holds disks 0 and 1 and, when disk 2 exists, a
// trailing ", " that announces it; HddInfo2 holds disks 2 and 3.
void JoinDiskModels(const std::array<QString, 4>& models, QString* hddInfo, QString* hddInfo2);

// Bytes in MiB rounded up, then " MB " (with a trailing space) or " MB".
QString MegabytesUp(std::uint64_t bytes, bool trailingSpace);

// Operating-system name and version text. The registry's release numbers win where they name a
// release; otherwise the system's version record speaks.
struct OsNameAndVersion {
    QString name;
    QString version;
};
OsNameAndVersion OsNameFrom(const QString& majorNumber, const QString& minorNumber,
                            const QString& currentVersion, const TWindowsTypeEx& record);
OsNameAndVersion OperatingSystemName(const TWindowsTypeEx& record);

// The memory figures of the running system:
//   memoryLoad      per cent of physical memory in use, (MemTotal - MemAvailable) / MemTotal;
//   totalPhys       MemTotal;  availPhys  MemAvailable (MemFree on old kernels);
//   totalPageFile   SwapTotal; availPageFile  SwapFree (the swap areas are this system's page file);
//   totalVirtual    the address space a process of this program may use: its address-space limit,
//                   else the user half of the machine's address space;
//   availVirtual    totalVirtual less this process's mapped size (VmSize).
struct MemoryStatus {
    std::uint32_t memoryLoad = 0;
    std::uint64_t totalPhys = 0;
    std::uint64_t availPhys = 0;
    std::uint64_t totalPageFile = 0;
    std::uint64_t availPageFile = 0;
    std::uint64_t totalVirtual = 0;
    std::uint64_t availVirtual = 0;
};
MemoryStatus GlobalMemoryStatus(const SysSources& s);

// The values this program's table takes from the environment, filled from their Linux equivalents:
//   COMPUTERNAME            the host name;
//   USERNAME                USER, else LOGNAME, else the account name of the process's user;
//   NUMBER_OF_PROCESSORS    the online logical processors (sys/devices/system/cpu/online);
//   PROCESSOR_ARCHITECTURE  the machine name ("x86_64", "aarch64");
//   PROCESSOR_IDENTIFIER    the first processor's identifier and vendor
//                           ("Intel64 Family 6 Model 158 Stepping 10, GenuineIntel").
// A value the system does not know stays empty.
struct SystemEnvironment {
    QString computerName;
    QString userName;
    QString numberOfProcessors;
    QString processorArchitecture;
    QString processorIdentifier;
};
SystemEnvironment ReadSystemEnvironment(const SysSources& s);

// Mounted local file systems on fixed disks stand where drive letters stand on other systems: one
// entry per file system (a file system mounted several times is listed under its shortest mount
// point), in mount-point order. Only block devices count as local; network shares, pseudo file
// systems, loop images and removable disks are left out.
struct DiskSpace {
    std::uint64_t total = 0;
    std::uint64_t free = 0; // available to this program's user
};
struct FixedVolume {
    QString mountPoint;
    DiskSpace space;
};
using DiskSpaceFn = std::function<std::optional<DiskSpace>(const QString& mountPoint)>;
std::optional<DiskSpace> StatDiskSpace(const QString& mountPoint);
// Volumes whose size is 0 or cannot be read are not listed.
QList<FixedVolume> FixedVolumes(const SysSources& s, const DiskSpaceFn& space = StatDiskSpace);

// Boot time (days since 30 December 1899, local) in the user's short date and long time formats; the
// time is left out at exactly midnight. Empty unless the time lies more than ten days past that epoch.
QString BootTimeText(double days);

// Rows of the system table: caption, value.
using TableRows = QList<QPair<QString, QString>>;

// Where ZbadajSystem takes what the other readers do not give; tests replace the slow or
// machine-dependent parts.
struct SystemTableSources {
    std::function<double()> cpuMhz = MeasureCpuMhz;
    DiskSpaceFn diskSpace = StatDiskSpace;
    std::function<QString()> programVersion = ProgramVersionText;
};
TableRows ZbadajSystemRows(const SystemTableSources& src = {});

// Copy: the selected block, columns joined by a tab, each row followed by CR LF. Rows and columns
// are clamped to the table.
QString SelectionText(const TableRows& rows, int top, int left, int bottom, int right);
// Save: "caption: value" per row, each followed by CR LF, in the system's encoding.
QByteArray ReportBytes(const TableRows& rows);

} // namespace orv
