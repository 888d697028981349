#pragma once

#include "server/engine/QueryString.h"
#include "server/engine/ServerOptions.h"
#include "server/market/ExchangeCalendar.h"
#include "server/market/LocalTime.h"
#include "server/market/TradingHours.h"

#include <cstdint>
#include <optional>
#include <string>

namespace server {

class Ledger;

// What the market does with orders, cancels and its prices at one moment.
struct TradingWindow {
    bool ordersAccepted = true;
    bool ordersMatch = true;   // a new order meets the book at once, open ones on every tick
    bool marketMoves = true;   // the simulated prices step on every tick
    std::string cancelRefusal; // empty: cancels are accepted
    std::string orderNote;     // follows an accepted order that waits (for a call auction, say)
};

TradingWindow WindowFor(const TradingHours& hours, const LocalTime& now);
TradingWindow WindowFor(MarketPhase phase);
// The exchange's day when the options ask for it, else the trading hours.
TradingWindow WindowAt(const ServerOptions& options, const LocalTime& now);

// Applies one authenticated request of the account `userId` (orders, cancels and the
// account queries) and returns the answer body, or nothing when the body is malformed.
// Orders and cancels answer "0,text" when done and "1,reason" when not. Engine thread only.
std::optional<std::string> HandleAccountRequest(Ledger& ledger, const TradingWindow& window, std::int64_t userId,
                                                int command, const QueryString& query, const LocalTime& now);

} // namespace server
