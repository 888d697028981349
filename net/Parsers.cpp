#include "net/ReplyParsers.h"
#include "net/TradingLink.h"
#include "wire/GbkText.h"

#include <memory>
#include <span>
#include <vector>

// The link's side of a reply: the records read (net/ReplyParsers.h) replace their table
// whole, and the windows are told.

namespace net {

namespace {

// Reads the whole table into a local buffer and stores it in one step. Nothing is stored,
// and the result is empty, while the table does not exist.
template <typename Table>
std::unique_ptr<typename Table::Slots> ParseTable(Table& table, std::string_view body) {
    auto slots = std::make_unique<typename Table::Slots>();
    ReadRecords(body, std::span(*slots));
    if (!table.Store(*slots))
        return nullptr;
    return slots;
}

} // namespace

void TradingLink::ParsePositions(std::string_view body) {
    const auto slots = ParseTable(state_.positions, body);
    if (!slots)
        return;
    std::string codes;
    for (const PositionRecord& r : *slots) {
        const std::string_view code = FieldText(r.code);
        if (code.empty())
            continue;
        if (!codes.empty())
            codes.push_back(',');
        codes.append(code);
    }
    // Every held security stays subscribed; a list that holds them all already is not sent
    // again (every fill brings new positions, and the server knows the list).
    if (!codes.empty())
        AddQuoteSubscription(codes);
    NotifyTable(kMsgPositionsStored);
}

void TradingLink::ParseFunds(std::string_view body) {
    const auto record = ReadFunds(body);
    if (!record)
        return;
    state_.funds.Store(*record);
    NotifyTable(kMsgFundsStored);
}

void TradingLink::ParseTodayTrades(std::string_view body) {
    if (ParseTable(state_.todayTrades, body))
        NotifyTable(kMsgTodayTradesStored);
}

void TradingLink::ParseTodayOrders(std::string_view body) {
    if (ParseTable(state_.todayOrders, body))
        NotifyTable(kMsgTodayOrdersStored);
}

void TradingLink::ParseHistoryOrders(std::string_view body) {
    if (ParseTable(state_.historyOrders, body))
        NotifyTable(kMsgHistoryTableStored);
}

void TradingLink::ParseHistoryTrades(std::string_view body) {
    if (ParseTable(state_.historyTrades, body))
        NotifyTable(kMsgHistoryTableStored);
}

void TradingLink::ParseFundsFlow(std::string_view body) {
    if (ParseTable(state_.fundsFlow, body))
        NotifyTable(kMsgHistoryTableStored);
}

void TradingLink::ParseSettlement(std::string_view body) {
    if (ParseTable(state_.settlement, body))
        NotifyTable(kMsgHistoryTableStored);
}

void TradingLink::ParseQuotes(std::string_view body) {
    if (!notifier_.HasMainFrame())
        return;
    // The update's records are stored together. Reused between updates: a warm update
    // parses without allocating.
    thread_local std::vector<QuoteRecord> records;
    ReadQuotes(body, records);
    state_.quotes.StoreAll(records.data(), records.size());
}

} // namespace net
