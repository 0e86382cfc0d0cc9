#include "core/RunReport.h"

#include "core/Catalogue.h"
#include "core/MainModel.h"
#include "core/RunRecord.h"
#include "platform/Version.h"

#include <QDateTime>
#include <QJsonArray>

namespace orv {

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
    return RecordJson(RecordOfRun(m, m.Conditions, cancelled));
}

} // namespace orv
