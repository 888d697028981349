#pragma once

#include "server/ledger/AccountRows.h"
#include "server/store/Store.h"

#include <cstdint>
#include <string>
#include <vector>

namespace server {

// The queries over an account's stored days (its orders, trades, funds flow and settlements),
// newest first, at most kMaxRows of them. Each reads only the rows it returns: it walks the
// (user, day) index backwards and stops at the limit, so asking costs what the answer holds,
// not the account's whole day. Holds its own statements on one store connection, so a reader
// thread can keep one beside the ledger's. Used by one thread at a time.
class AccountHistory final {
public:
    // More than one frame's worth of records: a frame holds no more.
    static constexpr std::size_t kMaxRows = 1024;

    explicit AccountHistory(Store& db);

    std::vector<OrderRow> Orders(std::int64_t userId, const std::string& from, const std::string& to);
    std::vector<TradeRow> Trades(std::int64_t userId, const std::string& from, const std::string& to);
    std::vector<FundsFlowRow> FundsFlow(std::int64_t userId, const std::string& from, const std::string& to);
    std::vector<SettlementRow> Settlements(std::int64_t userId, const std::string& from, const std::string& to);

private:
    template <class Row, class Read>
    std::vector<Row> NewestFirst(Statement& stmt, std::int64_t userId, const std::string& from, const std::string& to,
                                 Read read);

    Statement selectOrders_;
    Statement selectTrades_;
    Statement selectFlow_;
    Statement selectStatements_;
};

} // namespace server
