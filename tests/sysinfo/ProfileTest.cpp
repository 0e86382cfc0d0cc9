// The computer profile: disk lines, memory text, processor and adapter names and the system's name.
#include "core/MainModel.h"
#include "sysinfo/ComputerProfile.h"
#include "sysinfo/RegistrySources.h"
#include "tests/sysinfo/ProfileFixture.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

using test::AddDisk;
using test::SysFixture;

struct Disks {
    QString hdd;
    QString hdd2;
};
Disks Join(const QString& m0, const QString& m1, const QString& m2, const QString& m3) {
    Disks d;
    JoinDiskModels({m0, m1, m2, m3}, &d.hdd, &d.hdd2);
    return d;
}

TEST(ProfileDisks, SeparatorRulesForOneToFourDisks) {
    Disks d = Join("A", "", "", "");
    EXPECT_EQ(d.hdd, "A");
    EXPECT_EQ(d.hdd2, "");
    d = Join("A", "B", "", "");
    EXPECT_EQ(d.hdd, "A, B");
    EXPECT_EQ(d.hdd2, "");
    // The third disk is announced on the first line and named on the second.
    d = Join("A", "B", "C", "");
    EXPECT_EQ(d.hdd, "A, B, ");
    EXPECT_EQ(d.hdd2, "C");
    d = Join("A", "B", "C", "D");
    EXPECT_EQ(d.hdd, "A, B, ");
    EXPECT_EQ(d.hdd2, "C, D");
    // A gap at disk 1.
    d = Join("A", "", "C", "");
    EXPECT_EQ(d.hdd, "A, ");
    EXPECT_EQ(d.hdd2, "C");
    // Only disk 3: the second line starts with the separator.
    d = Join("A", "", "", "D");
    EXPECT_EQ(d.hdd, "A");
    EXPECT_EQ(d.hdd2, ", D");
}

TEST(ProfileMemory, MegabytesRoundUpAndKeepTheirSpace) {
    EXPECT_EQ(MegabytesUp(16777216ull * 1024, true), QStringLiteral("16384 MB "));
    EXPECT_EQ(MegabytesUp(16777217ull * 1024, true), QStringLiteral("16385 MB "));
    EXPECT_EQ(MegabytesUp(1, false), QStringLiteral("1 MB"));
    EXPECT_EQ(MegabytesUp(0, true), QStringLiteral("0 MB "));
    // Beyond 32 bits of mebibytes' worth of bytes.
    EXPECT_EQ(MegabytesUp(std::uint64_t{1} << 47, false), QStringLiteral("134217728 MB"));
}

TEST(ProfileOsName, RegistryReleaseNumbersWin) {
    TWindowsTypeEx record;
    record.name = QStringLiteral("Debian  GNU/Linux   12 (bookworm)");
    record.version = QStringLiteral("6.1");
    OsNameAndVersion os = OsNameFrom(QStringLiteral("10"), QStringLiteral("0"), kNoData, record);
    EXPECT_EQ(os.name, QStringLiteral("Windows 10"));
    EXPECT_EQ(os.version, QStringLiteral("10.0"));
    os = OsNameFrom(QStringLiteral("10"), kNoData, kNoData, record);
    EXPECT_EQ(os.version, QStringLiteral("10.0"));
    os = OsNameFrom(QStringLiteral("10"), QStringLiteral("2"), QStringLiteral("6.3"), record);
    EXPECT_EQ(os.name, QStringLiteral("Windows 10"));
    EXPECT_EQ(os.version, QStringLiteral("10.2"));
    os = OsNameFrom(kNoData, QString(), QStringLiteral("6.3"), record);
    EXPECT_EQ(os.name, QStringLiteral("Windows 8.1"));
    EXPECT_EQ(os.version, QStringLiteral("6.3"));
    // Anything else: the version record, runs of spaces collapsed.
    os = OsNameFrom(kNoData, QString(), kNoData, record);
    EXPECT_EQ(os.name, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    EXPECT_EQ(os.version, QStringLiteral("6.1"));
    os = OsNameFrom(QStringLiteral("6"), QString(), QStringLiteral("6.2"), record);
    EXPECT_EQ(os.name, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
}

// A machine with the given disks, 16 GiB of memory and an adapter, named by its release file.
void Machine(const SysFixture& f) {
    f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 4, "Intel(R) Core(TM)  i5-8400 CPU @ 2.80GHz"));
    test::WriteMeminfo(f, 16777216, 8000000);
    f.Write(QStringLiteral("etc/os-release"), "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                                              "NAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                                              "VERSION=\"12 (bookworm)\"\n");
    f.Write(QStringLiteral("proc/sys/kernel/osrelease"), "6.1.0-18-amd64\n");
    f.Write(QStringLiteral("usr/share/misc/pci.ids"),
            "10de  NVIDIA Corporation\n\t1c82  GP107 [GeForce GTX 1050 Ti]\n");
    const QString gpu = QStringLiteral("sys/bus/pci/devices/0000:01:00.0/");
    f.Write(gpu + QStringLiteral("class"), "0x030000\n");
    f.Write(gpu + QStringLiteral("vendor"), "0x10de\n");
    f.Write(gpu + QStringLiteral("device"), "0x1c82\n");
}

TEST(ComputerProfile, GatheredFromTheSystemReaders) {
    SysFixture f;
    Machine(f);
    AddDisk(f, QStringLiteral("sda"), "Samsung SSD 860 EVO 500GB");
    f.Activate();
    MainModel m;
    GetComputerInfo(m);
    // The processor's name as the system gives it (the registry reader keeps its spaces).
    EXPECT_EQ(m.CpuInfo, QStringLiteral("Intel(R) Core(TM)  i5-8400 CPU @ 2.80GHz"));
    EXPECT_EQ(m.RamInfo, QStringLiteral("16384 MB "));
    EXPECT_EQ(m.HddInfo, QStringLiteral("Samsung SSD 860 EVO 500GB"));
    EXPECT_EQ(m.HddInfo2, QString());
    EXPECT_EQ(m.GpuInfo, QStringLiteral("NVIDIA Corporation GP107 [GeForce GTX 1050 Ti]"));
    EXPECT_EQ(m.OsInfo, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
}

TEST(ComputerProfile, ThreeDisksAndOneKilobyteOverSixteenGigabytes) {
    SysFixture f;
    Machine(f);
    test::WriteMeminfo(f, 16777217, 8000000);
    AddDisk(f, QStringLiteral("sda"), "DISK A");
    AddDisk(f, QStringLiteral("sdb"), "DISK B");
    AddDisk(f, QStringLiteral("sdc"), "DISK C");
    f.Activate();
    const ComputerProfile p = GatherComputerProfile();
    EXPECT_EQ(p.RamInfo, QStringLiteral("16385 MB "));
    EXPECT_EQ(p.HddInfo, QStringLiteral("DISK A, DISK B, "));
    EXPECT_EQ(p.HddInfo2, QStringLiteral("DISK C"));
}

TEST(ComputerProfile, SilentSystemGivesEmptyTextsAndZeroMemory) {
    SysFixture f;
    f.Activate();
    const ComputerProfile p = GatherComputerProfile();
    EXPECT_EQ(p.CpuInfo, QString());
    EXPECT_EQ(p.GpuInfo, QString());
    EXPECT_EQ(p.HddInfo, QString());
    EXPECT_EQ(p.HddInfo2, QString());
    EXPECT_EQ(p.RamInfo, QStringLiteral("0 MB "));
}

TEST(ComputerProfile, ProcessorNameFromTheProcessorObjectsWhenTheRegistryHasNone) {
    // Machines whose processor lines carry no model name (some ARM boards) name it elsewhere.
    SysFixture f;
    f.Write(QStringLiteral("proc/cpuinfo"), "processor\t: 0\ncpu model\t: Loongson-3A5000\n\n");
    f.Activate();
    if (!CpuNameFromRegistry().isEmpty())
        GTEST_SKIP() << "the registry reader names this processor itself";
    EXPECT_EQ(GatherComputerProfile().CpuInfo, QStringLiteral("Loongson-3A5000"));
}

} // namespace
} // namespace orv
