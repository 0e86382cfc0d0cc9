#include "gateway/PostgresStore.h"

#include "gateway/Crypto.h"
#include "gateway/ScoreCounts.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <concepts>
#include <ctime>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace gw {

namespace {

// A failure reported by the server, with its SQLSTATE code.
class PgError : public std::runtime_error {
public:
    PgError(const std::string& message, std::string state)
        : std::runtime_error("postgresql: " + message), state_(std::move(state)) {}
    const std::string& State() const { return state_; }
    // Deadlocks and serialisation failures: the transaction may simply be run again.
    bool Retryable() const { return state_ == "40P01" || state_ == "40001"; }

private:
    std::string state_;
};

std::string Trimmed(const char* message) {
    std::string m = message ? message : "";
    while (!m.empty() && (m.back() == '\n' || m.back() == ' '))
        m.pop_back();
    return m;
}

// One bound parameter, always sent as text.
struct Param {
    Param(const std::string& s) : text(s) {}
    Param(const char* s) : text(s) {}
    template <std::integral T> Param(T v) : text(std::to_string(v)) {}
    std::string text;
};

class Result {
public:
    explicit Result(PGresult* r) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    Result& operator=(Result&&) = delete;

    int Rows() const { return PQntuples(r_); }
    bool Null(int row, int col) const { return PQgetisnull(r_, row, col) != 0; }
    std::string Text(int row, int col) const {
        return std::string(PQgetvalue(r_, row, col), static_cast<std::size_t>(PQgetlength(r_, row, col)));
    }
    std::int64_t Int(int row, int col) const {
        const char* v = PQgetvalue(r_, row, col);
        return Null(row, col) ? 0 : std::stoll(v);
    }
    std::int64_t Affected() const {
        const char* n = PQcmdTuples(r_);
        return n && *n ? std::stoll(n) : 0;
    }

private:
    PGresult* r_;
};

// Text as the database can hold it: NUL bytes left out, each byte of malformed UTF-8 as U+FFFD.
std::string Storable(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = Utf8SequenceAt(s, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            if (s[i] != '\0')
                out.append(s, i, len);
            i += len;
        }
    }
    return out;
}

// A key that no stored row can hold (it would not survive Storable) finds nothing.
bool Findable(const std::string& s) {
    return s.find('\0') == std::string::npos && ValidUtf8(s);
}

constexpr const char* kRunColumns = "seq, account, created, cpu, ram, hdd, gpu2d, gpu3d, cpuinfo, raminfo, "
                                    "hddinfo, gpuinfo, osinfo, version";

} // namespace

// A libpq connection with the statements it has prepared.
class PostgresStore::Connection {
public:
    explicit Connection(const std::string& address) {
        const char* keys[] = {"fallback_application_name", "client_encoding", "dbname", nullptr};
        const char* values[] = {"orvanta-gateway", "UTF8", address.c_str(), nullptr};
        pg_ = PQconnectdbParams(keys, values, 1);
        if (!pg_ || PQstatus(pg_) != CONNECTION_OK) {
            const std::string message = pg_ ? Trimmed(PQerrorMessage(pg_)) : "out of memory";
            PQfinish(pg_);
            throw std::runtime_error("cannot connect to the PostgreSQL database: " + message);
        }
        // Notices ("already exists, skipping") are not for the request log.
        PQsetNoticeProcessor(
            pg_, [](void*, const char*) {}, nullptr);
        const char* encoding = PQparameterStatus(pg_, "server_encoding");
        if (!encoding || std::string_view(encoding) != "UTF8") {
            PQfinish(pg_);
            throw std::runtime_error("the PostgreSQL database must use the UTF8 encoding (it uses " +
                                     std::string(encoding ? encoding : "?") + ")");
        }
    }
    ~Connection() { PQfinish(pg_); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool Usable() const { return PQstatus(pg_) == CONNECTION_OK; }
    bool Idle() const { return PQtransactionStatus(pg_) == PQTRANS_IDLE; }

    // A statement with parameters, prepared on this connection the first time it is used.
    Result Run(const std::string& sql, std::initializer_list<Param> params = {}) {
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const Param& p : params)
            values.push_back(p.text.c_str());
        return Prepared(sql, values);
    }
    Result Run(const std::string& sql, const std::vector<std::string>& params) {
        std::vector<const char*> values;
        values.reserve(params.size());
        for (const std::string& p : params)
            values.push_back(p.c_str());
        return Prepared(sql, values);
    }
    // A statement without parameters: transaction control and the schema.
    Result Plain(const char* sql) { return Check(PQexec(pg_, sql)); }

    // COPY … FROM STDIN with rows already in text format.
    void CopyIn(const char* sql, const std::string& rows) {
        PGresult* start = PQexec(pg_, sql);
        if (PQresultStatus(start) != PGRES_COPY_IN)
            Check(start);
        PQclear(start);
        constexpr std::size_t kChunk = 1 << 20;
        for (std::size_t at = 0; at < rows.size(); at += kChunk) {
            const std::size_t n = std::min(kChunk, rows.size() - at);
            if (PQputCopyData(pg_, rows.data() + at, static_cast<int>(n)) != 1)
                throw std::runtime_error("postgresql: " + Trimmed(PQerrorMessage(pg_)));
        }
        if (PQputCopyEnd(pg_, nullptr) != 1)
            throw std::runtime_error("postgresql: " + Trimmed(PQerrorMessage(pg_)));
        Check(PQgetResult(pg_));
        while (PGresult* more = PQgetResult(pg_))
            PQclear(more);
    }

    // Runs f in a transaction (begin: the BEGIN statement), again when the server asks for it.
    template <class F> auto Transaction(const char* begin, F&& f) {
        for (int attempt = 1;; ++attempt) {
            Plain(begin);
            try {
                auto result = f();
                Plain("COMMIT");
                return result;
            } catch (const PgError& e) {
                Rollback();
                if (!e.Retryable() || attempt == 3)
                    throw;
            } catch (...) {
                Rollback();
                throw;
            }
        }
    }

private:
    Result Prepared(const std::string& sql, const std::vector<const char*>& values) {
        auto it = prepared_.find(sql);
        if (it == prepared_.end()) {
            const std::string name = "s" + std::to_string(prepared_.size());
            Check(PQprepare(pg_, name.c_str(), sql.c_str(), static_cast<int>(values.size()), nullptr));
            it = prepared_.emplace(sql, name).first;
        }
        return Check(PQexecPrepared(pg_, it->second.c_str(), static_cast<int>(values.size()), values.data(),
                                    nullptr, nullptr, 0));
    }
    void Rollback() {
        if (Usable() && !Idle())
            PQclear(PQexec(pg_, "ROLLBACK"));
    }
    Result Check(PGresult* r) {
        const ExecStatusType status = PQresultStatus(r);
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
            return Result(r);
        const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
        const std::string message = Trimmed(r ? PQresultErrorMessage(r) : PQerrorMessage(pg_));
        const std::string code = state ? state : "";
        PQclear(r);
        throw PgError(message.empty() ? Trimmed(PQerrorMessage(pg_)) : message, code);
    }

    PGconn* pg_ = nullptr;
    std::unordered_map<std::string, std::string> prepared_;
};

namespace {

using Connection = PostgresStore::Connection;

Account AccountFrom(const Result& r, int row) {
    return Account{r.Text(row, 0), r.Text(row, 1), r.Text(row, 2), r.Int(row, 3)};
}

Run RunFrom(const Result& r, int row) {
    Run run;
    run.seq = r.Int(row, 0);
    run.account = r.Text(row, 1);
    run.created = r.Int(row, 2);
    run.cpu = static_cast<std::int32_t>(r.Int(row, 3));
    run.ram = static_cast<std::int32_t>(r.Int(row, 4));
    run.hdd = static_cast<std::int32_t>(r.Int(row, 5));
    run.gpu2d = static_cast<std::int32_t>(r.Int(row, 6));
    run.gpu3d = static_cast<std::int32_t>(r.Int(row, 7));
    run.cpuinfo = r.Text(row, 8);
    run.raminfo = r.Text(row, 9);
    run.hddinfo = r.Text(row, 10);
    run.gpuinfo = r.Text(row, 11);
    run.osinfo = r.Text(row, 12);
    run.version = r.Text(row, 13);
    return run;
}

std::vector<Run> RunsFrom(const Result& r) {
    std::vector<Run> runs;
    runs.reserve(static_cast<std::size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i)
        runs.push_back(RunFrom(r, i));
    return runs;
}

// Rows for COPY's text format.
class CopyRows {
public:
    CopyRows& Field(const std::string& text) {
        Separate();
        for (const char c : Storable(text)) {
            switch (c) {
            case '\\':
                rows_ += "\\\\";
                break;
            case '\n':
                rows_ += "\\n";
                break;
            case '\r':
                rows_ += "\\r";
                break;
            case '\t':
                rows_ += "\\t";
                break;
            default:
                rows_.push_back(c);
            }
        }
        return *this;
    }
    CopyRows& Field(std::int64_t v) {
        Separate();
        rows_ += std::to_string(v);
        return *this;
    }
    void End() {
        rows_.push_back('\n');
        first_ = true;
    }
    const std::string& Text() const { return rows_; }

private:
    void Separate() {
        if (!first_)
            rows_.push_back('\t');
        first_ = false;
    }
    std::string rows_;
    bool first_ = true;
};

// The counts, read in the caller's transaction.
class PgCounts final : public ScoreCounts {
public:
    explicit PgCounts(Connection& c) : c_(c) {}

    std::int64_t CountBins(int category, int level, std::int64_t first, std::int64_t end) override {
        return c_
            .Run("SELECT COALESCE(SUM(n), 0) FROM score_counts WHERE category = $1::smallint"
                 " AND level = $2::smallint AND bin >= $3::bigint AND bin < $4::bigint",
                 {category, level, first, end})
            .Int(0, 0);
    }
    Position BinHolding(int category, int level, std::int64_t first, std::int64_t end,
                        std::int64_t k) override {
        const Result r =
            c_.Run("SELECT bin, cum - n, n FROM (SELECT bin, n, SUM(n) OVER (ORDER BY bin) AS cum"
                   " FROM score_counts WHERE category = $1::smallint AND level = $2::smallint"
                   " AND bin >= $3::bigint AND bin < $4::bigint) AS b"
                   " WHERE cum > $5::bigint ORDER BY bin LIMIT 1",
                   {category, level, first, end, k});
        if (r.Rows() == 0)
            throw std::runtime_error("the score counts disagree between their levels");
        return {r.Int(0, 0), r.Int(0, 1), r.Int(0, 2)};
    }
    std::optional<std::int64_t> Highest(int category) override {
        const Result r = c_.Run(
            "SELECT MAX(bin) FROM score_counts WHERE category = $1::smallint AND level = 0", {category});
        if (r.Rows() == 0 || r.Null(0, 0))
            return std::nullopt;
        return r.Int(0, 0);
    }
    std::int64_t NextValue(int category, std::int64_t value) override {
        const Result r =
            c_.Run("SELECT MIN(bin) FROM score_counts WHERE category = $1::smallint AND level = 0"
                   " AND bin > $2::bigint",
                   {category, value});
        if (r.Rows() == 0 || r.Null(0, 0))
            throw std::runtime_error("the score counts disagree between their levels");
        return r.Int(0, 0);
    }

private:
    Connection& c_;
};

// Adds the bins of one run's scores on every level, in (category, level) order, the same in every
// transaction.
std::string AddRunCountsSql() {
    std::string sql = "INSERT INTO score_counts (category, level, bin, n) VALUES ";
    for (int c = 0; c < kCategoryCount; ++c)
        for (int level = 0; level < kLevels; ++level) {
            const int param = c * kLevels + level + 1;
            sql += (param > 1 ? ", (" : "(") + std::to_string(c) + ", " + std::to_string(level) + ", $" +
                   std::to_string(param) + "::bigint, 1)";
        }
    return sql + " ON CONFLICT (category, level, bin) DO UPDATE SET n = score_counts.n + excluded.n";
}

// The bins of every level for the values of a table with the six score columns.
std::string CountsFromSql(const char* table) {
    return std::string("INSERT INTO score_counts (category, level, bin, n)"
                       " SELECT v.category, l.level, v.value >> (8 * l.level), COUNT(*) FROM ") +
           table +
           ", LATERAL (VALUES (0, cpu), (1, ram), (2, hdd), (3, gpu2d), (4, gpu3d), (5, overall))"
           " AS v (category, value), (VALUES (0), (1), (2)) AS l (level)"
           " GROUP BY v.category, l.level, v.value >> (8 * l.level)"
           " ON CONFLICT (category, level, bin) DO UPDATE SET n = score_counts.n + excluded.n";
}

constexpr const char* kCategoryColumns[kCategoryCount] = {"cpu", "ram", "hdd", "gpu2d", "gpu3d", "overall"};
constexpr unsigned kPruneEvery = 64; // see the SQLite store
constexpr auto kConnectionWait = std::chrono::seconds(10);

// Every process upgrading the schema takes this lock first.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(5188146770730811392)";

} // namespace

PostgresStore::Lease::Lease(PostgresStore& store, std::unique_ptr<Connection> c)
    : store_(store), c_(std::move(c)) {}

PostgresStore::Lease::~Lease() {
    store_.Give(std::move(c_));
}

PostgresStore::PostgresStore(const std::string& address, std::size_t maxConnections)
    : address_(address), maxConnections_(std::max<std::size_t>(1, maxConnections)) {
    Lease c = Take();
    Upgrade(*c);
}

PostgresStore::~PostgresStore() = default;

PostgresStore::Lease PostgresStore::Take() {
    std::unique_lock lock(mutex_);
    if (!returned_.wait_for(lock, kConnectionWait, [&] { return !idle_.empty() || open_ < maxConnections_; }))
        throw std::runtime_error("no free connection to the PostgreSQL database");
    if (!idle_.empty()) {
        std::unique_ptr<Connection> c = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(c));
    }
    ++open_;
    lock.unlock();
    try {
        return Lease(*this, std::make_unique<Connection>(address_));
    } catch (...) {
        lock.lock();
        --open_;
        returned_.notify_one();
        throw;
    }
}

void PostgresStore::Give(std::unique_ptr<Connection> c) {
    if (!c)
        return;
    if (c->Usable() && !c->Idle()) {
        try {
            c->Plain("ROLLBACK");
        } catch (const std::exception&) {
        }
    }
    std::lock_guard lock(mutex_);
    if (c->Usable() && c->Idle())
        idle_.push_back(std::move(c));
    else
        --open_; // a broken connection is closed; the next caller opens a new one
    returned_.notify_one();
}

// The same versions as the SQLite store's: 1 for accounts and runs, 2 for the counts and failed logins.
void PostgresStore::Upgrade(Connection& c) {
    c.Transaction("BEGIN", [&] {
        c.Plain(kSchemaLock);
        c.Plain("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)");
        const std::int64_t version = c.Run("SELECT COALESCE(MAX(version), 0) FROM schema_version").Int(0, 0);
        if (version > kSchemaVersion)
            throw std::runtime_error("the database has schema version " + std::to_string(version) +
                                     ", newer than this gateway's " + std::to_string(kSchemaVersion));
        if (version == kSchemaVersion)
            return 0;
        if (version < 1) {
            c.Plain("CREATE TABLE accounts (id TEXT PRIMARY KEY, email TEXT NOT NULL, secret TEXT NOT NULL,"
                    " created BIGINT NOT NULL)");
            // Unique regardless of the case of ASCII letters only, as SQLite's NOCASE: "C" folds no others.
            c.Plain("CREATE UNIQUE INDEX accounts_by_email ON accounts (lower(email COLLATE \"C\"))");
            c.Plain("CREATE TABLE runs (seq BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                    " account TEXT NOT NULL REFERENCES accounts(id), created BIGINT NOT NULL,"
                    " cpu INTEGER NOT NULL, ram INTEGER NOT NULL, hdd INTEGER NOT NULL,"
                    " gpu2d INTEGER NOT NULL, gpu3d INTEGER NOT NULL, overall INTEGER NOT NULL,"
                    " cpuinfo TEXT NOT NULL, raminfo TEXT NOT NULL, hddinfo TEXT NOT NULL,"
                    " gpuinfo TEXT NOT NULL, osinfo TEXT NOT NULL, version TEXT NOT NULL)");
            c.Plain("CREATE INDEX runs_by_account ON runs (account, seq)");
        }
        if (version < 2) {
            c.Plain("CREATE TABLE score_counts (category SMALLINT NOT NULL, level SMALLINT NOT NULL,"
                    " bin BIGINT NOT NULL, n BIGINT NOT NULL, PRIMARY KEY (category, level, bin))");
            c.Plain(CountsFromSql("runs").c_str());
            c.Plain("CREATE TABLE login_failures (kind SMALLINT NOT NULL, key TEXT NOT NULL,"
                    " failures INTEGER NOT NULL, window_start BIGINT NOT NULL, locked_until BIGINT NOT NULL,"
                    " PRIMARY KEY (kind, key))");
        }
        c.Plain("DELETE FROM schema_version");
        c.Run("INSERT INTO schema_version (version) VALUES ($1::integer)", {kSchemaVersion});
        return 0;
    });
}

Store::AddResult PostgresStore::AddAccount(const std::string& email, const std::string& secret,
                                           std::string* id) {
    Lease c = Take();
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string candidate = RandomAccountId(18);
        const Result r =
            c->Run("INSERT INTO accounts (id, email, secret, created) VALUES ($1, $2, $3, $4::bigint)"
                   " ON CONFLICT DO NOTHING",
                   {candidate, Storable(email), Storable(secret), std::int64_t{std::time(nullptr)}});
        if (r.Affected() == 1) {
            *id = candidate;
            return AddResult::Added;
        }
        if (c->Run("SELECT 1 FROM accounts WHERE lower(email COLLATE \"C\") = lower($1 COLLATE \"C\")",
                   {Storable(email)})
                .Rows() > 0)
            return AddResult::EmailTaken;
    }
    return AddResult::Failed;
}

std::optional<Account> PostgresStore::FindByEmail(const std::string& email) {
    if (!Findable(email))
        return std::nullopt;
    Lease c = Take();
    const Result r = c->Run("SELECT id, email, secret, created FROM accounts"
                            " WHERE lower(email COLLATE \"C\") = lower($1 COLLATE \"C\")",
                            {email});
    if (r.Rows() == 0)
        return std::nullopt;
    return AccountFrom(r, 0);
}

std::optional<Account> PostgresStore::FindById(const std::string& id) {
    if (!Findable(id))
        return std::nullopt;
    Lease c = Take();
    const Result r = c->Run("SELECT id, email, secret, created FROM accounts WHERE id = $1", {id});
    if (r.Rows() == 0)
        return std::nullopt;
    return AccountFrom(r, 0);
}

Store::SaveResult PostgresStore::AddRun(const Run& run, const SaveLimits& limits) {
    if (!Findable(run.account))
        return SaveResult::NoAccount;
    Lease c = Take();
    return c->Transaction("BEGIN", [&] {
        // The account's row is the lock that makes the check and the insert one step across processes.
        if (c->Run("SELECT 1 FROM accounts WHERE id = $1 FOR UPDATE", {run.account}).Rows() == 0)
            return SaveResult::NoAccount;
        const Result count = c->Run("SELECT COUNT(*), COALESCE(SUM(CASE WHEN created >= $2::bigint THEN 1"
                                    " ELSE 0 END), 0) FROM runs WHERE account = $1",
                                    {run.account, limits.since});
        if (count.Int(0, 0) >= limits.maxRuns || count.Int(0, 1) >= limits.maxSince)
            return SaveResult::LimitReached;
        c->Run("INSERT INTO runs (account, created, cpu, ram, hdd, gpu2d, gpu3d, overall, cpuinfo, raminfo,"
               " hddinfo, gpuinfo, osinfo, version) VALUES ($1, $2::bigint, $3::integer, $4::integer,"
               " $5::integer, $6::integer, $7::integer, $8::integer, $9, $10, $11, $12, $13, $14)",
               {run.account, run.created, run.cpu, run.ram, run.hdd, run.gpu2d, run.gpu3d, run.Overall(),
                Storable(run.cpuinfo), Storable(run.raminfo), Storable(run.hddinfo), Storable(run.gpuinfo),
                Storable(run.osinfo), Storable(run.version)});
        // The counts last: their rows are shared by every save, so they are held as briefly as possible.
        static const std::string kAddCounts = AddRunCountsSql();
        std::vector<std::string> bins;
        for (int i = 0; i < kCategoryCount; ++i)
            for (int level = 0; level < kLevels; ++level)
                bins.push_back(std::to_string(BinOf(CategoryOf(run, i), level)));
        c->Run(kAddCounts, bins);
        return SaveResult::Added;
    });
}

std::vector<Run> PostgresStore::RunsOf(const std::string& account) {
    if (!Findable(account))
        return {};
    Lease c = Take();
    return RunsFrom(c->Run(
        std::string("SELECT ") + kRunColumns + " FROM runs WHERE account = $1 ORDER BY seq DESC", {account}));
}

std::array<Standing, kCategoryCount> PostgresStore::Standings(const Run& run) {
    Lease c = Take();
    return c->Transaction("BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY", [&] {
        PgCounts counts(*c);
        std::array<Standing, kCategoryCount> all;
        for (int i = 0; i < kCategoryCount; ++i)
            all[static_cast<std::size_t>(i)] = StandingOf(counts, i, CategoryOf(run, i));
        return all;
    });
}

std::vector<std::int32_t> PostgresStore::AllScores(int category) {
    if (category < 0 || category >= kCategoryCount)
        return {};
    Lease c = Take();
    // The column name comes from the fixed table above, never from a request.
    const Result r = c->Run(std::string("SELECT ") + kCategoryColumns[category] + " FROM runs ORDER BY 1");
    std::vector<std::int32_t> values;
    values.reserve(static_cast<std::size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i)
        values.push_back(static_cast<std::int32_t>(r.Int(i, 0)));
    return values;
}

bool PostgresStore::LoginAllowed(FailureKind kind, const std::string& key, std::int64_t now) {
    Lease c = Take();
    const Result r = c->Run("SELECT failures, window_start, locked_until FROM login_failures"
                            " WHERE kind = $1::smallint AND key = $2",
                            {static_cast<int>(kind), Storable(key)});
    return r.Rows() == 0 ||
           FailureAllowed(FailureRecord{static_cast<int>(r.Int(0, 0)), r.Int(0, 1), r.Int(0, 2)}, now);
}

void PostgresStore::LoginFailed(const std::vector<FailureKey>& keysIn, std::int64_t now) {
    // Always locked in the same order, so that two transactions never wait for each other.
    std::vector<FailureKey> keys = keysIn;
    for (FailureKey& k : keys)
        k.key = Storable(k.key);
    std::sort(keys.begin(), keys.end(), [](const FailureKey& a, const FailureKey& b) {
        return std::pair(a.kind, a.key) < std::pair(b.kind, b.key);
    });
    bool prune = false;
    {
        std::lock_guard lock(mutex_);
        prune = ++failedLogins_ % kPruneEvery == 0;
    }
    Lease c = Take();
    c->Transaction("BEGIN", [&] {
        for (const FailureKey& k : keys) {
            const int kind = static_cast<int>(k.kind);
            c->Run("INSERT INTO login_failures (kind, key, failures, window_start, locked_until)"
                   " VALUES ($1::smallint, $2, 0, 0, 0) ON CONFLICT DO NOTHING",
                   {kind, k.key});
            const Result r = c->Run("SELECT failures, window_start, locked_until FROM login_failures"
                                    " WHERE kind = $1::smallint AND key = $2 FOR UPDATE",
                                    {kind, k.key});
            const FailureRecord next = AfterFailure(
                k.policy, FailureRecord{static_cast<int>(r.Int(0, 0)), r.Int(0, 1), r.Int(0, 2)}, now);
            c->Run("UPDATE login_failures SET failures = $3::integer, window_start = $4::bigint,"
                   " locked_until = $5::bigint WHERE kind = $1::smallint AND key = $2",
                   {kind, k.key, next.failures, next.windowStart, next.lockedUntil});
            if (prune)
                c->Run("DELETE FROM login_failures WHERE kind = $1::smallint AND locked_until <= $2::bigint"
                       " AND window_start <= $2::bigint - $3::bigint",
                       {kind, now, k.policy.windowSeconds});
        }
        return 0;
    });
}

void PostgresStore::LoginSucceeded(FailureKind kind, const std::string& key) {
    Lease c = Take();
    c->Run("DELETE FROM login_failures WHERE kind = $1::smallint AND key = $2",
           {static_cast<int>(kind), Storable(key)});
}

std::vector<Account> PostgresStore::AccountsAfter(const std::string& id, std::size_t limit) {
    Lease c = Take();
    const Result r =
        c->Run("SELECT id, email, secret, created FROM accounts WHERE id > $1 ORDER BY id LIMIT $2::bigint",
               {Storable(id), limit});
    std::vector<Account> accounts;
    accounts.reserve(static_cast<std::size_t>(r.Rows()));
    for (int i = 0; i < r.Rows(); ++i)
        accounts.push_back(AccountFrom(r, i));
    return accounts;
}

std::vector<Run> PostgresStore::RunsAfter(std::int64_t seq, std::size_t limit) {
    Lease c = Take();
    return RunsFrom(c->Run(std::string("SELECT ") + kRunColumns +
                               " FROM runs WHERE seq > $1::bigint ORDER BY seq LIMIT $2::bigint",
                           {seq, limit}));
}

ImportResult PostgresStore::ImportAccounts(const std::vector<Account>& accounts) {
    CopyRows rows;
    for (const Account& a : accounts) {
        rows.Field(a.id).Field(a.email).Field(a.secret).Field(a.created);
        rows.End();
    }
    Lease c = Take();
    return c->Transaction("BEGIN", [&] {
        c->Plain("CREATE TEMP TABLE import_accounts (id TEXT, email TEXT, secret TEXT, created BIGINT)"
                 " ON COMMIT DROP");
        c->CopyIn("COPY import_accounts FROM STDIN", rows.Text());
        ImportResult result;
        result.added =
            c->Run("INSERT INTO accounts (id, email, secret, created)"
                   " SELECT id, email, secret, created FROM import_accounts ON CONFLICT DO NOTHING")
                .Affected();
        result.present = c->Run("SELECT COUNT(*) FROM import_accounts s JOIN accounts a ON a.id = s.id"
                                " AND a.email = s.email AND a.secret = s.secret AND a.created = s.created")
                             .Int(0, 0);
        return result;
    });
}

ImportResult PostgresStore::ImportRuns(const std::vector<Run>& runs) {
    CopyRows rows;
    for (const Run& r : runs) {
        rows.Field(r.seq).Field(r.account).Field(r.created);
        for (int i = 0; i < kCategoryCount; ++i)
            rows.Field(std::int64_t{CategoryOf(r, i)});
        rows.Field(r.cpuinfo).Field(r.raminfo).Field(r.hddinfo).Field(r.gpuinfo).Field(r.osinfo).Field(
            r.version);
        rows.End();
    }
    Lease c = Take();
    return c->Transaction("BEGIN", [&] {
        // Saves wait meanwhile, so that the sequence can be moved past the imported numbers safely.
        c->Plain("LOCK TABLE runs IN SHARE ROW EXCLUSIVE MODE");
        c->Plain("CREATE TEMP TABLE import_runs (seq BIGINT, account TEXT, created BIGINT, cpu INTEGER,"
                 " ram INTEGER, hdd INTEGER, gpu2d INTEGER, gpu3d INTEGER, overall INTEGER, cpuinfo TEXT,"
                 " raminfo TEXT, hddinfo TEXT, gpuinfo TEXT, osinfo TEXT, version TEXT) ON COMMIT DROP");
        c->Plain("CREATE TEMP TABLE import_added (cpu INTEGER, ram INTEGER, hdd INTEGER, gpu2d INTEGER,"
                 " gpu3d INTEGER, overall INTEGER) ON COMMIT DROP");
        c->CopyIn("COPY import_runs FROM STDIN", rows.Text());
        ImportResult result;
        result.added =
            c->Run("WITH added AS (INSERT INTO runs (seq, account, created, cpu, ram, hdd, gpu2d, gpu3d,"
                   " overall, cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version)"
                   " SELECT seq, account, created, cpu, ram, hdd, gpu2d, gpu3d, overall, cpuinfo, raminfo,"
                   " hddinfo, gpuinfo, osinfo, version FROM import_runs s"
                   " WHERE EXISTS (SELECT 1 FROM accounts a WHERE a.id = s.account)"
                   " ON CONFLICT (seq) DO NOTHING RETURNING cpu, ram, hdd, gpu2d, gpu3d, overall)"
                   " INSERT INTO import_added SELECT * FROM added")
                .Affected();
        c->Run(CountsFromSql("import_added"));
        result.present =
            c->Run("SELECT COUNT(*) FROM import_runs s JOIN runs r ON r.seq = s.seq AND r.account = s.account"
                   " AND r.created = s.created AND r.cpu = s.cpu AND r.ram = s.ram AND r.hdd = s.hdd"
                   " AND r.gpu2d = s.gpu2d AND r.gpu3d = s.gpu3d AND r.overall = s.overall"
                   " AND r.cpuinfo = s.cpuinfo AND r.raminfo = s.raminfo AND r.hddinfo = s.hddinfo"
                   " AND r.gpuinfo = s.gpuinfo AND r.osinfo = s.osinfo AND r.version = s.version")
                .Int(0, 0);
        c->Run(
            "SELECT setval(pg_get_serial_sequence('runs', 'seq'), GREATEST((SELECT MAX(seq) FROM runs), 1))");
        return result;
    });
}

StoreTotals PostgresStore::Totals() {
    Lease c = Take();
    const Result r = c->Run("SELECT (SELECT COUNT(*) FROM accounts), (SELECT COUNT(*) FROM runs)");
    return {r.Int(0, 0), r.Int(0, 1)};
}

} // namespace gw
