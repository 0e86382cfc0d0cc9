#include "sysinfo/ComputerProfile.h"
#include "platform/Latin1.h"

#include "core/MainModel.h"
#include "sysinfo/RegistrySources.h"
#include "sysinfo/WmiSources.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QSysInfo>
#include <QTime>

#include <algorithm>
#include <cmath>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace orv {

namespace {

constexpr std::uint64_t kMiB = 1048576;

const QString kCurrentVersionKey = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
const QString kProcessorKey = QStringLiteral("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0");

// The "Name" of the first object a query returns; empty when there is none.
QString FirstName(const QString& query) {
    const WmiTableResult t = WmiQueryTable(query);
    if (t.count < 1 || t.table.size() < 2)
        return {};
    const QStringList& header = t.table[0];
    for (qsizetype c = 1; c < header.size(); ++c)
        if (header[c].compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0)
            return t.table[1].value(c);
    return {};
}

bool Known(const QString& registryText) {
    return !registryText.isEmpty() && registryText != kNoData;
}

// "0-3,6,8-9" → 7.
std::optional<int> CountCpuList(const QString& list) {
    int n = 0;
    for (const QString& part : list.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool ok1 = false;
        bool ok2 = true;
        const int from = ends[0].toInt(&ok1);
        const int to = ends.size() > 1 ? ends[1].toInt(&ok2) : from;
        if (!ok1 || !ok2 || ends.size() > 2 || to < from)
            return std::nullopt;
        n += to - from + 1;
    }
    return n > 0 ? std::optional<int>(n) : std::nullopt;
}

// Mount-table fields escape blanks and backslashes as octal (\040, \011, \012, \134).
QString UnescapeMountField(const QString& field) {
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == QLatin1Char('\\') && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out.append(QChar(code));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return out;
}

struct MountEntry {
    QString device;
    QString mountPoint;
    QString fsType;
};

QList<MountEntry> ReadMounts(const SysSources& s) {
    std::optional<QString> text = s.Read(QStringLiteral("proc/self/mounts"));
    if (!text)
        text = s.Read(QStringLiteral("proc/mounts"));
    QList<MountEntry> out;
    if (!text)
        return out;
    for (const QString& line : text->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 3)
            continue;
        out.append({UnescapeMountField(f[0]), UnescapeMountField(f[1]), f[2]});
    }
    return out;
}

// The whole disk a block device belongs to: itself, or the disk that holds it as a partition.
QString DiskOf(const SysSources& s, const QString& name) {
    if (QFileInfo::exists(s.Path(L("sys/block/") + name)))
        return name;
    const QStringList disks =
        QDir(s.Path(L("sys/block"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& disk : disks)
        if (QFileInfo::exists(s.Path(L("sys/block/") + disk + QLatin1Char('/') + name)))
            return disk;
    return {};
}

// A block device on a disk that stays in the machine. Devices the system does not list (such as
// /dev/root) count as fixed: something local is mounted from them.
bool OnFixedDisk(const SysSources& s, const QString& device) {
    QString name = QFileInfo(device).fileName();
    const QString resolved = QFileInfo(s.Live() ? device : s.Path(device)).canonicalFilePath();
    if (!resolved.isEmpty())
        name = QFileInfo(resolved).fileName();
    const QString disk = DiskOf(s, name);
    if (disk.isEmpty())
        return true;
    for (const char* virtualDisk : {"loop", "ram", "zram", "sr", "fd", "nbd"})
        if (disk.startsWith(QLatin1String(virtualDisk)))
            return false;
    const std::optional<QString> removable = s.Read(L("sys/block/") + disk + L("/removable"));
    return !(removable && removable->trimmed() == QLatin1String("1"));
}

std::uint64_t UserAddressSpace() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<std::uint64_t>(limit.rlim_cur);
#if defined(__x86_64__)
    return std::uint64_t{1} << 47;
#elif defined(__aarch64__)
    return std::uint64_t{1} << 48;
#else
    return sizeof(void*) == 8 ? std::uint64_t{1} << 47 : std::uint64_t{3} << 30;
#endif
}

// The user's long time format without the zone, which other systems do not show with a time.
QString LongTimeFormat(const QLocale& locale) {
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?\\bt+\\b\\)?"));
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(zone);
    return format.trimmed();
}

} // namespace

void JoinDiskModels(const std::array<QString, 4>& m, QString* hddInfo, QString* hddInfo2) {
    QString h = m[0];
    QString h2;
    if (!m[1].isEmpty())
        h += QStringLiteral(", ") + m[1];
    if (!m[2].isEmpty()) {
        h += QStringLiteral(", ");
        h2 = m[2];
    }
    if (!m[3].isEmpty())
        h2 += QStringLiteral(", ") + m[3];
    *hddInfo = h;
    *hddInfo2 = h2;
}

QString MegabytesUp(std::uint64_t bytes, bool trailingSpace) {
    const std::uint64_t mb = bytes / kMiB + (bytes % kMiB != 0 ? 1 : 0);
    return QString::number(mb) + (trailingSpace ? QStringLiteral(" MB ") : QStringLiteral(" MB"));
}

OsNameAndVersion OsNameFrom(const QString& majorNumber, const QString& minorNumber,
                            const QString& currentVersion, const TWindowsTypeEx& record) {
    if (majorNumber == QLatin1String("10"))
        return {QStringLiteral("Windows 10"),
                minorNumber == kNoData ? QStringLiteral("10.0") : QStringLiteral("10.") + minorNumber};
    if (currentVersion == QLatin1String("6.3"))
        return {QStringLiteral("Windows 8.1"), QStringLiteral("6.3")};
    return {CollapseSpaces(record.name), CollapseSpaces(record.version)};
}

OsNameAndVersion OperatingSystemName(const TWindowsTypeEx& record) {
    const QString major = RegReadIntText(RegRoot::LocalMachine, kCurrentVersionKey,
                                         QStringLiteral("CurrentMajorVersionNumber"));
    const QString minor = major == QLatin1String("10")
                              ? RegReadIntText(RegRoot::LocalMachine, kCurrentVersionKey,
                                               QStringLiteral("CurrentMinorVersionNumber"))
                              : QString();
    const QString current =
        RegReadString(RegRoot::LocalMachine, kCurrentVersionKey, QStringLiteral("CurrentVersion"));
    return OsNameFrom(major, minor, current, record);
}

ComputerProfile GatherComputerProfile() {
    ComputerProfile p;
    p.CpuInfo = CpuNameFromRegistry();
    if (p.CpuInfo.isEmpty())
        p.CpuInfo = FirstName(QStringLiteral("SELECT Name FROM Win32_Processor"));
    p.GpuInfo = FirstName(QStringLiteral("SELECT Name FROM Win32_VideoController"));
    JoinDiskModels({DiskModel(0), DiskModel(1), DiskModel(2), DiskModel(3)}, &p.HddInfo, &p.HddInfo2);
    p.RamInfo = MegabytesUp(WmiMemoryInfo().totalVisibleMemorySize, true);
    p.OsInfo = OperatingSystemName(GetWindowsVersion()).name;
    return p;
}

void GetComputerInfo(MainModel& m) {
    const ComputerProfile p = GatherComputerProfile();
    m.CpuInfo = p.CpuInfo;
    m.RamInfo = p.RamInfo;
    m.HddInfo = p.HddInfo;
    m.HddInfo2 = p.HddInfo2;
    m.GpuInfo = p.GpuInfo;
    m.OsInfo = p.OsInfo;
}

MemoryStatus GlobalMemoryStatus(const SysSources& s) {
    MemoryStatus st;
    const std::uint64_t total = MeminfoKb(s, L("MemTotal")).value_or(0);
    std::optional<std::uint64_t> avail = MeminfoKb(s, L("MemAvailable"));
    if (!avail)
        avail = MeminfoKb(s, L("MemFree"));
    const std::uint64_t available = std::min(avail.value_or(0), total);
    st.totalPhys = total * 1024;
    st.availPhys = available * 1024;
    if (total > 0)
        st.memoryLoad = static_cast<std::uint32_t>(((total - available) * 100 + total / 2) / total);
    st.totalPageFile = MeminfoKb(s, L("SwapTotal")).value_or(0) * 1024;
    st.availPageFile = MeminfoKb(s, L("SwapFree")).value_or(0) * 1024;
    st.totalVirtual = UserAddressSpace();
    std::uint64_t mapped = 0;
    if (const std::optional<QString> status = s.Read(L("proc/self/status"))) {
        for (const QString& line : status->split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("VmSize:")))
                mapped = line.mid(7).trimmed().section(QLatin1Char(' '), 0, 0).toULongLong() * 1024;
        }
    }
    st.availVirtual = st.totalVirtual > mapped ? st.totalVirtual - mapped : 0;
    return st;
}

SystemEnvironment ReadSystemEnvironment(const SysSources& s) {
    SystemEnvironment e;
    e.computerName = s.Read(L("proc/sys/kernel/hostname")).value_or(QString());
    if (e.computerName.isEmpty() && s.Live())
        e.computerName = QSysInfo::machineHostName();

    e.userName = qEnvironmentVariable("USER");
    if (e.userName.isEmpty())
        e.userName = qEnvironmentVariable("LOGNAME");
    if (e.userName.isEmpty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()))
            e.userName = QString::fromLocal8Bit(pw->pw_name);
    }

    std::optional<int> cpus;
    if (const std::optional<QString> online = s.Read(L("sys/devices/system/cpu/online")))
        cpus = CountCpuList(*online);
    if (!cpus) {
        const qsizetype listed = ReadCpuInfo(s).size();
        if (listed > 0)
            cpus = static_cast<int>(listed);
    }
    if (!cpus && s.Live()) {
        const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
        if (n > 0)
            cpus = static_cast<int>(n);
    }
    if (cpus)
        e.numberOfProcessors = QString::number(*cpus);

    e.processorArchitecture = MachineName(s);

    const QString ident = RegReadString(RegRoot::LocalMachine, kProcessorKey, QStringLiteral("Identifier"));
    const QString vendor =
        RegReadString(RegRoot::LocalMachine, kProcessorKey, QStringLiteral("VendorIdentifier"));
    if (Known(ident) && Known(vendor))
        e.processorIdentifier = ident + QStringLiteral(", ") + vendor;
    else if (Known(ident))
        e.processorIdentifier = ident;
    else if (Known(vendor))
        e.processorIdentifier = vendor;
    return e;
}

std::optional<DiskSpace> StatDiskSpace(const QString& mountPoint) {
    struct statvfs v {};
    if (::statvfs(QFile::encodeName(mountPoint).constData(), &v) != 0)
        return std::nullopt;
    DiskSpace d;
    d.total = static_cast<std::uint64_t>(v.f_blocks) * v.f_frsize;
    d.free = static_cast<std::uint64_t>(v.f_bavail) * v.f_frsize;
    return d;
}

QList<FixedVolume> FixedVolumes(const SysSources& s, const DiskSpaceFn& space) {
    // One mount point per file system: the shortest under which it is mounted.
    QHash<QString, QString> byDevice;
    QStringList order;
    for (const MountEntry& e : ReadMounts(s)) {
        const bool block = e.device.startsWith(QLatin1String("/dev/"));
        const bool pool = e.fsType == QLatin1String("zfs") && !e.device.startsWith(QLatin1Char('/'));
        if (!(block || pool) || !e.mountPoint.startsWith(QLatin1Char('/')))
            continue;
        if (block && !OnFixedDisk(s, e.device))
            continue;
        // Single files bound into place (containers) are not file systems of their own.
        if (s.Live() && !QFileInfo(e.mountPoint).isDir())
            continue;
        auto it = byDevice.find(e.device);
        if (it == byDevice.end()) {
            byDevice.insert(e.device, e.mountPoint);
            order.append(e.device);
        } else if (e.mountPoint.size() < it->size()) {
            *it = e.mountPoint;
        }
    }
    QList<FixedVolume> out;
    for (const QString& device : order) {
        const QString mp = byDevice.value(device);
        const std::optional<DiskSpace> d = space ? space(mp) : std::nullopt;
        if (!d || d->total == 0)
            continue;
        out.append({mp, *d});
    }
    std::sort(out.begin(), out.end(),
              [](const FixedVolume& a, const FixedVolume& b) { return a.mountPoint < b.mountPoint; });
    return out;
}

QString BootTimeText(double days) {
    if (!(days > 10.0) || !std::isfinite(days))
        return {};
    const double whole = std::floor(days);
    QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(whole));
    qint64 ms = std::llround((days - whole) * 86400000.0);
    if (ms >= 86400000) {
        date = date.addDays(1);
        ms = 0;
    }
    const QLocale locale;
    QString text = locale.toString(date, QLocale::ShortFormat);
    if (ms != 0)
        text += QLatin1Char(' ') + locale.toString(QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)),
                                                   LongTimeFormat(locale));
    return text;
}

TableRows ZbadajSystemRows(const SystemTableSources& src) {
    const SysSources& s = CurrentSysSources();
    const WmiMemoryRecord wmiMemory = WmiMemoryInfo();
    const MemoryStatus status = GlobalMemoryStatus(s);
    const TWindowsTypeEx version = GetWindowsVersion();
    const QString architecture =
        WmiQueryValue(QStringLiteral("SELECT OSArchitecture FROM Win32_OperatingSystem"),
                      QStringLiteral("OSArchitecture"))
            .text;
    const OsNameAndVersion os = OperatingSystemName(version);
    const SystemEnvironment env = ReadSystemEnvironment(s);

    TableRows rows;
    auto add = [&rows](const char* caption, const QString& value) {
        rows.append({QString::fromUtf8(caption), value});
    };
    add("Wersja programu", src.programVersion ? src.programVersion() : QString());
    add("Nazwa komputera", env.computerName);
    add("Identyfikator", ComputerIdentifier());
    add("Nazwa użytkownika", env.userName);
    add("Model płyty głównej", BaseBoardModel());
    add("Zainstalowany dysk (0)", DiskModel(0));
    for (int i = 1; i <= 3; ++i) {
        const QString model = DiskModel(i);
        if (!model.isEmpty())
            rows.append({QStringLiteral("Zainstalowany dysk (%1)").arg(i), model});
    }
    add("Czas uruchomienia komputera", BootTimeText(LastBootTime()));
    add("Nazwa systemu", os.name);
    add("Architektura systemu", CollapseSpaces(architecture));
    add("Build", CollapseSpaces(QString::number(version.build)));
    add("Wersja systemu", os.version);
    add("Service pack", version.servicePack);
    add("Wersja service pack", version.servicePackVersion);
    add("Liczba procesorów", env.numberOfProcessors);
    const double mhz = src.cpuMhz ? src.cpuMhz() : 0.0;
    add("Szybkość procesora",
        QString::number(std::isfinite(mhz) && mhz > 0 ? static_cast<qint64>(std::ceil(mhz)) : 0) +
            QStringLiteral(" MHz"));
    add("Architektura procesora", env.processorArchitecture);
    add("Identyfikator procesora", env.processorIdentifier);
    add("Używana pamięć", QString::number(status.memoryLoad) + QLatin1Char('%'));
    add("Całkowita pamięć", MegabytesUp(wmiMemory.totalVisibleMemorySize, true));
    add("Dostępna pamięć", MegabytesUp(status.availPhys, true));
    add("Całkowita pamięć pliku stron", MegabytesUp(status.totalPageFile, false));
    add("Dostępna pamięć pliku stron", MegabytesUp(status.availPageFile, false));
    add("Całkowita pamięć wirtualna", MegabytesUp(status.totalVirtual, false));
    add("Dostępna pamięć wirtualna", MegabytesUp(status.availVirtual, false));
    for (const FixedVolume& v : FixedVolumes(s, src.diskSpace)) {
        rows.append({QStringLiteral("Pojemność dysku ") + v.mountPoint,
                     QString::number(v.space.total / kMiB) + QStringLiteral(" MB")});
        rows.append({QStringLiteral("Wolne miejsce na dysku ") + v.mountPoint,
                     QString::number(v.space.free / kMiB) + QStringLiteral(" MB")});
    }
    return rows;
}

QString SelectionText(const TableRows& rows, int top, int left, int bottom, int right) {
    top = std::max(top, 0);
    left = std::max(left, 0);
    bottom = std::min(bottom, static_cast<int>(rows.size()) - 1);
    right = std::min(right, 1);
    QString out;
    for (int r = top; r <= bottom; ++r) {
        QStringList cells;
        for (int c = left; c <= right; ++c)
            cells.append(c == 0 ? rows[r].first : rows[r].second);
        out += cells.join(QLatin1Char('\t')) + QStringLiteral("\r\n");
    }
    return out;
}

QByteArray ReportBytes(const TableRows& rows) {
    QString text;
    for (const auto& row : rows)
        text += row.first + QStringLiteral(": ") + row.second + QStringLiteral("\r\n");
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

} // namespace orv
