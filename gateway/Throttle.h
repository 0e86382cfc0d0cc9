#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace gw {

// Failed attempts per key (an account, a client address) within a window; a key that reaches the limit
// is locked out for a while. Times are seconds on any clock that does not go back; the caller passes
// them in. The arithmetic is shared: the stores keep the same records in their databases, so that every
// gateway process on one database sees the same lock-outs; FailureThrottle keeps them in memory.
struct FailureRecord {
    int failures = 0;
    std::int64_t windowStart = 0;
    std::int64_t lockedUntil = 0;
};

struct FailurePolicy {
    int maxFailures = 5;
    std::int64_t windowSeconds = 900;
    std::int64_t lockSeconds = 300;
};

inline bool FailureAllowed(const FailureRecord& r, std::int64_t now) {
    return now >= r.lockedUntil;
}
// The record after one more failure at `now`; a fresh key starts from FailureRecord{}.
FailureRecord AfterFailure(const FailurePolicy& policy, FailureRecord r, std::int64_t now);
// A stale record behaves exactly as a missing one, so it may be forgotten.
inline bool FailureStale(const FailurePolicy& policy, const FailureRecord& r, std::int64_t now) {
    return now >= r.lockedUntil && now - r.windowStart >= policy.windowSeconds;
}

// The records of one kind of key in memory, at most maxKeys of them.
class FailureThrottle {
public:
    using Policy = FailurePolicy;
    explicit FailureThrottle(Policy policy, std::size_t maxKeys = 10000)
        : policy_(policy), maxKeys_(maxKeys) {}

    bool Allowed(const std::string& key, std::int64_t now);
    void Failed(const std::string& key, std::int64_t now);
    void Succeeded(const std::string& key);

private:
    void MakeRoom(std::int64_t now);

    const Policy policy_;
    const std::size_t maxKeys_;
    std::mutex mutex_;
    std::unordered_map<std::string, FailureRecord> entries_;
};

} // namespace gw
