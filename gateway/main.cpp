// orvanta-gateway: the self-hosted service behind the program's online account.
#include "gateway/Migrate.h"
#include "gateway/Server.h"
#include "gateway/SqliteStore.h"

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
    std::fputs(
        "Usage: orvanta-gateway --db FILE|postgresql://... [options]\n"
        "       orvanta-gateway --migrate-from FILE --db postgresql://...\n"
        "  --db FILE              SQLite database (created when missing, readable by its owner only)\n"
        "  --db postgresql://...  PostgreSQL database, shared by any number of gateway processes; what\n"
        "                         the address leaves out comes from PGHOST, PGDATABASE, PGUSER, ...\n"
        "                         (without --db, PGHOST, PGDATABASE or PGSERVICE select PostgreSQL)\n"
        "  --migrate-from FILE    copy the accounts and runs of an SQLite database into --db and end;\n"
        "                         may be repeated, rows already there are kept\n"
        "  --listen ADDRESS       address to listen on (default 127.0.0.1)\n"
        "  --port N               port (default 8080; 0 picks a free one)\n"
        "  --port-file FILE       write the port in use to FILE once listening\n"
        "  --cert FILE --key FILE serve HTTPS with this certificate chain and key (PEM);\n"
        "                         without them only a loopback address is allowed\n"
        "  --current-version V    version the program is told is current (default 1.2.0.0)\n"
        "  --download-url URL     where the download page points\n"
        "  --hash-cost N          scrypt cost as log2 of N for new passwords (default 15)\n"
        "  --exit-with-parent     stop when the program that started this one ends\n"
        "  --behind-proxy         requests from a loopback address carry the client's address as the\n"
        "                         last entry of X-Forwarded-For (a reverse proxy on this machine)\n"
        "  --quiet                no request log\n",
        out);
}

// Copies an SQLite gateway into the database of --db; 0 when every row is there afterwards.
int MigrateFrom(const std::string& file, const std::string& database) {
    try {
        gw::SqliteStore from(file, gw::SqliteStore::Mode::ReadOnly);
        const std::unique_ptr<gw::Store> to = gw::OpenStore(database);
        const gw::MigrationReport report = gw::Migrate(from, *to);
        std::printf("orvanta-gateway: %s\n", report.Summary().c_str());
        if (!report.Complete()) {
            std::fprintf(stderr, "orvanta-gateway: %s\n", report.Summary().c_str());
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta-gateway: %s\n", e.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    gw::Options options;
    std::string portFile, migrateFrom;
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
        } else if (arg == "--migrate-from") {
            value(migrateFrom);
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
        } else if (arg == "--behind-proxy") {
            options.behindProxy = true;
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

    if (options.database.empty() &&
        (std::getenv("PGHOST") || std::getenv("PGDATABASE") || std::getenv("PGSERVICE")))
        options.database = "postgresql://"; // everything from the environment
    if (!migrateFrom.empty()) {
        if (options.database.empty()) {
            std::fprintf(stderr, "orvanta-gateway: --migrate-from needs --db\n");
            return 2;
        }
        return MigrateFrom(migrateFrom, options.database);
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
    // Run can also end on its own (socket failure); wake the waiter so that it can be joined. The
    // signal is blocked and taken by its sigwait: it ends the wait, not the thread.
    pthread_kill(waiter.native_handle(), SIGTERM); // NOLINT(bugprone-bad-signal-to-kill-thread)
    waiter.join();
    return 0;
}
