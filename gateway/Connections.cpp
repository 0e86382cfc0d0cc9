#include "gateway/Connections.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace gw {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline, int capSeconds) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, capSeconds * 1000LL));
}

// Waits for the socket; false on time-out or error.
bool WaitFor(int fd, short events, Clock::time_point deadline, int capSeconds) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = poll(&p, 1, MillisecondsUntil(deadline, capSeconds));
        if (rc > 0)
            return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

// One client connection, owned by the watcher while it waits and by a worker while it is served.
struct Peer {
    int fd = -1;
    SSL* ssl = nullptr;
    bool handshaken = false;
    bool wantWrite = false; // the TLS layer waits to send, not to receive
    std::string address;
    int port = 0;
    std::string in;         // bytes read, not yet given to the library
    std::size_t served = 0; // requests answered on this connection
    Clock::time_point idleUntil, headUntil;
    std::function<void(const std::string&)> release;

    ~Peer() {
        if (ssl) {
            if (handshaken)
                SSL_shutdown(ssl); // close_notify, if the socket takes it now
            SSL_free(ssl);
        }
        if (fd >= 0) {
            shutdown(fd, SHUT_RDWR);
            close(fd);
        }
        if (release)
            release(address);
    }

    // Reads what is there without waiting: > 0 bytes, 0 at the end, -1 would block, -2 failed.
    ssize_t ReadSome(char* out, std::size_t size) {
        if (ssl) {
            const int n = SSL_read(ssl, out, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
            if (n > 0)
                return n;
            const int e = SSL_get_error(ssl, n);
            wantWrite = e == SSL_ERROR_WANT_WRITE;
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE)
                return -1;
            return e == SSL_ERROR_ZERO_RETURN ? 0 : -2;
        }
        for (;;) {
            const ssize_t n = recv(fd, out, size, MSG_DONTWAIT);
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
        }
    }

    ssize_t WriteSome(const char* data, std::size_t size) {
        if (ssl) {
            const int n = SSL_write(ssl, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)));
            if (n > 0)
                return n;
            const int e = SSL_get_error(ssl, n);
            wantWrite = e == SSL_ERROR_WANT_WRITE;
            return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? -1 : -2;
        }
        for (;;) {
            const ssize_t n = send(fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n >= 0)
                return n;
            if (errno == EINTR)
                continue;
            wantWrite = true;
            return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
        }
    }
};

namespace {

// The library's view of a connection while a worker serves one request: buffered head first, then the
// socket, every wait bounded by the request's deadline.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(Peer& c, Clock::time_point deadline, int ioSeconds)
        : c_(c), deadline_(deadline), ioSeconds_(ioSeconds) {}

    bool is_readable() const override {
        return !c_.in.empty() || (c_.ssl && SSL_pending(c_.ssl) > 0) ||
               WaitFor(c_.fd, POLLIN, deadline_, ioSeconds_);
    }
    bool is_writable() const override { return WaitFor(c_.fd, POLLOUT, deadline_, ioSeconds_); }

    ssize_t read(char* ptr, size_t size) override {
        if (!c_.in.empty()) {
            const std::size_t n = std::min(size, c_.in.size());
            std::copy_n(c_.in.data(), n, ptr);
            c_.in.erase(0, n);
            return static_cast<ssize_t>(n);
        }
        for (;;) {
            const ssize_t n = c_.ReadSome(ptr, size);
            if (n >= 0)
                return n;
            if (n == -2 || !WaitFor(c_.fd, c_.wantWrite ? POLLOUT : POLLIN, deadline_, ioSeconds_))
                return -1;
        }
    }

    ssize_t write(const char* ptr, size_t size) override {
        for (;;) {
            const ssize_t n = c_.WriteSome(ptr, size);
            if (n >= 0)
                return n;
            if (n == -2 || !WaitFor(c_.fd, c_.wantWrite ? POLLOUT : POLLIN, deadline_, ioSeconds_))
                return -1;
        }
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = c_.address;
        port = c_.port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        ip.clear();
        port = 0;
        if (getsockname(c_.fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            char text[INET6_ADDRSTRLEN] = {};
            if (a.ss_family == AF_INET) {
                const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
                inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
                port = ntohs(v4->sin_port);
            } else if (a.ss_family == AF_INET6) {
                const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
                inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
                port = ntohs(v6->sin6_port);
            }
            ip = text;
        }
    }
    socket_t socket() const override { return c_.fd; }

private:
    Peer& c_;
    Clock::time_point deadline_;
    int ioSeconds_;
};

} // namespace

// The task queue the library hands accepted sockets to: a fixed pool of workers and one watcher thread
// that holds connections until their request head is complete.
class ConnectionHub : public httplib::TaskQueue {
public:
    ConnectionHub(GuardedServer& server) : server_(server), limits_(server.limits_) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event e{};
        e.events = EPOLLIN;
        e.data.fd = wake_;
        epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &e);
        watcher_ = std::thread([this] { Watch(); });
        for (std::size_t i = 0; i < std::max<std::size_t>(limits_.workers, 1); ++i)
            workers_.emplace_back([this] { Work(); });
    }

    ~ConnectionHub() override {
        shutdown();
        close(epoll_);
        close(wake_);
    }

    void enqueue(std::function<void()> fn) override {
        {
            std::lock_guard lock(jobsMutex_);
            jobs_.push_back(std::move(fn));
        }
        jobsReady_.notify_one();
    }

    void shutdown() override {
        if (shutDown_)
            return;
        shutDown_ = true;
        {
            std::lock_guard lock(parkedMutex_);
            watching_ = false;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t w = ::write(wake_, &one, sizeof one);
        watcher_.join();
        {
            std::lock_guard lock(jobsMutex_);
            stopping_ = true;
        }
        jobsReady_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }

    // On a worker, for a socket the library has just accepted.
    void Admit(int fd) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        std::string address;
        int port = 0;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
            char text[INET6_ADDRSTRLEN] = {};
            if (a.ss_family == AF_INET) {
                const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
                inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
                port = ntohs(v4->sin_port);
            } else if (a.ss_family == AF_INET6) {
                const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
                inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
                port = ntohs(v6->sin6_port);
            }
            address = text;
        }
        if (address.empty() || server_.Stopped() || !Take(address)) {
            close(fd);
            return;
        }
        auto c = std::make_shared<Peer>();
        c->fd = fd;
        c->address = address;
        c->port = port;
        c->release = [this](const std::string& addr) { Give(addr); };
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        if (server_.tls_) {
            c->ssl = SSL_new(server_.tls_);
            if (!c->ssl || SSL_set_fd(c->ssl, fd) != 1)
                return;
        }
        c->headUntil = c->idleUntil = Clock::now() + std::chrono::seconds(limits_.headSeconds);
        Run(std::move(c));
    }

private:
    enum class Head { Complete, Waiting, TooLarge, Closed };

    bool Take(const std::string& address) {
        std::lock_guard lock(countMutex_);
        std::size_t& mine = perAddress_[address];
        if (total_ >= limits_.total || mine >= limits_.perAddress) {
            if (mine == 0)
                perAddress_.erase(address);
            return false;
        }
        ++mine;
        ++total_;
        return true;
    }

    void Give(const std::string& address) {
        std::lock_guard lock(countMutex_);
        const auto it = perAddress_.find(address);
        if (it != perAddress_.end() && --it->second == 0)
            perAddress_.erase(it);
        --total_;
    }

    // Reads what has arrived, without waiting, until the buffer holds a whole head or the limits.
    Head PreRead(Peer& c) {
        if (c.ssl && !c.handshaken) {
            const int rc = SSL_accept(c.ssl);
            if (rc != 1) {
                const int e = SSL_get_error(c.ssl, rc);
                c.wantWrite = e == SSL_ERROR_WANT_WRITE;
                return e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE ? Head::Waiting : Head::Closed;
            }
            c.handshaken = true;
        }
        for (;;) {
            const Head h = Check(c);
            if (h != Head::Waiting)
                return h;
            char chunk[4096];
            const std::size_t room = limits_.maxHeadBytes + 1 - c.in.size();
            const ssize_t n = c.ReadSome(chunk, std::min(sizeof chunk, room));
            if (n > 0)
                c.in.append(chunk, static_cast<std::size_t>(n));
            else
                return n == -1 ? Head::Waiting : Head::Closed;
        }
    }

    // The library ends a head at the first line that is only CR LF.
    Head Check(const Peer& c) const {
        const std::size_t end = c.in.find("\n\r\n");
        const std::size_t headSize = end == std::string::npos ? c.in.size() : end + 3;
        const auto lines = static_cast<std::size_t>(std::count(c.in.begin(), c.in.begin() + headSize, '\n'));
        if (headSize > limits_.maxHeadBytes || lines > limits_.maxHeaderLines + 2)
            return Head::TooLarge;
        return end == std::string::npos ? Head::Waiting : Head::Complete;
    }

    // A worker's loop over one connection's requests, back to the watcher when nothing has arrived.
    void Run(std::shared_ptr<Peer> c) {
        for (;;) {
            if (server_.Stopped())
                return;
            switch (PreRead(*c)) {
            case Head::Waiting:
                Park(std::move(c));
                return;
            case Head::TooLarge:
                Refuse(*c);
                return;
            case Head::Closed:
                return;
            case Head::Complete:
                break;
            }
            const auto deadline = Clock::now() + std::chrono::seconds(limits_.requestSeconds);
            ConnectionStream stream(*c, deadline, static_cast<int>(server_.read_timeout_sec_));
            const bool last = c->served + 1 >= server_.keep_alive_max_count_;
            bool closed = false;
            const bool ok = server_.ServeRequest(stream, last, closed);
            ++c->served;
            if (!ok || closed || last)
                return;
            const auto now = Clock::now();
            c->headUntil = now + std::chrono::seconds(limits_.headSeconds);
            c->idleUntil = now + std::chrono::seconds(server_.keep_alive_timeout_sec_);
        }
    }

    // Whatever the socket takes at once: the watcher never waits on a client that is being refused.
    void Refuse(Peer& c) {
        const std::string& reply = server_.refusal_;
        std::size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t n = c.WriteSome(reply.data() + sent, reply.size() - sent);
            if (n <= 0)
                break;
            sent += static_cast<std::size_t>(n);
        }
    }

    void Park(std::shared_ptr<Peer> c) {
        std::lock_guard lock(parkedMutex_);
        if (!watching_)
            return;
        if (!c->in.empty())
            c->idleUntil = c->headUntil; // the head has begun: it has until its own deadline
        epoll_event e{};
        e.events = (c->wantWrite ? EPOLLOUT : EPOLLIN) | EPOLLRDHUP;
        e.data.fd = c->fd;
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, c->fd, &e) == 0)
            parked_[c->fd] = std::move(c);
    }

    void Watch() {
        epoll_event events[64];
        for (;;) {
            const int n = epoll_wait(epoll_, events, 64, 50);
            std::vector<std::shared_ptr<Peer>> ready, expired;
            {
                std::lock_guard lock(parkedMutex_);
                if (!watching_) {
                    for (auto& [fd, c] : parked_)
                        epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
                    parked_.clear();
                    return;
                }
                for (int i = 0; i < n; ++i) {
                    const auto it = parked_.find(events[i].data.fd);
                    if (it == parked_.end())
                        continue;
                    epoll_ctl(epoll_, EPOLL_CTL_DEL, it->first, nullptr);
                    ready.push_back(std::move(it->second));
                    parked_.erase(it);
                }
                const auto now = Clock::now();
                for (auto it = parked_.begin(); it != parked_.end();) {
                    if (now >= std::min(it->second->idleUntil, it->second->headUntil)) {
                        epoll_ctl(epoll_, EPOLL_CTL_DEL, it->first, nullptr);
                        expired.push_back(std::move(it->second));
                        it = parked_.erase(it);
                    } else {
                        ++it;
                    }
                }
            }
            expired.clear(); // closes them
            for (auto& c : ready) {
                switch (PreRead(*c)) {
                case Head::Complete:
                    enqueue([this, c]() mutable { Run(std::move(c)); });
                    break;
                case Head::Waiting:
                    Park(std::move(c));
                    break;
                case Head::TooLarge:
                    Refuse(*c);
                    break;
                case Head::Closed:
                    break;
                }
            }
        }
    }

    void Work() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(jobsMutex_);
                jobsReady_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty())
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

    GuardedServer& server_;
    const ConnectionLimits limits_;
    int epoll_ = -1, wake_ = -1;
    bool shutDown_ = false;

    std::mutex jobsMutex_;
    std::condition_variable jobsReady_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;

    std::mutex parkedMutex_;
    std::map<int, std::shared_ptr<Peer>> parked_;
    bool watching_ = true;
    std::thread watcher_;

    std::mutex countMutex_;
    std::map<std::string, std::size_t> perAddress_;
    std::size_t total_ = 0;
};

GuardedServer::GuardedServer(const ConnectionLimits& limits, SSL_CTX* tls, std::string refusal)
    : limits_(limits), tls_(tls), refusal_(std::move(refusal)) {
    new_task_queue = [this] {
        hub_ = new ConnectionHub(*this);
        return hub_;
    };
    set_socket_options([this](socket_t sock) {
        httplib::default_socket_options(sock);
        listenSocket_ = sock;
    });
}

GuardedServer::~GuardedServer() {
    if (tls_)
        SSL_CTX_free(tls_);
}

void GuardedServer::WidenBacklog() {
    // Listening again on a listening socket only changes its backlog.
    if (listenSocket_ != INVALID_SOCKET)
        ::listen(listenSocket_, limits_.backlog);
}

bool GuardedServer::process_and_close_socket(socket_t sock) {
    hub_->Admit(sock);
    return true;
}

bool GuardedServer::ServeRequest(httplib::Stream& stream, bool closeConnection, bool& closed) {
    return process_request(stream, closeConnection, closed, nullptr);
}

} // namespace gw
