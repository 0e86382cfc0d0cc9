#pragma once
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace orv {

struct CliOptions {
    bool cli = false;
    bool help = false;
    bool version = false;
    bool history = false;
    // `--compare [A] [B]`: the runs' numbers in the history; missing ones are the last runs.
    bool compare = false;
    std::vector<std::int64_t> compareRuns;
    // `--export RUN --format json|csv|html FILE`: RUN is a number in the history or "last"; FILE "-" is
    // standard output. Without --format the file's suffix names the format.
    bool exportRun = false;
    QString exportWhich;
    QString exportFormat;
    QString exportFile;
    QString jsonFile;
    std::array<bool, 5> stages{true, true, true, true, true};
    unsigned workDivisor = 1;
    // Runs of the chosen stages; with a budget the most there may be.
    unsigned repeat = 1;
    unsigned budgetMinutes = 0; // 0: no budget
    // The graphics stages draw offscreen through EGL even when there is a display.
    bool offscreen = false;
    // The 3D framework's own switches ("-windowed", "-forcevsync:1", ...), passed on to it.
    QStringList frameworkSwitches;
};

// Parses the program's own options. nullopt with an error text for anything it does not know.
std::optional<CliOptions> ParseOptions(const QStringList& args, QString* error);

QString UsageText();

// `--history`: the stored runs, one line each. Returns the exit code.
int ListHistory();

// `--compare`: the change per row and category between two stored runs (by default the last two of
// this computer). Returns the exit code.
int CompareHistory(const std::vector<std::int64_t>& runs);

// `--export`: a stored run written as JSON, CSV or the HTML report. Returns the exit code.
int ExportRun(const CliOptions& options);

// Runs the benchmark without widgets and prints the results. Returns the exit code.
int RunCli(int& argc, char** argv, const CliOptions& options);

} // namespace orv
