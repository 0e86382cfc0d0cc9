#include "sysinfo/RegistrySources.h"
#include "platform/Latin1.h"

#include "platform/Registry.h"
#include "sysinfo/SysSources.h"

#include <QMap>

#include <cmath>
#include <optional>

namespace orv {

namespace {

struct RegValue {
    bool isString = true;
    QString text;
    std::int32_t number = 0;
};
using RegValues = QMap<QString, RegValue>; // names lower-cased

RegValue Sz(const QString& s) {
    return RegValue{true, s, 0};
}
RegValue Dword(std::int32_t v) {
    return RegValue{false, {}, v};
}

QString Normalize(QString path) {
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path.toLower();
}

// The machine keys the program reads, answered from the Linux system:
//   HARDWARE\DESCRIPTION\System\CentralProcessor\<n>: ProcessorNameString, VendorIdentifier,
//     Identifier (REG_SZ) and ~MHz (REG_DWORD) from /proc/cpuinfo and cpufreq, one key per logical processor;
//   HARDWARE\DESCRIPTION\System\BIOS: board and system names from DMI;
//   SOFTWARE\Microsoft\Windows NT\CurrentVersion: ProductName (os-release PRETTY_NAME), CurrentBuild and
//     CurrentBuildNumber (kernel patch level). CurrentVersion and CurrentMajorVersionNumber stay absent on
//     purpose: a kernel version must never read as a Windows release, so callers fall back to
//     GetWindowsVersion.
std::optional<RegValues> MachineKey(const QString& path) {
    const SysSources& s = CurrentSysSources();
    const QString p = Normalize(path);
    const QString cpuPrefix = L("hardware\\description\\system\\centralprocessor");
    if (p == L("hardware") || p == L("hardware\\description") || p == L("hardware\\description\\system") ||
        p == L("software") || p == L("software\\microsoft") || p == L("software\\microsoft\\windows nt"))
        return RegValues{};
    const QList<CpuInfoBlock> cpus = ReadCpuInfo(s);
    if (p == cpuPrefix)
        return cpus.isEmpty() ? std::nullopt : std::optional<RegValues>(RegValues{});
    if (p.startsWith(cpuPrefix + QLatin1Char('\\'))) {
        bool ok = false;
        const int n = p.mid(cpuPrefix.size() + 1).toInt(&ok);
        if (!ok || n < 0 || n >= cpus.size())
            return std::nullopt;
        const CpuInfoBlock& b = cpus[n];
        RegValues v;
        QString name = b.Value(L("model name"));
        if (name.isEmpty())
            name = b.Value(L("Processor"));
        if (!name.isEmpty())
            v[L("processornamestring")] = Sz(name);
        if (!b.Value(L("vendor_id")).isEmpty())
            v[L("vendoridentifier")] = Sz(b.Value(L("vendor_id")));
        if (!b.Value(L("cpu family")).isEmpty()) {
            const QString machine = MachineName(s);
            QString arch = machine == QLatin1String("x86_64") ? L("Intel64") : L("x86");
            if (machine == QLatin1String("x86_64") &&
                b.Value(L("vendor_id")) == QLatin1String("AuthenticAMD"))
                arch = L("AMD64");
            v[L("identifier")] =
                Sz(QStringLiteral("%1 Family %2 Model %3 Stepping %4")
                       .arg(arch, b.Value(L("cpu family")), b.Value(L("model")), b.Value(L("stepping"))));
        }
        const std::optional<QString> maxKhz =
            s.Read(QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/cpuinfo_max_freq").arg(n));
        if (maxKhz && maxKhz->toLongLong() > 0)
            v[L("~mhz")] = Dword(static_cast<std::int32_t>(maxKhz->toLongLong() / 1000));
        else if (!b.Value(L("cpu MHz")).isEmpty())
            v[L("~mhz")] = Dword(static_cast<std::int32_t>(std::lround(b.Value(L("cpu MHz")).toDouble())));
        return v;
    }
    if (p == L("hardware\\description\\system\\bios")) {
        RegValues v;
        const struct {
            const char* value;
            const char* file;
        } map[] = {{"baseboardmanufacturer", "board_vendor"}, {"baseboardproduct", "board_name"},
                   {"baseboardversion", "board_version"},     {"biosvendor", "bios_vendor"},
                   {"biosversion", "bios_version"},           {"biosreleasedate", "bios_date"},
                   {"systemmanufacturer", "sys_vendor"},      {"systemproductname", "product_name"},
                   {"systemversion", "product_version"}};
        for (const auto& m : map)
            if (const std::optional<QString> t = s.Read(L("sys/class/dmi/id/") + L(m.file)))
                v[L(m.value)] = Sz(*t);
        return v;
    }
    if (p == L("software\\microsoft\\windows nt\\currentversion")) {
        RegValues v;
        const QString pretty = OsReleaseValue(s, L("PRETTY_NAME"));
        if (!pretty.isEmpty())
            v[L("productname")] = Sz(pretty);
        const QString release = KernelRelease(s);
        if (!release.isEmpty()) {
            const QString build = QString::number(KernelNumbers(s)[2]);
            v[L("currentbuild")] = Sz(build);
            v[L("currentbuildnumber")] = Sz(build);
        }
        return v;
    }
    return std::nullopt;
}

// Reads one value; nullopt when the key does not exist, a value with found=false when the value does not.
struct Lookup {
    bool found = false;
    RegValue value;
};

std::optional<Lookup> Read(RegRoot root, const QString& path, const QString& name) {
    Lookup l;
    if (root == RegRoot::LocalMachine) {
        const std::optional<RegValues> key = MachineKey(path);
        if (!key)
            return std::nullopt;
        const auto it = key->constFind(name.toLower());
        if (it != key->cend()) {
            l.found = true;
            l.value = *it;
        }
        return l;
    }
    QString userPath = path;
    while (userPath.startsWith(QLatin1Char('\\')))
        userPath.remove(0, 1);
    const RegistryKey key(userPath, false);
    if (!key.Exists())
        return std::nullopt;
    if (const std::optional<std::int32_t> n = key.ReadInteger(name)) {
        l.found = true;
        l.value = Dword(*n);
    } else if (key.ValueExists(name)) {
        l.found = true;
        l.value = Sz(key.ReadString(name));
    }
    return l;
}

} // namespace

std::uint32_t RegAccessFor(const QString& path, bool wow64) {
    if (!wow64)
        return kKeyAllAccess;
    return kKeyAllAccess | (path.contains(QLatin1String("Wow6432Node")) ? kKeyWow64_32Key : kKeyWow64_64Key);
}

QString RegReadString(RegRoot root, const QString& path, const QString& name) {
    const std::optional<Lookup> l = Read(root, path, name);
    if (!l)
        return {};
    return l->found && l->value.isString ? l->value.text : kNoData;
}

QString RegReadIntText(RegRoot root, const QString& path, const QString& name) {
    const std::optional<Lookup> l = Read(root, path, name);
    if (!l)
        return {};
    return l->found && !l->value.isString ? QString::number(l->value.number) : kNoData;
}

QString CpuNameFromRegistry() {
    const std::optional<Lookup> l =
        Read(RegRoot::LocalMachine, QStringLiteral("\\HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0"),
             QStringLiteral("ProcessorNameString"));
    if (!l || !l->found)
        return {};
    return l->value.isString ? l->value.text : QString();
}

} // namespace orv
