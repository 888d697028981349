#pragma once

#include "net/MarketData.h"
#include "net/QuoteCodes.h"
#include "net/QuoteTable.h"
#include "net/Records.h"
#include "net/SharedTable.h"
#include "wire/Commands.h"
#include "wire/Standing.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
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

// The last answers to command 23 (one per period) and 24, parsed. An answer to command 23
// does not name its period: answers come in the order asked, so the periods asked wait here
// in that order until answered (and are forgotten when the connection breaks).
class StandingTables final {
public:
    void NoteAsked(StandingPeriod period) {
        std::lock_guard lock(mutex_);
        asked_.push_back(period);
    }
    // The request was not written after all.
    void TakeBackAsked() {
        std::lock_guard lock(mutex_);
        if (!asked_.empty())
            asked_.pop_back();
    }
    void ForgetAsked() {
        std::lock_guard lock(mutex_);
        asked_.clear();
    }
    // An answer to command 23 (nothing when malformed): stored as the oldest period asked.
    void StoreStanding(std::optional<StandingAnswer> answer) {
        std::lock_guard lock(mutex_);
        ++answers_;
        if (asked_.empty())
            return;
        const StandingPeriod period = asked_.front();
        asked_.pop_front();
        if (answer)
            standing_[static_cast<std::size_t>(period)] = std::move(answer);
    }
    void StoreCurve(std::optional<std::vector<CurvePoint>> curve) {
        std::lock_guard lock(mutex_);
        ++answers_;
        if (curve)
            curve_ = std::move(curve);
    }
    std::optional<StandingAnswer> Standing(StandingPeriod period) const {
        std::lock_guard lock(mutex_);
        return standing_[static_cast<std::size_t>(period)];
    }
    std::optional<std::vector<CurvePoint>> Curve() const {
        std::lock_guard lock(mutex_);
        return curve_;
    }
    // Answers to command 23 or 24 received so far: none from an older server that ignores them.
    std::uint64_t Answers() const {
        std::lock_guard lock(mutex_);
        return answers_;
    }

private:
    mutable std::mutex mutex_;
    std::deque<StandingPeriod> asked_;
    std::array<std::optional<StandingAnswer>, 4> standing_;
    std::optional<std::vector<CurvePoint>> curve_;
    std::uint64_t answers_ = 0;
};

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
    StandingTables standing;

    QuoteTable quotes;
    QuoteCodes quoteCodes;
    MarketData market; // the quote board and the bars
};

} // namespace net
