#include "server/ledger/AccountHistory.h"

#include "server/ledger/Ledger.h"
#include "server/market/Money.h"
#include "wire/AccountRecords.h"
#include "wire/Board.h"
#include "wire/RecordFields.h"

#include <cstdio>
#include <vector>

namespace server {
namespace {

// Replies must fit one frame (65,535 bytes with the header); UTF-8 is never shorter than
// the GBK that goes out, so a cap on the UTF-8 length is safe.
constexpr std::size_t kMaxReplyBytes = 64000;
constexpr std::size_t kMaxRecords = 1024;

// Newest first: the day, then the id within it. Ids grow with time and a row is written on
// the trading day it belongs to, so this is the order of the ids, and the (user_id, day)
// index yields it without sorting (SQLite keeps the id, its row id, at the end of every index
// entry; PostgreSQL's index holds it since migration 4).
std::string NewestFirst(const char* select) {
    return std::string(select) + " WHERE user_id=? AND day>=? AND day<=? ORDER BY day DESC, id DESC LIMIT " +
           std::to_string(kMaxRecords);
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

} // namespace

AccountHistory::AccountHistory(Store& db)
    : selectOrders_(db.Prepare(NewestFirst("SELECT code, name, qty, filled, price, filled_amount, side, day, time, "
                                           "status, id FROM orders")
                                   .c_str()))
    , selectTrades_(
          db.Prepare(NewestFirst("SELECT day, time, code, name, side, price, qty, amount FROM trades").c_str()))
    , selectFlow_(db.Prepare(
          NewestFirst("SELECT day, summary, code, name, operation, qty, price, amount, balance FROM funds_flow")
              .c_str()))
    , selectStatements_(db.Prepare(NewestFirst("SELECT day, code, name, summary, qty, price, amount, settled, "
                                               "commission, stamp_duty, transfer_fee, balance, contract_no "
                                               "FROM statements")
                                       .c_str())) {}

template <class Row>
std::string AccountHistory::CollectNewestFirst(Statement& stmt, std::int64_t userId, const std::string& from,
                                               const std::string& to, Row row) {
    // Newest first until the frame is full, then oldest first on the wire.
    std::vector<std::string> records;
    std::size_t total = 0;
    stmt.Bind(1, userId).Bind(2, from).Bind(3, to);
    try {
        while (stmt.Step()) {
            std::string record = row(stmt);
            if (total + record.size() > kMaxReplyBytes || records.size() >= kMaxRecords)
                break;
            total += record.size();
            records.push_back(std::move(record));
        }
    } catch (...) {
        stmt.Reset(); // a reader must not keep its snapshot of the store open
        throw;
    }
    stmt.Reset();
    std::string out;
    out.reserve(total);
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        out += *it;
    return out;
}

std::string AccountHistory::Orders(std::int64_t userId, const std::string& from, const std::string& to) {
    return CollectNewestFirst(selectOrders_, userId, from, to, [](const Statement& s) {
        const std::int64_t filled = s.Int(3);
        net::RecordFields<net::kOrderFieldCount> f;
        f[net::kOrderCode] = s.Text(0);
        f[net::kOrderName] = s.Text(1);
        f[net::kOrderQuantity] = std::to_string(s.Int(2));
        f[net::kOrderFilled] = std::to_string(filled);
        f[net::kOrderPrice] = FormatCents(s.Int(4));
        f[net::kOrderAvgPrice] = AveragePrice(s.Int(5), filled);
        f[net::kOrderSide] = std::to_string(s.Int(6));
        f[net::kOrderTime] = s.Text(7) + " " + s.Text(8);
        f[net::kOrderStatus] = OrderStatusText(static_cast<OrderStatus>(s.Int(9)), filled);
        f[net::kOrderContractNo] = std::to_string(s.Int(10));
        return f.Record();
    });
}

std::string AccountHistory::Trades(std::int64_t userId, const std::string& from, const std::string& to) {
    return CollectNewestFirst(selectTrades_, userId, from, to, [](const Statement& s) {
        net::RecordFields<net::kTradeFieldCount> f;
        f[net::kTradeDate] = s.Text(0);
        f[net::kTradeTime] = s.Text(1);
        f[net::kTradeCode] = s.Text(2);
        f[net::kTradeName] = s.Text(3);
        f[net::kTradeSide] = s.Int(4) == 2 ? "卖出" : "买入";
        f[net::kTradeAvgPrice] = FormatCents(s.Int(5));
        f[net::kTradeQuantity] = std::to_string(s.Int(6));
        f[net::kTradeAmount] = FormatCents(s.Int(7));
        return f.Record();
    });
}

std::string AccountHistory::FundsFlow(std::int64_t userId, const std::string& from, const std::string& to) {
    // The date alone, as the trade and settlement records carry it: the client's date column
    // has room for no more.
    return CollectNewestFirst(selectFlow_, userId, from, to, [](const Statement& s) {
        net::RecordFields<net::kFlowFieldCount> f;
        f[net::kFlowDate] = s.Text(0);
        f[net::kFlowSummary] = s.Text(1);
        f[net::kFlowCode] = s.Text(2);
        f[net::kFlowName] = s.Text(3);
        f[net::kFlowOperation] = s.Text(4);
        f[net::kFlowQuantity] = std::to_string(s.Int(5));
        f[net::kFlowAvgPrice] = FormatCents(s.Int(6));
        f[net::kFlowAmount] = FormatCents(s.Int(7));
        f[net::kFlowBalance] = FormatCents(s.Int(8));
        return f.Record();
    });
}

std::string AccountHistory::Settlements(std::int64_t userId, const std::string& from, const std::string& to,
                                        const std::string& shAccount, const std::string& szAccount) {
    return CollectNewestFirst(selectStatements_, userId, from, to, [&](const Statement& s) {
        const std::string code = s.Text(1);
        net::RecordFields<net::kSettlementFieldCount> f;
        f[net::kSettlementDate] = s.Text(0);
        f[net::kSettlementCode] = code;
        f[net::kSettlementName] = s.Text(2);
        f[net::kSettlementSummary] = s.Text(3);
        f[net::kSettlementQuantity] = std::to_string(s.Int(4));
        f[net::kSettlementAvgPrice] = FormatCents(s.Int(5));
        f[net::kSettlementTradeAmount] = FormatCents(s.Int(6));
        f[net::kSettlementSettledAmount] = FormatCents(s.Int(7));
        f[net::kSettlementCommission] = FormatCents(s.Int(8));
        f[net::kSettlementStampDuty] = FormatCents(s.Int(9));
        f[net::kSettlementTransferFee] = FormatCents(s.Int(10));
        f[net::kSettlementOtherFees] = FormatCents(s.Int(11));
        f[net::kSettlementContractNo] = std::to_string(s.Int(12));
        f[net::kSettlementHolder] = net::ExchangeOf(code) == net::Exchange::kShanghai ? shAccount : szAccount;
        return f.Record();
    });
}

} // namespace server
