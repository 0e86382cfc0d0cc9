#include "online/Gateway.h"

#include "core/MainModel.h"
#include "online/Charset.h"
#include "platform/DesktopServices.h"
#include "platform/MessageBoxes.h"
#include "platform/Registry.h"
#include "platform/Version.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

#include <algorithm>

namespace orv {

namespace {

// The two halves of the user agent; the client's own default agent is never sent.
constexpr char kAgentHead[] = "OrvantaBench2x7Q";
constexpr char kAgentTail[] = "m4Rk9Wc2Lp6Tz3Hd";
static_assert(sizeof kAgentHead == 17 && sizeof kAgentTail == 17);

constexpr char kAccept[] = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr char kFormType[] = "application/x-www-form-urlencoded";

// A reply larger than this is no reply of the gateway's; reading it would only cost memory.
constexpr qint64 kMaxReplyBytes = 1 << 20;

QString NormaliseBase(QString base) {
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    return base;
}

QString SettingOrEnv(const char* env, const QString& value) {
    QString fromEnv = qEnvironmentVariable(env);
    if (!fromEnv.isEmpty())
        return fromEnv;
    const RegistryKey key(kSettingsKey, false);
    return key.Exists() ? key.ReadString(value) : QString();
}

QByteArray CharsetOf(const QString& contentType) {
    const QStringList parts = contentType.split(QLatin1Char(';'));
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString p = parts[i].trimmed();
        if (p.startsWith(QLatin1String("charset="), Qt::CaseInsensitive)) {
            QString v = p.mid(8).trimmed();
            if (v.size() >= 2 && v.startsWith(QLatin1Char('"')) && v.endsWith(QLatin1Char('"')))
                v = v.mid(1, v.size() - 2);
            return v.toLatin1();
        }
    }
    return {};
}

QSslConfiguration TlsConfiguration(const QString& caFile) {
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setProtocol(QSsl::TlsV1_2OrLater);
    conf.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!caFile.isEmpty()) {
        // Adding certificates turns off the on-demand system store, so both are given explicitly.
        conf.setCaCertificates(QSslConfiguration::systemCaCertificates() +
                               QSslCertificate::fromPath(caFile, QSsl::Pem));
    }
    return conf;
}

} // namespace

QByteArray FormEncode(const QString& text) {
    static const char hex[] = "0123456789ABCDEF";
    // The text goes through the single-byte code page first, as the password hash does: a character
    // the page cannot hold is sent as "?", never as bytes the gateway would read differently.
    const QByteArray utf8 = DecodeCharset(EncodeCharset(text), kSingleByteCharset).toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' ||
            c == '-' || c == '.' || c == '_') {
            out.append(ch);
        } else if (c == ' ') {
            out.append('+');
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0x0F]);
        }
    }
    return out;
}

QByteArray EncodeFormBody(const FormFields& fields) {
    QByteArray body;
    for (const auto& [name, value] : fields) {
        if (!body.isEmpty())
            body.append('&');
        body.append(FormEncode(name));
        body.append('=');
        body.append(FormEncode(value));
    }
    return body;
}

QString Md5Hex(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(EncodeCharset(text), QCryptographicHash::Md5).toHex().toLower());
}

QString ProgramVersion() {
    return ProgramVersionText();
}

QString UserAgent() {
    return QString::fromLatin1(kAgentHead) + QString::fromLatin1(kAgentTail);
}

QString ConfiguredGateway() {
    return NormaliseBase(SettingOrEnv(kGatewayEnv, kGatewayValue));
}

// ---- DataPoster ----

DataPoster::DataPoster(QObject* parent) : QObject(parent), nam_(new QNetworkAccessManager(this)) {
    nam_->setCookieJar(new QNetworkCookieJar(nam_));
    nam_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

DataPoster::~DataPoster() = default;

QString DataPoster::BaseAddress() const {
    return base_ ? NormaliseBase(*base_) : ConfiguredGateway();
}

QString DataPoster::EndpointAddress() const {
    const QString base = BaseAddress();
    return base.isEmpty() ? QString() : base + kGatewayPath;
}

QString DataPoster::PortalAddress() const {
    const QString base = BaseAddress();
    return base.isEmpty() ? QString() : base + QLatin1Char('/');
}

QString DataPoster::DownloadAddress() const {
    const QString base = BaseAddress();
    return base.isEmpty() ? QString() : base + kDownloadPath;
}

QString DataPoster::ResultsAddress(const QString& accountId) const {
    const QString endpoint = EndpointAddress();
    if (endpoint.isEmpty() || accountId.isEmpty())
        return {};
    // "." and ".." are path steps however they are encoded; no gateway hands them out as identifiers.
    if (accountId.count(QLatin1Char('.')) == accountId.size())
        return {};
    const QByteArray segment = QUrl::toPercentEncoding(accountId);
    return endpoint + QStringLiteral("/results/") + QString::fromLatin1(segment) + QLatin1Char('/') +
           Md5Hex(accountId + kSalt);
}

void DataPoster::SetTimeouts(int connectMs, int totalMs) {
    connectMs_ = connectMs;
    totalMs_ = totalMs;
}

QString DataPoster::CaFile() const {
    return caFile_ ? *caFile_ : SettingOrEnv(kGatewayCaEnv, kGatewayCaValue);
}

PostResult DataPoster::Post(const FormFields& fields) {
    PostResult result;
    const QString endpoint = EndpointAddress();
    // One request at a time: the loop below takes no user input, but a timer could still ask.
    if (endpoint.isEmpty() || busy_)
        return result;
    QUrl url(endpoint, QUrl::StrictMode);
    if (!url.isValid())
        return result;
    busy_ = true;
    ++requests_;

    const QByteArray body = EncodeFormBody(fields);
    bool post = true;
    QElapsedTimer elapsed;
    elapsed.start();
    // Redirects are followed here rather than inside the network layer, so that a POST that is redirected
    // with 307/308 is sent again whole, the count is exact and an https address never leads to http.
    for (int hop = 0;; ++hop) {
        const int left = totalMs_ - static_cast<int>(elapsed.elapsed());
        if (left <= 0)
            break;
        QNetworkReply* reply = Send(url, post ? &body : nullptr, left);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool answered = reply->error() == QNetworkReply::NoError && status > 0;
        const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        const bool redirect =
            answered && (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
            location.isValid() && !location.isEmpty();
        if (redirect) {
            reply->deleteLater();
            const QUrl next = url.resolved(location);
            const QString scheme = next.scheme().toLower();
            const bool downgrade = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 &&
                                   scheme != QLatin1String("https");
            if (hop >= kMaxRedirects || downgrade ||
                (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
                break;
            // As browsers do: 301/302/303 continue with GET, 307/308 repeat the POST.
            if (status != 307 && status != 308)
                post = false;
            url = next;
            continue;
        }
        result.status = status;
        if (answered && status < 400) {
            const QByteArray bytes = reply->readAll();
            const QByteArray charset =
                CharsetOf(reply->header(QNetworkRequest::ContentTypeHeader).toString());
            // Without a charset HTTP/1.1 reads text as ISO-8859-1.
            result.body = DecodeCharset(bytes, charset.isEmpty() ? QByteArray("ISO-8859-1") : charset);
            result.ok = true;
        }
        reply->deleteLater();
        break;
    }
    busy_ = false;
    return result;
}

QNetworkReply* DataPoster::Send(const QUrl& url, const QByteArray* body, int totalMs) {
    QNetworkRequest req(url);
    if (body)
        req.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray(kFormType));
    req.setRawHeader("Accept", kAccept);
    req.setHeader(QNetworkRequest::UserAgentHeader, UserAgent());
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    req.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    if (url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        const QString caFile = CaFile();
        // Open connections keep the trust they were made with; a new CA file needs new connections.
        if (caFile != lastCaFile_) {
            nam_->clearConnectionCache();
            lastCaFile_ = caFile;
        }
        req.setSslConfiguration(TlsConfiguration(caFile));
    }
    QNetworkReply* reply = body ? nam_->post(req, *body) : nam_->get(req);

    QEventLoop loop;
    QTimer connectTimer;
    QTimer totalTimer;
    connectTimer.setSingleShot(true);
    totalTimer.setSingleShot(true);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // Once the request is out the connection stands; from then on only the total time counts.
    connect(reply, &QNetworkReply::requestSent, &connectTimer, &QTimer::stop);
    connect(&connectTimer, &QTimer::timeout, reply, &QNetworkReply::abort);
    connect(&totalTimer, &QTimer::timeout, reply, &QNetworkReply::abort);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaxReplyBytes)
            reply->abort();
    });
    connectTimer.start(std::min(connectMs_, totalMs));
    totalTimer.start(totalMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return reply;
}

// ---- Actions ----

bool PostPing(DataPoster& poster) {
    if (!poster.HasGateway())
        return false;
    const PostResult r = poster.Post({{QStringLiteral("action"), QStringLiteral("ping")}});
    return r.ok && r.body == QLatin1String("OK");
}

void SprawdzWersje(DataPoster& poster, const QString& version) {
    const PostResult r = poster.Post({{QStringLiteral("action"), QStringLiteral("version")}});
    if (!r.ok || r.body == version)
        return;
    if (Boxes().Question(kNewVersionQuestion)) {
        Desktop().OpenUrl(poster.DownloadAddress());
        Desktop().Quit();
    }
}

namespace {

void Login(MainModel& m, DataPoster& poster, const QString& email, const QString& password, bool tell) {
    const PostResult r = poster.Post({{QStringLiteral("action"), QStringLiteral("login")},
                                      {QStringLiteral("email"), email},
                                      {QStringLiteral("password"), Md5Hex(password + kSalt)}});
    if (!r.ok || r.body.isEmpty())
        return;
    QString message;
    if (r.body == QLatin1String("ERROR")) {
        message = QStringLiteral("Wystąpił błąd!");
    } else if (r.body == QLatin1String("0")) {
        message = QStringLiteral("Niepoprawne dane!");
    } else if (r.body == QLatin1String("-1")) {
        message = QStringLiteral("Nie ma takiego użytkownika!");
    } else {
        m.AccountEmail = email;
        m.AccountId = r.body;
        message = QStringLiteral("Zalogowano pomyślnie.");
    }
    if (tell)
        Boxes().Information(message);
}

} // namespace

void PostLogin(MainModel& m, DataPoster& poster, const QString& email, const QString& password) {
    Login(m, poster, email, password, true);
}

void PostLoginSilent(MainModel& m, DataPoster& poster, const QString& email, const QString& password) {
    Login(m, poster, email, password, false);
}

TestUpload UploadOfModel(const MainModel& m) {
    const auto& s = m.Scores.ScoreTable;
    TestUpload u;
    u.user = m.AccountId;
    u.cpu = QString::number(s[kScoreCpu]);
    u.ram = QString::number(s[kScoreRam]);
    u.hdd = QString::number(s[kScoreHdd]);
    u.gpu2d = QString::number(s[kScore2d]);
    u.gpu3d = QString::number(m.Scores.Category3d());
    u.cpuinfo = m.CpuInfo;
    u.raminfo = m.RamInfo;
    u.hddinfo = m.HddInfo;
    u.gpuinfo = m.GpuInfo;
    u.osinfo = m.OsInfo;
    return u;
}

FormFields SaveFields(const TestUpload& u) {
    return {{QStringLiteral("action"), QStringLiteral("save")},
            {QStringLiteral("user"), u.user},
            {QStringLiteral("cpu"), u.cpu},
            {QStringLiteral("hdd"), u.hdd},
            {QStringLiteral("ram"), u.ram},
            {QStringLiteral("gpu2d"), u.gpu2d},
            {QStringLiteral("gpu3d"), u.gpu3d},
            {QStringLiteral("cpuinfo"), u.cpuinfo},
            {QStringLiteral("raminfo"), u.raminfo},
            {QStringLiteral("hddinfo"), u.hddinfo},
            {QStringLiteral("gpuinfo"), u.gpuinfo},
            {QStringLiteral("osinfo"), u.osinfo},
            {QStringLiteral("version"), ProgramVersion()}};
}

void PostTest(MainModel& m, DataPoster& poster, const TestUpload& upload) {
    if (!m.LoggedIn)
        return;
    const PostResult r = poster.Post(SaveFields(upload));
    if (!r.ok || r.body.isEmpty() || r.body == QLatin1String("ERROR"))
        return;
    m.SetText(ctl::PrzypisanoWynikiLbl, UploadNotice(PortalDisplayName(poster)));
    m.SetVisible(ctl::PrzypisanoWynikiLbl, true);
    m.ResultsUploaded = true;
}

QString UploadNotice(const QString& portal) {
    return QStringLiteral("Wyniki przypisano do Twojego konta w portalu ") + portal + QLatin1Char('.');
}

QString PortalDisplayName(const DataPoster& poster) {
    return poster.BaseAddress();
}

} // namespace orv
