#include "server/engine/Requests.h"

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

// Cancels are answered like orders: "0,..." when something was cancelled.
std::string CancelAllAnswer(int cancelled) {
    if (cancelled == 0)
        return "1,没有可撤销的委托";
    return "0,已撤销" + std::to_string(cancelled) + "笔委托";
}

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

std::optional<std::string> HandleAccountRequest(Ledger& ledger, const TradingWindow& window, std::int64_t userId,
                                                int command, const QueryString& query, const LocalTime& now) {
    Account* account = ledger.FindAccount(userId);
    if (!account)
        return std::nullopt; // removed behind the server's back; the session is stale
    const std::string today = ledger.Day();
    if (net::IsCancel(command) && !window.cancelRefusal.empty())
        return window.cancelRefusal;
    switch (command) {
    case net::kCmdOrder: {
        if (!window.ordersAccepted)
            return std::string(kNotTradingHours);
        std::string answer = ledger.PlaceOrder(*account, query.Get("code"), query.Get("price"), query.Get("num"),
                                               query.Get("type"), now.time, window.ordersMatch);
        if (answer.starts_with("0,"))
            answer += window.orderNote;
        return answer;
    }
    case net::kCmdCancelOne:
        switch (
            ledger.CancelMatching(*account, query.Get("code"), query.Get("num"), query.Get("time"), query.Get("id"))) {
        case CancelResult::kCancelled:
            return std::string("0,撤单成功");
        case CancelResult::kAmbiguous:
            return std::string("1,有多笔委托与撤单请求相符，请按合同编号撤单");
        case CancelResult::kNotFound:
            break;
        }
        return std::string("1,没有找到可撤销的委托");
    case net::kCmdCancelAllSells:
        return CancelAllAnswer(ledger.CancelAll(*account, true, false));
    case net::kCmdCancelAllBuys:
        return CancelAllAnswer(ledger.CancelAll(*account, false, true));
    case net::kCmdCancelAll:
        return CancelAllAnswer(ledger.CancelAll(*account, true, true));
    case net::kCmdTodayOrders:
        return ledger.OrdersReply(*account, today, today);
    case net::kCmdTodayTrades:
        return ledger.TradesReply(*account, today, today);
    case net::kCmdPositions:
        return ledger.PositionsReply(*account);
    case net::kCmdFunds:
        return ledger.FundsReply(*account);
    case net::kCmdFundsFlow:
    case net::kCmdHistoryOrders:
    case net::kCmdHistoryTrades:
    case net::kCmdSettlement: {
        const auto range = DateRange(query, today);
        if (!range)
            return std::nullopt;
        if (command == net::kCmdFundsFlow)
            return ledger.FundsFlowReply(*account, range->from, range->to);
        if (command == net::kCmdHistoryOrders)
            return ledger.OrdersReply(*account, range->from, range->to);
        if (command == net::kCmdHistoryTrades)
            return ledger.TradesReply(*account, range->from, range->to);
        return ledger.SettlementReply(*account, range->from, range->to);
    }
    default:
        return std::nullopt;
    }
}

} // namespace server
