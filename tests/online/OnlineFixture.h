#pragma once
#include "platform/MessageBoxes.h"
#include "tests/support/RecordingBoxes.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

namespace orv::test {

// The real orvanta-gateway on a free loopback port with a fresh database.
class GatewayProcess {
public:
    ~GatewayProcess();
    // Extra arguments, e.g. {"--current-version", "1.3.0.0"} or a certificate and key.
    bool Start(const QStringList& extra = {});
    void Stop();
    int Port() const { return port_; }
    qint64 Pid() const { return process_.processId(); }
    QString Base() const; // http(s)://127.0.0.1:port
    QString Output() const;
    QString Database() const { return dir_ + QStringLiteral("/gateway.db"); }
    // Registers through the home page form; true when the account was created.
    bool Register(const QString& email, const QString& password);
    // GET of a path, following nothing; the status code and body.
    int Get(const QString& path, QByteArray* body = nullptr);

private:
    QProcess process_;
    QString dir_;
    int port_ = 0;
    bool tls_ = false;
};

// One HTTP request as it arrived on the wire.
struct WireRequest {
    QByteArray requestLine;
    QList<QPair<QByteArray, QByteArray>> headers; // in the order sent
    QByteArray body;
    QByteArray raw;
    QByteArray Header(const QByteArray& name) const;
};

// A loopback HTTP server for the client's tests. It records every request byte for byte and either
// forwards it to an upstream port (the real gateway) or answers with whatever `respond` returns; an
// empty answer leaves the client waiting forever.
class WireServer : public QObject {
    Q_OBJECT
public:
    WireServer();
    ~WireServer() override;
    void ForwardTo(int upstreamPort) { upstream_ = upstreamPort; }
    std::function<QByteArray(const WireRequest&)> respond;

    int Port() const { return static_cast<int>(server_.serverPort()); }
    QString Base() const { return QStringLiteral("http://127.0.0.1:%1").arg(Port()); }
    QList<WireRequest> requests;
    int connections = 0;

    static QByteArray Reply(int status, const QByteArray& body,
                            const QByteArray& contentType = "text/plain; charset=utf-8",
                            const QByteArray& extraHeaders = {});

private:
    struct Peer;
    void Accept();
    void Parse(Peer& peer);
    QTcpServer server_;
    int upstream_ = 0;
    std::vector<std::unique_ptr<Peer>> peers_;
};

// A CA and a server certificate for 127.0.0.1 signed by it, written as PEM files into dir.
struct TestCertificates {
    QString caFile, certFile, keyFile;
};
bool MakeCertificates(const QString& dir, TestCertificates* out);

// Runs the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, int ms);

} // namespace orv::test
