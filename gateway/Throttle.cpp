#include "gateway/Throttle.h"

namespace gw {

FailureRecord AfterFailure(const FailurePolicy& policy, FailureRecord r, std::int64_t now) {
    if (now - r.windowStart >= policy.windowSeconds) {
        r.failures = 0;
        r.windowStart = now;
    }
    if (++r.failures >= policy.maxFailures) {
        r.lockedUntil = now + policy.lockSeconds;
        r.failures = 0;
        r.windowStart = now;
    }
    return r;
}

bool FailureThrottle::Allowed(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    return it == entries_.end() || FailureAllowed(it->second, now);
}

void FailureThrottle::Failed(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= maxKeys_ && !entries_.count(key))
        MakeRoom(now);
    FailureRecord& e = entries_[key];
    e = AfterFailure(policy_, e, now);
}

void FailureThrottle::Succeeded(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

// Forgets stale keys; when all are live, the one with the oldest window that is not locked, so that a
// flood of new keys cannot lift a lock-out.
void FailureThrottle::MakeRoom(std::int64_t now) {
    for (auto it = entries_.begin(); it != entries_.end();)
        it = FailureStale(policy_, it->second, now) ? entries_.erase(it) : std::next(it);
    if (entries_.size() < maxKeys_)
        return;
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (FailureAllowed(it->second, now) &&
            (oldest == entries_.end() || it->second.windowStart < oldest->second.windowStart))
            oldest = it;
    if (oldest != entries_.end())
        entries_.erase(oldest);
}

} // namespace gw
