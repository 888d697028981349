#pragma once

#include "server/market/LocalTime.h"
#include "tests/support/TestDay.h"

#include <mutex>
#include <string_view>

namespace tavix::test {

// `time` of `day` as the server's clock reads it.
server::LocalTime At(std::string_view day, day::ClockTime time);

// A wall clock the test moves by hand; the engine's thread reads it. It starts on the test
// day at mid-morning.
class TestClock final {
public:
    TestClock() = default;
    explicit TestClock(server::LocalTime now)
        : now_(std::move(now)) {}
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
    server::LocalTime now_ = At(day::kFriday, day::kMidMorning);
};

} // namespace tavix::test
