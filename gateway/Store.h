#pragma once
#include "gateway/Throttle.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

struct Account {
    std::string id;
    std::string email;
    std::string secret; // slow hash record of the client's password value
    std::int64_t created = 0;
    bool operator==(const Account&) const = default;
};

// One run as the program uploads it. Scores in the order the results page shows them.
struct Run {
    std::int64_t seq = 0;
    std::string account;
    std::int64_t created = 0; // seconds since 1970, UTC
    std::int32_t cpu = 0, ram = 0, hdd = 0, gpu2d = 0, gpu3d = 0;
    std::string cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version;
    std::int32_t Overall() const;
    bool operator==(const Run&) const = default;
};

inline constexpr int kCategoryCount = 6; // CPU, RAM, HDD, 2D, 3D, overall
std::int32_t CategoryOf(const Run& r, int category);

// A score against every stored run of its category: how many there are, their median (for an even
// count the mean of the middle two, truncated), the score's place (1 for the best; equal scores share a
// place, which is one more than the number of higher ones) and the highest stored value.
struct Standing {
    std::int64_t count = 0;
    std::int32_t median = 0;
    std::int64_t place = 1;
    std::optional<std::int32_t> top; // none when nothing is stored
    bool operator==(const Standing&) const = default;
};

// What a failed login counts against, each with a policy of its own.
enum class FailureKind { Account = 0, Address = 1 };
struct FailureKey {
    FailureKind kind = FailureKind::Account;
    std::string key;
    FailurePolicy policy;
};

// An account may store at most maxRuns runs, and at most maxSince created at or after `since`.
struct SaveLimits {
    std::int64_t maxRuns = 0;
    std::int64_t maxSince = 0;
    std::int64_t since = 0;
};

// Rows given to an import: how many were added, and how many are now in the store exactly as given
// (added now or there before). A row whose key holds other data counts as neither.
struct ImportResult {
    std::int64_t added = 0;
    std::int64_t present = 0;
};

struct StoreTotals {
    std::int64_t accounts = 0;
    std::int64_t runs = 0;
};

// The gateway's database: accounts, their runs, the counts behind the comparisons, failed logins.
// Everything a request needs lives here, so that several gateway processes on one database answer
// alike. Every statement is prepared with bound parameters; a request that writes more than one row does
// so in one transaction. Safe to use from the server's threads. Failures of the database throw.
class Store {
public:
    virtual ~Store() = default;

    enum class AddResult { Added, EmailTaken, Failed };
    // E-mail addresses are unique regardless of the case of ASCII letters.
    virtual AddResult AddAccount(const std::string& email, const std::string& secret, std::string* id) = 0;
    virtual std::optional<Account> FindByEmail(const std::string& email) = 0;
    virtual std::optional<Account> FindById(const std::string& id) = 0;

    enum class SaveResult { Added, LimitReached, NoAccount };
    // Checks the limits and stores the run as one step, whichever process asks.
    virtual SaveResult AddRun(const Run& run, const SaveLimits& limits) = 0;
    virtual std::vector<Run> RunsOf(const std::string& account) = 0; // newest first
    // The run's scores against all stored runs, every category in one view of the database. The cost
    // does not grow with the number of stored runs.
    virtual std::array<Standing, kCategoryCount> Standings(const Run& run) = 0;
    // Every stored value of one category, over all accounts, ascending: linear in the table, for checks.
    virtual std::vector<std::int32_t> AllScores(int category) = 0;

    // Failed logins per key, shared by every process on the database.
    virtual bool LoginAllowed(FailureKind kind, const std::string& key, std::int64_t now) = 0;
    virtual void LoginFailed(const std::vector<FailureKey>& keys, std::int64_t now) = 0;
    virtual void LoginSucceeded(FailureKind kind, const std::string& key) = 0;

    // Copying between stores: pages in key order, and imports that keep identifiers, sequence numbers and
    // times and may be repeated (rows already there are left as they are). Runs need their accounts.
    virtual std::vector<Account> AccountsAfter(const std::string& id, std::size_t limit) = 0;
    virtual std::vector<Run> RunsAfter(std::int64_t seq, std::size_t limit) = 0;
    virtual ImportResult ImportAccounts(const std::vector<Account>& accounts) = 0;
    virtual ImportResult ImportRuns(const std::vector<Run>& runs) = 0;
    virtual StoreTotals Totals() = 0;
};

// "postgresql://…" and "postgres://…" name a PostgreSQL database (the rest of the address may come
// from the PG* environment variables); anything else is an SQLite file.
bool IsPostgresAddress(const std::string& database);
std::unique_ptr<Store> OpenStore(const std::string& database);

} // namespace gw
