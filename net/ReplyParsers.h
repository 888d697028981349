#pragma once

#include "net/Records.h"

#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The replies of the trading server read into the client's records: text in, records out,
// nothing stored and nobody told (TradingLink does that). Bodies hold records separated by
// '|' and fields separated by ',' at the positions of wire/AccountRecords.h and
// wire/MarketRecords.h; a missing field stays empty, an overlong one is cut to its slot.
namespace net {

// A table reply into `slots`, which the caller zeroed: the n-th piece into the n-th slot; a
// piece of two fields or fewer is not a record and leaves its slot zeroed; pieces beyond the
// slots are dropped.
void ReadRecords(std::string_view body, std::span<PositionRecord> slots);
void ReadRecords(std::string_view body, std::span<TradeRecord> slots);
void ReadRecords(std::string_view body, std::span<OrderRecord> slots);
void ReadRecords(std::string_view body, std::span<FundsFlowRecord> slots);
void ReadRecords(std::string_view body, std::span<SettlementRecord> slots);

// The funds reply, one record; nothing when it holds two fields or fewer.
std::optional<FundsRecord> ReadFunds(std::string_view body);

// The records of a quote push into `records` (emptied first; reused by the caller, so that a
// warm update parses without allocating). A record with fewer than all its fields is skipped.
void ReadQuotes(std::string_view body, std::vector<QuoteRecord>& records);

} // namespace net
