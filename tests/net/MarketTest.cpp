// The market's answers (commands 20 and 22) as the link reads them, and what it keeps of them.

#include "net/MarketData.h"
#include "net/MarketParsers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct BoardCase {
    const char* what;
    std::string body;
    std::vector<net::BoardRecord> expected;
};

class BoardParsing : public ::testing::TestWithParam<BoardCase> {};

TEST_P(BoardParsing, ReadsEveryField) {
    const std::vector<net::BoardRecord> rows = net::ParseBoard(GetParam().body);
    const std::vector<net::BoardRecord>& expected = GetParam().expected;
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].code, expected[i].code);
        EXPECT_EQ(rows[i].name, expected[i].name);
        EXPECT_EQ(rows[i].initials, expected[i].initials);
        EXPECT_EQ(rows[i].prevClose, expected[i].prevClose);
        EXPECT_EQ(rows[i].last, expected[i].last);
        EXPECT_EQ(rows[i].open, expected[i].open);
        EXPECT_EQ(rows[i].high, expected[i].high);
        EXPECT_EQ(rows[i].low, expected[i].low);
        EXPECT_EQ(rows[i].volume, expected[i].volume);
        EXPECT_EQ(rows[i].amount, expected[i].amount);
    }
}

// "\xC6\xD6\xB7\xA2" is 浦发 in GBK.
INSTANTIATE_TEST_SUITE_P(
    Market, BoardParsing,
    ::testing::Values(
        BoardCase{"empty past the end", "", {}},
        BoardCase{"two securities",
                  "600000,\xC6\xD6\xB7\xA2,PF,7.12,7.19,7.10,7.25,7.05,1234500,8876543.21|"
                  "000001,PAYH,PAYH,10.58,10.50,10.60,10.61,10.40,300,3150.00",
                  {{"600000", "\xC6\xD6\xB7\xA2", "PF", 712, 719, 710, 725, 705, 1234500, 887654321},
                   {"000001", "PAYH", "PAYH", 1058, 1050, 1060, 1061, 1040, 300, 315000}}},
        BoardCase{"fields added after the known ones are ignored",
                  "600000,A,A,1.00,1.01,1.02,1.03,0.99,5,5.05,extra,more",
                  {{"600000", "A", "A", 100, 101, 102, 103, 99, 5, 505}}},
        BoardCase{"a short record and one without a code are skipped",
                  "600000,A,A,1.00,1.01,1.02,1.03,0.99,5|,B,B,1,1,1,1,1,1,1|000002,C,C,2.00,2.00,0.00,0.00,0.00,0,0.00",
                  {{"000002", "C", "C", 200, 200, 0, 0, 0, 0, 0}}},
        BoardCase{"a malformed figure skips only its record",
                  "600000,A,A,9.995,1,1,1,1,7,0.01|000003,D,D,1.5,1.6,1,1,1,7,12|000004,E,E,1,1,1,1,1,x,1|",
                  {{"000003", "D", "D", 150, 160, 100, 100, 100, 7, 1200}}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(BarParsing, CountsRecordsWhereTheNextPageStarts) {
    EXPECT_EQ(net::CountRecords(""), 0);
    EXPECT_EQ(net::CountRecords("a|"), 1);
    // A malformed record still took its place in the server's order.
    EXPECT_EQ(net::CountRecords("600000,A,A,1,1,1,1,1,1,1|bad|000001,B,B,1,1,1,1,1,1,1|"), 3);
}

TEST(BarParsing, MinuteAndDailyBarsOldestFirst) {
    const auto bars = net::ParseBars("600000,1,0930,7.10,7.20,7.05,7.15,12000|600000,1,0931,7.15,7.16,7.14,7.14,300");
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].code, "600000");
    EXPECT_EQ(bars[0].period, net::BarPeriod::kMinute);
    EXPECT_EQ(bars[0].time, 930);
    EXPECT_EQ(bars[0].open, 710);
    EXPECT_EQ(bars[0].high, 720);
    EXPECT_EQ(bars[0].low, 705);
    EXPECT_EQ(bars[0].close, 715);
    EXPECT_EQ(bars[0].volume, 12000);
    EXPECT_EQ(bars[1].time, 931);
    EXPECT_EQ(bars[1].close, 714);

    const auto days = net::ParseBars("000001,d,20261208,10.00,10.50,9.90,10.40,5000000,tail");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].period, net::BarPeriod::kDay);
    EXPECT_EQ(days[0].time, 20261208);
    EXPECT_EQ(days[0].close, 1040);
}

TEST(BarParsing, SkipsWhatIsNotABar) {
    EXPECT_TRUE(net::ParseBars("").empty());
    // An unknown period, a short record, a record without a code, a day written as a minute.
    EXPECT_TRUE(
        net::ParseBars("600000,5,0930,1,1,1,1,1|600000,1,0930,1,1,1,1|,1,0930,1,1,1,1,1|600000,1,20261208,1,1,1,1,1")
            .empty());
}

net::BoardRecord Row(const char* code, std::int64_t last) {
    net::BoardRecord row;
    row.code = code;
    row.last = last;
    return row;
}

TEST(MarketData, BoardMergesByCodeInCodeOrderAndCountsChanges) {
    net::MarketData market;
    const auto now = net::MarketData::Clock::now();
    market.BoardRequested({0, 2, true, now});
    const auto first = market.BoardAnswered({Row("600000", 100), Row("000001", 200)});
    ASSERT_TRUE(first.has_value());
    EXPECT_TRUE(first->wholeBoard);
    EXPECT_EQ(first->count, 2);
    EXPECT_EQ(market.BoardVersion(), 1u);
    const auto board = market.Board();
    ASSERT_EQ(board.size(), 2u);
    EXPECT_EQ(board[0].code, "000001");
    EXPECT_EQ(market.Position("600000"), 1);
    EXPECT_EQ(market.Position("300059"), -1);

    // The same figures again change nothing; a new price does.
    market.BoardAnswered({Row("600000", 100)});
    EXPECT_EQ(market.BoardVersion(), 1u);
    market.BoardAnswered({Row("600000", 101)});
    EXPECT_EQ(market.BoardVersion(), 2u);
    EXPECT_EQ(market.Row("600000")->last, 101);
    EXPECT_FALSE(market.Row("300059").has_value());
}

TEST(MarketData, AnAnswerBelongsToTheOldestRequest) {
    net::MarketData market;
    const auto now = net::MarketData::Clock::now();
    market.BoardRequested({0, 400, true, now});
    market.BoardRequested({7, 1, false, now});
    EXPECT_EQ(market.BoardAnswered({})->start, 0);
    EXPECT_EQ(market.BoardAnswered({})->start, 7);
    EXPECT_FALSE(market.BoardAnswered({}).has_value());
    EXPECT_FALSE(market.BoardPending());

    // An empty bars answer (unknown code) empties the series of the request it answers.
    const net::BarKey a{"600000", net::BarPeriod::kMinute};
    const net::BarKey b{"999999", net::BarPeriod::kDay};
    market.BarsRequested(a, now);
    market.BarsRequested(b, now);
    EXPECT_TRUE(market.BarsPending(b));
    market.BarsAnswered(net::ParseBars("600000,1,0930,1,1,1,1,1"));
    market.BarsAnswered({});
    EXPECT_EQ(market.Bars(a).size(), 1u);
    EXPECT_TRUE(market.Bars(b).empty());
    EXPECT_EQ(market.BarsVersion(b), 1u);
    EXPECT_FALSE(market.BarsPending(b));
}

TEST(MarketData, AServerThatNeverAnswersIsUnavailable) {
    using Service = net::MarketData::Service;
    net::MarketData market;
    const auto t0 = net::MarketData::Clock::now();
    EXPECT_EQ(market.BoardService(t0), Service::kWaiting);
    market.BoardRequested({0, 400, true, t0});
    market.BarsRequested({"600000", net::BarPeriod::kDay}, t0);
    EXPECT_EQ(market.BoardService(t0 + 2900ms), Service::kWaiting);
    EXPECT_EQ(market.BoardService(t0 + 3100ms), Service::kUnavailable);
    EXPECT_EQ(market.BarsService(t0 + 3100ms), Service::kUnavailable);
    // A new connection forgets the old requests; one answer makes the service available.
    market.ForgetPending();
    EXPECT_EQ(market.BoardService(t0 + 10s), Service::kWaiting);
    market.BoardRequested({0, 400, true, t0 + 10s});
    market.BoardAnswered({});
    EXPECT_EQ(market.BoardService(t0 + 20s), Service::kAvailable);
    EXPECT_EQ(market.BarsService(t0 + 20s), Service::kWaiting);
}

} // namespace
