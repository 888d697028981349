#include "tests/net/LinkTestSupport.h"
#include "wire/GbkText.h"

#include <gtest/gtest.h>

#include <string>

namespace tavix::test {
namespace {

using net::FieldText;

class ParsersTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        MakeLink();
    }
};

TEST_F(ParsersTest, PositionsFillTheirSlotsAndSubscribeTheirCodes) {
    link->ParsePositions("600000,A,1000,1000,0,120.50,10.20,1.18,10.32,10320.00|");
    const auto r = state.positions.At(0);
    EXPECT_EQ(FieldText(r.code), "600000");
    EXPECT_EQ(FieldText(r.name), "A");
    EXPECT_EQ(FieldText(r.balance), "1000");
    EXPECT_EQ(FieldText(r.available), "1000");
    EXPECT_EQ(FieldText(r.frozen), "0");
    EXPECT_EQ(FieldText(r.profit), "120.50");
    EXPECT_EQ(FieldText(r.costPrice), "10.20");
    EXPECT_EQ(FieldText(r.profitRatio), "1.18");
    EXPECT_EQ(FieldText(r.marketPrice), "10.32");
    EXPECT_EQ(FieldText(r.marketValue), "10320.00");
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(1).code));
    EXPECT_EQ(state.quoteCodes.Get(), "600000");
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgPositionsStored});
}

TEST_F(ParsersTest, ShortPiecesLeaveTheirSlotEmptyAndReadersStopThere) {
    link->ParsePositions("600000,A,1|x,y|000001,B,2|");
    EXPECT_EQ(FieldText(state.positions.At(0).code), "600000");
    // Three fields are a record: the missing fields stay empty.
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(0).available));
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(1).code));
    EXPECT_EQ(FieldText(state.positions.At(2).code), "000001");
    EXPECT_EQ(state.positions.Count(&net::PositionRecord::code), 1u);
    EXPECT_EQ(state.quoteCodes.Get(), "600000,000001");
}

TEST_F(ParsersTest, EachReplyReplacesTheWholeTable) {
    link->ParseTodayTrades("2021-2-3,9:30:01,600000,A,\xC2\xF2\xC8\xEB,10.00,100,1000.00|"
                           "2021-2-3,9:31:00,000001,B,\xC2\xF4\xB3\xF6,11.00,200,2200.00|");
    ASSERT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 2u);
    const auto t = state.todayTrades.At(1);
    EXPECT_EQ(FieldText(t.tradeDate), "2021-2-3");
    EXPECT_EQ(FieldText(t.tradeTime), "9:31:00");
    EXPECT_EQ(FieldText(t.code), "000001");
    EXPECT_EQ(FieldText(t.name), "B");
    EXPECT_EQ(FieldText(t.side), "\xC2\xF4\xB3\xF6");
    EXPECT_EQ(FieldText(t.avgPrice), "11.00");
    EXPECT_EQ(FieldText(t.quantity), "200");
    EXPECT_EQ(FieldText(t.amount), "2200.00");

    link->ParseTodayTrades("2021-2-4,10:00:00,600001,C,x,1,1,1|");
    EXPECT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 1u);
    EXPECT_TRUE(net::FieldEmpty(state.todayTrades.At(1).tradeDate));
    link->ParseTodayTrades("");
    EXPECT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 0u);
    EXPECT_EQ(notifier.CountOf(net::kMsgTodayTradesStored), 3);
}

TEST_F(ParsersTest, OrdersKeepEveryField) {
    link->ParseTodayOrders("600000,A,300,100,10.50,10.45,1,2021-2-3 9:30:00,\xD2\xD1\xB3\xB7|");
    const auto o = state.todayOrders.At(0);
    EXPECT_EQ(FieldText(o.code), "600000");
    EXPECT_EQ(FieldText(o.name), "A");
    EXPECT_EQ(FieldText(o.orderQty), "300");
    EXPECT_EQ(FieldText(o.filledQty), "100");
    EXPECT_EQ(FieldText(o.orderPrice), "10.50");
    EXPECT_EQ(FieldText(o.avgPrice), "10.45");
    EXPECT_EQ(FieldText(o.side), "1");
    EXPECT_EQ(FieldText(o.orderTime), "2021-2-3 9:30:00");
    EXPECT_EQ(FieldText(o.status), "\xD2\xD1\xB3\xB7");
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgTodayOrdersStored});
}

TEST_F(ParsersTest, FundsKeepTheirValuesUnlessTheReplyHoldsARecord) {
    link->ParseFunds("1,2,3,4,5,6,7,8,9");
    auto f = state.funds.Get();
    EXPECT_EQ(FieldText(f.cashBalance), "1");
    EXPECT_EQ(FieldText(f.withdrawable), "2");
    EXPECT_EQ(FieldText(f.frozenFunds), "3");
    EXPECT_EQ(FieldText(f.stockValue), "4");
    EXPECT_EQ(FieldText(f.availableFunds), "5");
    EXPECT_EQ(FieldText(f.totalAssets), "6");
    EXPECT_EQ(FieldText(f.marginFunds), "7");
    EXPECT_EQ(FieldText(f.value7), "8");
    EXPECT_EQ(FieldText(f.value8), "9");
    EXPECT_TRUE(net::FieldEmpty(f.accountStatus)); // a server that does not tell
    EXPECT_EQ(notifier.Messages(), std::vector<int>{net::kMsgFundsStored});
    link->ParseFunds("");
    link->ParseFunds("a,b");
    EXPECT_EQ(FieldText(state.funds.Get().value8), "9");
    EXPECT_EQ(notifier.Messages().size(), 1u) << "nothing stored, nothing told";
    link->ParseFunds("10,20,30");
    f = state.funds.Get();
    EXPECT_EQ(FieldText(f.frozenFunds), "30");
    EXPECT_TRUE(net::FieldEmpty(f.stockValue));
    EXPECT_TRUE(net::FieldEmpty(f.value8));
    link->ParseFunds("1,2,3,4,5,6,7,8,9,1");
    EXPECT_EQ(FieldText(state.funds.Get().accountStatus), "1");
    EXPECT_EQ(notifier.Messages(), std::vector<int>(3, net::kMsgFundsStored));
}

TEST_F(ParsersTest, HistoryRepliesWaitForTheInitialLoad) {
    link->ParseHistoryOrders("600000,A,300,100,10.50,10.45,1,t,s|");
    link->ParseHistoryTrades("d,t,600000,A,s,1,1,1|");
    link->ParseFundsFlow("d,s,600000,A,o,1,1,1,1|");
    link->ParseSettlement("d,600000,A,s,1,1,1,1,1,1,1,11,12,13|");
    EXPECT_FALSE(state.historyOrders.Exists());
    EXPECT_TRUE(notifier.Events().empty());

    link->InitialLoadWorker(); // creates the tables; its requests fail without a connection
    notifier.Clear();
    link->ParseHistoryOrders("600000,A,300,100,10.50,10.45,1,t,s|");
    link->ParseHistoryTrades("d,t,600000,A,s,1,1,1|");
    link->ParseFundsFlow("2021-2-3,buy,600000,A,op,100,10.00,1000.00,5000.00|");
    EXPECT_EQ(FieldText(state.historyOrders.At(0).status), "s");
    EXPECT_EQ(FieldText(state.historyTrades.At(0).code), "600000");
    const auto flow = state.fundsFlow.At(0);
    EXPECT_EQ(FieldText(flow.date), "2021-2-3");
    EXPECT_EQ(FieldText(flow.summary), "buy");
    EXPECT_EQ(FieldText(flow.code), "600000");
    EXPECT_EQ(FieldText(flow.name), "A");
    EXPECT_EQ(FieldText(flow.operation), "op");
    EXPECT_EQ(FieldText(flow.quantity), "100");
    EXPECT_EQ(FieldText(flow.avgPrice), "10.00");
    EXPECT_EQ(FieldText(flow.amount), "1000.00");
    EXPECT_EQ(FieldText(flow.balance), "5000.00");
    EXPECT_EQ(notifier.Messages(), std::vector<int>(3, net::kMsgHistoryTableStored));
}

TEST_F(ParsersTest, SettlementSwapsItsLastTwoWireFields) {
    state.settlement.Create();
    link->ParseSettlement("2021-2-3,600000,A,sum,100,10.00,1000.00,-1005.00,5.00,0.00,0.02,w11,w12,w13|");
    const auto s = state.settlement.At(0);
    EXPECT_EQ(FieldText(s.tradeDate), "2021-2-3");
    EXPECT_EQ(FieldText(s.code), "600000");
    EXPECT_EQ(FieldText(s.name), "A");
    EXPECT_EQ(FieldText(s.summary), "sum");
    EXPECT_EQ(FieldText(s.quantity), "100");
    EXPECT_EQ(FieldText(s.avgPrice), "10.00");
    EXPECT_EQ(FieldText(s.tradeAmount), "1000.00");
    EXPECT_EQ(FieldText(s.settledAmount), "-1005.00");
    EXPECT_EQ(FieldText(s.commission), "5.00");
    EXPECT_EQ(FieldText(s.stampDuty), "0.00");
    EXPECT_EQ(FieldText(s.transferFee), "0.02");
    EXPECT_EQ(FieldText(s.value11), "w13");
    EXPECT_EQ(FieldText(s.contractNo), "w12");
}

TEST_F(ParsersTest, OverlongFieldsAreCutAndExtraPiecesDropped) {
    // A 16-byte name slot holds 15 bytes; the eighth two-byte character would end at byte 16.
    const std::string name = "X\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0";
    std::string body = "6000001234," + name + ",1000|";
    for (int i = 1; i < 70; ++i)
        body += std::to_string(100000 + i) + ",N,1|";
    link->ParsePositions(body);
    const auto r = state.positions.At(0);
    EXPECT_EQ(FieldText(r.code), "6000001");
    EXPECT_EQ(FieldText(r.name), name.substr(0, 15));
    EXPECT_EQ(FieldText(r.balance), "1000");
    EXPECT_EQ(state.positions.Count(&net::PositionRecord::code), static_cast<std::size_t>(net::kPositionCapacity));
    EXPECT_EQ(FieldText(state.positions.At(63).code), "100063");
}

TEST_F(ParsersTest, NoTableNotificationWithoutAMainWindow) {
    notifier.SetMainFrame(false);
    state.settlement.Create();
    link->ParsePositions("600000,A,1|");
    link->ParseTodayTrades("a,b,c|");
    link->ParseTodayOrders("a,b,c|");
    link->ParseSettlement("a,b,c|");
    link->QueryTodayOrders();
    EXPECT_TRUE(notifier.Events().empty());
    // The tables are stored all the same.
    EXPECT_EQ(FieldText(state.todayOrders.At(0).code), "a");
}

TEST_F(ParsersTest, RepliesOverTheWireReachTheirTables) {
    StartLink(QuietTimings());
    state.settlement.Create();
    server.Send(net::kCmdFunds, "1,2,3,4,5,6,7,8,9");
    server.Send(net::kCmdSettlement, "d,600000,A,s,1,1,1,1,1,1,1,11,12,13|");
    server.Send(net::kCmdPositions, "600000,A,1000|000001,B,500|");
    ASSERT_TRUE(notifier.WaitFor(net::kMsgPositionsStored, 1, 5s));
    EXPECT_EQ(FieldText(state.funds.Get().value8), "9");
    EXPECT_EQ(FieldText(state.settlement.At(0).contractNo), "12");
    EXPECT_EQ(notifier.Messages(),
              (std::vector<int>{net::kMsgFundsStored, net::kMsgHistoryTableStored, net::kMsgPositionsStored}));
    // Positions renew the quote subscription before they notify.
    const auto subscribe = server.WaitForCommand(net::kCmdQuoteSubscribe, 5s);
    ASSERT_TRUE(subscribe);
    EXPECT_EQ(subscribe->body, "code=600000,000001&curuser=u1&curpwd=p1");
}

} // namespace
} // namespace tavix::test
