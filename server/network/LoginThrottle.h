#pragma once

#include <chrono>
#include <string>
#include <unordered_map>

namespace server {

// Slows down password guessing without letting one contestant lock out another.
// Failures are counted per user name and address together: after a few, that pair is
// refused for a while, doubling with every further failure, and an attempt counts from
// the moment it starts, so parallel guesses cannot all slip in before the first failure
// is known. A name failing from many addresses, or an address failing for many names,
// only makes its attempts wait longer: a correct password from elsewhere still gets in.
// Network thread only.
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

    static constexpr int kPairLimit = 5;
    static constexpr int kNameSlowdown = 5;
    static constexpr int kAddressSlowdown = 30;
    static constexpr std::chrono::seconds kLockout{30};
    static constexpr std::chrono::minutes kForget{15};
    static constexpr std::chrono::milliseconds kFirstDelay{250};
    static constexpr std::chrono::milliseconds kMaxDelay{2000};

private:
    struct Entry {
        int failures = 0;
        int pending = 0;
        Clock::time_point lastFailure;
        Clock::time_point blockedUntil;
    };
    using Map = std::unordered_map<std::string, Entry>;

    static Entry& Find(Map& map, const std::string& key, Clock::time_point now);
    static void Forget(Map& map, const std::string& key, Clock::time_point now);
    static Clock::duration Delay(const Map& map, const std::string& key, int threshold, Clock::time_point now);
    static std::string PairKey(const std::string& name, const std::string& address);

    Map pairs_;
    Map names_;
    Map addresses_;
};

} // namespace server
