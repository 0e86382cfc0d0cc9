#pragma once
#include <httplib.h>
#include <openssl/ssl.h>

#include <cstddef>
#include <string>

namespace gw {

// How much a connection may cost before the gateway lets it go. The installed HTTP library is a
// prebuilt shared object: its compile-time limits cannot be changed from here, and it keeps no count
// of headers, so request heads are read and checked by the gateway itself before the library parses them.
struct ConnectionLimits {
    std::size_t workers = 32;         // requests handled at once; a waiting connection takes none
    int backlog = 128;                // completed handshakes the kernel holds until accepted
    std::size_t perAddress = 16;      // open connections of one client address
    std::size_t total = 512;          // open connections in all, well below the descriptor limit
    std::size_t maxHeadBytes = 16384; // request line and headers together
    std::size_t maxHeaderLines = 64;  // browsers send about 15
    int headSeconds = 10;             // from connecting (or the previous reply) to a complete head
    int requestSeconds = 30;          // from a complete head to the reply sent, body included
};

class ConnectionHub;

// An httplib::Server whose connections wait in one watcher thread until a complete, bounded request
// head has arrived; only then does a worker take them. Slow, idle and flooding clients hold no worker.
class GuardedServer : public httplib::Server {
public:
    // tls: taken over, null for plain HTTP. refusal: the whole reply to a head beyond the limits.
    GuardedServer(const ConnectionLimits& limits, SSL_CTX* tls, std::string refusal);
    ~GuardedServer() override;
    bool is_valid() const override { return true; }
    // After binding: the library listens with a backlog of 5.
    void WidenBacklog();

private:
    friend class ConnectionHub;
    bool process_and_close_socket(socket_t sock) override;
    bool ServeRequest(httplib::Stream& stream, bool closeConnection, bool& closed);
    bool Stopped() const { return svr_sock_ == INVALID_SOCKET; }

    ConnectionLimits limits_;
    SSL_CTX* tls_;
    std::string refusal_;
    ConnectionHub* hub_ = nullptr;
    socket_t listenSocket_ = INVALID_SOCKET;
};

} // namespace gw
