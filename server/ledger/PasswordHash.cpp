#include "server/ledger/PasswordHash.h"

#include <sodium.h>
#include <stdexcept>

namespace server {

bool InitPasswordHashing() {
    return sodium_init() >= 0;
}

std::string HashPassword(std::string_view password, HashCost cost) {
    char out[crypto_pwhash_STRBYTES];
    const bool minimal = cost == HashCost::kMinimal;
    const unsigned long long ops = minimal ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const std::size_t mem = minimal ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), ops, mem, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("password hashing failed (out of memory)");
    return out;
}

bool VerifyPassword(const std::string& hash, std::string_view password) {
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

bool SecretsEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    return a.empty() || sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace server
