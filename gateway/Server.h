#pragma once
#include "gateway/Connections.h"
#include "gateway/Crypto.h"
#include "gateway/Store.h"
#include "gateway/Throttle.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <semaphore>
#include <string>

namespace gw {

// What one account or client may ask of the gateway.
struct AbuseLimits {
    int concurrentHashes = 4; // each scrypt at the default cost takes 32 MB
    FailureThrottle::Policy accountFailures{5, 15 * 60, 5 * 60};
    FailureThrottle::Policy addressFailures{20, 15 * 60, 5 * 60};
    int savesPerHour = 20;     // a full run takes minutes
    int runsPerAccount = 1000; // the results page lists them all
    // A reference computer scores 5000 on every test; this allows a machine 2000 times as fast.
    std::int32_t maxScore = 10'000'000;
};

struct Options {
    std::string listen = "127.0.0.1";
    int port = 8080; // 0: any free port
    std::string database;
    std::string certFile; // HTTPS when both are given
    std::string keyFile;
    std::string currentVersion = "1.2.0.0";
    std::string downloadUrl; // where "/pobierz" points; empty: build from the sources
    KdfCost cost;
    bool quiet = false;
    // Behind a reverse proxy on this machine: a request from a loopback address comes from the last
    // address in its X-Forwarded-For header, which the proxy appended.
    bool behindProxy = false;
    AbuseLimits abuse;
    ConnectionLimits connections;
    std::function<std::int64_t()> clock; // seconds since 1970; empty: the system clock
};

// True for literal loopback addresses only (127.0.0.0/8, ::1); names are never resolved.
bool IsLoopback(const std::string& host);

// The address a request came from, for the limits: the peer, or behind a proxy the address the proxy
// saw (the last of X-Forwarded-For) when the peer is a loopback address.
std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, bool behindProxy);

// Form fields of a body ("a=1&b=x+y"), "+" as space and %XX decoded; the first of equal names wins.
using FormMap = std::map<std::string, std::string>;
FormMap ParseForm(const std::string& body);
std::string HtmlEscape(const std::string& text);

// The four actions of the program, with the replies it relies on. Kept apart from HTTP for tests.
class Gateway {
public:
    Gateway(Store& store, Options options);
    // client: the address the request came from, for the failed-login limit. A failure of the store is
    // answered "ERROR".
    std::string Action(const FormMap& form, const std::string& client = {});

    // Registration from the home page form; empty on success (id set), else the message to show.
    std::string Register(const std::string& email, const std::string& password, const std::string& repeat,
                         std::string* id);

    // Pages, as complete HTML documents.
    std::string HomePage(const std::string& message, bool success, const std::string& email) const;
    std::string DownloadPage() const;
    // Nullopt when the identifier is unknown; throws when the store fails.
    std::optional<std::string> ResultsPage(const std::string& accountId);

    const Options& Settings() const { return options_; }

private:
    std::string Dispatch(const FormMap& form, const std::string& client);
    std::string Login(const FormMap& form, const std::string& client);
    std::string Save(const FormMap& form);
    std::int64_t Now() const;
    Store& store_;
    Options options_;
    // Bounds the memory of concurrent slow hashes; a request that cannot get a slot in time is refused.
    std::counting_semaphore<64> hashSlots_;
};

// The HTTP(S) server around a Gateway.
class Server {
public:
    explicit Server(Options options);
    ~Server();
    // Binds; false with a message on stderr when that is not possible.
    bool Bind();
    int Port() const { return port_; }
    std::string BaseAddress() const;
    void Run(); // until Stop
    void Stop();

private:
    void Routes();
    Options options_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Gateway> gateway_;
    std::unique_ptr<GuardedServer> http_;
    int port_ = 0;
};

} // namespace gw
