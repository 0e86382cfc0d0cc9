#pragma once
#include "gateway/Store.h"
#include "tests/gateway/PostgresScratch.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace orv::test {

enum class Backend { Sqlite, Postgres };
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);
inline const auto kBothBackends = ::testing::Values(Backend::Sqlite, Backend::Postgres);

// A fresh database of one back end: an SQLite file in a private folder or a scratch PostgreSQL
// database. Without a PostgreSQL server it is unavailable and the test skips (SkipUnlessAvailable).
class FreshDatabase {
public:
    explicit FreshDatabase(Backend backend);
    bool Available() const { return backend_ == Backend::Sqlite || postgres_->Available(); }
    // What --db takes.
    const std::string& Address() const { return address_; }
    // A store on it; each call opens another, as another process would. Unavailable: an in-memory
    // SQLite store, never used because the test skips first.
    std::unique_ptr<gw::Store> Open() const;
    const ScratchPostgres& Postgres() const { return *postgres_; } // PostgreSQL only

private:
    Backend backend_;
    std::optional<ScratchPostgres> postgres_;
    std::string address_;
};

#define SKIP_UNLESS_AVAILABLE(db)                                                                            \
    do {                                                                                                     \
        if (!(db).Available())                                                                               \
            GTEST_SKIP()                                                                                     \
                << "no PostgreSQL server: ORVANTA_TEST_PG is not set (scripts/postgres starts one)";         \
    } while (false)

} // namespace orv::test
