#include "server/ledger/Ledger.h"

#include "server/ledger/MarketHistory.h"
#include "server/ledger/UserDirectory.h"
#include "server/market/LocalTime.h"
#include "wire/Board.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace server {
namespace {

OrderResult Refused(OrderRefusalReason reason) {
    return {.refusal = OrderRefusal{.reason = reason}};
}

OrderResult Refused(OrderRefusal refusal) {
    return {.refusal = std::move(refusal)};
}

OrderRefusalReason QuantityRefusal(net::QuantityProblem problem) {
    switch (problem) {
    case net::QuantityProblem::kBuyNotWholeLots:
        return OrderRefusalReason::kBuyNotWholeLots;
    case net::QuantityProblem::kBuyBelowMinimum:
        return OrderRefusalReason::kBuyBelowMinimum;
    case net::QuantityProblem::kOddLotNotInFull:
        return OrderRefusalReason::kOddLotNotInFull;
    case net::QuantityProblem::kSmallHoldingPart:
        return OrderRefusalReason::kSmallHoldingPart;
    case net::QuantityProblem::kAboveMaximum:
    case net::QuantityProblem::kOk:
        break;
    }
    return OrderRefusalReason::kAboveMaximum;
}

// The price a new order is caged against: the other side's best price, else this side's,
// else the last trade.
Cents CageReference(const Quote& quote, bool buy) {
    const BookLevel& other = buy ? quote.asks[0] : quote.bids[0];
    const BookLevel& same = buy ? quote.bids[0] : quote.asks[0];
    if (other.price > 0 && other.volume > 0)
        return other.price;
    if (same.price > 0 && same.volume > 0)
        return same.price;
    return quote.last;
}

} // namespace

Ledger::Ledger(Store& db, Market& market, net::FeeSchedule fees, UserDirectory* directory)
    : db_(db)
    , market_(market)
    , fees_(fees)
    , directory_(directory)
    , newOrders_(db,
                 "INSERT INTO orders(id, user_id, day, time, code, name, side, price, qty, filled, "
                 "filled_amount, commission, frozen_cash, status, transfer_fee)",
                 15)
    , newTrades_(db,
                 "INSERT INTO trades(user_id, order_id, day, time, code, name, side, price, qty, amount, "
                 "commission, stamp_duty, transfer_fee)",
                 13)
    , newFlows_(db,
                "INSERT INTO funds_flow(user_id, day, time, summary, code, name, operation, qty, price, amount, "
                "balance)",
                11)
    , newStatements_(db,
                     "INSERT INTO statements(user_id, day, code, name, summary, qty, price, amount, settled, "
                     "commission, stamp_duty, transfer_fee, balance, contract_no)",
                     14)
    , updateOrder_(db.Prepare("UPDATE orders SET filled=?, filled_amount=?, commission=?, frozen_cash=?, status=?, "
                              "transfer_fee=? WHERE id=?"))
    , updateAccount_(db.Prepare("UPDATE users SET cash=?, frozen=? WHERE id=?"))
    , upsertPosition_(db.Prepare("INSERT INTO positions(user_id, code, name, balance, available, frozen, cost) "
                                 "VALUES(?,?,?,?,?,?,?) ON CONFLICT(user_id, code) DO UPDATE SET "
                                 "balance=excluded.balance, available=excluded.available, frozen=excluded.frozen, "
                                 "cost=excluded.cost"))
    , deletePosition_(db.Prepare("DELETE FROM positions WHERE user_id=? AND code=?"))
    , history_(db) {}

void Ledger::Load() {
    accounts_.clear();
    accountIds_.clear();
    openOrders_.clear();
    dirtyAccounts_.clear();
    dirtyPositions_.clear();
    dirtyOrders_.clear();
    for (RowBatch* rows : {&newOrders_, &newTrades_, &newFlows_, &newStatements_})
        rows->Clear();
    savedPrices_.clear(); // what the store holds may differ now: write every price again
    savedTick_ = 0;
    std::unordered_map<std::string, UserAuth> auth;

    Statement meta = db_.Prepare("SELECT value FROM meta WHERE key='day'");
    day_ = meta.Step() ? meta.Text(0) : std::string();
    Statement calls = db_.Prepare("SELECT value FROM meta WHERE key='calls_held'");
    callsHeld_ = calls.Step() ? calls.Text(0) : std::string();

    Statement users =
        db_.Prepare("SELECT id, name, pwhash, status, sh_account, sz_account, initial_cash, cash, frozen FROM users");
    while (users.Step()) {
        Account a;
        a.id = users.Int(0);
        a.name = users.Text(1);
        a.status = static_cast<int>(users.Int(3));
        a.shAccount = users.Text(4);
        a.szAccount = users.Text(5);
        a.initialCash = users.Int(6);
        a.cash = users.Int(7);
        a.frozen = users.Int(8);
        auth[a.name] = {a.id, users.Text(2)};
        accountIds_[a.name] = a.id;
        accounts_[a.id] = std::move(a);
    }
    if (directory_)
        directory_->Replace(std::move(auth));
    Statement positions =
        db_.Prepare("SELECT user_id, code, name, balance, available, frozen, cost FROM positions ORDER BY code");
    while (positions.Step()) {
        Account* a = FindAccount(positions.Int(0));
        if (!a)
            continue;
        Position& p = a->positions[positions.Text(1)];
        p.name = positions.Text(2);
        p.balance = positions.Int(3);
        p.available = positions.Int(4);
        p.frozen = positions.Int(5);
        p.cost = positions.Int(6);
    }
    Statement orders =
        db_.Prepare("SELECT id, user_id, day, time, code, name, side, price, qty, filled, "
                    "filled_amount, commission, frozen_cash, transfer_fee FROM orders WHERE status=0 ORDER BY id");
    while (orders.Step()) {
        Order o;
        o.id = orders.Int(0);
        o.userId = orders.Int(1);
        o.day = orders.Text(2);
        o.time = orders.Text(3);
        o.code = orders.Text(4);
        o.name = orders.Text(5);
        o.sell = orders.Int(6) == 2;
        o.price = orders.Int(7);
        o.qty = orders.Int(8);
        o.filled = orders.Int(9);
        o.filledAmount = orders.Int(10);
        o.commission = orders.Int(11);
        o.frozenCash = orders.Int(12);
        o.transferFee = orders.Int(13);
        Account* a = FindAccount(o.userId);
        if (!a)
            continue;
        a->openOrders.insert(o.id);
        openOrders_[o.id] = std::move(o);
    }
    // Orders are numbered here, not by the store: a new order's number is known without
    // asking the store, whose answer would cost a round trip per order.
    Statement last = db_.Prepare("SELECT COALESCE(MAX(id), 0) FROM orders");
    nextOrderId_ = (last.Step() ? last.Int(0) : 0) + 1;
    LoadCloses();
}

void Ledger::LoadCloses() {
    // The organiser's money by account and day; a flow of a settled day belongs to its close,
    // one of the current day is pending.
    std::unordered_map<std::int64_t, std::map<std::string, Cents>> flows;
    Statement flowRows = db_.Prepare("SELECT user_id, day, amount FROM cash_flows");
    while (flowRows.Step())
        flows[flowRows.Int(0)][flowRows.Text(1)] += flowRows.Int(2);
    std::unordered_map<std::int64_t, std::vector<DayClose>> closes;
    Statement totals = db_.Prepare("SELECT user_id, day, total FROM daily_totals ORDER BY user_id, day");
    while (totals.Step())
        closes[totals.Int(0)].push_back({totals.Text(1), totals.Int(2), 0, 1});
    for (auto& [id, a] : accounts_) {
        std::vector<DayClose>& own = closes[id];
        std::map<std::string, Cents>& money = flows[id];
        auto flow = money.begin();
        Cents previous = a.initialCash;
        double unit = 1;
        for (DayClose& c : own) {
            for (; flow != money.end() && flow->first <= c.day; ++flow)
                c.flow += flow->second;
            c.unit = unit = NextUnit(unit, previous, c.flow, c.total);
            previous = c.total;
        }
        a.pendingFlow = 0;
        for (; flow != money.end(); ++flow)
            a.pendingFlow += flow->second;
        a.closes = std::make_shared<const std::vector<DayClose>>(std::move(own));
    }
    std::vector<MarketClose> market;
    Statement days = db_.Prepare("SELECT day, index_close, median_return FROM daily_market ORDER BY day");
    while (days.Step())
        market.push_back({days.Text(0), days.Int(1), days.Int(2)});
    marketCloses_ = std::make_shared<const std::vector<MarketClose>>(std::move(market));
    indexBase_.clear();
    Statement base = db_.Prepare("SELECT code, price FROM index_base");
    while (base.Step())
        indexBase_[base.Text(0)] = base.Int(1);
}

void Ledger::KeepIndexBase() {
    for (const Quote& q : market_.Quotes()) {
        if (indexBase_.contains(q.code) || q.prevClose <= 0)
            continue;
        indexBase_[q.code] = q.prevClose;
        db_.Prepare("INSERT INTO index_base(code, price) VALUES(?, ?) ON CONFLICT(code) DO NOTHING")
            .Bind(1, q.code)
            .Bind(2, q.prevClose)
            .Run();
    }
}

std::int64_t Ledger::IndexNow() const {
    double sum = 0;
    int counted = 0;
    for (const Quote& q : market_.Quotes()) {
        const auto base = indexBase_.find(q.code);
        const Cents start = base != indexBase_.end() ? base->second : q.prevClose;
        if (start <= 0)
            continue;
        sum += static_cast<double>(q.last) / static_cast<double>(start);
        ++counted;
    }
    return counted == 0 ? 100000 : static_cast<std::int64_t>(std::llround(100000 * sum / counted));
}

void Ledger::RecordCloses(const std::string& day) {
    Statement insert = db_.Prepare("INSERT INTO daily_totals(user_id, day, total) VALUES(?,?,?) "
                                   "ON CONFLICT(user_id, day) DO NOTHING");
    std::vector<double> sinceStart;
    for (auto& [id, a] : accounts_) {
        const std::vector<DayClose>& before = *a.closes;
        if (!before.empty() && before.back().day >= day)
            continue; // settled already
        const Cents total = a.cash + StockValue(a);
        const Cents previous = before.empty() ? a.initialCash : before.back().total;
        const double unit = NextUnit(before.empty() ? 1 : before.back().unit, previous, a.pendingFlow, total);
        auto after = std::make_shared<std::vector<DayClose>>(before);
        after->push_back({day, total, a.pendingFlow, unit});
        a.closes = std::move(after);
        a.pendingFlow = 0;
        insert.Bind(1, id).Bind(2, day).Bind(3, total).Run();
        sinceStart.push_back(unit);
    }
    if (!marketCloses_->empty() && marketCloses_->back().day >= day)
        return;
    const std::int64_t index = IndexNow();
    const std::int64_t median = GrowthHundredths(Median(std::move(sinceStart)));
    db_.Prepare("INSERT INTO daily_market(day, index_close, median_return) VALUES(?,?,?) ON CONFLICT(day) DO NOTHING")
        .Bind(1, day)
        .Bind(2, index)
        .Bind(3, median)
        .Run();
    auto market = std::make_shared<std::vector<MarketClose>>(*marketCloses_);
    market->push_back({day, index, median});
    marketCloses_ = std::move(market);
}

void Ledger::SetDay(const std::string& day) {
    day_ = day;
    db_.Prepare("INSERT INTO meta(key, value) VALUES('day', ?) ON CONFLICT(key) DO UPDATE SET value=excluded.value")
        .Bind(1, day)
        .Run();
}

void Ledger::SetCallsHeld(const std::string& held) {
    callsHeld_ = held;
    db_.Prepare("INSERT INTO meta(key, value) VALUES('calls_held', ?) ON CONFLICT(key) DO UPDATE SET "
                "value=excluded.value")
        .Bind(1, held)
        .Run();
}

Account* Ledger::FindAccount(std::int64_t id) {
    const auto it = accounts_.find(id);
    return it == accounts_.end() ? nullptr : &it->second;
}

Account* Ledger::FindAccount(std::string_view name) {
    const auto it = accountIds_.find(std::string(name));
    return it == accountIds_.end() ? nullptr : FindAccount(it->second);
}

Cents Ledger::BuyFreeze(const Order& o) const {
    const Cents rest = o.price * (o.qty - o.filled);
    if (rest <= 0)
        return 0;
    // An upper bound of what the rest can cost: fills happen at the limit price or better,
    // and both commission and transfer fee are owed on the running total, so no number of
    // fills can round the charges above this.
    return rest + fees_.CommissionFor(o.filledAmount + rest) - o.commission + fees_.TransferFee(o.filledAmount + rest) -
           o.transferFee;
}

Cents Ledger::SellFreeze(const Order& o) const {
    const Cents rest = o.price * (o.qty - o.filled);
    if (rest <= 0)
        return 0;
    // Stamp duty is rounded per fill: a cent per possible book level covers that.
    const Cents charges = fees_.CommissionFor(o.filledAmount + rest) - o.commission + fees_.StampDuty(rest, true) +
                          fees_.TransferFee(o.filledAmount + rest) - o.transferFee + 5;
    return charges > rest ? charges - rest : 0;
}

OrderResult Ledger::PlaceOrder(Account& a, std::string_view code, std::string_view priceText, std::string_view numText,
                               std::string_view typeText, const std::string& time, bool matchNow) {
    using enum OrderRefusalReason;
    if (a.status != 0)
        return Refused(kAccountFrozen);
    if (maxOpenOrders_ != 0 && a.openOrders.size() >= maxOpenOrders_)
        return Refused({.reason = kTooManyOpenOrders, .count = static_cast<std::int64_t>(maxOpenOrders_)});
    if (typeText != "1" && typeText != "2")
        return Refused(kBadSide);
    const bool sell = typeText == "2";
    Quote* quote = market_.Find(code);
    if (!quote)
        return Refused({.reason = kNoSuchCode, .code = std::string(code)});
    const auto qty = ParseCount(numText);
    if (!qty || *qty <= 0)
        return Refused(kBadQuantity);
    const net::Board board = net::BoardOf(quote->code);
    const auto price = ParseCents(priceText);
    if (!price || *price <= 0)
        return Refused(kBadPrice);
    if (*price > quote->LimitUp() || *price < quote->LimitDown())
        return Refused({.reason = kOutsidePriceLimits, .low = quote->LimitDown(), .high = quote->LimitUp()});
    const Cents reference = CageReference(*quote, !sell);
    if (!net::InPriceCage(board, !sell, *price, reference))
        return Refused({.reason = kOutsidePriceCage,
                        .reference = reference,
                        .sell = sell,
                        .growthBoard = net::IsGrowthBoard(board)});

    Order o;
    o.userId = a.id;
    o.day = day_;
    o.time = time;
    o.code = quote->code;
    o.name = quote->name;
    o.sell = sell;
    o.price = *price;
    o.qty = *qty;
    Position* position = nullptr;
    if (!sell) {
        if (const auto problem = net::CheckBuy(board, *qty); problem != net::QuantityProblem::kOk)
            return Refused({.reason = QuantityRefusal(problem), .count = net::MaxOrderShares(board)});
        o.frozenCash = BuyFreeze(o);
        if (o.frozenCash > a.Available())
            return Refused({.reason = kFundsShort, .needed = o.frozenCash, .available = a.Available()});
    } else {
        const auto it = a.positions.find(o.code);
        const std::int64_t available = it == a.positions.end() ? 0 : it->second.available;
        if (*qty > available) {
            // Shares held but not yet sellable are today's purchases (T+1).
            const std::int64_t boughtToday =
                it == a.positions.end() ? 0 : it->second.balance - available - it->second.frozen;
            return Refused({.reason = kSharesShort, .count = available, .boughtToday = boughtToday});
        }
        if (const auto problem = net::CheckSell(board, *qty, available); problem != net::QuantityProblem::kOk) {
            // Without an odd lot in the holding the fault is the quantity, not an odd lot.
            if (problem == net::QuantityProblem::kOddLotNotInFull && available % 100 == 0)
                return Refused(kSellNotWholeLots);
            return Refused({.reason = QuantityRefusal(problem), .count = net::MaxOrderShares(board)});
        }
        o.frozenCash = SellFreeze(o);
        if (o.frozenCash > a.Available())
            return Refused(kFeesNotCovered);
        position = &it->second;
    }

    o.id = nextOrderId_++;
    dirtyOrders_[o.id] = {o, true};
    a.frozen += o.frozenCash;
    if (position) {
        position->available -= o.qty;
        position->frozen += o.qty;
        SavePosition(a, o.code);
    }
    SaveAccount(a);
    a.openOrders.insert(o.id);
    Order& stored = openOrders_[o.id] = std::move(o);
    const std::int64_t id = stored.id;
    const std::int64_t ordered = stored.qty;
    if (matchNow)
        Match(stored, *quote, time);

    const auto open = openOrders_.find(id); // gone once filled in full
    if (open == openOrders_.end())
        return {.id = id, .filled = ordered, .filledInFull = true};
    return {.id = id, .filled = open->second.filled};
}

void Ledger::Match(Order& o, Quote& quote, const std::string& time) {
    auto& levels = o.sell ? quote.bids : quote.asks;
    for (BookLevel& level : levels) {
        if (o.status != OrderStatus::kOpen || o.filled >= o.qty)
            break;
        if (level.price <= 0 || level.volume <= 0)
            continue;
        if (o.sell ? level.price < o.price : level.price > o.price)
            break;
        const std::int64_t qty = std::min(o.qty - o.filled, level.volume);
        level.volume -= qty;
        Fill(o, qty, level.price, time);
    }
    if (o.status == OrderStatus::kFilled) {
        const std::int64_t id = o.id;
        FindAccount(o.userId)->openOrders.erase(id);
        openOrders_.erase(id); // `o` dies here
    }
}

void Ledger::Fill(Order& o, std::int64_t qty, Cents price, const std::string& time) {
    if (Quote* q = market_.Find(o.code))
        Market::Trade(*q, qty, price); // contestants' trades are the market's volume too
    Account& a = *FindAccount(o.userId);
    Position& p = a.positions[o.code];
    if (p.name.empty())
        p.name = o.name;
    const Cents amount = price * qty;
    const Cents commissionTotal = fees_.CommissionFor(o.filledAmount + amount);
    const Cents commission = commissionTotal - o.commission;
    const Cents stamp = fees_.StampDuty(amount, o.sell);
    const Cents transferTotal = fees_.TransferFee(o.filledAmount + amount);
    const Cents transfer = transferTotal - o.transferFee;
    ++(o.sell ? sellFills_ : buyFills_);
    o.filled += qty;
    o.filledAmount += amount;
    o.commission = commissionTotal;
    o.transferFee = transferTotal;

    Cents settled = 0;
    if (!o.sell) {
        settled = -(amount + commission + transfer);
        p.balance += qty; // sellable from the next trading day
        p.cost += amount + commission + transfer;
    } else {
        settled = amount - commission - stamp - transfer;
        p.cost -= p.balance > 0 ? p.cost * qty / p.balance : 0;
        p.balance -= qty;
        p.frozen -= qty;
    }
    a.cash += settled;
    const Cents freeze = o.sell ? SellFreeze(o) : BuyFreeze(o);
    a.frozen += freeze - o.frozenCash;
    o.frozenCash = freeze;
    if (o.filled >= o.qty) {
        a.frozen -= o.frozenCash;
        o.frozenCash = 0;
        o.status = OrderStatus::kFilled;
    }

    const int side = o.sell ? 2 : 1;
    newTrades_.Add(
        {a.id, o.id, day_, time, o.code, o.name, std::int64_t{side}, price, qty, amount, commission, stamp, transfer});
    const char* summary = o.sell ? "证券卖出" : "证券买入";
    AddFundsFlow(a, day_, time, summary, o.code, o.name, o.sell ? "卖出" : "买入", qty, price, settled);
    newStatements_.Add({a.id, day_, o.code, o.name, std::string(summary), qty, price, amount, settled, commission,
                        stamp, transfer, a.cash, o.id});
    SaveOrder(o);
    SaveAccount(a);
    SavePosition(a, o.code);
}

void Ledger::Finish(Order& o, OrderStatus status) {
    Account& a = *FindAccount(o.userId);
    a.frozen -= o.frozenCash;
    o.frozenCash = 0;
    o.status = status;
    if (o.sell) {
        const auto it = a.positions.find(o.code);
        if (it != a.positions.end()) {
            const std::int64_t rest = o.qty - o.filled;
            it->second.frozen -= rest;
            it->second.available += rest;
            SavePosition(a, o.code);
        }
    }
    SaveOrder(o);
    SaveAccount(a);
    a.openOrders.erase(o.id);
    openOrders_.erase(o.id);
}

CancelResult Ledger::CancelMatching(Account& a, std::string_view code, std::string_view numText, std::string_view time,
                                    std::string_view idText) {
    if (!idText.empty()) {
        for (std::int64_t id : a.openOrders) {
            if (std::to_string(id) == idText) {
                Finish(openOrders_.at(id), OrderStatus::kCancelled);
                return CancelResult::kCancelled;
            }
        }
        return CancelResult::kNotFound;
    }
    Order* match = nullptr;
    for (std::int64_t id : a.openOrders) {
        Order& o = openOrders_.at(id);
        if (o.code == code && std::to_string(o.qty) == numText && o.day + " " + o.time == time) {
            if (match)
                return CancelResult::kAmbiguous; // two orders fit: cancelling either could be wrong
            match = &o;
        }
    }
    if (!match)
        return CancelResult::kNotFound;
    Finish(*match, OrderStatus::kCancelled);
    return CancelResult::kCancelled;
}

int Ledger::CancelAll(Account& a, bool sells, bool buys, std::size_t limit) {
    std::vector<std::int64_t> ids;
    for (auto it = a.openOrders.begin(); it != a.openOrders.end() && ids.size() < limit; ++it) {
        const Order& o = openOrders_.at(*it);
        if (o.sell ? sells : buys)
            ids.push_back(*it);
    }
    for (std::int64_t id : ids)
        Finish(openOrders_.at(id), OrderStatus::kCancelled);
    return static_cast<int>(ids.size());
}

std::vector<std::int64_t> Ledger::MatchOpenOrders(const std::string& time) {
    std::vector<std::int64_t> ids;
    ids.reserve(openOrders_.size());
    for (const auto& [id, o] : openOrders_)
        ids.push_back(id);
    std::vector<std::int64_t> filledAccounts;
    for (std::int64_t id : ids) {
        const auto it = openOrders_.find(id);
        if (it == openOrders_.end())
            continue;
        Quote* q = market_.Find(it->second.code);
        if (!q)
            continue;
        const std::int64_t userId = it->second.userId;
        const std::uint64_t fillsBefore = buyFills_ + sellFills_;
        Match(it->second, *q, time);
        if (buyFills_ + sellFills_ != fillsBefore &&
            std::find(filledAccounts.begin(), filledAccounts.end(), userId) == filledAccounts.end())
            filledAccounts.push_back(userId);
    }
    return filledAccounts;
}

void Ledger::MatchCall(const std::string& time) {
    std::vector<std::int64_t> ids;
    ids.reserve(openOrders_.size());
    for (const auto& [id, o] : openOrders_)
        ids.push_back(id);
    for (std::int64_t id : ids) {
        Order& o = openOrders_.at(id);
        Quote* q = market_.Find(o.code);
        if (!q)
            continue;
        const Cents price = q->last;
        if (price <= 0 || (o.sell ? o.price > price : o.price < price))
            continue;
        auto& levels = o.sell ? q->bids : q->asks;
        std::int64_t offered = 0;
        for (const BookLevel& level : levels)
            if (level.price > 0)
                offered += level.volume;
        const std::int64_t qty = std::min(o.qty - o.filled, offered);
        if (qty <= 0)
            continue;
        // One fill at the one price; the volume it takes leaves the book from its best level on.
        std::int64_t take = qty;
        for (BookLevel& level : levels) {
            const std::int64_t part = level.price > 0 ? std::min(take, level.volume) : 0;
            level.volume -= part;
            take -= part;
        }
        Fill(o, qty, price, time);
        if (o.status == OrderStatus::kFilled) {
            FindAccount(o.userId)->openOrders.erase(id);
            openOrders_.erase(id);
        }
    }
}

void Ledger::Rollover(const std::string& newDay, const LocalTime& now) {
    const std::string closing = day_;
    std::vector<std::int64_t> ids;
    for (const auto& [id, o] : openOrders_)
        ids.push_back(id);
    for (std::int64_t id : ids)
        Finish(openOrders_.at(id), OrderStatus::kExpired);
    for (auto& [id, a] : accounts_) {
        for (auto& [code, p] : a.positions) {
            if (p.available != p.balance - p.frozen) {
                p.available = p.balance - p.frozen;
                SavePosition(a, code);
            }
        }
    }
    if (!closing.empty())
        RecordCloses(closing);
    if (!closing.empty()) {
        db_.Prepare("INSERT INTO closed_days(day, closed_at) VALUES(?, ?) ON CONFLICT(day) DO NOTHING")
            .Bind(1, closing)
            .Bind(2, now.day + " " + now.time)
            .Run();
        MarketHistory::CloseDay(db_, market_, closing);
    }
    market_.StartDay();
    SetDay(newDay);
    SavePrices();
}

std::string Ledger::NextTradingDay(const std::string& today) const {
    return today > day_ ? today : NextDay(day_);
}

void Ledger::SavePrices() {
    // Only what changed since the last save is written: with thousands of securities most
    // batches change few or none.
    const std::vector<Quote>& quotes = market_.Quotes();
    if (savedPrices_.size() != quotes.size())
        savedPrices_.assign(quotes.size(), SavedPrice{});
    Statement s = db_.Prepare("INSERT INTO prices(code, day, prev_close, last, open, high, low, volume, amount) "
                              "VALUES(?,?,?,?,?,?,?,?,?) ON CONFLICT(code) DO UPDATE SET day=excluded.day, "
                              "prev_close=excluded.prev_close, last=excluded.last, open=excluded.open, "
                              "high=excluded.high, low=excluded.low, volume=excluded.volume, amount=excluded.amount");
    for (std::size_t i = 0; i < quotes.size(); ++i) {
        const Quote& q = quotes[i];
        const SavedPrice now{day_, q.prevClose, q.last, q.day};
        if (savedPrices_[i] == now)
            continue;
        s.Bind(1, q.code).Bind(2, day_).Bind(3, q.prevClose).Bind(4, q.last);
        s.Bind(5, q.day.open).Bind(6, q.day.high).Bind(7, q.day.low).Bind(8, q.day.volume).Bind(9, q.day.amount).Run();
        savedPrices_[i] = now;
    }
    if (market_.Replaying() && savedTick_ != market_.TickCount()) {
        // Where the replay stands, so that a restart in the same day goes on from there.
        db_.Prepare("INSERT INTO meta(key, value) VALUES('replay_tick', ?) ON CONFLICT(key) DO UPDATE SET "
                    "value=excluded.value")
            .Bind(1, day_ + " " + std::to_string(market_.TickCount()))
            .Run();
        savedTick_ = market_.TickCount();
    }
}

void Ledger::RestorePrices() {
    Statement s = db_.Prepare("SELECT code, prev_close, last, open, high, low, volume, amount FROM prices WHERE day=?");
    s.Bind(1, day_);
    while (s.Step())
        market_.Restore(s.Text(0), s.Int(1), s.Int(2), {s.Int(3), s.Int(4), s.Int(5), s.Int(6), s.Int(7)});
    s.Reset();
    Statement tick = db_.Prepare("SELECT value FROM meta WHERE key='replay_tick'");
    const std::string stood = tick.Step() ? tick.Text(0) : std::string();
    tick.Reset();
    if (stood.starts_with(day_ + " "))
        market_.ResumeReplay(ParseCount(std::string_view(stood).substr(day_.size() + 1)).value_or(0));
}

void Ledger::SaveAccount(const Account& a) {
    dirtyAccounts_.insert(a.id);
}

void Ledger::SavePosition(Account& a, const std::string& code) {
    const auto it = a.positions.find(code);
    if (it == a.positions.end())
        return;
    if (it->second.balance == 0 && it->second.frozen == 0)
        a.positions.erase(it); // Flush deletes its row
    dirtyPositions_.insert({a.id, code});
}

void Ledger::SaveOrder(const Order& o) {
    dirtyOrders_[o.id].first = o;
}

void Ledger::Flush() {
    for (const auto& [id, entry] : dirtyOrders_) {
        const auto& [o, added] = entry;
        if (added)
            newOrders_.Add({o.id, o.userId, o.day, o.time, o.code, o.name, std::int64_t{o.sell ? 2 : 1}, o.price, o.qty,
                            o.filled, o.filledAmount, o.commission, o.frozenCash, static_cast<std::int64_t>(o.status),
                            o.transferFee});
        else
            updateOrder_.Bind(1, o.filled)
                .Bind(2, o.filledAmount)
                .Bind(3, o.commission)
                .Bind(4, o.frozenCash)
                .Bind(5, static_cast<int>(o.status))
                .Bind(6, o.transferFee)
                .Bind(7, o.id)
                .Run();
    }
    dirtyOrders_.clear();
    for (RowBatch* rows : {&newOrders_, &newTrades_, &newFlows_, &newStatements_})
        rows->Write();
    for (const auto& [id, code] : dirtyPositions_) {
        const Account* a = FindAccount(id);
        const auto it = a ? a->positions.find(code) : std::map<std::string, Position>::const_iterator();
        if (!a || it == a->positions.end()) {
            deletePosition_.Bind(1, id).Bind(2, code).Run();
            continue;
        }
        const Position& p = it->second;
        upsertPosition_.Bind(1, id)
            .Bind(2, code)
            .Bind(3, p.name)
            .Bind(4, p.balance)
            .Bind(5, p.available)
            .Bind(6, p.frozen)
            .Bind(7, p.cost)
            .Run();
    }
    dirtyPositions_.clear();
    for (const std::int64_t id : dirtyAccounts_)
        if (const Account* a = FindAccount(id))
            updateAccount_.Bind(1, a->cash).Bind(2, a->frozen).Bind(3, a->id).Run();
    dirtyAccounts_.clear();
}

void Ledger::AddFundsFlow(const Account& a, const std::string& day, const std::string& time, std::string_view summary,
                          std::string_view code, std::string_view name, std::string_view operation, std::int64_t qty,
                          Cents price, Cents amount) {
    newFlows_.Add({a.id, day, time, std::string(summary), std::string(code), std::string(name), std::string(operation),
                   qty, price, amount, a.cash});
}

Cents Ledger::LastPrice(const std::string& code, const Position& p) const {
    if (const Quote* q = market_.Find(code))
        return q->last;
    return p.balance > 0 ? p.cost / p.balance : 0;
}

Cents Ledger::StockValue(const Account& a) const {
    Cents value = 0;
    for (const auto& [code, p] : a.positions)
        value += LastPrice(code, p) * p.balance;
    return value;
}

FundsRow Ledger::Funds(const Account& a) const {
    return {a.cash, a.frozen, StockValue(a), a.status};
}

std::vector<PositionRow> Ledger::Positions(const Account& a) const {
    std::vector<PositionRow> rows;
    for (const auto& [code, p] : a.positions)
        if (p.balance > 0)
            rows.push_back({code, p.name, p.balance, p.available, p.frozen, p.cost, LastPrice(code, p)});
    return rows;
}

AccountHistory& Ledger::History() {
    Flush(); // the batch's own changes are part of what it reads
    return history_;
}

void Ledger::SetPasswordHash(Account& a, const std::string& hash, bool samePassword) {
    db_.Prepare("UPDATE users SET pwhash=? WHERE id=?").Bind(1, hash).Bind(2, a.id).Run();
    if (directory_)
        directory_->Set(a.name, {a.id, hash}, samePassword);
}

std::int64_t Ledger::AddUser(const std::string& name, const std::string& hash, Cents cash, const std::string& sh,
                             const std::string& sz, const std::string& day, const std::string& time) {
    db_.Prepare("INSERT INTO users(name, pwhash, sh_account, sz_account, initial_cash, cash) VALUES(?,?,?,?,?,?)")
        .Bind(1, name)
        .Bind(2, hash)
        .Bind(3, sh)
        .Bind(4, sz)
        .Bind(5, cash)
        .Bind(6, cash)
        .Run();
    Account a;
    a.id = db_.LastInsertId();
    a.name = name;
    a.shAccount = sh;
    a.szAccount = sz;
    if (sh.empty() || sz.empty()) {
        // Shareholder accounts in the exchanges' usual shapes, unique through the user id.
        char text[16];
        std::snprintf(text, sizeof text, "A%09lld", static_cast<long long>(a.id));
        if (sh.empty())
            a.shAccount = text;
        std::snprintf(text, sizeof text, "0%09lld", static_cast<long long>(a.id));
        if (sz.empty())
            a.szAccount = text;
        db_.Prepare("UPDATE users SET sh_account=?, sz_account=? WHERE id=?")
            .Bind(1, a.shAccount)
            .Bind(2, a.szAccount)
            .Bind(3, a.id)
            .Run();
    }
    a.initialCash = cash;
    a.cash = cash;
    a.closes = std::make_shared<const std::vector<DayClose>>();
    if (directory_)
        directory_->Set(name, {a.id, hash});
    accountIds_[name] = a.id;
    Account& stored = accounts_[a.id] = std::move(a);
    AddFundsFlow(stored, day, time, "银证转账", "", "", "资金转入", 0, 0, cash);
    return stored.id;
}

void Ledger::SetStatus(Account& a, int status) {
    a.status = status;
    db_.Prepare("UPDATE users SET status=? WHERE id=?").Bind(1, status).Bind(2, a.id).Run();
}

void Ledger::Reset(Account& a, const std::string& day, const std::string& time) {
    Flush(); // nothing of the account's old state may be written after its rows are gone
    const Cents flow = a.initialCash - (a.cash + StockValue(a));
    if (flow != 0) {
        db_.Prepare("INSERT INTO cash_flows(user_id, day, amount) VALUES(?,?,?)")
            .Bind(1, a.id)
            .Bind(2, day_)
            .Bind(3, flow)
            .Run();
        a.pendingFlow += flow;
    }
    for (std::int64_t id : std::vector<std::int64_t>(a.openOrders.begin(), a.openOrders.end()))
        openOrders_.erase(id);
    a.openOrders.clear();
    a.positions.clear();
    a.cash = a.initialCash;
    a.frozen = 0;
    for (const char* sql : {"DELETE FROM orders WHERE user_id=?", "DELETE FROM trades WHERE user_id=?",
                            "DELETE FROM funds_flow WHERE user_id=?", "DELETE FROM statements WHERE user_id=?",
                            "DELETE FROM positions WHERE user_id=?"})
        db_.Prepare(sql).Bind(1, a.id).Run();
    SaveAccount(a);
    AddFundsFlow(a, day, time, "银证转账", "", "", "资金转入", 0, 0, a.cash);
}

std::vector<RankingRow> Ledger::Ranking() const {
    std::vector<RankingRow> rows;
    for (const auto& [id, a] : accounts_) {
        const auto held = std::count_if(a.positions.begin(), a.positions.end(),
                                        [](const auto& entry) { return entry.second.balance > 0; });
        rows.push_back({a.name, a.status, a.cash, StockValue(a), a.initialCash, static_cast<int>(held), id,
                        a.pendingFlow, a.closes});
    }
    std::sort(rows.begin(), rows.end(), [](const RankingRow& x, const RankingRow& y) {
        return x.cash + x.stockValue != y.cash + y.stockValue ? x.cash + x.stockValue > y.cash + y.stockValue
                                                              : x.name < y.name;
    });
    return rows;
}

} // namespace server
