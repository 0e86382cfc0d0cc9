#pragma once
#include "gateway/Store.h"

#include <cstdint>
#include <optional>

namespace gw {

// The counts behind Standing, kept beside the runs in both databases and written in the same
// transaction as each run: per category, how many runs have each value, and how many fall in each
// bucket of kBucketWidth consecutive values. A median or a place then reads at most one category's
// buckets and one bucket's values, however many runs are stored.
inline constexpr int kBucketShift = 12;
inline constexpr std::int64_t kBucketWidth = std::int64_t{1} << kBucketShift;
inline std::int64_t BucketOf(std::int64_t value) {
    return value >> kBucketShift; // rounds down for negative values too, as the databases' ">>" does
}

// The queries each store answers from its counts, inside one read transaction.
class ScoreCounts {
public:
    virtual ~ScoreCounts() = default;
    struct Summary {
        std::int64_t all = 0;
        std::int64_t aboveBucket = 0; // values in buckets above the one asked about
    };
    virtual Summary CountTotals(int category, std::int64_t bucket) = 0;
    // Values v with value < v < end.
    virtual std::int64_t CountBetween(int category, std::int64_t value, std::int64_t end) = 0;
    virtual std::optional<std::int64_t> Highest(int category) = 0;
    // The bucket holding the k-th smallest value (from 0; k below the total), and how many values lie in
    // the buckets below it.
    struct BucketPosition {
        std::int64_t bucket = 0;
        std::int64_t below = 0;
    };
    virtual BucketPosition BucketHolding(int category, std::int64_t k) = 0;
    // Among the values in [first, end): the k-th smallest, and how many are at most that value.
    struct ValuePosition {
        std::int64_t value = 0;
        std::int64_t through = 0;
    };
    virtual ValuePosition ValueHolding(int category, std::int64_t first, std::int64_t end,
                                       std::int64_t k) = 0;
    // The smallest stored value above `value` (one must exist).
    virtual std::int64_t NextValue(int category, std::int64_t value) = 0;
};

Standing StandingOf(ScoreCounts& counts, int category, std::int32_t score);

} // namespace gw
