#pragma once
#include "core/Conditions.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace orv {

class MainModel;

// The median and the range of repeated measurements of one quantity.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
    int count = 0;
    // (max - min) / median in per cent; 0 for fewer than two values or a zero median.
    double Percent() const;
    // Where min and max lie against the median, in per cent (negative below).
    double MinPercent() const;
    double MaxPercent() const;
};

Spread SpreadOf(std::vector<double> values);

// A row's spread above this is flagged as unstable.
inline constexpr double kUnstableSpreadPercent = 5.0;
// Repeating on a budget stops once every category's spread is below this.
inline constexpr double kSettledSpreadPercent = 2.0;

// One result row of a run, as reports and the history keep it.
struct RowRecord {
    int row = 0;
    QString suffix; // "0" .. "20", "15b"
    QString title;
    QString status; // "finished", "failed", "skipped", "interrupted", "not-run"
    double value = 0;
    QString unit;
    QString detail;
    std::int32_t score = 0;
    QString reason; // why it failed or was skipped
    Spread scores;  // over the repeats that finished it
    bool Scored() const { return status == QLatin1String("finished"); }
    bool Unstable() const { return scores.count > 1 && scores.Percent() > kUnstableSpreadPercent; }
};

struct CategoryRecord {
    QString key;     // "cpu", "ram", "hdd", "2d", "3d"
    QString caption; // "CPU: " ...
    std::int32_t score = 0;
    Spread scores;
};

// The five categories with their keys and captions, unscored.
std::array<CategoryRecord, 5> EmptyCategories();

// A finished run, or the median of repeated runs, with everything it was measured under.
struct RunRecord {
    std::int64_t id = 0; // in the history; 0 before it is stored
    QDateTime date;
    QString version;
    QString computer; // identifies the computer among the history's runs
    bool cancelled = false;
    bool boostMode = false;
    std::uint32_t workDivisor = 1;
    std::vector<RowRecord> rows; // catalogue order
    std::array<CategoryRecord, 5> categories = EmptyCategories();
    std::int32_t overall = 0;
    Spread overallScores;
    QStringList skipped;
    // The computer profile: caption and text.
    std::vector<std::pair<QString, QString>> profile;
    RunConditions conditions;
    int repeats = 1;
    // Every repeat's own record (JSON) when there was more than one.
    QJsonArray runs;

    const RowRecord* Row(int row) const;
    QStringList UnstableRows() const; // titles
};

// The model's last run.
RunRecord RecordOfRun(const MainModel& m, const RunConditions& conditions, bool cancelled);

// The medians of repeated runs of the same stages, with their spreads and every run kept.
RunRecord CombineRuns(const std::vector<RunRecord>& runs);

// True when every category that scored in these runs has a spread below the settled limit.
bool SpreadsSettled(const RunRecord& combined);

// What identifies this computer: its machine id, else its profile.
QString ComputerKey(const std::vector<std::pair<QString, QString>>& profile);

// The record as JSON, and back. The JSON keeps the layout of the command line's results file.
QJsonObject RecordJson(const RunRecord& r);
RunRecord RecordFromJson(const QJsonObject& o);

// The change between two records: per row and per category, in per cent of the first.
struct Change {
    QString name;
    double before = 0;
    double after = 0;
    double percent = 0;
    // The spread a change must exceed to count: the larger of the two records' spreads, where a record
    // without repeats counts as kUnrepeatedNoisePercent.
    double noisePercent = 0;
    bool real = false;
};
inline constexpr double kUnrepeatedNoisePercent = 5.0;

std::vector<Change> CompareRecords(const RunRecord& before, const RunRecord& after);

} // namespace orv
