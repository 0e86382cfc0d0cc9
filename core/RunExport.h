#pragma once
#include "core/RunRecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

class History;
class MainModel;

enum class ExportFormat { Json, Csv, Html };

// "json", "csv", "html" (also from a file name's suffix, ".htm" included); nullopt for anything else.
std::optional<ExportFormat> ExportFormatNamed(const QString& name);
std::optional<ExportFormat> ExportFormatOfFile(const QString& path);

// The record in that format. The HTML report charts `earlier` runs of the same computer with it.
QByteArray ExportRecord(const RunRecord& record, ExportFormat format, const std::vector<RunRecord>& earlier);

// True for "last" and "ostatni": the last stored run rather than one by its number.
bool NamesLastRun(const QString& run);

// A stored run: "last" (or "ostatni") is this computer's last run, else the history's last; a number
// is the run with that number. nullopt with the reason otherwise.
std::optional<RunRecord> FindStoredRun(const History& history, const QString& run, const QString& computer,
                                       QString* error);

// The runs of the record's computer stored up to it, itself included, oldest first.
std::vector<RunRecord> RunsUpTo(const History& history, const RunRecord& record);

// Writes the whole file or nothing (an existing file is replaced only once the new one is complete).
bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error);

// Where the window keeps the report of a stored run: beside the history, in "raporty".
QString ReportFileOfRun(std::int64_t id);

// The results page's notice of what makes the last run untrustworthy; empty when nothing does.
QString RunNotice(const RunConditions& conditions);

// After a run: the notice, and the link to the report when the run was stored (`storedId` > 0).
void ShowRunNotice(MainModel& m, std::int64_t storedId);

// The link "Raport z testu": writes the report of the last stored run and opens it in the browser.
void RaportBtnClick(MainModel& m);

} // namespace orv
