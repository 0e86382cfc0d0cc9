#pragma once
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

// A query answer: row 0 the header ("Instance", then the property names), row i the instance number
// i and its property texts in the header's order.
using T2DimStrArray = std::vector<QStringList>;

// One property value as the query facility holds it, and its text form.
struct WmiValue {
    enum class Kind { Null, Integer, Real, String, Boolean, Array, Object, Char16 };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    QString string; // strings, 64-bit integers, date-times
    bool boolean = false;
    QList<WmiValue> items;

    static WmiValue Null() { return {}; }
    static WmiValue Int(std::int64_t v);
    static WmiValue Real(double v);
    static WmiValue Str(const QString& v);
    static WmiValue UInt64(std::uint64_t v); // carried as text, as 64-bit integers are
    static WmiValue Bool(bool v);
    static WmiValue Array(const QList<WmiValue>& v);
    static WmiValue OptStr(const std::optional<QString>& v) { return v ? Str(*v) : Null(); }

    // "NULL", decimal, general real (15 digits), the text itself, "True"/"False", "<CIM Object>",
    // "<16-bit character>", element texts joined with "|".
    QString Text() const;
};

struct WmiTableResult {
    int count = 0;         // instances
    T2DimStrArray table;   // empty when there is no instance
    int propertyCount = 0; // properties of the last instance, -1 after an error
};

struct WmiValueResult {
    int count = 0; // instances, -1 after an error
    QString text;  // only when exactly one instance came back
};

// "SELECT <props|*> FROM <class>" over Win32_Processor, Win32_VideoController, Win32_DiskDrive,
// Win32_BaseBoard and Win32_OperatingSystem, answered from the running Linux system. The class's
// key property comes first; property names compare without regard to case. Anything else (another
// class, an unknown property, a WHERE clause) is an error.
WmiTableResult WmiQueryTable(const QString& query);
WmiValueResult WmiQueryValue(const QString& query, const QString& property);

// Model of disk index (0 = first disk in the system's order); empty when there is no such disk.
QString DiskModel(int index);
// A property of the processor; empty on machines with more than one processor package.
QString ProcessorProperty(const QString& name);
// "Manufacturer Product" of the board; empty unless exactly one board answers.
QString BaseBoardModel();
// Days since 30 December 1899 (local time); 0 when unknown.
double LastBootTime();
// yyyymmddHHMMSS.mmmmmmsUUU → days since 30 December 1899, local time as written (offset ignored).
// Wrong length, non-digits, month or day out of range → 0; impossible date → -1.0; impossible time →
// the date at midnight.
double CimDateTimeToDateTime(const QString& text);

// Byte counts (the kilobyte figures × 1024); all zero when the system does not answer.
struct WmiMemoryRecord {
    std::uint64_t freePhysicalMemory = 0;
    std::uint64_t freeSpaceInPagingFiles = 0;
    std::uint64_t freeVirtualMemory = 0;
    std::uint64_t sizeStoredInPagingFiles = 0;
    std::uint64_t totalSwapSpaceSize = 0;
    std::uint64_t totalVirtualMemorySize = 0;
    std::uint64_t totalVisibleMemorySize = 0;
};
extern const char* const kWmiMemoryQuery;
WmiMemoryRecord WmiMemoryInfo();

// MD5 (32 lower-case hex digits) of processor id + disk 0 model + board serial ("NULL" for a null one).
QString ComputerIdentifier();

// Every run of spaces becomes one space; nothing is trimmed.
QString CollapseSpaces(const QString& text);

} // namespace orv
