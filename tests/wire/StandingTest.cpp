// The standing records as the client reads them: what the server writes parses back, and
// anything else is refused whole rather than half-read.

#include "wire/Standing.h"

#include <gtest/gtest.h>

namespace {

TEST(StandingRecordsTest, AnswersParseBackAndNegativeFiguresKeepTheirSign) {
    const std::string body = net::FormatStandingSelf({3, 120, "99210.50", "-0.79", "-789.50"}) +
                             net::FormatStandingRow({1, "张**", "104781.40", "4.78"}) +
                             net::FormatStandingRow({1, "李**", "104000.00", "4.78"});
    EXPECT_EQ(body, "3,120,99210.50,-0.79,-789.50|1,张**,104781.40,4.78|1,李**,104000.00,4.78|");
    const auto answer = net::ParseStandingAnswer(body);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->self.rank, 3);
    EXPECT_EQ(answer->self.participants, 120);
    EXPECT_EQ(answer->self.profit, "-789.50");
    ASSERT_EQ(answer->top.size(), 2u);
    EXPECT_EQ(answer->top[1].rank, 1);
    EXPECT_EQ(answer->top[1].name, "李**");

    const auto curve = net::ParseCurveAnswer("20260302,100400.00,1.20,1040.00,4.00,-0.35|"
                                             "20260303,99000.00,-1.00,998.50,-0.15,0.00|");
    ASSERT_TRUE(curve);
    ASSERT_EQ(curve->size(), 2u);
    EXPECT_EQ((*curve)[1].date, "20260303");
    EXPECT_DOUBLE_EQ((*curve)[1].ret, -1.00);
    EXPECT_DOUBLE_EQ((*curve)[1].index, 998.50);
    EXPECT_DOUBLE_EQ((*curve)[0].medianReturn, -0.35);
    EXPECT_EQ(net::HundredthsText(-5), "-0.05");
    EXPECT_EQ(net::HundredthsText(104000), "1040.00");
}

TEST(StandingRecordsTest, MalformedAnswersAreRefusedWhole) {
    for (const char* body : {"", "|", "3,120,99210.50,-0.79|", "x,120,1.00,1.00,1.00|", "3,120,1.00,1.0.0,1.00|",
                             "3,120,1.00,1.00,1.00|1,张**,1.00|", "3,120,1.00,1.00,1.00|one,张**,1.00,1.00|"})
        EXPECT_FALSE(net::ParseStandingAnswer(body)) << body;
    for (const char* body : {"2026030,1.00,1.00,1.00,1.00,1.00|", "20260303,1.00,1.00,1.00,1.00|",
                             "20260303,1.00,1.00,--1,1.00,1.00|", "20260303,1.00,1.00,1.00,1.00,1.00,1.00|"})
        EXPECT_FALSE(net::ParseCurveAnswer(body)) << body;
    EXPECT_EQ(net::ParsePeriod("week"), net::StandingPeriod::kWeek);
    EXPECT_FALSE(net::ParsePeriod("year"));
}

} // namespace
