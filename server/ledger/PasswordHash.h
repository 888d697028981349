#pragma once

#include <string>
#include <string_view>

namespace server {

enum class HashCost {
    kInteractive, // argon2id with libsodium's interactive limits: the default
    kMinimal,     // the lowest limits libsodium allows; only for test runs
};

// Initialises libsodium once; false when it cannot be used.
bool InitPasswordHashing();

// An encoded argon2id hash (it records its own limits, so verification needs no cost).
// Throws std::runtime_error when the hash cannot be computed (out of memory).
std::string HashPassword(std::string_view password, HashCost cost);

bool VerifyPassword(const std::string& hash, std::string_view password);

// Compares two secrets in time that depends only on their lengths.
bool SecretsEqual(std::string_view a, std::string_view b);

} // namespace server
