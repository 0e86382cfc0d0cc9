#pragma once
#include "core/Scoring.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <cstdint>

namespace orv {

class MainModel;

// One category of the results: its caption as the results page writes it and its score.
struct CategoryLine {
    QString caption; // "CPU: ", "RAM: ", "HDD: ", "2D: ", "3D: "
    std::int32_t score = 0;
    QString Text() const { return caption + QString::number(score); }
};

// The five categories in the results page's order; the overall score is `Scoring::Overall`.
std::array<CategoryLine, 5> CategoryLines(const Scoring& scores);

// How a run ended, as its reporters see it.
struct RunEnd {
    bool cancelled = false;
    QString error; // why the run stopped on its own; empty when it did not
    bool Completed() const { return !cancelled && error.isEmpty(); }
};

// True when some finished row's measurement failed.
bool AnyMeasurementFailed(const MainModel& m);

// The run as a JSON record: program, date, rows with their status, categories and overall.
QJsonObject ResultsJson(const MainModel& m, bool cancelled);

// What consumes a run's results: the console, a JSON file, and whatever else keeps or shows them.
class RunReporter {
public:
    virtual ~RunReporter() = default;
    // Before the first row.
    virtual void Begin(const MainModel&) {}
    virtual void RowStarted(const MainModel&, int /*row*/) {}
    // The row finished, failed or was skipped: its record is `MainModel::Result(row)`.
    virtual void RowEnded(const MainModel&, int /*row*/) {}
    // False when the reporter could not deliver its output.
    virtual bool End(const MainModel&, const RunEnd&) { return true; }
};

} // namespace orv
