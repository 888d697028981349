#include "server/network/LoginThrottle.h"

#include <algorithm>

namespace server {
namespace {

bool Stale(const auto& entry, LoginThrottle::Clock::time_point now) {
    return entry.pending == 0 && now - entry.lastFailure > LoginThrottle::kForget && now >= entry.blockedUntil &&
           entry.line.Empty();
}

// Whether a name has failed often enough, from enough addresses, to be held to one check per
// interval; attempts being checked count as failures, so a crowd's guesses sent at once cannot
// all slip in before the first is judged.
bool NameHeld(const auto& named, LoginThrottle::Clock::time_point now) {
    return named.failures + named.pending >= LoginThrottle::kNameCeiling &&
           named.triedFrom.size() >= LoginThrottle::kNameCeilingAddresses &&
           (named.pending > 0 || now - named.lastFailure <= LoginThrottle::kForget);
}

} // namespace

void LoginThrottle::Purge(Clock::time_point now) {
    for (Map* map : {&pairs_, &names_, &addresses_})
        if (map->size() > 100000)
            std::erase_if(*map, [&](const auto& item) { return Stale(item.second, now); });
}

LoginThrottle::Entry& LoginThrottle::Find(Map& map, const std::string& key, Clock::time_point now) {
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

std::optional<LoginThrottle::Clock::time_point> LoginThrottle::PairOpensAt(const Entry& pair) {
    // Up to the limit, attempts in the air count as failures; past it, once the pause has
    // run out, one attempt at a time.
    const int budget = pair.failures >= kPairLimit ? pair.failures + 1 : kPairLimit;
    if (pair.failures + pair.pending >= budget)
        return std::nullopt;
    return pair.blockedUntil;
}

bool LoginThrottle::PairOpen(const Entry& pair, Clock::time_point now) {
    const auto opens = PairOpensAt(pair);
    return opens && now >= *opens;
}

bool LoginThrottle::Ceiling(const std::string& name, const std::string& address, Clock::time_point now) const {
    const auto named = names_.find(name);
    return named != names_.end() && NameHeld(named->second, now) && !trusted_.contains(PairKey(name, address));
}

std::vector<LoginThrottle::Outcome> LoginThrottle::Begin(Ticket ticket, Attempt attempt, Clock::time_point now) {
    Purge(now);
    std::vector<Outcome> out;
    const std::string key = PairKey(attempt.name, attempt.address);
    Entry& pair = Find(pairs_, key, now);
    if (!pair.line.Empty() || !PairOpen(pair, now)) {
        const std::string machine = attempt.machine;
        waiting_.emplace(ticket, std::move(attempt));
        waitingPairs_.insert(key);
        if (const auto refused = pair.line.Join(ticket, machine))
            Refuse(*refused, false, out);
        return out;
    }
    ++pair.pending;
    pair.line.Checked(attempt.machine, now);
    PassName(ticket, std::move(attempt), now, out);
    return out;
}

void LoginThrottle::PassName(Ticket ticket, Attempt attempt, Clock::time_point now, std::vector<Outcome>& out) {
    // A name guessed from everywhere: one attempt per interval across all addresses, except
    // where it has logged in before.
    if (Ceiling(attempt.name, attempt.address, now)) {
        Entry& named = names_.at(attempt.name);
        if (now < named.blockedUntil || !named.line.Empty()) {
            const std::string address = attempt.address;
            waitingNames_.insert(attempt.name);
            waiting_.emplace(ticket, std::move(attempt));
            if (const auto refused = named.line.Join(ticket, address))
                Refuse(*refused, true, out);
            return;
        }
        named.blockedUntil = now + kNameInterval;
        named.line.Checked(attempt.address, now);
    }
    out.push_back({ticket, true, Checking(attempt, now)});
}

LoginThrottle::Clock::duration LoginThrottle::Checking(const Attempt& attempt, Clock::time_point now) {
    Entry& named = Find(names_, attempt.name, now);
    ++named.pending;
    if (named.triedFrom.size() < kNameCeilingAddresses)
        named.triedFrom.insert(attempt.address);
    return std::max(Delay(names_, attempt.name, kNameSlowdown, now),
                    Delay(addresses_, attempt.address, kAddressSlowdown, now));
}

void LoginThrottle::Refuse(Ticket ticket, bool passedPair, std::vector<Outcome>& out) {
    if (const auto it = waiting_.find(ticket); it != waiting_.end()) {
        if (passedPair) // but not yet counted against its name
            Release(pairs_, PairKey(it->second.name, it->second.address));
        waiting_.erase(it);
    }
    out.push_back({ticket, false, {}});
}

std::vector<LoginThrottle::Outcome> LoginThrottle::Turns(Clock::time_point now) {
    Purge(now);
    std::vector<Outcome> out;
    for (auto it = waitingPairs_.begin(); it != waitingPairs_.end();) {
        const auto found = pairs_.find(*it);
        if (found == pairs_.end()) { // its waiters left and it was forgotten
            it = waitingPairs_.erase(it);
            continue;
        }
        Entry& pair = found->second;
        while (!pair.line.Empty() && PairOpen(pair, now)) {
            auto attempt = waiting_.extract(*pair.line.Take(now));
            ++pair.pending;
            PassName(attempt.key(), std::move(attempt.mapped()), now, out);
        }
        it = pair.line.Empty() ? waitingPairs_.erase(it) : std::next(it);
    }
    for (auto it = waitingNames_.begin(); it != waitingNames_.end();) {
        const auto found = names_.find(*it);
        if (found == names_.end()) {
            it = waitingNames_.erase(it);
            continue;
        }
        Entry& named = found->second;
        // A name whose failures are forgotten lets everyone waiting go.
        const bool held = NameHeld(named, now);
        while (!named.line.Empty() && (!held || now >= named.blockedUntil)) {
            const auto attempt = waiting_.extract(*named.line.Take(now));
            if (held)
                named.blockedUntil = now + kNameInterval;
            out.push_back({attempt.key(), true, Checking(attempt.mapped(), now)});
        }
        it = named.line.Empty() ? waitingNames_.erase(it) : std::next(it);
    }
    return out;
}

std::optional<LoginThrottle::Clock::time_point> LoginThrottle::NextTurn() const {
    std::optional<Clock::time_point> next;
    const auto consider = [&](Clock::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    for (const auto& key : waitingPairs_)
        if (const auto pair = pairs_.find(key); pair != pairs_.end() && !pair->second.line.Empty())
            if (const auto opens = PairOpensAt(pair->second))
                consider(*opens);
    for (const auto& name : waitingNames_)
        if (const auto named = names_.find(name); named != names_.end() && !named->second.line.Empty())
            consider(named->second.blockedUntil);
    return next;
}

void LoginThrottle::Release(Map& map, const std::string& key) {
    if (const auto it = map.find(key); it != map.end())
        it->second.pending = std::max(it->second.pending - 1, 0);
}

void LoginThrottle::Abandon(const std::string& name, const std::string& address) {
    Release(pairs_, PairKey(name, address));
    Release(names_, name);
}

void LoginThrottle::Withdraw(Ticket ticket) {
    const auto it = waiting_.find(ticket);
    if (it == waiting_.end())
        return;
    const Attempt& attempt = it->second;
    const auto pair = pairs_.find(PairKey(attempt.name, attempt.address));
    if (pair == pairs_.end() || !pair->second.line.Leave(ticket)) {
        // Not in its pair's line, so in its name's, past the pair.
        if (const auto named = names_.find(attempt.name); named != names_.end())
            named->second.line.Leave(ticket);
        Release(pairs_, PairKey(attempt.name, attempt.address));
    }
    waiting_.erase(it);
}

bool LoginThrottle::HasFailed(const std::string& address, Clock::time_point now) const {
    const auto it = addresses_.find(address);
    return it != addresses_.end() && it->second.failures > 0 && now - it->second.lastFailure <= kForget;
}

void LoginThrottle::End(const std::string& name, const std::string& address, bool succeeded, Clock::time_point now) {
    Purge(now);
    Abandon(name, address); // no longer being checked
    if (succeeded) {
        LoggedIn(name, address, now);
        return;
    }
    const std::string key = PairKey(name, address);
    Entry& pair = Find(pairs_, key, now);
    ++pair.failures;
    pair.lastFailure = now;
    if (pair.failures >= kPairLimit)
        pair.blockedUntil = now + kPairInterval;
    for (auto [map, key2] : {std::pair{&names_, &name}, std::pair{&addresses_, &address}}) {
        Entry& e = Find(*map, *key2, now);
        ++e.failures;
        e.lastFailure = now;
    }
    if (Entry& named = names_[name]; named.triedFrom.size() < kNameCeilingAddresses)
        named.triedFrom.insert(address);
}

void LoginThrottle::LoggedIn(const std::string& name, const std::string& address, Clock::time_point now) {
    Purge(now);
    const std::string key = PairKey(name, address);
    Entry& pair = Find(pairs_, key, now);
    pair.failures = 0;
    pair.blockedUntil = {};
    Forget(pairs_, key, now);
    // The name's failures stay: its owner logging in must not open it to the crowd again.
    if (trusted_.size() > 100000)
        trusted_.clear();
    trusted_.insert(key);
}

} // namespace server
