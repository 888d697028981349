// The market's parts without a network: money, local time, trading hours and the prices.

#include "server/engine/GbkCodec.h"
#include "server/market/LocalTime.h"
#include "server/market/Market.h"
#include "server/market/Money.h"
#include "server/market/Securities.h"
#include "server/market/TradingHours.h"
#include "tests/support/ServerHarness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace server;

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
