#include "net/TradingLink.h"

#include "net/MarketParsers.h"
#include "net/ReplyParsers.h"

#include <vector>

// The link's side of the market: the quote board in pages, the bars, the quote pushes and
// the subscription.

namespace net {

bool TradingLink::SendBoardPage(int start, int count, bool wholeBoard) {
    if (!socket_.Connected())
        return false;
    // Recorded first: the answer may be read before SendRequest returns.
    state_.market.BoardRequested({start, count, wholeBoard, MarketData::Clock::now()});
    return SendRequest(kCmdQuoteBoard, "start=" + std::to_string(start) + "&count=" + std::to_string(count));
}

bool TradingLink::QueryBoard() {
    if (state_.market.BoardPending())
        return false;
    return SendBoardPage(0, kBoardPage, true);
}

bool TradingLink::QueryBoardRow(std::string_view code) {
    if (state_.market.BoardPending())
        return false;
    const int position = state_.market.Position(code);
    if (position < 0)
        return SendBoardPage(0, kBoardPage, true);
    return SendBoardPage(position, 1, false);
}

bool TradingLink::QueryBars(std::string_view code, BarPeriod period, int count) {
    const BarKey key{std::string(code), period};
    if (!socket_.Connected() || state_.market.BarsPending(key))
        return false;
    state_.market.BarsRequested(key, MarketData::Clock::now());
    return SendRequest(kCmdBars, "code=" + key.code + "&period=" + std::string(1, static_cast<char>(period)) +
                                     "&count=" + std::to_string(count));
}

void TradingLink::OnBoardAnswer(std::string_view body) {
    const std::vector<BoardRecord> rows = ParseBoard(body);
    const std::optional<MarketData::BoardRequest> request = state_.market.BoardAnswered(rows);
    // A pass over the board goes on after the last record received (a page may be shorter
    // than asked when a frame would not hold it); only an empty answer ends it.
    const int received = CountRecords(body);
    if (request && request->wholeBoard && received > 0)
        SendBoardPage(request->start + received, request->count, true);
}

void TradingLink::UpdateQuoteSubscription(std::string_view codes) {
    const std::string list = state_.quoteCodes.Add(codes);
    SendRequest(kCmdQuoteSubscribe, "code=" + list);
}

bool TradingLink::AddQuoteSubscription(std::string_view codes) {
    bool added = false;
    const std::string list = state_.quoteCodes.Add(codes, &added);
    return added && SendRequest(kCmdQuoteSubscribe, "code=" + list);
}

bool TradingLink::ReplaceQuoteSubscription(const std::string& list) {
    if (!state_.quoteCodes.ReplaceIfDifferent(list))
        return false;
    return SendRequest(kCmdQuoteSubscribe, "code=" + list);
}

void TradingLink::StoreQuotes(std::string_view body) {
    if (!notifier_.HasMainFrame())
        return;
    // The update's records are stored together. Reused between updates: a warm update
    // parses without allocating.
    thread_local std::vector<QuoteRecord> records;
    ReadQuotes(body, records);
    state_.quotes.StoreAll(records.data(), records.size());
}

} // namespace net
