#include "wire/Standing.h"

#include "wire/SplitText.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace net {
namespace {

std::optional<int> WholeNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// A decimal such as "-1.05" or "1012.34": digits, at most one point, an optional leading minus.
std::optional<double> Decimal(std::string_view text) {
    std::size_t digits = 0;
    bool point = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' && i == 0)
            continue;
        if (c == '.' && !point) {
            point = true;
            continue;
        }
        if (c < '0' || c > '9')
            return std::nullopt;
        ++digits;
    }
    if (digits == 0)
        return std::nullopt;
    return std::strtod(std::string(text).c_str(), nullptr);
}

// The records of a body, without the empty piece after the last '|'.
std::vector<std::string_view> Records(std::string_view body) {
    std::vector<std::string_view> records = SplitText(body, "|");
    if (!records.empty() && records.back().empty())
        records.pop_back();
    return records;
}

} // namespace

std::string_view PeriodName(StandingPeriod period) {
    switch (period) {
    case StandingPeriod::kDay:
        return "day";
    case StandingPeriod::kWeek:
        return "week";
    case StandingPeriod::kMonth:
        return "month";
    case StandingPeriod::kAll:
        break;
    }
    return "all";
}

std::optional<StandingPeriod> ParsePeriod(std::string_view name) {
    for (const StandingPeriod period : kStandingPeriods) {
        if (PeriodName(period) == name)
            return period;
    }
    return std::nullopt;
}

std::string StandingRequest(StandingPeriod period, int count) {
    return "period=" + std::string(PeriodName(period)) + "&count=" + std::to_string(count);
}

std::string CurveRequest(int count) {
    return "count=" + std::to_string(count);
}

std::string FormatStandingSelf(const StandingSelf& self) {
    return std::to_string(self.rank) + ',' + std::to_string(self.participants) + ',' + self.total + ',' + self.ret +
           ',' + self.profit + '|';
}

std::string FormatStandingRow(const StandingRow& row) {
    return std::to_string(row.rank) + ',' + row.name + ',' + row.total + ',' + row.ret + '|';
}

std::string FormatCurvePoint(std::string_view date, std::string_view total, std::string_view ret,
                             std::string_view index, std::string_view indexReturn, std::string_view medianReturn) {
    std::string out;
    for (const std::string_view field : {date, total, ret, index, indexReturn}) {
        out += field;
        out += ',';
    }
    out += medianReturn;
    out += '|';
    return out;
}

std::optional<StandingAnswer> ParseStandingAnswer(std::string_view body) {
    const std::vector<std::string_view> records = Records(body);
    if (records.empty())
        return std::nullopt;
    StandingAnswer answer;
    const std::vector<std::string_view> own = SplitText(records[0], ",");
    if (own.size() != 5)
        return std::nullopt;
    const auto rank = WholeNumber(own[0]);
    const auto participants = WholeNumber(own[1]);
    if (!rank || !participants || !Decimal(own[2]) || !Decimal(own[3]) || !Decimal(own[4]))
        return std::nullopt;
    answer.self = {*rank, *participants, std::string(own[2]), std::string(own[3]), std::string(own[4])};
    for (std::size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string_view> f = SplitText(records[i], ",");
        if (f.size() != 4)
            return std::nullopt;
        const auto rowRank = WholeNumber(f[0]);
        if (!rowRank || !Decimal(f[2]) || !Decimal(f[3]))
            return std::nullopt;
        answer.top.push_back({*rowRank, std::string(f[1]), std::string(f[2]), std::string(f[3])});
    }
    return answer;
}

std::optional<std::vector<CurvePoint>> ParseCurveAnswer(std::string_view body) {
    std::vector<CurvePoint> points;
    for (const std::string_view record : Records(body)) {
        const std::vector<std::string_view> f = SplitText(record, ",");
        if (f.size() != 6 || f[0].size() != 8 || !WholeNumber(f[0]) || !Decimal(f[1]))
            return std::nullopt;
        const auto ret = Decimal(f[2]);
        const auto index = Decimal(f[3]);
        const auto indexReturn = Decimal(f[4]);
        const auto median = Decimal(f[5]);
        if (!ret || !index || !indexReturn || !median)
            return std::nullopt;
        points.push_back({std::string(f[0]), std::string(f[1]), *ret, *index, *indexReturn, *median});
    }
    return points;
}

std::string HundredthsText(std::int64_t hundredths) {
    const bool negative = hundredths < 0;
    const auto magnitude = static_cast<unsigned long long>(negative ? -hundredths : hundredths);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}

} // namespace net
