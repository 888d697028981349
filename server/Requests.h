#pragma once

#include "server/LocalTime.h"
#include "server/QueryString.h"
#include "server/TradingHours.h"

#include <cstdint>
#include <optional>
#include <string>

namespace server {

class Ledger;

// Applies one authenticated request of the account `userId` (orders, cancels and the
// account queries) and returns the answer body, or nothing when the body is malformed.
// Orders and cancels answer "0,text" when done and "1,reason" when not. Engine thread only.
std::optional<std::string> HandleAccountRequest(Ledger& ledger, const TradingHours& hours, std::int64_t userId,
                                                int command, const QueryString& query, const LocalTime& now);

} // namespace server
