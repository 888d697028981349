#include "server/ledger/AccountHistory.h"

namespace server {
namespace {

// Newest first: the day, then the id within it. Ids grow with time and a row is written on
// the trading day it belongs to, so this is the order of the ids, and the (user_id, day)
// index yields it without sorting (SQLite keeps the id, its row id, at the end of every index
// entry; PostgreSQL's index holds it since migration 4).
std::string NewestFirstSql(const char* select) {
    return std::string(select) + " WHERE user_id=? AND day>=? AND day<=? ORDER BY day DESC, id DESC LIMIT " +
           std::to_string(AccountHistory::kMaxRows);
}

} // namespace

AccountHistory::AccountHistory(Store& db)
    : selectOrders_(db.Prepare(NewestFirstSql("SELECT code, name, qty, filled, price, filled_amount, side, day, time, "
                                              "status, id FROM orders")
                                   .c_str()))
    , selectTrades_(
          db.Prepare(NewestFirstSql("SELECT day, time, code, name, side, price, qty, amount FROM trades").c_str()))
    , selectFlow_(db.Prepare(
          NewestFirstSql("SELECT day, summary, code, name, operation, qty, price, amount, balance FROM funds_flow")
              .c_str()))
    , selectStatements_(db.Prepare(NewestFirstSql("SELECT day, code, name, summary, qty, price, amount, settled, "
                                                  "commission, stamp_duty, transfer_fee, balance, contract_no "
                                                  "FROM statements")
                                       .c_str())) {}

template <class Row, class Read>
std::vector<Row> AccountHistory::NewestFirst(Statement& stmt, std::int64_t userId, const std::string& from,
                                             const std::string& to, Read read) {
    std::vector<Row> rows;
    stmt.Bind(1, userId).Bind(2, from).Bind(3, to);
    try {
        while (stmt.Step())
            rows.push_back(read(stmt));
    } catch (...) {
        stmt.Reset(); // a reader must not keep its snapshot of the store open
        throw;
    }
    stmt.Reset();
    return rows;
}

std::vector<OrderRow> AccountHistory::Orders(std::int64_t userId, const std::string& from, const std::string& to) {
    return NewestFirst<OrderRow>(selectOrders_, userId, from, to, [](const Statement& s) {
        return OrderRow{s.Text(0),
                        s.Text(1),
                        s.Int(2),
                        s.Int(3),
                        s.Int(4),
                        s.Int(5),
                        static_cast<int>(s.Int(6)),
                        s.Text(7),
                        s.Text(8),
                        static_cast<OrderStatus>(s.Int(9)),
                        s.Int(10)};
    });
}

std::vector<TradeRow> AccountHistory::Trades(std::int64_t userId, const std::string& from, const std::string& to) {
    return NewestFirst<TradeRow>(selectTrades_, userId, from, to, [](const Statement& s) {
        return TradeRow{s.Text(0), s.Text(1), s.Text(2), s.Text(3), static_cast<int>(s.Int(4)),
                        s.Int(5),  s.Int(6),  s.Int(7)};
    });
}

std::vector<FundsFlowRow> AccountHistory::FundsFlow(std::int64_t userId, const std::string& from,
                                                    const std::string& to) {
    return NewestFirst<FundsFlowRow>(selectFlow_, userId, from, to, [](const Statement& s) {
        return FundsFlowRow{s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4),
                            s.Int(5),  s.Int(6),  s.Int(7),  s.Int(8)};
    });
}

std::vector<SettlementRow> AccountHistory::Settlements(std::int64_t userId, const std::string& from,
                                                       const std::string& to) {
    return NewestFirst<SettlementRow>(selectStatements_, userId, from, to, [](const Statement& s) {
        return SettlementRow{s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Int(4),  s.Int(5), s.Int(6),
                             s.Int(7),  s.Int(8),  s.Int(9),  s.Int(10), s.Int(11), s.Int(12)};
    });
}

} // namespace server
