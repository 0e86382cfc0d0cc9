#include "gateway/SqliteStore.h"

#include "gateway/Crypto.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <ctime>
#include <map>
#include <stdexcept>
#include <tuple>

namespace gw {

namespace {

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("sqlite: " + message);
    }
}

// A prepared statement that finalises itself.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) : db_(db) {
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
    // True for a row, false at the end.
    bool Next() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw std::runtime_error(std::string("sqlite: ") + sqlite3_errmsg(db_));
    }
    void Run() {
        while (Next()) {
        }
    }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::string Text(int col) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, col));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, col))) : std::string();
    }
    std::int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    bool Null(int col) const { return sqlite3_column_type(stmt_, col) == SQLITE_NULL; }

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// Rolled back unless committed.
class Transaction {
public:
    Transaction(sqlite3* db, bool write) : db_(db) { Exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    ~Transaction() {
        if (!done_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        Exec(db_, "COMMIT");
        done_ = true;
    }

private:
    sqlite3* db_;
    bool done_ = false;
};

const char* const kCategoryColumns[kCategoryCount] = {"cpu", "ram", "hdd", "gpu2d", "gpu3d", "overall"};

constexpr const char* kRunColumns = "seq, account, created, cpu, ram, hdd, gpu2d, gpu3d, cpuinfo, raminfo, "
                                    "hddinfo, gpuinfo, osinfo, version";

Account AccountFrom(const Statement& s) {
    return Account{s.Text(0), s.Text(1), s.Text(2), s.Int(3)};
}

Run RunFrom(const Statement& s) {
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
    return r;
}

// Binds a run's columns after the account and creation time from index `first`.
void BindRun(Statement& s, int first, const Run& r) {
    s.Bind(first, r.account)
        .Bind(first + 1, r.created)
        .Bind(first + 2, std::int64_t{r.cpu})
        .Bind(first + 3, std::int64_t{r.ram})
        .Bind(first + 4, std::int64_t{r.hdd})
        .Bind(first + 5, std::int64_t{r.gpu2d})
        .Bind(first + 6, std::int64_t{r.gpu3d})
        .Bind(first + 7, std::int64_t{r.Overall()})
        .Bind(first + 8, r.cpuinfo)
        .Bind(first + 9, r.raminfo)
        .Bind(first + 10, r.hddinfo)
        .Bind(first + 11, r.gpuinfo)
        .Bind(first + 12, r.osinfo)
        .Bind(first + 13, r.version);
}

// Adds counts per (category, value) to the bins of every level.
void AddCounts(sqlite3* db, const std::map<std::pair<int, std::int64_t>, std::int64_t>& values) {
    std::map<std::tuple<int, int, std::int64_t>, std::int64_t> bins;
    for (const auto& [key, n] : values)
        for (int level = 0; level < kLevels; ++level)
            bins[{key.first, level, BinOf(key.second, level)}] += n;
    Statement add(db, "INSERT INTO score_counts (category, level, bin, n) VALUES (?1, ?2, ?3, ?4)"
                      " ON CONFLICT (category, level, bin) DO UPDATE SET n = score_counts.n + excluded.n");
    for (const auto& [key, n] : bins) {
        add.Reset();
        add.Bind(1, std::int64_t{std::get<0>(key)})
            .Bind(2, std::int64_t{std::get<1>(key)})
            .Bind(3, std::get<2>(key))
            .Bind(4, n)
            .Run();
    }
}

// Forgetting stale failure records is invisible to the limits, so it is done now and then only.
constexpr unsigned kPruneEvery = 64;

} // namespace

SqliteStore::SqliteStore(const std::string& path, Mode mode) {
    const bool readOnly = mode == Mode::ReadOnly;
    // Created private from the start: the file holds e-mail addresses and password hashes.
    const mode_t old = umask(077);
    const int rc = sqlite3_open_v2(
        path.c_str(), &db_, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
        nullptr);
    umask(old);
    if (rc != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        db_ = nullptr;
        throw std::runtime_error("cannot open database " + path + ": " + message);
    }
    try {
        sqlite3_busy_timeout(db_, 5000);
        Exec("PRAGMA foreign_keys = ON");
        if (readOnly) {
            Statement s(
                db_,
                "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN ('accounts', 'runs')");
            if (!s.Next() || s.Int(0) != 2)
                throw std::runtime_error(path + " is not a gateway database");
        } else {
            chmod(path.c_str(), S_IRUSR | S_IWUSR);
            Upgrade();
        }
    } catch (...) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw;
    }
}

SqliteStore::~SqliteStore() {
    sqlite3_close(db_);
}

void SqliteStore::Exec(const char* sql) {
    gw::Exec(db_, sql);
}

// Version 1 is the first layout, which had no version table; each step brings the file one version on.
void SqliteStore::Upgrade() {
    Transaction t(db_, true);
    Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
    Statement read(db_, "SELECT COALESCE(MAX(version), 0) FROM schema_version");
    const std::int64_t version = read.Next() ? read.Int(0) : 0;
    if (version > kSchemaVersion)
        throw std::runtime_error("the database has schema version " + std::to_string(version) +
                                 ", newer than this gateway's " + std::to_string(kSchemaVersion));
    if (version == kSchemaVersion)
        return;
    if (version < 1) {
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
    if (version < 2) {
        Exec("CREATE TABLE score_counts (category INTEGER NOT NULL, level INTEGER NOT NULL,"
             " bin INTEGER NOT NULL, n INTEGER NOT NULL, PRIMARY KEY (category, level, bin)) WITHOUT ROWID");
        Exec("INSERT INTO score_counts (category, level, bin, n)"
             " SELECT category, level, value >> (8 * level), COUNT(*) FROM ("
             "  SELECT 0 AS category, cpu AS value FROM runs UNION ALL SELECT 1, ram FROM runs"
             "  UNION ALL SELECT 2, hdd FROM runs UNION ALL SELECT 3, gpu2d FROM runs"
             "  UNION ALL SELECT 4, gpu3d FROM runs UNION ALL SELECT 5, overall FROM runs),"
             " (SELECT 0 AS level UNION ALL SELECT 1 UNION ALL SELECT 2)"
             " GROUP BY category, level, value >> (8 * level)");
        Exec("CREATE TABLE login_failures (kind INTEGER NOT NULL, key TEXT NOT NULL,"
             " failures INTEGER NOT NULL, window_start INTEGER NOT NULL, locked_until INTEGER NOT NULL,"
             " PRIMARY KEY (kind, key)) WITHOUT ROWID");
    }
    Exec("DELETE FROM schema_version");
    Statement write(db_, "INSERT INTO schema_version (version) VALUES (?1)");
    write.Bind(1, std::int64_t{kSchemaVersion}).Run();
    t.Commit();
}

Store::AddResult SqliteStore::AddAccount(const std::string& email, const std::string& secret,
                                         std::string* id) {
    std::lock_guard lock(mutex_);
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string candidate = RandomAccountId(18);
        Statement insert(db_, "INSERT INTO accounts (id, email, secret, created) VALUES (?1, ?2, ?3, ?4)"
                              " ON CONFLICT DO NOTHING");
        insert.Bind(1, candidate)
            .Bind(2, email)
            .Bind(3, secret)
            .Bind(4, static_cast<std::int64_t>(std::time(nullptr)))
            .Run();
        if (sqlite3_changes(db_) == 1) {
            *id = candidate;
            return AddResult::Added;
        }
        Statement find(db_, "SELECT 1 FROM accounts WHERE email = ?1");
        find.Bind(1, email);
        if (find.Next())
            return AddResult::EmailTaken;
    }
    return AddResult::Failed;
}

std::optional<Account> SqliteStore::FindByEmail(const std::string& email) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, email, secret, created FROM accounts WHERE email = ?1");
    s.Bind(1, email);
    if (!s.Next())
        return std::nullopt;
    return AccountFrom(s);
}

std::optional<Account> SqliteStore::FindById(const std::string& id) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, email, secret, created FROM accounts WHERE id = ?1");
    s.Bind(1, id);
    if (!s.Next())
        return std::nullopt;
    return AccountFrom(s);
}

void SqliteStore::CountRun(const Run& r) {
    std::map<std::pair<int, std::int64_t>, std::int64_t> counts;
    for (int c = 0; c < kCategoryCount; ++c)
        ++counts[{c, CategoryOf(r, c)}];
    AddCounts(db_, counts);
}

Store::SaveResult SqliteStore::AddRun(const Run& r, const SaveLimits& limits) {
    std::lock_guard lock(mutex_);
    Transaction t(db_, true);
    {
        Statement account(db_, "SELECT 1 FROM accounts WHERE id = ?1");
        account.Bind(1, r.account);
        if (!account.Next())
            return SaveResult::NoAccount;
    }
    {
        Statement count(db_, "SELECT COUNT(*), COALESCE(SUM(created >= ?2), 0) FROM runs WHERE account = ?1");
        count.Bind(1, r.account).Bind(2, limits.since);
        if (!count.Next() || count.Int(0) >= limits.maxRuns || count.Int(1) >= limits.maxSince)
            return SaveResult::LimitReached;
    }
    Statement s(db_, "INSERT INTO runs (account, created, cpu, ram, hdd, gpu2d, gpu3d, overall,"
                     " cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version)"
                     " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14)");
    BindRun(s, 1, r);
    s.Run();
    CountRun(r);
    t.Commit();
    return SaveResult::Added;
}

std::vector<Run> SqliteStore::RunsOf(const std::string& account) {
    std::lock_guard lock(mutex_);
    Statement s(
        db_,
        (std::string("SELECT ") + kRunColumns + " FROM runs WHERE account = ?1 ORDER BY seq DESC").c_str());
    s.Bind(1, account);
    std::vector<Run> runs;
    while (s.Next())
        runs.push_back(RunFrom(s));
    return runs;
}

std::array<Standing, kCategoryCount> SqliteStore::Standings(const Run& run) {
    std::lock_guard lock(mutex_);
    Transaction t(db_, false);
    std::array<Standing, kCategoryCount> all;
    for (int c = 0; c < kCategoryCount; ++c)
        all[static_cast<std::size_t>(c)] = StandingOf(*this, c, CategoryOf(run, c));
    t.Commit();
    return all;
}

std::int64_t SqliteStore::CountBins(int category, int level, std::int64_t first, std::int64_t end) {
    Statement s(db_, "SELECT COALESCE(SUM(n), 0) FROM score_counts"
                     " WHERE category = ?1 AND level = ?2 AND bin >= ?3 AND bin < ?4");
    s.Bind(1, std::int64_t{category}).Bind(2, std::int64_t{level}).Bind(3, first).Bind(4, end);
    return s.Next() ? s.Int(0) : 0;
}

ScoreCounts::Position SqliteStore::BinHolding(int category, int level, std::int64_t first, std::int64_t end,
                                              std::int64_t k) {
    Statement s(db_, "SELECT bin, cum - n, n FROM (SELECT bin, n, SUM(n) OVER (ORDER BY bin) AS cum"
                     " FROM score_counts WHERE category = ?1 AND level = ?2 AND bin >= ?3 AND bin < ?4)"
                     " WHERE cum > ?5 ORDER BY bin LIMIT 1");
    s.Bind(1, std::int64_t{category}).Bind(2, std::int64_t{level}).Bind(3, first).Bind(4, end).Bind(5, k);
    if (!s.Next())
        throw std::runtime_error("the score counts disagree between their levels");
    return {s.Int(0), s.Int(1), s.Int(2)};
}

std::optional<std::int64_t> SqliteStore::Highest(int category) {
    Statement s(db_, "SELECT MAX(bin) FROM score_counts WHERE category = ?1 AND level = 0");
    s.Bind(1, std::int64_t{category});
    if (!s.Next() || s.Null(0))
        return std::nullopt;
    return s.Int(0);
}

std::int64_t SqliteStore::NextValue(int category, std::int64_t value) {
    Statement s(db_, "SELECT MIN(bin) FROM score_counts WHERE category = ?1 AND level = 0 AND bin > ?2");
    s.Bind(1, std::int64_t{category}).Bind(2, value);
    if (!s.Next() || s.Null(0))
        throw std::runtime_error("the score counts disagree between their levels");
    return s.Int(0);
}

std::vector<std::int32_t> SqliteStore::AllScores(int category) {
    if (category < 0 || category >= kCategoryCount)
        return {};
    // The column name comes from the fixed table above, never from a request.
    const std::string sql = std::string("SELECT ") + kCategoryColumns[category] + " FROM runs ORDER BY 1";
    std::lock_guard lock(mutex_);
    Statement s(db_, sql.c_str());
    std::vector<std::int32_t> values;
    while (s.Next())
        values.push_back(static_cast<std::int32_t>(s.Int(0)));
    return values;
}

bool SqliteStore::LoginAllowed(FailureKind kind, const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    Statement s(
        db_, "SELECT failures, window_start, locked_until FROM login_failures WHERE kind = ?1 AND key = ?2");
    s.Bind(1, static_cast<std::int64_t>(kind)).Bind(2, key);
    return !s.Next() || FailureAllowed(FailureRecord{static_cast<int>(s.Int(0)), s.Int(1), s.Int(2)}, now);
}

void SqliteStore::LoginFailed(const std::vector<FailureKey>& keys, std::int64_t now) {
    std::lock_guard lock(mutex_);
    Transaction t(db_, true);
    Statement read(
        db_, "SELECT failures, window_start, locked_until FROM login_failures WHERE kind = ?1 AND key = ?2");
    Statement write(db_, "INSERT INTO login_failures (kind, key, failures, window_start, locked_until)"
                         " VALUES (?1, ?2, ?3, ?4, ?5) ON CONFLICT (kind, key) DO UPDATE SET"
                         " failures = excluded.failures, window_start = excluded.window_start,"
                         " locked_until = excluded.locked_until");
    const bool prune = ++failedLogins_ % kPruneEvery == 0;
    for (const FailureKey& k : keys) {
        read.Reset();
        read.Bind(1, static_cast<std::int64_t>(k.kind)).Bind(2, k.key);
        FailureRecord r;
        if (read.Next())
            r = FailureRecord{static_cast<int>(read.Int(0)), read.Int(1), read.Int(2)};
        read.Reset();
        r = AfterFailure(k.policy, r, now);
        write.Reset();
        write.Bind(1, static_cast<std::int64_t>(k.kind))
            .Bind(2, k.key)
            .Bind(3, std::int64_t{r.failures})
            .Bind(4, r.windowStart)
            .Bind(5, r.lockedUntil)
            .Run();
        if (prune) {
            Statement forget(db_, "DELETE FROM login_failures WHERE kind = ?1 AND locked_until <= ?2"
                                  " AND window_start <= ?2 - ?3");
            forget.Bind(1, static_cast<std::int64_t>(k.kind))
                .Bind(2, now)
                .Bind(3, k.policy.windowSeconds)
                .Run();
        }
    }
    t.Commit();
}

void SqliteStore::LoginSucceeded(FailureKind kind, const std::string& key) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "DELETE FROM login_failures WHERE kind = ?1 AND key = ?2");
    s.Bind(1, static_cast<std::int64_t>(kind)).Bind(2, key).Run();
}

std::vector<Account> SqliteStore::AccountsAfter(const std::string& id, std::size_t limit) {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT id, email, secret, created FROM accounts WHERE id > ?1 ORDER BY id LIMIT ?2");
    s.Bind(1, id).Bind(2, static_cast<std::int64_t>(limit));
    std::vector<Account> accounts;
    while (s.Next())
        accounts.push_back(AccountFrom(s));
    return accounts;
}

std::vector<Run> SqliteStore::RunsAfter(std::int64_t seq, std::size_t limit) {
    std::lock_guard lock(mutex_);
    Statement s(
        db_,
        (std::string("SELECT ") + kRunColumns + " FROM runs WHERE seq > ?1 ORDER BY seq LIMIT ?2").c_str());
    s.Bind(1, seq).Bind(2, static_cast<std::int64_t>(limit));
    std::vector<Run> runs;
    while (s.Next())
        runs.push_back(RunFrom(s));
    return runs;
}

ImportResult SqliteStore::ImportAccounts(const std::vector<Account>& accounts) {
    std::lock_guard lock(mutex_);
    Transaction t(db_, true);
    Statement insert(db_, "INSERT INTO accounts (id, email, secret, created) VALUES (?1, ?2, ?3, ?4)"
                          " ON CONFLICT DO NOTHING");
    Statement find(db_, "SELECT id, email, secret, created FROM accounts WHERE id = ?1");
    ImportResult result;
    for (const Account& a : accounts) {
        insert.Reset();
        insert.Bind(1, a.id).Bind(2, a.email).Bind(3, a.secret).Bind(4, a.created).Run();
        if (sqlite3_changes(db_) == 1) {
            ++result.added;
            ++result.present;
            continue;
        }
        find.Reset();
        find.Bind(1, a.id);
        if (find.Next() && AccountFrom(find) == a)
            ++result.present;
    }
    t.Commit();
    return result;
}

ImportResult SqliteStore::ImportRuns(const std::vector<Run>& runs) {
    std::lock_guard lock(mutex_);
    Transaction t(db_, true);
    Statement insert(db_,
                     "INSERT INTO runs (seq, account, created, cpu, ram, hdd, gpu2d, gpu3d, overall,"
                     " cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version)"
                     " SELECT ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15"
                     " WHERE EXISTS (SELECT 1 FROM accounts WHERE id = ?2) ON CONFLICT (seq) DO NOTHING");
    Statement find(db_, (std::string("SELECT ") + kRunColumns + " FROM runs WHERE seq = ?1").c_str());
    std::map<std::pair<int, std::int64_t>, std::int64_t> counts;
    ImportResult result;
    for (const Run& r : runs) {
        insert.Reset();
        insert.Bind(1, r.seq);
        BindRun(insert, 2, r);
        insert.Run();
        if (sqlite3_changes(db_) == 1) {
            ++result.added;
            ++result.present;
            for (int c = 0; c < kCategoryCount; ++c)
                ++counts[{c, CategoryOf(r, c)}];
            continue;
        }
        find.Reset();
        find.Bind(1, r.seq);
        if (find.Next() && RunFrom(find) == r)
            ++result.present;
    }
    AddCounts(db_, counts);
    t.Commit();
    return result;
}

StoreTotals SqliteStore::Totals() {
    std::lock_guard lock(mutex_);
    Statement s(db_, "SELECT (SELECT COUNT(*) FROM accounts), (SELECT COUNT(*) FROM runs)");
    if (!s.Next())
        return {};
    return {s.Int(0), s.Int(1)};
}

} // namespace gw
