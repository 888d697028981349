#include "server/engine/ContestCalendar.h"

#include "wire/SplitText.h"

namespace server {
namespace {

constexpr const char* kExchangeDay = "exchange-day";
constexpr const char* kCalendarDay = "calendar-day";

std::optional<std::string> Read(Store& db, const char* key) {
    Statement s = db.Prepare("SELECT value FROM meta WHERE key=?");
    s.Bind(1, key);
    if (!s.Step())
        return std::nullopt;
    return s.Text(0);
}

void Write(Store& db, const char* key, const std::string& value) {
    db.Prepare("INSERT INTO meta(key, value) VALUES(?, ?) ON CONFLICT(key) DO UPDATE SET value=excluded.value")
        .Bind(1, key)
        .Bind(2, value)
        .Run();
}

std::string JoinDays(const std::set<std::string>& days) {
    std::string text;
    for (const auto& day : days)
        text += (text.empty() ? "" : ",") + day;
    return text;
}

} // namespace

std::optional<ExchangeCalendar> SettleCalendar(Store& db, const CalendarChoice& choice, CalendarWrite write) {
    const auto mode = Read(db, "calendar");
    if (!mode) {
        if (write != CalendarWrite::kNever) {
            Write(db, "calendar", choice.exchangeDay ? kExchangeDay : kCalendarDay);
            Write(db, "holidays", choice.exchangeDay ? JoinDays(choice.exchangeDay->Holidays()) : "");
        }
        return choice.exchangeDay;
    }
    if (*mode != kExchangeDay) {
        if (choice.exchangeDay)
            throw CalendarConflict("this contest trades by the calendar day (it was created without --exchange-day); "
                                   "leave out --exchange-day and --holidays");
        return std::nullopt;
    }
    if (choice.hoursGiven)
        throw CalendarConflict("this contest trades by the exchange's day (it was created with --exchange-day), "
                               "which has its own sessions; leave out --hours");
    std::set<std::string> holidays;
    const std::string stored = Read(db, "holidays").value_or("");
    for (const auto& day : net::SplitText(stored, ","))
        if (!day.empty())
            holidays.emplace(day);
    if (choice.holidaysGiven && choice.exchangeDay->Holidays() != holidays) {
        if (write != CalendarWrite::kReplaceHolidays)
            throw CalendarConflict("this contest keeps its own list of " + std::to_string(holidays.size()) +
                                   " holidays, which --holidays contradicts; leave out --holidays, or replace the "
                                   "list with: quorvexd init-db --exchange-day --holidays FILE");
        holidays = choice.exchangeDay->Holidays();
        Write(db, "holidays", JoinDays(holidays));
    }
    return ExchangeCalendar(std::move(holidays));
}

} // namespace server
