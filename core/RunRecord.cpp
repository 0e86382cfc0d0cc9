#include "core/RunRecord.h"

#include "core/MainModel.h"
#include "core/RunReport.h"
#include "platform/Version.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonValue>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

const char* const kCategoryKeys[5] = {"cpu", "ram", "hdd", "2d", "3d"};

QString StatusOf(const RowResult& r) {
    switch (r.status) {
    case RowResult::Status::Finished:
        return r.failure.isEmpty() ? QStringLiteral("finished") : QStringLiteral("failed");
    case RowResult::Status::Skipped:
        return QStringLiteral("skipped");
    case RowResult::Status::Running:
        return QStringLiteral("interrupted");
    case RowResult::Status::NotRun:
        break;
    }
    return QStringLiteral("not-run");
}

QJsonObject SpreadJson(const Spread& s) {
    QJsonObject o;
    o[QStringLiteral("median")] = s.median;
    o[QStringLiteral("min")] = s.min;
    o[QStringLiteral("max")] = s.max;
    o[QStringLiteral("count")] = s.count;
    o[QStringLiteral("percent")] = s.Percent();
    return o;
}

Spread SpreadFromJson(const QJsonValue& v, double single) {
    if (!v.isObject())
        return Spread{single, single, single, 1};
    const QJsonObject o = v.toObject();
    return Spread{o[QStringLiteral("median")].toDouble(), o[QStringLiteral("min")].toDouble(),
                  o[QStringLiteral("max")].toDouble(), o[QStringLiteral("count")].toInt()};
}

std::int32_t RoundedScore(double v) {
    return static_cast<std::int32_t>(std::lround(v));
}

} // namespace

std::array<CategoryRecord, 5> EmptyCategories() {
    static const char* const kCaptions[5] = {"CPU: ", "RAM: ", "HDD: ", "2D: ", "3D: "};
    std::array<CategoryRecord, 5> out{};
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] =
            CategoryRecord{QString::fromLatin1(kCategoryKeys[i]), QString::fromLatin1(kCaptions[i]), 0, {}};
    return out;
}

double Spread::Percent() const {
    if (count < 2 || median == 0)
        return 0;
    return (max - min) / std::fabs(median) * 100.0;
}

double Spread::MinPercent() const {
    return median == 0 ? 0 : (min - median) / std::fabs(median) * 100.0;
}

double Spread::MaxPercent() const {
    return median == 0 ? 0 : (max - median) / std::fabs(median) * 100.0;
}

Spread SpreadOf(std::vector<double> values) {
    Spread s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.count = static_cast<int>(n);
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
    return s;
}

const RowRecord* RunRecord::Row(int row) const {
    for (const RowRecord& r : rows)
        if (r.row == row)
            return &r;
    return nullptr;
}

QStringList RunRecord::UnstableRows() const {
    QStringList out;
    for (const RowRecord& r : rows)
        if (r.Unstable())
            out << r.title;
    return out;
}

QString ComputerKey(const std::vector<std::pair<QString, QString>>& profile) {
    QByteArray id;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly))
            id = f.readAll().trimmed();
        if (!id.isEmpty())
            break;
    }
    if (id.isEmpty()) {
        // No machine id: the parts that make the computer what it is.
        for (const auto& [caption, text] : profile)
            if (caption != QLatin1String("System"))
                id += text.toUtf8() + '\n';
    }
    return QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha256).toHex().left(16));
}

RunRecord RecordOfRun(const MainModel& m, const RunConditions& conditions, bool cancelled) {
    RunRecord r;
    r.date = QDateTime::currentDateTime();
    r.version = ProgramVersionText();
    r.cancelled = cancelled;
    r.boostMode = m.Scores.BoostMode;
    r.workDivisor = m.WorkDivisor;
    for (const RowInfo& info : Catalogue()) {
        const RowResult& res = m.Result(info.row);
        RowRecord row;
        row.row = info.row;
        row.suffix = QString::fromLatin1(info.suffix);
        row.title = QString::fromUtf8(info.title);
        row.status = StatusOf(res);
        if (row.status == QLatin1String("finished")) {
            row.value = res.value;
            row.unit = res.unit;
            row.detail = res.detail;
            row.score = res.score;
            row.scores = Spread{double(res.score), double(res.score), double(res.score), 1};
        } else if (row.status == QLatin1String("failed")) {
            row.reason = res.failure;
        } else if (row.status == QLatin1String("skipped")) {
            row.reason = res.skipReason;
        }
        r.rows.push_back(row);
    }
    const auto lines = CategoryLines(m.Scores);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double s = cancelled ? 0 : lines[i].score;
        r.categories[i] = CategoryRecord{QString::fromLatin1(kCategoryKeys[i]), lines[i].caption,
                                         cancelled ? 0 : lines[i].score, Spread{s, s, s, 1}};
    }
    r.overall = cancelled ? 0 : m.Scores.Overall();
    r.overallScores = Spread{double(r.overall), double(r.overall), double(r.overall), 1};
    r.skipped = m.SkippedCategories();
    r.profile = {{QStringLiteral("Procesor"), m.CpuInfo.trimmed()},
                 {QStringLiteral("Pamięć"), m.RamInfo.trimmed()},
                 {QStringLiteral("Dyski"), (m.HddInfo + m.HddInfo2).trimmed()},
                 {QStringLiteral("Karta graficzna"), m.GpuInfo.trimmed()},
                 {QStringLiteral("System"), m.OsInfo.trimmed()}};
    r.computer = ComputerKey(r.profile);
    r.conditions = conditions;
    return r;
}

RunRecord CombineRuns(const std::vector<RunRecord>& runs) {
    if (runs.empty())
        return {};
    if (runs.size() == 1)
        return runs.front();
    RunRecord c = runs.back();
    c.repeats = static_cast<int>(runs.size());
    c.date = runs.front().date;
    c.runs = QJsonArray();
    for (const RunRecord& r : runs)
        c.runs.append(RecordJson(r));
    for (RowRecord& row : c.rows) {
        std::vector<double> scores;
        const RowRecord* nearest = nullptr;
        for (const RunRecord& r : runs)
            if (const RowRecord* rr = r.Row(row.row); rr && rr->Scored())
                scores.push_back(rr->score);
        if (scores.empty())
            continue;
        row.scores = SpreadOf(scores);
        // The texts of the repeat closest to the median describe the row.
        for (const RunRecord& r : runs)
            if (const RowRecord* rr = r.Row(row.row); rr && rr->Scored())
                if (!nearest ||
                    std::fabs(rr->score - row.scores.median) < std::fabs(nearest->score - row.scores.median))
                    nearest = rr;
        const Spread kept = row.scores;
        row = *nearest;
        row.scores = kept;
        row.score = RoundedScore(kept.median);
    }
    for (std::size_t i = 0; i < c.categories.size(); ++i) {
        std::vector<double> scores;
        for (const RunRecord& r : runs)
            scores.push_back(r.categories[i].score);
        c.categories[i].scores = SpreadOf(scores);
        c.categories[i].score = RoundedScore(c.categories[i].scores.median);
    }
    std::vector<double> overall;
    for (const RunRecord& r : runs)
        overall.push_back(r.overall);
    c.overallScores = SpreadOf(overall);
    c.overall = RoundedScore(c.overallScores.median);
    // A condition that spoiled any repeat spoils the median.
    QStringList flags;
    for (const RunRecord& r : runs)
        for (const QString& f : r.conditions.flags)
            if (!flags.contains(f))
                flags << f;
    c.conditions.flags = flags;
    return c;
}

bool SpreadsSettled(const RunRecord& combined) {
    if (combined.repeats < 2)
        return false;
    for (const CategoryRecord& cat : combined.categories)
        if (cat.scores.median > 0 && cat.scores.Percent() >= kSettledSpreadPercent)
            return false;
    return true;
}

QJsonObject RecordJson(const RunRecord& r) {
    QJsonArray rows;
    for (const RowRecord& row : r.rows) {
        QJsonObject o;
        o[QStringLiteral("row")] = row.suffix;
        o[QStringLiteral("title")] = row.title;
        o[QStringLiteral("status")] = row.status;
        if (row.Scored()) {
            o[QStringLiteral("value")] = row.value;
            o[QStringLiteral("unit")] = row.unit;
            o[QStringLiteral("detail")] = row.detail;
            o[QStringLiteral("score")] = row.score;
            if (r.repeats > 1) {
                o[QStringLiteral("spread")] = SpreadJson(row.scores);
                o[QStringLiteral("unstable")] = row.Unstable();
            }
        } else if (!row.reason.isEmpty()) {
            o[QStringLiteral("reason")] = row.reason;
        }
        rows.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("program")] = QStringLiteral("Orvanta");
    root[QStringLiteral("version")] = r.version;
    root[QStringLiteral("date")] = r.date.toString(Qt::ISODate);
    if (r.id != 0)
        root[QStringLiteral("id")] = static_cast<qint64>(r.id);
    root[QStringLiteral("computer")] = r.computer;
    root[QStringLiteral("boostMode")] = r.boostMode;
    root[QStringLiteral("workDivisor")] = static_cast<qint64>(r.workDivisor);
    root[QStringLiteral("cancelled")] = r.cancelled;
    root[QStringLiteral("rows")] = rows;
    if (!r.cancelled) {
        QJsonObject cat;
        QJsonObject catSpread;
        for (const CategoryRecord& c : r.categories) {
            cat[c.key] = c.score;
            catSpread[c.key] = SpreadJson(c.scores);
        }
        root[QStringLiteral("categories")] = cat;
        root[QStringLiteral("overall")] = r.overall;
        if (r.repeats > 1) {
            root[QStringLiteral("categorySpread")] = catSpread;
            root[QStringLiteral("overallSpread")] = SpreadJson(r.overallScores);
        }
    }
    root[QStringLiteral("skipped")] = QJsonArray::fromStringList(r.skipped);
    QJsonArray profile;
    for (const auto& [caption, text] : r.profile)
        profile.append(QJsonObject{{QStringLiteral("caption"), caption}, {QStringLiteral("text"), text}});
    root[QStringLiteral("profile")] = profile;
    root[QStringLiteral("conditions")] = ConditionsJson(r.conditions);
    root[QStringLiteral("flags")] = QJsonArray::fromStringList(r.conditions.flags);
    root[QStringLiteral("warnings")] = QJsonArray::fromStringList(r.conditions.Warnings());
    root[QStringLiteral("repeats")] = r.repeats;
    if (r.repeats > 1)
        root[QStringLiteral("runs")] = r.runs;
    return root;
}

RunRecord RecordFromJson(const QJsonObject& o) {
    RunRecord r;
    r.id = o[QStringLiteral("id")].toInteger();
    r.version = o[QStringLiteral("version")].toString();
    r.date = QDateTime::fromString(o[QStringLiteral("date")].toString(), Qt::ISODate);
    r.computer = o[QStringLiteral("computer")].toString();
    r.boostMode = o[QStringLiteral("boostMode")].toBool();
    r.workDivisor =
        static_cast<std::uint32_t>(std::max<qint64>(1, o[QStringLiteral("workDivisor")].toInteger(1)));
    r.cancelled = o[QStringLiteral("cancelled")].toBool();
    r.repeats = std::max(1, o[QStringLiteral("repeats")].toInt(1));
    for (const QJsonValue& v : o[QStringLiteral("rows")].toArray()) {
        const QJsonObject ro = v.toObject();
        RowRecord row;
        row.suffix = ro[QStringLiteral("row")].toString();
        row.row = row.suffix == QLatin1String("15b") ? kRow15b : row.suffix.toInt();
        row.title = ro[QStringLiteral("title")].toString();
        row.status = ro[QStringLiteral("status")].toString();
        row.value = ro[QStringLiteral("value")].toDouble();
        row.unit = ro[QStringLiteral("unit")].toString();
        row.detail = ro[QStringLiteral("detail")].toString();
        row.score = ro[QStringLiteral("score")].toInt();
        row.reason = ro[QStringLiteral("reason")].toString();
        row.scores = row.Scored() ? SpreadFromJson(ro[QStringLiteral("spread")], row.score) : Spread{};
        r.rows.push_back(row);
    }
    const QJsonObject cat = o[QStringLiteral("categories")].toObject();
    const QJsonObject catSpread = o[QStringLiteral("categorySpread")].toObject();
    static const char* const kCaptions[5] = {"CPU: ", "RAM: ", "HDD: ", "2D: ", "3D: "};
    for (std::size_t i = 0; i < r.categories.size(); ++i) {
        const QString key = QString::fromLatin1(kCategoryKeys[i]);
        const int score = cat[key].toInt();
        r.categories[i] = CategoryRecord{key, QString::fromLatin1(kCaptions[i]), score,
                                         SpreadFromJson(catSpread[key], score)};
    }
    r.overall = o[QStringLiteral("overall")].toInt();
    r.overallScores = SpreadFromJson(o[QStringLiteral("overallSpread")], r.overall);
    for (const QJsonValue& v : o[QStringLiteral("skipped")].toArray())
        r.skipped << v.toString();
    for (const QJsonValue& v : o[QStringLiteral("profile")].toArray())
        r.profile.emplace_back(v.toObject()[QStringLiteral("caption")].toString(),
                               v.toObject()[QStringLiteral("text")].toString());
    r.conditions = ConditionsFromJson(o[QStringLiteral("conditions")].toObject());
    r.conditions.flags.clear();
    for (const QJsonValue& v : o[QStringLiteral("flags")].toArray())
        r.conditions.flags << v.toString();
    r.runs = o[QStringLiteral("runs")].toArray();
    return r;
}

std::vector<Change> CompareRecords(const RunRecord& before, const RunRecord& after) {
    std::vector<Change> out;
    const auto add = [&](const QString& name, const Spread& a, const Spread& b) {
        Change c;
        c.name = name;
        c.before = a.median;
        c.after = b.median;
        c.percent = a.median != 0 ? (b.median - a.median) / std::fabs(a.median) * 100.0 : 0;
        const double noiseA = a.count > 1 ? a.Percent() : kUnrepeatedNoisePercent;
        const double noiseB = b.count > 1 ? b.Percent() : kUnrepeatedNoisePercent;
        c.noisePercent = std::max(noiseA, noiseB);
        c.real = a.median != 0 && std::fabs(c.percent) > c.noisePercent;
        out.push_back(c);
    };
    for (const RowRecord& b : after.rows) {
        const RowRecord* a = before.Row(b.row);
        if (a && a->Scored() && b.Scored())
            add(b.title, a->scores, b.scores);
    }
    for (std::size_t i = 0; i < after.categories.size(); ++i)
        if (before.categories[i].score > 0 && after.categories[i].score > 0)
            add(after.categories[i].caption.chopped(2), before.categories[i].scores,
                after.categories[i].scores);
    add(QStringLiteral("Wynik końcowy"), before.overallScores, after.overallScores);
    return out;
}

} // namespace orv
