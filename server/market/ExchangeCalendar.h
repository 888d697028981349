#pragma once

#include "server/market/LocalTime.h"

#include <optional>
#include <set>
#include <string>

namespace server {

// Where the exchange's day stands at a moment.
enum class MarketPhase {
    kClosed,            // a weekend, a holiday, before 9:15, or after the day was settled
    kOpeningCall,       // 9:15-9:20: orders collected, cancels accepted
    kOpeningCallLocked, // 9:20-9:25: orders collected, cancels refused
    kPreOpen,           // 9:25-9:30: opened at one price; orders held for 9:30, cancels refused
    kContinuous,        // 9:30-11:30 and 13:00-14:57
    kMiddayBreak,       // 11:30-13:00
    kClosingCall,       // 14:57-15:00: orders collected, cancels refused
    kAfterClose,        // 15:00 until the day is settled and the next trading day begins
};

// What a client is told of `phase`, in a few words for its status bar: both opening-call
// phases read alike, and so do every moment without trading outside the midday break.
const char* PhaseText(MarketPhase phase);

// The exchange's trading calendar: weekdays that are not listed holidays, each with its call
// auctions and continuous sessions. The trading day changes once the day is settled after the
// close, not at midnight: from then on (and over weekends and holidays) the current trading day
// is the next one. Days are "YYYY-MM-DD", minutes count from local midnight.
class ExchangeCalendar final {
public:
    static constexpr int kOpeningCall = 9 * 60 + 15;
    static constexpr int kCancelsLocked = 9 * 60 + 20;
    static constexpr int kOpeningMatch = 9 * 60 + 25;
    static constexpr int kMorningOpen = 9 * 60 + 30;
    static constexpr int kMorningClose = 11 * 60 + 30;
    static constexpr int kAfternoonOpen = 13 * 60;
    static constexpr int kClosingCall = 14 * 60 + 57;
    static constexpr int kClosingMatch = 15 * 60;
    static constexpr int kSettled = 15 * 60 + 30;

    ExchangeCalendar() = default;
    explicit ExchangeCalendar(std::set<std::string> holidays)
        : holidays_(std::move(holidays)) {}

    // One date a line ("2026-10-01"); '#' starts a comment, blank lines are skipped. On a
    // malformed line nothing, and `error` names the file and the line.
    static std::optional<ExchangeCalendar> LoadHolidays(const std::string& path, std::string& error);

    const std::set<std::string>& Holidays() const { return holidays_; }
    bool IsTradingDay(const std::string& day) const;
    // The first trading day after `day`.
    std::string NextTradingDay(const std::string& day) const;
    // The trading day `now` belongs to: today until it is settled, else the next one.
    std::string TradingDayAt(const LocalTime& now) const;
    MarketPhase PhaseAt(const LocalTime& now) const;

private:
    std::set<std::string> holidays_;
};

} // namespace server
