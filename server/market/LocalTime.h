#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// A moment on the exchange's wall clock (China Standard Time, UTC+8 without daylight
// saving, whatever the host's zone), in the forms the replies use.
struct LocalTime {
    std::string day;  // "2026-12-07"
    std::string time; // "09:31:05"
    int minuteOfDay = 0;

    static LocalTime Now();
};

// "2021-2-3" (or "2021-02-03") → "2021-02-03"; nothing for a text that is not a real date.
std::optional<std::string> NormaliseDate(std::string_view text);

// "2026-03-06 09:20:30" as seconds on the local wall clock's own time line; nothing for a
// text that is not such a moment.
std::optional<std::chrono::sys_seconds> ParseMoment(std::string_view text);
// The moment of that time line as the replies show it.
LocalTime LocalTimeOf(std::chrono::sys_seconds moment);
// A UTC moment on the exchange's wall clock.
LocalTime ExchangeTimeOf(std::chrono::sys_seconds utc);

// The calendar day after `day` ("2026-12-31" → "2027-01-01"); `day` must be normalised.
std::string NextDay(const std::string& day);

} // namespace server
