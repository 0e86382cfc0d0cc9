// Gateway processes on one PostgreSQL database, and the copy of an SQLite gateway into one.
#include "gateway/Crypto.h"
#include "gateway/Migrate.h"
#include "gateway/PostgresStore.h"
#include "gateway/SqliteStore.h"
#include "tests/gateway/StoreFixture.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/TestEnv.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <httplib.h>

namespace orv::test {
namespace {

std::string Login(int port, const std::string& email, const std::string& password) {
    httplib::Client cli("127.0.0.1", port);
    const httplib::Params p{
        {"action", "login"}, {"email", email}, {"password", gw::ClientPasswordValue(password)}};
    const auto res = cli.Post("/api/gateway", p);
    return res ? res->body : "no reply";
}

std::string Save(int port, const std::string& id, int cpu) {
    httplib::Client cli("127.0.0.1", port);
    const std::string s = std::to_string(cpu);
    const httplib::Params p{{"action", "save"}, {"user", id}, {"cpu", s},   {"ram", s},
                            {"hdd", s},         {"gpu2d", s}, {"gpu3d", s}, {"cpuinfo", "CPU " + s}};
    const auto res = cli.Post("/api/gateway", p);
    return res ? res->body : "no reply";
}

std::string ResultsPage(GatewayProcess& g, const std::string& id) {
    QByteArray page;
    const int status =
        g.Get(QString::fromStdString("/api/gateway/results/" + id + "/" + gw::ResultsHash(id)), &page);
    return std::to_string(status) + " " + page.toStdString();
}

QStringList OnDatabase(const std::string& address) {
    return {QStringLiteral("--db"), QString::fromStdString(address)};
}

TEST(GatewayOnPostgres, TwoProcessesServeTheSameAccountsRunsAndLockOuts) {
    ScratchPostgres pg;
    if (!pg.Available())
        GTEST_SKIP() << "no PostgreSQL server: ORVANTA_TEST_PG is not set (scripts/postgres starts one)";
    GatewayProcess a, b;
    ASSERT_TRUE(a.Start(OnDatabase(pg.Address()))) << a.Output().toStdString();
    ASSERT_TRUE(b.Start(OnDatabase(pg.Address()))) << b.Output().toStdString();

    ASSERT_TRUE(a.Register(QStringLiteral("dwa@x.pl"), QStringLiteral("hasło")));
    EXPECT_FALSE(b.Register(QStringLiteral("DWA@x.pl"), QStringLiteral("inne"))); // taken, whoever asks
    const std::string id = Login(b.Port(), "dwa@x.pl", "hasło");
    ASSERT_EQ(id.size(), 18u);
    EXPECT_EQ(Login(a.Port(), "Dwa@X.pl", "hasło"), id);

    EXPECT_EQ(Save(a.Port(), id, 1000), "OK");
    EXPECT_EQ(Save(b.Port(), id, 3000), "OK");
    const std::string page = ResultsPage(a, id);
    ASSERT_EQ(page.rfind("200 ", 0), 0u) << page.substr(0, 200);
    // The latest run, saved through the other process, against both.
    EXPECT_NE(
        page.find("<td>CPU</td><td class=\"n\">3000</td><td class=\"n\">2000</td><td class=\"n\">1 z 2</td>"),
        std::string::npos);
    EXPECT_NE(page.find("CPU 1000"), std::string::npos);
    EXPECT_NE(page.find("CPU 3000"), std::string::npos);
    EXPECT_EQ(ResultsPage(b, id), page);

    // Failed logins count wherever they arrive: five in all lock the account in both processes.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Login((i % 2 ? a : b).Port(), "dwa@x.pl", "złe"), "0");
    EXPECT_EQ(Login(a.Port(), "dwa@x.pl", "hasło"), "ERROR");
    EXPECT_EQ(Login(b.Port(), "dwa@x.pl", "hasło"), "ERROR");
}

// The gateway program copying an SQLite file into --db: its exit code and what it says.
std::pair<int, std::string> MigrateWithProgram(const QString& file, const std::string& address) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(
        BinDir() + QStringLiteral("/orvanta-gateway"),
        {QStringLiteral("--migrate-from"), file, QStringLiteral("--db"), QString::fromStdString(address)});
    if (!p.waitForFinished(60000))
        return {-1, "did not finish"};
    return {p.exitCode(), p.readAll().toStdString()};
}

TEST(GatewayOnPostgres, AnSqliteGatewayIsCopiedWithItsPasswordsAndACopyRepeatsWithoutChange) {
    ScratchPostgres pg;
    if (!pg.Available())
        GTEST_SKIP() << "no PostgreSQL server: ORVANTA_TEST_PG is not set (scripts/postgres starts one)";
    GatewayProcess old;
    ASSERT_TRUE(old.Start());
    ASSERT_TRUE(old.Register(QStringLiteral("ola@x.pl"), QStringLiteral("zażółć")));
    ASSERT_TRUE(old.Register(QStringLiteral("ewa@x.pl"), QStringLiteral("p")));
    const std::string ola = Login(old.Port(), "ola@x.pl", "zażółć");
    const std::string ewa = Login(old.Port(), "ewa@x.pl", "p");
    for (const int cpu : {5000, 7000, 6000})
        ASSERT_EQ(Save(old.Port(), ola, cpu), "OK");
    ASSERT_EQ(Save(old.Port(), ewa, 100), "OK");
    const std::string oldPage = ResultsPage(old, ola);
    old.Stop();

    const auto [code, out] = MigrateWithProgram(old.Database(), pg.Address());
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("2 accounts and 4 runs copied"), std::string::npos) << out;
    const auto [againCode, again] = MigrateWithProgram(old.Database(), pg.Address());
    EXPECT_EQ(againCode, 0) << again;
    EXPECT_NE(again.find("0 accounts and 0 runs copied; all 2 accounts and 4 runs"), std::string::npos)
        << again;

    {
        gw::SqliteStore from(old.Database().toStdString(), gw::SqliteStore::Mode::ReadOnly);
        gw::PostgresStore to(pg.Address());
        EXPECT_EQ(to.AccountsAfter("", 10), from.AccountsAfter("", 10));
        EXPECT_EQ(to.RunsAfter(0, 10), from.RunsAfter(0, 10));
        EXPECT_EQ(to.Totals().runs, 4);
    }
    // The copy serves the same page, and the old password logs in.
    GatewayProcess copy;
    ASSERT_TRUE(copy.Start(OnDatabase(pg.Address())));
    EXPECT_EQ(Login(copy.Port(), "ola@x.pl", "zażółć"), ola);
    EXPECT_EQ(ResultsPage(copy, ola), oldPage);
    EXPECT_EQ(Save(copy.Port(), ewa, 200), "OK"); // numbered after the copied runs
    copy.Stop();

    // A run changed in the target since: the copy is reported incomplete and nothing is overwritten.
    pg.Query("UPDATE runs SET cpu = 1 WHERE cpu = 7000");
    const auto [badCode, bad] = MigrateWithProgram(old.Database(), pg.Address());
    EXPECT_EQ(badCode, 1);
    EXPECT_NE(bad.find("the copy is incomplete: 2 of 2 accounts and 3 of 4 runs"), std::string::npos) << bad;
    EXPECT_EQ(pg.Query("SELECT COUNT(*) FROM runs WHERE cpu = 1"), "1");
    EXPECT_EQ(pg.Query("SELECT COUNT(*) FROM runs"), "5");

    // Without --db there is nowhere to copy to; a missing file is no gateway database.
    EXPECT_EQ(MigrateWithProgram(old.Database() + QStringLiteral(".none"), pg.Address()).first, 1);
}

} // namespace
} // namespace orv::test
