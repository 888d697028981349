// The client's trading link against a real quorvexd trading by the exchange's day, whose
// clock the test sets through QUORVEXD_TEST_CLOCK: what the refusals of the call auction and of
// a closed market look like when they reach the client.

#include "net/TradingLink.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/QuorvexdProcess.h"
#include "tests/support/RecordingNotifier.h"
#include "tests/support/TestDay.h"
#include "wire/GbkText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <csignal>
#include <optional>
#include <string_view>

using namespace std::chrono_literals;
using tavix::test::Gbk;
using tavix::test::RecordingNotifier;
using tavix::test::WaitUntil;
namespace day = tavix::test::day;

namespace {

class ExchangeDayE2E : public ::testing::Test {
protected:
    // A server whose clock starts at `moment` and runs on from there.
    void Start(std::string_view date, day::ClockTime time, std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), "--exchange-day");
        server = std::make_unique<tavix::test::QuorvexdProcess>(std::move(extra));
        bool listening = false;
        {
            const day::ClockAt clock(date, time);
            listening = server->Start();
        }
        ASSERT_TRUE(listening) << "quorvexd did not start";
        state.serverAddress = "127.0.0.1";
        state.port = server->Port();
        state.credentials.Set("demo", "demo123");
        link.Start();
        ASSERT_TRUE(WaitUntil([&] { return link.Socket().Connected(); }));
        ASSERT_TRUE(link.SendRequest(net::kCmdLogin, "user_name=demo&pwd=demo123&yjm=0123"));
        ASSERT_TRUE(notifier.WaitFor(net::kMsgLoginReply, 1, 10s));
        ASSERT_EQ(notifier.Events().back().body.rfind("0,", 0), 0u) << notifier.Events().back().body;
    }

    // Buys 100 shares of 600000 at its previous close (inside every limit) and returns the answer.
    std::string BuyAtPreviousClose() {
        EXPECT_TRUE(link.ReplaceQuoteSubscription("600000"));
        net::QuoteRecord quote{};
        EXPECT_TRUE(WaitUntil([&] { return state.quotes.FindQuote("600000", quote) && quote.prevClose > 0; }));
        char price[32];
        std::snprintf(price, sizeof price, "%0.2f", static_cast<double>(quote.prevClose));
        EXPECT_TRUE(
            link.SendRequest(net::kCmdOrder, std::string("code=600000&price=") + price + "&num=100&name=x&type=1"));
        return Reply(net::kMsgOrderReply);
    }

    std::string Reply(int message) {
        EXPECT_TRUE(notifier.WaitFor(message, 1, 10s));
        for (const auto& e : notifier.Events())
            if (e.message == message)
                return e.body;
        return {};
    }

    std::unique_ptr<tavix::test::QuorvexdProcess> server;
    net::SharedState state;
    RecordingNotifier notifier{true};
    net::TradingLink link{state, notifier};
};

TEST_F(ExchangeDayE2E, TheOpeningCallCollectsTheOrderAndRefusesItsCancelWithAReason) {
    Start(day::kFriday, {9, 21}); // between 9:20 and 9:25
    const std::string order = BuyAtPreviousClose();
    EXPECT_EQ(order.rfind(Gbk("0,委托已受理，合同编号"), 0), 0u) << order;
    EXPECT_NE(order.find(Gbk("等待集合竞价撮合")), std::string::npos) << order;
    ASSERT_TRUE(link.SendRequest(net::kCmdCancelAll, ""));
    EXPECT_EQ(Reply(net::kMsgCancelReply), Gbk("1,9:20至9:30为开盘集合竞价，不接受撤单"));
}

TEST_F(ExchangeDayE2E, TheLinkIsToldOfTheMiddayBreakAsItBegins) {
    Start(day::kFriday, {11, 29, 57}); // the server's clock runs on from here
    ASSERT_TRUE(WaitUntil([&] { return !link.Status().marketPhase.empty(); }));
    const std::string atLogin = link.Status().marketPhase;
    EXPECT_TRUE(atLogin == Gbk("交易中") || atLogin == Gbk("午间休市")) << atLogin;
    EXPECT_TRUE(WaitUntil([&] { return link.Status().marketPhase == Gbk("午间休市"); }, 20s))
        << link.Status().marketPhase;
}

TEST_F(ExchangeDayE2E, SaturdayRefusesOrdersAndARolloverThatWouldSkipMondayIsRefused) {
    Start(day::kSaturday, day::kMidMorning);
    EXPECT_TRUE(WaitUntil([&] { return link.Status().marketPhase == Gbk("休市"); })) << link.Status().marketPhase;
    EXPECT_EQ(BuyAtPreviousClose(), Gbk("1,现在不是交易时间，不能委托"));

    // Saturday belongs to Monday, which has not begun: closing it by hand would skip it.
    std::optional<day::ClockAt> clock;
    clock.emplace(day::kSaturday, day::kMidMorning);
    const auto early = server->Admin({"rollover", "--exchange-day"});
    EXPECT_EQ(early.status, 1) << early.output;
    EXPECT_NE(early.output.find("trading day " + std::string(day::kMonday) + " has not begun"), std::string::npos)
        << early.output;

    // From Monday's opening call on, closing Monday by hand opens Tuesday.
    clock.emplace(day::kMonday, day::kOpeningCall);
    const auto rolled = server->Admin({"rollover", "--exchange-day"});
    EXPECT_EQ(rolled.status, 0) << rolled.output;
    EXPECT_NE(
        rolled.output.find("closed trading day " + std::string(day::kMonday) + "; trading day is now " + day::kTuesday),
        std::string::npos)
        << rolled.output;

    // A holiday file with a bad line stops the command, naming the file and the line.
    const std::string holidays = (server->Directory() / "holidays.txt").string();
    std::ofstream(holidays) << "# closed\n2026-13-01\n";
    const auto refused = server->Admin({"ranking", "--exchange-day", "--holidays", holidays});
    clock.reset();
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.output.find(holidays + ":2:"), std::string::npos) << refused.output;
}

// A test clock on a later day than the database's: the contest is rolled over, saying so, and
// the new day's opening call is held.
TEST_F(ExchangeDayE2E, AClockOnALaterDayRollsTheContestOverAndHoldsItsOpeningCall) {
    // One still snapshot: the opening price is 7.19, the last price.
    const auto book = std::filesystem::temp_directory_path() / ("tavix-e2e-open-" + std::to_string(getpid()) + ".csv");
    std::ofstream(book) << "0,600000,浦发银行,7.19,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,"
                           "7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000\n";
    Start(day::kTuesday, day::kMidMorning, {"--quotes-csv", book.string()}); // trading
    EXPECT_EQ(server->Output().find("closed trading day"), std::string::npos) << server->Output();
    server->Kill(SIGTERM);
    ASSERT_TRUE(WaitUntil([&] { return link.Status().phase != net::LinkPhase::kLive; }));
    bool started = false;
    {
        const day::ClockAt clock(day::kWednesday, {9, 24, 52}); // 8 s before the opening match
        started = server->Start();
    }
    ASSERT_TRUE(started);
    EXPECT_TRUE(WaitUntil([&] {
        return server->Output().find("closed trading day " + std::string(day::kTuesday) + " at start") !=
                   std::string::npos &&
               server->Output().find("trading day is now " + std::string(day::kWednesday)) != std::string::npos;
    })) << server->Output();

    // The link logs in again by itself; an order of the opening call fills at 9:25.
    ASSERT_TRUE(WaitUntil([&] { return link.Status().phase == net::LinkPhase::kLive; }, 20s));
    ASSERT_TRUE(link.SendRequest(net::kCmdOrder, "code=600000&price=7.19&num=100&name=x&type=1"));
    const std::string order = Reply(net::kMsgOrderReply);
    ASSERT_NE(order.find(Gbk("等待集合竞价撮合")), std::string::npos) << order;
    EXPECT_TRUE(WaitUntil(
        [&] {
            link.QueryTodayOrders();
            std::this_thread::sleep_for(500ms);
            for (const net::OrderRecord& r : state.todayOrders.Rows(&net::OrderRecord::code))
                if (net::FieldText(r.status) == Gbk("已成"))
                    return true;
            return false;
        },
        30s));
    std::filesystem::remove(book);
}

} // namespace
