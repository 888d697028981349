#pragma once

#include "server/store/Store.h"

#include <cstdint>
#include <string>

namespace server {

// The queries over an account's stored days (its orders, trades, funds flow and settlements),
// answered as the protocol's records, newest first until the frame is full. Each reads only
// the rows it returns: it walks the (user, day) index backwards and stops at the frame's
// limit, so asking costs what the answer holds, not the account's whole day. Holds its own
// statements on one store connection, so a reader thread can keep one beside the ledger's.
// Used by one thread at a time.
class AccountHistory final {
public:
    explicit AccountHistory(Store& db);

    std::string Orders(std::int64_t userId, const std::string& from, const std::string& to);
    std::string Trades(std::int64_t userId, const std::string& from, const std::string& to);
    std::string FundsFlow(std::int64_t userId, const std::string& from, const std::string& to);
    // `shAccount`, `szAccount`: the holder codes each record names by its exchange.
    std::string Settlements(std::int64_t userId, const std::string& from, const std::string& to,
                            const std::string& shAccount, const std::string& szAccount);

private:
    template <class Row>
    std::string CollectNewestFirst(Statement& stmt, std::int64_t userId, const std::string& from, const std::string& to,
                                   Row row);

    Statement selectOrders_;
    Statement selectTrades_;
    Statement selectFlow_;
    Statement selectStatements_;
};

} // namespace server
