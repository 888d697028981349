#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace server {

// Says a recurring trouble once per period instead of once per occurrence, with the
// number of repeats it kept quiet about. Not thread-safe: one per thread.
class RateLimitedLog final {
public:
    using Clock = std::chrono::steady_clock;

    explicit RateLimitedLog(Clock::duration period = std::chrono::seconds(5))
        : period_(period) {}

    // The line to write now (with how many were held back since the last one), or an
    // empty text when this occurrence is to be counted only.
    std::string Line(const std::string& message, Clock::time_point now);
    void Write(const std::string& message); // to stderr, at Clock::now()

private:
    Clock::duration period_;
    bool said_ = false;
    Clock::time_point last_;
    std::uint64_t held_ = 0;
};

} // namespace server
