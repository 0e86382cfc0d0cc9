#pragma once
#include "core/RunRecord.h"
#include "core/RunReport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace orv {

class MainModel;

// Writes a line to standard output; the console reporter's live line, if shown, goes first.
void ConsolePrint(const QString& text);

// The command line's report: the computer profile, one line per finished row, the categories and the
// overall score. On a terminal one live line follows the running test.
class ConsoleReporter final : public QObject, public RunReporter {
public:
    ConsoleReporter(std::uint32_t workDivisor, bool live);
    ~ConsoleReporter() override;
    void Begin(const MainModel& m) override;
    void RowStarted(const MainModel& m, int row) override;
    void RowEnded(const MainModel& m, int row) override;
    bool End(const MainModel& m, const RunEnd& end) override;

private:
    struct Live;
    std::uint32_t workDivisor_;
    std::unique_ptr<Live> live_;
};

// The run's JSON record (core/RunReport.h) written to a file at the end.
class JsonFileReporter final : public RunReporter {
public:
    explicit JsonFileReporter(QString path) : path_(std::move(path)) {}
    bool End(const MainModel& m, const RunEnd& end) override;

private:
    QString path_;
};

class History;

// Opens the history; what it had to say (a damaged file set aside, why it cannot open) goes to
// standard error.
bool OpenHistory(History& history);
// Stores the record in the history; its id, or 0 when it could not be kept (said on standard error).
std::int64_t KeepInHistory(RunRecord record);
// False, said on standard error, when the file could not be written.
bool WriteJsonFile(const QString& path, const QJsonObject& json);

// Keeps every finished run in the local history. A history that cannot be written costs the run nothing:
// it says so on standard error.
class HistoryReporter final : public RunReporter {
public:
    bool End(const MainModel& m, const RunEnd& end) override;
    std::int64_t LastId() const { return lastId_; }

private:
    std::int64_t lastId_ = 0;
};

// Begins the reporters now and hands them the model's rows and its end, in order. `ended` receives
// whether every reporter delivered its output.
void StartReporting(MainModel& m, const std::vector<RunReporter*>& reporters,
                    std::function<void(const RunEnd&, bool delivered)> ended);

} // namespace orv
