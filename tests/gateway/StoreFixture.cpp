#include "tests/gateway/StoreFixture.h"

#include "gateway/SqliteStore.h"
#include "tests/support/TestEnv.h"

namespace orv::test {

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

FreshDatabase::FreshDatabase(Backend backend) : backend_(backend) {
    if (backend == Backend::Sqlite) {
        address_ = (MakeTempDir(QStringLiteral("store")) + QStringLiteral("/g.db")).toStdString();
    } else {
        postgres_.emplace();
        address_ = postgres_->Address();
    }
}

std::unique_ptr<gw::Store> FreshDatabase::Open() const {
    if (!Available())
        return std::make_unique<gw::SqliteStore>(":memory:");
    return gw::OpenStore(address_);
}

} // namespace orv::test
