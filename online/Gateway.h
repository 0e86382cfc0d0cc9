#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace orv {

class MainModel;

// Salt appended to a text before it is hashed (the password for the login, the account identifier
// for the results address).
inline const QString kSalt = QStringLiteral("Kd7Rw2Qx");
inline const QString kGatewayPath = QStringLiteral("/api/gateway");
inline const QString kDownloadPath = QStringLiteral("/pobierz");
inline const QString kNewVersionQuestion =
    QStringLiteral("Dostępna jest nowa wersja programu. Czy chcesz ją pobrać?");

// Settings of the program's own key: the gateway's base address and an extra CA file for a
// self-hosted gateway with its own certificate authority. The environment overrides both.
inline const QString kSettingsKey = QStringLiteral("Software\\Orvanta");
inline const QString kGatewayValue = QStringLiteral("Gateway");
inline const QString kGatewayCaValue = QStringLiteral("GatewayCa");
inline constexpr const char* kGatewayEnv = "ORVANTA_GATEWAY";
inline constexpr const char* kGatewayCaEnv = "ORVANTA_GATEWAY_CA";

using FormFields = QList<QPair<QString, QString>>;

// Form body: "name=value" joined by "&"; A-Z a-z 0-9 * - . _ kept, space as "+", every other
// character as the UTF-8 bytes of its Windows-1250 form ("?" when it has none), each "%XX" in
// upper-case hex.
QByteArray EncodeFormBody(const FormFields& fields);
QByteArray FormEncode(const QString& text);

// MD5 of the text's single-byte Windows-1250 form, as 32 lower-case hex digits.
QString Md5Hex(const QString& text);

// "1.2.0.0"; empty without a version record.
QString ProgramVersion();

// The 32-character user agent, joined from its two halves.
QString UserAgent();

// Base address of the gateway (scheme, host, port, optional path prefix, no trailing slash) from the
// environment or the settings store; empty when none is configured or it is not http(s).
QString ConfiguredGateway();

struct PostResult {
    bool ok = false; // a reply arrived with a status below 400
    QString body;    // decoded with the charset of the reply's content type
    int status = 0;
};

// The gateway client: form-encoded POSTs to the endpoint, HTTP/1.1, fixed headers, up to 15 redirects,
// cookies kept in memory, certificates verified, TLS 1.2 or later. Requests run on the calling thread
// in a local event loop that keeps repainting but takes no user input, bounded by a connect and a
// total time-out; any failure is silent and reported as !ok.
class DataPoster : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 10000;
    static constexpr int kTotalTimeoutMs = 30000;
    static constexpr int kMaxRedirects = 15;

    explicit DataPoster(QObject* parent = nullptr);
    ~DataPoster() override;

    // Base address in use: the one set here, else the configured one.
    QString BaseAddress() const;
    void SetBaseAddress(std::optional<QString> base) { base_ = std::move(base); }
    bool HasGateway() const { return !BaseAddress().isEmpty(); }

    QString EndpointAddress() const;
    QString PortalAddress() const; // home page "/"
    QString DownloadAddress() const;
    // "/api/gateway/results/" + id + "/" + Md5Hex(id + salt). The identifier is percent-encoded as one
    // path segment so that a hostile reply cannot change the address; an identifier that is empty or
    // only dots (a path step) gives an empty address.
    QString ResultsAddress(const QString& accountId) const;

    void SetTimeouts(int connectMs, int totalMs);
    // Extra CA certificates (PEM file) trusted besides the system's; nullopt: use the configured file.
    void SetCaFile(std::optional<QString> file) { caFile_ = std::move(file); }

    PostResult Post(const FormFields& fields);
    // Requests sent so far (attempts that reached the network layer).
    int RequestCount() const { return requests_; }

private:
    QString CaFile() const;
    // One exchange: POST of body (GET without one), waited for in a local loop; the reply has finished.
    QNetworkReply* Send(const QUrl& url, const QByteArray* body, int totalMs);

    QNetworkAccessManager* nam_;
    std::optional<QString> base_;
    std::optional<QString> caFile_;
    QString lastCaFile_;
    int connectMs_ = kConnectTimeoutMs;
    int totalMs_ = kTotalTimeoutMs;
    int requests_ = 0;
    bool busy_ = false;
};

// The four actions. Every caller pings first and goes on only on true.
bool PostPing(DataPoster& poster);
// Asks about a download when the gateway's version differs; on Yes opens the download page and ends
// the program.
void SprawdzWersje(DataPoster& poster, const QString& version);
// Login: on an identifier sets AccountEmail and AccountId (never LoggedIn); PostLogin tells the user the
// outcome, the silent form tells nothing.
void PostLogin(MainModel& m, DataPoster& poster, const QString& email, const QString& password);
void PostLoginSilent(MainModel& m, DataPoster& poster, const QString& email, const QString& password);

// A finished run as the save action sends it.
struct TestUpload {
    QString user;
    QString cpu, ram, hdd, gpu2d, gpu3d;
    QString cpuinfo, raminfo, hddinfo, gpuinfo, osinfo;
};
// The category scores and profile of the model's last run, for its account.
TestUpload UploadOfModel(const MainModel& m);
FormFields SaveFields(const TestUpload& u);
// Sends nothing unless logged in; on acceptance shows PrzypisanoWynikiLbl and sets ResultsUploaded.
void PostTest(MainModel& m, DataPoster& poster, const TestUpload& upload);

// "Wyniki przypisano do Twojego konta w portalu " + portal + "."
QString UploadNotice(const QString& portal);
// The portal as the window shows it (the home page address without the trailing slash).
QString PortalDisplayName(const DataPoster& poster);

} // namespace orv
