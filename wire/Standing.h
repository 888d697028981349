#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where an account stands in the contest: the records of command 23 (standing) and
// command 24 (my curve). The server formats and the client parses them from these
// definitions. Records are comma-separated fields, each record followed by '|'.
// Returns are percentages with two decimals, money is yuan with two decimals.
namespace net {

enum class StandingPeriod { kDay, kWeek, kMonth, kAll };
inline constexpr StandingPeriod kStandingPeriods[] = {StandingPeriod::kDay, StandingPeriod::kWeek,
                                                      StandingPeriod::kMonth, StandingPeriod::kAll};

// "day", "week", "month", "all" in both directions.
std::string_view PeriodName(StandingPeriod period);
std::optional<StandingPeriod> ParsePeriod(std::string_view name);

inline constexpr int kMaxStandingRows = 100; // top records in one answer to command 23
inline constexpr int kMaxCurvePoints = 1024; // records in one answer to command 24

// The asker's own record, first in the answer to command 23: RANK,PARTICIPANTS,TOTAL,RETURN,PROFIT.
struct StandingSelf {
    int rank = 0;
    int participants = 0;
    std::string total;
    std::string ret;
    std::string profit;
};

// One of the top records after it: RANK,NAME,TOTAL,RETURN (the name masked, as the server's text).
struct StandingRow {
    int rank = 0;
    std::string name;
    std::string total;
    std::string ret;
};

struct StandingAnswer {
    StandingSelf self;
    std::vector<StandingRow> top;
};

// One trading day of the curve: DATE,TOTAL,RETURN,INDEX,INDEXRETURN,MEDIANRETURN (YYYYMMDD;
// the returns since the contest's start). The last record is today's, live.
struct CurvePoint {
    std::string date;
    std::string total;
    double ret = 0;
    double index = 0;
    double indexReturn = 0;
    double medianReturn = 0;
};

// Request bodies.
std::string StandingRequest(StandingPeriod period, int count);
std::string CurveRequest(int count);

// Answers. Fields must hold no ',' or '|'.
std::string FormatStandingSelf(const StandingSelf& self);
std::string FormatStandingRow(const StandingRow& row);
std::string FormatCurvePoint(std::string_view date, std::string_view total, std::string_view ret,
                             std::string_view index, std::string_view indexReturn, std::string_view medianReturn);

// Nothing when the body does not hold the records above (a missing own record, a number
// that is not one, a wrong field count).
std::optional<StandingAnswer> ParseStandingAnswer(std::string_view body);
std::optional<std::vector<CurvePoint>> ParseCurveAnswer(std::string_view body);

// Hundredths of a percent as "-1.05", "0.00", "12.34".
std::string HundredthsText(std::int64_t hundredths);

} // namespace net
