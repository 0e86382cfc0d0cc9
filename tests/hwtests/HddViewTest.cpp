#include "hwtests/hdd/HddView.h"
#include "tests/support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <limits>

namespace orv {
namespace {

const QLocale kPolish(QLocale::Polish, QLocale::Poland);

TEST(HddView, PhasesInPolish) {
    EXPECT_EQ(PhaseName(DiskBenchPhase::Write), QStringLiteral("zapis"));
    EXPECT_EQ(PhaseName(DiskBenchPhase::Read), QStringLiteral("odczyt"));
    EXPECT_EQ(PhaseName(DiskBenchPhase::PrepareSeek), QStringLiteral("czas dostępu"));
    EXPECT_EQ(PhaseName(DiskBenchPhase::Seek), QStringLiteral("czas dostępu"));
    EXPECT_EQ(PhaseLine(DiskBenchPhase::Write), QStringLiteral("Etap 1 z 3: zapis"));
    EXPECT_EQ(PhaseLine(DiskBenchPhase::Read), QStringLiteral("Etap 2 z 3: odczyt"));
    EXPECT_EQ(PhaseLine(DiskBenchPhase::PrepareSeek),
              QStringLiteral("Etap 3 z 3: czas dostępu (przygotowanie pliku)"));
    EXPECT_EQ(PhaseLine(DiskBenchPhase::Seek), QStringLiteral("Etap 3 z 3: czas dostępu"));
}

TEST(HddView, FiguresUseTheLocaleSeparatorWithoutGrouping) {
    EXPECT_EQ(SpeedText(1234.5, kPolish), QStringLiteral("1234,50 MB/s"));
    EXPECT_EQ(SpeedText(0.456, QLocale::c()), QStringLiteral("0.46 MB/s"));
    EXPECT_EQ(SpeedText(0, kPolish), QStringLiteral("– MB/s"));
    EXPECT_EQ(SpeedText(std::numeric_limits<double>::quiet_NaN(), kPolish), QStringLiteral("– MB/s"));
    EXPECT_EQ(AccessTimeText(0.125, kPolish), QStringLiteral("0,13 ms"));
    EXPECT_EQ(AccessTimeText(-1, kPolish), QStringLiteral("– ms"));
}

TEST(HddView, MeterFollowsEachPhaseFromItsStart) {
    DiskBenchOptions o;
    o.size = 1024 * kMiB;
    o.seekFileSize = 256 * kMiB;
    o.seeks = 500;
    PhaseMeter m(o);
    EXPECT_FALSE(m.HasFigure());
    EXPECT_EQ(m.Text(kPolish), QStringLiteral("– MB/s"));
    m.Update(DiskBenchPhase::Write, 0, 10.0);
    EXPECT_FALSE(m.HasFigure());
    m.Update(DiskBenchPhase::Write, 50, 12.0);
    EXPECT_DOUBLE_EQ(m.Mbps(), 256.0); // 512 MB in 2 s
    EXPECT_EQ(m.Text(kPolish), QStringLiteral("256,00 MB/s"));
    // A new phase starts its own clock.
    m.Update(DiskBenchPhase::Read, 10, 20.0);
    EXPECT_FALSE(m.HasFigure());
    m.Update(DiskBenchPhase::Read, 20, 21.0);
    EXPECT_NEAR(m.Mbps(), 204.8, 1e-9);
    m.Update(DiskBenchPhase::PrepareSeek, 0, 30.0);
    m.Update(DiskBenchPhase::PrepareSeek, 100, 32.0);
    EXPECT_DOUBLE_EQ(m.Mbps(), 128.0); // the seek file, not the volume
    m.Update(DiskBenchPhase::Seek, 0, 40.0);
    EXPECT_EQ(m.Text(kPolish), QStringLiteral("– ms"));
    m.Update(DiskBenchPhase::Seek, 50, 41.0);
    EXPECT_DOUBLE_EQ(m.AccessMs(), 4.0); // 250 accesses in 1 s
    EXPECT_DOUBLE_EQ(m.Mbps(), 0.0);
    EXPECT_EQ(m.Text(kPolish), QStringLiteral("4,00 ms"));
    m.Update(DiskBenchPhase::Seek, 250, 42.0); // out of range counts as done
    EXPECT_DOUBLE_EQ(m.AccessMs(), 4.0);
}

// A /proc and /sys tree as the kernel lays them out, with links to the device folders.
class DiskLookup : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = test::MakeTempDir(QStringLiteral("sysroot"));
        Write(QStringLiteral("/proc/self/mountinfo"),
              "22 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
              "30 22 259:1 / /home rw,relatime shared:5 - ext4 /dev/nvme0n1p1 rw\n"
              "31 30 0:45 / /home/orvtest/tmp rw,nosuid - tmpfs tmpfs rw,size=1024k\n"
              "32 22 8:17 / /mnt/my\\040disk rw - vfat /dev/sdb1 rw\n"
              "33 22 253:0 / /srv rw master:7 - xfs /dev/mapper/vg-srv rw\n"
              "garbage line\n");
        const QString blk = QStringLiteral("/sys/devices/pci0000:00/block");
        Write(blk + QStringLiteral("/sda/device/model"), "WDC WD10EZEX-08W   \n");
        Write(blk + QStringLiteral("/sda/sda2/partition"), "2\n");
        Write(QStringLiteral("/sys/devices/nvme/nvme0n1/device/model"), "Samsung SSD 970 EVO 500GB\n");
        Write(QStringLiteral("/sys/devices/nvme/nvme0n1/nvme0n1p1/partition"), "1\n");
        QDir().mkpath(root_ + QStringLiteral("/sys/devices/virtual/block/dm-0/slaves"));
        QDir().mkpath(root_ + QStringLiteral("/sys/dev/block"));
        Link(blk + QStringLiteral("/sda/sda2"), QStringLiteral("/sys/dev/block/8:2"));
        Link(QStringLiteral("/sys/devices/nvme/nvme0n1/nvme0n1p1"), QStringLiteral("/sys/dev/block/259:1"));
        Link(QStringLiteral("/sys/devices/virtual/block/dm-0"), QStringLiteral("/sys/dev/block/253:0"));
        Link(blk + QStringLiteral("/sda/sda2"),
             QStringLiteral("/sys/devices/virtual/block/dm-0/slaves/sda2"));
    }
    void Write(const QString& path, const QByteArray& data) {
        QDir().mkpath(QFileInfo(root_ + path).absolutePath());
        QFile f(root_ + path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    void Link(const QString& target, const QString& link) {
        ASSERT_TRUE(QFile::link(root_ + target, root_ + link)) << link.toStdString();
    }
    DiskLocation At(const char* path) const { return LocateDisk(QString::fromUtf8(path), root_); }
    QString root_;
};

TEST_F(DiskLookup, DeepestMountAndTheDiskBehindItsPartition) {
    const DiskLocation home = At("/home/orvtest/data");
    EXPECT_EQ(home.mountPoint, QStringLiteral("/home"));
    EXPECT_EQ(home.source, QStringLiteral("/dev/nvme0n1p1"));
    EXPECT_EQ(home.model, QStringLiteral("Samsung SSD 970 EVO 500GB"));
    EXPECT_EQ(DiskLine(home), QStringLiteral("Samsung SSD 970 EVO 500GB (/home)"));

    const DiskLocation root = At("/var/lib/orvanta");
    EXPECT_EQ(root.mountPoint, QStringLiteral("/"));
    EXPECT_EQ(root.model, QStringLiteral("WDC WD10EZEX-08W")); // padding goes
    // "/homework" is not under "/home".
    EXPECT_EQ(At("/homework").mountPoint, QStringLiteral("/"));
}

TEST_F(DiskLookup, MappedDevicesAskTheDiskBeneath) {
    const DiskLocation srv = At("/srv/www");
    EXPECT_EQ(srv.mountPoint, QStringLiteral("/srv"));
    EXPECT_EQ(srv.source, QStringLiteral("/dev/mapper/vg-srv"));
    EXPECT_EQ(srv.model, QStringLiteral("WDC WD10EZEX-08W"));
}

TEST_F(DiskLookup, WithoutAModelTheDeviceOrFileSystemNamesIt) {
    const DiskLocation usb = At("/mnt/my disk/orvanta");
    EXPECT_EQ(usb.mountPoint, QStringLiteral("/mnt/my disk"));
    EXPECT_TRUE(usb.model.isEmpty());
    EXPECT_EQ(DiskLine(usb), QStringLiteral("/dev/sdb1 (/mnt/my disk)"));
    const DiskLocation tmp = At("/home/orvtest/tmp/x");
    EXPECT_EQ(tmp.mountPoint, QStringLiteral("/home/orvtest/tmp"));
    EXPECT_EQ(DiskName(tmp), QStringLiteral("tmpfs"));
    const DiskLocation none = LocateDisk(QStringLiteral("/x"), root_ + QStringLiteral("/nothing"));
    EXPECT_TRUE(none.mountPoint.isEmpty());
    EXPECT_EQ(DiskLine(none), QStringLiteral("nieznany dysk"));
}

// The live system: the data folder's disk is found, whatever it is called.
TEST(DiskLookupLive, TheTempFolderHasAMount) {
    const DiskLocation here = LocateDisk(QDir::tempPath());
    EXPECT_FALSE(here.mountPoint.isEmpty());
    EXPECT_TRUE(QDir::tempPath().startsWith(here.mountPoint) ||
                QFileInfo(QDir::tempPath()).canonicalFilePath().startsWith(here.mountPoint));
    EXPECT_FALSE(DiskName(here).isEmpty());
}

} // namespace
} // namespace orv
