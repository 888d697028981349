#include "tests/support/TestDay.h"

#include <cstdio>
#include <cstdlib>

namespace tavix::test::day {

namespace {
constexpr const char* kClockVariable = "QUORVEXD_TEST_CLOCK";
}

std::string Moment(std::string_view day, ClockTime time) {
    char clock[16];
    std::snprintf(clock, sizeof clock, " %02d:%02d:%02d", time.hour, time.minute, time.second);
    return std::string(day) + clock;
}

ClockAt::ClockAt(const std::string& moment) {
    ::setenv(kClockVariable, moment.c_str(), 1);
}

ClockAt::~ClockAt() {
    ::unsetenv(kClockVariable);
}

} // namespace tavix::test::day
