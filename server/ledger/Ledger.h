#pragma once

#include "server/ledger/AccountHistory.h"
#include "server/ledger/DailyCloses.h"
#include "server/ledger/OrderResult.h"
#include "server/market/LocalTime.h"
#include "server/market/Market.h"
#include "server/market/Money.h"
#include "server/store/RowBatch.h"
#include "server/store/Store.h"
#include "wire/FeeSchedule.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace server {

class UserDirectory;

struct Position {
    std::string name;
    std::int64_t balance = 0;   // shares held, bought-today included
    std::int64_t available = 0; // shares that may be sold now (T+1)
    std::int64_t frozen = 0;    // shares held by open sell orders
    Cents cost = 0;             // total cost of the shares held, fees included
};

struct Account {
    std::int64_t id = 0;
    std::string name;
    std::string shAccount;
    std::string szAccount;
    int status = 0; // 0 normal, anything else frozen
    Cents initialCash = 0;
    Cents cash = 0;
    Cents frozen = 0; // funds held by open orders
    std::map<std::string, Position> positions;
    std::set<std::int64_t> openOrders;
    DayCloses closes;      // its total at every settlement, oldest first
    Cents pendingFlow = 0; // the organiser's money moved in (out, when negative) this trading day

    Cents Available() const { return cash - frozen; }
};

struct Order {
    std::int64_t id = 0;
    std::int64_t userId = 0;
    std::string day;
    std::string time;
    std::string code;
    std::string name;
    bool sell = false;
    Cents price = 0;
    std::int64_t qty = 0;
    std::int64_t filled = 0;
    Cents filledAmount = 0;
    Cents commission = 0;  // charged so far
    Cents transferFee = 0; // charged so far
    Cents frozenCash = 0;  // funds this order holds now
    OrderStatus status = OrderStatus::kOpen;
};

struct RankingRow {
    std::string name;
    int status = 0;
    Cents cash = 0;
    Cents stockValue = 0;
    Cents initialCash = 0;
    int positions = 0; // stocks held
    std::int64_t id = 0;
    Cents pendingFlow = 0;
    DayCloses closes;
};

enum class CancelResult { kCancelled, kNotFound, kAmbiguous };

// The accounts of a contest and every rule that changes them: orders, fills, cancels,
// fees, T+1 and the day rollover. Keeps the accounts, positions and open orders in memory
// and writes every change through to the database; the caller wraps calls in a
// transaction and calls Flush before committing it. All texts are UTF-8. Owned by one thread.
class Ledger final {
public:
    Ledger(Store& db, Market& market, net::FeeSchedule fees, UserDirectory* directory);

    // Reads every account and open order from the database (at start and after an admin
    // command changed the file behind the server's back), and forgets unwritten changes.
    void Load();
    // Writes what changed since the last call: each changed account, position and order once,
    // however often a batch changed it, and the new rows of each kind together. Call before
    // every commit; the queries call it themselves before they read.
    void Flush();

    // The current trading day ("2026-12-07"), kept in the database.
    const std::string& Day() const { return day_; }
    void SetDay(const std::string& day);

    Account* FindAccount(std::int64_t id);
    Account* FindAccount(std::string_view name);

    // Without `matchNow` the order waits for a call auction or the next session.
    OrderResult PlaceOrder(Account& account, std::string_view code, std::string_view priceText,
                           std::string_view numText, std::string_view typeText, const std::string& time,
                           bool matchNow = true);
    // Cancels one open order: the one numbered `idText` (合同编号) when it is given, otherwise
    // the one named by code, order quantity and order time, refusing when several match.
    CancelResult CancelMatching(Account& account, std::string_view code, std::string_view numText,
                                std::string_view time, std::string_view idText = {});
    // Cancels the open orders of one side (sells, buys) or both, oldest first and at most
    // `limit` of them; returns how many.
    int CancelAll(Account& account, bool sells, bool buys, std::size_t limit = SIZE_MAX);

    FundsRow Funds(const Account& account) const;
    // The securities held (a balance above 0), by code.
    std::vector<PositionRow> Positions(const Account& account) const;
    // The queries over the stored days, on the ledger's own connection, after writing what
    // changed.
    AccountHistory& History();

    // `samePassword`: the same password hashed at a new cost, not a change of password.
    void SetPasswordHash(Account& account, const std::string& hash, bool samePassword = false);

    // Matches every open order against the current book (after a market tick).
    // Returns the accounts whose orders took a fill, so that they can be told.
    std::vector<std::int64_t> MatchOpenOrders(const std::string& time);
    // A call auction: each security trades at one price, its last. Open orders whose limit
    // reaches it fill at it in time priority, as long as the other side of the book holds
    // volume (its five levels together); the rest stay open.
    void MatchCall(const std::string& time);
    // The last call auction held ("2026-03-06 1" opening, "... 2" closing), kept in the
    // database so that a restart neither repeats nor skips one.
    const std::string& CallsHeld() const { return callsHeld_; }
    void SetCallsHeld(const std::string& held);
    // Closes the trading day: each account's total and the market's index and median return
    // are recorded as the day's close, open orders expire, holdings become available, and
    // the day is recorded as closed; `newDay` becomes the trading day.
    // `now`: the moment of the close, recorded with the closed day.
    void Rollover(const std::string& newDay, const LocalTime& now);
    // The day a rollover made now opens: today, or the day after the current trading day
    // when that is today already (an organiser closing the day before midnight).
    std::string NextTradingDay(const std::string& today) const;
    // Writes the prices and day figures that changed, and where a replay stands.
    void SavePrices();
    // Takes back the day's stored prices and figures (and a replay's position).
    void RestorePrices();

    // Administration.
    std::int64_t AddUser(const std::string& name, const std::string& hash, Cents cash, const std::string& sh,
                         const std::string& sz, const std::string& day, const std::string& time);
    void SetStatus(Account& account, int status);
    // Back to the initial cash: the difference to the account's total is the organiser's
    // money (a flow of the trading day), not a gain or a loss.
    void Reset(Account& account, const std::string& day, const std::string& time);
    std::vector<RankingRow> Ranking() const;
    // The settlements of the contest, oldest first.
    const MarketCloses& MarketHistory() const { return marketCloses_; }
    // The equal-weighted index of every security: 1,000 points times the mean of each last
    // price over its price at the contest's start, in hundredths of a point.
    std::int64_t IndexNow() const;
    // Keeps the price at the start (the previous close) of every security the index has not
    // seen yet: at the contest's first start, and for a security added later.
    void KeepIndexBase();

    std::size_t OpenOrderCount() const { return openOrders_.size(); }
    // Every open order by id, for checks of what the accounts hold against them.
    const std::map<std::int64_t, Order>& OpenOrders() const { return openOrders_; }
    // An account's open orders past this are refused (0: no limit): one account's million
    // resting orders would slow every tick and every query.
    void SetMaxOpenOrders(std::size_t limit) { maxOpenOrders_ = limit; }
    // Fills made since the ledger was made, rolled-back ones included (for the metrics).
    std::uint64_t BuyFills() const { return buyFills_; }
    std::uint64_t SellFills() const { return sellFills_; }

private:
    Cents BuyFreeze(const Order& order) const;
    Cents SellFreeze(const Order& order) const;
    void Match(Order& order, Quote& quote, const std::string& time);
    void Fill(Order& order, std::int64_t qty, Cents price, const std::string& time);
    void Finish(Order& order, OrderStatus status);
    void SaveAccount(const Account& account);
    void SavePosition(Account& account, const std::string& code);
    void SaveOrder(const Order& order);
    Cents StockValue(const Account& account) const;
    void LoadCloses();
    void RecordCloses(const std::string& day);
    Cents LastPrice(const std::string& code, const Position& position) const;
    void AddFundsFlow(const Account& account, const std::string& day, const std::string& time, std::string_view summary,
                      std::string_view code, std::string_view name, std::string_view operation, std::int64_t qty,
                      Cents price, Cents amount);

    Store& db_;
    Market& market_;
    net::FeeSchedule fees_;
    UserDirectory* directory_;
    std::string day_;
    std::string callsHeld_;
    std::unordered_map<std::int64_t, Account> accounts_;
    std::unordered_map<std::string, std::int64_t> accountIds_;
    std::map<std::int64_t, Order> openOrders_; // by id: time priority
    std::int64_t nextOrderId_ = 1;
    // Changed since the last Flush; an order with `true` is new (not in the store yet).
    std::set<std::int64_t> dirtyAccounts_;
    std::set<std::pair<std::int64_t, std::string>> dirtyPositions_;
    std::map<std::int64_t, std::pair<Order, bool>> dirtyOrders_;
    std::size_t maxOpenOrders_ = 0;
    MarketCloses marketCloses_;
    std::unordered_map<std::string, Cents> indexBase_; // by code: its price at the contest's start
    // What SavePrices last wrote of each security, in the market's order.
    struct SavedPrice {
        std::string day;
        Cents prevClose = -1;
        Cents last = 0;
        DayStats stats;
        bool operator==(const SavedPrice&) const = default;
    };
    std::vector<SavedPrice> savedPrices_;
    std::uint64_t savedTick_ = 0;
    std::uint64_t buyFills_ = 0;
    std::uint64_t sellFills_ = 0;

    RowBatch newOrders_;
    RowBatch newTrades_;
    RowBatch newFlows_;
    RowBatch newStatements_;
    Statement updateOrder_;
    Statement updateAccount_;
    Statement upsertPosition_;
    Statement deletePosition_;
    AccountHistory history_;
};

} // namespace server
