#pragma once
#include "gateway/ScoreCounts.h"
#include "gateway/Store.h"

#include <mutex>
#include <string>

struct sqlite3;

namespace gw {

// The store in one SQLite file, readable by its owner only; one connection, one request at a time.
class SqliteStore final : public Store, private ScoreCounts {
public:
    // ReadOnly: an existing file as it is (no schema upgrade), for copying it elsewhere.
    enum class Mode { ReadWrite, ReadOnly };
    explicit SqliteStore(const std::string& path, Mode mode = Mode::ReadWrite);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

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

private:
    void Upgrade();
    void Exec(const char* sql);
    void CountRun(const Run& run);

    std::int64_t CountBins(int category, int level, std::int64_t first, std::int64_t end) override;
    Position BinHolding(int category, int level, std::int64_t first, std::int64_t end,
                        std::int64_t k) override;
    std::optional<std::int64_t> Highest(int category) override;
    std::int64_t NextValue(int category, std::int64_t value) override;

    sqlite3* db_ = nullptr;
    std::mutex mutex_;
    unsigned failedLogins_ = 0; // under mutex_
};

} // namespace gw
