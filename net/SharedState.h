#pragma once

#include "net/QuoteCodes.h"
#include "net/QuoteTable.h"
#include "net/Records.h"
#include "net/SharedTable.h"
#include "wire/Commands.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace net {

// The user name and password appended to every request. Written by the login on the user
// interface thread, read by every thread that sends, so they are read and written whole.
class Credentials final {
public:
    void Set(std::string user, std::string password) {
        std::lock_guard lock(mutex_);
        user_ = std::move(user);
        password_ = std::move(password);
    }
    void SetUser(std::string user) {
        std::lock_guard lock(mutex_);
        user_ = std::move(user);
    }
    std::string CurrentUser() const {
        std::lock_guard lock(mutex_);
        return user_;
    }
    std::string CurrentPassword() const {
        std::lock_guard lock(mutex_);
        return password_;
    }
    std::pair<std::string, std::string> Get() const {
        std::lock_guard lock(mutex_);
        return {user_, password_};
    }

private:
    mutable std::mutex mutex_;
    std::string user_;
    std::string password_;
};

using PositionTable = SharedTable<PositionRecord, kPositionCapacity>;
using TodayTradeTable = SharedTable<TradeRecord, kTodayTradeCapacity>;
using TodayOrderTable = SharedTable<OrderRecord, kTodayOrderCapacity>;
using HistoryOrderTable = SharedTable<OrderRecord, kHistoryCapacity>;
using HistoryTradeTable = SharedTable<TradeRecord, kHistoryCapacity>;
using FundsFlowTable = SharedTable<FundsFlowRecord, kHistoryCapacity>;
using SettlementTable = SharedTable<SettlementRecord, kHistoryCapacity>;

struct ServerEndpoint {
    std::string host;
    int port = kDefaultPort;
};

// Everything that the trading link and the client's windows share. The client's
// application object owns one; tests make their own. All texts are GBK bytes.
struct SharedState {
    // Connection target.
    std::string serverAddress = "127.0.0.1";
    int port = kDefaultPort;
    // Servers tried in turn after serverAddress:port, one further on every failed connect or
    // broken connection, then round again: a standby that takes over a contest listens on
    // another address. Set before the link starts.
    std::vector<ServerEndpoint> moreServers;

    Credentials credentials; // currentUser / currentPassword

    // Texts of the login answer; user interface thread only.
    std::string loginInfoText;
    std::string availableFundsText;
    std::string shanghaiAccount;
    std::string shenzhenAccount = "0";
    std::string accountStatus;
    char loginAccount[64] = {}; // account for which the initial load has run

    // 1 while the initial load has not yet sent its first two queries.
    std::atomic<int> initialLoadPending{0};

    PositionTable positions;
    SharedRecord<FundsRecord> funds;
    TodayTradeTable todayTrades;
    TodayOrderTable todayOrders;
    // Created by the initial load; a history reply that arrives earlier is dropped.
    HistoryOrderTable historyOrders{false};
    HistoryTradeTable historyTrades{false};
    FundsFlowTable fundsFlow{false};
    SettlementTable settlement{false};

    QuoteTable quotes;
    QuoteCodes quoteCodes;
};

} // namespace net
