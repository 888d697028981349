#include "server/ledger/PasswordHash.h"

#include <sodium.h>
#include <stdexcept>

namespace server {

bool InitPasswordHashing() {
    return sodium_init() >= 0;
}

namespace {

struct Limits {
    unsigned long long ops;
    std::size_t mem;
};

Limits LimitsOf(HashCost cost) {
    switch (cost) {
    case HashCost::kMinimal:
        return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
    case HashCost::kInteractive:
        return {crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE};
    case HashCost::kContest:
        break;
    }
    return {3, 6u << 20};
}

} // namespace

bool NeedsRehash(const std::string& hash, HashCost cost) {
    const Limits limits = LimitsOf(cost);
    return crypto_pwhash_str_needs_rehash(hash.c_str(), limits.ops, limits.mem) != 0;
}

std::string HashPassword(std::string_view password, HashCost cost) {
    char out[crypto_pwhash_STRBYTES];
    const auto [ops, mem] = LimitsOf(cost);
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
