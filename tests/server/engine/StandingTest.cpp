// Where each account stands: a scripted contest of five trading days at prices held still,
// with every figure worked out by hand below. Fees are zero so that the totals stay round.
//
// The book: 600000 last 10.00 (start 10.00); 000001 last 10.80 (start 10.00), asks from
// 10.00, bids from 9.99. A buy of 000001 at 10.00 gains 0.80 a share at once; a sale at
// 9.99 loses 0.81 a share against its value. Index: (10.00/10.00 + 10.80/10.00) / 2 ×
// 1,000 = 1040.00 points every day, a return of 4.00 %.
//
// Day 1, Fri 2026-02-27: 张三 (100,000) buys 1,000 at 10.00: 90,000 + 10,800 = 100,800.
//   李四 (100,000) does nothing. Closes: 张三 100,800 (unit 1.008), 李四 100,000 (1).
//   Median (1.008 + 1) / 2 → 0.40 %.
// Day 2, Sat 02-28: 李四 buys 2,000: 80,000 + 21,600 = 101,600 (unit 1.016). 王五 joins with
//   200,000 and buys 5,000: 150,000 + 54,000 = 204,000 (unit 1.02). Median 1.016 → 1.60 %.
// Day 3, Sun 03-01: 张三 is reset: 100,800 → 100,000, the organiser took 800 out. He buys 500:
//   95,000 + 5,400 = 100,400; unit 1.008 × 100,400 / (100,800 − 800) = 1.012032. Median 1.60 %.
// Day 4, Mon 03-02: 李四 sells 1,000 at 9.99: 89,990 + 10,800 = 100,790; unit 1.016 ×
//   100,790 / 101,600 = 1.0079. Median of 1.012032, 1.0079, 1.02 → 1.20 %.
// Day 5, Tue 03-03, live: 李四 is reset (100,790 → 100,000, 790 taken out) and buys 2,000:
//   80,000 + 21,600 = 101,600; unit 1.0079 × 101,600 / (100,790 − 790) = 1.0240264.
//   张三 buys 1,000 of 600000 at 10.00 (no change: 100,400). 王五 does nothing (204,000).
//
// Periods of day 5 open at: day → day 4's close, week (from Monday 03-02) → day 3's close,
// month (from 03-01) → day 2's close, all → the starting cash.
//   张三 day 1.012032/1.012032 → 0.00, profit 0.00; week the same; month 1.012032/1.008 =
//        1.004 → 0.40, profit 100,400 − 100,800 + 800 = 400.00; all 1.20, 100,400 − 100,000 + 800
//        = 1,200.00.
//   李四 day 1.0240264/1.0079 = 1.016 → 1.60, profit 101,600 − 100,790 + 790 = 1,600.00; week
//        1.0240264/1.016 = 1.0079 → 0.79, profit 101,600 − 101,600 + 790 = 790.00; month the
//        same; all 2.40, 101,600 − 100,000 + 790 = 2,390.00.
//   王五 day, week, month 0.00 and 0.00; all 1.02 → 2.00, profit 4,000.00 (from his own 200,000).
// Live median of 1.012032, 1.0240264, 1.02 → 2.00 %.

#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace tavix::test;

namespace {

std::string StillBookCsv() {
    const std::string levels = "9.99,9.98,9.97,9.96,9.95,100000,100000,100000,100000,100000,"
                               "10.00,10.01,10.02,10.03,10.04,100000,100000,100000,100000,100000\n";
    return "0,600000,浦发银行,10.00,10.00," + levels + "0,000001,平安银行,10.80,10.00," + levels;
}

class ServerStandingTest : public ::testing::Test {
protected:
    ServerStandingTest()
        : harness_([](server::ServerOptions& options) {
            std::ofstream(options.quotesCsv) << StillBookCsv();
            options.fees = net::FeeSchedule{0, 0, 0, 0};
            options.clock = [] { return server::LocalTime{"2026-02-27", "10:00:00", 600}; };
        }) {}

    TestClient& Login(const std::string& name) {
        auto& client = clients_.emplace_back(std::make_unique<TestClient>(harness_.Port()));
        EXPECT_TRUE(client->Login(name, "pw").starts_with("0,")) << name;
        return *client;
    }
    static void Order(TestClient& c, const char* code, const char* price, const char* num, int type) {
        const std::string answer =
            c.Request(net::kCmdOrder, std::string("code=") + code + "&price=" + price + "&num=" + num +
                                          "&name=x&type=" + std::to_string(type));
        EXPECT_TRUE(answer.starts_with("0,")) << answer;
    }
    void Rollover() {
        harness_.OnEngine([](server::Ledger& ledger, const server::LocalTime& now) {
            ledger.Rollover(ledger.NextTradingDay(now.day), now);
        });
    }
    void Reset(const std::string& name) {
        harness_.OnEngine([&](server::Ledger& ledger, const server::LocalTime& now) {
            ledger.Reset(*ledger.FindAccount(name), now.day, now.time);
        });
    }
    // The standings are published at most every half second, and an account not in them yet
    // gets no answer: asks until the answer is `want`.
    static std::string AskUntil(TestClient& c, int command, const std::string& body, const std::string& want) {
        std::string answer;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            c.Send(command, body);
            const auto reply = c.NextAnswer(std::chrono::milliseconds(300));
            answer = reply ? reply->body : "<no answer>";
            if (answer == want)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return answer;
    }

    // Reads the contest back from the store, then waits until standings made from it are out.
    void ReloadFromStore() {
        const auto before = harness_.GetEngine().Ranking().Current();
        harness_.OnEngine([](server::Ledger& ledger, const server::LocalTime&) { ledger.Load(); });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (harness_.GetEngine().Ranking().Current() == before && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // Days 1 to 5 above, leaving day 5 live.
    void PlayContest() {
        harness_.AddUser("张三", "pw", 10'000'000);
        harness_.AddUser("李四", "pw", 10'000'000);
        TestClient& zhang = Login("张三");
        TestClient& li = Login("李四");
        Order(zhang, "000001", "10.00", "1000", 1);
        Rollover();
        Order(li, "000001", "10.00", "2000", 1);
        harness_.AddUser("王五", "pw", 20'000'000);
        TestClient& wang = Login("王五");
        Order(wang, "000001", "10.00", "5000", 1);
        Rollover();
        Reset("张三");
        Order(zhang, "000001", "10.00", "500", 1);
        Rollover();
        Order(li, "000001", "9.99", "1000", 2);
        Rollover();
        Reset("李四");
        Order(li, "000001", "10.00", "2000", 1);
        Order(zhang, "600000", "10.00", "1000", 1);
    }

    ServerHarness harness_;
    std::vector<std::unique_ptr<TestClient>> clients_;
};

TEST_F(ServerStandingTest, ReturnsRanksAndProfitsOfEveryPeriodLeaveTheOrganisersMoneyOut) {
    PlayContest();
    TestClient& zhang = *clients_[0];
    TestClient& li = *clients_[1];
    TestClient& wang = *clients_[2];
    // Equal returns share a rank; among them the larger total comes first.
    EXPECT_EQ(AskUntil(zhang, net::kCmdStanding, "period=day&count=100",
                       "2,3,100400.00,0.00,0.00|1,李**,101600.00,1.60|2,王**,204000.00,0.00|2,张**,100400.00,0.00|"),
              "2,3,100400.00,0.00,0.00|1,李**,101600.00,1.60|2,王**,204000.00,0.00|2,张**,100400.00,0.00|");
    EXPECT_EQ(zhang.Request(net::kCmdStanding, "period=week&count=2"),
              "2,3,100400.00,0.00,0.00|1,李**,101600.00,0.79|2,王**,204000.00,0.00|");
    EXPECT_EQ(zhang.Request(net::kCmdStanding, "period=month&count=100"),
              "2,3,100400.00,0.40,400.00|1,李**,101600.00,0.79|2,张**,100400.00,0.40|3,王**,204000.00,0.00|");
    EXPECT_EQ(zhang.Request(net::kCmdStanding, "period=all&count=1"),
              "3,3,100400.00,1.20,1200.00|1,李**,101600.00,2.40|");
    EXPECT_EQ(li.Request(net::kCmdStanding, "period=day&count=1"), "1,3,101600.00,1.60,1600.00|1,李**,101600.00,1.60|");
    EXPECT_EQ(li.Request(net::kCmdStanding, "period=week&count=1"), "1,3,101600.00,0.79,790.00|1,李**,101600.00,0.79|");
    EXPECT_EQ(li.Request(net::kCmdStanding, "period=all&count=1"), "1,3,101600.00,2.40,2390.00|1,李**,101600.00,2.40|");
    EXPECT_EQ(wang.Request(net::kCmdStanding, "period=month&count=1"),
              "3,3,204000.00,0.00,0.00|1,李**,101600.00,0.79|");
    EXPECT_EQ(wang.Request(net::kCmdStanding, "period=all&count=3"),
              "2,3,204000.00,2.00,4000.00|1,李**,101600.00,2.40|2,王**,204000.00,2.00|3,张**,100400.00,1.20|");

    // What the store holds gives the same figures: the units are worked out again from the
    // stored closes and the organiser's money.
    ReloadFromStore();
    EXPECT_EQ(li.Request(net::kCmdStanding, "period=week&count=1"), "1,3,101600.00,0.79,790.00|1,李**,101600.00,0.79|");
}

TEST_F(ServerStandingTest, TheCurveHasOneDayARecordAndTodayLiveBesideTheIndexAndTheMedian) {
    PlayContest();
    TestClient& zhang = *clients_[0];
    TestClient& wang = *clients_[2];
    const std::string live = "20260303,100400.00,1.20,1040.00,4.00,2.00|";
    EXPECT_EQ(AskUntil(zhang, net::kCmdCurve, "count=1024",
                       "20260227,100800.00,0.80,1040.00,4.00,0.40|20260228,100800.00,0.80,1040.00,4.00,1.60|"
                       "20260301,100400.00,1.20,1040.00,4.00,1.60|20260302,100400.00,1.20,1040.00,4.00,1.20|" +
                           live),
              "20260227,100800.00,0.80,1040.00,4.00,0.40|20260228,100800.00,0.80,1040.00,4.00,1.60|"
              "20260301,100400.00,1.20,1040.00,4.00,1.60|20260302,100400.00,1.20,1040.00,4.00,1.20|" +
                  live);
    EXPECT_EQ(zhang.Request(net::kCmdCurve, "count=2"), "20260302,100400.00,1.20,1040.00,4.00,1.20|" + live);
    // 王五 joined on day 2: on day 1 he stands at his starting cash.
    EXPECT_EQ(Records(wang.Request(net::kCmdCurve, "count=5"))[0],
              (std::vector<std::string>{"20260227", "200000.00", "0.00", "1040.00", "4.00", "0.40"}));
    // The stored closes load back into the same curve.
    ReloadFromStore();
    EXPECT_EQ(zhang.Request(net::kCmdCurve, "count=2"), "20260302,100400.00,1.20,1040.00,4.00,1.20|" + live);
}

TEST_F(ServerStandingTest, MalformedRequestsGetNoAnswerAndTheSessionGoesOn) {
    harness_.AddUser("张三", "pw", 10'000'000);
    TestClient& zhang = Login("张三");
    for (const char* body : {"period=year&count=5", "period=day", "period=day&count=-1", "period=day&count=x"}) {
        ASSERT_TRUE(zhang.Send(net::kCmdStanding, body));
        EXPECT_FALSE(zhang.NextAnswer(std::chrono::milliseconds(300))) << body;
    }
    ASSERT_TRUE(zhang.Send(net::kCmdCurve, "count=0"));
    EXPECT_FALSE(zhang.NextAnswer(std::chrono::milliseconds(300)));
    // A count above the most is cut to it; the session still answers.
    EXPECT_EQ(
        AskUntil(zhang, net::kCmdStanding, "period=all&count=100000", "1,1,100000.00,0.00,0.00|1,张**,100000.00,0.00|"),
        "1,1,100000.00,0.00,0.00|1,张**,100000.00,0.00|");
}

} // namespace
