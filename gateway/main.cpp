// orvanta-gateway: the self-hosted service behind the program's online account.
#include "gateway/Server.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pthread.h>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

void Usage(FILE* out) {
    std::fputs("Usage: orvanta-gateway --db FILE [options]\n"
               "  --db FILE              SQLite database (created when missing, readable by its owner only)\n"
               "  --listen ADDRESS       address to listen on (default 127.0.0.1)\n"
               "  --port N               port (default 8080; 0 picks a free one)\n"
               "  --port-file FILE       write the port in use to FILE once listening\n"
               "  --cert FILE --key FILE serve HTTPS with this certificate chain and key (PEM);\n"
               "                         without them only a loopback address is allowed\n"
               "  --current-version V    version the program is told is current (default 1.2.0.0)\n"
               "  --download-url URL     where the download page points\n"
               "  --hash-cost N          scrypt cost as log2 of N for new passwords (default 15)\n"
               "  --exit-with-parent     stop when the program that started this one ends\n"
               "  --quiet                no request log\n",
               out);
}

} // namespace

int main(int argc, char** argv) {
    gw::Options options;
    std::string portFile;
    bool exitWithParent = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "orvanta-gateway: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            out = argv[++i];
        };
        std::string v;
        if (arg == "--db") {
            value(options.database);
        } else if (arg == "--listen") {
            value(options.listen);
        } else if (arg == "--port" || arg == "--hash-cost") {
            value(v);
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            const bool port = arg == "--port";
            if (v.empty() || *end != '\0' || n < (port ? 0 : 10) || n > (port ? 65535 : 20)) {
                std::fprintf(stderr, "orvanta-gateway: bad value for %s: %s\n", arg.c_str(), v.c_str());
                return 2;
            }
            (port ? options.port : options.cost.log2N) = static_cast<int>(n);
        } else if (arg == "--port-file") {
            value(portFile);
        } else if (arg == "--cert") {
            value(options.certFile);
        } else if (arg == "--key") {
            value(options.keyFile);
        } else if (arg == "--current-version") {
            value(options.currentVersion);
        } else if (arg == "--download-url") {
            value(options.downloadUrl);
        } else if (arg == "--exit-with-parent") {
            exitWithParent = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "orvanta-gateway: unknown option %s\n\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }

    // Signals are taken by one thread that stops the server; the server's threads never see them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (exitWithParent) {
        const pid_t parent = getppid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) // the parent ended before the request took hold
            return 0;
    }

    // Room for the connection limit (512) beside the database and the listening socket.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 2048) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 2048);
        setrlimit(RLIMIT_NOFILE, &files);
    }

    gw::Server server(options);
    if (!server.Bind())
        return 1;
    if (!portFile.empty()) {
        const std::string tmp = portFile + ".tmp";
        std::ofstream(tmp) << server.Port() << "\n";
        std::rename(tmp.c_str(), portFile.c_str());
    }
    std::printf("orvanta-gateway: listening on %s\n", server.BaseAddress().c_str());
    std::fflush(stdout);

    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.Stop();
    });
    server.Run();
    // Run can also end on its own (socket failure); wake the waiter so that it can be joined.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    return 0;
}
