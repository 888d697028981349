#pragma once

#include <string>
#include <string_view>

// The week the tests' and benchmarks' clocks are set in, and the exchange's session times:
// one place, so that a scenario names the day it means ("the Saturday after the test day")
// instead of a date worked out again in each file.
namespace tavix::test::day {

inline constexpr const char* kFriday = "2026-03-06"; // the test day, a trading day
inline constexpr const char* kSaturday = "2026-03-07";
inline constexpr const char* kSunday = "2026-03-08";
inline constexpr const char* kMonday = "2026-03-09"; // a holiday in the tests that give it one
inline constexpr const char* kTuesday = "2026-03-10";
inline constexpr const char* kWednesday = "2026-03-11";

// A moment of the exchange's day on the wall clock.
struct ClockTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};
inline constexpr ClockTime kOpeningCall{9, 15};       // the opening call auction takes orders
inline constexpr ClockTime kOpeningCallLocked{9, 20}; // orders still taken, cancels not
inline constexpr ClockTime kOpeningMatch{9, 25};      // the opening call is matched
inline constexpr ClockTime kMorningOpen{9, 30};       // continuous trading
inline constexpr ClockTime kMorningClose{11, 30};
inline constexpr ClockTime kAfternoonOpen{13, 0};
inline constexpr ClockTime kClosingCall{14, 57};
inline constexpr ClockTime kClose{15, 0};
inline constexpr ClockTime kMidMorning{10, 0}; // when nothing about the hour matters

// "2026-03-06 09:21:00": a moment in the form QUORVEXD_TEST_CLOCK takes.
std::string Moment(std::string_view day, ClockTime time);

// Starts the clock of the quorvexd processes started while it lives at `moment` (Moment's
// form); the environment is restored with the object.
class ClockAt final {
public:
    explicit ClockAt(const std::string& moment);
    ClockAt(std::string_view day, ClockTime time)
        : ClockAt(Moment(day, time)) {}
    ~ClockAt();
    ClockAt(const ClockAt&) = delete;
    ClockAt& operator=(const ClockAt&) = delete;
};

} // namespace tavix::test::day
