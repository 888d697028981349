#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// Prices and money are whole cents (the market's 0.01 tick); quantities whole shares.
using Cents = std::int64_t;

// "12.3" → 1230. Digits with at most two decimals; anything else (signs, blanks, a third
// decimal, exponents) is not a price on the 0.01 tick and yields nothing.
std::optional<Cents> ParseCents(std::string_view text);

// Decimal digits only, at most 12 of them.
std::optional<std::int64_t> ParseCount(std::string_view text);

// "%0.2f" of the amount in yuan: 1230 → "12.30", -5 → "-0.05".
std::string FormatCents(Cents cents);

} // namespace server
