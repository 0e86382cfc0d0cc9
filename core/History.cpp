#include "core/History.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

#include <sqlite3.h>

namespace orv {

namespace {

constexpr int kSchemaVersion = 1;

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    bool Ok() const { return ok_; }
    Statement& Bind(int i, const QString& s) {
        const QByteArray utf8 = s.toUtf8();
        sqlite3_bind_text(stmt_, i, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& Bind(int i, double v) {
        sqlite3_bind_double(stmt_, i, v);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step() { return ok_ ? sqlite3_step(stmt_) : SQLITE_ERROR; }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    QString Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? QString::fromUtf8(p, sqlite3_column_bytes(stmt_, col)) : QString();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

QString Message(sqlite3* db) {
    return QString::fromUtf8(sqlite3_errmsg(db));
}

std::optional<RunRecord> FromStored(const QString& json, std::int64_t id) {
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &e);
    if (e.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    RunRecord r = RecordFromJson(doc.object());
    r.id = id;
    return r;
}

} // namespace

QString History::DefaultPath() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/orvanta/history.db");
}

History::History(QString path) : path_(std::move(path)) {}

History::~History() {
    sqlite3_close(db_);
}

bool History::Exec(const char* sql, QString* error) const {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    if (error)
        *error = QString::fromUtf8(message ? message : "unknown error");
    sqlite3_free(message);
    return false;
}

bool History::CreateSchema(QString* error) {
    if (!Exec("PRAGMA busy_timeout = 5000;"
              "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL);"
              "CREATE TABLE IF NOT EXISTS runs ("
              " id INTEGER PRIMARY KEY AUTOINCREMENT, date TEXT NOT NULL, computer TEXT NOT NULL,"
              " version TEXT NOT NULL, overall INTEGER NOT NULL, repeats INTEGER NOT NULL,"
              " flags TEXT NOT NULL, record TEXT NOT NULL);"
              "CREATE INDEX IF NOT EXISTS runs_computer ON runs (computer, id);"
              "CREATE TABLE IF NOT EXISTS run_rows ("
              " run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE, row TEXT NOT NULL,"
              " status TEXT NOT NULL, value REAL, unit TEXT, score INTEGER, spread REAL,"
              " PRIMARY KEY (run_id, row));"
              "CREATE TABLE IF NOT EXISTS run_categories ("
              " run_id INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE, category TEXT NOT NULL,"
              " score INTEGER NOT NULL, spread REAL NOT NULL, PRIMARY KEY (run_id, category));",
              error))
        return false;
    Statement version(db_, "SELECT version FROM schema_version");
    const int step = version.Step();
    if (step == SQLITE_ROW) {
        if (version.Int(0) > kSchemaVersion) {
            *error = QStringLiteral("historia pochodzi z nowszej wersji programu");
            return false;
        }
        return true;
    }
    Statement insert(db_, "INSERT INTO schema_version (version) VALUES (?)");
    insert.Bind(1, static_cast<std::int64_t>(kSchemaVersion));
    if (insert.Step() != SQLITE_DONE) {
        *error = Message(db_);
        return false;
    }
    return true;
}

bool History::SetAside(QString* notice) {
    sqlite3_close(db_);
    db_ = nullptr;
    const QString aside = path_ + QStringLiteral(".damaged-") +
                          QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QFile::remove(path_ + QStringLiteral("-journal"));
    if (!QFile::rename(path_, aside)) {
        *notice = QStringLiteral("Historia wyników %1 jest uszkodzona i nie da się jej odłożyć.").arg(path_);
        return false;
    }
    *notice =
        QStringLiteral("Historia wyników była uszkodzona: odłożono ją jako %1 i zaczęto nową.").arg(aside);
    return true;
}

bool History::Open(QString* notice) {
    if (db_)
        return true;
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        *notice = QStringLiteral("Nie można utworzyć folderu historii wyników %1.")
                      .arg(QFileInfo(path_).absolutePath());
        return false;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QByteArray native = QFile::encodeName(path_);
        if (sqlite3_open_v2(native.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
            SQLITE_OK) {
            *notice = QStringLiteral("Nie można otworzyć historii wyników %1: %2").arg(path_, Message(db_));
            sqlite3_close(db_);
            db_ = nullptr;
            return false;
        }
        QString error;
        Statement check(db_, "PRAGMA quick_check");
        const bool sound = check.Step() == SQLITE_ROW && check.Text(0) == QLatin1String("ok");
        if (sound && CreateSchema(&error)) {
            Exec("PRAGMA foreign_keys = ON", nullptr);
            return true;
        }
        if (!error.isEmpty() && error.startsWith(QLatin1String("historia pochodzi"))) {
            *notice = QStringLiteral("Nie można użyć historii wyników %1: %2").arg(path_, error);
            sqlite3_close(db_);
            db_ = nullptr;
            return false;
        }
        // Not a database, or one that fails its own check: keep it for the user, start afresh.
        if (attempt == 1 || !SetAside(notice))
            break;
    }
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
}

bool History::Store(RunRecord& record, QString* error) {
    if (!db_) {
        *error = QStringLiteral("historia wyników nie jest otwarta");
        return false;
    }
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    const auto fail = [&] {
        if (error->isEmpty())
            *error = Message(db_);
        Exec("ROLLBACK", nullptr);
        return false;
    };
    Statement run(db_, "INSERT INTO runs (date, computer, version, overall, repeats, flags, record) "
                       "VALUES (?, ?, ?, ?, ?, ?, '')");
    run.Bind(1, record.date.toString(Qt::ISODate))
        .Bind(2, record.computer)
        .Bind(3, record.version)
        .Bind(4, static_cast<std::int64_t>(record.overall))
        .Bind(5, static_cast<std::int64_t>(record.repeats))
        .Bind(6, record.conditions.flags.join(QLatin1Char(',')));
    if (run.Step() != SQLITE_DONE)
        return fail();
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    if (InsideTransaction)
        InsideTransaction();
    for (const RowRecord& row : record.rows) {
        Statement s(db_, "INSERT INTO run_rows (run_id, row, status, value, unit, score, spread) "
                         "VALUES (?, ?, ?, ?, ?, ?, ?)");
        s.Bind(1, id)
            .Bind(2, row.suffix)
            .Bind(3, row.status)
            .Bind(4, row.value)
            .Bind(5, row.unit)
            .Bind(6, static_cast<std::int64_t>(row.score))
            .Bind(7, row.scores.Percent());
        if (s.Step() != SQLITE_DONE)
            return fail();
    }
    for (const CategoryRecord& c : record.categories) {
        Statement s(db_, "INSERT INTO run_categories (run_id, category, score, spread) VALUES (?, ?, ?, ?)");
        s.Bind(1, id).Bind(2, c.key).Bind(3, static_cast<std::int64_t>(c.score)).Bind(4, c.scores.Percent());
        if (s.Step() != SQLITE_DONE)
            return fail();
    }
    RunRecord stored = record;
    stored.id = id;
    Statement json(db_, "UPDATE runs SET record = ? WHERE id = ?");
    json.Bind(1, QString::fromUtf8(QJsonDocument(RecordJson(stored)).toJson(QJsonDocument::Compact)))
        .Bind(2, id);
    if (json.Step() != SQLITE_DONE)
        return fail();
    if (!Exec("COMMIT", error))
        return fail();
    record.id = id;
    return true;
}

std::vector<RunRecord> History::Runs(const QString& computer) const {
    std::vector<RunRecord> out;
    if (!db_)
        return out;
    Statement s(db_, computer.isEmpty() ? "SELECT id, record FROM runs ORDER BY id"
                                        : "SELECT id, record FROM runs WHERE computer = ? ORDER BY id");
    if (!computer.isEmpty())
        s.Bind(1, computer);
    while (s.Step() == SQLITE_ROW)
        if (auto r = FromStored(s.Text(1), s.Int(0)))
            out.push_back(std::move(*r));
    return out;
}

std::optional<RunRecord> History::Run(std::int64_t id) const {
    if (!db_)
        return std::nullopt;
    Statement s(db_, "SELECT id, record FROM runs WHERE id = ?");
    s.Bind(1, id);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return FromStored(s.Text(1), s.Int(0));
}

} // namespace orv
