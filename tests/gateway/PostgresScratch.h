#pragma once
#include <optional>
#include <string>

namespace orv::test {

// The PostgreSQL server for tests and benchmarks, as scripts/postgres exports it in ORVANTA_TEST_PG;
// nullopt when there is none.
std::optional<std::string> TestPostgresServer();

// A database of its own on that server, empty at first and dropped at the end, so that test programs
// running side by side never meet. Address() is a postgresql:// URI for --db.
class ScratchPostgres {
public:
    ScratchPostgres(); // throws when the server is there but refuses
    ~ScratchPostgres();
    ScratchPostgres(const ScratchPostgres&) = delete;
    ScratchPostgres& operator=(const ScratchPostgres&) = delete;
    bool Available() const { return !address_.empty(); }
    const std::string& Address() const { return address_; }
    // Runs SQL without parameters in this database as the server's superuser; the first value or "".
    std::string Query(const std::string& sql) const;

private:
    std::string server_, name_, address_;
};

} // namespace orv::test
