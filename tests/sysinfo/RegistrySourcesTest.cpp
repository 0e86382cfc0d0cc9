#include "sysinfo/RegistrySources.h"
#include "platform/Registry.h"
#include "tests/sysinfo/Fixture.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

const QString kCpu0 = QStringLiteral("\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");
const QString kNtVersion = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");

TEST(RegAccessFor, MasksByViewAndPath) {
    EXPECT_EQ(RegAccessFor(QStringLiteral("SOFTWARE\\Wow6432Node\\X")), 0xF003Fu);
    EXPECT_EQ(RegAccessFor(QStringLiteral("SOFTWARE\\X"), true), 0xF013Fu);
    EXPECT_EQ(RegAccessFor(QStringLiteral("SOFTWARE\\Wow6432Node\\X"), true), 0xF023Fu);
    EXPECT_EQ(RegAccessFor(QStringLiteral("SOFTWARE\\wow6432node\\X"), true), 0xF013Fu); // case matters
}

TEST(MachineKeys, ProcessorKeyFromCpuInfo) {
    test::SysFixture f;
    f.Write(QStringLiteral("proc/cpuinfo"), test::CpuInfo(1, 2, "Intel(R)  Core(TM)  i7-8700 CPU @ 3.20GHz"));
    f.Write(QStringLiteral("sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"), "4600000\n");
    f.Activate();
    EXPECT_EQ(CpuNameFromRegistry(), QStringLiteral("Intel(R)  Core(TM)  i7-8700 CPU @ 3.20GHz"));
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kCpu0, QStringLiteral("ProcessorNameString")),
              QStringLiteral("Intel(R)  Core(TM)  i7-8700 CPU @ 3.20GHz"));
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kCpu0, QStringLiteral("VendorIdentifier")),
              QStringLiteral("GenuineIntel"));
    EXPECT_EQ(RegReadIntText(RegRoot::LocalMachine, kCpu0, QStringLiteral("~MHz")), QStringLiteral("4600"));
    // Wrong type either way, and a value that is not there: the fallback text.
    EXPECT_EQ(RegReadIntText(RegRoot::LocalMachine, kCpu0, QStringLiteral("ProcessorNameString")), kNoData);
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kCpu0, QStringLiteral("~MHz")), kNoData);
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kCpu0, QStringLiteral("Nothing")), kNoData);
    // A key that does not exist: empty.
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine,
                            QStringLiteral("\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\7"),
                            QStringLiteral("ProcessorNameString")),
              QString());
    EXPECT_EQ(RegReadIntText(RegRoot::LocalMachine, QStringLiteral("SOFTWARE\\Nowhere"), QStringLiteral("X")),
              QString());
}

TEST(MachineKeys, NoProcessorInformation) {
    test::SysFixture f;
    f.Activate();
    EXPECT_EQ(CpuNameFromRegistry(), QString());
}

TEST(MachineKeys, VersionKeyNeverPosesAsAWindowsRelease) {
    test::SysFixture f;
    f.Write(QStringLiteral("etc/os-release"), "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    f.Write(QStringLiteral("proc/sys/kernel/osrelease"), "6.3.0-1-amd64\n");
    f.Activate();
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kNtVersion, QStringLiteral("ProductName")),
              QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    EXPECT_EQ(RegReadString(RegRoot::LocalMachine, kNtVersion, QStringLiteral("CurrentVersion")), kNoData);
    EXPECT_EQ(RegReadIntText(RegRoot::LocalMachine, kNtVersion, QStringLiteral("CurrentMajorVersionNumber")),
              kNoData);
}

TEST(UserKeys, TypedValuesOfTheSettingsStore) {
    RegistryKey key(QStringLiteral("Software\\Orvanta"), true);
    key.WriteString(QStringLiteral("Login"), QStringLiteral("jan@example.com"));
    key.WriteInteger(QStringLiteral("Id"), -5);
    const QString path = QStringLiteral("Software\\Orvanta");
    EXPECT_EQ(RegReadString(RegRoot::CurrentUser, path, QStringLiteral("Login")),
              QStringLiteral("jan@example.com"));
    EXPECT_EQ(RegReadIntText(RegRoot::CurrentUser, path, QStringLiteral("Login")), kNoData);
    EXPECT_EQ(RegReadIntText(RegRoot::CurrentUser, path, QStringLiteral("Id")), QStringLiteral("-5"));
    EXPECT_EQ(RegReadString(RegRoot::CurrentUser, path, QStringLiteral("Id")), kNoData);
    EXPECT_EQ(RegReadString(RegRoot::CurrentUser, path, QStringLiteral("Missing")), kNoData);
    EXPECT_EQ(
        RegReadIntText(RegRoot::CurrentUser, QStringLiteral("Software\\NoSuchVendor"), QStringLiteral("Id")),
        QString());
    // Reading never creates the key.
    EXPECT_FALSE(RegistryKey(QStringLiteral("Software\\NoSuchVendor"), false).Exists());
}

} // namespace
} // namespace orv
