#include "tests/online/OnlineFixture.h"

#include "tests/support/TestEnv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QThread>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace orv::test {

bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// ---- GatewayProcess ----

GatewayProcess::~GatewayProcess() {
    Stop();
}

bool GatewayProcess::Start(const QStringList& extra) {
    dir_ = MakeTempDir(QStringLiteral("gateway"));
    const QString portFile = dir_ + QStringLiteral("/port");
    QStringList args{QStringLiteral("--db"),        dir_ + QStringLiteral("/gateway.db"),
                     QStringLiteral("--port"),      QStringLiteral("0"),
                     QStringLiteral("--port-file"), portFile,
                     QStringLiteral("--hash-cost"), QStringLiteral("10"),
                     QStringLiteral("--quiet"),     QStringLiteral("--exit-with-parent")};
    args += extra;
    tls_ = extra.contains(QStringLiteral("--cert"));
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(BinDir() + QStringLiteral("/orvanta-gateway"), args);
    if (!process_.waitForStarted(5000))
        return false;
    if (!WaitFor([&] { return QFile::exists(portFile) || process_.state() != QProcess::Running; }, 10000))
        return false;
    QFile f(portFile);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    port_ = f.readAll().trimmed().toInt();
    return port_ > 0;
}

void GatewayProcess::Stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

QString GatewayProcess::Base() const {
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(tls_ ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port_);
}

QString GatewayProcess::Output() const {
    return QString::fromUtf8(const_cast<QProcess&>(process_).readAll());
}

bool GatewayProcess::Register(const QString& email, const QString& password) {
    httplib::Client cli("127.0.0.1", port_);
    const httplib::Params params{{"email", email.toStdString()},
                                 {"haslo", password.toStdString()},
                                 {"haslo2", password.toStdString()}};
    const auto res = cli.Post("/", params);
    return res && res->status == 200;
}

int GatewayProcess::Get(const QString& path, QByteArray* body) {
    httplib::Client cli("127.0.0.1", port_);
    const auto res = cli.Get(path.toStdString());
    if (!res)
        return 0;
    if (body)
        *body = QByteArray::fromStdString(res->body);
    return res->status;
}

// ---- WireServer ----

struct WireServer::Peer {
    QTcpSocket* client = nullptr;
    QTcpSocket* upstream = nullptr;
    QByteArray pending;
    QByteArray waiting; // for the upstream, until it is connected
};

QByteArray WireRequest::Header(const QByteArray& name) const {
    for (const auto& [n, v] : headers)
        if (n.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

WireServer::WireServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &WireServer::Accept);
}

WireServer::~WireServer() {
    for (auto& p : peers_) {
        p->client->disconnect();
        if (p->upstream)
            p->upstream->disconnect();
    }
}

QByteArray WireServer::Reply(int status, const QByteArray& body, const QByteArray& contentType,
                             const QByteArray& extraHeaders) {
    QByteArray r = "HTTP/1.1 " + QByteArray::number(status) + " X\r\n";
    if (!contentType.isEmpty())
        r += "Content-Type: " + contentType + "\r\n";
    r += "Content-Length: " + QByteArray::number(body.size()) + "\r\n" + extraHeaders + "\r\n" + body;
    return r;
}

void WireServer::Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        ++connections;
        auto peer = std::make_unique<Peer>();
        Peer* p = peer.get();
        p->client = socket;
        if (upstream_) {
            p->upstream = new QTcpSocket(this);
            connect(p->upstream, &QTcpSocket::connected, this, [p] {
                p->upstream->write(p->waiting);
                p->waiting.clear();
            });
            connect(p->upstream, &QTcpSocket::readyRead, this,
                    [p] { p->client->write(p->upstream->readAll()); });
            connect(p->upstream, &QTcpSocket::disconnected, this, [p] { p->client->disconnectFromHost(); });
            p->upstream->connectToHost(QHostAddress::LocalHost, static_cast<quint16>(upstream_));
        }
        connect(socket, &QTcpSocket::readyRead, this, [this, p] {
            const QByteArray data = p->client->readAll();
            p->pending += data;
            if (p->upstream) {
                if (p->upstream->state() == QAbstractSocket::ConnectedState)
                    p->upstream->write(data);
                else
                    p->waiting += data;
            }
            Parse(*p);
        });
        connect(socket, &QTcpSocket::disconnected, this, [p] {
            if (p->upstream)
                p->upstream->disconnectFromHost();
        });
        peers_.push_back(std::move(peer));
    }
}

void WireServer::Parse(Peer& p) {
    while (true) {
        const qsizetype end = p.pending.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        WireRequest r;
        const QList<QByteArray> lines = p.pending.left(end).split('\n');
        r.requestLine = lines.value(0).trimmed();
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
            const qsizetype colon = line.indexOf(':');
            if (colon < 0)
                continue;
            r.headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
            if (line.left(colon).compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = line.mid(colon + 1).trimmed().toLongLong();
        }
        if (p.pending.size() < end + 4 + length)
            return;
        r.body = p.pending.mid(end + 4, length);
        r.raw = p.pending.left(end + 4 + length);
        p.pending.remove(0, end + 4 + length);
        requests.append(r);
        if (!p.upstream && respond) {
            const QByteArray answer = respond(r);
            if (!answer.isEmpty())
                p.client->write(answer);
        }
    }
}

// ---- Certificates ----

namespace {

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

X509* MakeCert(EVP_PKEY* key, const char* cn, X509* issuer, EVP_PKEY* issuerKey, long serial, bool ca) {
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn), -1, -1,
                               0);
    X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer ? issuer : cert;
    bool ok = AddExtension(cert, signer, NID_subject_key_identifier, "hash");
    if (ca) {
        ok = ok && AddExtension(cert, signer, NID_basic_constraints, "critical,CA:TRUE") &&
             AddExtension(cert, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        ok = ok && AddExtension(cert, signer, NID_basic_constraints, "critical,CA:FALSE") &&
             AddExtension(cert, signer, NID_key_usage, "critical,digitalSignature,keyAgreement") &&
             AddExtension(cert, signer, NID_ext_key_usage, "serverAuth") &&
             AddExtension(cert, signer, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") &&
             AddExtension(cert, signer, NID_authority_key_identifier, "keyid");
    }
    if (!ok || X509_sign(cert, issuerKey, EVP_sha256()) == 0) {
        X509_free(cert);
        return nullptr;
    }
    return cert;
}

bool WritePem(const QString& path, const std::function<int(BIO*)>& write) {
    BIO* bio = BIO_new_file(path.toLocal8Bit().constData(), "w");
    if (!bio)
        return false;
    const bool ok = write(bio) == 1;
    BIO_free(bio);
    return ok;
}

} // namespace

bool MakeCertificates(const QString& dir, TestCertificates* out) {
    EVP_PKEY* caKey = EVP_EC_gen("P-256");
    EVP_PKEY* serverKey = EVP_EC_gen("P-256");
    X509* ca = caKey ? MakeCert(caKey, "Orvanta Test CA", nullptr, caKey, 1, true) : nullptr;
    X509* server = ca && serverKey ? MakeCert(serverKey, "127.0.0.1", ca, caKey, 2, false) : nullptr;
    out->caFile = dir + QStringLiteral("/ca.pem");
    out->certFile = dir + QStringLiteral("/server.pem");
    out->keyFile = dir + QStringLiteral("/server.key");
    const bool ok = server && WritePem(out->caFile, [&](BIO* b) { return PEM_write_bio_X509(b, ca); }) &&
                    WritePem(out->certFile, [&](BIO* b) { return PEM_write_bio_X509(b, server); }) &&
                    WritePem(out->keyFile, [&](BIO* b) {
                        return PEM_write_bio_PrivateKey(b, serverKey, nullptr, nullptr, 0, nullptr, nullptr);
                    });
    X509_free(server);
    X509_free(ca);
    EVP_PKEY_free(serverKey);
    EVP_PKEY_free(caKey);
    return ok;
}

} // namespace orv::test
