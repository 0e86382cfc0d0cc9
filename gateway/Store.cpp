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
    constexpr int kTop = kLevels - 1;
    Standing s;
    s.count = counts.CountBins(category, kTop, kFirstBin, kEndBin);
    // Higher values: in higher bins of the top level, then in the higher bins within each parent.
    std::int64_t above = 0;
    for (int level = kTop; level >= 0; --level) {
        const std::int64_t end = level == kTop ? kEndBin : (BinOf(score, level + 1) + 1) * kBinsPerParent;
        above += counts.CountBins(category, level, BinOf(score, level) + 1, end);
    }
    s.place = above + 1;
    if (s.count == 0)
        return s;
    s.top = static_cast<std::int32_t>(counts.Highest(category).value_or(score));

    // The k-th smallest value, and how many values are at most that one.
    struct Found {
        std::int64_t value = 0, through = 0;
    };
    const auto kth = [&](std::int64_t k) {
        std::int64_t first = kFirstBin, end = kEndBin, below = 0;
        for (int level = kTop;; --level) {
            const ScoreCounts::Position p = counts.BinHolding(category, level, first, end, k - below);
            below += p.below;
            if (level == 0)
                return Found{p.bin, below + p.count};
            first = p.bin * kBinsPerParent;
            end = first + kBinsPerParent;
        }
    };
    const std::int64_t n = s.count;
    if (n % 2 == 1) {
        s.median = static_cast<std::int32_t>(kth(n / 2).value);
    } else {
        const Found low = kth(n / 2 - 1);
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
