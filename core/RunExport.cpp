#include "core/RunExport.h"

#include "core/History.h"
#include "core/MainModel.h"
#include "core/Report.h"
#include "platform/DesktopServices.h"
#include "platform/MessageBoxes.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUrl>

namespace orv {

namespace {

// The notice lists all warnings only while they fit the results page's line.
constexpr qsizetype kNoticeLength = 90;

QString OtherWarnings(qsizetype n) {
    // Polish plural of "zastrzeżenie" after a number.
    const qsizetype tens = n % 100;
    const qsizetype units = n % 10;
    if (n == 1)
        return QStringLiteral("1 inne zastrzeżenie");
    if (units >= 2 && units <= 4 && (tens < 12 || tens > 14))
        return QStringLiteral("%1 inne zastrzeżenia").arg(n);
    return QStringLiteral("%1 innych zastrzeżeń").arg(n);
}

} // namespace

std::optional<ExportFormat> ExportFormatNamed(const QString& name) {
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("json"))
        return ExportFormat::Json;
    if (n == QLatin1String("csv"))
        return ExportFormat::Csv;
    if (n == QLatin1String("html") || n == QLatin1String("htm"))
        return ExportFormat::Html;
    return std::nullopt;
}

std::optional<ExportFormat> ExportFormatOfFile(const QString& path) {
    return ExportFormatNamed(QFileInfo(path).suffix());
}

QByteArray ExportRecord(const RunRecord& record, ExportFormat format, const std::vector<RunRecord>& earlier) {
    switch (format) {
    case ExportFormat::Json:
        return QJsonDocument(RecordJson(record)).toJson(QJsonDocument::Indented);
    case ExportFormat::Csv:
        return ReportCsv(record);
    case ExportFormat::Html:
        return ReportHtml(record, earlier);
    }
    return {};
}

bool NamesLastRun(const QString& run) {
    const QString which = run.trimmed();
    return which == QLatin1String("last") || which == QLatin1String("ostatni");
}

std::optional<RunRecord> FindStoredRun(const History& history, const QString& run, const QString& computer,
                                       QString* error) {
    const QString which = run.trimmed();
    if (NamesLastRun(which)) {
        std::vector<RunRecord> runs = history.Runs(computer);
        if (runs.empty())
            runs = history.Runs();
        if (runs.empty()) {
            *error = QStringLiteral("Historia wyników jest pusta.");
            return std::nullopt;
        }
        return runs.back();
    }
    bool ok = false;
    const qint64 id = which.toLongLong(&ok);
    if (!ok || id <= 0) {
        *error = QStringLiteral("niepoprawny numer testu: %1").arg(run);
        return std::nullopt;
    }
    std::optional<RunRecord> r = history.Run(id);
    if (!r)
        *error = QStringLiteral("Nie ma testu nr %1 w historii.").arg(id);
    return r;
}

std::vector<RunRecord> RunsUpTo(const History& history, const RunRecord& record) {
    std::vector<RunRecord> out;
    for (RunRecord& r : history.Runs(record.computer))
        if (record.id <= 0 || r.id <= record.id)
            out.push_back(std::move(r));
    if (record.id <= 0)
        out.push_back(record);
    return out;
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("nie można zapisać pliku %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

QString ReportFileOfRun(std::int64_t id) {
    return QFileInfo(History::DefaultPath()).absolutePath() +
           QStringLiteral("/raporty/raport-%1.html").arg(id);
}

QString RunNotice(const RunConditions& conditions) {
    const QStringList warnings = conditions.Warnings();
    if (warnings.isEmpty())
        return {};
    const QString all = QStringLiteral("Uwaga: ") + warnings.join(QStringLiteral("; "));
    if (all.size() <= kNoticeLength || warnings.size() == 1)
        return all;
    return QStringLiteral("Uwaga: %1 (i %2, zob. raport)")
        .arg(warnings.first(), OtherWarnings(warnings.size() - 1));
}

void ShowRunNotice(MainModel& m, std::int64_t storedId) {
    m.StoredRunId = storedId;
    const QString notice = RunNotice(m.Conditions);
    m.SetText(ctl::WarunkiLbl, notice);
    m.SetVisible(ctl::WarunkiLbl, !notice.isEmpty());
    m.SetVisible(ctl::RaportBtn, storedId > 0);
}

void RaportBtnClick(MainModel& m) {
    if (m.StoredRunId <= 0)
        return;
    const auto fail = [](const QString& why) {
        Boxes().Error(QStringLiteral("Nie udało się przygotować raportu z testu: %1").arg(why));
    };
    History history;
    QString notice;
    if (!history.Open(&notice))
        return fail(notice);
    QString error;
    const std::optional<RunRecord> run = FindStoredRun(history, QString::number(m.StoredRunId), {}, &error);
    if (!run)
        return fail(error);
    const QString path = ReportFileOfRun(run->id);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("nie można utworzyć folderu %1").arg(QFileInfo(path).absolutePath()));
    if (!WriteWholeFile(path, ExportRecord(*run, ExportFormat::Html, RunsUpTo(history, *run)), &error))
        return fail(error);
    Desktop().OpenUrl(QUrl::fromLocalFile(path).toString());
}

} // namespace orv
