#pragma once

#include <string>
#include <string_view>

namespace server {

enum class HashCost {
    // argon2id at 3 passes over 6 MiB: about 15 ms here, so two hashing threads answer an
    // opening bell of 500 first logins within a few seconds. The default.
    kContest,
    kInteractive, // argon2id with libsodium's interactive limits (2 passes over 64 MiB)
    kMinimal,     // the lowest limits libsodium allows; only for test runs
};

// Initialises libsodium once; false when it cannot be used.
bool InitPasswordHashing();

// An encoded argon2id hash (it records its own limits, so verification needs no cost).
// Throws std::runtime_error when the hash cannot be computed (out of memory).
std::string HashPassword(std::string_view password, HashCost cost);

bool VerifyPassword(const std::string& hash, std::string_view password);

// True when `hash` was made at another cost than `cost` (each hash records its own limits):
// it is made anew at the next login that passes it.
bool NeedsRehash(const std::string& hash, HashCost cost);

// Compares two secrets in time that depends only on their lengths.
bool SecretsEqual(std::string_view a, std::string_view b);

} // namespace server
