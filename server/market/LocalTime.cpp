#include "server/market/LocalTime.h"

#include "server/market/Money.h"
#include "wire/SplitText.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace server {

LocalTime LocalTime::Now() {
    return ExchangeTimeOf(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
}

std::optional<std::string> NormaliseDate(std::string_view text) {
    const auto parts = net::SplitText(text, "-");
    if (parts.size() != 3 || parts[0].size() != 4 || parts[1].size() > 2 || parts[2].size() > 2)
        return std::nullopt;
    const auto y = ParseCount(parts[0]);
    const auto m = ParseCount(parts[1]);
    const auto d = ParseCount(parts[2]);
    if (!y || !m || !d || *m < 1 || *m > 12 || *d < 1)
        return std::nullopt;
    const auto ymd = std::chrono::year_month_day(std::chrono::year(static_cast<int>(*y)),
                                                 std::chrono::month(static_cast<unsigned>(*m)),
                                                 std::chrono::day(static_cast<unsigned>(*d)));
    if (!ymd.ok())
        return std::nullopt;
    char out[80];
    std::snprintf(out, sizeof out, "%04lld-%02lld-%02lld", static_cast<long long>(*y), static_cast<long long>(*m),
                  static_cast<long long>(*d));
    return std::string(out);
}

std::optional<std::chrono::sys_seconds> ParseMoment(std::string_view text) {
    if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const auto day = NormaliseDate(text.substr(0, 10));
    const auto h = ParseCount(text.substr(11, 2));
    const auto m = ParseCount(text.substr(14, 2));
    const auto s = ParseCount(text.substr(17, 2));
    if (!day || !h || !m || !s || *h > 23 || *m > 59 || *s > 59)
        return std::nullopt;
    const std::chrono::year_month_day ymd(std::chrono::year(std::stoi(day->substr(0, 4))),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(day->substr(5, 2)))),
                                          std::chrono::day(static_cast<unsigned>(std::stoi(day->substr(8, 2)))));
    return std::chrono::sys_days(ymd) + std::chrono::hours(*h) + std::chrono::minutes(*m) + std::chrono::seconds(*s);
}

LocalTime LocalTimeOf(std::chrono::sys_seconds moment) {
    const auto days = std::chrono::floor<std::chrono::days>(moment);
    const std::chrono::year_month_day ymd(days);
    const std::chrono::hh_mm_ss hms(moment - days);
    char day[48];
    char time[48];
    std::snprintf(day, sizeof day, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    const int h = static_cast<int>(hms.hours().count());
    const int m = static_cast<int>(hms.minutes().count());
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", h, m, static_cast<int>(hms.seconds().count()));
    return {day, time, h * 60 + m};
}

LocalTime ExchangeTimeOf(std::chrono::sys_seconds utc) {
    // The exchange's day and phases do not move with the host's zone: China keeps no
    // daylight saving, so a fixed offset is the whole rule.
    return LocalTimeOf(utc + std::chrono::hours(8));
}

std::string NextDay(const std::string& day) {
    const auto parsed = NormaliseDate(day);
    if (!parsed)
        return day;
    const int y = std::stoi(parsed->substr(0, 4));
    const unsigned m = static_cast<unsigned>(std::stoi(parsed->substr(5, 2)));
    const unsigned d = static_cast<unsigned>(std::stoi(parsed->substr(8, 2)));
    const std::chrono::sys_days next = std::chrono::sys_days(std::chrono::year_month_day(
                                           std::chrono::year(y), std::chrono::month(m), std::chrono::day(d))) +
                                       std::chrono::days(1);
    const std::chrono::year_month_day ymd(next);
    char out[80];
    std::snprintf(out, sizeof out, "%04d-%02u-%02u", static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()));
    return out;
}

} // namespace server
