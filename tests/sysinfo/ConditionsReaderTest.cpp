#include "sysinfo/ConditionsReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace orv {
namespace {

// A fixture tree standing in for /proc and /sys.
class Tree {
public:
    Tree() { s.root = dir.path(); }
    void Put(const QString& relative, const QByteArray& text) {
        const QString path = dir.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QTemporaryDir dir;
    SysSources s;
};

TEST(ConditionsReader, PowerSourceFromTheSupplies) {
    Tree t;
    EXPECT_EQ(ReadPowerSource(t.s), QStringLiteral("unknown")) << "no supplies listed: a desktop";
    t.Put(QStringLiteral("sys/class/power_supply/BAT0/type"), "Battery\n");
    t.Put(QStringLiteral("sys/class/power_supply/BAT0/status"), "Discharging\n");
    t.Put(QStringLiteral("sys/class/power_supply/AC/type"), "Mains\n");
    t.Put(QStringLiteral("sys/class/power_supply/AC/online"), "0\n");
    EXPECT_EQ(ReadPowerSource(t.s), QStringLiteral("battery"));
    t.Put(QStringLiteral("sys/class/power_supply/AC/online"), "1\n");
    EXPECT_EQ(ReadPowerSource(t.s), QStringLiteral("ac"));
    // A wireless mouse's battery does not power the computer.
    Tree mouse;
    mouse.Put(QStringLiteral("sys/class/power_supply/hid-mouse/type"), "Battery\n");
    mouse.Put(QStringLiteral("sys/class/power_supply/hid-mouse/scope"), "Device\n");
    mouse.Put(QStringLiteral("sys/class/power_supply/hid-mouse/status"), "Discharging\n");
    EXPECT_EQ(ReadPowerSource(mouse.s), QStringLiteral("unknown"));
}

TEST(ConditionsReader, GovernorsFrequencyAndThrottleCounters) {
    Tree t;
    for (int cpu = 0; cpu < 3; ++cpu) {
        const QString base = QStringLiteral("sys/devices/system/cpu/cpu%1/").arg(cpu);
        t.Put(base + QStringLiteral("cpufreq/scaling_governor"), cpu == 2 ? "powersave\n" : "performance\n");
        t.Put(base + QStringLiteral("cpufreq/scaling_driver"), "acpi-cpufreq\n");
        t.Put(base + QStringLiteral("cpufreq/scaling_cur_freq"), QByteArray::number(1000000 * (cpu + 1)));
        t.Put(base + QStringLiteral("thermal_throttle/core_throttle_count"), QByteArray::number(cpu));
        t.Put(base + QStringLiteral("thermal_throttle/package_throttle_count"), "5\n");
        t.Put(base + QStringLiteral("topology/physical_package_id"), "0\n");
    }
    t.Put(QStringLiteral("sys/devices/system/cpu/cpufreq/policy0/scaling_governor"), "ignored\n");
    EXPECT_EQ(ReadGovernors(t.s), QStringLiteral("performance, powersave"));
    EXPECT_EQ(ReadFrequencyDriver(t.s), QStringLiteral("acpi-cpufreq"));
    EXPECT_DOUBLE_EQ(ReadMeanMhz(t.s), 2000.0);
    // Core counters summed, the package counter once per package.
    EXPECT_EQ(ReadThrottleEvents(t.s), 0U + 1U + 2U + 5U);
    // Without cpufreq the kernel's cpuinfo speaks.
    Tree vm;
    vm.Put(QStringLiteral("proc/cpuinfo"),
           "processor\t: 0\ncpu MHz\t\t: 2400.000\n\nprocessor\t: 1\ncpu MHz\t\t: 2600.000\n");
    EXPECT_DOUBLE_EQ(ReadMeanMhz(vm.s), 2500.0);
    EXPECT_TRUE(ReadGovernors(vm.s).isEmpty());
}

TEST(ConditionsReader, MachineAndProcessTicks) {
    Tree t;
    // user nice system idle iowait irq softirq steal guest guest_nice
    t.Put(QStringLiteral("proc/stat"), "cpu  100 10 50 800 40 5 5 20 7 0\ncpu0 1 2 3 4\n");
    const MachineTicks m = ReadMachineTicks(t.s);
    EXPECT_EQ(m.total, 1030U);
    EXPECT_EQ(m.busy, 190U) << "idle and iowait are not busy; steal is";
    // A command name with spaces and parentheses must not shift the fields.
    t.Put(QStringLiteral("proc/42/stat"), "42 (my (odd) prog) S 1 42 42 0 -1 0 0 0 0 0 300 25 0 0 20 0\n");
    t.Put(QStringLiteral("proc/43/stat"), "43 (orvanta-hdd) R 42 42 42 0 -1 0 0 0 0 0 7 3 0 0 20 0\n");
    t.Put(QStringLiteral("proc/44/stat"), "44 (other) R 1 44 44 0 -1 0 0 0 0 0 900 900 0 0 20 0\n");
    EXPECT_EQ(ReadProcessTicks(t.s, QStringLiteral("42")), 325U);
    EXPECT_EQ(ReadProcessTicks(t.s, QStringLiteral("99")), 0U);
    const auto children = ReadChildrenTicks(t.s, QStringLiteral("42"));
    ASSERT_EQ(children.size(), 1);
    EXPECT_EQ(children[0].first, QStringLiteral("43"));
    EXPECT_EQ(children[0].second, 10U);
}

TEST(ConditionsReader, MountOfAFolderIsTheDeepestMountHoldingIt) {
    Tree t;
    t.Put(QStringLiteral("proc/self/mountinfo"),
          "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
          "30 22 8:2 / /home rw - xfs /dev/sda2 rw\n"
          "31 30 0:40 / /home/my\\040disk rw shared:1 - btrfs /dev/nvme0n1p3 rw\n");
    EXPECT_EQ(ReadMountOf(t.s, QStringLiteral("/home/my disk/orvanta")).fileSystem, QStringLiteral("btrfs"));
    EXPECT_EQ(ReadMountOf(t.s, QStringLiteral("/home/user")).device, QStringLiteral("/dev/sda2"));
    EXPECT_EQ(ReadMountOf(t.s, QStringLiteral("/homeless")).device, QStringLiteral("/dev/sda1"));
}

} // namespace
} // namespace orv
