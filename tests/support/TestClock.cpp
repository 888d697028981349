#include "tests/support/TestClock.h"

#include <cstdio>

namespace tavix::test {

server::LocalTime At(std::string_view day, day::ClockTime time) {
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return {std::string(day), clock, time.hour * 60 + time.minute};
}

} // namespace tavix::test
