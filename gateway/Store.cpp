#include "gateway/Store.h"

#include "gateway/PostgresStore.h"
#include "gateway/ScoreCounts.h"
#include "gateway/SqliteStore.h"

namespace gw {

std::int32_t Run::Overall() const {
    return static_cast<std::int32_t>((std::int64_t{cpu} + ram + hdd + gpu2d + gpu3d) / 5);
}

std::int32_t CategoryOf(const Run& r, int category) {
    switch (category) {
    case 0:
        return r.cpu;
    case 1:
        return r.ram;
    case 2:
        return r.hdd;
    case 3:
        return r.gpu2d;
    case 4:
        return r.gpu3d;
    default:
        return r.Overall();
    }
}

Standing StandingOf(ScoreCounts& counts, int category, std::int32_t score) {
    const std::int64_t bucket = BucketOf(score);
    const ScoreCounts::Summary totals = counts.CountTotals(category, bucket);
    Standing s;
    s.count = totals.all;
    s.place = totals.aboveBucket + counts.CountBetween(category, score, (bucket + 1) * kBucketWidth) + 1;
    if (totals.all == 0)
        return s;
    s.top = static_cast<std::int32_t>(counts.Highest(category).value_or(score));

    // The k-th smallest value, and how many values are at most that one.
    const auto kth = [&](std::int64_t k) {
        const ScoreCounts::BucketPosition b = counts.BucketHolding(category, k);
        const std::int64_t first = b.bucket * kBucketWidth;
        ScoreCounts::ValuePosition v =
            counts.ValueHolding(category, first, first + kBucketWidth, k - b.below);
        v.through += b.below;
        return v;
    };
    const std::int64_t n = totals.all;
    if (n % 2 == 1) {
        s.median = static_cast<std::int32_t>(kth(n / 2).value);
    } else {
        const ScoreCounts::ValuePosition low = kth(n / 2 - 1);
        const std::int64_t high = low.through > n / 2 ? low.value : counts.NextValue(category, low.value);
        s.median = static_cast<std::int32_t>((low.value + high) / 2);
    }
    return s;
}

bool IsPostgresAddress(const std::string& database) {
    return database.rfind("postgresql://", 0) == 0 || database.rfind("postgres://", 0) == 0;
}

std::unique_ptr<Store> OpenStore(const std::string& database) {
    if (IsPostgresAddress(database))
        return std::make_unique<PostgresStore>(database);
    return std::make_unique<SqliteStore>(database);
}

} // namespace gw
