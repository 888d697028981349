// The named test week and session times agree with the exchange's own calendar, and the
// moments made of them read as the server reads its clock.

#include "tests/support/TestDay.h"
#include "server/market/ExchangeCalendar.h"
#include "server/market/LocalTime.h"
#include "tests/support/TestClock.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tavix::test;
using server::MarketPhase;

TEST(TestDayTest, TheNamedDaysAreTheWeekTheySayOnTheExchangesCalendar) {
    const server::ExchangeCalendar plain;
    EXPECT_TRUE(plain.IsTradingDay(day::kFriday));
    EXPECT_FALSE(plain.IsTradingDay(day::kSaturday));
    EXPECT_FALSE(plain.IsTradingDay(day::kSunday));
    EXPECT_EQ(plain.NextTradingDay(day::kFriday), day::kMonday);
    EXPECT_EQ(plain.NextTradingDay(day::kMonday), day::kTuesday);
    EXPECT_EQ(plain.NextTradingDay(day::kTuesday), day::kWednesday);

    const std::pair<day::ClockTime, MarketPhase> sessions[] = {
        {day::kOpeningCall, MarketPhase::kOpeningCall},  {day::kOpeningCallLocked, MarketPhase::kOpeningCallLocked},
        {day::kOpeningMatch, MarketPhase::kPreOpen},     {day::kMorningOpen, MarketPhase::kContinuous},
        {day::kMidMorning, MarketPhase::kContinuous},    {day::kMorningClose, MarketPhase::kMiddayBreak},
        {day::kAfternoonOpen, MarketPhase::kContinuous}, {day::kClosingCall, MarketPhase::kClosingCall},
        {day::kClose, MarketPhase::kAfterClose}};
    for (const auto& [time, phase] : sessions)
        EXPECT_EQ(plain.PhaseAt(At(day::kFriday, time)), phase) << time.hour << ":" << time.minute;
}

// 9:05:07 is minute 9 × 60 + 5 = 545 of the day.
TEST(TestDayTest, MomentsAreWrittenAsTheServersClockReadsThem) {
    const auto at = At(day::kFriday, {9, 5, 7});
    EXPECT_EQ(at.day, "2026-03-06");
    EXPECT_EQ(at.time, "09:05:07");
    EXPECT_EQ(at.minuteOfDay, 545);
    EXPECT_EQ(day::Moment(day::kFriday, {9, 5, 7}), "2026-03-06 09:05:07");
    EXPECT_TRUE(server::ParseMoment(day::Moment(day::kFriday, {9, 5, 7})));
    {
        const day::ClockAt clock(day::kSaturday, day::kMidMorning);
        ASSERT_NE(std::getenv("QUORVEXD_TEST_CLOCK"), nullptr);
        EXPECT_STREQ(std::getenv("QUORVEXD_TEST_CLOCK"), "2026-03-07 10:00:00");
    }
    EXPECT_EQ(std::getenv("QUORVEXD_TEST_CLOCK"), nullptr);
}
