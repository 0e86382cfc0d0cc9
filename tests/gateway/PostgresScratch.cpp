#include "tests/gateway/PostgresScratch.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <stdexcept>

namespace orv::test {

namespace {

std::string PercentEncoded(const std::string& s) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || c == '-' ||
            c == '_' || c == '.' || c == '~' || c == '/') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[u >> 4]);
            out.push_back(kHex[u & 15]);
        }
    }
    return out;
}

// The server's address with another database in it.
std::string WithDatabase(const std::string& server, const std::string& database) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(server.c_str(), &error);
    if (!options) {
        const std::string message = error ? error : "cannot parse";
        PQfreemem(error);
        throw std::runtime_error("ORVANTA_TEST_PG: " + message);
    }
    std::string query;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val || !*o->val || std::string(o->keyword) == "dbname")
            continue;
        query += (query.empty() ? "?" : "&") + std::string(o->keyword) + "=" + PercentEncoded(o->val);
    }
    PQconninfoFree(options);
    return "postgresql:///" + database + query;
}

std::string Run(const std::string& address, const std::string& sql) {
    PGconn* c = PQconnectdb(address.c_str());
    if (PQstatus(c) != CONNECTION_OK) {
        const std::string message = PQerrorMessage(c);
        PQfinish(c);
        throw std::runtime_error("test PostgreSQL: " + message);
    }
    PGresult* r = PQexec(c, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    std::string value;
    if (status == PGRES_TUPLES_OK && PQntuples(r) > 0 && PQnfields(r) > 0)
        value = PQgetvalue(r, 0, 0);
    const std::string message = PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(c);
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        throw std::runtime_error("test PostgreSQL: " + sql + ": " + message);
    return value;
}

} // namespace

std::optional<std::string> TestPostgresServer() {
    const char* v = std::getenv("ORVANTA_TEST_PG");
    if (!v || !*v)
        return std::nullopt;
    return std::string(v);
}

ScratchPostgres::ScratchPostgres() {
    const std::optional<std::string> server = TestPostgresServer();
    if (!server)
        return;
    static std::atomic<int> counter{0};
    server_ = *server;
    name_ = "orvanta_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
            std::to_string(std::random_device{}() % 100000);
    Run(server_, "CREATE DATABASE " + name_ + " ENCODING 'UTF8' TEMPLATE template0");
    address_ = WithDatabase(server_, name_);
}

ScratchPostgres::~ScratchPostgres() {
    if (name_.empty())
        return;
    try {
        Run(server_, "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    } catch (const std::exception&) {
        // The server is gone with its temporary folder anyway.
    }
}

std::string ScratchPostgres::Query(const std::string& sql) const {
    return Run(address_, sql);
}

} // namespace orv::test
