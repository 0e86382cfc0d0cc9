#pragma once
#include "sysinfo/SysSources.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

namespace orv {

// Processor time of the whole machine since boot, in clock ticks (/proc/stat's first line). Busy
// time counts steal: a neighbour on the host takes the processor from us as surely as a local program.
struct MachineTicks {
    std::uint64_t busy = 0;
    std::uint64_t total = 0;
};

// Readers of what may spoil a measurement; everything through SysSources, so fixtures stand in.
MachineTicks ReadMachineTicks(const SysSources& s);
// utime + stime of a process (all its threads), from proc/<pid>/stat; 0 when it is gone.
std::uint64_t ReadProcessTicks(const SysSources& s, const QString& pid);
// The processes whose parent is `pid` (the disk helper and its kind) with their ticks.
QList<QPair<QString, std::uint64_t>> ReadChildrenTicks(const SysSources& s, const QString& pid);

// "ac" when a mains supply is online, "battery" when a battery discharges and no mains supply is
// online, else "unknown" (a desktop whose supplies the kernel does not list).
QString ReadPowerSource(const SysSources& s);

// The distinct values over the processors' cpufreq folders, joined with ", "; empty without cpufreq.
QString ReadGovernors(const SysSources& s);
QString ReadFrequencyDriver(const SysSources& s);
QString ReadEnergyPreferences(const SysSources& s);

// Mean current frequency over the processors in MHz: cpufreq's scaling_cur_freq, else /proc/cpuinfo's
// "cpu MHz"; 0 when neither tells.
double ReadMeanMhz(const SysSources& s);

// Sum of the processors' thermal throttle counters (core and package); 0 where there are none.
std::uint64_t ReadThrottleEvents(const SysSources& s);

// CPUID's hypervisor bit and the hypervisor's signature ("KVMKVMKVM", ...), and what the firmware
// calls the machine (sys_vendor and product_name).
bool ReadHypervisorBit(const SysSources& s);
QString ReadHypervisorSignature(const SysSources& s);
QString ReadSystemProduct(const SysSources& s);

// The mount holding `path`: its source device and file-system type (from proc/self/mountinfo).
struct MountInfo {
    QString device;
    QString fileSystem;
};
MountInfo ReadMountOf(const SysSources& s, const QString& path);

} // namespace orv
