#include "net/AccountQueries.h"
#include "tests/net/LinkTestSupport.h"
#include "wire/GbkText.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

namespace tavix::test {
namespace {

using net::FieldText;

// The answers stored by the account queries, on a link that is never started.
class ParsersTest : public LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        MakeLink();
        queries = std::make_unique<net::AccountQueries>(state, notifier, *link);
    }

    std::unique_ptr<net::AccountQueries> queries;
};

// One reply per table, each field of its record holding a value of its own; what every field of
// the stored record reads, in the record's order, and the one notification that follows.
struct RecordCase {
    const char* name;
    void (net::AccountQueries::*store)(std::string_view);
    std::string reply;
    int at; // the record read back
    std::vector<std::string> (*stored)(const net::SharedState&, int at);
    std::vector<std::string> fields;
    int message;
};

template <class Record, class... Member>
std::vector<std::string> FieldsOf(const Record& r, Member... member) {
    return {std::string(FieldText(r.*member))...};
}

const RecordCase kRecords[] = {
    {"positions",
     &net::AccountQueries::StorePositions,
     "600000,A,1000,1000,0,120.50,10.20,1.18,10.32,10320.00|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.positions.At(at);
         using P = net::PositionRecord;
         return FieldsOf(r, &P::code, &P::name, &P::balance, &P::available, &P::frozen, &P::profit, &P::costPrice,
                         &P::profitRatio, &P::marketPrice, &P::marketValue);
     },
     {"600000", "A", "1000", "1000", "0", "120.50", "10.20", "1.18", "10.32", "10320.00"},
     net::kMsgPositionsStored},
    {"today's trades",
     &net::AccountQueries::StoreTodayTrades,
     "2021-2-3,9:30:01,600000,A,\xC2\xF2\xC8\xEB,10.00,100,1000.00|"
     "2021-2-3,9:31:00,000001,B,\xC2\xF4\xB3\xF6,11.00,200,2200.00|",
     1,
     [](const net::SharedState& s, int at) {
         const auto r = s.todayTrades.At(at);
         using T = net::TradeRecord;
         return FieldsOf(r, &T::tradeDate, &T::tradeTime, &T::code, &T::name, &T::side, &T::avgPrice, &T::quantity,
                         &T::amount);
     },
     {"2021-2-3", "9:31:00", "000001", "B", "\xC2\xF4\xB3\xF6", "11.00", "200", "2200.00"},
     net::kMsgTodayTradesStored},
    {"today's orders",
     &net::AccountQueries::StoreTodayOrders,
     "600000,A,300,100,10.50,10.45,1,2021-2-3 9:30:00,\xD2\xD1\xB3\xB7|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.todayOrders.At(at);
         using O = net::OrderRecord;
         return FieldsOf(r, &O::code, &O::name, &O::orderQty, &O::filledQty, &O::orderPrice, &O::avgPrice, &O::side,
                         &O::orderTime, &O::status, &O::contractNo);
     },
     {"600000", "A", "300", "100", "10.50", "10.45", "1", "2021-2-3 9:30:00", "\xD2\xD1\xB3\xB7", ""},
     net::kMsgTodayOrdersStored},
    {"today's orders with their contract numbers",
     &net::AccountQueries::StoreTodayOrders,
     "600000,A,300,100,10.50,10.45,1,2021-2-3 9:30:00,s,17|000001,B,200,0,9.00,0.00,2,2021-2-3 9:31:00,t,18|",
     1,
     [](const net::SharedState& s, int at) {
         const auto r = s.todayOrders.At(at);
         using O = net::OrderRecord;
         return FieldsOf(r, &O::code, &O::name, &O::orderQty, &O::filledQty, &O::orderPrice, &O::avgPrice, &O::side,
                         &O::orderTime, &O::status, &O::contractNo);
     },
     {"000001", "B", "200", "0", "9.00", "0.00", "2", "2021-2-3 9:31:00", "t", "18"},
     net::kMsgTodayOrdersStored},
    {"funds",
     &net::AccountQueries::StoreFunds,
     "1,2,3,4,5,6,7,8,9",
     0,
     [](const net::SharedState& s, int) {
         const auto r = s.funds.Get();
         using F = net::FundsRecord;
         return FieldsOf(r, &F::cashBalance, &F::withdrawable, &F::frozenFunds, &F::stockValue, &F::availableFunds,
                         &F::totalAssets, &F::marginFunds, &F::value7, &F::value8, &F::accountStatus);
     },
     {"1", "2", "3", "4", "5", "6", "7", "8", "9", ""}, // a server that does not tell the status
     net::kMsgFundsStored},
    {"funds with the account's status",
     &net::AccountQueries::StoreFunds,
     "1,2,3,4,5,6,7,8,9,1",
     0,
     [](const net::SharedState& s, int) {
         const auto r = s.funds.Get();
         using F = net::FundsRecord;
         return FieldsOf(r, &F::cashBalance, &F::value8, &F::accountStatus);
     },
     {"1", "9", "1"},
     net::kMsgFundsStored},
    {"history orders",
     &net::AccountQueries::StoreHistoryOrders,
     "600000,A,300,100,10.50,10.45,1,t,s|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.historyOrders.At(at);
         using O = net::OrderRecord;
         return FieldsOf(r, &O::code, &O::orderQty, &O::orderTime, &O::status);
     },
     {"600000", "300", "t", "s"},
     net::kMsgHistoryTableStored},
    {"history trades",
     &net::AccountQueries::StoreHistoryTrades,
     "d,t,600000,A,s,1,1,1|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.historyTrades.At(at);
         using T = net::TradeRecord;
         return FieldsOf(r, &T::tradeDate, &T::code, &T::amount);
     },
     {"d", "600000", "1"},
     net::kMsgHistoryTableStored},
    {"funds flow",
     &net::AccountQueries::StoreFundsFlow,
     "2021-2-3,buy,600000,A,op,100,10.00,1000.00,5000.00|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.fundsFlow.At(at);
         using F = net::FundsFlowRecord;
         return FieldsOf(r, &F::date, &F::summary, &F::code, &F::name, &F::operation, &F::quantity, &F::avgPrice,
                         &F::amount, &F::balance);
     },
     {"2021-2-3", "buy", "600000", "A", "op", "100", "10.00", "1000.00", "5000.00"},
     net::kMsgHistoryTableStored},
    // The settlement's last two wire fields swap places in the record.
    {"settlement",
     &net::AccountQueries::StoreSettlement,
     "2021-2-3,600000,A,sum,100,10.00,1000.00,-1005.00,5.00,0.00,0.02,w11,w12,w13|",
     0,
     [](const net::SharedState& s, int at) {
         const auto r = s.settlement.At(at);
         using S = net::SettlementRecord;
         return FieldsOf(r, &S::tradeDate, &S::code, &S::name, &S::summary, &S::quantity, &S::avgPrice, &S::tradeAmount,
                         &S::settledAmount, &S::commission, &S::stampDuty, &S::transferFee, &S::value11,
                         &S::contractNo);
     },
     {"2021-2-3", "600000", "A", "sum", "100", "10.00", "1000.00", "-1005.00", "5.00", "0.00", "0.02", "w13", "w12"},
     net::kMsgHistoryTableStored},
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.name;
}

class RecordParsing : public LinkTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordParsing, EveryFieldLandsInItsSlot) {
    const RecordCase& c = GetParam();
    MakeLink();
    net::AccountQueries queries(state, notifier, *link);
    queries.InitialLoadWorker(); // creates the history tables; its requests fail without a connection
    notifier.Clear();
    (queries.*c.store)(c.reply);
    EXPECT_EQ(c.stored(state, c.at), c.fields);
    EXPECT_EQ(notifier.Messages(), std::vector<int>{c.message});
}

INSTANTIATE_TEST_SUITE_P(Replies, RecordParsing, ::testing::ValuesIn(kRecords), [](const auto& info) {
    std::string name;
    for (const char ch : std::string(info.param.name))
        name += std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

TEST_F(ParsersTest, PositionsSubscribeTheirCodes) {
    queries->StorePositions("600000,A,1000,1000,0,120.50,10.20,1.18,10.32,10320.00|");
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(1).code));
    EXPECT_EQ(state.quoteCodes.Get(), "600000");
}

TEST_F(ParsersTest, ShortPiecesLeaveTheirSlotEmptyAndReadersStopThere) {
    queries->StorePositions("600000,A,1|x,y|000001,B,2|");
    EXPECT_EQ(FieldText(state.positions.At(0).code), "600000");
    // Three fields are a record: the missing fields stay empty.
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(0).available));
    EXPECT_TRUE(net::FieldEmpty(state.positions.At(1).code));
    EXPECT_EQ(FieldText(state.positions.At(2).code), "000001");
    EXPECT_EQ(state.positions.Count(&net::PositionRecord::code), 1u);
    EXPECT_EQ(state.quoteCodes.Get(), "600000,000001");
}

TEST_F(ParsersTest, EachReplyReplacesTheWholeTable) {
    queries->StoreTodayTrades("2021-2-3,9:30:01,600000,A,\xC2\xF2\xC8\xEB,10.00,100,1000.00|"
                              "2021-2-3,9:31:00,000001,B,\xC2\xF4\xB3\xF6,11.00,200,2200.00|");
    ASSERT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 2u);

    queries->StoreTodayTrades("2021-2-4,10:00:00,600001,C,x,1,1,1|");
    EXPECT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 1u);
    EXPECT_TRUE(net::FieldEmpty(state.todayTrades.At(1).tradeDate));
    queries->StoreTodayTrades("");
    EXPECT_EQ(state.todayTrades.Count(&net::TradeRecord::code), 0u);
    EXPECT_EQ(notifier.CountOf(net::kMsgTodayTradesStored), 3);
}

TEST_F(ParsersTest, FundsKeepTheirValuesUnlessTheReplyHoldsARecord) {
    queries->StoreFunds("1,2,3,4,5,6,7,8,9");
    queries->StoreFunds("");
    queries->StoreFunds("a,b");
    EXPECT_EQ(FieldText(state.funds.Get().value8), "9");
    EXPECT_EQ(notifier.Messages().size(), 1u) << "nothing stored, nothing told";
    queries->StoreFunds("10,20,30");
    const auto f = state.funds.Get();
    EXPECT_EQ(FieldText(f.frozenFunds), "30");
    EXPECT_TRUE(net::FieldEmpty(f.stockValue));
    EXPECT_TRUE(net::FieldEmpty(f.value8));
    queries->StoreFunds("1,2,3,4,5,6,7,8,9,1");
    EXPECT_EQ(notifier.Messages(), std::vector<int>(3, net::kMsgFundsStored));
}

TEST_F(ParsersTest, HistoryRepliesWaitForTheInitialLoad) {
    queries->StoreHistoryOrders("600000,A,300,100,10.50,10.45,1,t,s|");
    queries->StoreHistoryTrades("d,t,600000,A,s,1,1,1|");
    queries->StoreFundsFlow("d,s,600000,A,o,1,1,1,1|");
    queries->StoreSettlement("d,600000,A,s,1,1,1,1,1,1,1,11,12,13|");
    EXPECT_FALSE(state.historyOrders.Exists());
    EXPECT_TRUE(notifier.Events().empty());

    queries->InitialLoadWorker(); // creates the tables; its requests fail without a connection
    notifier.Clear();
    queries->StoreHistoryOrders("600000,A,300,100,10.50,10.45,1,t,s|");
    queries->StoreHistoryTrades("d,t,600000,A,s,1,1,1|");
    queries->StoreFundsFlow("2021-2-3,buy,600000,A,op,100,10.00,1000.00,5000.00|");
    EXPECT_EQ(FieldText(state.historyOrders.At(0).status), "s");
    EXPECT_EQ(notifier.Messages(), std::vector<int>(3, net::kMsgHistoryTableStored));
}

TEST_F(ParsersTest, OverlongFieldsAreCutAndExtraPiecesDropped) {
    // A 16-byte name slot holds 15 bytes; the eighth two-byte character would end at byte 16.
    const std::string name = "X\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0\xD6\xD0";
    std::string body = "6000001234," + name + ",1000|";
    for (int i = 1; i < 70; ++i)
        body += std::to_string(100000 + i) + ",N,1|";
    queries->StorePositions(body);
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
    queries->StorePositions("600000,A,1|");
    queries->StoreTodayTrades("a,b,c|");
    queries->StoreTodayOrders("a,b,c|");
    queries->StoreSettlement("a,b,c|");
    link->QueryTodayOrders();
    EXPECT_TRUE(notifier.Events().empty());
    // The tables are stored all the same.
    EXPECT_EQ(FieldText(state.todayOrders.At(0).code), "a");
}

TEST_F(ParsersTest, RepliesOverTheWireReachTheirTables) {
    queries.reset(); // the started link stores with its own
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
