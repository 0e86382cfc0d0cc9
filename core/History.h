#pragma once
#include "core/RunRecord.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct sqlite3;

namespace orv {

// The runs this computer's user has made, kept in an SQLite file. Each run is written in one
// transaction, so a program killed while writing leaves the runs before it and nothing of its own.
class History {
public:
    // $XDG_DATA_HOME/orvanta/history.db (~/.local/share/orvanta/history.db).
    static QString DefaultPath();

    explicit History(QString path = DefaultPath());
    ~History();
    History(const History&) = delete;
    History& operator=(const History&) = delete;

    // Opens the file, making it and its folder when missing. A file that is not a sound history is set
    // aside beside it (history.db.damaged-<time>) and a new one started; `notice` then says so. False
    // only when no history can be kept at all (`notice` says why).
    bool Open(QString* notice);
    bool IsOpen() const { return db_ != nullptr; }
    QString Path() const { return path_; }

    // Stores the record and sets its id. False with the reason when it could not be written.
    bool Store(RunRecord& record, QString* error);

    // Every run, oldest first; only this computer's when `computer` is given.
    std::vector<RunRecord> Runs(const QString& computer = {}) const;
    std::optional<RunRecord> Run(std::int64_t id) const;

    // Called inside the write's transaction, after the run's first statement (tests kill the program
    // there).
    std::function<void()> InsideTransaction;

private:
    bool Exec(const char* sql, QString* error) const;
    bool CreateSchema(QString* error);
    bool SetAside(QString* notice);

    QString path_;
    sqlite3* db_ = nullptr;
};

} // namespace orv
