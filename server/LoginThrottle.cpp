#include "server/LoginThrottle.h"

#include <algorithm>

namespace server {

bool LoginThrottle::Blocked(std::unordered_map<std::string, Entry>& map, const std::string& key,
                            Clock::time_point now) {
    const auto it = map.find(key);
    if (it == map.end())
        return false;
    if (now - it->second.lastFailure > kForget && now >= it->second.blockedUntil) {
        map.erase(it);
        return false;
    }
    return now < it->second.blockedUntil;
}

void LoginThrottle::Count(std::unordered_map<std::string, Entry>& map, const std::string& key, int limit,
                          Clock::time_point now) {
    if (map.size() > 100000)
        std::erase_if(map, [&](const auto& item) {
            return now - item.second.lastFailure > kForget && now >= item.second.blockedUntil;
        });
    Entry& e = map[key];
    if (now - e.lastFailure > kForget && now >= e.blockedUntil)
        e.failures = 0;
    ++e.failures;
    e.lastFailure = now;
    if (e.failures >= limit) {
        const int doublings = std::min(e.failures - limit, 5);
        e.blockedUntil = now + kLockout * (1 << doublings);
    }
}

bool LoginThrottle::Allowed(const std::string& name, const std::string& address, Clock::time_point now) {
    const bool nameBlocked = Blocked(names_, name, now);
    const bool addressBlocked = Blocked(addresses_, address, now);
    return !nameBlocked && !addressBlocked;
}

void LoginThrottle::Failed(const std::string& name, const std::string& address, Clock::time_point now) {
    Count(names_, name, kNameLimit, now);
    Count(addresses_, address, kAddressLimit, now);
}

void LoginThrottle::Succeeded(const std::string& name) {
    names_.erase(name);
}

} // namespace server
