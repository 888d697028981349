// The exchange's day (--exchange-day): its calendar and phases, a whole trading day driven by
// a clock the test moves, and a server restarted around the opening call.

#include "server/engine/Engine.h"
#include "server/engine/Requests.h"
#include "server/ledger/UserDirectory.h"
#include "server/market/ExchangeCalendar.h"
#include "tests/support/Records.h"
#include "tests/support/ServerHarness.h"
#include "tests/support/TestClient.h"
#include "wire/Commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

using namespace tavix::test;
using server::MarketPhase;

namespace {

// 2026-03-06 is a Friday; 2026-03-09, the Monday after, is a holiday in these tests.
constexpr const char* kFriday = "2026-03-06";

server::LocalTime At(const std::string& day, int hour, int minute, int second = 0) {
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", hour, minute, second);
    return {day, time, hour * 60 + minute};
}

// A wall clock the test moves by hand.
class TestClock final {
public:
    void Set(server::LocalTime now) {
        std::lock_guard lock(mutex_);
        now_ = std::move(now);
    }
    server::LocalTime operator()() const {
        std::lock_guard lock(mutex_);
        return now_;
    }

private:
    mutable std::mutex mutex_;
    server::LocalTime now_ = At(kFriday, 9, 10);
};

TEST(ExchangeCalendarTest, WeekendsHolidaysAndTheDaySettledAfterTheClose) {
    const server::ExchangeCalendar plain;
    const server::ExchangeCalendar holiday({"2026-03-09"});
    EXPECT_TRUE(plain.IsTradingDay(kFriday));
    EXPECT_FALSE(plain.IsTradingDay("2026-03-07")); // Saturday
    EXPECT_FALSE(plain.IsTradingDay("2026-03-08")); // Sunday
    EXPECT_FALSE(holiday.IsTradingDay("2026-03-09"));
    EXPECT_EQ(plain.NextTradingDay(kFriday), "2026-03-09");
    EXPECT_EQ(holiday.NextTradingDay(kFriday), "2026-03-10");
    EXPECT_EQ(plain.NextTradingDay("2026-12-31"), "2027-01-01");

    EXPECT_EQ(plain.TradingDayAt(At(kFriday, 15, 29)), kFriday);
    EXPECT_EQ(plain.TradingDayAt(At(kFriday, 15, 30)), "2026-03-09");
    EXPECT_EQ(plain.TradingDayAt(At("2026-03-07", 10, 0)), "2026-03-09");
    EXPECT_EQ(holiday.TradingDayAt(At("2026-03-09", 10, 0)), "2026-03-10");
    EXPECT_EQ(plain.TradingDayAt(At("2026-03-09", 0, 5)), "2026-03-09");

    const std::vector<std::pair<server::LocalTime, MarketPhase>> phases = {
        {At(kFriday, 9, 14, 59), MarketPhase::kClosed},      {At(kFriday, 9, 15), MarketPhase::kOpeningCall},
        {At(kFriday, 9, 19, 59), MarketPhase::kOpeningCall}, {At(kFriday, 9, 20), MarketPhase::kOpeningCallLocked},
        {At(kFriday, 9, 25), MarketPhase::kPreOpen},         {At(kFriday, 9, 30), MarketPhase::kContinuous},
        {At(kFriday, 11, 29), MarketPhase::kContinuous},     {At(kFriday, 11, 30), MarketPhase::kMiddayBreak},
        {At(kFriday, 13, 0), MarketPhase::kContinuous},      {At(kFriday, 14, 57), MarketPhase::kClosingCall},
        {At(kFriday, 15, 0), MarketPhase::kAfterClose},      {At(kFriday, 15, 30), MarketPhase::kClosed},
        {At("2026-03-07", 10, 0), MarketPhase::kClosed},     {At("2026-03-09", 10, 0), MarketPhase::kClosed}};
    for (const auto& [now, phase] : phases)
        EXPECT_EQ(holiday.PhaseAt(now), phase) << now.day << " " << now.time;
}

// The exchange keeps Beijing time whatever zone the host is set to.
TEST(ExchangeClockTest, BeijingTimeWhateverTheHostsZone) {
    // 01:15 UTC is the opening call in Beijing; 16:30 UTC is already the next day there.
    const auto opening = server::ExchangeTimeOf(*server::ParseMoment("2026-03-06 01:15:00"));
    EXPECT_EQ(opening.day, kFriday);
    EXPECT_EQ(opening.time, "09:15:00");
    EXPECT_EQ(opening.minuteOfDay, 555);
    const auto lateUtc = server::ExchangeTimeOf(*server::ParseMoment("2026-03-06 16:30:00"));
    EXPECT_EQ(lateUtc.day, "2026-03-07");
    EXPECT_EQ(lateUtc.time, "00:30:00");
    // New York's summer time (from 2026-03-08) moves nothing on the exchange's clock.
    const auto summer = server::ExchangeTimeOf(*server::ParseMoment("2026-03-09 13:00:00"));
    EXPECT_EQ(summer.time, "21:00:00");

    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved ? saved : "";
    for (const char* zone : {"UTC", "America/New_York", "Asia/Tokyo"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        server::LocalTime now;
        std::tm expected{};
        // Retried when the second turns between the two readings.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const std::time_t utc = std::time(nullptr) + 8 * 3600;
            now = server::LocalTime::Now();
            ::gmtime_r(&utc, &expected);
            if (expected.tm_sec == std::stoi(now.time.substr(6)))
                break;
        }
        char day[48];
        std::snprintf(day, sizeof day, "%04d-%02d-%02d", expected.tm_year + 1900, expected.tm_mon + 1,
                      expected.tm_mday);
        EXPECT_EQ(now.day, day) << zone;
        EXPECT_EQ(now.minuteOfDay, expected.tm_hour * 60 + expected.tm_min) << zone;
    }
    if (saved)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(ExchangeCalendarTest, HolidayFileTakesCommentsAndNamesTheBadLine) {
    ScratchDir dir;
    const std::string good = (dir.Path() / "good.txt").string();
    std::ofstream(good) << "# 2026\n\n2026-10-01\n 2026-10-2  # national day\n";
    std::string error;
    const auto calendar = server::ExchangeCalendar::LoadHolidays(good, error);
    ASSERT_TRUE(calendar) << error;
    EXPECT_FALSE(calendar->IsTradingDay("2026-10-01"));
    EXPECT_FALSE(calendar->IsTradingDay("2026-10-02"));
    EXPECT_TRUE(calendar->IsTradingDay("2026-10-05"));

    const std::string bad = (dir.Path() / "bad.txt").string();
    std::ofstream(bad) << "2026-10-01\n# fine\n2026-02-30\n";
    EXPECT_FALSE(server::ExchangeCalendar::LoadHolidays(bad, error));
    EXPECT_NE(error.find(bad + ":3:"), std::string::npos) << error;
    EXPECT_FALSE(server::ExchangeCalendar::LoadHolidays((dir.Path() / "none.txt").string(), error));
    EXPECT_NE(error.find("none.txt"), std::string::npos) << error;
}

class ExchangeDayTest : public ::testing::Test {
protected:
    ExchangeDayTest()
        : harness_([this](server::ServerOptions& o) {
            o.exchangeDay = server::ExchangeCalendar({"2026-03-09"});
            o.clock = [clock = clock_] { return (*clock)(); };
        })
        , client_(harness_.Port()) {
        harness_.AddUser("amy", "pw");
        EXPECT_EQ(Fields(client_.Login("amy", "pw"), ",,,")[0], "0");
    }

    std::string Order(const char* code, const char* price, const char* num, int type = 1) {
        return client_.Request(net::kCmdOrder, std::string("code=") + code + "&price=" + price + "&num=" + num +
                                                   "&name=x&type=" + std::to_string(type));
    }
    std::vector<std::vector<std::string>> Orders() { return Records(client_.Request(net::kCmdTodayOrders)); }
    std::vector<std::vector<std::string>> Trades() { return Records(client_.Request(net::kCmdTodayTrades)); }
    std::string Cancel(const std::vector<std::string>& order) {
        return client_.Request(net::kCmdCancelOne, "code=" + order[0] + "&num=" + order[2] + "&time=" + order[7]);
    }
    std::string Day() {
        std::string day;
        harness_.OnEngine([&](server::Ledger& ledger, const server::LocalTime&) { day = ledger.Day(); });
        return day;
    }

    std::shared_ptr<TestClock> clock_ = std::make_shared<TestClock>();
    ServerHarness harness_;
    TestClient client_;
};

TEST_F(ExchangeDayTest, AWholeFridayFromTheOpeningCallToTheNextTradingDay) {
    const std::string closed = "1,现在不是交易时间，不能委托";
    EXPECT_EQ(Order("600000", "10.02", "100"), closed) << "9:10 is before the opening call";

    // 9:16: orders are collected, not matched; cancels are still taken.
    clock_->Set(At(kFriday, 9, 16));
    const std::string collected = Order("600000", "10.02", "500");
    EXPECT_TRUE(collected.starts_with("0,委托已受理") && collected.ends_with("等待集合竞价撮合")) << collected;
    ASSERT_TRUE(Order("600000", "9.50", "100").starts_with("0,"));
    ASSERT_TRUE(Order("000001", "10.05", "100").starts_with("0,"));
    auto orders = Orders();
    ASSERT_EQ(orders.size(), 3u);
    for (const auto& o : orders)
        EXPECT_EQ(o[3], "0") << "nothing fills in the call";
    clock_->Set(At(kFriday, 9, 19));
    EXPECT_EQ(Cancel(orders[2]), "0,撤单成功");

    // 9:21: no cancels until 9:30, whichever command asks.
    clock_->Set(At(kFriday, 9, 21));
    const std::string locked = "1,9:20至9:30为开盘集合竞价，不接受撤单";
    EXPECT_EQ(Cancel(orders[1]), locked);
    EXPECT_EQ(client_.Request(net::kCmdCancelAll), locked);

    // 9:25: one opening match at the opening price 10.00 fills the crossing 10.02 buy whole
    // (in one trade, though the book's 10.00 level holds only 300); the 9.50 buy stays open.
    clock_->Set(At(kFriday, 9, 25, 3));
    auto trades = Trades();
    ASSERT_EQ(trades.size(), 1u);
    EXPECT_EQ(trades[0],
              (std::vector<std::string>{kFriday, "09:25:03", "600000", "浦发银行", "买入", "10.00", "500", "5000.00"}));
    // 1,000,000.00 - 5,000.00 - commission 5.00 - transfer fee 0.05, plus 500 shares at 10.00.
    EXPECT_EQ(Fields(client_.Request(net::kCmdFunds))[5], "999994.95");

    // 9:27: held for the continuous session, which fills it at the book from 9:30.
    clock_->Set(At(kFriday, 9, 27));
    EXPECT_TRUE(Order("600000", "10.02", "100").ends_with("9:30开始撮合"));
    // The call is over: what holds cancels now is the pause before the open.
    EXPECT_EQ(Cancel(Orders()[3]), "1,9:25至9:30为开盘前暂停时段，不接受撤单");
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // ticks pass; nothing may fill
    EXPECT_EQ(Trades().size(), 1u);
    clock_->Set(At(kFriday, 9, 30, 1));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Trades().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(Trades().size(), 2u);

    // The midday break takes no orders; cancels are answered.
    clock_->Set(At(kFriday, 11, 45));
    EXPECT_EQ(Order("600000", "10.02", "100"), closed);
    EXPECT_EQ(client_.Request(net::kCmdCancelAllSells), "1,没有可撤销的委托");

    // 14:58: the closing call collects without cancels; 15:00 matches it at one price.
    clock_->Set(At(kFriday, 14, 58));
    EXPECT_TRUE(Order("600000", "10.01", "200").ends_with("等待集合竞价撮合"));
    EXPECT_EQ(Cancel(Orders()[4]), "1,14:57至15:00为收盘集合竞价，不接受撤单");
    clock_->Set(At(kFriday, 15, 0));
    trades = Trades();
    ASSERT_EQ(trades.size(), 3u);
    EXPECT_EQ(trades[2],
              (std::vector<std::string>{kFriday, "15:00:00", "600000", "浦发银行", "买入", "10.00", "200", "2000.00"}));

    // After the close: still Friday, nothing sellable yet (T+1).
    clock_->Set(At(kFriday, 15, 10));
    EXPECT_EQ(Order("600000", "10.02", "100"), closed);
    EXPECT_EQ(Day(), kFriday);
    auto positions = Records(client_.Request(net::kCmdPositions));
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0][2], "800");
    EXPECT_EQ(positions[0][3], "0");

    // 15:30 settles Friday: the trading day is Tuesday (Monday is a holiday), the open buy
    // expired with Friday, the shares are sellable, Friday's orders keep their date.
    clock_->Set(At(kFriday, 15, 31));
    EXPECT_EQ(Day(), "2026-03-10");
    EXPECT_TRUE(Orders().empty());
    orders = Records(client_.Request(net::kCmdHistoryOrders, "start=2026-03-06&end=2026-03-06"));
    ASSERT_EQ(orders.size(), 5u);
    EXPECT_EQ(orders[1][7].substr(0, 10), kFriday);
    EXPECT_EQ(orders[1][8], "已失效");
    positions = Records(client_.Request(net::kCmdPositions));
    EXPECT_EQ(positions[0][3], "800");
    EXPECT_EQ(Order("600000", "9.97", "800", 2), closed) << "Friday evening";
    clock_->Set(At("2026-03-09", 10, 0));
    EXPECT_EQ(Order("600000", "9.97", "800", 2), closed) << "the holiday";
    EXPECT_EQ(Day(), "2026-03-10");

    clock_->Set(At("2026-03-10", 9, 31));
    EXPECT_TRUE(Order("600000", "9.97", "800", 2).ends_with("已全部成交"));
}

// The next answer to `command` that the client did not ask for, if one comes.
std::optional<std::string> Unasked(TestClient& client, int command) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + seconds(10);
    while (steady_clock::now() < deadline) {
        const auto reply = client.NextAnswer(duration_cast<milliseconds>(deadline - steady_clock::now()));
        if (!reply)
            return std::nullopt;
        if (reply->command == command)
            return reply->body;
    }
    return std::nullopt;
}

TEST_F(ExchangeDayTest, AnIdleClientIsToldOfTheOpeningMatchFills) {
    clock_->Set(At(kFriday, 9, 16));
    ASSERT_TRUE(Order("600000", "10.02", "500").starts_with("0,"));
    clock_->Set(At(kFriday, 9, 25, 3)); // and nothing asked after the order
    const auto orders = Unasked(client_, net::kCmdTodayOrders);
    ASSERT_TRUE(orders);
    ASSERT_EQ(Records(*orders).size(), 1u);
    EXPECT_EQ(Records(*orders)[0][3], "500") << *orders;
    const auto trades = Unasked(client_, net::kCmdTodayTrades);
    ASSERT_TRUE(trades);
    EXPECT_EQ(Records(*trades).size(), 1u) << *trades;
}

// The market's states pushed to `client` until `count` arrived or 10 s passed.
std::vector<std::string> PushedPhases(TestClient& client, std::size_t count) {
    using namespace std::chrono;
    std::vector<std::string> phases;
    const auto deadline = steady_clock::now() + seconds(10);
    while (phases.size() < count && steady_clock::now() < deadline) {
        const auto reply = client.Next(duration_cast<milliseconds>(deadline - steady_clock::now()));
        if (!reply)
            break;
        if (reply->command == net::kCmdMarketPhase)
            phases.push_back(reply->body);
    }
    return phases;
}

TEST_F(ExchangeDayTest, ALoggedInClientIsToldTheMarketsStateAtLoginAndAtEachChange) {
    // What is told is the state as of the last tick; the market moves (and counts ticks) only
    // in continuous trading.
    const auto awaitSnapshot = [&](const std::function<bool(const server::QuoteSnapshot&)>& ready) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ready(*harness_.Engine().Snapshot()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    clock_->Set(At(kFriday, 9, 16));
    awaitSnapshot([](const server::QuoteSnapshot& s) { return s.phase == "开盘集合竞价"; });
    TestClient bob(harness_.Port());
    harness_.AddUser("bob", "pw");
    bob.SetCredentials("bob", "pw");
    bob.Send(net::kCmdLogin, "user_name=bob&pwd=pw&yjm=TESTMACHINE");
    // Right behind the login's answer, before any tick.
    const auto answer = bob.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->command, net::kCmdLogin);
    const auto told = bob.Next();
    ASSERT_TRUE(told);
    EXPECT_EQ(told->command, net::kCmdMarketPhase);
    EXPECT_EQ(told->body, "开盘集合竞价");

    clock_->Set(At(kFriday, 9, 25, 3));
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"等待开盘"});
    clock_->Set(At(kFriday, 9, 30, 1));
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"交易中"});
    // Ticks keep coming; each state is told once, so the next one told is the midday break.
    const auto ticks = harness_.Engine().Snapshot()->tick;
    awaitSnapshot([&](const server::QuoteSnapshot& s) { return s.tick >= ticks + 3; });
    clock_->Set(At(kFriday, 11, 30));
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"午间休市"});
    clock_->Set(At(kFriday, 14, 58));
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"收盘集合竞价"});
    clock_->Set(At(kFriday, 15, 1));
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"休市"});

    // A new login on the same connection is told again, though nothing changed.
    bob.Send(net::kCmdLogin, "user_name=bob&pwd=pw&yjm=TESTMACHINE");
    EXPECT_EQ(PushedPhases(bob, 1), std::vector<std::string>{"休市"});
}

TEST(MarketPhasePushTest, ALoginIsToldWithoutWaitingForATick) {
    ServerHarness harness([](server::ServerOptions& o) {
        o.exchangeDay = server::ExchangeCalendar();
        o.clock = [] { return At("2026-03-07", 10, 0); };
        o.tickMs = 600'000; // no tick during the test
    });
    harness.AddUser("amy", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("amy", "pw"), ",,,")[0], "0");
    const auto told = client.Next();
    ASSERT_TRUE(told);
    EXPECT_EQ(told->command, net::kCmdMarketPhase);
    EXPECT_EQ(told->body, "休市");
}

TEST(MarketPhasePushTest, WithoutTheExchangesCalendarNothingIsTold) {
    ServerHarness harness;
    harness.AddUser("amy", "pw");
    TestClient client(harness.Port());
    ASSERT_EQ(Fields(client.Login("amy", "pw"), ",,,")[0], "0");
    ASSERT_TRUE(client.Send(net::kCmdQuoteSubscribe, "code=600000"));
    // Quotes of a few ticks arrive, and nothing else.
    int quotes = 0;
    while (quotes < 3) {
        const auto reply = client.Next();
        ASSERT_TRUE(reply);
        EXPECT_NE(reply->command, net::kCmdMarketPhase) << reply->body;
        quotes += reply->command == net::kCmdQuoteUpdate;
    }
}

TEST_F(ExchangeDayTest, SaturdayIsClosedAndBelongsToMonday) {
    clock_->Set(At("2026-03-07", 10, 0));
    EXPECT_EQ(Order("600000", "10.02", "100"), "1,现在不是交易时间，不能委托");
    EXPECT_EQ(Day(), "2026-03-10") << "Friday was settled, Monday is a holiday";
}

// Runs `work` in one engine batch and waits for it.
void InBatch(server::Engine& engine, const std::function<void(server::Ledger&, const server::LocalTime&)>& work) {
    std::promise<void> done;
    engine.Post(
        [&](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            work(ledger, now);
            return std::nullopt;
        },
        [&](std::optional<std::string>) { done.set_value(); });
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST(ExchangeDayRestartTest, AServerStartedOnSaturdayOrAroundTheOpeningHoldsEachCallOnce) {
    ScratchDir dir;
    auto clock = std::make_shared<TestClock>();
    server::ServerOptions options;
    options.dbPath = (dir.Path() / "quorvex.db").string();
    options.quotesCsv = (dir.Path() / "book.csv").string();
    std::ofstream(options.quotesCsv) << FixedBookCsv();
    options.exchangeDay = server::ExchangeCalendar();
    options.clock = [clock] { return (*clock)(); };
    const auto trades = [](server::Ledger& ledger) {
        return Records(ledger.TradesReply(*ledger.FindAccount("amy"), "2026-03-09", "2026-03-09")).size();
    };

    const auto order = [&](server::Ledger& ledger, const server::LocalTime& now) {
        const auto query = server::QueryString::Parse("code=600000&price=10.02&num=500&type=1");
        return server::HandleAccountRequest(ledger, server::WindowAt(options, now), ledger.FindAccount("amy")->id,
                                            net::kCmdOrder, *query, now)
            .value_or("");
    };

    clock->Set(At("2026-03-07", 10, 0));
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        engine.RunNow([](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            EXPECT_EQ(ledger.Day(), "2026-03-09") << "a new contest on Saturday starts on Monday";
            ledger.AddUser("amy", "-", 100'000'000, "", "", now.day, now.time);
            return std::nullopt;
        });
    }
    clock->Set(At("2026-03-09", 9, 16));
    {
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        engine.RunNow([&](server::Ledger& ledger, const server::LocalTime& now) -> std::optional<std::string> {
            EXPECT_TRUE(order(ledger, now).ends_with("等待集合竞价撮合"));
            return std::nullopt;
        });
    }
    // Down over 9:25, back at 9:26 and again at 9:27: the opening match happens once, so the
    // order collected at 9:26 waits for 9:30.
    for (int minute : {26, 27}) {
        clock->Set(At("2026-03-09", 9, minute));
        server::UserDirectory directory;
        server::Engine engine(options, directory);
        engine.Open();
        engine.Start({});
        InBatch(engine, [&](server::Ledger& ledger, const server::LocalTime& now) {
            EXPECT_EQ(trades(ledger), 1u) << "9:" << minute;
            if (minute == 26)
                EXPECT_TRUE(order(ledger, now).ends_with("9:30开始撮合"));
            EXPECT_EQ(ledger.OpenOrderCount(), 1u) << "9:" << minute;
        });
        engine.Stop();
    }
}

TEST(ExchangeDayMarketTest, PricesHoldStillWhileTheMarketIsClosed) {
    ScratchDir dir;
    auto clock = std::make_shared<TestClock>();
    clock->Set(At("2026-03-07", 10, 0));
    server::ServerOptions options;
    options.dbPath = (dir.Path() / "quorvex.db").string();
    options.tickMs = 10;
    options.exchangeDay = server::ExchangeCalendar();
    options.clock = [clock] { return (*clock)(); };
    server::UserDirectory directory;
    server::Engine engine(options, directory);
    engine.Open();
    const auto opening = engine.Snapshot()->records;

    // Pushes go on (the screen stays live) but carry the same prices.
    std::mutex mutex;
    int pushes = 0;
    bool moved = false;
    engine.Start([&](server::QuoteSnapshotPtr snapshot) {
        std::lock_guard lock(mutex);
        ++pushes;
        moved = moved || snapshot->records != opening;
    });
    const auto waitFor = [&](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (done())
                    return true;
            }
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    };
    ASSERT_TRUE(waitFor([&] { return pushes >= 30; }));
    clock->Set(At("2026-03-09", 12, 0)); // the midday break
    const int seen = pushes;
    ASSERT_TRUE(waitFor([&] { return pushes >= seen + 30; }));
    EXPECT_FALSE(moved) << "prices moved while nobody could trade";
    clock->Set(At("2026-03-09", 13, 1));
    EXPECT_TRUE(waitFor([&] { return moved; })) << "the afternoon session moves prices";
    engine.Stop();
}

} // namespace
