#include "gateway/Store.h"

#include "gateway/Crypto.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>
#include <stdexcept>

namespace gw {

namespace {

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string("sqlite prepare: ") + sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int i, const std::string& s) {
        sqlite3_bind_text(stmt_, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& Bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    int Step() { return sqlite3_step(stmt_); }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

const char* const kCategoryColumns[kCategoryCount] = {"cpu", "ram", "hdd", "gpu2d", "gpu3d", "overall"};

Account AccountFrom(const Statement& s) {
    return Account{s.Text(0), s.Text(1), s.Text(2), s.Int(3)};
}

} // namespace

std::int32_t Run::Overall() const {
    return static_cast<std::int32_t>((std::int64_t{cpu} + ram + hdd + gpu2d + gpu3d) / 5);
}

std::int32_t CategoryOf(const Run& r, int category) {
    switch (category) {
    case 0:
        return r.cpu;
    case 1:
        return r.ram;
    case 2:
        return r.hdd;
    case 3:
        return r.gpu2d;
    case 4:
        return r.gpu3d;
    default:
        return r.Overall();
    }
}

Store::Store(const std::string& path) {
    // Created private from the start: the file holds e-mail addresses and password hashes.
    const mode_t old = umask(077);
    const int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    umask(old);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("cannot open database " + path + ": " + message);
    }
    chmod(path.c_str(), S_IRUSR | S_IWUSR);
    sqlite3_busy_timeout(db_, 5000);
    Exec("PRAGMA foreign_keys = ON");
    Exec("CREATE TABLE IF NOT EXISTS accounts ("
         " id TEXT PRIMARY KEY,"
         " email TEXT NOT NULL UNIQUE COLLATE NOCASE,"
         " secret TEXT NOT NULL,"
         " created INTEGER NOT NULL)");
    Exec("CREATE TABLE IF NOT EXISTS runs ("
         " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
         " account TEXT NOT NULL REFERENCES accounts(id),"
         " created INTEGER NOT NULL,"
         " cpu INTEGER NOT NULL, ram INTEGER NOT NULL, hdd INTEGER NOT NULL,"
         " gpu2d INTEGER NOT NULL, gpu3d INTEGER NOT NULL, overall INTEGER NOT NULL,"
         " cpuinfo TEXT NOT NULL, raminfo TEXT NOT NULL, hddinfo TEXT NOT NULL,"
         " gpuinfo TEXT NOT NULL, osinfo TEXT NOT NULL, version TEXT NOT NULL)");
    Exec("CREATE INDEX IF NOT EXISTS runs_by_account ON runs(account, seq)");
}

Store::~Store() {
    sqlite3_close(db_);
}

void Store::Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("sqlite: " + message);
    }
}

Store::AddResult Store::AddAccount(const std::string& email, const std::string& secret, std::string* id) {
    std::lock_guard lock(mutex_);
    {
        Statement find(db_, "SELECT 1 FROM accounts WHERE email = ?1");
        find.Bind(1, email);
        if (find.Step() == SQLITE_ROW)
            return AddResult::EmailTaken;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string candidate = RandomAccountId(18);
        Statement insert(db_, "INSERT INTO accounts (id, email, secret, created) VALUES (?1, ?2, ?3, ?4)");
        insert.Bind(1, candidate)
            .Bind(2, email)
            .Bind(3, secret)
            .Bind(4, static_cast<std::int64_t>(std::time(nullptr)));
        if (insert.Step() == SQLITE_DONE) {
            *id = candidate;
            return AddResult::Added;
        }
    }
    return AddResult::Failed;
}

std::optional<Account> Store::FindByEmail(const std::string& email) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, email, secret, created FROM accounts WHERE email = ?1");
    s.Bind(1, email);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return AccountFrom(s);
}

std::optional<Account> Store::FindById(const std::string& id) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, email, secret, created FROM accounts WHERE id = ?1");
    s.Bind(1, id);
    if (s.Step() != SQLITE_ROW)
        return std::nullopt;
    return AccountFrom(s);
}

bool Store::AddRun(const Run& r) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "INSERT INTO runs (account, created, cpu, ram, hdd, gpu2d, gpu3d, overall,"
                     " cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    s.Bind(1, r.account)
        .Bind(2, r.created)
        .Bind(3, std::int64_t{r.cpu})
        .Bind(4, std::int64_t{r.ram})
        .Bind(5, std::int64_t{r.hdd})
        .Bind(6, std::int64_t{r.gpu2d})
        .Bind(7, std::int64_t{r.gpu3d})
        .Bind(8, std::int64_t{r.Overall()})
        .Bind(9, r.cpuinfo)
        .Bind(10, r.raminfo)
        .Bind(11, r.hddinfo)
        .Bind(12, r.gpuinfo)
        .Bind(13, r.osinfo)
        .Bind(14, r.version);
    return s.Step() == SQLITE_DONE;
}

Store::RunCount Store::CountRuns(const std::string& account, std::int64_t since) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT COUNT(*), COALESCE(SUM(created >= ?2), 0) FROM runs WHERE account = ?1");
    s.Bind(1, account).Bind(2, since);
    RunCount c;
    if (s.Step() == SQLITE_ROW) {
        c.total = s.Int(0);
        c.since = s.Int(1);
    }
    return c;
}

std::vector<Run> Store::RunsOf(const std::string& account) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT seq, account, created, cpu, ram, hdd, gpu2d, gpu3d, cpuinfo, raminfo, hddinfo,"
                     " gpuinfo, osinfo, version FROM runs WHERE account = ?1 ORDER BY seq DESC");
    s.Bind(1, account);
    std::vector<Run> runs;
    while (s.Step() == SQLITE_ROW) {
        Run r;
        r.seq = s.Int(0);
        r.account = s.Text(1);
        r.created = s.Int(2);
        r.cpu = static_cast<std::int32_t>(s.Int(3));
        r.ram = static_cast<std::int32_t>(s.Int(4));
        r.hdd = static_cast<std::int32_t>(s.Int(5));
        r.gpu2d = static_cast<std::int32_t>(s.Int(6));
        r.gpu3d = static_cast<std::int32_t>(s.Int(7));
        r.cpuinfo = s.Text(8);
        r.raminfo = s.Text(9);
        r.hddinfo = s.Text(10);
        r.gpuinfo = s.Text(11);
        r.osinfo = s.Text(12);
        r.version = s.Text(13);
        runs.push_back(std::move(r));
    }
    return runs;
}

std::vector<std::int32_t> Store::AllScores(int category) {
    if (category < 0 || category >= kCategoryCount)
        return {};
    // The column name comes from the fixed table above, never from a request.
    const std::string sql = std::string("SELECT ") + kCategoryColumns[category] + " FROM runs ORDER BY 1";
    std::lock_guard lock(mutex_);
    Statement s(db_, sql.c_str());
    std::vector<std::int32_t> values;
    while (s.Step() == SQLITE_ROW)
        values.push_back(static_cast<std::int32_t>(s.Int(0)));
    return values;
}

} // namespace gw
