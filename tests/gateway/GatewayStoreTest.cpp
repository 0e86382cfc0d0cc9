// The store on both back ends: comparisons against the whole table, accounts, limits shared by several
// stores on one database (as by several processes), imports, and the schema's versions.
#include "gateway/PostgresStore.h"
#include "gateway/SqliteStore.h"
#include "gateway/Store.h"
#include "tests/gateway/StoreFixture.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace orv::test {
namespace {

// The results page's arithmetic as it was, over every stored score.
std::int32_t MedianOfAll(const std::vector<std::int32_t>& sorted) {
    if (sorted.empty())
        return 0;
    const std::size_t n = sorted.size();
    if (n % 2 == 1)
        return sorted[n / 2];
    return static_cast<std::int32_t>((std::int64_t{sorted[n / 2 - 1]} + sorted[n / 2]) / 2);
}

std::size_t RankAmongAll(const std::vector<std::int32_t>& sorted, std::int32_t score) {
    const auto above = sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), score);
    return static_cast<std::size_t>(above) + 1;
}

gw::Standing StandingOfAll(const std::vector<std::int32_t>& sorted, std::int32_t score) {
    gw::Standing s;
    s.count = static_cast<std::int64_t>(sorted.size());
    s.median = MedianOfAll(sorted);
    s.place = static_cast<std::int64_t>(RankAmongAll(sorted, score));
    if (!sorted.empty())
        s.top = sorted.back();
    return s;
}

gw::Run MakeRun(std::int64_t seq, const std::string& account, std::int32_t cpu, std::int32_t ram,
                std::int32_t hdd, std::int32_t g2, std::int32_t g3) {
    gw::Run r;
    r.seq = seq;
    r.account = account;
    r.created = 1'700'000'000 + seq;
    r.cpu = cpu;
    r.ram = ram;
    r.hdd = hdd;
    r.gpu2d = g2;
    r.gpu3d = g3;
    r.version = "1.2.0.0";
    return r;
}

constexpr gw::SaveLimits kNoLimits{1'000'000, 1'000'000, 0};

class GatewayStore : public ::testing::TestWithParam<Backend> {
protected:
    GatewayStore() : db(GetParam()), storage(db.Open()), store(*storage) {}
    void SetUp() override { SKIP_UNLESS_AVAILABLE(db); }
    std::string NewAccount(const std::string& email) {
        std::string id;
        EXPECT_EQ(store.AddAccount(email, "scrypt$secret", &id), gw::Store::AddResult::Added);
        return id;
    }
    // Every category of the probe against the whole table, the old way and the store's way.
    void ExpectSameStandings(const gw::Run& probe, const std::string& what) {
        const std::array<gw::Standing, gw::kCategoryCount> got = store.Standings(probe);
        for (int c = 0; c < gw::kCategoryCount; ++c) {
            const gw::Standing want = StandingOfAll(store.AllScores(c), gw::CategoryOf(probe, c));
            const gw::Standing& s = got[static_cast<std::size_t>(c)];
            EXPECT_EQ(s, want) << what << ", category " << c << ": count " << s.count << "/" << want.count
                               << " median " << s.median << "/" << want.median << " place " << s.place << "/"
                               << want.place << " top " << s.top.value_or(-1) << "/" << want.top.value_or(-1);
        }
    }
    FreshDatabase db;
    std::unique_ptr<gw::Store> storage;
    gw::Store& store;
};

TEST_P(GatewayStore, StandingsAgreeWithTheWholeTableOnRandomData) {
    ExpectSameStandings(MakeRun(0, "x", 5, 0, 7, 1, 2), "empty table");

    const std::string a = NewAccount("a@x.pl"), b = NewAccount("b@x.pl");
    std::mt19937 random(20240611);
    // Ties in a narrow range, a wide spread over many buckets, and values on bucket edges.
    std::uniform_int_distribution<std::int32_t> narrow(0, 12);
    std::normal_distribution<double> wide(6000.0, 4000.0);
    std::uniform_int_distribution<int> edge(0, 5);
    const std::int32_t edges[] = {0, 4095, 4096, 8191, 8192, 10'000'000};
    const auto score = [&](int kind) {
        switch (kind) {
        case 0:
            return narrow(random);
        case 1:
            return std::clamp(static_cast<std::int32_t>(wide(random)), 0, 10'000'000);
        default:
            return edges[edge(random)];
        }
    };
    std::int64_t seq = 0;
    gw::Run last;
    // Batches of odd and even sizes, so that both medians are met.
    for (const int size : {1, 1, 7, 30, 151, 600}) {
        std::vector<gw::Run> batch;
        for (int i = 0; i < size; ++i) {
            const int kind = static_cast<int>(random() % 3);
            batch.push_back(MakeRun(++seq, i % 2 ? a : b, score(kind), score(kind), score(kind), score(kind),
                                    score((kind + 1) % 3)));
        }
        ASSERT_EQ(store.ImportRuns(batch).added, size);
        last = batch.back();
        ExpectSameStandings(last, "after " + std::to_string(seq) + " runs");
        ExpectSameStandings(MakeRun(0, a, 0, 10'000'000, 4096, 13, 5999), "unstored scores");
        // Saves keep the counts as imports do.
        last = MakeRun(0, a, score(0), score(1), score(2), score(1), score(0));
        ASSERT_EQ(store.AddRun(last, kNoLimits), gw::Store::SaveResult::Added);
        seq += 1000; // past the saved run's number
        ExpectSameStandings(last, "after a save");
    }
}

TEST_P(GatewayStore, EmailsAreUniqueIgnoringTheCaseOfAsciiLettersOnly) {
    std::string id;
    ASSERT_EQ(store.AddAccount("Ola@Example.PL", "s1", &id), gw::Store::AddResult::Added);
    EXPECT_EQ(id.size(), 18u);
    std::string other;
    EXPECT_EQ(store.AddAccount("ola@example.pl", "s2", &other), gw::Store::AddResult::EmailTaken);
    EXPECT_EQ(store.AddAccount("óla@x.pl", "s3", &other), gw::Store::AddResult::Added);
    EXPECT_EQ(store.AddAccount("Óla@x.pl", "s4", &other), gw::Store::AddResult::Added);
    EXPECT_EQ(store.AddAccount("Óla@X.pl", "s5", &other), gw::Store::AddResult::EmailTaken);

    const std::optional<gw::Account> found = store.FindByEmail("OLA@example.pl");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, id);
    EXPECT_EQ(found->email, "Ola@Example.PL");
    EXPECT_EQ(found->secret, "s1");
    EXPECT_EQ(store.FindById(id)->email, "Ola@Example.PL");
    EXPECT_EQ(store.FindByEmail("óla@x.pl")->secret, "s3");
    // No pattern matching, and keys no stored row can hold find nothing instead of failing.
    EXPECT_FALSE(store.FindByEmail("%@example.pl"));
    EXPECT_FALSE(store.FindByEmail(std::string("ola@example.pl\0x", 16)));
    EXPECT_FALSE(store.FindByEmail("ola@example.pl\xC3"));
    EXPECT_FALSE(store.FindById("1" + id));
    EXPECT_EQ(store.AddRun(MakeRun(0, "\xFF", 1, 1, 1, 1, 1), kNoLimits), gw::Store::SaveResult::NoAccount);
}

TEST_P(GatewayStore, SaveLimitsHoldForSavesFromTwoStoresAtOnce) {
    const std::string id = NewAccount("c@x.pl");
    const std::unique_ptr<gw::Store> second = db.Open(); // as another gateway process
    std::atomic<int> added{0}, refused{0};
    std::vector<std::thread> savers;
    for (int t = 0; t < 8; ++t) {
        savers.emplace_back([&, t] {
            gw::Store& s = t % 2 ? store : *second;
            for (int i = 0; i < 4; ++i) {
                const auto r = s.AddRun(MakeRun(0, id, 100 * t + i, 1, 1, 1, 1), {7, 1000, 0});
                (r == gw::Store::SaveResult::Added ? added : refused)++;
            }
        });
    }
    for (std::thread& t : savers)
        t.join();
    EXPECT_EQ(added.load(), 7);
    EXPECT_EQ(refused.load(), 32 - 7);
    EXPECT_EQ(store.RunsOf(id).size(), 7u);
    EXPECT_EQ(second->Standings(MakeRun(0, id, 0, 0, 0, 0, 0))[0].count, 7);

    // The hourly limit counts the runs created at or after `since` only.
    const std::string hourly = NewAccount("h@x.pl");
    gw::Run early = MakeRun(0, hourly, 1, 1, 1, 1, 1);
    early.created = 1000;
    EXPECT_EQ(store.AddRun(early, {10, 1, 2000}), gw::Store::SaveResult::Added);
    gw::Run late = early;
    late.created = 2000;
    EXPECT_EQ(store.AddRun(late, {10, 1, 2000}), gw::Store::SaveResult::Added);
    EXPECT_EQ(second->AddRun(late, {10, 1, 2000}), gw::Store::SaveResult::LimitReached);
    const std::vector<gw::Run> runs = store.RunsOf(hourly);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_GT(runs[0].seq, runs[1].seq); // newest first
    EXPECT_EQ(runs[0].created, 2000);
}

TEST_P(GatewayStore, FailedLoginsAreSharedByStoresAndExpire) {
    const std::unique_ptr<gw::Store> second = db.Open();
    const gw::FailurePolicy policy{3, 100, 50};
    const gw::FailureKey account{gw::FailureKind::Account, "123", policy};
    const gw::FailureKey address{gw::FailureKind::Address, "10.0.0.1", {5, 100, 50}};
    store.LoginFailed({account, address}, 0);
    second->LoginFailed({account, address}, 10);
    EXPECT_TRUE(store.LoginAllowed(gw::FailureKind::Account, "123", 10));
    store.LoginFailed({account}, 20); // the third within the window, wherever it came from
    EXPECT_FALSE(second->LoginAllowed(gw::FailureKind::Account, "123", 20));
    EXPECT_FALSE(store.LoginAllowed(gw::FailureKind::Account, "123", 69));
    EXPECT_TRUE(store.LoginAllowed(gw::FailureKind::Address, "10.0.0.1", 20)); // two of five
    EXPECT_TRUE(store.LoginAllowed(gw::FailureKind::Address, "123", 20));      // kinds are apart
    EXPECT_TRUE(second->LoginAllowed(gw::FailureKind::Account, "123", 70));

    // Many failures of other keys, enough to forget stale records, leave a live lock-out in place, even
    // one that outlasts its window.
    const gw::FailurePolicy longLock{3, 100, 300};
    for (int i = 0; i < 3; ++i)
        store.LoginFailed({{gw::FailureKind::Account, "123", longLock}}, 100);
    for (int i = 0; i < 140; ++i)
        (i % 2 ? store : *second)
            .LoginFailed({{gw::FailureKind::Account, "k" + std::to_string(i), longLock}}, 250);
    EXPECT_FALSE(store.LoginAllowed(gw::FailureKind::Account, "123", 399));
    EXPECT_TRUE(store.LoginAllowed(gw::FailureKind::Account, "123", 400));

    // Success forgets the failures, for every store.
    second->LoginFailed({account}, 500);
    second->LoginFailed({account}, 501);
    store.LoginSucceeded(gw::FailureKind::Account, "123");
    second->LoginFailed({account}, 502);
    EXPECT_TRUE(second->LoginAllowed(gw::FailureKind::Account, "123", 502));
}

TEST_P(GatewayStore, ImportsKeepEveryFieldAndRepeatWithoutChange) {
    const std::vector<gw::Account> accounts = {
        {"100000000000000001", "Zażółć@x.pl", "scrypt$15$8$1$aa$bb", 11},
        {"100000000000000002", "o'neil\";--@x.pl", "scrypt$10$8$1$cc$dd", 12}};
    ASSERT_EQ(store.ImportAccounts(accounts).added, 2);
    std::vector<gw::Run> runs;
    for (int i = 1; i <= 5; ++i) {
        gw::Run r =
            MakeRun(i, accounts[static_cast<std::size_t>(i % 2)].id, 1000 * i, 7, 4096, 0, 10'000'000);
        r.cpuinfo = "Tab\there, line\nbreak\r\nand back\\slash \\. " + std::to_string(i);
        r.gpuinfo = "\\N";
        r.osinfo = "Debian 12 — zażółć";
        runs.push_back(r);
    }
    const gw::ImportResult first = store.ImportRuns(runs);
    EXPECT_EQ(first.added, 5);
    EXPECT_EQ(first.present, 5);

    const gw::ImportResult again = store.ImportRuns(runs);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.present, 5);
    const gw::ImportResult accountsAgain = store.ImportAccounts(accounts);
    EXPECT_EQ(accountsAgain.added, 0);
    EXPECT_EQ(accountsAgain.present, 2);
    EXPECT_EQ(store.FindByEmail("zażółć@X.PL")->secret, "scrypt$15$8$1$aa$bb");
    EXPECT_EQ(store.AccountsAfter("", 10), accounts);
    EXPECT_EQ(store.RunsAfter(0, 10), runs);
    EXPECT_EQ(store.RunsAfter(3, 1), std::vector<gw::Run>{runs[3]});
    EXPECT_EQ(store.Standings(runs[0])[0].count, 5); // counted once

    // A run number or identifier that holds other data is neither replaced nor counted as present; a
    // run without its account is left out.
    gw::Run changed = runs[2];
    changed.cpu += 1;
    const gw::Run orphan = MakeRun(9, "999", 1, 1, 1, 1, 1);
    const gw::ImportResult conflicting = store.ImportRuns({changed, orphan, runs[4]});
    EXPECT_EQ(conflicting.added, 0);
    EXPECT_EQ(conflicting.present, 1);
    EXPECT_EQ(store.RunsAfter(2, 1).front(), runs[2]);
    gw::Account taken = accounts[0];
    taken.id = "100000000000000003"; // another identifier, an e-mail address already there
    EXPECT_EQ(store.ImportAccounts({taken}).present, 0);
    EXPECT_EQ(store.Totals().accounts, 2);
    EXPECT_EQ(store.Totals().runs, 5);

    // New saves number on after the imported runs.
    ASSERT_EQ(store.AddRun(MakeRun(0, accounts[0].id, 1, 1, 1, 1, 1), kNoLimits),
              gw::Store::SaveResult::Added);
    EXPECT_EQ(store.RunsOf(accounts[0].id).front().seq, 6);
}

INSTANTIATE_TEST_SUITE_P(Backends, GatewayStore, kBothBackends, BackendName);

void RawSql(const std::string& file, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    EXPECT_EQ(rc, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

TEST(GatewaySchema, AnSqliteFileOfTheFirstLayoutIsUpgradedWithItsCounts) {
    const std::string file =
        (MakeTempDir(QStringLiteral("schema")) + QStringLiteral("/old.db")).toStdString();
    RawSql(file,
           "CREATE TABLE accounts (id TEXT PRIMARY KEY, email TEXT NOT NULL UNIQUE COLLATE NOCASE,"
           " secret TEXT NOT NULL, created INTEGER NOT NULL);"
           "CREATE TABLE runs (seq INTEGER PRIMARY KEY AUTOINCREMENT, account TEXT NOT NULL REFERENCES"
           " accounts(id), created INTEGER NOT NULL, cpu INTEGER NOT NULL, ram INTEGER NOT NULL,"
           " hdd INTEGER NOT NULL, gpu2d INTEGER NOT NULL, gpu3d INTEGER NOT NULL, overall INTEGER NOT NULL,"
           " cpuinfo TEXT NOT NULL, raminfo TEXT NOT NULL, hddinfo TEXT NOT NULL, gpuinfo TEXT NOT NULL,"
           " osinfo TEXT NOT NULL, version TEXT NOT NULL);"
           "CREATE INDEX runs_by_account ON runs(account, seq);"
           "INSERT INTO accounts VALUES ('7', 'a@x.pl', 's', 1);"
           "INSERT INTO runs (account, created, cpu, ram, hdd, gpu2d, gpu3d, overall, cpuinfo, raminfo,"
           " hddinfo, gpuinfo, osinfo, version) VALUES"
           " ('7', 1, 1000, 10, 10, 10, 10, 208, '', '', '', '', '', ''),"
           " ('7', 2, 3000, 20, 20, 20, 20, 616, '', '', '', '', '', ''),"
           " ('7', 3, 5000, 30, 9000, 30, 30, 2818, '', '', '', '', '', '')");
    {
        gw::SqliteStore store(file);
        const auto s = store.Standings(MakeRun(0, "7", 3000, 20, 20, 20, 20));
        EXPECT_EQ(s[0], (gw::Standing{3, 3000, 2, 5000}));
        EXPECT_EQ(s[2], (gw::Standing{3, 20, 2, 9000}));
        EXPECT_EQ(s[5], (gw::Standing{3, 616, 2, 2818}));
        EXPECT_EQ(store.FindByEmail("A@X.PL")->id, "7");
    }
    gw::SqliteStore reopened(file); // an upgraded file is taken as it is
    EXPECT_EQ(reopened.Totals().runs, 3);

    RawSql(file, "UPDATE schema_version SET version = 3");
    try {
        gw::SqliteStore newer(file);
        ADD_FAILURE() << "a newer schema was opened";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("schema version 3, newer than this gateway's 2"),
                  std::string::npos)
            << e.what();
    }
    // Copying needs only the two tables and opens nothing but existing files.
    EXPECT_THROW(gw::SqliteStore(file + ".missing", gw::SqliteStore::Mode::ReadOnly), std::runtime_error);
    EXPECT_EQ(gw::SqliteStore(file, gw::SqliteStore::Mode::ReadOnly).Totals().accounts, 1);
}

TEST(GatewaySchema, PostgresSchemaIsCreatedOnceByConcurrentProcessesAndNewerIsRefused) {
    FreshDatabase db(Backend::Postgres);
    SKIP_UNLESS_AVAILABLE(db);
    std::vector<std::thread> openers;
    std::atomic<int> opened{0};
    for (int i = 0; i < 4; ++i)
        openers.emplace_back([&] {
            try {
                gw::PostgresStore s(db.Address(), 1);
                ++opened;
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        });
    for (std::thread& t : openers)
        t.join();
    EXPECT_EQ(opened.load(), 4);
    EXPECT_EQ(db.Postgres().Query("SELECT string_agg(version::text, ',') FROM schema_version"), "2");

    db.Postgres().Query("UPDATE schema_version SET version = 3");
    EXPECT_THROW(gw::PostgresStore(db.Address()), std::runtime_error);
    EXPECT_THROW(gw::PostgresStore("postgresql:///no_such_database?host=/nonexistent"), std::runtime_error);
}

} // namespace
} // namespace orv::test
