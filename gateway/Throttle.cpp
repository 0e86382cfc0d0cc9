#include "gateway/Throttle.h"

namespace gw {

bool FailureThrottle::Allowed(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(key);
    return it == entries_.end() || now >= it->second.lockedUntil;
}

void FailureThrottle::Failed(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    if (entries_.size() >= maxKeys_ && !entries_.count(key))
        MakeRoom(now);
    Entry& e = entries_[key];
    if (now - e.windowStart >= policy_.windowSeconds) {
        e.failures = 0;
        e.windowStart = now;
    }
    if (++e.failures >= policy_.maxFailures) {
        e.lockedUntil = now + policy_.lockSeconds;
        e.failures = 0;
        e.windowStart = now;
    }
}

void FailureThrottle::Succeeded(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

// Forgets keys whose window and lock are over; when all are live, the one with the oldest window that
// is not locked, so that a flood of new keys cannot lift a lock-out.
void FailureThrottle::MakeRoom(std::int64_t now) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        const bool stale =
            now >= it->second.lockedUntil && now - it->second.windowStart >= policy_.windowSeconds;
        it = stale ? entries_.erase(it) : std::next(it);
    }
    if (entries_.size() < maxKeys_)
        return;
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (now >= it->second.lockedUntil &&
            (oldest == entries_.end() || it->second.windowStart < oldest->second.windowStart))
            oldest = it;
    if (oldest != entries_.end())
        entries_.erase(oldest);
}

} // namespace gw
