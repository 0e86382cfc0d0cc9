#include "sysinfo/SysSources.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/utsname.h>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace orv {

namespace {
SysSources& Current() {
    static SysSources s = [] {
        SysSources d;
        d.cpuid = NativeCpuid;
        return d;
    }();
    return s;
}

utsname Uname() {
    utsname u{};
    if (::uname(&u) != 0)
        u = utsname{};
    return u;
}
} // namespace

std::optional<std::array<std::uint32_t, 4>> NativeCpuid(std::uint32_t leaf) {
#if defined(__x86_64__) || defined(__i386__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if ((leaf & 0xF0000000U) == 0x40000000U) {
        // The hypervisor's leaves lie outside the ranges __get_cpuid checks; they exist when the
        // hypervisor bit is set, which the caller has looked at.
        __cpuid(leaf, a, b, c, d);
        return std::array<std::uint32_t, 4>{a, b, c, d};
    }
    if (__get_cpuid(leaf, &a, &b, &c, &d) == 0)
        return std::nullopt;
    return std::array<std::uint32_t, 4>{a, b, c, d};
#else
    (void)leaf;
    return std::nullopt;
#endif
}

QString SysSources::Path(const QString& relative) const {
    QString r = root;
    if (!r.endsWith(QLatin1Char('/')))
        r += QLatin1Char('/');
    return r + (relative.startsWith(QLatin1Char('/')) ? relative.mid(1) : relative);
}

std::optional<QString> SysSources::Read(const QString& relative) const {
    QFile f(Path(relative));
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray data = f.read(1024 * 1024);
    // Device-tree strings end with a zero byte.
    while (data.endsWith('\0'))
        data.chop(1);
    return QString::fromUtf8(data).trimmed();
}

const SysSources& CurrentSysSources() {
    return Current();
}

ScopedSysSources::ScopedSysSources(SysSources sources) : previous_(Current()) {
    Current() = std::move(sources);
}
ScopedSysSources::~ScopedSysSources() {
    Current() = previous_;
}

QString OsReleaseValue(const SysSources& s, const QString& key) {
    std::optional<QString> text = s.Read(QStringLiteral("etc/os-release"));
    if (!text)
        text = s.Read(QStringLiteral("usr/lib/os-release"));
    if (!text)
        return {};
    for (const QString& line : text->split(QLatin1Char('\n'))) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0 || line.left(eq).trimmed() != key)
            continue;
        QString v = line.mid(eq + 1).trimmed();
        if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
            v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        return v.replace(QStringLiteral("\\\""), QStringLiteral("\""));
    }
    return {};
}

std::optional<std::uint64_t> MeminfoKb(const SysSources& s, const QString& key) {
    const std::optional<QString> text = s.Read(QStringLiteral("proc/meminfo"));
    if (!text)
        return std::nullopt;
    for (const QString& line : text->split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0 || line.left(colon).trimmed() != key)
            continue;
        bool ok = false;
        const std::uint64_t v =
            line.mid(colon + 1).trimmed().section(QLatin1Char(' '), 0, 0).toULongLong(&ok);
        return ok ? std::optional<std::uint64_t>(v) : std::nullopt;
    }
    return std::nullopt;
}

QString KernelRelease(const SysSources& s) {
    if (const std::optional<QString> r = s.Read(QStringLiteral("proc/sys/kernel/osrelease"));
        r && !r->isEmpty())
        return *r;
    return s.Live() ? QString::fromLocal8Bit(Uname().release) : QString();
}

std::array<int, 3> KernelNumbers(const SysSources& s) {
    std::array<int, 3> n{0, 0, 0};
    static const QRegularExpression re(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch m = re.match(KernelRelease(s));
    for (int i = 0; i < 3 && m.hasMatch(); ++i)
        n[static_cast<std::size_t>(i)] = m.captured(i + 1).toInt();
    return n;
}

QString MachineName(const SysSources& s) {
    if (const std::optional<QString> r = s.Read(QStringLiteral("proc/sys/kernel/arch")); r && !r->isEmpty())
        return *r;
    return s.Live() ? QString::fromLocal8Bit(Uname().machine) : QString();
}

QString CpuInfoBlock::Value(const QString& key) const {
    for (const auto& f : fields)
        if (f.first == key)
            return f.second;
    return {};
}

QList<CpuInfoBlock> ReadCpuInfo(const SysSources& s) {
    QList<CpuInfoBlock> blocks;
    const std::optional<QString> text = s.Read(QStringLiteral("proc/cpuinfo"));
    if (!text)
        return blocks;
    CpuInfoBlock current;
    for (const QString& line : text->split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (line.trimmed().isEmpty() || colon < 0) {
            if (!current.fields.isEmpty())
                blocks.append(current);
            current = CpuInfoBlock{};
            continue;
        }
        const QString key = line.left(colon).trimmed();
        // A new "processor" line starts a new block even without a blank line between.
        if (key == QLatin1String("processor") && !current.Value(key).isEmpty() && !current.fields.isEmpty()) {
            blocks.append(current);
            current = CpuInfoBlock{};
        }
        current.fields.append({key, line.mid(colon + 1).trimmed()});
    }
    if (!current.fields.isEmpty())
        blocks.append(current);
    // Blocks without a processor number (ARM's trailing "Hardware" lines) describe the whole machine.
    QList<CpuInfoBlock> cpus;
    for (const CpuInfoBlock& b : blocks) {
        if (b.Value(QStringLiteral("processor")).isEmpty() && !cpus.isEmpty())
            cpus.back().fields.append(b.fields);
        else
            cpus.append(b);
    }
    return cpus;
}

} // namespace orv
