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

enum class Exchange { kShanghai, kShenzhen };

// Where a code trades: its board's exchange (codes beginning with 6 trade in Shanghai).
Exchange ExchangeOf(std::string_view code);

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

// What is wrong with an order's quantity on its board; kOk when nothing is.
enum class QuantityProblem {
    kOk,
    kBuyNotWholeLots,  // main boards and ChiNext buy in lots of 100
    kBuyBelowMinimum,  // STAR buys at least 200 shares, then any number
    kOddLotNotInFull,  // the part of a holding below one lot is sold in one go
    kSmallHoldingPart, // STAR: below 200 shares, a holding is sold in full
    kAboveMaximum,     // more than one order of the board may hold
};

// The most shares one order may hold: main boards 1,000,000, ChiNext 300,000, STAR 100,000.
std::int64_t MaxOrderShares(Board board);
// The fewest shares a buy may hold: 200 on STAR, a lot of 100 elsewhere.
std::int64_t MinBuyShares(Board board);

QuantityProblem CheckBuy(Board board, std::int64_t shares);
// `sellable` is what the account may sell of the security now.
QuantityProblem CheckSell(Board board, std::int64_t shares, std::int64_t sellable);

// The price cage: a buy may be priced at most 2 % above `referenceCents` (the best ask),
// a sell at most 2 % below it (the best bid); on the main boards at least 10 ticks either
// way are allowed too, whichever is wider. Prices in cents.
bool InPriceCage(Board board, bool buy, std::int64_t priceCents, std::int64_t referenceCents);

} // namespace net
