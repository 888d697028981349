#pragma once

#include "server/market/ExchangeCalendar.h"
#include "server/store/Store.h"

#include <optional>
#include <set>
#include <stdexcept>
#include <string>

namespace server {

// What the command line said about the calendar. The contest keeps its calendar in its own
// database from the moment it is created or first served; the command line only chooses it
// then, and a later command line that contradicts it is refused.
struct CalendarChoice {
    std::optional<ExchangeCalendar> exchangeDay; // --exchange-day (with --holidays)
    bool holidaysGiven = false;
    bool hoursGiven = false;
};

// When the contest keeps no calendar yet.
enum class CalendarWrite {
    kNever,           // read-only: go by the command line, store nothing
    kWhenMissing,     // store the command line's choice
    kReplaceHolidays, // the same, and a --holidays list replaces the stored one (init-db)
};

class CalendarConflict final : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// The calendar the contest trades by: nothing for the calendar day, or the exchange's day with
// its holidays. Call inside a transaction (a read one for kNever). Throws CalendarConflict when
// the choice contradicts what the contest keeps.
std::optional<ExchangeCalendar> SettleCalendar(Store& db, const CalendarChoice& choice, CalendarWrite write);

} // namespace server
