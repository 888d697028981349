#include "server/network/VerifiedLogins.h"

#include <sodium.h>

namespace server {

VerifiedLogins::VerifiedLogins() {
    randombytes_buf(key_.data(), key_.size());
}

VerifiedLogins::Digest VerifiedLogins::DigestOf(std::string_view password) const {
    Digest digest{};
    crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(password.data()),
                       password.size(), key_.data(), key_.size());
    return digest;
}

bool VerifiedLogins::Matches(const std::string& name, const std::string& passwordHash,
                             std::string_view password) const {
    const auto it = entries_.find(name);
    if (it == entries_.end() || it->second.passwordHash != passwordHash)
        return false;
    const Digest digest = DigestOf(password);
    return sodium_memcmp(digest.data(), it->second.digest.data(), digest.size()) == 0;
}

void VerifiedLogins::Remember(const std::string& name, const std::string& passwordHash, std::string_view password) {
    entries_[name] = {passwordHash, DigestOf(password)};
}

} // namespace server
