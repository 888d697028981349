#include "net/AccountQueries.h"

#include "net/MarketParsers.h"
#include "net/ReplyParsers.h"
#include "wire/GbkText.h"

#include <cstdio>
#include <span>
#include <vector>

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

AccountQueries::AccountQueries(SharedState& state, LinkNotifier& notifier, RequestSender& sender,
                               std::function<std::time_t()> clock)
    : state_(state)
    , notifier_(notifier)
    , sender_(sender)
    , clock_(clock ? std::move(clock) : [] { return std::time(nullptr); }) {}

AccountQueries::~AccountQueries() {
    JoinWorkers();
}

std::string AccountQueries::DateText(long secondsBack) const {
    const std::time_t when = clock_() - secondsBack;
    std::tm local{};
    localtime_r(&when, &local);
    char text[48];
    std::snprintf(text, sizeof text, "%d-%d-%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

void AccountQueries::NotifyTable(int message) {
    if (notifier_.HasMainFrame())
        notifier_.NotifyTable(message);
}

bool AccountQueries::QueryPositions() {
    return sender_.SendRequest(kCmdPositions, "");
}

bool AccountQueries::QueryStanding(StandingPeriod period, int count) {
    state_.standing.NoteAsked(period); // before the send: the answer may come at once
    if (sender_.SendRequest(kCmdStanding, StandingRequest(period, count)))
        return true;
    state_.standing.TakeBackAsked();
    return false;
}

bool AccountQueries::QueryCurve() {
    return sender_.SendRequest(kCmdCurve, CurveRequest(kMaxCurvePoints));
}

bool AccountQueries::QueryFunds() {
    return sender_.SendRequest(kCmdFunds, "");
}

bool AccountQueries::QueryTodayTrades() {
    sender_.SendRequest(kCmdTodayTrades, "start=" + DateText());
    return true;
}

bool AccountQueries::QueryRecentSettlement() {
    constexpr long kSevenDays = 604800;
    sender_.SendRequest(kCmdSettlement, "start=" + DateText(kSevenDays));
    return true;
}

bool AccountQueries::QueryRecentFundsFlow() {
    constexpr long kOneDay = 86400;
    sender_.SendRequest(kCmdFundsFlow, "start=" + DateText(kOneDay));
    return true;
}

bool AccountQueries::QueryTodayOrders() {
    sender_.SendRequest(kCmdTodayOrders, "start=" + DateText());
    // Sent whether or not the request went out: the main window refreshes its panels.
    NotifyTable(kMsgTodayTradesStored);
    return true;
}

void AccountQueries::InitialLoadWorker() {
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

void AccountQueries::RefreshAllWorker() {
    QueryFunds();
    QueryPositions();
    QueryTodayTrades();
    QueryRecentSettlement();
    QueryRecentFundsFlow();
    QueryTodayOrders();
}

void AccountQueries::StartInitialLoad() {
    Spawn(&AccountQueries::InitialLoadWorker);
}

void AccountQueries::StartRefreshAll() {
    Spawn(&AccountQueries::RefreshAllWorker);
}

void AccountQueries::Spawn(void (AccountQueries::*work)()) {
    std::lock_guard lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done->load()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, work, done] {
                            (this->*work)();
                            done->store(true);
                        }),
                        done});
}

void AccountQueries::JoinWorkers() {
    std::list<Worker> workers;
    {
        std::lock_guard lock(workersMutex_);
        workers.swap(workers_);
    }
    for (Worker& w : workers)
        w.thread.join();
}

void AccountQueries::StorePositions(std::string_view body) {
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
        sender_.AddQuoteSubscription(codes);
    NotifyTable(kMsgPositionsStored);
}

void AccountQueries::StoreFunds(std::string_view body) {
    const auto record = ReadFunds(body);
    if (!record)
        return;
    state_.funds.Store(*record);
    NotifyTable(kMsgFundsStored);
}

void AccountQueries::StoreTodayTrades(std::string_view body) {
    if (ParseTable(state_.todayTrades, body))
        NotifyTable(kMsgTodayTradesStored);
}

void AccountQueries::StoreTodayOrders(std::string_view body) {
    if (ParseTable(state_.todayOrders, body))
        NotifyTable(kMsgTodayOrdersStored);
}

void AccountQueries::StoreHistoryOrders(std::string_view body) {
    if (ParseTable(state_.historyOrders, body))
        NotifyTable(kMsgHistoryTableStored);
}

void AccountQueries::StoreHistoryTrades(std::string_view body) {
    if (ParseTable(state_.historyTrades, body))
        NotifyTable(kMsgHistoryTableStored);
}

void AccountQueries::StoreFundsFlow(std::string_view body) {
    if (ParseTable(state_.fundsFlow, body))
        NotifyTable(kMsgHistoryTableStored);
}

void AccountQueries::StoreSettlement(std::string_view body) {
    if (ParseTable(state_.settlement, body))
        NotifyTable(kMsgHistoryTableStored);
}

void AccountQueries::StoreStanding(std::string_view body) {
    state_.standing.StoreStanding(ParseStandingAnswer(body));
    NotifyTable(kMsgStandingStored);
}

void AccountQueries::StoreCurve(std::string_view body) {
    state_.standing.StoreCurve(ParseCurveAnswer(body));
    NotifyTable(kMsgStandingStored);
}

void AccountQueries::ConnectionLost() {
    state_.standing.ForgetAsked();
}

} // namespace net
