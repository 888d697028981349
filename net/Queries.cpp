#include "net/TradingLink.h"

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
