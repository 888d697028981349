#pragma once

#include <cstdint>
#include <string_view>

// The boards of the Shanghai and Shenzhen exchanges and the trading rules that differ
// between them. The client and the contest server both read them from here, so the limits
// the order form shows are the ones the server enforces.
namespace net {

enum class Board {
    kShanghaiMain, // 60xxxx and every other code beginning with 6
    kStar,         // 688xxx, 689xxx
    kShenzhenMain, // 00xxxx and every code not named here
    kChiNext,      // 300xxx, 301xxx
};

// The board of a six-digit code, told by its leading digits.
Board BoardOf(std::string_view code);

// ChiNext and STAR: the growth boards, with the wider daily price limit.
bool IsGrowthBoard(Board board);

inline constexpr int kMainLimitPercent = 10;
inline constexpr int kGrowthLimitPercent = 20;

// The daily price-limit percentage of a board at the exchanges' rules.
int LimitPercent(Board board);

// Limit prices in cents (the 0.01 tick).
struct PriceLimits {
    std::int64_t up = 0;
    std::int64_t down = 0;
};

// The previous close moved by `percent` either way, rounded half up to the tick.
PriceLimits LimitPrices(std::int64_t prevCloseCents, int percent);

} // namespace net
