// The server's parsing helpers and the market, without a network.

#include "server/engine/GbkCodec.h"
#include "server/engine/QueryString.h"
#include "server/engine/RateLimitedLog.h"
#include "server/market/LocalTime.h"
#include "server/market/Market.h"
#include "server/market/Money.h"
#include "server/market/Securities.h"
#include "server/market/TradingHours.h"
#include "server/network/LoginThrottle.h"
#include "server/store/sqlite/SqliteStore.h"
#include "tests/support/ServerHarness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace server;

TEST(QueryStringTest, DuplicateKeysAndPiecesWithoutValueInvalidateTheBody) {
    const auto q = QueryString::Parse("code=600000&pwd=a=b&name=");
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("code"), "600000");
    EXPECT_EQ(q->Get("pwd"), "a=b"); // '=' inside a value is kept
    EXPECT_TRUE(q->Has("name"));
    EXPECT_EQ(q->Get("name"), "");
    EXPECT_FALSE(q->Has("missing"));
    EXPECT_FALSE(QueryString::Parse("pwd=x&curuser=eve&curuser=alice")); // injected key
    EXPECT_FALSE(QueryString::Parse("pwd=a&b&curuser=alice"));           // '&' inside a value
    EXPECT_FALSE(QueryString::Parse("=x"));
    EXPECT_TRUE(QueryString::Parse("")); // an empty body has no keys
}

TEST(MoneyTest, PricesMustSitOnTheCentTick) {
    EXPECT_EQ(ParseCents("12.3"), 1230);
    EXPECT_EQ(ParseCents("12.34"), 1234);
    EXPECT_EQ(ParseCents("12"), 1200);
    EXPECT_EQ(ParseCents("0.01"), 1);
    for (const char* bad : {"12.345", "-1", "+1", " 1", "1e2", "", ".5", "5.", "1.2.3", "1,0", "9999999999"})
        EXPECT_FALSE(ParseCents(bad)) << bad;
    EXPECT_EQ(FormatCents(-5), "-0.05");
    EXPECT_EQ(FormatCents(123456), "1234.56");
    EXPECT_EQ(ParseCount("0100"), 100);
    EXPECT_FALSE(ParseCount("-1"));
    EXPECT_FALSE(ParseCount("1000000000000"));
}

TEST(LocalTimeTest, DatesWithoutLeadingZerosAreNormalised) {
    EXPECT_EQ(NormaliseDate("2021-2-3"), "2021-02-03");
    EXPECT_EQ(NormaliseDate("2024-02-29"), "2024-02-29");
    EXPECT_FALSE(NormaliseDate("2023-2-29"));
    EXPECT_FALSE(NormaliseDate("2021-13-1"));
    EXPECT_FALSE(NormaliseDate("2021-1"));
    EXPECT_FALSE(NormaliseDate("21-1-1"));
    EXPECT_EQ(NextDay("2026-12-31"), "2027-01-01");
    EXPECT_EQ(NextDay("2024-02-28"), "2024-02-29");
}

TEST(TradingHoursTest, SessionsAreHalfOpenMinuteRanges) {
    const auto hours = TradingHours::Parse("09:30-11:30,13:00-15:00");
    ASSERT_TRUE(hours);
    EXPECT_FALSE(hours->IsOpen(9 * 60 + 29));
    EXPECT_TRUE(hours->IsOpen(9 * 60 + 30));
    EXPECT_FALSE(hours->IsOpen(11 * 60 + 30));
    EXPECT_TRUE(hours->IsOpen(14 * 60 + 59));
    EXPECT_TRUE(TradingHours::Parse("")->IsOpen(3 * 60));
    for (const char* bad : {"9:30-11:30", "11:30-09:30", "09:30", "09:30-25:00", "09:30-11:30,"})
        EXPECT_FALSE(TradingHours::Parse(bad)) << bad;
}

TEST(MarketTest, SimulationIsSeededAndStaysInsideTheLimits) {
    EXPECT_GE(DefaultSecurities().size(), 50u);
    std::set<char> boards;
    for (const auto& s : DefaultSecurities())
        boards.insert(s.code.substr(0, 3) == "688" ? 'K' : s.code.substr(0, 3) == "300" ? 'C' : s.code[0]);
    EXPECT_EQ(boards, (std::set<char>{'6', '0', 'K', 'C'}));

    Market a(7, 10, 20);
    Market b(7, 10, 20);
    Market c(8, 10, 20);
    bool differs = false;
    for (int t = 0; t < 2000; ++t) {
        a.Advance();
        b.Advance();
        c.Advance();
    }
    for (std::size_t i = 0; i < a.Quotes().size(); ++i) {
        const Quote& q = a.Quotes()[i];
        EXPECT_EQ(q.last, b.Quotes()[i].last);
        differs |= q.last != c.Quotes()[i].last;
        EXPECT_LE(q.last, q.LimitUp());
        EXPECT_GE(q.last, q.LimitDown());
        for (const BookLevel& l : q.asks)
            EXPECT_TRUE(l.price == 0 || (l.price > q.last && l.price <= q.LimitUp()));
        for (const BookLevel& l : q.bids)
            EXPECT_TRUE(l.price == 0 || (l.price <= q.last && l.price >= q.LimitDown()));
    }
    EXPECT_TRUE(differs);
}

TEST(MarketTest, PriceLimitsArePercentOfThePreviousCloseRoundedToTheCent) {
    Market m(7, 10, 20);
    struct Case {
        const char* code;
        Cents prevClose;
        Cents up;
        Cents down;
    };
    const Case cases[] = {
        {"600000", 1000, 1100, 900},  // 10.00 -> 11.00 / 9.00
        {"600000", 1234, 1357, 1111}, // 12.34 x 1.1 = 13.574 -> 13.57; x 0.9 = 11.106 -> 11.11
        {"000001", 1005, 1106, 905},  // 10.05 x 1.1 = 11.055 -> 11.06 (half up); x 0.9 = 9.045 -> 9.05
        {"300750", 1234, 1481, 987},  // growth board, 20 %: 14.808 -> 14.81; 9.872 -> 9.87
        {"688981", 1005, 1206, 804},  // science board, 20 %: 12.06 / 8.04
        {"000001", 3, 3, 3},          // 0.03 x 1.1 = 0.033 -> 0.03; x 0.9 = 0.027 -> 0.03
    };
    for (const Case& c : cases) {
        m.Restore(c.code, c.prevClose, c.prevClose);
        const Quote* q = m.Find(c.code);
        ASSERT_TRUE(q) << c.code;
        EXPECT_EQ(q->LimitUp(), c.up) << c.code << " " << c.prevClose;
        EXPECT_EQ(q->LimitDown(), c.down) << c.code << " " << c.prevClose;
    }
    // The limits a server is started with apply per board.
    Market wide(7, 5, 30);
    wide.Restore("600000", 1000, 1000);
    wide.Restore("300750", 1000, 1000);
    EXPECT_EQ(wide.Find("600000")->LimitUp(), 1050);
    EXPECT_EQ(wide.Find("300750")->LimitDown(), 700);
}

TEST(MarketTest, CsvReplayAppliesTicksAndHoldsTheLastSnapshot) {
    tavix::test::ScratchDir dir;
    const auto path = (dir.Path() / "q.csv").string();
    std::ofstream(path) << tavix::test::FixedBookCsv()
                        << "2,600000,浦发银行,10.50,10.00,10.50,10.49,10.48,10.47,10.46,1,2,3,4,5,"
                           "10.51,10.52,10.53,10.54,10.55,6,7,8,9,10\n";
    Market m(1, 10, 20);
    std::string error;
    ASSERT_TRUE(m.LoadCsv(path, error)) << error;
    ASSERT_EQ(m.Quotes().size(), 3u);
    EXPECT_EQ(m.Find("600000")->last, 1000);
    m.Find("600000")->asks[0].volume = 0; // taken by a fill
    m.Advance();
    EXPECT_EQ(m.Find("600000")->asks[0].volume, 300); // refilled at the next tick
    m.Advance();
    EXPECT_EQ(m.Find("600000")->last, 1050);
    m.Advance();
    EXPECT_EQ(m.Find("600000")->asks[4].volume, 10);
    EXPECT_TRUE(Market::RecordText(*m.Find("600000")).starts_with("600000,浦发银行,10.50,10.00,10.50,"));

    std::ofstream(path) << "0,600000,x,10.00\n";
    EXPECT_FALSE(m.LoadCsv(path, error));
    EXPECT_NE(error.find(":1:"), std::string::npos) << error;

    // Saved as GBK (浦发银行 is C6D6 B7A2 D2F8 D0D0), as spreadsheet tools here write it.
    const std::string book =
        ",10.00,10.00,9.99,9.98,9.97,9.96,9.95,1,1,1,1,1,10.00,10.01,10.02,10.03,10.04,1,1,1,1,1\n";
    std::ofstream(path) << "0,600000,\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0" << book;
    ASSERT_TRUE(m.LoadCsv(path, error, server::GbkToUtf8)) << error;
    EXPECT_EQ(m.Find("600000")->name, "浦发银行");
    // UTF-8 with a byte-order mark.
    std::ofstream(path) << "\xEF\xBB\xBF"
                           "0,600000,浦发银行"
                        << book;
    ASSERT_TRUE(m.LoadCsv(path, error)) << error;
    EXPECT_EQ(m.Find("600000")->name, "浦发银行");
    // Neither: refused with the line.
    std::ofstream(path) << "0,600000,X" << book << "1,600000,\xFF\xFE" << book;
    EXPECT_FALSE(m.LoadCsv(path, error, server::GbkToUtf8));
    EXPECT_NE(error.find(":2: neither UTF-8 nor GBK"), std::string::npos) << error;
}

TEST(QueryStringTest, BodiesOfThousandsOfKeysAreRefusedUnread) {
    std::string body;
    for (int i = 0; i < 13898; ++i)
        body += (i ? "&k" : "k") + std::to_string(i) + "=v";
    EXPECT_FALSE(QueryString::Parse(body));
    std::string largest;
    for (std::size_t i = 0; i < QueryString::kMaxPieces; ++i)
        largest += (i ? "&k" : "k") + std::to_string(i) + "=v";
    const auto q = QueryString::Parse(largest);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Get("k63"), "v");
    EXPECT_FALSE(QueryString::Parse(largest + "&one=more"));
}

TEST(RateLimitedLogTest, RepeatsAreCountedAndReportedOncePerPeriod) {
    RateLimitedLog log(std::chrono::seconds(5));
    const auto t0 = RateLimitedLog::Clock::time_point{} + std::chrono::hours(1);
    EXPECT_EQ(log.Line("disk full", t0), "quorvexd: disk full");
    for (int i = 1; i <= 47; ++i)
        EXPECT_EQ(log.Line("disk full", t0 + std::chrono::milliseconds(100 * i)), "") << i;
    EXPECT_EQ(log.Line("disk full", t0 + std::chrono::seconds(5)),
              "quorvexd: disk full (47 more like it since the last report)");
    EXPECT_EQ(log.Line("disk full", t0 + std::chrono::seconds(6)), "");
}

TEST(DatabaseTest, CommitsArePowerSafeUnlessTheWeakerSettingIsAsked) {
    tavix::test::ScratchDir dir;
    const std::string path = (dir.Path() / "sync.db").string();
    const auto level = [](SqliteStore& db) {
        Statement s = db.Prepare("PRAGMA synchronous");
        return s.Step() ? s.Int(0) : -1;
    };
    SqliteStore full(path);
    EXPECT_EQ(level(full), 2); // FULL: the log is synced at every commit
    SqliteStore normal(path, Synchronous::kNormal);
    EXPECT_EQ(level(normal), 1); // NORMAL
}

namespace {

// One finished attempt that failed; the attempt must have been let in.
void Fail(LoginThrottle& throttle, const std::string& name, const std::string& address,
          LoginThrottle::Clock::time_point t) {
    ASSERT_TRUE(throttle.Begin(name, address, t).allowed) << name << " from " << address;
    throttle.End(name, address, false, t);
}

bool Allowed(LoginThrottle& throttle, const std::string& name, const std::string& address,
             LoginThrottle::Clock::time_point t) {
    const bool allowed = throttle.Begin(name, address, t).allowed;
    if (allowed)
        throttle.Abandon(name, address);
    return allowed;
}

} // namespace

TEST(LoginThrottleTest, FiveFailuresSlowANameAtOneAddressToOneAttemptEveryThreeSecondsNeverALock) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    for (int i = 0; i < 4; ++i) {
        Fail(throttle, "eve", "10.0.0.1", t0);
        EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t0)) << "after failure " << i + 1;
    }
    Fail(throttle, "eve", "10.0.0.1", t0); // the fifth: the next check in 3 s
    EXPECT_FALSE(Allowed(throttle, "eve", "10.0.0.1", t0 + 2s));
    // The same name from elsewhere (its owner, perhaps) is let in, only slowed down.
    const auto elsewhere = throttle.Begin("eve", "10.0.0.2", t0 + 1s);
    EXPECT_TRUE(elsewhere.allowed);
    EXPECT_EQ(elsewhere.delay, LoginThrottle::kFirstDelay);
    throttle.Abandon("eve", "10.0.0.2");
    const auto other = throttle.Begin("bob", "10.0.0.1", t0 + 1s);
    EXPECT_TRUE(other.allowed);
    EXPECT_EQ(other.delay, LoginThrottle::Clock::duration::zero());
    throttle.Abandon("bob", "10.0.0.1");
    EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t0 + 3s));

    // Further failures do not lengthen the wait: one check every 3 s, however many failed.
    auto t = t0 + 3s;
    for (int i = 0; i < 4; ++i) {
        Fail(throttle, "eve", "10.0.0.1", t);
        EXPECT_FALSE(Allowed(throttle, "eve", "10.0.0.1", t + 2900ms)) << i;
        EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t + 3s)) << i;
        t += 3s;
    }

    // A successful login forgets the failures.
    ASSERT_TRUE(throttle.Begin("eve", "10.0.0.1", t).allowed);
    throttle.End("eve", "10.0.0.1", true, t);
    Fail(throttle, "eve", "10.0.0.1", t);
    EXPECT_TRUE(Allowed(throttle, "eve", "10.0.0.1", t));
}

TEST(LoginThrottleTest, ANameFailingTenTimesFromAnywhereHasOneCheckEveryHalfMinuteExceptWhereItLoggedIn) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    ASSERT_TRUE(throttle.Begin("ann", "10.0.1.99", t0).allowed); // ann's own address
    throttle.End("ann", "10.0.1.99", true, t0);
    for (int i = 0; i < 10; ++i)
        Fail(throttle, "ann", "10.0.1." + std::to_string(i), t0);
    // From a new address: one check now, none for the next 30 s from any other.
    EXPECT_TRUE(Allowed(throttle, "ann", "10.0.1.50", t0 + 1s));
    EXPECT_FALSE(Allowed(throttle, "ann", "10.0.1.51", t0 + 2s));
    EXPECT_FALSE(Allowed(throttle, "ann", "10.0.1.52", t0 + 30s));
    EXPECT_TRUE(Allowed(throttle, "ann", "10.0.1.53", t0 + 31s));
    // Where ann has logged in before she is only slowed down.
    const auto home = throttle.Begin("ann", "10.0.1.99", t0 + 32s);
    EXPECT_TRUE(home.allowed);
    EXPECT_EQ(home.delay, LoginThrottle::kMaxDelay);
    throttle.Abandon("ann", "10.0.1.99");
    // Other names are not touched.
    EXPECT_TRUE(Allowed(throttle, "bob", "10.0.1.51", t0 + 2s));
    // Ten failures from three addresses are a rival's, held by each pair's pace, not a crowd's.
    for (int i = 0; i < 10; ++i)
        Fail(throttle, "cat", "10.0.2." + std::to_string(i % 3), t0 + std::chrono::seconds(3 * (i / 3)));
    EXPECT_TRUE(Allowed(throttle, "cat", "10.0.2.50", t0 + 10s));
    EXPECT_TRUE(Allowed(throttle, "cat", "10.0.2.51", t0 + 10s));
}

TEST(LoginThrottleTest, AttemptsCountFromTheirStartAndBusyNamesOrAddressesOnlyWait) {
    using namespace std::chrono_literals;
    LoginThrottle throttle;
    const auto t0 = LoginThrottle::Clock::time_point{} + 24h;
    // Five attempts in the air for one name and address: a sixth is refused before any
    // of them is judged.
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(throttle.Begin("amy", "10.0.0.3", t0).allowed) << i;
    EXPECT_FALSE(throttle.Begin("amy", "10.0.0.3", t0).allowed);
    throttle.End("amy", "10.0.0.3", true, t0); // one of them was right after all

    // Thirty failures for many names behind one address slow that address down (250 ms,
    // then doubling to at most 2 s) but lock nobody out; other addresses do not wait.
    for (int i = 0; i < 30; ++i)
        Fail(throttle, "user" + std::to_string(i), "10.0.0.9", t0);
    const std::pair<int, std::chrono::milliseconds> waits[] = {{0, 250ms}, {1, 500ms}, {3, 2000ms}, {10, 2000ms}};
    int extra = 0;
    for (const auto& [more, wait] : waits) {
        for (; extra < more; ++extra)
            Fail(throttle, "more" + std::to_string(extra), "10.0.0.9", t0);
        const auto d = throttle.Begin("anyone", "10.0.0.9", t0 + 1s);
        EXPECT_TRUE(d.allowed) << more;
        EXPECT_EQ(d.delay, wait) << more;
        throttle.Abandon("anyone", "10.0.0.9");
    }
    EXPECT_EQ(throttle.Begin("anyone", "10.0.0.8", t0).delay, LoginThrottle::Clock::duration::zero());
    throttle.Abandon("anyone", "10.0.0.8");

    // Four failures, then fifteen quiet minutes and a second: the count starts again, so
    // four more failures lock nothing and a fifth does.
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "kim", "10.0.0.1", t0);
    const auto later = t0 + 15min + 1s;
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "kim", "10.0.0.1", later);
    EXPECT_TRUE(Allowed(throttle, "kim", "10.0.0.1", later));
    Fail(throttle, "kim", "10.0.0.1", later);
    EXPECT_FALSE(Allowed(throttle, "kim", "10.0.0.1", later));
    // Within fifteen minutes the failures add up.
    Fail(throttle, "lee", "10.0.0.1", t0);
    for (int i = 0; i < 4; ++i)
        Fail(throttle, "lee", "10.0.0.1", t0 + 14min);
    EXPECT_FALSE(Allowed(throttle, "lee", "10.0.0.1", t0 + 14min));
}
