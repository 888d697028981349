#include "server/Requests.h"

#include "net/Commands.h"
#include "server/Ledger.h"

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

} // namespace

std::optional<std::string> HandleAccountRequest(Ledger& ledger, const TradingHours& hours, std::int64_t userId,
                                                int command, const QueryString& query, const LocalTime& now) {
    Account* account = ledger.FindAccount(userId);
    if (!account)
        return std::nullopt; // removed behind the server's back; the session is stale
    const std::string today = ledger.Day();
    switch (command) {
    case net::kCmdOrder:
        if (!hours.IsOpen(now.minuteOfDay))
            return std::string("1,现在不是交易时间，不能委托");
        return ledger.PlaceOrder(*account, query.Get("code"), query.Get("price"), query.Get("num"), query.Get("type"),
                                 now.time);
    case net::kCmdCancelOne:
        if (ledger.CancelMatching(*account, query.Get("code"), query.Get("num"), query.Get("time")))
            return std::string("0,撤单成功");
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
