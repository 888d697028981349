#pragma once

#include "net/MarketRecords.h"

#include <string_view>
#include <vector>

// Answers of the market's requests: records separated by "|", fields by ","; fields after the
// known ones are ignored, a record with fewer fields or without a code is skipped.

namespace net {

// CODE,NAME,INITIALS,PREVCLOSE,LAST,OPEN,HIGH,LOW,VOLUME,AMOUNT per security.
std::vector<BoardRow> ParseBoard(std::string_view body);

// CODE,P,TIME,OPEN,HIGH,LOW,CLOSE,VOLUME per bar, oldest first; a period other than 1 or d
// is skipped.
std::vector<Bar> ParseBars(std::string_view body);

// "12.34" → 1234: a price or amount with two decimals in cents (rounded to the nearest cent).
std::int64_t CentsOf(std::string_view text);

} // namespace net
