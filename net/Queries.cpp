#include "net/TradingLink.h"

#include "net/MarketParsers.h"

#include <cstdio>
#include <ctime>

namespace net {

std::string TradingLink::DateText(long secondsBack) const {
    const std::time_t when = clock_() - secondsBack;
    std::tm local{};
    localtime_r(&when, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%d-%d-%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

bool TradingLink::QueryPositions() {
    return SendRequest(kCmdPositions, "");
}

bool TradingLink::QueryStanding(StandingPeriod period, int count) {
    state_.standing.NoteAsked(period); // before the send: the answer may come at once
    if (SendRequest(kCmdStanding, StandingRequest(period, count)))
        return true;
    state_.standing.TakeBackAsked();
    return false;
}

bool TradingLink::QueryCurve() {
    return SendRequest(kCmdCurve, CurveRequest(kMaxCurvePoints));
}

bool TradingLink::QueryFunds() {
    return SendRequest(kCmdFunds, "");
}

bool TradingLink::QueryTodayTrades() {
    SendRequest(kCmdTodayTrades, "start=" + DateText());
    return true;
}

bool TradingLink::QueryRecentSettlement() {
    constexpr long kSevenDays = 604800;
    SendRequest(kCmdSettlement, "start=" + DateText(kSevenDays));
    return true;
}

bool TradingLink::QueryRecentFundsFlow() {
    constexpr long kOneDay = 86400;
    SendRequest(kCmdFundsFlow, "start=" + DateText(kOneDay));
    return true;
}

bool TradingLink::QueryTodayOrders() {
    SendRequest(kCmdTodayOrders, "start=" + DateText());
    // Sent whether or not the request went out: the main window refreshes its panels.
    NotifyTable(kMsgTodayTradesStored);
    return true;
}

void TradingLink::InitialLoadWorker() {
    state_.historyTrades.Create();
    state_.historyOrders.Create();
    state_.fundsFlow.Create();
    state_.settlement.Create();
    if (!QueryPositions())
        QueryPositions();
    if (!QueryFunds())
        QueryFunds();
    state_.initialLoadPending.store(0);
    QueryTodayTrades();
    QueryRecentSettlement();
    QueryTodayOrders();
}

void TradingLink::RefreshAllWorker() {
    QueryFunds();
    QueryPositions();
    QueryTodayTrades();
    QueryRecentSettlement();
    QueryRecentFundsFlow();
    QueryTodayOrders();
}

void TradingLink::StartInitialLoad() {
    Spawn(&TradingLink::InitialLoadWorker);
}

void TradingLink::StartRefreshAll() {
    Spawn(&TradingLink::RefreshAllWorker);
}

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

} // namespace net
