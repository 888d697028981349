// The ledger's rules on their own, without sockets or threads: a store in memory, the fixed
// book, one account of 1,000,000.00. Each figure below is worked out by hand from the book
// (asks 300 at 10.00, 200 at 10.01, 1,000 at 10.02; bids 300 at 9.99, 200 at 9.98) and the
// default fees (commission 0.03 % with a 5.00 minimum per order, stamp duty 0.05 % on sells,
// transfer fee 0.001 %, each rounded to the cent on the order's running total).

#include "server/ledger/Ledger.h"
#include "server/market/Market.h"
#include "server/store/Store.h"
#include "tests/support/ServerHarness.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace tavix::test;

namespace {

class LedgerTest : public ::testing::Test {
protected:
    LedgerTest() {
        const std::string book = (dir.Path() / "book.csv").string();
        std::ofstream(book) << FixedBookCsv();
        std::string error;
        EXPECT_TRUE(market.LoadCsv(book, error)) << error;
        store->Begin();
        ledger.Load();
        ledger.SetDay(today.day);
        id = ledger.AddUser("ann", "-", 100'000'000, "A000001", "0000001", today.day, today.time);
        ledger.Flush();
        store->Commit();
    }

    server::Account& Ann() { return *ledger.FindAccount(id); }
    std::string Order(const char* price, const char* num, bool sell) {
        return ledger.PlaceOrder(Ann(), "600000", price, num, sell ? "2" : "1", today.time);
    }

    ScratchDir dir;
    std::unique_ptr<server::Store> store = [] {
        auto memory = server::OpenStore(":memory:");
        memory->Migrate();
        return memory;
    }();
    server::Market market{1, 10, 20};
    server::Ledger ledger{*store, market, net::FeeSchedule{}, nullptr};
    server::LocalTime today{"2026-03-04", "10:00:00", 10 * 60};
    std::int64_t id = 0;
};

TEST_F(LedgerTest, ABuyWalksTheBookAndItsRestHoldsWhatItMayStillCost) {
    // 300 × 10.00 + 200 × 10.01 = 5,002.00; commission 5.00 (the minimum); transfer fee 0.05.
    const std::string answer = Order("10.01", "1000", false);
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    EXPECT_EQ(Ann().cash, 100'000'000 - 500'200 - 500 - 5);
    const server::Position& held = Ann().positions.at("600000");
    EXPECT_EQ(held.balance, 500);
    EXPECT_EQ(held.available, 0); // bought today: T+1
    EXPECT_EQ(held.cost, 500'200 + 500 + 5);
    // The rest: 500 × 10.01 = 5,005.00; on 10,007.00 in all the commission stays 5.00, paid
    // already, and the transfer fee becomes 0.10, of which 0.05 is paid: 5,005.05 held.
    EXPECT_EQ(Ann().frozen, 500'505);
    ASSERT_EQ(ledger.OpenOrders().size(), 1u);
    const server::Order& rest = ledger.OpenOrders().begin()->second;
    EXPECT_EQ(rest.filled, 500);
    EXPECT_EQ(rest.frozenCash, 500'505);

    EXPECT_EQ(ledger.CancelAll(Ann(), false, true), 1);
    EXPECT_EQ(Ann().frozen, 0);
    EXPECT_EQ(Ann().cash, 99'499'295); // a cancel gives back what was held, nothing more
    EXPECT_TRUE(ledger.OpenOrders().empty());
}

TEST_F(LedgerTest, SharesBoughtTodaySellTheNextTradingDayWithStampDuty) {
    ASSERT_TRUE(Order("10.00", "300", false).starts_with("0,")); // 3,000.00 + 5.00 + 0.03
    EXPECT_EQ(Order("9.99", "100", true), "1,可卖数量不足（可用0股），今日买入的300股下一交易日起才能卖出");

    ledger.Rollover("2026-03-05", server::LocalTime{"2026-03-04", "15:00:00", 15 * 60});
    EXPECT_EQ(Ann().positions.at("600000").available, 300);
    const server::Cents before = Ann().cash;
    EXPECT_EQ(before, 100'000'000 - 300'000 - 500 - 3);
    // 200 × 9.99 = 1,998.00, less commission 5.00, stamp duty 1.00 (0.999) and transfer fee
    // 0.02 (0.01998): 1,991.98.
    ASSERT_TRUE(Order("9.99", "200", true).starts_with("0,"));
    EXPECT_EQ(Ann().cash - before, 199'198);
    EXPECT_EQ(Ann().positions.at("600000").balance, 100);

    // A sell that rests holds its shares, and a cancel gives them back.
    ASSERT_TRUE(Order("10.50", "100", true).starts_with("0,"));
    EXPECT_EQ(Ann().positions.at("600000").frozen, 100);
    EXPECT_EQ(Ann().positions.at("600000").available, 0);
    EXPECT_EQ(Order("10.50", "100", true), "1,可卖数量不足（可用0股）");
    EXPECT_EQ(ledger.CancelAll(Ann(), true, false), 1);
    EXPECT_EQ(Ann().positions.at("600000").frozen, 0);
    EXPECT_EQ(Ann().positions.at("600000").available, 100);
}

TEST_F(LedgerTest, WhatTheLedgerHoldsComesBackFromTheStore) {
    store->Begin();
    ASSERT_TRUE(Order("10.01", "1000", false).starts_with("0,"));
    ledger.Flush();
    store->Commit();
    ledger.Load(); // as after a restart
    EXPECT_EQ(Ann().cash, 99'499'295);
    EXPECT_EQ(Ann().frozen, 500'505);
    EXPECT_EQ(Ann().positions.at("600000").balance, 500);
    ASSERT_EQ(ledger.OpenOrders().size(), 1u);
    EXPECT_EQ(ledger.OpenOrders().begin()->second.frozenCash, 500'505);
    // A frozen account takes no orders, and loses nothing it holds.
    ledger.SetStatus(Ann(), 1);
    EXPECT_TRUE(Order("10.02", "100", false).starts_with("1,")) << Order("10.02", "100", false);
    EXPECT_EQ(Ann().cash, 99'499'295);
}

} // namespace
