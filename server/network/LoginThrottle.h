#pragma once

#include <chrono>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace server {

// Slows down password guessing without letting one contestant lock out another.
// Failures are counted per user name and address together: after a few, that pair has one
// attempt checked every few seconds (others in between are refused), never a lock, so a
// contestant behind a rival's address (a school's lab) gets in within seconds; an attempt
// counts from the moment it starts, so parallel guesses cannot all slip in before the first
// failure is known. A name failing many times from several addresses has one attempt checked
// every half minute, except from an address it has logged in from before; an address failing for
// many names only makes its attempts wait longer. Network thread only.
class LoginThrottle final {
public:
    using Clock = std::chrono::steady_clock;

    struct Decision {
        bool allowed = false;
        Clock::duration delay{}; // how long to wait before checking the password
    };

    // An attempt that is allowed must be ended with End().
    Decision Begin(const std::string& name, const std::string& address, Clock::time_point now);
    void End(const std::string& name, const std::string& address, bool succeeded, Clock::time_point now);
    // An attempt that was never checked (the server was too busy) counts neither way.
    void Abandon(const std::string& name, const std::string& address);
    // True while an address has failures that are not yet forgotten.
    bool HasFailed(const std::string& address, Clock::time_point now) const;

    static constexpr int kPairLimit = 5;
    static constexpr int kNameSlowdown = 5;
    static constexpr int kNameCeiling = 10;
    // A rival behind one address is held by the pair's pace; the ceiling is for a name
    // guessed from several.
    static constexpr std::size_t kNameCeilingAddresses = 4;
    static constexpr int kAddressSlowdown = 30;
    static constexpr std::chrono::seconds kPairInterval{3};
    static constexpr std::chrono::seconds kNameInterval{30};
    static constexpr std::chrono::minutes kForget{15};
    static constexpr std::chrono::milliseconds kFirstDelay{250};
    static constexpr std::chrono::milliseconds kMaxDelay{2000};

private:
    struct Entry {
        int failures = 0;
        int pending = 0;
        Clock::time_point lastFailure;
        Clock::time_point blockedUntil;             // no attempt is checked before then
        std::unordered_set<std::string> failedFrom; // names only: a few of the addresses
    };
    using Map = std::unordered_map<std::string, Entry>;

    static Entry& Find(Map& map, const std::string& key, Clock::time_point now);
    static void Forget(Map& map, const std::string& key, Clock::time_point now);
    static Clock::duration Delay(const Map& map, const std::string& key, int threshold, Clock::time_point now);
    static std::string PairKey(const std::string& name, const std::string& address);

    Map pairs_;
    Map names_;
    std::unordered_set<std::string> trusted_; // pairs that have logged in
    Map addresses_;
};

} // namespace server
