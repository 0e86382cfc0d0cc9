#include "core/MainModel.h"
#include "online/Charset.h"
#include "online/Gateway.h"
#include "platform/Registry.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/RecordingDesktop.h"
#include "tests/support/TestEnv.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

namespace orv::test {
namespace {

QString Md5OfBytes(const QByteArray& b) {
    return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Md5).toHex());
}

// A loopback port nobody listens on any more.
int DeadPort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const int port = s.serverPort();
    s.close();
    return port;
}

class GatewayClient : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxes(&boxes);
        poster.SetTimeouts(3000, 5000);
    }
    void TearDown() override { SetMessageBoxes(nullptr); }
    // The client talks to the wire server, which passes everything on to the real gateway.
    void ThroughWire() {
        wire.ForwardTo(gateway.Port());
        poster.SetBaseAddress(wire.Base());
    }

    RecordingBoxes boxes{false};
    RecordingDesktop desktop;
    QStringList& opened = desktop.opened;
    int& quits = desktop.quits;
    MainModel m;
    DataPoster poster;
    GatewayProcess gateway;
    WireServer wire;
};

TEST(FormBody, EncodesEveryCharacterClassAsTheGatewayExpects) {
    EXPECT_EQ(EncodeFormBody({{QStringLiteral("email"), QStringLiteral("jan kowalski@przykład.pl")},
                              {QStringLiteral("x"), QStringLiteral("a=b&c*-._~+/")}}),
              QByteArray("email=jan+kowalski%40przyk%C5%82ad.pl&x=a%3Db%26c*-._%7E%2B%2F"));
    EXPECT_EQ(EncodeFormBody({}), QByteArray());
    EXPECT_EQ(EncodeFormBody({{QStringLiteral("a"), QString()}}), QByteArray("a="));
    EXPECT_EQ(FormEncode(QStringLiteral("AZaz09")), QByteArray("AZaz09"));
    EXPECT_EQ(FormEncode(QStringLiteral("\n")), QByteArray("%0A"));
    // Characters outside Windows-1250 are "?" as in the password hash; Polish letters keep UTF-8.
    EXPECT_EQ(FormEncode(QStringLiteral("Ж")), QByteArray("%3F"));
    EXPECT_EQ(FormEncode(QStringLiteral("żЖ€")), QByteArray("%C5%BC%3F%E2%82%AC"));
    EXPECT_EQ(FormEncode(QStringLiteral("\U0001F600")), QByteArray("%3F"));
}

TEST(Md5, HashesTheWindows1250FormInLowerCaseHex) {
    EXPECT_EQ(Md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
    const QString polish = QStringLiteral("zażółć gęślą jaźń") + kSalt;
    const QByteArray cp1250 = QByteArray("za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1") + "Kd7Rw2Qx";
    EXPECT_EQ(EncodeCharset(polish), cp1250);
    EXPECT_EQ(Md5Hex(polish), Md5OfBytes(cp1250));
    EXPECT_NE(Md5Hex(polish), Md5OfBytes(polish.toUtf8()));
    // A character Windows-1250 cannot hold counts as "?".
    EXPECT_EQ(Md5Hex(QStringLiteral("Ж")), Md5Hex(QStringLiteral("?")));
    const QString h = Md5Hex(QStringLiteral("Hasło"));
    EXPECT_EQ(h.size(), 32);
    EXPECT_EQ(h, h.toLower());
    EXPECT_EQ(DecodeCharset(QByteArray("\xB9\xEA"), "windows-1250"), QStringLiteral("ąę"));
}

TEST(Identity, UserAgentAndVersion) {
    const QString agent = UserAgent();
    EXPECT_EQ(agent.size(), 32);
    for (QChar c : agent)
        EXPECT_TRUE(c.isLetterOrNumber() && c.unicode() < 128) << agent.toStdString();
    EXPECT_EQ(ProgramVersion(), QStringLiteral("1.2.0.0"));
}

TEST_F(GatewayClient, NoGatewayConfiguredMeansNoRequestAndNoPing) {
    qunsetenv(kGatewayEnv);
    EXPECT_EQ(ConfiguredGateway(), QString());
    EXPECT_FALSE(PostPing(poster));
    EXPECT_EQ(poster.RequestCount(), 0);
    // The settings file as a user edits it by hand; the environment wins over it.
    const RegistryKey key(kSettingsKey);
    QFile conf(key.FilePath());
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[Values]\nGateway=http://127.0.0.1:9/\n");
    conf.close();
    EXPECT_EQ(ConfiguredGateway(), QStringLiteral("http://127.0.0.1:9"));
    qputenv(kGatewayEnv, "https://env.example.org");
    EXPECT_EQ(ConfiguredGateway(), QStringLiteral("https://env.example.org"));
    ASSERT_TRUE(conf.remove());
    qputenv(kGatewayEnv, "ftp://example.org");
    EXPECT_EQ(ConfiguredGateway(), QString());
    qputenv(kGatewayEnv, "https://wyniki.example.org/");
    EXPECT_EQ(ConfiguredGateway(), QStringLiteral("https://wyniki.example.org"));
    qunsetenv(kGatewayEnv);
}

TEST_F(GatewayClient, PingSendsTheExactRequestAndNeedsExactlyOK) {
    ASSERT_TRUE(gateway.Start());
    ThroughWire();
    EXPECT_TRUE(PostPing(poster));
    ASSERT_EQ(wire.requests.size(), 1);
    const WireRequest& r = wire.requests[0];
    EXPECT_EQ(r.requestLine, QByteArray("POST /api/gateway HTTP/1.1"));
    EXPECT_EQ(r.Header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
    EXPECT_EQ(r.Header("Accept"),
              QByteArray("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"));
    EXPECT_EQ(r.Header("User-Agent"), UserAgent().toLatin1());
    EXPECT_EQ(r.body, QByteArray("action=ping"));

    WireServer canned;
    poster.SetBaseAddress(canned.Base());
    for (const QByteArray& reply : {QByteArray("OK\n"), QByteArray("ok"), QByteArray(" OK"), QByteArray()}) {
        canned.respond = [reply](const WireRequest&) { return WireServer::Reply(200, reply); };
        EXPECT_FALSE(PostPing(poster)) << reply.toStdString();
    }
    // An error status is a failure whatever the body says.
    canned.respond = [](const WireRequest&) { return WireServer::Reply(500, "OK"); };
    EXPECT_FALSE(PostPing(poster));
    canned.respond = [](const WireRequest&) { return WireServer::Reply(200, "OK"); };
    EXPECT_TRUE(PostPing(poster));
}

TEST_F(GatewayClient, VersionCheckAsksOnlyWhenTheVersionDiffers) {
    ASSERT_TRUE(gateway.Start());
    poster.SetBaseAddress(gateway.Base());
    SprawdzWersje(poster, ProgramVersion());
    EXPECT_TRUE(boxes.questions.isEmpty());
    gateway.Stop();

    GatewayProcess newer;
    ASSERT_TRUE(newer.Start({QStringLiteral("--current-version"), QStringLiteral("1.3.0.0")}));
    poster.SetBaseAddress(newer.Base());
    boxes.answer = false;
    SprawdzWersje(poster, ProgramVersion());
    EXPECT_EQ(boxes.questions, QStringList{kNewVersionQuestion});
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(quits, 0);
    boxes.answer = true;
    SprawdzWersje(poster, ProgramVersion());
    EXPECT_EQ(opened, QStringList{newer.Base() + QStringLiteral("/pobierz")});
    EXPECT_EQ(quits, 1);

    // An empty or unexpected body counts as different; a failed request asks nothing.
    WireServer canned;
    canned.respond = [](const WireRequest&) { return WireServer::Reply(200, ""); };
    poster.SetBaseAddress(canned.Base());
    boxes.questions.clear();
    boxes.answer = false;
    SprawdzWersje(poster, ProgramVersion());
    EXPECT_EQ(boxes.questions.size(), 1);
    canned.respond = [](const WireRequest&) { return WireServer::Reply(404, "1.3.0.0"); };
    SprawdzWersje(poster, ProgramVersion());
    EXPECT_EQ(boxes.questions.size(), 1);
}

TEST_F(GatewayClient, EveryLoginReplyOfTheRealGateway) {
    ASSERT_TRUE(gateway.Start());
    const QString password = QStringLiteral("Zażółć gęślą=&1");
    ASSERT_TRUE(gateway.Register(QStringLiteral("ala@example.pl"), password));
    ThroughWire();

    PostLogin(m, poster, QStringLiteral("ala@example.pl"), QStringLiteral("zle haslo"));
    EXPECT_EQ(boxes.infos, QStringList{QStringLiteral("Niepoprawne dane!")});
    EXPECT_TRUE(m.AccountId.isEmpty());

    PostLogin(m, poster, QStringLiteral("jan kowalski@example.pl"), password);
    EXPECT_EQ(boxes.infos.last(), QStringLiteral("Nie ma takiego użytkownika!"));
    EXPECT_TRUE(m.AccountId.isEmpty());
    // The recorded request: field order, "+" for the space, "%40" for "@", the Windows-1250 MD5.
    const QByteArray hash = Md5OfBytes(EncodeCharset(password + kSalt)).toLatin1();
    EXPECT_EQ(wire.requests.last().body,
              QByteArray("action=login&email=jan+kowalski%40example.pl&password=") + hash);

    PostLogin(m, poster, QStringLiteral("ala@example.pl"), password);
    EXPECT_EQ(boxes.infos.last(), QStringLiteral("Zalogowano pomyślnie."));
    EXPECT_EQ(m.AccountEmail, QStringLiteral("ala@example.pl"));
    EXPECT_FALSE(m.AccountId.isEmpty());
    for (QChar c : m.AccountId)
        EXPECT_TRUE(c.isDigit());
    EXPECT_FALSE(m.LoggedIn); // the caller decides that

    // The silent form stores the same way and tells nothing.
    MainModel silent;
    boxes.infos.clear();
    PostLoginSilent(silent, poster, QStringLiteral("ala@example.pl"), password);
    EXPECT_EQ(silent.AccountId, m.AccountId);
    PostLoginSilent(silent, poster, QStringLiteral("ala@example.pl"), QStringLiteral("x"));
    EXPECT_TRUE(boxes.infos.isEmpty());
}

TEST_F(GatewayClient, LoginRepliesTheGatewayCannotBeMadeToGive) {
    WireServer canned;
    QByteArray reply;
    QByteArray type = "text/plain; charset=utf-8";
    canned.respond = [&](const WireRequest&) { return WireServer::Reply(200, reply, type); };
    poster.SetBaseAddress(canned.Base());

    reply = "ERROR";
    PostLogin(m, poster, QStringLiteral("a@b.pl"), QStringLiteral("x"));
    EXPECT_EQ(boxes.infos, QStringList{QStringLiteral("Wystąpił błąd!")});
    reply = "";
    PostLogin(m, poster, QStringLiteral("a@b.pl"), QStringLiteral("x"));
    EXPECT_EQ(boxes.infos.size(), 1);
    EXPECT_TRUE(m.AccountId.isEmpty());
    // The identifier is taken as received, decoded with the reply's charset.
    reply = "\xB9\xEA 7\n";
    type = "text/plain; charset=windows-1250";
    PostLogin(m, poster, QStringLiteral("a@b.pl"), QStringLiteral("x"));
    EXPECT_EQ(m.AccountId, QStringLiteral("ąę 7\n"));
    EXPECT_EQ(boxes.infos.last(), QStringLiteral("Zalogowano pomyślnie."));
}

TEST_F(GatewayClient, CookiesOfRepliesAreSentBack) {
    WireServer canned;
    canned.respond = [](const WireRequest&) {
        return WireServer::Reply(200, "OK", "text/plain", "Set-Cookie: sesja=abc123; Path=/\r\n");
    };
    poster.SetBaseAddress(canned.Base());
    EXPECT_TRUE(PostPing(poster));
    EXPECT_TRUE(canned.requests[0].Header("Cookie").isEmpty());
    EXPECT_TRUE(PostPing(poster));
    EXPECT_EQ(canned.requests[1].Header("Cookie"), QByteArray("sesja=abc123"));
}

TEST_F(GatewayClient, SaveSendsEachFieldUnderItsNameAndShowsTheNotice) {
    ASSERT_TRUE(gateway.Start());
    ASSERT_TRUE(gateway.Register(QStringLiteral("ola@example.pl"), QStringLiteral("tajne")));
    ThroughWire();
    PostLoginSilent(m, poster, QStringLiteral("ola@example.pl"), QStringLiteral("tajne"));
    ASSERT_FALSE(m.AccountId.isEmpty());

    auto& s = m.Scores.ScoreTable;
    s[kScoreCpu] = 5100;
    s[kScoreRam] = 4200;
    s[kScoreHdd] = 3300;
    s[kScore2d] = 2400;
    s[18] = 1500;
    s[19] = 1500;
    s[20] = 1500;
    m.CpuInfo = QStringLiteral("Procesor 8 × 3,6 GHz");
    m.RamInfo = QStringLiteral("16 GB");
    m.HddInfo = QStringLiteral("SSD a=b&c");
    m.GpuInfo = QStringLiteral("GPU");
    m.OsInfo = QStringLiteral("Debian 12");

    // Logged out: nothing at all reaches the wire.
    const int before = wire.connections;
    const int requestsBefore = static_cast<int>(wire.requests.size());
    PostTest(m, poster, UploadOfModel(m));
    EXPECT_EQ(wire.requests.size(), requestsBefore);
    EXPECT_EQ(wire.connections, before);
    EXPECT_FALSE(m.ResultsUploaded);

    m.LoggedIn = true;
    PostTest(m, poster, UploadOfModel(m));
    EXPECT_EQ(wire.requests.last().body,
              QByteArray("action=save&user=") + m.AccountId.toLatin1() +
                  "&cpu=5100&hdd=3300&ram=4200&gpu2d=2400&gpu3d=1500"
                  "&cpuinfo=Procesor+8+%C3%97+3%2C6+GHz&raminfo=16+GB&hddinfo=SSD+a%3Db%26c&gpuinfo=GPU"
                  "&osinfo=Debian+12&version=1.2.0.0");
    EXPECT_TRUE(m.ResultsUploaded);
    EXPECT_TRUE(m.Visible(ctl::PrzypisanoWynikiLbl));
    EXPECT_EQ(m.Text(ctl::PrzypisanoWynikiLbl),
              QStringLiteral("Wyniki przypisano do Twojego konta w portalu ") + wire.Base() +
                  QStringLiteral("."));

    // The run is stored: the results address the client builds opens the account's page.
    QByteArray page;
    const QUrl results(poster.ResultsAddress(m.AccountId));
    EXPECT_EQ(gateway.Get(results.path(QUrl::FullyEncoded), &page), 200);
    EXPECT_TRUE(page.contains("Procesor 8 × 3,6 GHz"));
    EXPECT_TRUE(page.contains("3300"));

    // An unknown account: "ERROR", nothing changes.
    MainModel other;
    other.LoggedIn = true;
    other.AccountId = QStringLiteral("999");
    PostTest(other, poster, UploadOfModel(other));
    EXPECT_FALSE(other.ResultsUploaded);
    EXPECT_FALSE(other.Visible(ctl::PrzypisanoWynikiLbl));
}

TEST_F(GatewayClient, RedirectsAreFollowedUpToFifteen) {
    ASSERT_TRUE(gateway.Start());
    // "/hop/N/api/gateway" sends the client N more hops; hop 0 hands it to the gateway.
    WireServer hops;
    const int gatewayPort = gateway.Port();
    hops.respond = [gatewayPort](const WireRequest& r) {
        const QList<QByteArray> parts = r.requestLine.split(' ').value(1).split('/');
        const int n = parts.value(2).toInt();
        const QByteArray target = n == 0
                                      ? "http://127.0.0.1:" + QByteArray::number(gatewayPort) + "/api/gateway"
                                      : "/hop/" + QByteArray::number(n - 1) + "/api/gateway";
        return WireServer::Reply(308, "moved", "text/plain", "Location: " + target + "\r\n");
    };
    poster.SetBaseAddress(hops.Base() + QStringLiteral("/hop/14"));
    EXPECT_TRUE(PostPing(poster));
    EXPECT_EQ(hops.requests.size(), 15);
    for (const WireRequest& r : hops.requests)
        EXPECT_EQ(r.body, QByteArray("action=ping"));
    poster.SetBaseAddress(hops.Base() + QStringLiteral("/hop/15"));
    EXPECT_FALSE(PostPing(poster));
}

TEST_F(GatewayClient, DeadPortAndSilentServerFailWithinTheTimeOutWhileEventsRun) {
    poster.SetBaseAddress(QStringLiteral("http://127.0.0.1:%1").arg(DeadPort()));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(PostPing(poster));
    EXPECT_LT(t.elapsed(), 3000);

    WireServer silent;
    silent.respond = [](const WireRequest&) { return QByteArray(); };
    poster.SetBaseAddress(silent.Base());
    poster.SetTimeouts(300, 500);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    t.restart();
    EXPECT_FALSE(PostPing(poster));
    EXPECT_GE(t.elapsed(), 250); // it waited for the answer rather than giving up at once
    EXPECT_LT(t.elapsed(), 5000);
    EXPECT_EQ(silent.requests.size(), 1);
    EXPECT_GT(ticks, 3); // the thread kept serving its events while it waited
}

TEST_F(GatewayClient, HttpsNeedsTheGatewaysCaToBeTrusted) {
    TestCertificates certs;
    ASSERT_TRUE(MakeCertificates(MakeTempDir(QStringLiteral("certs")), &certs));
    ASSERT_TRUE(
        gateway.Start({QStringLiteral("--cert"), certs.certFile, QStringLiteral("--key"), certs.keyFile}));
    poster.SetBaseAddress(gateway.Base());
    ASSERT_TRUE(gateway.Base().startsWith(QStringLiteral("https://")));
    poster.SetCaFile(QString());
    EXPECT_FALSE(PostPing(poster));
    poster.SetCaFile(certs.caFile);
    EXPECT_TRUE(PostPing(poster));
    // Through the settings store's environment override as well.
    poster.SetCaFile(std::nullopt);
    qputenv(kGatewayCaEnv, certs.caFile.toLocal8Bit());
    EXPECT_TRUE(PostPing(poster));
    qunsetenv(kGatewayCaEnv);
}

TEST_F(GatewayClient, ResultsAddressKeepsTheIdentifierInItsSegment) {
    poster.SetBaseAddress(QStringLiteral("https://wyniki.example.org"));
    EXPECT_EQ(poster.ResultsAddress(QStringLiteral("123")),
              QStringLiteral("https://wyniki.example.org/api/gateway/results/123/") +
                  Md5Hex(QStringLiteral("123Kd7Rw2Qx")));
    EXPECT_EQ(poster.ResultsAddress(QStringLiteral("123")), poster.ResultsAddress(QStringLiteral("123")));
    const QUrl hostile(poster.ResultsAddress(QStringLiteral("1/../../x?y#@evil.org")), QUrl::StrictMode);
    ASSERT_TRUE(hostile.isValid());
    EXPECT_EQ(hostile.host(), QStringLiteral("wyniki.example.org"));
    EXPECT_FALSE(hostile.hasQuery());
    EXPECT_FALSE(hostile.hasFragment());
    EXPECT_TRUE(hostile.path(QUrl::FullyEncoded)
                    .startsWith(QStringLiteral("/api/gateway/results/1%2F..%2F..%2Fx%3Fy%23%40evil.org/")));
    EXPECT_EQ(poster.ResultsAddress(QStringLiteral("..")), QString());
    EXPECT_EQ(poster.ResultsAddress(QString()), QString());
    EXPECT_EQ(poster.PortalAddress(), QStringLiteral("https://wyniki.example.org/"));
    EXPECT_EQ(poster.DownloadAddress(), QStringLiteral("https://wyniki.example.org/pobierz"));
}

} // namespace
} // namespace orv::test
