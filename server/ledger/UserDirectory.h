#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace server {

struct UserAuth {
    std::int64_t id = 0;
    std::string passwordHash;
    // Goes up whenever the password changes, not when the same password is hashed anew at a
    // new cost: a login checked against an older version is not let in.
    std::uint64_t version = 0;
};

// Names and password hashes for the login path, which runs on the network thread while
// the engine thread owns the accounts. Called from any thread.
class UserDirectory final {
public:
    std::optional<UserAuth> Find(const std::string& name) const;
    // `samePassword`: the hash was made anew from the password it replaces.
    void Set(const std::string& name, UserAuth auth, bool samePassword = false);
    // Swaps in a whole new set at once, so a login never sees a half-loaded directory.
    void Replace(std::unordered_map<std::string, UserAuth> users);

private:
    mutable std::mutex mutex_;
    std::unordered_map<std::string, UserAuth> users_;
};

} // namespace server
