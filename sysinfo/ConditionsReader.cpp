#include "sysinfo/ConditionsReader.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>

namespace orv {

namespace {

// cpu0, cpu1, ...: the logical processors' folders under sys/devices/system/cpu.
QStringList CpuFolders(const SysSources& s) {
    QDir dir(s.Path(QStringLiteral("sys/devices/system/cpu")));
    QStringList out;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numbered = false;
        if (name.startsWith(QLatin1String("cpu")))
            name.mid(3).toUInt(&numbered);
        if (numbered)
            out << QStringLiteral("sys/devices/system/cpu/") + name;
    }
    std::sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.section(QLatin1String("cpu"), -1).toUInt() < b.section(QLatin1String("cpu"), -1).toUInt();
    });
    return out;
}

QString DistinctValues(const SysSources& s, const QString& file) {
    QStringList values;
    for (const QString& cpu : CpuFolders(s))
        if (const auto v = s.Read(cpu + QStringLiteral("/cpufreq/") + file);
            v && !v->isEmpty() && !values.contains(*v))
            values << *v;
    return values.join(QStringLiteral(", "));
}

// Fields of proc/<pid>/stat after the command name, which may itself hold spaces and parentheses.
QStringList StatFields(const SysSources& s, const QString& pid) {
    const auto text = s.Read(QStringLiteral("proc/%1/stat").arg(pid));
    if (!text)
        return {};
    const qsizetype close = text->lastIndexOf(QLatin1Char(')'));
    if (close < 0)
        return {};
    return text->mid(close + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString Unescape(QString s) {
    // mountinfo writes space, tab, newline and backslash as octal escapes.
    s.replace(QLatin1String("\\040"), QLatin1String(" "));
    s.replace(QLatin1String("\\011"), QLatin1String("\t"));
    s.replace(QLatin1String("\\012"), QLatin1String("\n"));
    s.replace(QLatin1String("\\134"), QLatin1String("\\"));
    return s;
}

} // namespace

MachineTicks ReadMachineTicks(const SysSources& s) {
    MachineTicks t;
    const auto text = s.Read(QStringLiteral("proc/stat"));
    if (!text)
        return t;
    const QString first = text->section(QLatin1Char('\n'), 0, 0);
    const QStringList f = first.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (f.isEmpty() || f[0] != QLatin1String("cpu"))
        return t;
    // user nice system idle iowait irq softirq steal (guest time is already inside user and nice).
    for (qsizetype i = 1; i < f.size() && i <= 8; ++i) {
        const std::uint64_t v = f[i].toULongLong();
        t.total += v;
        if (i != 4 && i != 5)
            t.busy += v;
    }
    return t;
}

std::uint64_t ReadProcessTicks(const SysSources& s, const QString& pid) {
    const QStringList f = StatFields(s, pid);
    // After the name: state(0) ppid(1) ... utime(11) stime(12).
    if (f.size() < 13)
        return 0;
    return f[11].toULongLong() + f[12].toULongLong();
}

QList<QPair<QString, std::uint64_t>> ReadChildrenTicks(const SysSources& s, const QString& pid) {
    QList<QPair<QString, std::uint64_t>> out;
    QDir proc(s.Path(QStringLiteral("proc")));
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        name.toULongLong(&numeric);
        if (!numeric || name == pid)
            continue;
        const QStringList f = StatFields(s, name);
        if (f.size() >= 13 && f[1] == pid)
            out.append({name, f[11].toULongLong() + f[12].toULongLong()});
    }
    return out;
}

QString ReadPowerSource(const SysSources& s) {
    QDir dir(s.Path(QStringLiteral("sys/class/power_supply")));
    bool mainsOnline = false;
    bool discharging = false;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QString base = QStringLiteral("sys/class/power_supply/") + name;
        const QString type = s.Read(base + QStringLiteral("/type")).value_or(QString());
        if (type == QLatin1String("Mains") || type == QLatin1String("USB")) {
            if (s.Read(base + QStringLiteral("/online")).value_or(QString()) == QLatin1String("1"))
                mainsOnline = true;
        } else if (type == QLatin1String("Battery")) {
            // Peripherals (a mouse's battery) do not power the computer.
            if (s.Read(base + QStringLiteral("/scope")).value_or(QString()) == QLatin1String("Device"))
                continue;
            if (s.Read(base + QStringLiteral("/status")).value_or(QString()) == QLatin1String("Discharging"))
                discharging = true;
        }
    }
    if (mainsOnline)
        return QStringLiteral("ac");
    if (discharging)
        return QStringLiteral("battery");
    return QStringLiteral("unknown");
}

QString ReadGovernors(const SysSources& s) {
    return DistinctValues(s, QStringLiteral("scaling_governor"));
}

QString ReadFrequencyDriver(const SysSources& s) {
    return DistinctValues(s, QStringLiteral("scaling_driver"));
}

QString ReadEnergyPreferences(const SysSources& s) {
    return DistinctValues(s, QStringLiteral("energy_performance_preference"));
}

double ReadMeanMhz(const SysSources& s) {
    double sum = 0;
    int n = 0;
    for (const QString& cpu : CpuFolders(s)) {
        bool ok = false;
        const double khz =
            s.Read(cpu + QStringLiteral("/cpufreq/scaling_cur_freq")).value_or(QString()).toDouble(&ok);
        if (ok && khz > 0) {
            sum += khz / 1000.0;
            ++n;
        }
    }
    if (n > 0)
        return sum / n;
    for (const CpuInfoBlock& b : ReadCpuInfo(s)) {
        bool ok = false;
        const double mhz = b.Value(QStringLiteral("cpu MHz")).toDouble(&ok);
        if (ok && mhz > 0) {
            sum += mhz;
            ++n;
        }
    }
    return n > 0 ? sum / n : 0;
}

std::uint64_t ReadThrottleEvents(const SysSources& s) {
    std::uint64_t sum = 0;
    QSet<QString> packages;
    for (const QString& cpu : CpuFolders(s)) {
        const QString base = cpu + QStringLiteral("/thermal_throttle/");
        sum += s.Read(base + QStringLiteral("core_throttle_count")).value_or(QString()).toULongLong();
        // Every processor of a package repeats its package's counter: count it once.
        const QString package =
            s.Read(cpu + QStringLiteral("/topology/physical_package_id")).value_or(QString());
        if (!packages.contains(package)) {
            packages.insert(package);
            sum += s.Read(base + QStringLiteral("package_throttle_count")).value_or(QString()).toULongLong();
        }
    }
    return sum;
}

bool ReadHypervisorBit(const SysSources& s) {
    if (s.cpuid)
        if (const auto r = s.cpuid(1))
            return ((*r)[2] >> 31) & 1U;
    // Without CPUID, the kernel's view of the same bit.
    const auto blocks = ReadCpuInfo(s);
    return !blocks.isEmpty() && blocks.front()
                                    .Value(QStringLiteral("flags"))
                                    .split(QLatin1Char(' '))
                                    .contains(QStringLiteral("hypervisor"));
}

QString ReadHypervisorSignature(const SysSources& s) {
    if (s.cpuid && ReadHypervisorBit(s)) {
        if (const auto r = s.cpuid(0x40000000U)) {
            char sig[13] = {};
            for (int i = 0; i < 4; ++i) {
                sig[i] = static_cast<char>(((*r)[1] >> (8 * i)) & 0xFF);
                sig[4 + i] = static_cast<char>(((*r)[2] >> (8 * i)) & 0xFF);
                sig[8 + i] = static_cast<char>(((*r)[3] >> (8 * i)) & 0xFF);
            }
            QString text;
            for (char c : sig)
                if (c >= 0x20 && c < 0x7F)
                    text += QLatin1Char(c);
            if (!text.trimmed().isEmpty())
                return text.trimmed();
        }
    }
    return s.Read(QStringLiteral("sys/hypervisor/type")).value_or(QString());
}

QString ReadSystemProduct(const SysSources& s) {
    const QString vendor = s.Read(QStringLiteral("sys/class/dmi/id/sys_vendor")).value_or(QString());
    const QString product = s.Read(QStringLiteral("sys/class/dmi/id/product_name")).value_or(QString());
    return QStringList{vendor, product}.join(QLatin1Char(' ')).trimmed();
}

MountInfo ReadMountOf(const SysSources& s, const QString& path) {
    MountInfo best;
    const auto text = s.Read(QStringLiteral("proc/self/mountinfo"));
    if (!text)
        return best;
    const QString target = s.Live() ? QFileInfo(path).canonicalFilePath() : QDir::cleanPath(path);
    qsizetype bestLength = -1;
    for (const QString& line : text->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const qsizetype dash = f.indexOf(QStringLiteral("-"));
        if (f.size() < 5 || dash < 0 || dash + 2 >= f.size())
            continue;
        const QString mountPoint = Unescape(f[4]);
        const bool inside = target == mountPoint || mountPoint == QLatin1String("/") ||
                            target.startsWith(mountPoint + QLatin1Char('/'));
        // The last of equally long mount points is the one on top.
        if (inside && mountPoint.size() >= bestLength) {
            bestLength = mountPoint.size();
            best = MountInfo{Unescape(f[dash + 2]), f[dash + 1]};
        }
    }
    return best;
}

} // namespace orv
