#pragma once
#include "gateway/Store.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace gw {

// The store in a PostgreSQL database, shared by any number of gateway processes. Each process keeps a
// few connections and lends one to each request; the database does the locking between processes.
// The database must use the UTF8 encoding; text the gateway cannot store there (a NUL byte, malformed
// UTF-8 from an old file) is stored with U+FFFD in place of each bad byte, NULs left out.
class PostgresStore final : public Store {
public:
    static constexpr std::size_t kDefaultConnections = 8;
    // address: a libpq connection URI; what it leaves out comes from the PG* environment variables.
    explicit PostgresStore(const std::string& address, std::size_t maxConnections = kDefaultConnections);
    ~PostgresStore() override;
    PostgresStore(const PostgresStore&) = delete;
    PostgresStore& operator=(const PostgresStore&) = delete;

    AddResult AddAccount(const std::string& email, const std::string& secret, std::string* id) override;
    std::optional<Account> FindByEmail(const std::string& email) override;
    std::optional<Account> FindById(const std::string& id) override;
    SaveResult AddRun(const Run& run, const SaveLimits& limits) override;
    std::vector<Run> RunsOf(const std::string& account) override;
    std::array<Standing, kCategoryCount> Standings(const Run& run) override;
    std::vector<std::int32_t> AllScores(int category) override;
    bool LoginAllowed(FailureKind kind, const std::string& key, std::int64_t now) override;
    void LoginFailed(const std::vector<FailureKey>& keys, std::int64_t now) override;
    void LoginSucceeded(FailureKind kind, const std::string& key) override;
    std::vector<Account> AccountsAfter(const std::string& id, std::size_t limit) override;
    std::vector<Run> RunsAfter(std::int64_t seq, std::size_t limit) override;
    ImportResult ImportAccounts(const std::vector<Account>& accounts) override;
    ImportResult ImportRuns(const std::vector<Run>& runs) override;
    StoreTotals Totals() override;

    static constexpr int kSchemaVersion = 2;

    class Connection;

private:
    // A connection lent to one caller, back in the pool when the lease ends (closed if it broke).
    class Lease {
    public:
        Lease(PostgresStore& store, std::unique_ptr<Connection> c);
        ~Lease();
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Connection& operator*() const { return *c_; }
        Connection* operator->() const { return c_.get(); }

    private:
        PostgresStore& store_;
        std::unique_ptr<Connection> c_;
    };
    Lease Take();
    void Give(std::unique_ptr<Connection> c);
    void Upgrade(Connection& c);

    const std::string address_;
    const std::size_t maxConnections_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<Connection>> idle_;
    std::size_t open_ = 0;
    unsigned failedLogins_ = 0;
};

} // namespace gw
