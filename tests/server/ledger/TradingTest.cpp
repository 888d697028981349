// Orders against the fixed book: acceptance rules, fills, fees, cancels, T+1, persistence
// of every table a client reads.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

using namespace tavix::test;

namespace {

class ServerTradingTest : public ::testing::Test {
protected:
    ServerTradingTest()
        : client_(harness_.Port()) {
        harness_.AddUser("alice", "pw");
        EXPECT_EQ(Fields(client_.Login("alice", "pw"), ",,,")[0], "0");
    }

    std::string Order(const char* code, const char* price, const char* num, int type) {
        return client_.Request(net::kCmdOrder, std::string("code=") + code + "&price=" + price + "&num=" + num +
                                                   "&name=x&type=" + std::to_string(type));
    }
    std::vector<std::string> Funds() { return Fields(client_.Request(net::kCmdFunds)); }
    std::vector<std::vector<std::string>> Orders() {
        return Records(client_.Request(net::kCmdTodayOrders, "start=1-1-1"));
    }
    std::vector<std::vector<std::string>> Positions() { return Records(client_.Request(net::kCmdPositions)); }
    void Rollover() {
        harness_.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
            ledger.Rollover(ledger.NextTradingDay(now.day), now);
        });
    }
    // Polls a query until `done` holds (fills on later ticks), with a deadline.
    template <class F>
    bool Eventually(F done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    ServerHarness harness_;
    TestClient client_;
};

TEST_F(ServerTradingTest, BuyFillsAtTheAskWithFeesEverywhere) {
    const std::string answer = Order("600000", "10.00", "100", 1);
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    // 100 × 10.00 = 1,000.00; commission at its 5.00 minimum; transfer fee 0.01.
    const auto funds = Funds();
    EXPECT_EQ(funds[0], "998994.99");
    EXPECT_EQ(funds[2], "0.00");
    EXPECT_EQ(funds[3], "1000.00");
    EXPECT_EQ(funds[5], "999994.99");

    const auto positions = Positions();
    ASSERT_EQ(positions.size(), 1u);
    ASSERT_EQ(positions[0].size(), 10u);
    EXPECT_EQ(positions[0][0], "600000");
    EXPECT_EQ(positions[0][1], "浦发银行");
    EXPECT_EQ(positions[0][2], "100");
    EXPECT_EQ(positions[0][3], "0"); // T+1: not sellable today
    EXPECT_EQ(positions[0][5], "-5.01");
    EXPECT_EQ(positions[0][6], "10.050");
    EXPECT_EQ(positions[0][8], "10.00");
    EXPECT_EQ(positions[0][9], "1000.00");

    const auto orders = Orders();
    ASSERT_EQ(orders.size(), 1u);
    ASSERT_EQ(orders[0].size(), 10u);
    EXPECT_FALSE(orders[0][9].empty()); // the contract number (合同编号)
    EXPECT_EQ(orders[0][2], "100");
    EXPECT_EQ(orders[0][3], "100");
    EXPECT_EQ(orders[0][4], "10.00");
    EXPECT_EQ(orders[0][5], "10.00");
    EXPECT_EQ(orders[0][6], "1");

    const auto trades = Records(client_.Request(net::kCmdTodayTrades, "start=1-1-1"));
    ASSERT_EQ(trades.size(), 1u);
    ASSERT_EQ(trades[0].size(), 8u);
    EXPECT_EQ(trades[0][4], "买入");
    EXPECT_EQ(trades[0][6], "100");
    EXPECT_EQ(trades[0][7], "1000.00");

    const auto flow = Records(client_.Request(net::kCmdFundsFlow, "start=2000-1-1"));
    ASSERT_EQ(flow.size(), 2u);
    EXPECT_EQ(flow[1][1], "证券买入");
    EXPECT_EQ(flow[1][7], "-1005.01");
    EXPECT_EQ(flow[1][8], "998994.99");

    const auto statements = Records(client_.Request(net::kCmdSettlement, "start=2000-1-1&end=2999-1-1"));
    ASSERT_EQ(statements.size(), 1u);
    ASSERT_EQ(statements[0].size(), 14u);
    EXPECT_EQ(statements[0][3], "证券买入");
    EXPECT_EQ(statements[0][6], "1000.00");
    EXPECT_EQ(statements[0][7], "-1005.01");
    EXPECT_EQ(statements[0][8], "5.00");
    EXPECT_EQ(statements[0][9], "0.00");
    EXPECT_EQ(statements[0][10], "0.01");
}

TEST_F(ServerTradingTest, LargeBuyWalksTheBookAndRestFillsOnLaterTicks) {
    // 300 at 10.00 and 200 at 10.01 now; the rest waits for the book to refill.
    const std::string answer = Order("600000", "10.01", "1000", 1);
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    EXPECT_NE(answer.find("500"), std::string::npos) << answer;
    EXPECT_TRUE(Eventually([&] {
        const auto o = Orders();
        return o.size() == 1 && o[0][3] == "1000";
    }));
    const auto trades = Records(client_.Request(net::kCmdTodayTrades, "start=1-1-1"));
    ASSERT_EQ(trades.size(), 4u);
    EXPECT_EQ(trades[0][5], "10.00");
    EXPECT_EQ(trades[0][6], "300");
    EXPECT_EQ(trades[1][5], "10.01");
    EXPECT_EQ(trades[1][6], "200");
    EXPECT_EQ(Funds()[2], "0.00"); // nothing stays frozen once the order is done
    // The 5-yuan minimum applies to the order, not to each of its fills.
    double commission = 0;
    for (const auto& s : Records(client_.Request(net::kCmdSettlement, "start=2000-1-1")))
        commission += std::stod(s[8]);
    EXPECT_NEAR(commission, 5.00, 1e-9);
}

TEST(ServerHoursTest, OrdersOutsideTradingHoursAreRefused) {
    // The engine's clock stands at 10:00; the only session is at 22:00.
    ServerHarness harness([](server::ServerOptions& o) {
        o.hours = *server::TradingHours::Parse("22:00-22:01");
        o.clock = [] { return server::LocalTime{"2026-03-02", "10:00:00", 600}; };
    });
    harness.AddUser("night", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("night", "pw"), ",,,")[0], "0");
    const auto answer = Fields(client.Request(net::kCmdOrder, "code=600000&price=10.00&num=100&name=x&type=1"));
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_EQ(answer[0], "1");
    EXPECT_NE(answer[1].find("交易时间"), std::string::npos);
}

TEST_F(ServerTradingTest, PartialFillThenCancelReleasesTheRest) {
    const std::string answer = Order("000001", "10.00", "3000", 1);
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    // Only 300 are offered at 10.00 per tick; cancel as soon as the first part is in.
    auto orders = Orders();
    ASSERT_EQ(orders.size(), 1u);
    EXPECT_GE(std::stoi(orders[0][3]), 300);
    EXPECT_EQ(orders[0][8], "部分成交");
    EXPECT_EQ(client_.Request(net::kCmdCancelOne, "code=000001&num=3000&time=" + orders[0][7]), "0,撤单成功");
    // Part filled, the rest cancelled: 部撤.
    ASSERT_TRUE(Eventually([&] { return Orders()[0][8] == "部撤"; }));
    orders = Orders();
    const int filled = std::stoi(orders[0][3]);
    EXPECT_GE(filled, 300);
    EXPECT_LT(filled, 3000);
    const auto funds = Funds();
    EXPECT_EQ(funds[2], "0.00");
    EXPECT_EQ(Positions()[0][2], std::to_string(filled));
}

TEST_F(ServerTradingTest, RejectionsNameTheRule) {
    struct Case {
        const char* code;
        const char* price;
        const char* num;
        int type;
        const char* words;
    };
    const Case cases[] = {
        {"600000", "11.01", "100", 1, "涨跌停"}, // above +10%
        {"600000", "8.99", "100", 1, "涨跌停"},  // below -10%
        {"600000", "10.001", "100", 1, "0.01"},  // off the tick
        {"600000", "10.00", "150", 1, "100股"},  // not a lot
        {"600000", "10.00", "0", 1, "数量"},           {"600000", "10.00", "abc", 1, "数量"},
        {"600000", "10.00", "100000", 1, "资金不足"}, // 1,000,000 + fees > cash
        {"600000", "10.00", "100", 2, "可卖数量不足"}, {"999999", "10.00", "100", 1, "不存在"},
        {"600000", "10.00", "100", 3, "方向"},
    };
    for (const Case& c : cases) {
        const std::string answer = Order(c.code, c.price, c.num, c.type);
        const auto fields = Fields(answer);
        ASSERT_EQ(fields.size(), 2u) << answer;
        EXPECT_NE(fields[0], "0") << c.price << " " << c.num;
        EXPECT_NE(fields[1].find(c.words), std::string::npos) << answer;
    }
    // The growth board allows ±20%: 11.50 is inside its limits (only the price cage, 2 %
    // above the ask of 10.00, turns it away) while 12.01 is beyond them.
    EXPECT_NE(Order("300750", "11.50", "100", 1).find("价格笼子"), std::string::npos);
    EXPECT_NE(Order("300750", "12.01", "100", 1).find("涨跌停"), std::string::npos);
    EXPECT_TRUE(Order("300750", "10.20", "100", 1).starts_with("0,"));
    EXPECT_EQ(Orders().size(), 1u); // rejected orders leave no trace
}

TEST_F(ServerTradingTest, TPlusOneThenSellWithStampDuty) {
    ASSERT_TRUE(Order("600000", "10.00", "300", 1).starts_with("0,"));
    EXPECT_NE(Fields(Order("600000", "9.99", "100", 2))[0], "0"); // bought today: not sellable
    Rollover();
    auto positions = Positions();
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0][3], "300");
    const double cashBefore = std::stod(Funds()[0]);
    // A holding of whole lots sells in lots: 50 is refused, 100 at the bid of 9.99 goes.
    EXPECT_EQ(Order("600000", "9.99", "50", 2), "1,卖出数量必须是100股的整数倍");
    const std::string answer = Order("600000", "9.99", "100", 2);
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    // 999.00 − commission 5.00 − stamp duty 0.50 (0.4995) − transfer fee 0.01 (0.00999).
    EXPECT_NEAR(std::stod(Funds()[0]) - cashBefore, 993.49, 1e-6);
    positions = Positions();
    EXPECT_EQ(positions[0][2], "200");
    EXPECT_EQ(positions[0][3], "200");
    // The shares sold take their part of the cost with them: 300 cost 3,005.03 (3,000.00 +
    // 5.00 commission + 0.03 transfer fee); a third of that, 1,001.67 (cent fraction
    // dropped), leaves with the 100, so 200 cost 2,003.36: 10.017 each, worth 2,000.00 at
    // 10.00, a loss of 3.36, which is -0.17 % of the cost.
    EXPECT_EQ(positions[0][5], "-3.36");
    EXPECT_EQ(positions[0][6], "10.017");
    EXPECT_EQ(positions[0][7], "-0.17");
    EXPECT_EQ(positions[0][8], "10.00");
    EXPECT_EQ(positions[0][9], "2000.00");
    const auto trades = Records(client_.Request(net::kCmdTodayTrades, "start=1-1-1"));
    ASSERT_EQ(trades.size(), 1u);
    EXPECT_EQ(trades[0][4], "卖出");
    const auto statements = Records(client_.Request(net::kCmdSettlement, "start=2000-1-1"));
    ASSERT_FALSE(statements.empty());
    EXPECT_EQ(statements.back()[3], "证券卖出");
    EXPECT_EQ(statements.back()[9], "0.50");
    // A resting sell freezes its shares; selling more than what is left fails.
    ASSERT_TRUE(Order("600000", "10.50", "100", 2).starts_with("0,"));
    positions = Positions();
    EXPECT_EQ(positions[0][3], "100");
    EXPECT_EQ(positions[0][4], "100");
    EXPECT_NE(Fields(Order("600000", "10.50", "200", 2))[0], "0");
    // The order history sees both days' orders.
    EXPECT_EQ(Records(client_.Request(net::kCmdHistoryOrders, "start=2000-1-1&end=2999-12-31")).size(), 3u);
}

TEST_F(ServerTradingTest, CancelAllBySide) {
    ASSERT_TRUE(Order("600000", "10.00", "300", 1).starts_with("0,"));
    Rollover();
    ASSERT_TRUE(Order("600000", "9.50", "100", 1).starts_with("0,")); // below the ask: rests
    ASSERT_TRUE(Order("000001", "9.00", "100", 1).starts_with("0,"));
    ASSERT_TRUE(Order("600000", "10.50", "100", 2).starts_with("0,")); // above the bid: rests
    EXPECT_NE(Funds()[2], "0.00");

    EXPECT_EQ(client_.Request(net::kCmdCancelAllBuys, ""), "0,已撤销2笔委托");
    auto orders = Orders();
    ASSERT_EQ(orders.size(), 3u);
    EXPECT_EQ(orders[0][8], "已撤");
    EXPECT_EQ(orders[1][8], "已撤");
    EXPECT_EQ(orders[2][8], "未成交");
    EXPECT_EQ(orders[2][6], "2");
    EXPECT_EQ(Funds()[2], "0.00");

    EXPECT_EQ(client_.Request(net::kCmdCancelAllSells, ""), "0,已撤销1笔委托");
    EXPECT_EQ(client_.Request(net::kCmdCancelAllSells, ""), "1,没有可撤销的委托");
    orders = Orders();
    EXPECT_EQ(orders[2][8], "已撤");
    EXPECT_EQ(Positions()[0][3], "300");

    ASSERT_TRUE(Order("600000", "9.50", "100", 1).starts_with("0,"));
    ASSERT_TRUE(Order("600000", "10.50", "100", 2).starts_with("0,"));
    EXPECT_EQ(client_.Request(net::kCmdCancelAll, ""), "0,已撤销2笔委托");
    EXPECT_EQ(client_.Request(net::kCmdCancelAll, ""), "1,没有可撤销的委托");
    for (const auto& o : Orders())
        EXPECT_EQ(o[8], "已撤");
    const auto funds = Funds();
    EXPECT_EQ(funds[2], "0.00");
    EXPECT_EQ(funds[1], funds[0]);
}

TEST_F(ServerTradingTest, CancelOneNeedsTheExactOrder) {
    ASSERT_TRUE(Order("600000", "9.50", "100", 1).starts_with("0,"));
    ASSERT_TRUE(Order("600000", "9.50", "200", 1).starts_with("0,"));
    const auto orders = Orders();
    const std::string missing = "1,没有找到可撤销的委托";
    EXPECT_EQ(client_.Request(net::kCmdCancelOne, "code=600000&num=300&time=" + orders[0][7]), missing); // quantity
    EXPECT_EQ(client_.Request(net::kCmdCancelOne, "code=000001&num=100&time=" + orders[0][7]), missing); // code
    EXPECT_EQ(client_.Request(net::kCmdCancelOne, "code=600000&num=200&time=" + orders[1][7]), "0,撤单成功");
    EXPECT_EQ(client_.Request(net::kCmdCancelOne, "code=600000&num=200&time=" + orders[1][7]), missing); // twice
    const auto after = Orders();
    EXPECT_EQ(after[0][8], "未成交");
    EXPECT_EQ(after[1][8], "已撤");
}

TEST_F(ServerTradingTest, FundsFiguresAddUpAndCarryTheStatus) {
    // A buy below the ask rests and holds 950.00 + 5.00 commission + 0.01 transfer fee.
    ASSERT_TRUE(Order("600000", "9.50", "100", 1).starts_with("0,"));
    auto funds = Funds();
    ASSERT_EQ(funds.size(), 10u);
    EXPECT_EQ(funds[0], "999044.99"); // 资金余额: not held by the order
    EXPECT_EQ(funds[1], "999044.99");
    EXPECT_EQ(funds[2], "955.01");
    EXPECT_EQ(funds[3], "0.00");
    EXPECT_EQ(funds[4], "999044.99");
    EXPECT_EQ(funds[5], "1000000.00"); // 资金余额 + 冻结金额 + 股票市值
    EXPECT_EQ(funds[9], "0");

    // A filled buy next to it: 100 × 10.00 + 5.00 + 0.01 leave the cash.
    ASSERT_TRUE(Order("600000", "10.00", "100", 1).starts_with("0,"));
    funds = Funds();
    EXPECT_EQ(funds[0], "998039.98");
    EXPECT_EQ(funds[2], "955.01");
    EXPECT_EQ(funds[3], "1000.00");
    EXPECT_EQ(funds[5], "999994.99");

    harness_.OnEngine(
        [](server::Ledger& ledger, const server::LocalTime&) { ledger.SetStatus(*ledger.FindAccount("alice"), 1); });
    EXPECT_EQ(Funds()[9], "1");
    EXPECT_NE(Fields(Order("600000", "10.00", "100", 1))[0], "0");
}

TEST_F(ServerTradingTest, RestingOrdersExpireAtRollover) {
    ASSERT_TRUE(Order("600000", "9.50", "100", 1).starts_with("0,"));
    EXPECT_NE(Funds()[2], "0.00");
    Rollover();
    EXPECT_EQ(Funds()[2], "0.00");
    EXPECT_TRUE(Orders().empty()); // a new trading day
    const auto history = Records(client_.Request(net::kCmdHistoryOrders, "start=2000-1-1&end=2999-1-1"));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0][3], "0");
}

} // namespace

namespace {

TEST(ServerFeesTest, TransferFeeIsChargedOnTheRunningTotalSoCashNeverGoesNegative) {
    // Every level offers 60 shares at exactly 10.00: a 1,200-share buy fills in 20 pieces
    // of 600.00 yuan. Per piece the transfer fee would round 0.006 up to 0.01 (0.20 in
    // all); on the running total it is 12,000.00 × 0.001 % = 0.12. Commission: the 5.00
    // minimum. The account holds exactly what the order needs: 12,000 + 5 + 0.12.
    ScratchDir dir;
    const auto csv = dir.Path() / "even.csv";
    std::ofstream(csv) << "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,100,100,100,100,100,"
                          "10.00,10.00,10.00,10.00,10.00,60,60,60,60,60\n";
    ServerHarness harness([&](server::ServerOptions& o) { o.quotesCsv = csv.string(); });
    harness.AddUser("frank", "pw", 1'200'512);
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("frank", "pw"), ",,,")[0], "0");
    const std::string answer = client.Request(net::kCmdOrder, "code=600000&price=10.00&num=1200&name=x&type=1");
    ASSERT_TRUE(answer.starts_with("0,")) << answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::vector<std::string>> orders;
    while (std::chrono::steady_clock::now() < deadline) {
        orders = Records(client.Request(net::kCmdTodayOrders, "start=1-1-1"));
        if (orders.size() == 1 && orders[0][3] == "1200")
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_EQ(orders.size(), 1u);
    ASSERT_EQ(orders[0][3], "1200");
    const auto funds = Fields(client.Request(net::kCmdFunds));
    EXPECT_EQ(funds[0], "0.00"); // cash
    EXPECT_EQ(funds[2], "0.00"); // frozen
    long transferCents = 0;
    for (const auto& s : Records(client.Request(net::kCmdSettlement, "start=2000-1-1")))
        transferCents += std::lround(std::stod(s[10]) * 100);
    EXPECT_EQ(transferCents, 12);
}

} // namespace

namespace {

TEST(ServerBoardRulesTest, QuantitiesFollowTheBoardAndPricesStayInTheCage) {
    // Asks from 10.00 (2.00 for the cheap ones), bids from 9.99 (1.99); every level 1,000.
    ScratchDir dir;
    const auto csv = dir.Path() / "boards.csv";
    {
        std::ofstream out(csv);
        for (const char* code : {"600000", "300750", "688981"})
            out << "0," << code << ",x,10.00,10.00,9.99,9.98,9.97,9.96,9.95,1000,1000,1000,1000,1000,"
                << "10.00,10.01,10.02,10.03,10.04,1000,1000,1000,1000,1000\n";
        for (const char* code : {"600001", "300001"})
            out << "0," << code << ",y,2.00,2.00,1.99,1.98,1.97,1.96,1.95,1000,1000,1000,1000,1000,"
                << "2.00,2.01,2.02,2.03,2.04,1000,1000,1000,1000,1000\n";
    }
    ServerHarness harness([&](server::ServerOptions& o) { o.quotesCsv = csv.string(); });
    harness.AddUser("gina", "pw", 10'000'000'000);
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("gina", "pw"), ",,,")[0], "0");
    const auto order = [&](const char* code, const char* price, const char* num, int type) {
        return client.Request(net::kCmdOrder, std::string("code=") + code + "&price=" + price + "&num=" + num +
                                                  "&name=x&type=" + std::to_string(type));
    };
    const auto refused = [](const std::string& answer, const char* why) {
        return answer.starts_with("1,") && answer.find(why) != std::string::npos;
    };

    // Lots: 100 on the main boards and ChiNext; STAR at least 200, then single shares.
    EXPECT_TRUE(refused(order("600000", "10.00", "150", 1), "100股的整数倍"));
    EXPECT_TRUE(refused(order("688981", "10.00", "100", 1), "200股"));
    EXPECT_TRUE(order("688981", "10.00", "250", 1).starts_with("0,"));
    // The largest order of each board.
    EXPECT_TRUE(refused(order("600000", "10.00", "1000100", 1), "上限1000000股"));
    EXPECT_TRUE(refused(order("300750", "10.00", "300100", 1), "上限300000股"));
    EXPECT_TRUE(refused(order("688981", "10.00", "100001", 1), "上限100000股"));

    // The cage: 2 % above the best ask of 10.00 is 10.20; at 2.00, ten ticks (2.10) are
    // wider than 2 % on the main board, while ChiNext keeps to 2 % (2.04).
    EXPECT_TRUE(order("600000", "10.20", "100", 1).starts_with("0,"));
    EXPECT_TRUE(refused(order("600000", "10.21", "100", 1), "价格笼子"));
    EXPECT_TRUE(order("600001", "2.10", "100", 1).starts_with("0,"));
    EXPECT_TRUE(refused(order("600001", "2.11", "100", 1), "价格笼子"));
    EXPECT_TRUE(order("300001", "2.04", "100", 1).starts_with("0,"));
    EXPECT_TRUE(refused(order("300001", "2.05", "100", 1), "价格笼子"));
    EXPECT_TRUE(refused(order("300750", "10.21", "100", 1), "价格笼子"));

    // Sells the next day: a STAR holding below 200 only in full, and 2 % under the best
    // bid of 9.99 is 9.7902, so 9.79 is out and 9.80 in.
    harness.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
        ledger.Rollover(ledger.NextTradingDay(now.day), now);
    });
    EXPECT_TRUE(refused(order("688981", "9.99", "150", 2), "200股"));
    EXPECT_TRUE(refused(order("688981", "9.79", "250", 2), "价格笼子"));
    EXPECT_TRUE(order("688981", "9.80", "210", 2).starts_with("0,"));
    EXPECT_TRUE(order("688981", "9.99", "40", 2).starts_with("0,")); // the rest of the holding
}

} // namespace
