#pragma once

#include "server/engine/Answer.h"
#include "server/engine/QueryReader.h"
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

// Applies one authenticated request of the account `userId` (an order, a cancel, the funds
// or the positions) and returns the answer, or nothing when the body is malformed.
// Orders and cancels answer "0,text" when done and "1,reason" (Answer::Outcome::kRefused)
// when not. Engine thread only.
std::optional<Answer> HandleAccountRequest(Ledger& ledger, const TradingWindow& window, std::int64_t userId,
                                           int command, const QueryString& query, const LocalTime& now);

// The cancel-alls (of sells, of buys, of both) go in turns of a hundred orders at most.
// One turn: `cancelled` counts what the earlier turns cancelled; `more` is set while orders may
// remain. Answers as the whole request would, with the count so far. Engine thread only.
std::optional<Answer> CancelAllTurn(Ledger& ledger, const TradingWindow& window, std::int64_t userId, int command,
                                    std::int64_t& cancelled, bool& more);

// The queries over the account's stored days: today's orders and trades, the funds flow, the
// orders and trades of past days, the settlements.
bool IsHistoryQuery(int command);
// Takes what such a query needs of the ledger (engine thread) and returns the part that reads
// the store, or nothing when the body is malformed or the account is gone.
QueryReader::Read PrepareHistoryQuery(Ledger& ledger, std::int64_t userId, int command, const QueryString& query);

} // namespace server
