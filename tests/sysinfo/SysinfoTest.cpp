#include "sysinfo/SystemVersion.h"
#include "sysinfo/WmiSources.h"
#include "tests/sysinfo/Fixture.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <gtest/gtest.h>

namespace orv {
namespace {

QString Md5(const QString& s) {
    return QString::fromLatin1(QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Md5).toHex());
}

double Days(const QDateTime& t) {
    const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(t.date()));
    return days + t.time().msecsSinceStartOfDay() / 86400000.0;
}

void AddDisk(const test::SysFixture& f, const QString& name, const QByteArray& model,
             const QByteArray& vendor = {}) {
    f.MakeDir(QStringLiteral("sys/block/") + name + QStringLiteral("/device"));
    if (!model.isEmpty())
        f.Write(QStringLiteral("sys/block/") + name + QStringLiteral("/device/model"), model + "\n");
    if (!vendor.isEmpty())
        f.Write(QStringLiteral("sys/block/") + name + QStringLiteral("/device/vendor"), vendor + "\n");
    f.Write(QStringLiteral("sys/block/") + name + QStringLiteral("/size"), "1953525168\n");
}

TEST(CimDateTime, ConvertsTheWmiFormIgnoringTheOffset) {
    const double v = CimDateTimeToDateTime(QStringLiteral("20240115083012.500000+060"));
    EXPECT_NEAR(v, Days(QDateTime(QDate(2024, 1, 15), QTime(8, 30, 12, 500))), 1e-9);
    // Same wall time with another offset: the offset is not applied.
    EXPECT_DOUBLE_EQ(v, CimDateTimeToDateTime(QStringLiteral("20240115083012.500000-300")));
}

TEST(CimDateTime, RejectsMalformedAndImpossibleDates) {
    EXPECT_EQ(CimDateTimeToDateTime(QStringLiteral("2024011508")), 0.0);
    EXPECT_EQ(CimDateTimeToDateTime(QStringLiteral("20241315083012.500000+060")), 0.0); // month 13
    EXPECT_EQ(CimDateTimeToDateTime(QStringLiteral("20240100083012.500000+060")), 0.0); // day 0
    EXPECT_EQ(CimDateTimeToDateTime(QStringLiteral("2024011508301x.500000+060")), 0.0);
    EXPECT_EQ(CimDateTimeToDateTime(QStringLiteral("20240231000000.000000+000")), -1.0); // 31 February
    // An impossible time keeps the date at midnight.
    EXPECT_DOUBLE_EQ(CimDateTimeToDateTime(QStringLiteral("20240115253012.500000+060")),
                     Days(QDateTime(QDate(2024, 1, 15), QTime(0, 0))));
}

TEST(CollapseSpaces, TurnsRunsIntoOneSpaceWithoutTrimming) {
    EXPECT_EQ(CollapseSpaces(QStringLiteral("Intel(R)  Core(TM)   i7-8700")),
              QStringLiteral("Intel(R) Core(TM) i7-8700"));
    EXPECT_EQ(CollapseSpaces(QStringLiteral("  x")), QStringLiteral(" x"));
    EXPECT_EQ(CollapseSpaces(QStringLiteral("a   ")), QStringLiteral("a "));
    EXPECT_EQ(CollapseSpaces(QString()), QString());
}

TEST(WmiValue, TextForms) {
    EXPECT_EQ(WmiValue::Null().Text(), QStringLiteral("NULL"));
    EXPECT_EQ(WmiValue::Int(-42).Text(), QStringLiteral("-42"));
    EXPECT_EQ(WmiValue::Real(1.5).Text(), QStringLiteral("1.5"));
    EXPECT_EQ(WmiValue::Real(0.1 + 0.2).Text(), QStringLiteral("0.3"));
    EXPECT_EQ(WmiValue::UInt64(18446744073709551615ull).Text(), QStringLiteral("18446744073709551615"));
    EXPECT_EQ(WmiValue::Bool(true).Text(), QStringLiteral("True"));
    EXPECT_EQ(WmiValue::Bool(false).Text(), QStringLiteral("False"));
    EXPECT_EQ(
        WmiValue::Array({WmiValue::Int(1), WmiValue::Str(QStringLiteral("a")), WmiValue::Null()}).Text(),
        QStringLiteral("1|a|NULL"));
    WmiValue object;
    object.kind = WmiValue::Kind::Object;
    EXPECT_EQ(object.Text(), QStringLiteral("<CIM Object>"));
    WmiValue ch;
    ch.kind = WmiValue::Kind::Char16;
    EXPECT_EQ(ch.Text(), QStringLiteral("<16-bit character>"));
}

TEST(WmiQuery, TableHasHeaderInstanceColumnAndKeyFirst) {
    test::SysFixture f;
    AddDisk(f, QStringLiteral("sda"), "Samsung SSD 860", "ATA     ");
    AddDisk(f, QStringLiteral("nvme0n1"), "WDC WDS500G2B0C-00PXH0");
    f.Activate();
    const WmiTableResult t = WmiQueryTable(QStringLiteral("select model from win32_diskdrive"));
    ASSERT_EQ(t.count, 2);
    EXPECT_EQ(t.propertyCount, 2);
    ASSERT_EQ(t.table.size(), 3u);
    EXPECT_EQ(t.table[0], (QStringList{"Instance", "DeviceID", "Model"}));
    EXPECT_EQ(t.table[1], (QStringList{"1", "\\\\.\\PHYSICALDRIVE0", "WDC WDS500G2B0C-00PXH0"}));
    EXPECT_EQ(t.table[2], (QStringList{"2", "\\\\.\\PHYSICALDRIVE1", "Samsung SSD 860"}));
    // Asking for the key as well does not repeat it.
    EXPECT_EQ(WmiQueryTable(QStringLiteral("SELECT Model, DeviceID FROM Win32_DiskDrive")).table[0],
              (QStringList{"Instance", "DeviceID", "Model"}));
}

TEST(WmiQuery, ErrorsAndEmptyAnswers) {
    test::SysFixture f;
    f.Activate();
    for (const char* q :
         {"SELECT Model FROM Win32_Fan", "SELECT Colour FROM Win32_DiskDrive",
          "SELECT Model FROM Win32_DiskDrive WHERE Index = 0", "DELETE FROM Win32_DiskDrive"}) {
        const WmiTableResult t = WmiQueryTable(QString::fromLatin1(q));
        EXPECT_EQ(t.propertyCount, -1) << q;
        EXPECT_EQ(t.count, 0) << q;
        EXPECT_TRUE(t.table.empty()) << q;
        EXPECT_EQ(WmiQueryValue(QString::fromLatin1(q), QStringLiteral("Model")).count, -1) << q;
    }
    // No disks at all: no instance, no error.
    const WmiTableResult none = WmiQueryTable(QStringLiteral("SELECT Model FROM Win32_DiskDrive"));
    EXPECT_EQ(none.count, 0);
    EXPECT_TRUE(none.table.empty());
    EXPECT_EQ(DiskModel(0), QString());
}

TEST(DiskModel, OneDiskAndSeveral) {
    {
        test::SysFixture f;
        AddDisk(f, QStringLiteral("sda"), "Samsung SSD 860", "ATA     ");
        f.MakeDir(QStringLiteral("sys/block/loop0/device")); // virtual devices are no disks
        f.MakeDir(QStringLiteral("sys/block/sr0/device"));
        f.MakeDir(QStringLiteral("sys/block/dm-0"));
        f.Activate();
        EXPECT_EQ(DiskModel(0), QStringLiteral("Samsung SSD 860"));
        EXPECT_EQ(DiskModel(1), QString());
        EXPECT_EQ(DiskModel(-1), QString());
    }
    {
        test::SysFixture f;
        AddDisk(f, QStringLiteral("sdb"), "Ultra", "SanDisk");
        AddDisk(f, QStringLiteral("sda"), "ST1000DM010-2EP1", "ATA");
        AddDisk(f, QStringLiteral("sdaa"), "Disk 27");
        AddDisk(f, QStringLiteral("vda"), {});
        f.Activate();
        EXPECT_EQ(DiskModel(0), QStringLiteral("ST1000DM010-2EP1"));
        EXPECT_EQ(DiskModel(1), QStringLiteral("SanDisk Ultra"));
        EXPECT_EQ(DiskModel(2), QStringLiteral("Disk 27"));
        EXPECT_EQ(DiskModel(3), QStringLiteral("Virtio Block Device"));
        EXPECT_EQ(DiskModel(4), QString());
    }
}

TEST(Processor, OnePackageAnswersSeveralDoNot) {
    {
        test::SysFixture f;
        f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 4));
        f.Activate(0x000906EA, 0xBFEBFBFF);
        EXPECT_EQ(ProcessorProperty(QStringLiteral("Name")),
                  QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz"));
        EXPECT_EQ(ProcessorProperty(QStringLiteral("ProcessorID")), QStringLiteral("BFEBFBFF000906EA"));
        EXPECT_EQ(ProcessorProperty(QStringLiteral("NumberOfLogicalProcessors")), QStringLiteral("4"));
        EXPECT_EQ(ProcessorProperty(QStringLiteral("Manufacturer")), QStringLiteral("GenuineIntel"));
        const WmiTableResult t = WmiQueryTable(QStringLiteral("SELECT Name FROM Win32_Processor"));
        EXPECT_EQ(t.table[0], (QStringList{"Instance", "DeviceID", "Name"}));
        EXPECT_EQ(t.table[1][1], QStringLiteral("CPU0"));
    }
    {
        test::SysFixture f;
        f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(2, 2));
        f.Activate();
        EXPECT_EQ(WmiQueryTable(QStringLiteral("SELECT Name FROM Win32_Processor")).count, 2);
        EXPECT_EQ(ProcessorProperty(QStringLiteral("Name")), QString());
        EXPECT_EQ(
            WmiQueryValue(QStringLiteral("SELECT Name FROM Win32_Processor"), QStringLiteral("Name")).count,
            2);
    }
}

TEST(BaseBoard, ModelSerialAndComputerIdentifier) {
    test::SysFixture f;
    f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 2));
    AddDisk(f, QStringLiteral("sda"), "Samsung SSD 860", "ATA");
    f.Write(QStringLiteral("sys/class/dmi/id/board_vendor"), "ASUSTeK COMPUTER INC.\n");
    f.Write(QStringLiteral("sys/class/dmi/id/board_name"), "PRIME B450M-A\n");
    f.Activate(0x000906EA, 0xBFEBFBFF);
    EXPECT_EQ(BaseBoardModel(), QStringLiteral("ASUSTeK COMPUTER INC. PRIME B450M-A"));
    // The serial cannot be read: a null value, which the identifier takes as "NULL".
    EXPECT_EQ(
        WmiQueryValue(QStringLiteral("SELECT * FROM Win32_BaseBoard"), QStringLiteral("SerialNumber")).text,
        QStringLiteral("NULL"));
    EXPECT_EQ(ComputerIdentifier(), Md5(QStringLiteral("BFEBFBFF000906EASamsung SSD 860NULL")));
    f.Write(QStringLiteral("sys/class/dmi/id/board_serial"), "MS1C96B12345\n");
    EXPECT_EQ(ComputerIdentifier(), Md5(QStringLiteral("BFEBFBFF000906EASamsung SSD 860MS1C96B12345")));
    EXPECT_EQ(ComputerIdentifier(), ComputerIdentifier());
    // Another disk 0, another identifier.
    f.Write(QStringLiteral("sys/block/sda/device/model"), "Samsung SSD 870\n");
    EXPECT_EQ(ComputerIdentifier(), Md5(QStringLiteral("BFEBFBFF000906EASamsung SSD 870MS1C96B12345")));
}

TEST(BaseBoard, MissingBoardGivesEmptyTexts) {
    test::SysFixture f;
    f.Activate();
    EXPECT_EQ(BaseBoardModel(), QString());
    EXPECT_EQ(
        WmiQueryValue(QStringLiteral("SELECT * FROM Win32_BaseBoard"), QStringLiteral("SerialNumber")).count,
        0);
    // Nothing from processor, disk or board: the digest of an empty text.
    EXPECT_EQ(ComputerIdentifier(), Md5(QString()));
}

TEST(OperatingSystem, MemoryRecordIsKilobytesTimes1024) {
    test::SysFixture f;
    f.Write(QStringLiteral("proc/meminfo"), "MemTotal:       16314236 kB\nMemFree:         1000000 kB\n"
                                            "MemAvailable:    8000000 kB\nSwapTotal:       2097148 kB\n"
                                            "SwapFree:        2000000 kB\n");
    f.Activate();
    const WmiMemoryRecord m = WmiMemoryInfo();
    EXPECT_EQ(m.totalVisibleMemorySize, 16314236ull * 1024);
    EXPECT_EQ(m.freePhysicalMemory, 8000000ull * 1024);
    EXPECT_EQ(m.totalVirtualMemorySize, (16314236ull + 2097148ull) * 1024);
    EXPECT_EQ(m.freeVirtualMemory, (8000000ull + 2000000ull) * 1024);
    EXPECT_EQ(m.sizeStoredInPagingFiles, 2097148ull * 1024);
    EXPECT_EQ(m.totalSwapSpaceSize, 2097148ull * 1024);
    EXPECT_EQ(m.freeSpaceInPagingFiles, 2000000ull * 1024);
}

TEST(OperatingSystem, NoMemoryFiguresGiveZeros) {
    test::SysFixture f;
    f.Activate();
    const WmiMemoryRecord m = WmiMemoryInfo();
    EXPECT_EQ(m.totalVisibleMemorySize, 0u);
    EXPECT_EQ(m.freeVirtualMemory, 0u);
}

TEST(OperatingSystem, LastBootTimeFromTheBootClock) {
    test::SysFixture f;
    f.Write(QStringLiteral("proc/stat"), "cpu  1 2 3\nbtime 1700000000\nprocesses 5\n");
    f.Activate();
    const QDateTime boot = QDateTime::fromSecsSinceEpoch(1700000000);
    EXPECT_NEAR(LastBootTime(), Days(boot), 1e-9);
    test::SysFixture none;
    none.Activate();
    EXPECT_EQ(LastBootTime(), 0.0);
}

TEST(VideoController, DisplayFunctionsNamedFromThePciList) {
    test::SysFixture f;
    f.Write(QStringLiteral("usr/share/misc/pci.ids"),
            "8086  Intel Corporation\n\t3e92  CoffeeLake-S GT2 [UHD Graphics 630]\n");
    const QString gpu = QStringLiteral("sys/bus/pci/devices/0000:00:02.0/");
    f.Write(gpu + QStringLiteral("class"), "0x030000\n");
    f.Write(gpu + QStringLiteral("vendor"), "0x8086\n");
    f.Write(gpu + QStringLiteral("device"), "0x3e92\n");
    f.Write(gpu + QStringLiteral("uevent"), "DRIVER=i915\nPCI_CLASS=30000\n");
    const QString bridge = QStringLiteral("sys/bus/pci/devices/0000:00:1f.0/");
    f.Write(bridge + QStringLiteral("class"), "0x060100\n");
    f.Write(bridge + QStringLiteral("vendor"), "0x8086\n");
    f.Write(bridge + QStringLiteral("device"), "0xa305\n");
    f.Activate();
    const WmiTableResult t =
        WmiQueryTable(QStringLiteral("SELECT Name, InstalledDisplayDrivers FROM Win32_VideoController"));
    ASSERT_EQ(t.count, 1);
    EXPECT_EQ(t.table[0], (QStringList{"Instance", "DeviceID", "Name", "InstalledDisplayDrivers"}));
    EXPECT_EQ(t.table[1][1], QStringLiteral("VideoController1"));
    EXPECT_EQ(t.table[1][2], QStringLiteral("Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]"));
    EXPECT_EQ(t.table[1][3], QStringLiteral("i915"));
}

TEST(WindowsVersion, FilledFromOsReleaseAndKernel) {
    test::SysFixture f;
    f.Write(QStringLiteral("etc/os-release"),
            "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n"
            "VERSION_ID=\"12\"\nVERSION=\"12 (bookworm)\"\nID=debian\n");
    f.Write(QStringLiteral("proc/sys/kernel/osrelease"), "6.1.0-18-amd64\n");
    f.Activate();
    const TWindowsTypeEx v = GetWindowsVersion();
    EXPECT_EQ(v.product, QStringLiteral("Debian GNU/Linux"));
    EXPECT_EQ(v.edition, QStringLiteral("12 (bookworm)"));
    EXPECT_EQ(v.name, QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    EXPECT_EQ(v.version, QStringLiteral("6.1"));
    EXPECT_EQ(v.build, 0u);
    EXPECT_EQ(v.servicePack, QStringLiteral("6.1.0-18-amd64 (Build 0)"));
    EXPECT_EQ(v.servicePackVersion, QStringLiteral("12.0"));
}

TEST(WindowsVersion, EditionlessAndUnfilledRecords) {
    {
        test::SysFixture f;
        f.Write(QStringLiteral("proc/sys/kernel/osrelease"), "5.15.123\n");
        f.Write(QStringLiteral("proc/sys/kernel/ostype"), "Linux\n");
        f.Activate();
        const TWindowsTypeEx v = GetWindowsVersion();
        EXPECT_EQ(v.name, QStringLiteral("Linux ")); // the space stays when there is no edition
        EXPECT_EQ(v.version, QStringLiteral("5.15"));
        EXPECT_EQ(v.build, 123u);
        EXPECT_EQ(v.servicePackVersion, QStringLiteral("0.0"));
    }
    {
        test::SysFixture f;
        f.Activate();
        const TWindowsTypeEx v = GetWindowsVersion();
        EXPECT_TRUE(v.name.isEmpty());
        EXPECT_TRUE(v.version.isEmpty());
        EXPECT_EQ(v.build, 0u);
        EXPECT_TRUE(v.servicePack.isEmpty());
    }
}

TEST(LiveSystem, EveryClassAnswersWithoutError) {
    for (const char* cls : {"Win32_Processor", "Win32_VideoController", "Win32_DiskDrive", "Win32_BaseBoard",
                            "Win32_OperatingSystem"}) {
        const WmiTableResult t = WmiQueryTable(QStringLiteral("SELECT * FROM ") + QString::fromLatin1(cls));
        EXPECT_GE(t.propertyCount, 0) << cls;
        for (const QStringList& row : t.table)
            EXPECT_EQ(row.size(), t.table[0].size()) << cls;
    }
    EXPECT_EQ(WmiQueryTable(QStringLiteral("SELECT Caption FROM Win32_OperatingSystem")).count, 1);
    EXPECT_GT(WmiMemoryInfo().totalVisibleMemorySize, 0u);
    EXPECT_GT(LastBootTime(), 10.0);
    EXPECT_FALSE(GetWindowsVersion().version.isEmpty());
    EXPECT_EQ(ComputerIdentifier().size(), 32);
}

#if defined(__x86_64__) || defined(__i386__)
TEST(LiveSystem, TimeStampCounterClock) {
    const double mhz = MeasureCpuMhz();
    EXPECT_GT(mhz, 100.0);
    EXPECT_LT(mhz, 10000.0);
}
#endif

} // namespace
} // namespace orv
