// The client's trading link against the real contest server, over loopback: every table the
// client shows must come out of the server's replies with the layout the client parses.

#include "net/AccountQueries.h"
#include "net/TradingLink.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/QuorvexdProcess.h"
#include "tests/support/RecordingNotifier.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"
#include "wire/SplitText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using tavix::test::Gbk;
using tavix::test::RecordingNotifier;
using tavix::test::WaitUntil;

namespace {

class LinkAgainstServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start()) << "quorvexd did not start";
        state.serverAddress = "127.0.0.1";
        state.port = server.Port();
        state.credentials.Set("demo", "demo123");
        link.Start();
        ASSERT_TRUE(WaitUntil([&] { return link.Socket().Connected(); }));
    }

    std::vector<std::string_view> LoginFields() {
        EXPECT_TRUE(link.SendRequest(net::kCmdLogin, "user_name=demo&pwd=demo123&yjm=0123"));
        EXPECT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 10s));
        loginReply = notifier.Events().back().body;
        return net::SplitText(loginReply, ",,,");
    }

    // Waits for the next order answer after `before` answers and returns it.
    std::string OrderAnswer(int before) {
        EXPECT_TRUE(notifier.WaitFor(net::kMsgOrderReply, before + 1, 10s));
        int seen = 0;
        for (const auto& e : notifier.Events())
            if (e.message == net::kMsgOrderReply && ++seen == before + 1)
                return e.body;
        return {};
    }

    tavix::test::QuorvexdProcess server;
    net::SharedState state;
    RecordingNotifier notifier{true};
    net::TradingLink link{state, notifier};
    net::AccountQueries queries{state, notifier, link}; // the initial load, on the test's thread
    std::string loginReply;
};

TEST_F(LinkAgainstServer, LoginAnswerHasEveryField) {
    const auto fields = LoginFields();
    ASSERT_GE(fields.size(), 8u) << loginReply;
    EXPECT_EQ(fields[0], "0");
    EXPECT_EQ(fields[3], net::kClientVersion);
    EXPECT_NE(fields[4].find(':'), std::string_view::npos);
    EXPECT_EQ(fields[5], "0");
    EXPECT_EQ(fields[6], "demo");
}

TEST_F(LinkAgainstServer, WrongPasswordIsRejectedWithAReason) {
    state.credentials.Set("demo", "wrong");
    ASSERT_TRUE(link.SendRequest(net::kCmdLogin, "user_name=demo&pwd=wrong&yjm=0"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 10s));
    const std::string reply = notifier.Events().back().body; // the pieces view into it
    const auto fields = net::SplitText(reply, ",,,");
    ASSERT_GE(fields.size(), 2u);
    EXPECT_NE(fields[0], "0");
    EXPECT_FALSE(fields[1].empty());
}

TEST_F(LinkAgainstServer, InitialLoadQuotesBuyCancelAndHistory) {
    ASSERT_EQ(LoginFields()[0], "0");
    queries.InitialLoadWorker();
    ASSERT_TRUE(WaitUntil([&] { return net::FieldText(state.funds.Get().value8) == "100"; }));
    const net::FundsRecord funds = state.funds.Get();
    for (const char* f : {funds.cashBalance, funds.availableFunds, funds.totalAssets})
        EXPECT_NE(f[0], '\0');

    // Quotes arrive for the subscribed code with a whole five-level book.
    ASSERT_TRUE(link.ReplaceQuoteSubscription("600000"));
    net::QuoteRecord quote{};
    ASSERT_TRUE(WaitUntil([&] { return state.quotes.FindQuote("600000", quote) && quote.askPrice[0] > 0; }));
    EXPECT_EQ(net::FieldText(quote.name), Gbk("浦发银行"));
    EXPECT_GT(quote.prevClose, 0.0f);
    for (int level = 1; level < 5; ++level)
        EXPECT_GE(quote.askPrice[level], quote.askPrice[level - 1]);

    // A marketable buy fills at the book; the shares are held but not sellable today.
    char price[32];
    std::snprintf(price, sizeof price, "%0.2f", static_cast<double>(quote.askPrice[0]) + 0.05);
    const std::string name(net::FieldText(quote.name));
    ASSERT_TRUE(link.SendRequest(net::kCmdOrder,
                                 std::string("code=600000&price=") + price + "&num=100&name=" + name + "&type=1"));
    const std::string answer = OrderAnswer(0);
    ASSERT_EQ(answer.rfind("0,", 0), 0u) << answer;

    ASSERT_TRUE(WaitUntil(
        [&] {
            link.QueryPositions();
            std::this_thread::sleep_for(100ms);
            const auto rows = state.positions.Rows(&net::PositionRecord::code);
            return rows.size() == 1 && net::FieldText(rows[0].balance) == "100";
        },
        15s));
    const net::PositionRecord held = state.positions.At(0);
    EXPECT_EQ(net::FieldText(held.code), "600000");
    EXPECT_EQ(net::LeadingInteger(net::FieldText(held.available)), 0) << "bought today: not yet sellable";
    EXPECT_EQ(state.quoteCodes.Get(), "600000") << "stored positions keep their codes subscribed";

    link.QueryTodayTrades();
    ASSERT_TRUE(WaitUntil([&] { return state.todayTrades.Count(&net::TradeRecord::code) == 1; }));
    EXPECT_EQ(net::FieldText(state.todayTrades.At(0).side), Gbk("买入"));

    // Selling what is not available yet is refused with a reason.
    ASSERT_TRUE(link.SendRequest(net::kCmdOrder,
                                 std::string("code=600000&price=") + price + "&num=100&name=" + name + "&type=2"));
    const std::string refused = OrderAnswer(1);
    EXPECT_NE(refused.rfind("0,", 0), 0u) << refused;

    // A buy at the lower limit stays open until it is cancelled.
    std::snprintf(price, sizeof price, "%0.2f", static_cast<double>(quote.prevClose) * 0.91);
    ASSERT_TRUE(link.SendRequest(net::kCmdOrder,
                                 std::string("code=600000&price=") + price + "&num=200&name=" + name + "&type=1"));
    ASSERT_EQ(OrderAnswer(2).rfind("0,", 0), 0u);
    ASSERT_TRUE(link.SendRequest(net::kCmdCancelAll, ""));
    ASSERT_TRUE(WaitUntil(
        [&] {
            link.QueryTodayOrders();
            std::this_thread::sleep_for(100ms);
            for (const auto& o : state.todayOrders.Rows(&net::OrderRecord::code))
                if (net::FieldText(o.orderQty) == "200")
                    return net::FieldText(o.status) == Gbk("已撤") && net::FieldText(o.side) == "1";
            return false;
        },
        15s));

    // The day's settlement statement lists the fill.
    const std::string today = queries.DateText();
    std::vector<net::SettlementRecord> statements;
    ASSERT_TRUE(WaitUntil([&] {
        const int stored = notifier.CountOf(net::kMsgHistoryTableStored);
        link.SendRequest(net::kCmdSettlement, "start=" + today + "&end=" + today);
        notifier.WaitFor(net::kMsgHistoryTableStored, stored + 1, 5s);
        statements = state.settlement.Rows(&net::SettlementRecord::code);
        return !statements.empty();
    }));
    ASSERT_EQ(statements.size(), 1u);
    EXPECT_EQ(net::FieldText(statements[0].summary), Gbk("证券买入"));
    EXPECT_EQ(net::FieldText(statements[0].quantity), "100");
}

TEST_F(LinkAgainstServer, PasswordChangeTakesEffect) {
    ASSERT_EQ(LoginFields()[0], "0");
    ASSERT_TRUE(link.SendRequest(net::kCmdChangePassword, "oldpwd=demo123&pwd=fresh1"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgPasswordReply, 1, 10s));
    EXPECT_EQ(notifier.Events().back().body, "0");

    state.credentials.Set("demo", "fresh1");
    ASSERT_TRUE(link.SendRequest(net::kCmdLogin, "user_name=demo&pwd=fresh1&yjm=0"));
    ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 2, 10s));
    EXPECT_EQ(net::SplitText(notifier.Events().back().body, ",,,")[0], "0");
}

} // namespace
