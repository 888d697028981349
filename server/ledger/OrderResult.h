#pragma once

#include "server/market/Money.h"

#include <cstdint>
#include <optional>
#include <string>

namespace server {

// Why an order was refused. The engine words each one for the client (server/engine/Replies.cpp).
enum class OrderRefusalReason {
    kAccountFrozen,
    kTooManyOpenOrders, // `count`: the limit of open orders
    kBadSide,
    kNoSuchCode, // `code`
    kBadQuantity,
    kBadPrice,
    kOutsidePriceLimits, // `low`, `high`: the day's limits
    kOutsidePriceCage,   // `sell`, `reference`, `growthBoard`
    kBuyNotWholeLots,
    kBuyBelowMinimum,
    kOddLotNotInFull,
    kSmallHoldingPart,
    kAboveMaximum, // `count`: the board's most shares per order
    kSellNotWholeLots,
    kFundsShort,  // `needed`, `available`
    kSharesShort, // `count`: the shares sellable; `boughtToday`: held but sellable tomorrow (T+1)
    kFeesNotCovered,
};

// A refusal with the figures its reason names (the fields the reason does not name stay 0).
struct OrderRefusal {
    OrderRefusalReason reason = OrderRefusalReason::kBadSide;
    std::string code;
    std::int64_t count = 0;
    std::int64_t boughtToday = 0;
    Cents low = 0;
    Cents high = 0;
    Cents reference = 0; // the price the cage is measured from
    bool sell = false;
    bool growthBoard = false; // its cage has no ten-tick allowance
    Cents needed = 0;
    Cents available = 0;
};

// What became of an order: accepted with its number (合同编号) and what filled at once, or
// refused.
struct OrderResult {
    std::int64_t id = 0;
    std::int64_t filled = 0;
    bool filledInFull = false;
    std::optional<OrderRefusal> refusal;

    bool Accepted() const { return !refusal; }
};

} // namespace server
