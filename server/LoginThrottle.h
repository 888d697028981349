#pragma once

#include <chrono>
#include <string>
#include <unordered_map>

namespace server {

// Slows down password guessing: after a few failed logins for one user name, or many
// from one address, further attempts are refused for a while, doubling with every
// further failure. Network thread only.
class LoginThrottle final {
public:
    using Clock = std::chrono::steady_clock;

    bool Allowed(const std::string& name, const std::string& address, Clock::time_point now);
    void Failed(const std::string& name, const std::string& address, Clock::time_point now);
    void Succeeded(const std::string& name);

    static constexpr int kNameLimit = 5;
    static constexpr int kAddressLimit = 30;
    static constexpr std::chrono::seconds kLockout{30};
    static constexpr std::chrono::minutes kForget{15};

private:
    struct Entry {
        int failures = 0;
        Clock::time_point lastFailure;
        Clock::time_point blockedUntil;
    };
    static bool Blocked(std::unordered_map<std::string, Entry>& map, const std::string& key, Clock::time_point now);
    static void Count(std::unordered_map<std::string, Entry>& map, const std::string& key, int limit,
                      Clock::time_point now);

    std::unordered_map<std::string, Entry> names_;
    std::unordered_map<std::string, Entry> addresses_;
};

} // namespace server
