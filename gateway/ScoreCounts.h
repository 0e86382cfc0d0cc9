#pragma once
#include "gateway/Store.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace gw {

// The counts behind Standing, kept beside the runs in both databases and written in the same
// transaction as each run. Per category and level, how many stored values fall in each bin: level 0
// bins are single values, each level above groups 256 bins of the level below. A median or a place then
// reads at most about 256 bins on each level, however many runs are stored.
inline constexpr int kLevels = 3;
inline constexpr int kLevelShift = 8;
inline constexpr std::int64_t kBinsPerParent = std::int64_t{1} << kLevelShift;
inline std::int64_t BinOf(std::int64_t value, int level) {
    return value >> (kLevelShift * level); // rounds down for negative values too, as the databases' ">>"
}
inline constexpr std::int64_t kFirstBin = std::numeric_limits<std::int64_t>::min();
inline constexpr std::int64_t kEndBin = std::numeric_limits<std::int64_t>::max();

// The queries each store answers from its counts, inside one read transaction.
class ScoreCounts {
public:
    virtual ~ScoreCounts() = default;
    // Values in the bins [first, end) of a level.
    virtual std::int64_t CountBins(int category, int level, std::int64_t first, std::int64_t end) = 0;
    // Among the bins [first, end) of a level: the one holding the k-th smallest of their values (from 0;
    // k below their total), how many values lie in the lower bins of the range, and how many in it.
    struct Position {
        std::int64_t bin = 0;
        std::int64_t below = 0;
        std::int64_t count = 0;
    };
    virtual Position BinHolding(int category, int level, std::int64_t first, std::int64_t end,
                                std::int64_t k) = 0;
    virtual std::optional<std::int64_t> Highest(int category) = 0;
    // The smallest stored value above `value` (one must exist).
    virtual std::int64_t NextValue(int category, std::int64_t value) = 0;
};

Standing StandingOf(ScoreCounts& counts, int category, std::int32_t score);

} // namespace gw
