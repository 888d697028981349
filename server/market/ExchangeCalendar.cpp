#include "server/market/ExchangeCalendar.h"

#include <chrono>
#include <fstream>

namespace server {
namespace {

std::string_view Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool IsWeekend(const std::string& day) {
    // `day` is normalised: "YYYY-MM-DD".
    const std::chrono::year_month_day ymd(std::chrono::year(std::stoi(day.substr(0, 4))),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(day.substr(5, 2)))),
                                          std::chrono::day(static_cast<unsigned>(std::stoi(day.substr(8, 2)))));
    const std::chrono::weekday weekday(std::chrono::sys_days{ymd});
    return weekday == std::chrono::Saturday || weekday == std::chrono::Sunday;
}

} // namespace

std::optional<ExchangeCalendar> ExchangeCalendar::LoadHolidays(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot open the holiday file " + path;
        return std::nullopt;
    }
    std::set<std::string> holidays;
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        std::string_view text = line;
        if (const auto hash = text.find('#'); hash != std::string_view::npos)
            text = text.substr(0, hash);
        text = Trim(text);
        if (text.empty())
            continue;
        const auto day = NormaliseDate(text);
        if (!day) {
            error = path + ":" + std::to_string(lineNo) + ": not a date (YYYY-MM-DD): " + std::string(text);
            return std::nullopt;
        }
        holidays.insert(*day);
    }
    return ExchangeCalendar(std::move(holidays));
}

bool ExchangeCalendar::IsTradingDay(const std::string& day) const {
    return !IsWeekend(day) && !holidays_.contains(day);
}

std::string ExchangeCalendar::NextTradingDay(const std::string& day) const {
    // A week after the last listed holiday at the latest there is a trading day; the bound
    // only keeps the end of the calendar (year 9999) from looping.
    std::string next = NextDay(day);
    for (int i = 0; i < 100'000 && !IsTradingDay(next); ++i)
        next = NextDay(next);
    return next;
}

std::string ExchangeCalendar::TradingDayAt(const LocalTime& now) const {
    if (IsTradingDay(now.day) && now.minuteOfDay < kSettled)
        return now.day;
    return NextTradingDay(now.day);
}

const char* PhaseText(MarketPhase phase) {
    switch (phase) {
    case MarketPhase::kOpeningCall:
    case MarketPhase::kOpeningCallLocked:
        return "开盘集合竞价";
    case MarketPhase::kPreOpen:
        return "等待开盘";
    case MarketPhase::kContinuous:
        return "交易中";
    case MarketPhase::kMiddayBreak:
        return "午间休市";
    case MarketPhase::kClosingCall:
        return "收盘集合竞价";
    case MarketPhase::kClosed:
    case MarketPhase::kAfterClose:
        break;
    }
    return "休市";
}

MarketPhase ExchangeCalendar::PhaseAt(const LocalTime& now) const {
    if (!IsTradingDay(now.day))
        return MarketPhase::kClosed;
    const int m = now.minuteOfDay;
    if (m < kOpeningCall)
        return MarketPhase::kClosed;
    if (m < kCancelsLocked)
        return MarketPhase::kOpeningCall;
    if (m < kOpeningMatch)
        return MarketPhase::kOpeningCallLocked;
    if (m < kMorningOpen)
        return MarketPhase::kPreOpen;
    if (m < kMorningClose)
        return MarketPhase::kContinuous;
    if (m < kAfternoonOpen)
        return MarketPhase::kMiddayBreak;
    if (m < kClosingCall)
        return MarketPhase::kContinuous;
    if (m < kClosingMatch)
        return MarketPhase::kClosingCall;
    if (m < kSettled)
        return MarketPhase::kAfterClose;
    return MarketPhase::kClosed;
}

} // namespace server
