#pragma once

#include "wire/MarketRecords.h"

#include <string_view>
#include <vector>

// Answers of the market's requests: records separated by "|", each read with the record
// layout both sides share; a malformed record is skipped.

namespace net {

// The securities of a quote board answer (command 20), in the order sent.
std::vector<BoardRecord> ParseBoard(std::string_view body);

// The bars of a bars answer (command 22), oldest first.
std::vector<BarRecord> ParseBars(std::string_view body);

// How many records an answer holds, well-formed or not: where the next board page starts.
int CountRecords(std::string_view body);

} // namespace net
