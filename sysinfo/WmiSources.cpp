#include "sysinfo/WmiSources.h"

#include "sysinfo/WmiClasses.h"

#include <QCryptographicHash>
#include <QDate>
#include <QRegularExpression>

namespace orv {

const char* const kWmiMemoryQuery =
    "SELECT FreePhysicalMemory, FreeSpaceInPagingFiles, FreeVirtualMemory, SizeStoredInPagingFiles, "
    "TotalSwapSpaceSize, TotalVirtualMemorySize, TotalVisibleMemorySize FROM Win32_OperatingSystem";

WmiValue WmiValue::Int(std::int64_t v) {
    WmiValue w;
    w.kind = Kind::Integer;
    w.integer = v;
    return w;
}
WmiValue WmiValue::Real(double v) {
    WmiValue w;
    w.kind = Kind::Real;
    w.real = v;
    return w;
}
WmiValue WmiValue::Str(const QString& v) {
    WmiValue w;
    w.kind = Kind::String;
    w.string = v;
    return w;
}
WmiValue WmiValue::UInt64(std::uint64_t v) {
    return Str(QString::number(v));
}
WmiValue WmiValue::Bool(bool v) {
    WmiValue w;
    w.kind = Kind::Boolean;
    w.boolean = v;
    return w;
}
WmiValue WmiValue::Array(const QList<WmiValue>& v) {
    WmiValue w;
    w.kind = Kind::Array;
    w.items = v;
    return w;
}

QString WmiValue::Text() const {
    switch (kind) {
    case Kind::Null:
        return QStringLiteral("NULL");
    case Kind::Integer:
        return QString::number(integer);
    case Kind::Real: {
        QString t = QString::number(real, 'g', 15);
        return t.replace(QStringLiteral("e+"), QStringLiteral("E"))
            .replace(QLatin1Char('e'), QLatin1Char('E'));
    }
    case Kind::String:
        return string;
    case Kind::Boolean:
        return boolean ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Object:
        return QStringLiteral("<CIM Object>");
    case Kind::Char16:
        return QStringLiteral("<16-bit character>");
    case Kind::Array: {
        QStringList parts;
        for (const WmiValue& v : items)
            parts.append(v.Text());
        return parts.join(QLatin1Char('|'));
    }
    }
    return {};
}

namespace {

struct ParsedQuery {
    const WmiClass* cls = nullptr;
    QStringList columns; // canonical names, key first
};

std::optional<ParsedQuery> Parse(const QString& query) {
    static const QRegularExpression re(QStringLiteral("^\\s*SELECT\\s+(.+?)\\s+FROM\\s+(\\w+)\\s*$"),
                                       QRegularExpression::CaseInsensitiveOption |
                                           QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = re.match(query);
    if (!m.hasMatch())
        return std::nullopt;
    ParsedQuery q;
    q.cls = FindWmiClass(m.captured(2));
    if (!q.cls)
        return std::nullopt;
    q.columns.append(q.cls->key);
    const QString list = m.captured(1).trimmed();
    if (list == QLatin1String("*")) {
        for (const QString& p : q.cls->properties)
            if (p != q.cls->key)
                q.columns.append(p);
        return q;
    }
    for (const QString& raw : list.split(QLatin1Char(','))) {
        const QString name = raw.trimmed();
        QString canonical;
        for (const QString& p : q.cls->properties)
            if (p.compare(name, Qt::CaseInsensitive) == 0)
                canonical = p;
        if (canonical.isEmpty())
            return std::nullopt;
        if (!q.columns.contains(canonical))
            q.columns.append(canonical);
    }
    return q;
}

int ColumnOf(const QStringList& header, const QString& name) {
    for (qsizetype i = 1; i < header.size(); ++i)
        if (header[i].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

bool AllDigits(const QString& s) {
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return !s.isEmpty();
}

} // namespace

WmiTableResult WmiQueryTable(const QString& query) {
    WmiTableResult r;
    const std::optional<ParsedQuery> q = Parse(query);
    if (!q) {
        r.propertyCount = -1;
        return r;
    }
    const QList<WmiInstance> instances = q->cls->enumerate(CurrentSysSources());
    if (instances.isEmpty())
        return r;
    QStringList header{QStringLiteral("Instance")};
    header.append(q->columns);
    r.table.push_back(header);
    for (const WmiInstance& inst : instances) {
        QStringList row{QString::number(r.count + 1)};
        for (const QString& c : q->columns) {
            const WmiValue* v = inst.Find(c);
            row.append(v ? v->Text() : WmiValue::Null().Text());
        }
        r.table.push_back(row);
        ++r.count;
    }
    r.propertyCount = static_cast<int>(q->columns.size());
    return r;
}

WmiValueResult WmiQueryValue(const QString& query, const QString& property) {
    WmiValueResult r;
    const WmiTableResult t = WmiQueryTable(query);
    if (t.propertyCount < 0) {
        r.count = -1;
        return r;
    }
    r.count = t.count;
    if (t.count == 1) {
        const int col = ColumnOf(t.table[0], property);
        if (col > 0)
            r.text = t.table[1][col];
    }
    return r;
}

QString DiskModel(int index) {
    const WmiTableResult t = WmiQueryTable(QStringLiteral("SELECT Model FROM Win32_DiskDrive"));
    if (index < 0 || t.propertyCount < 0 || t.count < index + 1)
        return {};
    return t.table[static_cast<std::size_t>(index) + 1].value(2);
}

QString ProcessorProperty(const QString& name) {
    return WmiQueryValue(QStringLiteral("SELECT ") + name + QStringLiteral(" FROM Win32_Processor"), name)
        .text;
}

QString BaseBoardModel() {
    const WmiTableResult t =
        WmiQueryTable(QStringLiteral("SELECT Manufacturer, Product FROM Win32_BaseBoard"));
    if (t.count != 1 || t.propertyCount <= 1)
        return {};
    const QStringList& header = t.table[0];
    const QStringList& row = t.table[1];
    const int m = ColumnOf(header, QStringLiteral("Manufacturer"));
    const int p = ColumnOf(header, QStringLiteral("Product"));
    return (m > 0 ? row[m] : QString()) + QLatin1Char(' ') + (p > 0 ? row[p] : QString());
}

double LastBootTime() {
    const WmiValueResult r = WmiQueryValue(QStringLiteral("SELECT LastBootUpTime FROM Win32_OperatingSystem"),
                                           QStringLiteral("LastBootUpTime"));
    return r.count == 1 ? CimDateTimeToDateTime(r.text) : 0.0;
}

double CimDateTimeToDateTime(const QString& text) {
    if (text.size() != 25)
        return 0.0;
    auto field = [&text](int from, int length, bool* ok) { // positions counted from 1
        const QString part = text.mid(from - 1, length);
        *ok = AllDigits(part);
        return part.toInt();
    };
    bool ok[7] = {};
    const int year = field(1, 4, &ok[0]);
    const int month = field(5, 2, &ok[1]);
    const int day = field(7, 2, &ok[2]);
    const int hour = field(9, 2, &ok[3]);
    const int minute = field(11, 2, &ok[4]);
    const int second = field(13, 2, &ok[5]);
    const int msec = field(16, 3, &ok[6]);
    bool offsetOk = false;
    field(23, 3, &offsetOk);
    const QChar sign = text.at(21);
    offsetOk = offsetOk && (sign == QLatin1Char('+') || sign == QLatin1Char('-'));
    for (bool b : ok)
        if (!b)
            return 0.0;
    if (!offsetOk || text.at(14) != QLatin1Char('.'))
        return 0.0;
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return 0.0;
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        return -1.0;
    const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(date));
    double fraction = 0.0;
    if (hour < 24 && minute < 60 && second < 60)
        fraction = ((hour * 3600.0 + minute * 60.0 + second) * 1000.0 + msec) / 86400000.0;
    // Before the epoch the day counts down while the time of day still counts up.
    return days < 0 ? days - fraction : days + fraction;
}

WmiMemoryRecord WmiMemoryInfo() {
    WmiMemoryRecord m;
    const WmiTableResult t = WmiQueryTable(QString::fromLatin1(kWmiMemoryQuery));
    if (t.count != 1 || t.propertyCount <= 1)
        return m;
    auto value = [&t](const char* name) -> std::uint64_t {
        const int col = ColumnOf(t.table[0], QString::fromLatin1(name));
        if (col <= 0)
            return 0;
        bool ok = false;
        const std::uint64_t kb = t.table[1][col].toULongLong(&ok);
        return ok ? kb * 1024 : 0;
    };
    m.freePhysicalMemory = value("FreePhysicalMemory");
    m.freeSpaceInPagingFiles = value("FreeSpaceInPagingFiles");
    m.freeVirtualMemory = value("FreeVirtualMemory");
    m.sizeStoredInPagingFiles = value("SizeStoredInPagingFiles");
    m.totalSwapSpaceSize = value("TotalSwapSpaceSize");
    m.totalVirtualMemorySize = value("TotalVirtualMemorySize");
    m.totalVisibleMemorySize = value("TotalVisibleMemorySize");
    return m;
}

QString ComputerIdentifier() {
    const QString text =
        ProcessorProperty(QStringLiteral("ProcessorID")) + DiskModel(0) +
        WmiQueryValue(QStringLiteral("SELECT * FROM Win32_BaseBoard"), QStringLiteral("SerialNumber")).text;
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex());
}

QString CollapseSpaces(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (c != QLatin1Char(' ') || !out.endsWith(QLatin1Char(' ')))
            out.append(c);
    return out;
}

} // namespace orv
