#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace gw {

// Failed attempts per key (an account, a client address) within a window; a key that reaches the limit
// is locked out for a while. It knows nothing of storage, so that any store can use it. Times are
// seconds on any clock that does not go back; the caller passes them in.
class FailureThrottle {
public:
    struct Policy {
        int maxFailures = 5;
        std::int64_t windowSeconds = 900;
        std::int64_t lockSeconds = 300;
    };
    explicit FailureThrottle(Policy policy, std::size_t maxKeys = 10000)
        : policy_(policy), maxKeys_(maxKeys) {}

    bool Allowed(const std::string& key, std::int64_t now);
    void Failed(const std::string& key, std::int64_t now);
    void Succeeded(const std::string& key);

private:
    struct Entry {
        int failures = 0;
        std::int64_t windowStart = 0;
        std::int64_t lockedUntil = 0;
    };
    void MakeRoom(std::int64_t now);

    const Policy policy_;
    const std::size_t maxKeys_;
    std::mutex mutex_;
    std::unordered_map<std::string, Entry> entries_;
};

} // namespace gw
