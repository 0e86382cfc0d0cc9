#include "gateway/Crypto.h"
#include "gateway/Server.h"
#include "gateway/Store.h"
#include "tests/gateway/StoreFixture.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/TestEnv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <httplib.h>

namespace orv::test {
namespace {

std::string Post(int port, const std::string& body) {
    httplib::Client cli("127.0.0.1", port);
    const auto res = cli.Post("/api/gateway", body, "application/x-www-form-urlencoded");
    return res ? std::to_string(res->status) + " " + res->body : "no reply";
}

std::string Login(int port, const std::string& email, const std::string& password) {
    httplib::Client cli("127.0.0.1", port);
    const httplib::Params p{
        {"action", "login"}, {"email", email}, {"password", gw::ClientPasswordValue(password)}};
    const auto res = cli.Post("/api/gateway", p);
    return res ? res->body : "no reply";
}

TEST(GatewayParts, FormsHashesAndEscaping) {
    const gw::FormMap f = gw::ParseForm("a=1&b=x+y%40z%3D%26&b=second&c&=v&d=%zz%4");
    EXPECT_EQ(f.at("a"), "1");
    EXPECT_EQ(f.at("b"), "x y@z=&");
    EXPECT_EQ(f.at("c"), "");
    EXPECT_EQ(f.at("d"), "%zz%4");
    EXPECT_EQ(gw::HtmlEscape("<a href=\"x\">'&'</a>"),
              "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
    EXPECT_EQ(gw::ToWindows1250("zażółć\xE2\x82\xAC\xD0\x96"), std::string("za\xBF\xF3\xB3\xE6\x80?"));
    EXPECT_EQ(gw::Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");

    const gw::KdfCost cheap{10, 8, 1};
    const std::string record = gw::HashSecret("0123456789abcdef0123456789abcdef", cheap);
    EXPECT_EQ(record.rfind("scrypt$10$8$1$", 0), 0u);
    EXPECT_EQ(record.find("0123456789abcdef0123456789abcdef"), std::string::npos);
    EXPECT_TRUE(gw::VerifySecret("0123456789abcdef0123456789abcdef", record));
    EXPECT_FALSE(gw::VerifySecret("0123456789abcdef0123456789abcdee", record));
    EXPECT_FALSE(gw::VerifySecret("x", "scrypt$99$8$1$00$00"));
    EXPECT_NE(gw::HashSecret("same", cheap), gw::HashSecret("same", cheap)); // salted

    const std::string id = gw::RandomAccountId(18);
    EXPECT_EQ(id.size(), 18u);
    EXPECT_NE(id[0], '0');
    EXPECT_EQ(id.find_first_not_of("0123456789"), std::string::npos);

    EXPECT_TRUE(gw::IsLoopback("127.0.0.1"));
    EXPECT_TRUE(gw::IsLoopback("127.1.2.3"));
    EXPECT_TRUE(gw::IsLoopback("::1"));
    EXPECT_FALSE(gw::IsLoopback("0.0.0.0"));
    EXPECT_FALSE(gw::IsLoopback("192.168.1.5"));
}

// The gateway's replies and pages on each back end.
class GatewayLogic : public ::testing::TestWithParam<Backend> {
protected:
    GatewayLogic() : db(GetParam()), storage(db.Open()), store(*storage), gateway(store, Options()) {}
    void SetUp() override { SKIP_UNLESS_AVAILABLE(db); }
    static gw::Options Options() {
        gw::Options o;
        o.cost = {10, 8, 1};
        return o;
    }
    std::string Save(const std::string& user, int cpu, int ram, int hdd, int g2, int g3) {
        return gateway.Action({{"action", "save"},
                               {"user", user},
                               {"cpu", std::to_string(cpu)},
                               {"ram", std::to_string(ram)},
                               {"hdd", std::to_string(hdd)},
                               {"gpu2d", std::to_string(g2)},
                               {"gpu3d", std::to_string(g3)},
                               {"cpuinfo", "CPU <script>"},
                               {"version", "1.2.0.0"}});
    }
    FreshDatabase db;
    std::unique_ptr<gw::Store> storage;
    gw::Store& store;
    gw::Gateway gateway;
};

TEST_P(GatewayLogic, RegistrationRulesAndLoginReplies) {
    std::string id;
    EXPECT_EQ(gateway.Register("  ola@example.pl ", "hasło", "hasło", &id), "");
    EXPECT_EQ(gateway.Register("OLA@example.pl", "x", "x", &id), "Konto z tym adresem e-mail już istnieje.");
    EXPECT_NE(gateway.Register("bez-malpy", "x", "x", &id), "");
    EXPECT_NE(gateway.Register("a b@c.pl", "x", "x", &id), "");
    EXPECT_NE(gateway.Register(std::string(60, 'a') + "@b.com.pl", "x", "x", &id), ""); // 67 characters
    EXPECT_NE(gateway.Register("k@l.pl", std::string(33, 'x'), std::string(33, 'x'), &id), "");
    EXPECT_NE(gateway.Register("k@l.pl", "abc", "abd", &id), "");
    EXPECT_NE(gateway.Register("k@l.pl", "zna\xD0\x96k", "zna\xD0\x96k", &id), ""); // would hash as "zna?k"
    EXPECT_EQ(gateway.Register("k@l.pl", "ąęśćżźńół" + std::string(23, 'x'),
                               "ąęśćżźńół" + std::string(23, 'x'), &id),
              "");

    const auto login = [&](const std::string& email, const std::string& secret) {
        return gateway.Action({{"action", "login"}, {"email", email}, {"password", secret}});
    };
    const std::string ola = login("ola@example.pl", gw::ClientPasswordValue("hasło"));
    EXPECT_EQ(ola.size(), 18u);
    EXPECT_EQ(login("Ola@Example.pl", gw::ClientPasswordValue("hasło")), ola);
    EXPECT_EQ(login(" ola@example.pl ", gw::ClientPasswordValue("hasło")), ola);
    EXPECT_EQ(login("ola@example.pl", gw::ClientPasswordValue("haslo")), "0");
    EXPECT_EQ(login("ola@example.pl", "not-a-hash"), "0");
    EXPECT_EQ(login("nikt@example.pl", gw::ClientPasswordValue("hasło")), "-1");
    EXPECT_EQ(gateway.Action({{"action", "login"}, {"email", "ola@example.pl"}}), "ERROR");
    EXPECT_EQ(gateway.Action({{"action", "ping"}}), "OK");
    EXPECT_EQ(gateway.Action({{"action", "version"}}), "1.2.0.0");
    EXPECT_EQ(gateway.Action({{"action", "drop"}}), "ERROR");
    EXPECT_EQ(gateway.Action({}), "ERROR");
}

TEST_P(GatewayLogic, SavesAreCheckedAndTheResultsPageCompares) {
    std::string a, b;
    ASSERT_EQ(gateway.Register("a@x.pl", "p", "p", &a), "");
    ASSERT_EQ(gateway.Register("b@x.pl", "p", "p", &b), "");
    EXPECT_EQ(Save("123", 1, 1, 1, 1, 1), "ERROR");
    EXPECT_EQ(gateway.Action({{"action", "save"}, {"user", a}, {"cpu", "12x"}}), "ERROR");
    EXPECT_EQ(Save(a, 1000, 1000, 1000, 1000, 1000), "OK");
    EXPECT_EQ(Save(b, 3000, 3000, 3000, 3000, 3000), "OK");
    EXPECT_EQ(Save(b, 5000, 5000, 5000, 5000, 5000), "OK");
    EXPECT_EQ(Save(a, 4000, 2000, 6000, 8000, 10000), "OK");

    const std::string page = gateway.ResultsPage(a).value();
    // Latest run of a: CPU 4000 against 1000, 3000, 4000, 5000 → median 3500, place 2 of 4.
    EXPECT_NE(
        page.find("<td>CPU</td><td class=\"n\">4000</td><td class=\"n\">3500</td><td class=\"n\">2 z 4</td>"),
        std::string::npos);
    // Overall 6000 is the best of all four runs.
    EXPECT_NE(page.find("<td class=\"n\">6000</td><td class=\"n\">4000</td><td class=\"n\">1 z 4</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<svg"), std::string::npos);
    EXPECT_NE(page.find("CPU &lt;script&gt;"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("5000</td>"), std::string::npos); // b's runs are not listed on a's page
    EXPECT_FALSE(gateway.ResultsPage("999").has_value());
}

INSTANTIATE_TEST_SUITE_P(Backends, GatewayLogic, kBothBackends, BackendName);

class GatewayHttp : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gateway.Start()); }
    GatewayProcess gateway;
};

TEST_F(GatewayHttp, RegistrationFormLoginAndSqlMetacharactersStoredLiterally) {
    QByteArray home;
    EXPECT_EQ(gateway.Get(QStringLiteral("/"), &home), 200);
    EXPECT_TRUE(home.contains("name=\"haslo\""));
    EXPECT_EQ(gateway.Get(QStringLiteral("/pobierz")), 200);

    const std::string tricky = "o'neil\";DROP/**/TABLE/**/accounts;--@x.pl";
    ASSERT_TRUE(gateway.Register(QString::fromStdString(tricky), QStringLiteral("p'); --")));
    ASSERT_TRUE(gateway.Register(QStringLiteral("%_@x.pl"), QStringLiteral("p")));
    const std::string id = Login(gateway.Port(), tricky, "p'); --");
    ASSERT_EQ(id.size(), 18u);
    EXPECT_EQ(Login(gateway.Port(), "%@x.pl", "p"), "-1"); // no pattern matching either
    EXPECT_EQ(Login(gateway.Port(), "'' OR 1=1 --", "x"), "-1");

    QByteArray page;
    const std::string hash = gw::ResultsHash(id);
    EXPECT_EQ(gateway.Get(QString::fromStdString("/api/gateway/results/" + id + "/" + hash), &page), 200);
    EXPECT_TRUE(page.contains("o&#39;neil&quot;;DROP/**/TABLE/**/accounts;--@x.pl"));
}

TEST_F(GatewayHttp, ResultsPageRefusesAWrongHash) {
    ASSERT_TRUE(gateway.Register(QStringLiteral("r@x.pl"), QStringLiteral("p")));
    const std::string id = Login(gateway.Port(), "r@x.pl", "p");
    std::string wrong = gw::ResultsHash(id);
    wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
    QByteArray page;
    EXPECT_EQ(gateway.Get(QString::fromStdString("/api/gateway/results/" + id + "/" + wrong), &page), 403);
    EXPECT_FALSE(page.contains("r@x.pl"));
    EXPECT_EQ(
        gateway.Get(QString::fromStdString("/api/gateway/results/" + id + "/" + gw::ResultsHash(id + "1"))),
        403);
    EXPECT_EQ(
        gateway.Get(QString::fromStdString("/api/gateway/results/1" + id + "/" + gw::ResultsHash("1" + id))),
        404);
}

TEST_F(GatewayHttp, LongUploadsAcceptedAndOversizedBodiesRefused) {
    ASSERT_TRUE(gateway.Register(QStringLiteral("l@x.pl"), QStringLiteral("p")));
    const std::string id = Login(gateway.Port(), "l@x.pl", "p");
    // Above the HTTP library's own limit for forms, below the gateway's.
    const std::string info(20000, 'd');
    EXPECT_EQ(
        Post(gateway.Port(), "action=save&user=" + id + "&cpu=1&hdd=2&ram=3&gpu2d=4&gpu3d=5&hddinfo=" + info),
        "200 OK");
    EXPECT_EQ(Post(gateway.Port(), "action=ping&x=" + std::string(70000, 'x')), "413 ERROR");
    EXPECT_EQ(Post(gateway.Port(), "action=ping"), "200 OK");
}

TEST(GatewayProgram, PlainHttpOnlyOnLoopbackAndDatabaseIsPrivate) {
    const QString dir = MakeTempDir(QStringLiteral("gwprog"));
    QProcess p;
    p.start(BinDir() + QStringLiteral("/orvanta-gateway"),
            {QStringLiteral("--db"), dir + QStringLiteral("/g.db"), QStringLiteral("--listen"),
             QStringLiteral("0.0.0.0"), QStringLiteral("--port"), QStringLiteral("0")});
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_FALSE(QFile::exists(dir + QStringLiteral("/g.db")));

    GatewayProcess g;
    ASSERT_TRUE(g.Start());
    const QFileDevice::Permissions perms = QFile::permissions(g.Database());
    EXPECT_TRUE(perms & QFileDevice::ReadOwner);
    EXPECT_FALSE(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther |
                          QFileDevice::WriteOther));
}

} // namespace
} // namespace orv::test
