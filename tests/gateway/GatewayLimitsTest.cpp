// The gateway under slow, idle and flooding clients, and its limits on logins and saves.
#include "gateway/Crypto.h"
#include "gateway/Server.h"
#include "gateway/Store.h"
#include "gateway/Throttle.h"
#include "tests/gateway/StoreFixture.h"
#include "tests/online/OnlineFixture.h"
#include "tests/support/TestEnv.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

namespace orv::test {
namespace {

using Clock = std::chrono::steady_clock;

// A client socket from a chosen loopback source address: the whole 127.0.0.0/8 reaches the server.
class RawClient {
public:
    RawClient(const char* source, int port) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, source, &a.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { close(fd_); }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool Connected() const { return connected_; }
    bool Send(const std::string& data) {
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = send(fd_, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // True when the server has closed the connection within ms.
    bool ClosedWithin(int ms) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return false;
        char c;
        return recv(fd_, &c, 1, MSG_DONTWAIT) <= 0;
    }
    // What the server sends until it closes or ms pass.
    std::string ReadAll(int ms) {
        std::string out;
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<std::size_t>(n));
        }
        return out;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// Milliseconds until a ping is answered "OK", or -1 when it is not within 3 s.
long PingMilliseconds(int port) {
    httplib::Client cli("127.0.0.1", port);
    cli.set_connection_timeout(3);
    cli.set_read_timeout(3);
    const auto start = Clock::now();
    const auto res = cli.Post("/api/gateway", "action=ping", "application/x-www-form-urlencoded");
    if (!res || res->body != "OK")
        return -1;
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Memory bounds allow for the address sanitizer's shadow memory and quarantine in that build.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryScale = 3;
#else
constexpr long kMemoryScale = 1;
#endif

// Kilobytes of a /proc status field (VmRSS, VmHWM) of a process.
long StatusKb(const std::string& pid, const std::string& field) {
    std::ifstream in("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

class GatewayUnderAttack : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(gateway.Start()); }
    long PeakMb() { return StatusKb(std::to_string(gateway.Pid()), "VmHWM") / 1024; }
    // Pings several times while an attack goes on; the slowest answer.
    long SlowestPing(int times) {
        long slowest = 0;
        for (int i = 0; i < times; ++i) {
            const long ms = PingMilliseconds(gateway.Port());
            slowest = ms < 0 ? 100000 : std::max(slowest, ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return slowest;
    }
    GatewayProcess gateway;
};

TEST_F(GatewayUnderAttack, SlowHeadersHoldNoWorker) {
    // 16 clients over two addresses, each dribbling one header byte every 50 ms.
    std::vector<std::unique_ptr<RawClient>> slow;
    for (int i = 0; i < 16; ++i) {
        slow.push_back(std::make_unique<RawClient>(i % 2 ? "127.0.0.2" : "127.0.0.3", gateway.Port()));
        ASSERT_TRUE(slow.back()->Connected());
        slow.back()->Send("POST /api/gateway HTTP/1.1\r\nHost: x\r\n");
    }
    std::atomic<bool> done{false};
    std::thread dribbler([&] {
        const std::string header = "X-Slow: abcdefgh\r\n";
        for (std::size_t i = 0; !done && i < 200; ++i) {
            for (auto& c : slow)
                c->Send(std::string(1, header[i % header.size()]));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const long slowest = SlowestPing(8);
    done = true;
    dribbler.join();
    EXPECT_LT(slowest, 1000);
    EXPECT_LT(PeakMb(), 64 * kMemoryScale);
}

TEST_F(GatewayUnderAttack, IdleConnectionsWaitOutsideTheWorkersAndEachAddressIsCapped) {
    // 200 idle connections from 20 addresses, 10 each: below the per-address cap.
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 200; ++i) {
        const std::string source = "127.0.1." + std::to_string(10 + i % 20);
        idle.push_back(std::make_unique<RawClient>(source.c_str(), gateway.Port()));
        ASSERT_TRUE(idle.back()->Connected());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_LT(SlowestPing(5), 1000);
    EXPECT_FALSE(idle.front()->ClosedWithin(0)); // still waited for, not dropped

    // One address beyond its cap: the surplus is closed at once, the rest keep waiting.
    std::vector<std::unique_ptr<RawClient>> greedy;
    for (int i = 0; i < 40; ++i)
        greedy.push_back(std::make_unique<RawClient>("127.0.0.4", gateway.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int closed = 0;
    for (auto& c : greedy)
        closed += c->ClosedWithin(0) ? 1 : 0;
    EXPECT_EQ(closed, 40 - 16);
    EXPECT_LT(SlowestPing(3), 1000);
    EXPECT_LT(PeakMb(), 64 * kMemoryScale);
}

TEST_F(GatewayUnderAttack, HeaderFloodIsCutOffAndMemoryStaysBounded) {
    RawClient flood("127.0.0.5", gateway.Port());
    ASSERT_TRUE(flood.Connected());
    ASSERT_TRUE(flood.Send("GET / HTTP/1.1\r\nHost: x\r\n"));
    std::string chunk;
    while (chunk.size() < 64 * 1024)
        chunk += "a:b\r\n";
    std::atomic<long> slowest{0};
    std::atomic<bool> flooding{true};
    std::thread pinger([&] {
        while (flooding) {
            const long ms = PingMilliseconds(gateway.Port());
            slowest = std::max(slowest.load(), ms < 0 ? 100000L : ms);
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    // At most 60 MB or 10 s; the gateway should end the connection within its head limit.
    std::size_t sent = 0;
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (sent < 60u * 1024 * 1024 && Clock::now() < end && flood.Send(chunk))
        sent += chunk.size();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    flooding = false;
    pinger.join();
    // Socket buffers on both sides take a few megabytes before the reset is seen.
    EXPECT_LT(sent, 16u * 1024 * 1024);
    EXPECT_LT(slowest.load(), 1000);
    EXPECT_LT(PeakMb(), 64 * kMemoryScale);
}

TEST_F(GatewayUnderAttack, TooManyHeadersGetTheErrorPage) {
    RawClient c("127.0.0.6", gateway.Port());
    std::string request = "GET / HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 100; ++i)
        request += "X-" + std::to_string(i) + ": y\r\n";
    ASSERT_TRUE(c.Send(request + "\r\n"));
    const std::string reply = c.ReadAll(2000);
    EXPECT_EQ(reply.rfind("HTTP/1.1 431 ", 0), 0u) << reply.substr(0, 80);
    EXPECT_NE(reply.find("Content-Security-Policy: default-src 'none'"), std::string::npos);

    // 60 headers are within the limit and answered as before.
    RawClient fine("127.0.0.6", gateway.Port());
    request = "GET /pobierz HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    for (int i = 0; i < 60; ++i)
        request += "X-" + std::to_string(i) + ": y\r\n";
    ASSERT_TRUE(fine.Send(request + "\r\n"));
    EXPECT_EQ(fine.ReadAll(2000).rfind("HTTP/1.1 200 OK", 0), 0u);
}

TEST(GatewayTls, HeadLimitsHoldOverTls) {
    const QString dir = MakeTempDir(QStringLiteral("gwtls"));
    TestCertificates certs;
    ASSERT_TRUE(MakeCertificates(dir, &certs));
    GatewayProcess g;
    ASSERT_TRUE(g.Start({QStringLiteral("--cert"), certs.certFile, QStringLiteral("--key"), certs.keyFile}));
    httplib::SSLClient cli("127.0.0.1", g.Port());
    cli.set_ca_cert_path(certs.caFile.toStdString());
    cli.enable_server_certificate_verification(true);
    const auto ping = cli.Post("/api/gateway", "action=ping", "application/x-www-form-urlencoded");
    ASSERT_TRUE(ping);
    EXPECT_EQ(ping->body, "OK");
    // Several requests on one connection, as keep-alive allows.
    const auto again = cli.Post("/api/gateway", "action=version", "application/x-www-form-urlencoded");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->body, "1.2.0.0");

    httplib::Headers many;
    for (int i = 0; i < 100; ++i)
        many.emplace("X-" + std::to_string(i), "y");
    const auto refused = cli.Get("/", many);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 431);
}

// ---- Logins, saves and their limits, without HTTP ----

TEST(GatewayLimits, FailureThrottleLocksOutForAWhile) {
    gw::FailureThrottle t({3, 100, 50}, 4);
    EXPECT_TRUE(t.Allowed("a", 0));
    t.Failed("a", 0);
    t.Failed("a", 10);
    EXPECT_TRUE(t.Allowed("a", 10));
    t.Failed("a", 20); // the third within the window
    EXPECT_FALSE(t.Allowed("a", 20));
    EXPECT_FALSE(t.Allowed("a", 69));
    EXPECT_TRUE(t.Allowed("a", 70));
    EXPECT_TRUE(t.Allowed("b", 20)); // keys are apart

    // Failures spread beyond the window never lock.
    t.Failed("c", 0);
    t.Failed("c", 60);
    t.Failed("c", 120);
    t.Failed("c", 180);
    EXPECT_TRUE(t.Allowed("c", 180));

    // Success forgets the failures.
    t.Failed("d", 0);
    t.Failed("d", 1);
    t.Succeeded("d");
    t.Failed("d", 2);
    EXPECT_TRUE(t.Allowed("d", 2));

    // A flood of new keys does not lift a lock-out.
    t.Failed("e", 200);
    t.Failed("e", 200);
    t.Failed("e", 200);
    for (int i = 0; i < 20; ++i)
        t.Failed("k" + std::to_string(i), 201);
    EXPECT_FALSE(t.Allowed("e", 201));
}

// The limits on each back end, where they live in the database.
class GatewayRules : public ::testing::TestWithParam<Backend> {
protected:
    GatewayRules() : db(GetParam()), storage(db.Open()), store(*storage) {}
    void SetUp() override { SKIP_UNLESS_AVAILABLE(db); }
    gw::Options Cheap() {
        gw::Options o;
        o.cost = {10, 8, 1};
        o.clock = [this] { return now.load(); };
        return o;
    }
    std::string Login(gw::Gateway& g, const std::string& email, const std::string& password,
                      const std::string& client) {
        return g.Action(
            {{"action", "login"}, {"email", email}, {"password", gw::ClientPasswordValue(password)}}, client);
    }
    static std::string Save(gw::Gateway& g, const std::string& user, const std::string& cpu) {
        return g.Action({{"action", "save"},
                         {"user", user},
                         {"cpu", cpu},
                         {"ram", "5000"},
                         {"hdd", "5000"},
                         {"gpu2d", "5000"},
                         {"gpu3d", "5000"}});
    }
    std::atomic<std::int64_t> now{1'700'000'000};
    FreshDatabase db;
    std::unique_ptr<gw::Store> storage;
    gw::Store& store;
};

TEST_P(GatewayRules, FailedLoginsLockTheAccountAndTheAddress) {
    gw::Gateway g(store, Cheap());
    std::string id, other;
    ASSERT_EQ(g.Register("ola@x.pl", "dobre", "dobre", &id), "");
    ASSERT_EQ(g.Register("ewa@x.pl", "dobre", "dobre", &other), "");

    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Login(g, "ola@x.pl", "złe", "10.0.0." + std::to_string(i)), "0");
    // Locked: even the right password from a new address is turned away, other accounts are not.
    EXPECT_EQ(Login(g, "ola@x.pl", "dobre", "10.0.0.9"), "ERROR");
    EXPECT_EQ(Login(g, "ewa@x.pl", "dobre", "10.0.0.9"), other);
    now += 5 * 60;
    EXPECT_EQ(Login(g, "ola@x.pl", "dobre", "10.0.0.9"), id);

    // One address guessing across accounts and unknown addresses.
    for (int i = 0; i < 20; ++i)
        Login(g, i % 2 ? "nikt" + std::to_string(i) + "@x.pl" : "ewa@x.pl", "złe", "192.0.2.7");
    EXPECT_EQ(Login(g, "ola@x.pl", "dobre", "192.0.2.7"), "ERROR");
    EXPECT_EQ(Login(g, "ola@x.pl", "dobre", "192.0.2.8"), id);
    now += 5 * 60;
    EXPECT_EQ(Login(g, "ola@x.pl", "dobre", "192.0.2.7"), id);
}

TEST_P(GatewayRules, ScoresOutsideARunsRangeAreRefused) {
    gw::Gateway g(store, Cheap());
    std::string id;
    ASSERT_EQ(g.Register("s@x.pl", "p", "p", &id), "");
    EXPECT_EQ(Save(g, id, "-1"), "ERROR");
    EXPECT_EQ(Save(g, id, "-2147483648"), "ERROR");
    EXPECT_EQ(Save(g, id, "2147483647"), "ERROR");
    EXPECT_EQ(Save(g, id, "10000001"), "ERROR");
    EXPECT_EQ(Save(g, id, "10000000"), "OK");
    EXPECT_EQ(Save(g, id, "0"), "OK");
    EXPECT_EQ(store.RunsOf(id).size(), 2u);
}

TEST_P(GatewayRules, SavesPerHourAndStoredRunsAreLimited) {
    gw::Options o = Cheap();
    o.abuse.savesPerHour = 3;
    o.abuse.runsPerAccount = 5;
    gw::Gateway g(store, o);
    std::string id, other;
    ASSERT_EQ(g.Register("r@x.pl", "p", "p", &id), "");
    ASSERT_EQ(g.Register("q@x.pl", "p", "p", &other), "");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Save(g, id, "100"), "OK");
    EXPECT_EQ(Save(g, id, "100"), "ERROR");
    EXPECT_EQ(Save(g, other, "100"), "OK"); // per account
    now += 3601;
    EXPECT_EQ(Save(g, id, "100"), "OK");
    EXPECT_EQ(Save(g, id, "100"), "OK");
    now += 3601;
    EXPECT_EQ(Save(g, id, "100"), "ERROR"); // five stored: no more, whatever the hour
    EXPECT_EQ(store.RunsOf(id).size(), 5u);
}

TEST_P(GatewayRules, ConcurrentHashesStayWithinTheirMemory) {
    gw::Options o = Cheap();
    o.cost = {15, 8, 1}; // the default: 32 MB per hash
    gw::Gateway g(store, o);
    std::string id;
    ASSERT_EQ(g.Register("m@x.pl", "p", "p", &id), "");
    // Start the peak from here.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusKb("self", "VmRSS");
    std::vector<std::thread> logins;
    std::atomic<int> ok{0};
    for (int i = 0; i < 16; ++i)
        logins.emplace_back([&] { ok += Login(g, "m@x.pl", "p", "127.0.0.1") == id ? 1 : 0; });
    for (std::thread& t : logins)
        t.join();
    EXPECT_EQ(ok.load(), 16);
    // Four hashes at a time: 128 MB, with room for the allocator; sixteen would take 512 MB.
    EXPECT_LT((StatusKb("self", "VmHWM") - before) / 1024, 200 * kMemoryScale);
}

INSTANTIATE_TEST_SUITE_P(Backends, GatewayRules, kBothBackends, BackendName);

TEST(GatewayProxy, BehindAProxyTheAddressItSawIsLimitedAndTheHeaderIsOtherwiseIgnored) {
    EXPECT_EQ(gw::ClientAddress("127.0.0.1", "203.0.113.5, 198.51.100.7", true), "198.51.100.7");
    EXPECT_EQ(gw::ClientAddress("::1", " 2001:db8::1 ", true), "2001:db8::1");
    EXPECT_EQ(gw::ClientAddress("127.0.0.1", "198.51.100.7", false), "127.0.0.1");
    EXPECT_EQ(gw::ClientAddress("192.0.2.1", "198.51.100.7", true), "192.0.2.1"); // not from the proxy
    EXPECT_EQ(gw::ClientAddress("127.0.0.1", "", true), "127.0.0.1");
    EXPECT_EQ(gw::ClientAddress("127.0.0.1", "198.51.100.7, unknown", true), "127.0.0.1");

    GatewayProcess g;
    ASSERT_TRUE(g.Start({QStringLiteral("--behind-proxy")}));
    ASSERT_TRUE(g.Register(QStringLiteral("p@x.pl"), QStringLiteral("dobre")));
    const auto login = [&](const std::string& email, const std::string& password,
                           const std::string& forwarded) {
        httplib::Client cli("127.0.0.1", g.Port());
        const httplib::Params p{
            {"action", "login"}, {"email", email}, {"password", gw::ClientPasswordValue(password)}};
        const auto res = cli.Post("/api/gateway", {{"X-Forwarded-For", forwarded}}, p);
        return res ? res->body : "no reply";
    };
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(login("nikt" + std::to_string(i) + "@x.pl", "x", "198.51.100.7"), "-1");
    EXPECT_EQ(login("p@x.pl", "dobre", "198.51.100.7"), "ERROR");
    EXPECT_EQ(login("p@x.pl", "dobre", "198.51.100.8").size(), 18u);
}

TEST(GatewayLoopback, OnlyLiteralLoopbackAddressesAreTrusted) {
    EXPECT_TRUE(gw::IsLoopback("127.0.0.2"));
    EXPECT_TRUE(gw::IsLoopback("127.255.255.254"));
    EXPECT_TRUE(gw::IsLoopback("::1"));
    EXPECT_FALSE(gw::IsLoopback("localhost")); // a name could resolve to anything
    EXPECT_FALSE(gw::IsLoopback("10.0.0.1"));
    EXPECT_FALSE(gw::IsLoopback("127.0.0.1.example.com"));
    EXPECT_FALSE(gw::IsLoopback("::ffff:10.0.0.1"));

    // Told to listen on "localhost", the gateway binds 127.0.0.1 itself.
    GatewayProcess g;
    ASSERT_TRUE(g.Start({QStringLiteral("--listen"), QStringLiteral("localhost")}));
    EXPECT_EQ(g.Get(QStringLiteral("/")), 200);
}

} // namespace
} // namespace orv::test
