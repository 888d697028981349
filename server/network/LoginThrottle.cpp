#include "server/network/LoginThrottle.h"

#include <algorithm>

namespace server {
namespace {

bool Stale(const auto& entry, LoginThrottle::Clock::time_point now) {
    return entry.pending == 0 && now - entry.lastFailure > LoginThrottle::kForget && now >= entry.blockedUntil;
}

} // namespace

LoginThrottle::Entry& LoginThrottle::Find(Map& map, const std::string& key, Clock::time_point now) {
    if (map.size() > 100000)
        std::erase_if(map, [&](const auto& item) { return Stale(item.second, now); });
    Entry& e = map[key];
    if (Stale(e, now))
        e = Entry{};
    return e;
}

void LoginThrottle::Forget(Map& map, const std::string& key, Clock::time_point now) {
    const auto it = map.find(key);
    if (it != map.end() && Stale(it->second, now))
        map.erase(it);
}

LoginThrottle::Clock::duration LoginThrottle::Delay(const Map& map, const std::string& key, int threshold,
                                                    Clock::time_point now) {
    const auto it = map.find(key);
    if (it == map.end() || it->second.failures < threshold || now - it->second.lastFailure > kForget)
        return {};
    const int doublings = std::min(it->second.failures - threshold, 8);
    return std::min<Clock::duration>(kFirstDelay * (1 << doublings), kMaxDelay);
}

std::string LoginThrottle::PairKey(const std::string& name, const std::string& address) {
    return name + '\n' + address; // an address never holds a line break, so no two pairs share a key
}

LoginThrottle::Decision LoginThrottle::Begin(const std::string& name, const std::string& address,
                                             Clock::time_point now) {
    Entry& pair = Find(pairs_, PairKey(name, address), now);
    // Up to the limit, attempts in the air count as failures; past it, once the lock has
    // run out, one attempt at a time.
    const int budget = pair.failures >= kPairLimit ? pair.failures + 1 : kPairLimit;
    if (now < pair.blockedUntil || pair.failures + pair.pending >= budget) {
        Forget(pairs_, PairKey(name, address), now);
        return {};
    }
    // A name guessed from everywhere: one attempt per interval across all addresses, except
    // where it has logged in before.
    const auto named = names_.find(name);
    if (named != names_.end() && named->second.failures >= kNameCeiling &&
        named->second.failedFrom.size() >= kNameCeilingAddresses && now - named->second.lastFailure <= kForget &&
        !trusted_.contains(PairKey(name, address))) {
        if (now < named->second.blockedUntil) {
            Forget(pairs_, PairKey(name, address), now);
            return {};
        }
        named->second.blockedUntil = now + kNameInterval;
    }
    ++pair.pending;
    return {true, std::max(Delay(names_, name, kNameSlowdown, now), Delay(addresses_, address, kAddressSlowdown, now))};
}

void LoginThrottle::Abandon(const std::string& name, const std::string& address) {
    const auto it = pairs_.find(PairKey(name, address));
    if (it != pairs_.end())
        it->second.pending = std::max(it->second.pending - 1, 0);
}

bool LoginThrottle::HasFailed(const std::string& address, Clock::time_point now) const {
    const auto it = addresses_.find(address);
    return it != addresses_.end() && it->second.failures > 0 && now - it->second.lastFailure <= kForget;
}

void LoginThrottle::End(const std::string& name, const std::string& address, bool succeeded, Clock::time_point now) {
    const std::string key = PairKey(name, address);
    Entry& pair = Find(pairs_, key, now);
    pair.pending = std::max(pair.pending - 1, 0);
    if (succeeded) {
        pair.failures = 0;
        pair.blockedUntil = {};
        Forget(pairs_, key, now);
        names_.erase(name);
        if (trusted_.size() > 100000)
            trusted_.clear();
        trusted_.insert(key);
        return;
    }
    ++pair.failures;
    pair.lastFailure = now;
    if (pair.failures >= kPairLimit)
        pair.blockedUntil = now + kPairInterval;
    for (auto [map, key2] : {std::pair{&names_, &name}, std::pair{&addresses_, &address}}) {
        Entry& e = Find(*map, *key2, now);
        ++e.failures;
        e.lastFailure = now;
    }
    if (Entry& named = names_[name]; named.failedFrom.size() < kNameCeilingAddresses)
        named.failedFrom.insert(address);
}

} // namespace server
