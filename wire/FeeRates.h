#pragma once

#include <cstdint>

// The contest's default trading charges. A server may be run with others; the client is
// never told them and leaves room for these when it works out what the funds can buy.
namespace net {

inline constexpr double kDefaultCommissionRate = 0.0003; // of the traded amount, per order
inline constexpr std::int64_t kDefaultMinCommissionCents = 500;
inline constexpr double kDefaultStampDutyRate = 0.0005; // sells only
inline constexpr double kDefaultTransferFeeRate = 0.00001;

} // namespace net
