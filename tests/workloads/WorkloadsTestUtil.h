#pragma once
#include <cstdint>
#include <vector>

namespace orv::test {

// The generator's seed after n steps from seed, computed independently of the program's generator.
inline std::uint32_t SeedAfter(std::uint32_t seed, std::uint64_t steps) {
    for (std::uint64_t i = 0; i < steps; ++i)
        seed = seed * 134775813u + 1u;
    return seed;
}

// The first `count` primes at or above `from`, by a sieve (independent of trial division).
inline std::vector<int> PrimesFrom(int from, int count) {
    std::vector<int> primes;
    int limit = from + 64;
    while (static_cast<int>(primes.size()) < count) {
        limit *= 2;
        std::vector<bool> composite(static_cast<std::size_t>(limit) + 1, false);
        primes.clear();
        for (int i = 2; i <= limit; ++i) {
            if (composite[static_cast<std::size_t>(i)])
                continue;
            if (i >= from && static_cast<int>(primes.size()) < count)
                primes.push_back(i);
            for (long long j = static_cast<long long>(i) * i; j <= limit; j += i)
                composite[static_cast<std::size_t>(j)] = true;
        }
    }
    return primes;
}

} // namespace orv::test
