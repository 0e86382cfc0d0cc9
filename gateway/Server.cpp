#include "gateway/Server.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace gw {

namespace {

constexpr const char* kEndpoint = "/api/gateway";
constexpr std::size_t kMaxActionBody = 64 * 1024;
constexpr std::size_t kMaxInfoBytes = 4096;
constexpr std::size_t kMaxVersionBytes = 32;
constexpr std::size_t kMaxIdBytes = 64;
constexpr std::size_t kMaxEmailBytes = 254;
// The program's edit boxes hold 66 and 32 characters.
constexpr std::size_t kMaxEmailChars = 66;
constexpr std::size_t kMaxPasswordChars = 32;

const char* const kCategoryNames[kCategoryCount] = {"CPU", "RAM", "HDD", "2D", "3D", "Wynik ogólny"};

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string FormDecode(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out.push_back(' ');
        } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    const auto last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
}

std::size_t Utf8Length(const std::string& s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

// Cut to at most max bytes without splitting a UTF-8 sequence.
std::string Limit(const std::string& s, std::size_t max) {
    if (s.size() <= max)
        return s;
    std::size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    return s.substr(0, end);
}

bool ParseScore(const std::string& s, std::int32_t* out) {
    if (s.empty() || s.size() > 11)
        return false;
    std::size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size())
        return false;
    long long v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        v = v * 10 + (s[i] - '0');
    }
    if (s[0] == '-')
        v = -v;
    if (v < INT_MIN || v > INT_MAX)
        return false;
    *out = static_cast<std::int32_t>(v);
    return true;
}

std::string Field(const FormMap& form, const char* name, bool* present = nullptr) {
    const auto it = form.find(name);
    if (present)
        *present = it != form.end();
    return it == form.end() ? std::string() : it->second;
}

std::string DateText(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M UTC", &tm);
    return buffer;
}

const char* const kStyle =
    "body{font-family:Verdana,'DejaVu Sans',sans-serif;background:#0e76cd;color:#fff;margin:0;padding:24px}"
    "main{max-width:860px;margin:0 auto;background:#0a5fa8;border-radius:8px;padding:20px 28px}"
    "h1{font-size:22px;margin-top:0}h2{font-size:17px;margin-top:28px}"
    "a{color:#7CFF82}table{border-collapse:collapse;width:100%;font-size:13px}"
    "th,td{border-bottom:1px solid #3d8fd6;padding:5px 8px;text-align:left;vertical-align:top}"
    "th{color:#9fe3ff}td.n{text-align:right;font-variant-numeric:tabular-nums}"
    "label{display:block;margin-top:12px}input{font-size:15px;padding:5px;width:300px;"
    "background:#0e76cd;color:#7CFF82;border:1px solid #9fd0ff}button{margin-top:16px;font-size:15px;"
    "padding:6px 20px}.msg{padding:8px 12px;border-radius:6px;background:#b03030}"
    ".ok{background:#2e7d32}small{color:#cfe6ff}details{font-size:12px}";

std::string Document(const std::string& title, const std::string& body) {
    std::ostringstream o;
    o << "<!DOCTYPE html>\n<html lang=\"pl\"><head><meta charset=\"utf-8\">"
      << "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">"
      << "<title>" << HtmlEscape(title) << "</title><style>" << kStyle << "</style></head><body><main>\n"
      << body << "\n</main></body></html>\n";
    return o.str();
}

void SetPageHeaders(httplib::Response& res) {
    res.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'; "
                                              "form-action 'self'; frame-ancestors 'none'");
    res.set_header("X-Content-Type-Options", "nosniff");
    // The results address is the key to an account's page: it must not travel on as a referrer.
    res.set_header("Referrer-Policy", "no-referrer");
}

void Html(httplib::Response& res, const std::string& page, int status = 200) {
    res.status = status;
    SetPageHeaders(res);
    res.set_content(page, "text/html; charset=utf-8");
}

void Text(httplib::Response& res, const std::string& text) {
    res.set_content(text, "text/plain; charset=utf-8");
}

std::string Bars(std::int32_t mine, std::int32_t median, std::int32_t top) {
    const double scale = top > 0 ? 300.0 / top : 0.0;
    auto width = [&](std::int32_t v) { return std::max(1, static_cast<int>(std::max(0, v) * scale)); };
    std::ostringstream o;
    o << "<svg width=\"400\" height=\"42\" role=\"img\" aria-label=\"Twój wynik " << mine << ", mediana "
      << median << "\">"
      << "<rect x=\"0\" y=\"3\" height=\"16\" width=\"" << width(mine) << "\" fill=\"#7CFF82\"/>"
      << "<text x=\"" << width(mine) + 6 << "\" y=\"16\" fill=\"#fff\" font-size=\"12\">" << mine << "</text>"
      << "<rect x=\"0\" y=\"23\" height=\"16\" width=\"" << width(median) << "\" fill=\"#9fe3ff\"/>"
      << "<text x=\"" << width(median) + 6 << "\" y=\"36\" fill=\"#fff\" font-size=\"12\">mediana " << median
      << "</text></svg>";
    return o.str();
}

// The whole reply to a request head beyond the limits, sent before the HTTP library sees it.
std::string HeadRefusal() {
    const std::string page =
        Document("Błąd", "<h1>Za duże nagłówki żądania</h1><p><a href=\"/\">Strona główna</a></p>");
    return "HTTP/1.1 431 Request Header Fields Too Large\r\n"
           "Connection: close\r\n"
           "Content-Security-Policy: default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; "
           "frame-ancestors 'none'\r\n"
           "Content-Length: " +
           std::to_string(page.size()) +
           "\r\n"
           "Content-Type: text/html; charset=utf-8\r\n"
           "Referrer-Policy: no-referrer\r\n"
           "X-Content-Type-Options: nosniff\r\n\r\n" +
           page;
}

} // namespace

FormMap ParseForm(const std::string& body) {
    FormMap form;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos)
            end = body.size();
        const std::string pair = body.substr(start, end - start);
        if (!pair.empty()) {
            const std::size_t eq = pair.find('=');
            const std::string name = FormDecode(pair.substr(0, eq));
            const std::string value =
                eq == std::string::npos ? std::string() : FormDecode(pair.substr(eq + 1));
            form.emplace(name, value);
        }
        start = end + 1;
    }
    return form;
}

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

bool IsLoopback(const std::string& host) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

std::string ClientAddress(const std::string& peer, const std::string& forwardedFor, bool behindProxy) {
    if (!behindProxy || !IsLoopback(peer))
        return peer;
    const std::size_t comma = forwardedFor.rfind(',');
    const std::string last =
        Trimmed(comma == std::string::npos ? forwardedFor : forwardedFor.substr(comma + 1));
    in6_addr any{};
    const bool address =
        inet_pton(AF_INET, last.c_str(), &any) == 1 || inet_pton(AF_INET6, last.c_str(), &any) == 1;
    return address ? last : peer;
}

// ---- Gateway ----

Gateway::Gateway(Store& store, Options options)
    : store_(store), options_(std::move(options)),
      hashSlots_(std::clamp(options_.abuse.concurrentHashes, 1, 64)) {}

std::int64_t Gateway::Now() const {
    return options_.clock ? options_.clock() : static_cast<std::int64_t>(std::time(nullptr));
}

namespace {
// Holds one of the slow-hash slots; a request that waits too long for one is refused instead.
class HashSlot {
public:
    explicit HashSlot(std::counting_semaphore<64>& slots)
        : slots_(slots), held_(slots.try_acquire_for(std::chrono::seconds(10))) {}
    ~HashSlot() {
        if (held_)
            slots_.release();
    }
    HashSlot(const HashSlot&) = delete;
    HashSlot& operator=(const HashSlot&) = delete;
    bool Held() const { return held_; }

private:
    std::counting_semaphore<64>& slots_;
    bool held_;
};
} // namespace

std::string Gateway::Action(const FormMap& form, const std::string& client) {
    try {
        return Dispatch(form, client);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta-gateway: %s\n", e.what());
        return "ERROR";
    }
}

std::string Gateway::Dispatch(const FormMap& form, const std::string& client) {
    const std::string action = Field(form, "action");
    if (action == "ping")
        return "OK";
    if (action == "version")
        return options_.currentVersion;
    if (action == "login")
        return Login(form, client);
    if (action == "save")
        return Save(form);
    return "ERROR";
}

std::string Gateway::Login(const FormMap& form, const std::string& client) {
    bool hasEmail = false, hasPassword = false;
    // Addresses are stored trimmed; the program sends what was typed, stray spaces included.
    const std::string email = Trimmed(Field(form, "email", &hasEmail));
    const std::string password = Field(form, "password", &hasPassword);
    if (!hasEmail || !hasPassword)
        return "ERROR";
    const std::int64_t now = Now();
    const FailureKey address{FailureKind::Address, client, options_.abuse.addressFailures};
    // A locked-out address or account gets the reply for a failure on the gateway's side.
    if (!store_.LoginAllowed(FailureKind::Address, client, now))
        return "ERROR";
    if (email.empty() || email.size() > kMaxEmailBytes) {
        store_.LoginFailed({address}, now);
        return "-1";
    }
    const std::optional<Account> account = store_.FindByEmail(email);
    if (!account) {
        store_.LoginFailed({address}, now);
        return "-1";
    }
    if (!store_.LoginAllowed(FailureKind::Account, account->id, now)) {
        store_.LoginFailed({address}, now); // still a guess
        return "ERROR";
    }
    bool verified = false;
    if (IsLowerHex(password, 32)) {
        const HashSlot slot(hashSlots_);
        if (!slot.Held())
            return "ERROR";
        verified = VerifySecret(password, account->secret);
    }
    if (!verified) {
        store_.LoginFailed({{FailureKind::Account, account->id, options_.abuse.accountFailures}, address},
                           now);
        return "0";
    }
    store_.LoginSucceeded(FailureKind::Account, account->id);
    return account->id;
}

std::string Gateway::Save(const FormMap& form) {
    const std::string user = Field(form, "user");
    if (user.empty() || user.size() > kMaxIdBytes)
        return "ERROR";
    Run run;
    run.account = user;
    run.created = Now();
    // Scores outside what a run can produce would move every other account's median and place.
    const auto score = [&](const char* name, std::int32_t* out) {
        return ParseScore(Field(form, name), out) && *out >= 0 && *out <= options_.abuse.maxScore;
    };
    if (!score("cpu", &run.cpu) || !score("ram", &run.ram) || !score("hdd", &run.hdd) ||
        !score("gpu2d", &run.gpu2d) || !score("gpu3d", &run.gpu3d))
        return "ERROR";
    auto text = [&](const char* name, std::size_t max) {
        const std::string v = Field(form, name);
        return ValidUtf8(v) ? Limit(v, max) : std::string();
    };
    run.cpuinfo = text("cpuinfo", kMaxInfoBytes);
    run.raminfo = text("raminfo", kMaxInfoBytes);
    run.hddinfo = text("hddinfo", kMaxInfoBytes);
    run.gpuinfo = text("gpuinfo", kMaxInfoBytes);
    run.osinfo = text("osinfo", kMaxInfoBytes);
    run.version = text("version", kMaxVersionBytes);
    const SaveLimits limits{options_.abuse.runsPerAccount, options_.abuse.savesPerHour, run.created - 3600};
    return store_.AddRun(run, limits) == Store::SaveResult::Added ? "OK" : "ERROR";
}

std::string Gateway::Register(const std::string& emailIn, const std::string& password,
                              const std::string& repeat, std::string* id) {
    const std::string email = Trimmed(emailIn);
    if (!ValidUtf8(email) || !ValidUtf8(password))
        return "Nieprawidłowe znaki w formularzu.";
    const auto at = email.find('@');
    const bool plain = std::none_of(email.begin(), email.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
    });
    if (email.empty() || Utf8Length(email) > kMaxEmailChars || at == std::string::npos || at == 0 ||
        at + 1 == email.size() || email.find('@', at + 1) != std::string::npos || !plain)
        return "Podaj poprawny adres e-mail (najwyżej 66 znaków).";
    if (password.empty() || Utf8Length(password) > kMaxPasswordChars)
        return "Hasło musi mieć od 1 do 32 znaków.";
    if (password != repeat)
        return "Powtórzone hasło różni się od pierwszego.";
    // The program hashes the password's Windows-1250 form, in which other characters all become "?".
    const auto questionMarks = [](const std::string& t) { return std::count(t.begin(), t.end(), '?'); };
    if (questionMarks(ToWindows1250(password)) != questionMarks(password))
        return "Hasło może zawierać tylko litery (także polskie), cyfry i zwykłe znaki z klawiatury.";
    std::string secret;
    {
        const HashSlot slot(hashSlots_);
        if (!slot.Held())
            return "Nie udało się utworzyć konta. Spróbuj ponownie.";
        secret = HashSecret(ClientPasswordValue(password), options_.cost);
    }
    try {
        switch (store_.AddAccount(email, secret, id)) {
        case Store::AddResult::Added:
            return {};
        case Store::AddResult::EmailTaken:
            return "Konto z tym adresem e-mail już istnieje.";
        case Store::AddResult::Failed:
            break;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta-gateway: %s\n", e.what());
    }
    return "Nie udało się utworzyć konta. Spróbuj ponownie.";
}

std::string Gateway::HomePage(const std::string& message, bool success, const std::string& email) const {
    std::ostringstream b;
    b << "<h1>Orvanta — portal wyników</h1>"
      << "<p>Załóż konto, aby gromadzić wyniki testów programu Orvanta i porównywać swój komputer z innymi. "
      << "Po rejestracji zaloguj się w programie na stronie <b>Moje konto</b> tym samym adresem e-mail i "
         "hasłem; "
      << "wyniki każdego ukończonego testu trafią wtedy na Twoje konto.</p>";
    if (!message.empty())
        b << "<p class=\"msg" << (success ? " ok" : "") << "\">" << HtmlEscape(message) << "</p>";
    b << "<h2>Rejestracja</h2><form method=\"post\" action=\"/\" accept-charset=\"utf-8\">"
      << "<label>Adres e-mail<br><input type=\"email\" name=\"email\" maxlength=\"66\" required value=\""
      << HtmlEscape(email) << "\"></label>"
      << "<label>Hasło<br><input type=\"password\" name=\"haslo\" maxlength=\"32\" required></label>"
      << "<label>Powtórz hasło<br><input type=\"password\" name=\"haslo2\" maxlength=\"32\" required></label>"
      << "<button type=\"submit\">Załóż konto</button></form>"
      << "<p><small>Najnowsza wersja programu: " << HtmlEscape(options_.currentVersion)
      << " — <a href=\"/pobierz\">pobierz</a>.</small></p>";
    return Document("Orvanta — portal wyników", b.str());
}

std::string Gateway::DownloadPage() const {
    std::ostringstream b;
    b << "<h1>Pobierz program Orvanta</h1><p>Najnowsza wersja: <b>" << HtmlEscape(options_.currentVersion)
      << "</b></p>";
    if (!options_.downloadUrl.empty())
        b << "<p><a href=\"" << HtmlEscape(options_.downloadUrl) << "\">Pobierz wersję "
          << HtmlEscape(options_.currentVersion) << "</a></p>";
    else
        b << "<p>Program buduje się ze źródeł: pobierz najnowsze źródła projektu i uruchom "
             "<code>scripts/run</code>.</p>";
    b << "<p><a href=\"/\">Strona główna portalu</a></p>";
    return Document("Pobierz program Orvanta", b.str());
}

std::optional<std::string> Gateway::ResultsPage(const std::string& accountId) {
    const std::optional<Account> account = store_.FindById(accountId);
    if (!account)
        return std::nullopt;
    const std::vector<Run> runs = store_.RunsOf(accountId);
    std::ostringstream b;
    b << "<h1>Wyniki konta " << HtmlEscape(account->email) << "</h1>";
    if (runs.empty()) {
        b << "<p>Na tym koncie nie ma jeszcze wyników. Wykonaj pełny test w programie Orvanta, będąc "
             "zalogowanym, a wyniki pojawią się tutaj.</p>";
        return Document("Wyniki — Orvanta", b.str());
    }
    const Run& latest = runs.front();
    b << "<h2>Ostatni test na tle wszystkich zapisanych testów</h2><p><small>Test z "
      << DateText(latest.created) << ". Miejsce 1 to najlepszy wynik.</small></p>"
      << "<table><tr><th>Kategoria</th><th>Twój wynik</th><th>Mediana</th><th>Miejsce</th><th></th></tr>";
    const std::array<Standing, kCategoryCount> standings = store_.Standings(latest);
    for (int c = 0; c < kCategoryCount; ++c) {
        const Standing& s = standings[static_cast<std::size_t>(c)];
        const std::int32_t mine = CategoryOf(latest, c);
        const std::int32_t top = s.top ? std::max(*s.top, mine) : mine;
        b << "<tr><td>" << kCategoryNames[c] << "</td><td class=\"n\">" << mine << "</td><td class=\"n\">"
          << s.median << "</td><td class=\"n\">" << s.place << " z " << s.count << "</td><td>"
          << Bars(mine, s.median, top) << "</td></tr>";
    }
    b << "</table><h2>Wszystkie testy tego konta</h2><table><tr><th>Data</th><th>CPU</th><th>RAM</th>"
         "<th>HDD</th><th>2D</th><th>3D</th><th>Ogólny</th><th>Komputer</th></tr>";
    for (const Run& r : runs) {
        b << "<tr><td>" << DateText(r.created) << "<br><small>v. " << HtmlEscape(r.version)
          << "</small></td><td class=\"n\">" << r.cpu << "</td><td class=\"n\">" << r.ram
          << "</td><td class=\"n\">" << r.hdd << "</td><td class=\"n\">" << r.gpu2d << "</td><td class=\"n\">"
          << r.gpu3d << "</td><td class=\"n\"><b>" << r.Overall() << "</b></td><td><details><summary>"
          << HtmlEscape(r.cpuinfo.empty() ? std::string("opis") : r.cpuinfo) << "</summary>"
          << "Procesor: " << HtmlEscape(r.cpuinfo) << "<br>Pamięć: " << HtmlEscape(r.raminfo)
          << "<br>Dysk: " << HtmlEscape(r.hddinfo) << "<br>Grafika: " << HtmlEscape(r.gpuinfo)
          << "<br>System: " << HtmlEscape(r.osinfo) << "</details></td></tr>";
    }
    b << "</table>";
    return Document("Wyniki — Orvanta", b.str());
}

// ---- Server ----

Server::Server(Options options) : options_(std::move(options)) {}

Server::~Server() = default;

std::string Server::BaseAddress() const {
    const bool v6 = options_.listen.find(':') != std::string::npos;
    return std::string(options_.certFile.empty() ? "http://" : "https://") + (v6 ? "[" : "") +
           options_.listen + (v6 ? "]" : "") + ":" + std::to_string(port_);
}

bool Server::Bind() {
    const bool tls = !options_.certFile.empty() || !options_.keyFile.empty();
    if (tls && (options_.certFile.empty() || options_.keyFile.empty())) {
        std::fprintf(stderr, "orvanta-gateway: --cert and --key go together\n");
        return false;
    }
    // "localhost" is taken as 127.0.0.1 without asking the resolver, which could answer anything.
    if (options_.listen == "localhost")
        options_.listen = "127.0.0.1";
    if (!tls && !IsLoopback(options_.listen)) {
        std::fprintf(stderr, "orvanta-gateway: without --cert/--key only a loopback address may be used "
                             "(logins must not cross the network in plain text)\n");
        return false;
    }
    if (options_.database.empty()) {
        std::fprintf(stderr, "orvanta-gateway: --db is required\n");
        return false;
    }
    try {
        store_ = OpenStore(options_.database);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta-gateway: %s\n", e.what());
        return false;
    }
    gateway_ = std::make_unique<Gateway>(*store_, options_);

    SSL_CTX* ctx = nullptr;
    if (tls) {
        const std::string cert = options_.certFile, key = options_.keyFile;
        ctx = SSL_CTX_new(TLS_server_method());
        const bool usable = ctx && SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION) == 1 &&
                            SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) == 1 &&
                            SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) == 1 &&
                            SSL_CTX_check_private_key(ctx) == 1;
        if (!usable) {
            SSL_CTX_free(ctx);
            std::fprintf(stderr, "orvanta-gateway: cannot use the certificate %s with the key %s\n",
                         cert.c_str(), key.c_str());
            return false;
        }
        SSL_CTX_set_options(ctx, SSL_OP_NO_COMPRESSION | SSL_OP_NO_RENEGOTIATION |
                                     SSL_OP_NO_SESSION_RESUMPTION_ON_RENEGOTIATION);
        SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }
    http_ = std::make_unique<GuardedServer>(options_.connections, ctx, HeadRefusal());
    Routes();
    if (options_.port == 0) {
        port_ = http_->bind_to_any_port(options_.listen);
        if (port_ <= 0) {
            std::fprintf(stderr, "orvanta-gateway: cannot listen on %s\n", options_.listen.c_str());
            return false;
        }
    } else {
        if (!http_->bind_to_port(options_.listen, options_.port)) {
            std::fprintf(stderr, "orvanta-gateway: cannot listen on %s:%d\n", options_.listen.c_str(),
                         options_.port);
            return false;
        }
        port_ = options_.port;
    }
    http_->WidenBacklog();
    return true;
}

void Server::Routes() {
    http_->set_payload_max_length(1024 * 1024);
    // Replies go out in several writes (head, body); without this each waits for the client's delayed
    // acknowledgement on a kept-alive connection.
    http_->set_tcp_nodelay(true);
    // Each wait for a client's bytes, either way; a whole request also has ConnectionLimits' deadlines.
    http_->set_read_timeout(10, 0);
    http_->set_write_timeout(10, 0);
    // Idle connections are let go soon; they wait in the watcher, not in a worker.
    http_->set_keep_alive_timeout(1);
    http_->set_keep_alive_max_count(5);

    http_->Post(kEndpoint, [this](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader& reader) {
        std::string body;
        bool tooLarge = false;
        reader([&](const char* data, std::size_t length) {
            if (body.size() + length > kMaxActionBody) {
                tooLarge = true;
                return false;
            }
            body.append(data, length);
            return true;
        });
        if (tooLarge) {
            res.status = 413;
            Text(res, "ERROR");
            return;
        }
        const std::string client =
            ClientAddress(req.remote_addr, req.get_header_value("X-Forwarded-For"), options_.behindProxy);
        Text(res, gateway_->Action(ParseForm(body), client));
    });

    http_->Get(R"(/api/gateway/results/([^/]+)/([^/]+))", [this](const httplib::Request& req,
                                                                 httplib::Response& res) {
        const std::string id = req.matches[1];
        const std::string hash = req.matches[2];
        res.set_header("Cache-Control", "no-store");
        if (id.size() > kMaxIdBytes || !SameText(ResultsHash(id), hash)) {
            Html(res,
                 Document("Brak dostępu", "<h1>Brak dostępu</h1><p>Ten adres wyników jest nieprawidłowy. "
                                          "Otwórz wyniki z programu Orvanta.</p>"),
                 403);
            return;
        }
        std::optional<std::string> page;
        try {
            page = gateway_->ResultsPage(id);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "orvanta-gateway: %s\n", e.what());
            Html(
                res,
                Document("Błąd", "<h1>Wyniki są chwilowo niedostępne</h1><p>Spróbuj ponownie za chwilę.</p>"),
                503);
            return;
        }
        if (!page) {
            Html(res, Document("Nie znaleziono", "<h1>Nie ma takiego konta</h1>"), 404);
            return;
        }
        Html(res, *page);
    });

    http_->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        Html(res, gateway_->HomePage({}, false, {}));
    });
    http_->Post("/", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string email = req.get_param_value("email");
        std::string id;
        const std::string error =
            gateway_->Register(email, req.get_param_value("haslo"), req.get_param_value("haslo2"), &id);
        if (error.empty())
            Html(res, gateway_->HomePage("Konto zostało utworzone. Zaloguj się teraz w programie Orvanta.",
                                         true, {}));
        else
            Html(res, gateway_->HomePage(error, false, email), 400);
    });
    http_->Get("/pobierz", [this](const httplib::Request&, httplib::Response& res) {
        Html(res, gateway_->DownloadPage());
    });

    http_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty())
            return;
        Html(res, Document("Błąd", "<h1>Nie ma takiej strony</h1><p><a href=\"/\">Strona główna</a></p>"),
             res.status);
    });
    if (!options_.quiet) {
        http_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
            // The results address is an account's key: only its fixed part is logged.
            std::string path = req.path;
            if (path.rfind("/api/gateway/results/", 0) == 0)
                path = "/api/gateway/results/...";
            std::fprintf(stderr, "%s %s %d\n", req.method.c_str(), path.c_str(), res.status);
        });
    }
}

void Server::Run() {
    http_->listen_after_bind();
}

void Server::Stop() {
    if (http_)
        http_->stop();
}

} // namespace gw
