#include "sysinfo/WmiClasses.h"
#include "platform/Latin1.h"

#include <QDateTime>
#include <QDir>
#include <QMap>
#include <QRegularExpression>
#include <QTimeZone>

#include <cmath>
#include <cstdarg>

extern "C" {
#include <pci/pci.h>
}

namespace orv {

namespace {

std::optional<std::uint64_t> ReadNumber(const SysSources& s, const QString& rel, int base = 10) {
    const std::optional<QString> t = s.Read(rel);
    if (!t)
        return std::nullopt;
    bool ok = false;
    QString v = *t;
    if (base == 16 && v.startsWith(QLatin1String("0x")))
        v = v.mid(2);
    const std::uint64_t n = v.toULongLong(&ok, base);
    return ok ? std::optional<std::uint64_t>(n) : std::nullopt;
}

// ---- Win32_Processor: one object per processor package ----

QString ProcessorIdentifierText(const CpuInfoBlock& b, const QString& machine) {
    const QString vendor = b.Value(L("vendor_id"));
    QString arch = machine == QLatin1String("x86_64") ? L("Intel64") : L("x86");
    if (vendor == QLatin1String("AuthenticAMD") && machine == QLatin1String("x86_64"))
        arch = L("AMD64");
    if (b.Value(L("cpu family")).isEmpty())
        return {};
    return QStringLiteral("%1 Family %2 Model %3 Stepping %4")
        .arg(arch, b.Value(L("cpu family")), b.Value(L("model")), b.Value(L("stepping")));
}

QString ProcessorNameOf(const CpuInfoBlock& b) {
    for (const char* key : {"model name", "Processor", "cpu model", "Hardware"}) {
        QString v = b.Value(L(key));
        if (!v.isEmpty())
            return v;
    }
    return {};
}

std::optional<std::uint64_t> CacheKb(const SysSources& s, int cpu, int level) {
    const QString base = QStringLiteral("sys/devices/system/cpu/cpu%1/cache").arg(cpu);
    for (const QString& index : QDir(s.Path(base)).entryList({L("index*")}, QDir::Dirs, QDir::Name)) {
        const std::optional<QString> lvl = s.Read(base + QLatin1Char('/') + index + L("/level"));
        const std::optional<QString> type = s.Read(base + QLatin1Char('/') + index + L("/type"));
        if (!lvl || lvl->toInt() != level || (type && *type == QLatin1String("Instruction")))
            continue;
        const std::optional<QString> size = s.Read(base + QLatin1Char('/') + index + L("/size"));
        if (!size)
            continue;
        QString v = *size;
        std::uint64_t mul = 1;
        if (v.endsWith(QLatin1Char('K')))
            v.chop(1);
        else if (v.endsWith(QLatin1Char('M'))) {
            v.chop(1);
            mul = 1024;
        }
        bool ok = false;
        const std::uint64_t kb = v.toULongLong(&ok) * mul;
        if (ok)
            return kb;
    }
    return std::nullopt;
}

QList<WmiInstance> Processors(const SysSources& s) {
    const QList<CpuInfoBlock> cpus = ReadCpuInfo(s);
    // Packages in order of their physical id; machines that do not tell have one.
    QMap<int, QList<CpuInfoBlock>> packages;
    for (const CpuInfoBlock& b : cpus)
        packages[b.Value(L("physical id")).toInt()].append(b);
    const QString machine = MachineName(s);
    const bool wide = machine.contains(QLatin1String("64"));
    QList<WmiInstance> out;
    int n = 0;
    for (auto it = packages.cbegin(); it != packages.cend(); ++it, ++n) {
        const CpuInfoBlock& first = it->front();
        const int cpuIndex = first.Value(L("processor")).toInt();
        WmiInstance i;
        i.Set(L("DeviceID"), WmiValue::Str(QStringLiteral("CPU%1").arg(n)));
        i.Set(L("AddressWidth"), WmiValue::Int(wide ? 64 : 32));
        std::int64_t arch = -1;
        if (machine == QLatin1String("x86_64") || machine == QLatin1String("amd64"))
            arch = 9;
        else if (machine.startsWith(QLatin1Char('i')) && machine.endsWith(QLatin1String("86")))
            arch = 0;
        else if (machine == QLatin1String("aarch64") || machine == QLatin1String("arm64"))
            arch = 12;
        else if (machine.startsWith(QLatin1String("arm")))
            arch = 5;
        i.Set(L("Architecture"), arch >= 0 ? WmiValue::Int(arch) : WmiValue::Null());
        const QString ident = ProcessorIdentifierText(first, machine);
        i.Set(L("Caption"), ident.isEmpty() ? WmiValue::Null() : WmiValue::Str(ident));
        const QString mhz = first.Value(L("cpu MHz"));
        std::optional<std::uint64_t> cur;
        if (!mhz.isEmpty())
            cur = static_cast<std::uint64_t>(std::llround(mhz.toDouble()));
        else if (const auto khz = ReadNumber(
                     s,
                     QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/scaling_cur_freq").arg(cpuIndex)))
            cur = *khz / 1000;
        i.Set(L("CurrentClockSpeed"),
              cur ? WmiValue::Int(static_cast<std::int64_t>(*cur)) : WmiValue::Null());
        i.Set(L("DataWidth"), WmiValue::Int(wide ? 64 : 32));
        i.Set(L("Description"), ident.isEmpty() ? WmiValue::Null() : WmiValue::Str(ident));
        const std::optional<std::uint64_t> l2 = CacheKb(s, cpuIndex, 2);
        const std::optional<std::uint64_t> l3 = CacheKb(s, cpuIndex, 3);
        i.Set(L("L2CacheSize"), l2 ? WmiValue::Int(static_cast<std::int64_t>(*l2)) : WmiValue::Null());
        i.Set(L("L3CacheSize"), l3 ? WmiValue::Int(static_cast<std::int64_t>(*l3)) : WmiValue::Null());
        const QString vendor = first.Value(L("vendor_id"));
        i.Set(L("Manufacturer"), vendor.isEmpty() ? WmiValue::Null() : WmiValue::Str(vendor));
        std::optional<std::uint64_t> max = cur;
        if (const auto khz = ReadNumber(
                s, QStringLiteral("sys/devices/system/cpu/cpu%1/cpufreq/cpuinfo_max_freq").arg(cpuIndex)))
            max = *khz / 1000;
        i.Set(L("MaxClockSpeed"), max ? WmiValue::Int(static_cast<std::int64_t>(*max)) : WmiValue::Null());
        const QString name = ProcessorNameOf(first);
        i.Set(L("Name"), name.isEmpty() ? WmiValue::Null() : WmiValue::Str(name));
        QSet<QString> cores;
        for (const CpuInfoBlock& b : *it)
            cores.insert(b.Value(L("core id")));
        const QString coreCount = first.Value(L("cpu cores"));
        i.Set(L("NumberOfCores"), WmiValue::Int(coreCount.isEmpty() ? cores.size() : coreCount.toInt()));
        i.Set(L("NumberOfLogicalProcessors"), WmiValue::Int(it->size()));
        // CPUID leaf 1: the signature (eax) after the feature flags (edx).
        WmiValue id = WmiValue::Null();
        if (s.cpuid)
            if (const auto r = s.cpuid(1))
                id = WmiValue::Str(QStringLiteral("%1%2")
                                       .arg((*r)[3], 8, 16, QLatin1Char('0'))
                                       .arg((*r)[0], 8, 16, QLatin1Char('0'))
                                       .toUpper());
        i.Set(L("ProcessorId"), id);
        i.Set(L("ProcessorType"), WmiValue::Int(3));
        i.Set(L("Role"), WmiValue::Str(L("CPU")));
        const QString socket = QStringLiteral("CPU %1").arg(it.key());
        i.Set(L("SocketDesignation"), WmiValue::Str(socket));
        i.Set(L("Status"), WmiValue::Str(L("OK")));
        out.append(i);
    }
    return out;
}

// ---- Win32_VideoController: display-class PCI functions ----

void QuietWarning(char*, ...) {}

QString PciLookup(const SysSources& s, int flags, unsigned vendor, unsigned device) {
    pci_access* a = pci_alloc();
    if (!a)
        return {};
    a->warning = QuietWarning;
    QByteArray ids;
    if (!s.Live()) {
        ids = QFile::encodeName(s.Path(L("usr/share/misc/pci.ids")));
        pci_set_name_list_path(a, ids.data(), 0);
        flags |= PCI_LOOKUP_NO_HWDB;
    }
    char buf[512] = {};
    const char* r = pci_lookup_name(a, buf, sizeof buf, flags, vendor, device);
    QString out = r ? QString::fromUtf8(r) : QString();
    if (!s.Live())
        a->id_file_name = nullptr; // not ours to free
    pci_cleanup(a);
    return out;
}

QString UeventValue(const SysSources& s, const QString& rel, const QString& key) {
    const std::optional<QString> t = s.Read(rel + L("/uevent"));
    if (!t)
        return {};
    for (const QString& line : t->split(QLatin1Char('\n')))
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1);
    return {};
}

// Kernel order of disk names: by driver prefix, then numbers by value and drive letters by length
// (sdz before sdaa).
QStringList KernelSorted(QStringList names) {
    static const QRegularExpression token(QStringLiteral("\\d+|\\D+"));
    auto split = [](const QString& n) {
        QString prefix = n;
        QString rest;
        for (const char* p : {"nvme", "mmcblk", "xvd", "sd", "vd", "hd"}) {
            if (n.startsWith(QLatin1String(p))) {
                prefix = QString::fromLatin1(p);
                rest = n.mid(prefix.size());
                break;
            }
        }
        QStringList parts;
        for (auto it = token.globalMatch(rest); it.hasNext();)
            parts.append(it.next().captured(0));
        return std::pair<QString, QStringList>(prefix, parts);
    };
    auto less = [&split](const QString& a, const QString& b) {
        const auto [pa, ta] = split(a);
        const auto [pb, tb] = split(b);
        if (pa != pb)
            return pa < pb;
        for (qsizetype i = 0; i < std::min(ta.size(), tb.size()); ++i) {
            const QString& x = ta[i];
            const QString& y = tb[i];
            const bool digits = x.front().isDigit() && y.front().isDigit();
            if (digits && x.toULongLong() != y.toULongLong())
                return x.toULongLong() < y.toULongLong();
            if (!digits && (x.size() != y.size() || x != y))
                return x.size() != y.size() ? x.size() < y.size() : x < y;
        }
        return ta.size() < tb.size();
    };
    std::sort(names.begin(), names.end(), less);
    return names;
}

QList<WmiInstance> VideoControllers(const SysSources& s) {
    QList<WmiInstance> out;
    const QString base = L("sys/bus/pci/devices");
    for (const QString& addr : QDir(s.Path(base)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dev = base + QLatin1Char('/') + addr;
        const std::optional<std::uint64_t> cls = ReadNumber(s, dev + L("/class"), 16);
        if (!cls || (*cls >> 16) != 0x03)
            continue;
        const unsigned vendor = static_cast<unsigned>(ReadNumber(s, dev + L("/vendor"), 16).value_or(0));
        const unsigned device = static_cast<unsigned>(ReadNumber(s, dev + L("/device"), 16).value_or(0));
        const unsigned subVendor =
            static_cast<unsigned>(ReadNumber(s, dev + L("/subsystem_vendor"), 16).value_or(0));
        const unsigned subDevice =
            static_cast<unsigned>(ReadNumber(s, dev + L("/subsystem_device"), 16).value_or(0));
        const unsigned revision = static_cast<unsigned>(ReadNumber(s, dev + L("/revision"), 16).value_or(0));
        const QString vendorName = PciVendorName(s, vendor);
        const QString deviceName = PciLookup(s, PCI_LOOKUP_DEVICE, vendor, device);
        const QString driver = UeventValue(s, dev, L("DRIVER"));
        WmiInstance i;
        i.Set(L("DeviceID"), WmiValue::Str(QStringLiteral("VideoController%1").arg(out.size() + 1)));
        i.Set(L("AdapterCompatibility"), WmiValue::Str(vendorName));
        const std::optional<std::uint64_t> vram = ReadNumber(s, dev + L("/mem_info_vram_total"));
        i.Set(L("AdapterRAM"),
              vram ? WmiValue::Int(static_cast<std::int64_t>(std::min<std::uint64_t>(*vram, 0xFFFFFFFFu)))
                   : WmiValue::Null());
        const QString name = PciDeviceName(s, vendor, device);
        i.Set(L("Caption"), WmiValue::Str(name));
        i.Set(L("Description"), WmiValue::Str(name));
        i.Set(L("DriverVersion"), driver.isEmpty()
                                      ? WmiValue::Null()
                                      : WmiValue::OptStr(s.Read(L("sys/module/") + driver + L("/version"))));
        i.Set(L("InstalledDisplayDrivers"), driver.isEmpty() ? WmiValue::Null() : WmiValue::Str(driver));
        i.Set(L("Name"), WmiValue::Str(name));
        i.Set(L("PNPDeviceID"), WmiValue::Str(QStringLiteral("PCI\\VEN_%1&DEV_%2&SUBSYS_%3%4&REV_%5\\%6")
                                                  .arg(vendor, 4, 16, QLatin1Char('0'))
                                                  .arg(device, 4, 16, QLatin1Char('0'))
                                                  .arg(subDevice, 4, 16, QLatin1Char('0'))
                                                  .arg(subVendor, 4, 16, QLatin1Char('0'))
                                                  .arg(revision, 2, 16, QLatin1Char('0'))
                                                  .toUpper()
                                                  .arg(addr)));
        i.Set(L("Status"), WmiValue::Str(L("OK")));
        i.Set(L("VideoProcessor"), deviceName.isEmpty() ? WmiValue::Null() : WmiValue::Str(deviceName));
        out.append(i);
    }
    return out;
}

// ---- Win32_DiskDrive: whole disks in the kernel's naming order ----

bool IsDiskName(const QString& n) {
    for (const char* skip : {"loop", "ram", "zram", "dm-", "md", "sr", "nbd", "fd", "zd", "rbd", "drbd"})
        if (n.startsWith(QLatin1String(skip)))
            return false;
    return true;
}

WmiValue DiskModelOf(const SysSources& s, const QString& block, const QString& name) {
    const QString dev = block + L("/device");
    QString model = s.Read(dev + L("/model")).value_or(QString()).simplified();
    const QString vendor = s.Read(dev + L("/vendor")).value_or(QString()).simplified();
    if (!model.isEmpty()) {
        // SCSI and USB disks name their maker apart; "ATA" is only the bus.
        if (!vendor.isEmpty() && !vendor.startsWith(QLatin1String("0x")) && vendor != QLatin1String("ATA") &&
            !model.startsWith(vendor, Qt::CaseInsensitive))
            model = vendor + QLatin1Char(' ') + model;
        return WmiValue::Str(model);
    }
    if (const std::optional<QString> mmc = s.Read(dev + L("/name")); mmc && !mmc->isEmpty())
        return WmiValue::Str(*mmc);
    if (name.startsWith(QLatin1String("vd")))
        return WmiValue::Str(L("Virtio Block Device"));
    if (name.startsWith(QLatin1String("xvd")))
        return WmiValue::Str(L("Xen Virtual Block Device"));
    return WmiValue::Null();
}

QList<WmiInstance> DiskDrives(const SysSources& s) {
    QList<WmiInstance> out;
    const QString base = L("sys/block");
    QStringList names;
    for (const QString& n : QDir(s.Path(base)).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System))
        if (IsDiskName(n) && QFileInfo(s.Path(base + QLatin1Char('/') + n + L("/device"))).exists())
            names.append(n);
    for (const QString& n : KernelSorted(names)) {
        const QString block = base + QLatin1Char('/') + n;
        const int index = static_cast<int>(out.size());
        WmiInstance i;
        i.Set(L("DeviceID"), WmiValue::Str(QStringLiteral("\\\\.\\PHYSICALDRIVE%1").arg(index)));
        const std::optional<std::uint64_t> sector = ReadNumber(s, block + L("/queue/logical_block_size"));
        i.Set(L("BytesPerSector"), WmiValue::Int(static_cast<std::int64_t>(sector.value_or(512))));
        const WmiValue model = DiskModelOf(s, block, n);
        i.Set(L("Caption"), model);
        i.Set(L("FirmwareRevision"), WmiValue::OptStr([&] {
                  std::optional<QString> f = s.Read(block + L("/device/firmware_rev"));
                  return f ? f : s.Read(block + L("/device/rev"));
              }()));
        i.Set(L("Index"), WmiValue::Int(index));
        QString bus = L("SCSI");
        if (n.startsWith(QLatin1String("hd")))
            bus = L("IDE");
        else if (n.startsWith(QLatin1String("mmcblk")))
            bus = L("SD");
        i.Set(L("InterfaceType"), WmiValue::Str(bus));
        const bool removable = ReadNumber(s, block + L("/removable")).value_or(0) != 0;
        i.Set(L("MediaType"), WmiValue::Str(removable ? L("Removable Media") : L("Fixed hard disk media")));
        i.Set(L("Model"), model);
        int partitions = 0;
        for (const QString& child : QDir(s.Path(block)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (QFileInfo::exists(s.Path(block + QLatin1Char('/') + child + L("/partition"))))
                ++partitions;
        i.Set(L("Partitions"), WmiValue::Int(partitions));
        i.Set(L("SerialNumber"), WmiValue::OptStr([&] {
                  std::optional<QString> f = s.Read(block + L("/device/serial"));
                  return f ? f : s.Read(block + L("/device/wwid"));
              }()));
        const std::optional<std::uint64_t> sectors = ReadNumber(s, block + L("/size"));
        i.Set(L("Size"), sectors ? WmiValue::UInt64(*sectors * 512) : WmiValue::Null());
        i.Set(L("Status"), WmiValue::Str(L("OK")));
        out.append(i);
    }
    return out;
}

// ---- Win32_BaseBoard: the DMI board, or the device-tree model ----

QList<WmiInstance> BaseBoards(const SysSources& s) {
    const QString dmi = L("sys/class/dmi/id");
    WmiInstance i;
    i.Set(L("Tag"), WmiValue::Str(L("Base Board")));
    i.Set(L("Caption"), WmiValue::Str(L("Base Board")));
    i.Set(L("HostingBoard"), WmiValue::Bool(true));
    if (QFileInfo(s.Path(dmi)).isDir()) {
        i.Set(L("Manufacturer"), WmiValue::OptStr(s.Read(dmi + L("/board_vendor"))));
        i.Set(L("Name"), WmiValue::Str(L("Base Board")));
        i.Set(L("Product"), WmiValue::OptStr(s.Read(dmi + L("/board_name"))));
        // Readable by the administrator only; others get a null serial.
        i.Set(L("SerialNumber"), WmiValue::OptStr(s.Read(dmi + L("/board_serial"))));
        i.Set(L("Status"), WmiValue::Str(L("OK")));
        i.Set(L("Version"), WmiValue::OptStr(s.Read(dmi + L("/board_version"))));
        return {i};
    }
    std::optional<QString> model = s.Read(L("proc/device-tree/model"));
    if (!model)
        model = s.Read(L("sys/firmware/devicetree/base/model"));
    if (!model)
        return {};
    i.Set(L("Manufacturer"), WmiValue::Null());
    i.Set(L("Name"), WmiValue::Str(L("Base Board")));
    i.Set(L("Product"), WmiValue::Str(*model));
    std::optional<QString> serial = s.Read(L("proc/device-tree/serial-number"));
    i.Set(L("SerialNumber"), WmiValue::OptStr(serial));
    i.Set(L("Status"), WmiValue::Str(L("OK")));
    i.Set(L("Version"), WmiValue::Null());
    return {i};
}

// ---- Win32_OperatingSystem ----

QString CimDateTime(const QDateTime& t) {
    const int offset = t.offsetFromUtc() / 60;
    return t.toString(QStringLiteral("yyyyMMddHHmmss")) +
           QStringLiteral(".%1").arg(t.time().msec() * 1000, 6, 10, QLatin1Char('0')) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1").arg(std::abs(offset), 3, 10, QLatin1Char('0'));
}

WmiValue KbValue(const std::optional<std::uint64_t>& a,
                 const std::optional<std::uint64_t>& b = std::uint64_t{0}) {
    return a && b ? WmiValue::UInt64(*a + *b) : WmiValue::Null();
}

QList<WmiInstance> OperatingSystems(const SysSources& s) {
    const std::array<int, 3> k = KernelNumbers(s);
    QString caption = OsReleaseValue(s, L("PRETTY_NAME"));
    if (caption.isEmpty())
        caption = s.Read(L("proc/sys/kernel/ostype")).value_or(L("Linux"));
    const QString machine = MachineName(s);
    WmiInstance i;
    i.Set(L("Name"), WmiValue::Str(caption + L("|/")));
    i.Set(L("BuildNumber"), WmiValue::Str(QString::number(k[2])));
    i.Set(L("Caption"), WmiValue::Str(caption));
    i.Set(L("CSName"), WmiValue::OptStr(s.Read(L("proc/sys/kernel/hostname"))));
    const auto total = MeminfoKb(s, L("MemTotal"));
    auto avail = MeminfoKb(s, L("MemAvailable"));
    if (!avail)
        avail = MeminfoKb(s, L("MemFree"));
    const auto swapTotal = MeminfoKb(s, L("SwapTotal"));
    const auto swapFree = MeminfoKb(s, L("SwapFree"));
    i.Set(L("FreePhysicalMemory"), KbValue(avail));
    i.Set(L("FreeSpaceInPagingFiles"), KbValue(swapFree));
    i.Set(L("FreeVirtualMemory"), KbValue(avail, swapFree));
    WmiValue boot = WmiValue::Null();
    if (const std::optional<QString> stat = s.Read(L("proc/stat"))) {
        for (const QString& line : stat->split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("btime "))) {
                bool ok = false;
                const qint64 secs = line.mid(6).trimmed().toLongLong(&ok);
                if (ok)
                    boot = WmiValue::Str(CimDateTime(QDateTime::fromSecsSinceEpoch(secs)));
            }
        }
    }
    i.Set(L("LastBootUpTime"), boot);
    i.Set(L("LocalDateTime"), WmiValue::Str(CimDateTime(QDateTime::currentDateTime())));
    i.Set(L("Manufacturer"), WmiValue::Str(OsReleaseValue(s, L("NAME"))));
    int processes = 0;
    for (const QString& n : QDir(s.Path(L("proc"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        n.toInt(&ok);
        processes += ok ? 1 : 0;
    }
    i.Set(L("NumberOfProcesses"), WmiValue::Int(processes));
    i.Set(L("OSArchitecture"),
          machine.isEmpty()
              ? WmiValue::Null()
              : WmiValue::Str(machine.contains(QLatin1String("64")) ? L("64-bit") : L("32-bit")));
    // CIM operating-system type 36: LINUX.
    i.Set(L("OSType"), WmiValue::Int(36));
    i.Set(L("SizeStoredInPagingFiles"), KbValue(swapTotal));
    i.Set(L("TotalSwapSpaceSize"), KbValue(swapTotal));
    i.Set(L("TotalVirtualMemorySize"), KbValue(total, swapTotal));
    i.Set(L("TotalVisibleMemorySize"), KbValue(total));
    i.Set(L("Version"), WmiValue::Str(QStringLiteral("%1.%2.%3").arg(k[0]).arg(k[1]).arg(k[2])));
    return {i};
}

WmiClass Make(const char* name, const char* key, QList<WmiInstance> (*enumerate)(const SysSources&),
              std::initializer_list<const char*> props) {
    WmiClass c;
    c.name = L(name);
    c.key = L(key);
    c.enumerate = enumerate;
    for (const char* p : props)
        c.properties.append(L(p));
    return c;
}

} // namespace

const WmiValue* WmiInstance::Find(const QString& name) const {
    for (const auto& p : properties)
        if (p.first.compare(name, Qt::CaseInsensitive) == 0)
            return &p.second;
    return nullptr;
}

QString PciVendorName(const SysSources& s, unsigned vendor) {
    return PciLookup(s, PCI_LOOKUP_VENDOR, vendor, 0);
}

QString PciDeviceName(const SysSources& s, unsigned vendor, unsigned device) {
    return PciLookup(s, PCI_LOOKUP_VENDOR | PCI_LOOKUP_DEVICE, vendor, device);
}

const QList<WmiClass>& WmiClasses() {
    static const QList<WmiClass> classes = {
        Make("Win32_Processor", "DeviceID", Processors,
             {"DeviceID", "AddressWidth", "Architecture", "Caption", "CurrentClockSpeed", "DataWidth",
              "Description", "L2CacheSize", "L3CacheSize", "Manufacturer", "MaxClockSpeed", "Name",
              "NumberOfCores", "NumberOfLogicalProcessors", "ProcessorId", "ProcessorType", "Role",
              "SocketDesignation", "Status"}),
        Make("Win32_VideoController", "DeviceID", VideoControllers,
             {"DeviceID", "AdapterCompatibility", "AdapterRAM", "Caption", "Description", "DriverVersion",
              "InstalledDisplayDrivers", "Name", "PNPDeviceID", "Status", "VideoProcessor"}),
        Make("Win32_DiskDrive", "DeviceID", DiskDrives,
             {"DeviceID", "BytesPerSector", "Caption", "FirmwareRevision", "Index", "InterfaceType",
              "MediaType", "Model", "Partitions", "SerialNumber", "Size", "Status"}),
        Make("Win32_BaseBoard", "Tag", BaseBoards,
             {"Tag", "Caption", "HostingBoard", "Manufacturer", "Name", "Product", "SerialNumber", "Status",
              "Version"}),
        Make("Win32_OperatingSystem", "Name", OperatingSystems,
             {"Name", "BuildNumber", "Caption", "CSName", "FreePhysicalMemory", "FreeSpaceInPagingFiles",
              "FreeVirtualMemory", "LastBootUpTime", "LocalDateTime", "Manufacturer", "NumberOfProcesses",
              "OSArchitecture", "OSType", "SizeStoredInPagingFiles", "TotalSwapSpaceSize",
              "TotalVirtualMemorySize", "TotalVisibleMemorySize", "Version"}),
    };
    return classes;
}

const WmiClass* FindWmiClass(const QString& name) {
    for (const WmiClass& c : WmiClasses())
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

} // namespace orv
