#pragma once
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace orv {

struct CliOptions {
    bool cli = false;
    bool help = false;
    bool version = false;
    bool history = false;
    QString jsonFile;
    std::array<bool, 5> stages{true, true, true, true, true};
    unsigned workDivisor = 1;
    // Runs of the chosen stages; with a budget the most there may be.
    unsigned repeat = 1;
    unsigned budgetMinutes = 0; // 0: no budget
    // The 3D framework's own switches ("-windowed", "-forcevsync:1", ...), passed on to it.
    QStringList frameworkSwitches;
};

// Parses the program's own options. nullopt with an error text for anything it does not know.
std::optional<CliOptions> ParseOptions(const QStringList& args, QString* error);

QString UsageText();

// `--history`: the stored runs, one line each. Returns the exit code.
int ListHistory();

// Runs the benchmark without widgets and prints the results. Returns the exit code.
int RunCli(int& argc, char** argv, const CliOptions& options);

} // namespace orv
