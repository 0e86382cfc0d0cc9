#pragma once
#include "gateway/Crypto.h"
#include "gateway/Store.h"

#include <map>
#include <memory>
#include <string>

namespace httplib {
class Server;
}

namespace gw {

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
};

// Form fields of a body ("a=1&b=x+y"), "+" as space and %XX decoded; the first of equal names wins.
using FormMap = std::map<std::string, std::string>;
FormMap ParseForm(const std::string& body);
std::string HtmlEscape(const std::string& text);
bool IsLoopback(const std::string& host);

// The four actions of the program, with the replies it relies on. Kept apart from HTTP for tests.
class Gateway {
public:
    Gateway(Store& store, Options options) : store_(store), options_(std::move(options)) {}
    std::string Action(const FormMap& form);

    // Registration from the home page form; empty on success (id set), else the message to show.
    std::string Register(const std::string& email, const std::string& password, const std::string& repeat,
                         std::string* id);

    // Pages, as complete HTML documents.
    std::string HomePage(const std::string& message, bool success, const std::string& email) const;
    std::string DownloadPage() const;
    // Nullopt when the identifier is unknown.
    std::optional<std::string> ResultsPage(const std::string& accountId);

    const Options& Settings() const { return options_; }

private:
    std::string Login(const FormMap& form);
    std::string Save(const FormMap& form);
    Store& store_;
    Options options_;
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
    std::unique_ptr<httplib::Server> http_;
    int port_ = 0;
};

} // namespace gw
