#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

namespace server {

// Remembers which password last passed the argon2 check for each user, as a keyed hash
// under a key that lives only in this process. A client reconnecting after a network
// blip then logs in without paying the memory-hard hash again; the stored hash still
// guards the database at rest. Entries are tied to the password hash they were checked
// against, so a changed password invalidates them. Network thread only.
class VerifiedLogins final {
public:
    VerifiedLogins();

    bool Matches(const std::string& name, const std::string& passwordHash, std::string_view password) const;
    void Remember(const std::string& name, const std::string& passwordHash, std::string_view password);

private:
    using Digest = std::array<unsigned char, 32>;
    Digest DigestOf(std::string_view password) const;

    std::array<unsigned char, 32> key_{};
    struct Entry {
        std::string passwordHash;
        Digest digest;
    };
    std::unordered_map<std::string, Entry> entries_;
};

} // namespace server
