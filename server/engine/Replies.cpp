#include "server/engine/Replies.h"

#include "server/ledger/Ledger.h"
#include "server/market/Money.h"
#include "wire/AccountRecords.h"
#include "wire/Board.h"
#include "wire/RecordFields.h"

#include <cstdio>

namespace server {
namespace {

// Replies must fit one frame (65,535 bytes with the header); UTF-8 is never shorter than
// the GBK that goes out, so a cap on the UTF-8 length is safe.
constexpr std::size_t kMaxReplyBytes = 64000;

std::string Percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string PriceText3(Cents total, std::int64_t shares) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", shares > 0 ? static_cast<double>(total) / 100.0 / shares : 0.0);
    return text;
}

std::string AveragePrice(Cents amount, std::int64_t qty) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", qty > 0 ? static_cast<double>(amount) / 100.0 / qty : 0.0);
    return text;
}

std::string OrderStatusText(OrderStatus status, std::int64_t filled) {
    switch (status) {
    case OrderStatus::kOpen:
        return filled > 0 ? "部分成交" : "未成交";
    case OrderStatus::kFilled:
        return "已成";
    case OrderStatus::kCancelled:
        return filled > 0 ? "部撤" : "已撤"; // 部撤: part filled, the rest cancelled
    case OrderStatus::kExpired:
        return "已失效";
    }
    return "";
}

// Newest first until the frame is full, then oldest first on the wire.
template <class Row, class Format>
std::string NewestThatFit(const std::vector<Row>& rows, Format format) {
    std::vector<std::string> records;
    std::size_t total = 0;
    for (const Row& row : rows) {
        std::string record = format(row);
        if (total + record.size() > kMaxReplyBytes)
            break;
        total += record.size();
        records.push_back(std::move(record));
    }
    std::string out;
    out.reserve(total);
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        out += *it;
    return out;
}

} // namespace

std::string RefusalText(const OrderRefusal& r) {
    switch (r.reason) {
    case OrderRefusalReason::kAccountFrozen:
        return "账户已冻结，不能委托";
    case OrderRefusalReason::kTooManyOpenOrders:
        return "未成交委托已达" + std::to_string(r.count) + "笔上限，请先撤单再委托";
    case OrderRefusalReason::kBadSide:
        return "买卖方向无效";
    case OrderRefusalReason::kNoSuchCode:
        return "证券代码" + r.code + "不存在";
    case OrderRefusalReason::kBadQuantity:
        return "委托数量无效";
    case OrderRefusalReason::kBadPrice:
        return "委托价格无效，价格最小变动单位为0.01元";
    case OrderRefusalReason::kOutsidePriceLimits:
        return "委托价格超出涨跌停限制（跌停" + FormatCents(r.low) + "元，涨停" + FormatCents(r.high) + "元）";
    case OrderRefusalReason::kOutsidePriceCage:
        return std::string("委托价格超出价格笼子：") + (r.sell ? "卖出价格不得低于" : "买入价格不得高于") +
               (r.sell ? "买一" : "卖一") + "价" + FormatCents(r.reference) + "元的" + (r.sell ? "98%" : "102%") +
               (r.growthBoard ? "" : "或" + std::string(r.sell ? "低" : "高") + "出10个价位");
    case OrderRefusalReason::kBuyNotWholeLots:
        return "买入数量必须是100股的整数倍";
    case OrderRefusalReason::kBuyBelowMinimum:
        return "科创板买入数量不能少于200股";
    case OrderRefusalReason::kOddLotNotInFull:
        return "不足100股的零股部分须一次性卖出";
    case OrderRefusalReason::kSmallHoldingPart:
        return "科创板卖出不足200股时须一次性全部卖出";
    case OrderRefusalReason::kAboveMaximum:
        return "委托数量超过单笔上限" + std::to_string(r.count) + "股";
    case OrderRefusalReason::kSellNotWholeLots:
        return "卖出数量必须是100股的整数倍";
    case OrderRefusalReason::kFundsShort:
        return "可用资金不足（需要" + FormatCents(r.needed) + "元，可用" + FormatCents(r.available) + "元）";
    case OrderRefusalReason::kSharesShort: {
        std::string text = "可卖数量不足（可用" + std::to_string(r.count) + "股）";
        if (r.boughtToday > 0)
            text += "，今日买入的" + std::to_string(r.boughtToday) + "股下一交易日起才能卖出";
        return text;
    }
    case OrderRefusalReason::kFeesNotCovered:
        return "可用资金不足以支付交易费用";
    }
    return {};
}

std::string OrderReply(const OrderResult& result, std::string_view note) {
    if (result.refusal)
        return "1," + RefusalText(*result.refusal);
    std::string answer = "0,委托已受理，合同编号" + std::to_string(result.id);
    if (result.filledInFull)
        answer += "，已全部成交";
    else if (result.filled > 0)
        answer += "，已成交" + std::to_string(result.filled) + "股";
    answer += note;
    return answer;
}

std::string LoginReply(const Account& a, std::string_view info, std::string_view version,
                       std::string_view updateCommand) {
    std::string out = "0,,,";
    out.append(info).append(",,,").append(FormatCents(a.Available())).append(",,,").append(version);
    out.append(",,,").append(a.shAccount).append(":").append(a.szAccount);
    out.append(",,,").append(std::to_string(a.status)).append(",,,").append(a.name);
    out.append(",,,").append(updateCommand);
    return out;
}

std::string FundsReply(const FundsRow& funds) {
    // 资金余额 is the cash that open orders do not hold, so that it adds up with 冻结金额 and
    // 股票市值 to the total assets, the figure the ranking counts. The account's status
    // follows the nine figures.
    const std::string available = FormatCents(funds.Available());
    net::RecordFields<net::kFundsFieldCount> f;
    f[net::kFundsCashBalance] = available;
    f[net::kFundsWithdrawable] = available;
    f[net::kFundsFrozen] = FormatCents(funds.frozen);
    f[net::kFundsStockValue] = FormatCents(funds.stockValue);
    f[net::kFundsAvailable] = available;
    f[net::kFundsTotalAssets] = FormatCents(funds.Total());
    f[net::kFundsMargin] = "0.00";
    f[net::kFundsValue7] = "0";
    f[net::kFundsBuyingPower] = "100";
    f[net::kFundsAccountStatus] = std::to_string(funds.status);
    std::string out;
    f.AppendFields(out);
    return out;
}

std::string PositionsReply(const std::vector<PositionRow>& positions) {
    std::string out;
    for (const PositionRow& p : positions) {
        const Cents value = p.last * p.balance;
        const Cents profit = value - p.cost;
        const double ratio = p.cost > 0 ? 100.0 * static_cast<double>(profit) / static_cast<double>(p.cost) : 0.0;
        net::RecordFields<net::kPositionFieldCount> f;
        f[net::kPositionCode] = p.code;
        f[net::kPositionName] = p.name;
        f[net::kPositionBalance] = std::to_string(p.balance);
        f[net::kPositionAvailable] = std::to_string(p.available);
        f[net::kPositionFrozen] = std::to_string(p.frozen);
        f[net::kPositionProfit] = FormatCents(profit);
        f[net::kPositionCostPrice] = PriceText3(p.cost, p.balance);
        f[net::kPositionProfitRatio] = Percent(ratio);
        f[net::kPositionMarketPrice] = FormatCents(p.last);
        f[net::kPositionMarketValue] = FormatCents(value);
        const std::string record = f.Record();
        if (out.size() + record.size() > kMaxReplyBytes)
            break;
        out += record;
    }
    return out;
}

std::string OrdersReply(const std::vector<OrderRow>& orders) {
    return NewestThatFit(orders, [](const OrderRow& o) {
        net::RecordFields<net::kOrderFieldCount> f;
        f[net::kOrderCode] = o.code;
        f[net::kOrderName] = o.name;
        f[net::kOrderQuantity] = std::to_string(o.qty);
        f[net::kOrderFilled] = std::to_string(o.filled);
        f[net::kOrderPrice] = FormatCents(o.price);
        f[net::kOrderAvgPrice] = AveragePrice(o.filledAmount, o.filled);
        f[net::kOrderSide] = std::to_string(o.side);
        f[net::kOrderTime] = o.day + " " + o.time;
        f[net::kOrderStatus] = OrderStatusText(o.status, o.filled);
        f[net::kOrderContractNo] = std::to_string(o.id);
        return f.Record();
    });
}

std::string TradesReply(const std::vector<TradeRow>& trades) {
    return NewestThatFit(trades, [](const TradeRow& t) {
        net::RecordFields<net::kTradeFieldCount> f;
        f[net::kTradeDate] = t.day;
        f[net::kTradeTime] = t.time;
        f[net::kTradeCode] = t.code;
        f[net::kTradeName] = t.name;
        f[net::kTradeSide] = t.side == 2 ? "卖出" : "买入";
        f[net::kTradeAvgPrice] = FormatCents(t.price);
        f[net::kTradeQuantity] = std::to_string(t.qty);
        f[net::kTradeAmount] = FormatCents(t.amount);
        return f.Record();
    });
}

std::string FundsFlowReply(const std::vector<FundsFlowRow>& flow) {
    // The date alone, as the trade and settlement records carry it: the client's date column
    // has room for no more.
    return NewestThatFit(flow, [](const FundsFlowRow& r) {
        net::RecordFields<net::kFlowFieldCount> f;
        f[net::kFlowDate] = r.day;
        f[net::kFlowSummary] = r.summary;
        f[net::kFlowCode] = r.code;
        f[net::kFlowName] = r.name;
        f[net::kFlowOperation] = r.operation;
        f[net::kFlowQuantity] = std::to_string(r.qty);
        f[net::kFlowAvgPrice] = FormatCents(r.price);
        f[net::kFlowAmount] = FormatCents(r.amount);
        f[net::kFlowBalance] = FormatCents(r.balance);
        return f.Record();
    });
}

std::string SettlementReply(const std::vector<SettlementRow>& settlements, const std::string& shAccount,
                            const std::string& szAccount) {
    return NewestThatFit(settlements, [&](const SettlementRow& s) {
        net::RecordFields<net::kSettlementFieldCount> f;
        f[net::kSettlementDate] = s.day;
        f[net::kSettlementCode] = s.code;
        f[net::kSettlementName] = s.name;
        f[net::kSettlementSummary] = s.summary;
        f[net::kSettlementQuantity] = std::to_string(s.qty);
        f[net::kSettlementAvgPrice] = FormatCents(s.price);
        f[net::kSettlementTradeAmount] = FormatCents(s.amount);
        f[net::kSettlementSettledAmount] = FormatCents(s.settled);
        f[net::kSettlementCommission] = FormatCents(s.commission);
        f[net::kSettlementStampDuty] = FormatCents(s.stampDuty);
        f[net::kSettlementTransferFee] = FormatCents(s.transferFee);
        // The balance after it stands where the other fees would (not stored): the client
        // reads no figure there.
        f[net::kSettlementOtherFees] = FormatCents(s.balance);
        f[net::kSettlementContractNo] = std::to_string(s.contractNo);
        f[net::kSettlementHolder] = net::ExchangeOf(s.code) == net::Exchange::kShanghai ? shAccount : szAccount;
        return f.Record();
    });
}

} // namespace server
