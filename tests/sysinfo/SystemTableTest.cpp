// The system table's rows, the file systems that stand for drives, and the copy and save texts.
#include "sysinfo/ComputerProfile.h"
#include "tests/sysinfo/ProfileFixture.h"

#include <QDate>
#include <QLocale>
#include <QStringDecoder>
#include <gtest/gtest.h>

namespace orv {
namespace {

using test::AddDisk;
using test::AddPartition;
using test::SysFixture;

constexpr std::uint64_t MiB = 1048576;

QStringList Captions(const TableRows& rows) {
    QStringList out;
    for (const auto& r : rows)
        out << r.first;
    return out;
}

QString Value(const TableRows& rows, const QString& caption) {
    for (const auto& r : rows)
        if (r.first == caption)
            return r.second;
    ADD_FAILURE() << "no row " << caption.toStdString();
    return {};
}

SystemTableSources FixedSources(QHash<QString, DiskSpace> spaces = {}) {
    SystemTableSources s;
    s.cpuMhz = [] { return 3191.2; };
    s.programVersion = [] { return QStringLiteral("1.2.0.0"); };
    s.diskSpace = [spaces](const QString& mp) -> std::optional<DiskSpace> {
        if (!spaces.contains(mp))
            return std::nullopt;
        return spaces.value(mp);
    };
    return s;
}

const QStringList kFixedCaptions = {"Wersja programu",   "Nazwa komputera",     "Identyfikator",
                                    "Nazwa użytkownika", "Model płyty głównej", "Zainstalowany dysk (0)"};
const QStringList kSystemCaptions = {"Czas uruchomienia komputera",
                                     "Nazwa systemu",
                                     "Architektura systemu",
                                     "Build",
                                     "Wersja systemu",
                                     "Service pack",
                                     "Wersja service pack",
                                     "Liczba procesorów",
                                     "Szybkość procesora",
                                     "Architektura procesora",
                                     "Identyfikator procesora",
                                     "Używana pamięć",
                                     "Całkowita pamięć",
                                     "Dostępna pamięć",
                                     "Całkowita pamięć pliku stron",
                                     "Dostępna pamięć pliku stron",
                                     "Całkowita pamięć wirtualna",
                                     "Dostępna pamięć wirtualna"};

void Machine(const SysFixture& f) {
    f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 6));
    f.Write(QStringLiteral("sys/devices/system/cpu/online"), "0-3,6,8-9\n");
    f.Write(QStringLiteral("proc/sys/kernel/hostname"), "pracownia-7\n");
    f.Write(QStringLiteral("proc/sys/kernel/arch"), "x86_64\n");
    f.Write(QStringLiteral("proc/sys/kernel/osrelease"), "6.1.0-18-amd64\n");
    f.Write(QStringLiteral("etc/os-release"), "NAME=\"Debian  GNU/Linux\"\nVERSION=\"12 (bookworm)\"\n"
                                              "VERSION_ID=\"12\"\n");
    f.Write(QStringLiteral("sys/class/dmi/id/board_vendor"), "ASUSTeK COMPUTER INC.\n");
    f.Write(QStringLiteral("sys/class/dmi/id/board_name"), "PRIME B450M-A\n");
    // 16 GiB, a quarter of it free, 2 GiB of swap with 1.5 GiB free; the process maps 1 GiB.
    test::WriteMeminfo(f, 16777216, 4194304, 2097152, 1572864);
    f.Write(QStringLiteral("proc/self/status"), "Name:\torvanta\nVmSize:\t 1048576 kB\n");
}

TEST(SystemTable, CaptionsInOrderWithUnitTexts) {
    SysFixture f;
    Machine(f);
    AddDisk(f, QStringLiteral("sda"), "Samsung SSD 860 EVO 500GB");
    f.Activate();
    const TableRows rows = ZbadajSystemRows(FixedSources());
    EXPECT_EQ(Captions(rows), kFixedCaptions + kSystemCaptions);

    EXPECT_EQ(Value(rows, "Wersja programu"), "1.2.0.0");
    EXPECT_EQ(Value(rows, "Nazwa komputera"), "pracownia-7");
    EXPECT_EQ(Value(rows, "Identyfikator").size(), 32);
    EXPECT_EQ(Value(rows, "Model płyty głównej"), "ASUSTeK COMPUTER INC. PRIME B450M-A");
    EXPECT_EQ(Value(rows, "Zainstalowany dysk (0)"), "Samsung SSD 860 EVO 500GB");
    EXPECT_EQ(Value(rows, "Nazwa systemu"), "Debian GNU/Linux 12 (bookworm)");
    EXPECT_EQ(Value(rows, "Architektura systemu"), "64-bit");
    EXPECT_EQ(Value(rows, "Build"), "0");
    EXPECT_EQ(Value(rows, "Wersja systemu"), "6.1");
    EXPECT_EQ(Value(rows, "Service pack"), "6.1.0-18-amd64 (Build 0)");
    EXPECT_EQ(Value(rows, "Wersja service pack"), "12.0");
    EXPECT_EQ(Value(rows, "Liczba procesorów"), "7");
    EXPECT_EQ(Value(rows, "Szybkość procesora"), "3192 MHz");
    EXPECT_EQ(Value(rows, "Architektura procesora"), "x86_64");
    EXPECT_EQ(Value(rows, "Identyfikator procesora"), "Intel64 Family 6 Model 158 Stepping 10, GenuineIntel");
    EXPECT_EQ(Value(rows, "Używana pamięć"), "75%");
    // Two memory rows keep a trailing space, four do not.
    EXPECT_EQ(Value(rows, "Całkowita pamięć"), "16384 MB ");
    EXPECT_EQ(Value(rows, "Dostępna pamięć"), "4096 MB ");
    EXPECT_EQ(Value(rows, "Całkowita pamięć pliku stron"), "2048 MB");
    EXPECT_EQ(Value(rows, "Dostępna pamięć pliku stron"), "1536 MB");
    const MemoryStatus st = GlobalMemoryStatus(CurrentSysSources());
    EXPECT_EQ(Value(rows, "Całkowita pamięć wirtualna"), MegabytesUp(st.totalVirtual, false));
    EXPECT_EQ(Value(rows, "Dostępna pamięć wirtualna"), MegabytesUp(st.totalVirtual - 1024 * MiB, false));
}

TEST(SystemTable, DiskRowsOnlyForPresentDisks) {
    SysFixture f;
    Machine(f);
    f.Activate();
    // No disk at all: row (0) stays, empty.
    TableRows rows = ZbadajSystemRows(FixedSources());
    EXPECT_EQ(Value(rows, "Zainstalowany dysk (0)"), QString());
    EXPECT_FALSE(Captions(rows).contains("Zainstalowany dysk (1)"));

    AddDisk(f, QStringLiteral("sda"), "DISK A");
    AddDisk(f, QStringLiteral("sdb"), "DISK B");
    AddDisk(f, QStringLiteral("sdc"), "DISK C");
    rows = ZbadajSystemRows(FixedSources());
    const QStringList captions = Captions(rows);
    const qsizetype at = captions.indexOf("Zainstalowany dysk (0)");
    EXPECT_EQ(captions.mid(at, 4), (QStringList{"Zainstalowany dysk (0)", "Zainstalowany dysk (1)",
                                                "Zainstalowany dysk (2)", "Czas uruchomienia komputera"}));
    EXPECT_EQ(Value(rows, "Zainstalowany dysk (2)"), "DISK C");
}

TEST(SystemTable, SilentSystemGivesEmptyValuesNotErrors) {
    SysFixture f;
    f.Activate();
    SystemTableSources src = FixedSources();
    src.cpuMhz = [] { return 0.0; };
    const TableRows rows = ZbadajSystemRows(src);
    EXPECT_EQ(Captions(rows), kFixedCaptions + kSystemCaptions);
    EXPECT_EQ(Value(rows, "Czas uruchomienia komputera"), QString());
    EXPECT_EQ(Value(rows, "Liczba procesorów"), QString());
    EXPECT_EQ(Value(rows, "Identyfikator procesora"), QString());
    EXPECT_EQ(Value(rows, "Szybkość procesora"), "0 MHz");
    EXPECT_EQ(Value(rows, "Używana pamięć"), "0%");
    EXPECT_EQ(Value(rows, "Całkowita pamięć"), "0 MB ");
    EXPECT_EQ(Value(rows, "Całkowita pamięć pliku stron"), "0 MB");
}

TEST(FixedVolumes, OnlyLocalFileSystemsOnFixedDisks) {
    SysFixture f;
    AddDisk(f, QStringLiteral("sda"), "DISK A");
    AddPartition(f, QStringLiteral("sda"), QStringLiteral("sda1"));
    AddPartition(f, QStringLiteral("sda"), QStringLiteral("sda2"));
    AddDisk(f, QStringLiteral("nvme0n1"), "NVME");
    AddPartition(f, QStringLiteral("nvme0n1"), QStringLiteral("nvme0n1p1"));
    AddDisk(f, QStringLiteral("sdb"), "USB STICK", true);
    AddPartition(f, QStringLiteral("sdb"), QStringLiteral("sdb1"));
    f.MakeDir(QStringLiteral("sys/block/dm-0"));
    f.Write(QStringLiteral("sys/block/dm-0/removable"), "0\n");
    f.MakeDir(QStringLiteral("sys/block/loop0"));
    f.MakeDir(QStringLiteral("sys/block/sr0"));
    f.Write(QStringLiteral("proc/self/mounts"), "sysfs /sys sysfs rw 0 0\n"
                                                "proc /proc proc rw 0 0\n"
                                                "/dev/sda2 / ext4 rw,relatime 0 0\n"
                                                "tmpfs /run tmpfs rw 0 0\n"
                                                "/dev/sda1 /boot/efi vfat rw 0 0\n"
                                                "/dev/mapper/vg-home /home ext4 rw 0 0\n"
                                                "/dev/nvme0n1p1 /mnt/Dane\\040gier btrfs rw 0 0\n"
                                                "/dev/nvme0n1p1 /mnt/Dane\\040gier/zapis btrfs rw 0 0\n"
                                                "/dev/sdb1 /media/user/PENDRIVE vfat rw 0 0\n"
                                                "/dev/loop0 /snap/core/1 squashfs ro 0 0\n"
                                                "/dev/sr0 /media/cdrom iso9660 ro 0 0\n"
                                                "server:/export /mnt/nfs nfs4 rw 0 0\n"
                                                "//nas/share /mnt/smb cifs rw 0 0\n"
                                                "user@host: /mnt/ssh fuse.sshfs rw 0 0\n"
                                                "/dev/sda2 /var/lib/docker ext4 rw 0 0\n"
                                                "/dev/sda1 /srv/empty vfat rw 0 0\n");
    f.Activate();
    QStringList asked;
    const auto space = [&asked](const QString& mp) -> std::optional<DiskSpace> {
        asked << mp;
        if (mp == QLatin1String("/home"))
            return DiskSpace{0, 0}; // a file system of size 0 is left out
        return DiskSpace{100 * MiB + 5, 40 * MiB + MiB - 1};
    };
    const QList<FixedVolume> v = FixedVolumes(CurrentSysSources(), space);
    QStringList points;
    for (const FixedVolume& x : v)
        points << x.mountPoint;
    // /dev/mapper/vg-home is not in the fixture's device list, so it counts as local; its size
    // of 0 keeps it out. Removable, network, pseudo, loop and optical mounts never get asked.
    EXPECT_EQ(points, (QStringList{"/", "/boot/efi", "/mnt/Dane gier"}));
    EXPECT_FALSE(asked.contains("/media/user/PENDRIVE"));
    EXPECT_FALSE(asked.contains("/mnt/nfs"));
    EXPECT_FALSE(asked.contains("/snap/core/1"));
    EXPECT_FALSE(asked.contains("/media/cdrom"));

    SysFixture table;
    Machine(table);
    table.Write(QStringLiteral("proc/self/mounts"), "/dev/sda2 / ext4 rw 0 0\n//nas/x /mnt/x cifs rw 0 0\n");
    table.Activate();
    QHash<QString, DiskSpace> spaces;
    spaces.insert("/", DiskSpace{476940ull * MiB + 12345, 200000ull * MiB + MiB - 1});
    spaces.insert("/mnt/x", DiskSpace{1000 * MiB, 1000 * MiB});
    const TableRows rows = ZbadajSystemRows(FixedSources(spaces));
    ASSERT_GE(rows.size(), 2);
    EXPECT_EQ(rows[rows.size() - 2], (QPair<QString, QString>("Pojemność dysku /", "476940 MB")));
    EXPECT_EQ(rows.back(), (QPair<QString, QString>("Wolne miejsce na dysku /", "200000 MB")));
    EXPECT_EQ(rows[rows.size() - 3].first, "Dostępna pamięć wirtualna");
}

TEST(BootTime, ShortDateAndLongTimeWithoutTheTimeAtMidnight) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Polish, QLocale::Poland));
    const double epoch = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(2024, 1, 15)));
    EXPECT_EQ(BootTimeText(epoch + (8 * 3600 + 30 * 60 + 12) / 86400.0),
              QStringLiteral("15.01.2024 08:30:12"));
    EXPECT_EQ(BootTimeText(epoch), QStringLiteral("15.01.2024"));
    // Ten days past the epoch or less: no value.
    EXPECT_EQ(BootTimeText(10.0), QString());
    EXPECT_EQ(BootTimeText(0.0), QString());
    EXPECT_EQ(BootTimeText(-1.0), QString());
    EXPECT_EQ(BootTimeText(10.5), QStringLiteral("9.01.1900 12:00:00"));
    QLocale::setDefault(before);
}

TEST(SystemEnvironment, ProcessorCountFromTheOnlineList) {
    SysFixture f;
    f.Write(QStringLiteral("sys/devices/system/cpu/online"), "0\n");
    f.Activate();
    EXPECT_EQ(ReadSystemEnvironment(CurrentSysSources()).numberOfProcessors, "1");
    SysFixture g;
    g.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(2, 2));
    g.Activate();
    // No online list: the processors the kernel lists.
    EXPECT_EQ(ReadSystemEnvironment(CurrentSysSources()).numberOfProcessors, "4");
}

TEST(Report, CopyTextOfABlock) {
    const TableRows rows = {{"A", "1"}, {"B", ""}, {"C", "3"}};
    EXPECT_EQ(SelectionText(rows, 1, 1, 1, 1), QStringLiteral("\r\n"));
    EXPECT_EQ(SelectionText(rows, 0, 0, 0, 0), QStringLiteral("A\r\n"));
    EXPECT_EQ(SelectionText(rows, 0, 0, 2, 1), QStringLiteral("A\t1\r\nB\t\r\nC\t3\r\n"));
    EXPECT_EQ(SelectionText(rows, 1, 1, 2, 1), QStringLiteral("\r\n3\r\n"));
    // Out-of-range blocks are cut to the table.
    EXPECT_EQ(SelectionText(rows, 2, 0, 9, 5), QStringLiteral("C\t3\r\n"));
    EXPECT_EQ(SelectionText({}, 0, 0, 0, 0), QString());
}

TEST(Report, SavedLinesEndWithCarriageReturnAndLineFeed) {
    const TableRows rows = {{"Wersja programu", "1.2.0.0"}, {"Zainstalowany dysk (0)", ""}, {"Build", "0"}};
    const QByteArray bytes = ReportBytes(rows);
    EXPECT_EQ(bytes, QByteArray("Wersja programu: 1.2.0.0\r\nZainstalowany dysk (0): \r\nBuild: 0\r\n"));
    EXPECT_EQ(ReportBytes({}), QByteArray());
    // Polish letters in the system's encoding.
    const QByteArray polish = ReportBytes({{"Używana pamięć", "75%"}});
    EXPECT_EQ(QStringDecoder(QStringConverter::System).decode(polish), QString("Używana pamięć: 75%\r\n"));
}

} // namespace
} // namespace orv
