#include "server/engine/Requests.h"

#include "server/engine/Replies.h"
#include "server/ledger/AccountHistory.h"
#include "server/ledger/Ledger.h"
#include "wire/Commands.h"

namespace server {
namespace {

struct Range {
    std::string from;
    std::string to;
};

// "start=Y-M-D[&end=Y-M-D]"; a missing end means the current trading day.
std::optional<Range> DateRange(const QueryString& query, const std::string& today) {
    const auto from = NormaliseDate(query.Get("start"));
    if (!from)
        return std::nullopt;
    if (!query.Has("end"))
        return Range{*from, today};
    const auto to = NormaliseDate(query.Get("end"));
    if (!to)
        return std::nullopt;
    return Range{*from, *to};
}

Answer Refusal(std::string text) {
    return {std::move(text), Answer::Outcome::kRefused};
}

// Cancels are answered like orders: "0,..." when something was cancelled.
Answer CancelAllAnswer(std::int64_t cancelled) {
    if (cancelled == 0)
        return Refusal("1,没有可撤销的委托");
    return "0,已撤销" + std::to_string(cancelled) + "笔委托";
}

// A cancel-all cancels this many orders a turn at most; other accounts' requests go between.
constexpr std::size_t kCancelSlice = 100;

constexpr const char* kNotTradingHours = "1,现在不是交易时间，不能委托";

} // namespace

TradingWindow WindowFor(const TradingHours& hours, const LocalTime& now) {
    // Outside the sessions orders are refused and rest, while the prices go on moving.
    const bool open = hours.IsOpen(now.minuteOfDay);
    return {open, open, true, {}, {}};
}

TradingWindow WindowFor(MarketPhase phase) {
    const std::string callNote = "，等待集合竞价撮合";
    switch (phase) {
    case MarketPhase::kOpeningCall:
        return {true, false, false, {}, callNote};
    case MarketPhase::kOpeningCallLocked:
        return {true, false, false, "1,9:20至9:30为开盘集合竞价，不接受撤单", callNote};
    case MarketPhase::kPreOpen:
        return {true, false, false, "1,9:25至9:30为开盘前暂停时段，不接受撤单", "，9:30开始撮合"};
    case MarketPhase::kContinuous:
        return {true, true, true, {}, {}};
    case MarketPhase::kMiddayBreak:
        // Orders resting from the morning may be withdrawn over the break.
        return {false, false, false, {}, {}};
    case MarketPhase::kClosingCall:
        return {true, false, false, "1,14:57至15:00为收盘集合竞价，不接受撤单", callNote};
    case MarketPhase::kClosed:
    case MarketPhase::kAfterClose:
        break;
    }
    return {false, false, false, "1,现在不是交易时间，不能撤单", {}};
}

TradingWindow WindowAt(const ServerOptions& options, const LocalTime& now) {
    return options.exchangeDay ? WindowFor(options.exchangeDay->PhaseAt(now)) : WindowFor(options.hours, now);
}

std::optional<Answer> HandleAccountRequest(Ledger& ledger, const TradingWindow& window, std::int64_t userId,
                                           int command, const QueryString& query, const LocalTime& now) {
    Account* account = ledger.FindAccount(userId);
    if (!account)
        return std::nullopt; // removed behind the server's back; the session is stale
    if (net::IsCancel(command) && !window.cancelRefusal.empty())
        return Refusal(window.cancelRefusal);
    switch (command) {
    case net::kCmdOrder: {
        if (!window.ordersAccepted)
            return Refusal(kNotTradingHours);
        const OrderResult result = ledger.PlaceOrder(*account, query.Get("code"), query.Get("price"), query.Get("num"),
                                                     query.Get("type"), now.time, window.ordersMatch);
        return Answer(OrderReply(result, window.orderNote),
                      result.Accepted() ? Answer::Outcome::kDone : Answer::Outcome::kRefused);
    }
    case net::kCmdCancelOne:
        switch (
            ledger.CancelMatching(*account, query.Get("code"), query.Get("num"), query.Get("time"), query.Get("id"))) {
        case CancelResult::kCancelled:
            return Answer("0,撤单成功");
        case CancelResult::kAmbiguous:
            return Refusal("1,有多笔委托与撤单请求相符，请按合同编号撤单");
        case CancelResult::kNotFound:
            break;
        }
        return Refusal("1,没有找到可撤销的委托");
    case net::kCmdPositions:
        return PositionsReply(ledger.Positions(*account));
    case net::kCmdFunds:
        return FundsReply(ledger.Funds(*account));
    default:
        return std::nullopt;
    }
}

std::optional<Answer> CancelAllTurn(Ledger& ledger, const TradingWindow& window, std::int64_t userId, int command,
                                    std::int64_t& cancelled, bool& more) {
    more = false;
    Account* account = ledger.FindAccount(userId);
    if (!account)
        return std::nullopt;
    // A window that closed between two turns ends the request with what it did.
    if (!window.cancelRefusal.empty())
        return cancelled > 0 ? CancelAllAnswer(cancelled) : Refusal(window.cancelRefusal);
    const int n =
        ledger.CancelAll(*account, command != net::kCmdCancelAllBuys, command != net::kCmdCancelAllSells, kCancelSlice);
    cancelled += n;
    more = static_cast<std::size_t>(n) == kCancelSlice;
    return CancelAllAnswer(cancelled);
}

bool IsHistoryQuery(int command) {
    return command == net::kCmdTodayOrders || command == net::kCmdTodayTrades || command == net::kCmdFundsFlow ||
           command == net::kCmdHistoryOrders || command == net::kCmdHistoryTrades || command == net::kCmdSettlement;
}

QueryReader::Read PrepareHistoryQuery(Ledger& ledger, std::int64_t userId, int command, const QueryString& query) {
    const Account* account = ledger.FindAccount(userId);
    if (!account)
        return {}; // removed behind the server's back; the session is stale
    const std::string today = ledger.Day();
    if (command == net::kCmdTodayOrders)
        return [userId, today](AccountHistory& h) { return OrdersReply(h.Orders(userId, today, today)); };
    if (command == net::kCmdTodayTrades)
        return [userId, today](AccountHistory& h) { return TradesReply(h.Trades(userId, today, today)); };
    const auto range = DateRange(query, today);
    if (!range)
        return {};
    switch (command) {
    case net::kCmdFundsFlow:
        return
            [userId, range](AccountHistory& h) { return FundsFlowReply(h.FundsFlow(userId, range->from, range->to)); };
    case net::kCmdHistoryOrders:
        return [userId, range](AccountHistory& h) { return OrdersReply(h.Orders(userId, range->from, range->to)); };
    case net::kCmdHistoryTrades:
        return [userId, range](AccountHistory& h) { return TradesReply(h.Trades(userId, range->from, range->to)); };
    case net::kCmdSettlement:
        return [userId, range, sh = account->shAccount, sz = account->szAccount](AccountHistory& h) {
            return SettlementReply(h.Settlements(userId, range->from, range->to), sh, sz);
        };
    default:
        return {};
    }
}

} // namespace server
