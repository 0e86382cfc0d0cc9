#include "core/RunReport.h"

#include "core/Catalogue.h"
#include "core/MainModel.h"
#include "platform/Version.h"

#include <QDateTime>
#include <QJsonArray>

namespace orv {

namespace {

QString StatusText(RowResult::Status s) {
    switch (s) {
    case RowResult::Status::Finished:
        return QStringLiteral("finished");
    case RowResult::Status::Skipped:
        return QStringLiteral("skipped");
    case RowResult::Status::Running:
        return QStringLiteral("interrupted");
    case RowResult::Status::NotRun:
        break;
    }
    return QStringLiteral("not-run");
}

} // namespace

std::array<CategoryLine, 5> CategoryLines(const Scoring& scores) {
    const auto& s = scores.ScoreTable;
    return {{{QStringLiteral("CPU: "), s[kScoreCpu]},
             {QStringLiteral("RAM: "), s[kScoreRam]},
             {QStringLiteral("HDD: "), s[kScoreHdd]},
             {QStringLiteral("2D: "), s[kScore2d]},
             {QStringLiteral("3D: "), scores.Category3d()}}};
}

bool AnyMeasurementFailed(const MainModel& m) {
    for (const RowInfo& info : Catalogue())
        if (!m.Result(info.row).failure.isEmpty())
            return true;
    return false;
}

QJsonObject ResultsJson(const MainModel& m, bool cancelled) {
    QJsonArray rows;
    for (const RowInfo& info : Catalogue()) {
        const RowResult& r = m.Result(info.row);
        QJsonObject o;
        o[QStringLiteral("row")] = QString::fromLatin1(info.suffix);
        o[QStringLiteral("title")] = QString::fromUtf8(info.title);
        if (r.status == RowResult::Status::Finished && !r.failure.isEmpty()) {
            // The window shows its usual texts; a report must not pass them off as a measurement.
            o[QStringLiteral("status")] = QStringLiteral("failed");
            o[QStringLiteral("reason")] = r.failure;
            rows.append(o);
            continue;
        }
        o[QStringLiteral("status")] = StatusText(r.status);
        if (r.status == RowResult::Status::Finished) {
            o[QStringLiteral("value")] = r.value;
            o[QStringLiteral("unit")] = r.unit;
            o[QStringLiteral("detail")] = r.detail;
            o[QStringLiteral("score")] = r.score;
        } else if (r.status == RowResult::Status::Skipped) {
            o[QStringLiteral("reason")] = r.skipReason;
        }
        rows.append(o);
    }
    QJsonObject root;
    root[QStringLiteral("program")] = QStringLiteral("Orvanta");
    root[QStringLiteral("version")] = ProgramVersionText();
    root[QStringLiteral("date")] = QDateTime::currentDateTime().toString(Qt::ISODate);
    root[QStringLiteral("boostMode")] = m.Scores.BoostMode;
    root[QStringLiteral("cancelled")] = cancelled;
    root[QStringLiteral("rows")] = rows;
    if (!cancelled) {
        static const char* const kKeys[5] = {"cpu", "ram", "hdd", "2d", "3d"};
        const auto lines = CategoryLines(m.Scores);
        QJsonObject cat;
        for (std::size_t i = 0; i < lines.size(); ++i)
            cat[QString::fromLatin1(kKeys[i])] = lines[i].score;
        root[QStringLiteral("categories")] = cat;
        root[QStringLiteral("overall")] = m.Scores.Overall();
    }
    root[QStringLiteral("skipped")] = QJsonArray::fromStringList(m.SkippedCategories());
    return root;
}

} // namespace orv
