#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace gw {

struct Account {
    std::string id;
    std::string email;
    std::string secret; // slow hash record of the client's password value
    std::int64_t created = 0;
};

// One run as the program uploads it. Scores in the order the results page shows them.
struct Run {
    std::int64_t seq = 0;
    std::string account;
    std::int64_t created = 0; // seconds since 1970, UTC
    std::int32_t cpu = 0, ram = 0, hdd = 0, gpu2d = 0, gpu3d = 0;
    std::string cpuinfo, raminfo, hddinfo, gpuinfo, osinfo, version;
    std::int32_t Overall() const;
};

inline constexpr int kCategoryCount = 6; // CPU, RAM, HDD, 2D, 3D, overall
std::int32_t CategoryOf(const Run& r, int category);

// The gateway's database: accounts and their runs, in one SQLite file readable by its owner only.
// Every statement is prepared with bound parameters. Safe to use from the server's threads.
class Store {
public:
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    enum class AddResult { Added, EmailTaken, Failed };
    AddResult AddAccount(const std::string& email, const std::string& secret, std::string* id);
    std::optional<Account> FindByEmail(const std::string& email);
    std::optional<Account> FindById(const std::string& id);

    bool AddRun(const Run& run);
    struct RunCount {
        std::int64_t total = 0, since = 0; // all runs of the account; those created at or after `since`
    };
    RunCount CountRuns(const std::string& account, std::int64_t since);
    std::vector<Run> RunsOf(const std::string& account); // newest first
    // Every stored value of one category, over all accounts, ascending.
    std::vector<std::int32_t> AllScores(int category);

private:
    void Exec(const char* sql);
    sqlite3* db_ = nullptr;
    std::mutex mutex_;
};

} // namespace gw
