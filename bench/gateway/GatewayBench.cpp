// The gateway's results page with 10,000 and 1,000,000 stored runs on both back ends, next to the same
// comparisons made the old way (every score of a category loaded and sorted through), and saves per
// second with one and two gateway processes on one PostgreSQL database. Loopback only. The PostgreSQL
// cases need the server of scripts/postgres (ORVANTA_TEST_PG):
//   scripts/postgres build/bench/bench_gateway
#include "gateway/Crypto.h"
#include "gateway/Server.h"
#include "gateway/Store.h"
#include "tests/gateway/PostgresScratch.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <thread>

extern char** environ;

namespace {

using orv::test::ScratchPostgres;

enum Backend { kSqlite = 0, kPostgres = 1 };
constexpr int kOwnRuns = 10;          // the measured account's runs: the page lists them all
constexpr int kRunsPerFiller = 1000;  // the most an account may store
constexpr std::size_t kBatch = 50000; // runs per import transaction

std::string TempDir() {
    char pattern[] = "/tmp/orvanta-gwbench.XXXXXX";
    const char* dir = mkdtemp(pattern);
    return dir ? dir : "/tmp";
}

// The old results page's comparisons, over every stored score.
std::int32_t Median(const std::vector<std::int32_t>& sorted) {
    if (sorted.empty())
        return 0;
    const std::size_t n = sorted.size();
    if (n % 2 == 1)
        return sorted[n / 2];
    return static_cast<std::int32_t>((std::int64_t{sorted[n / 2 - 1]} + sorted[n / 2]) / 2);
}

std::size_t Rank(const std::vector<std::int32_t>& sorted, std::int32_t score) {
    return static_cast<std::size_t>(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), score)) + 1;
}

// A filled database of one back end, with a gateway on it in this process.
struct Table {
    std::unique_ptr<ScratchPostgres> postgres;
    std::string dir; // of the SQLite file
    std::string address;
    std::unique_ptr<gw::Store> store;
    std::unique_ptr<gw::Gateway> gateway;
    std::unique_ptr<gw::Server> server;
    std::thread serving;
    std::string account;
    gw::Run latest;
    ~Table() {
        if (server)
            server->Stop();
        if (serving.joinable())
            serving.join();
        server.reset();
        gateway.reset();
        store.reset();
        if (!dir.empty())
            std::filesystem::remove_all(dir);
    }
};

gw::Options BenchOptions(const std::string& address) {
    gw::Options o;
    o.database = address;
    o.port = 0;
    o.quiet = true;
    o.cost = {10, 8, 1};
    return o;
}

// Filler accounts with kRunsPerFiller runs each and one account with kOwnRuns, scores spread as real
// machines' are (around 5000, a long tail upwards), all imported in large transactions.
std::unique_ptr<Table> Fill(Backend backend, std::int64_t runs) {
    auto t = std::make_unique<Table>();
    if (backend == kPostgres) {
        t->postgres = std::make_unique<ScratchPostgres>();
        t->address = t->postgres->Address();
    } else {
        t->dir = TempDir();
        t->address = t->dir + "/gateway.db";
    }
    t->store = gw::OpenStore(t->address);
    const std::int64_t fillers = (runs - kOwnRuns + kRunsPerFiller - 1) / kRunsPerFiller;
    std::vector<gw::Account> accounts;
    for (std::int64_t i = 0; i <= fillers; ++i)
        accounts.push_back({std::to_string(100000000000000000 + i),
                            "konto" + std::to_string(i) + "@example.pl", "scrypt$10$8$1$00$00",
                            1'700'000'000});
    t->store->ImportAccounts(accounts);
    t->account = accounts.front().id;

    std::mt19937 random(7);
    std::lognormal_distribution<double> spread(8.5, 0.5);
    const auto score = [&] {
        return std::min<std::int32_t>(static_cast<std::int32_t>(spread(random)), 10'000'000);
    };
    std::vector<gw::Run> batch;
    for (std::int64_t seq = 1; seq <= runs; ++seq) {
        gw::Run r;
        r.seq = seq;
        // The measured account's runs come last, so that its latest is the table's latest.
        r.account = seq > runs - kOwnRuns
                        ? t->account
                        : accounts[static_cast<std::size_t>(1 + (seq - 1) / kRunsPerFiller)].id;
        r.created = 1'700'000'000 + seq;
        r.cpu = score();
        r.ram = score();
        r.hdd = score();
        r.gpu2d = score();
        r.gpu3d = score();
        r.cpuinfo = "Procesor " + std::to_string(seq % 97);
        r.version = "1.2.0.0";
        batch.push_back(r);
        if (batch.size() == kBatch || seq == runs) {
            t->store->ImportRuns(batch);
            t->latest = batch.back();
            batch.clear();
        }
    }
    if (t->postgres)
        t->postgres->Query("VACUUM ANALYZE");
    t->gateway = std::make_unique<gw::Gateway>(*t->store, BenchOptions(t->address));
    t->server = std::make_unique<gw::Server>(BenchOptions(t->address));
    if (!t->server->Bind())
        return nullptr;
    t->serving = std::thread([s = t->server.get()] { s->Run(); });
    return t;
}

// Tables are filled once per back end and size, and kept for every benchmark that needs them.
Table* TableFor(benchmark::State& state, Backend backend, std::int64_t runs) {
    static std::map<std::pair<int, std::int64_t>, std::unique_ptr<Table>> tables;
    if (backend == kPostgres && !orv::test::TestPostgresServer()) {
        state.SkipWithError("no PostgreSQL server: run under scripts/postgres (ORVANTA_TEST_PG)");
        return nullptr;
    }
    auto& t = tables[{backend, runs}];
    if (!t) {
        const auto start = std::chrono::steady_clock::now();
        t = Fill(backend, runs);
        std::fprintf(stderr, "filled %s with %lld runs in %.1f s\n",
                     backend == kSqlite ? "SQLite" : "PostgreSQL", static_cast<long long>(runs),
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (!t)
        state.SkipWithError("the gateway did not start");
    return t.get();
}

void ResultsPageHttp(benchmark::State& state, Backend backend) {
    Table* t = TableFor(state, backend, state.range(0));
    if (!t)
        return;
    httplib::Client cli("127.0.0.1", t->server->Port());
    cli.set_keep_alive(true);
    cli.set_tcp_nodelay(true);
    const std::string path = "/api/gateway/results/" + t->account + "/" + gw::ResultsHash(t->account);
    for (auto _ : state) {
        const auto res = cli.Get(path);
        if (!res || res->status != 200) {
            state.SkipWithError("no results page");
            return;
        }
        benchmark::DoNotOptimize(res->body.data());
    }
}

// The page as the gateway builds it, without HTTP.
void ResultsPage(benchmark::State& state, Backend backend) {
    Table* t = TableFor(state, backend, state.range(0));
    if (!t)
        return;
    for (auto _ : state) {
        const std::optional<std::string> page = t->gateway->ResultsPage(t->account);
        benchmark::DoNotOptimize(page->data());
    }
}

// Baseline: what the page's database work was, every score of each category loaded and gone through.
void ResultsPageLoadingAllScores(benchmark::State& state, Backend backend) {
    Table* t = TableFor(state, backend, state.range(0));
    if (!t)
        return;
    for (auto _ : state) {
        benchmark::DoNotOptimize(t->store->FindById(t->account));
        const std::vector<gw::Run> runs = t->store->RunsOf(t->account);
        std::int64_t sum = 0;
        for (int c = 0; c < gw::kCategoryCount; ++c) {
            const std::vector<std::int32_t> all = t->store->AllScores(c);
            sum += Median(all) + static_cast<std::int64_t>(Rank(all, gw::CategoryOf(runs.front(), c)));
        }
        benchmark::DoNotOptimize(sum);
    }
}

void Standings(benchmark::State& state, Backend backend) {
    Table* t = TableFor(state, backend, state.range(0));
    if (!t)
        return;
    for (auto _ : state)
        benchmark::DoNotOptimize(t->store->Standings(t->latest));
}

// ---- Saves through gateway processes ----

class GatewayProgram {
public:
    GatewayProgram(const std::string& database, const std::string& dir, int index) {
        portFile_ = dir + "/port" + std::to_string(index);
        const std::string program = ORVANTA_GATEWAY_PROGRAM;
        std::vector<std::string> args = {program,
                                         "--db",
                                         database,
                                         "--port",
                                         "0",
                                         "--port-file",
                                         portFile_,
                                         "--quiet",
                                         "--hash-cost",
                                         "10",
                                         "--exit-with-parent"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
    }
    ~GatewayProgram() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    GatewayProgram(const GatewayProgram&) = delete;
    GatewayProgram& operator=(const GatewayProgram&) = delete;
    int Port() {
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            std::ifstream in(portFile_);
            int port = 0;
            if (in >> port && port > 0)
                return port;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return 0;
    }

private:
    std::string portFile_;
    pid_t pid_ = -1;
};

// Saves from four clients spread over `processes` gateways on one database, each to the next of many
// accounts (an account may save 20 runs an hour).
void Saves(benchmark::State& state, Backend backend) {
    const int processes = static_cast<int>(state.range(0));
    constexpr int kClients = 4, kSavesPerClient = 400;
    struct Database {
        std::unique_ptr<ScratchPostgres> postgres;
        std::string dir, address;
        ~Database() {
            if (!dir.empty())
                std::filesystem::remove_all(dir);
        }
    };
    static std::map<int, Database> databases;
    static std::map<int, std::vector<std::string>> accountIds;
    static std::atomic<std::size_t> nextAccount{0};
    if (backend == kPostgres && !orv::test::TestPostgresServer()) {
        state.SkipWithError("no PostgreSQL server: run under scripts/postgres (ORVANTA_TEST_PG)");
        return;
    }
    Database& database = databases[backend];
    std::string& address = database.address;
    if (address.empty()) {
        if (backend == kPostgres) {
            database.postgres = std::make_unique<ScratchPostgres>();
            address = database.postgres->Address();
        } else {
            database.dir = TempDir();
            address = database.dir + "/saves.db";
        }
        std::vector<gw::Account> accounts;
        for (int i = 0; i < 20000; ++i)
            accounts.push_back({std::to_string(200000000000000000 + i),
                                "zapis" + std::to_string(i) + "@example.pl", "scrypt$10$8$1$00$00",
                                1'700'000'000});
        gw::OpenStore(address)->ImportAccounts(accounts);
        for (const gw::Account& a : accounts)
            accountIds[backend].push_back(a.id);
    }
    const std::vector<std::string>& ids = accountIds[backend];
    const std::string dir = TempDir();
    std::vector<std::unique_ptr<GatewayProgram>> gateways;
    std::vector<int> ports;
    for (int i = 0; i < processes; ++i) {
        gateways.push_back(std::make_unique<GatewayProgram>(address, dir, i));
        ports.push_back(gateways.back()->Port());
        if (ports.back() == 0) {
            state.SkipWithError("a gateway did not start");
            return;
        }
    }
    std::atomic<int> failed{0};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&, c] {
                httplib::Client cli("127.0.0.1", ports[static_cast<std::size_t>(c % processes)]);
                cli.set_keep_alive(true);
                cli.set_tcp_nodelay(true);
                for (int i = 0; i < kSavesPerClient; ++i) {
                    const std::string& id = ids[nextAccount++ % ids.size()];
                    const std::string body =
                        "action=save&user=" + id +
                        "&cpu=5000&ram=5100&hdd=4900&gpu2d=5200&gpu3d=4800&version=1.2.0.0";
                    const auto res = cli.Post("/api/gateway", body, "application/x-www-form-urlencoded");
                    if (!res || res->body != "OK")
                        ++failed;
                }
            });
        }
        for (std::thread& t : clients)
            t.join();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    if (failed > 0)
        state.SkipWithError("some saves were refused");
    state.SetItemsProcessed(state.iterations() * kClients * kSavesPerClient);
    gateways.clear();
    std::filesystem::remove_all(dir);
}

} // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    for (const Backend b : {kSqlite, kPostgres}) {
        const std::string name = b == kSqlite ? "SQLite" : "PostgreSQL";
        benchmark::RegisterBenchmark(("ResultsPageHttp/" + name).c_str(), ResultsPageHttp, b)
            ->Arg(10'000)
            ->Arg(1'000'000)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ResultsPage/" + name).c_str(), ResultsPage, b)
            ->Arg(10'000)
            ->Arg(1'000'000)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ResultsPageLoadingAllScores/" + name).c_str(),
                                     ResultsPageLoadingAllScores, b)
            ->Arg(10'000)
            ->Arg(1'000'000)
            ->Unit(benchmark::kMillisecond)
            ->MinTime(2.0);
        benchmark::RegisterBenchmark(("Standings/" + name).c_str(), Standings, b)
            ->Arg(10'000)
            ->Arg(1'000'000)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("Saves/SQLite/processes", Saves, kSqlite)
        ->Arg(1)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Saves/PostgreSQL/processes", Saves, kPostgres)
        ->Arg(1)
        ->Arg(2)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
