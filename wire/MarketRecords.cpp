#include "wire/MarketRecords.h"

#include "wire/SplitText.h"

#include <algorithm>
#include <charconv>

namespace net {
namespace {

std::optional<std::int64_t> ParseWhole(std::string_view text) {
    std::int64_t value = 0;
    if (text.empty() || text.size() > 15 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

void AppendField(std::string& out, std::string_view field) {
    out.append(field).push_back(',');
}

void AppendWhole(std::string& out, std::int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

} // namespace

std::optional<BarPeriod> ParseBarPeriod(std::string_view text) {
    if (text == "1")
        return BarPeriod::kMinute;
    if (text == "d")
        return BarPeriod::kDay;
    return std::nullopt;
}

std::optional<std::int64_t> ParseWireCents(std::string_view text) {
    const auto dot = text.find('.');
    const auto whole = ParseWhole(text.substr(0, dot));
    if (!whole)
        return std::nullopt;
    if (dot == std::string_view::npos)
        return *whole * 100;
    const std::string_view fraction = text.substr(dot + 1);
    const auto digits = ParseWhole(fraction);
    if (!digits || fraction.size() > 2)
        return std::nullopt;
    return *whole * 100 + (fraction.size() == 1 ? *digits * 10 : *digits);
}

void AppendWireCents(std::string& out, std::int64_t cents) {
    // to_chars, not printf: a bars answer writes thousands of these.
    if (cents < 0) {
        out.push_back('-');
        cents = -cents;
    }
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, cents / 100).ptr;
    out.append(digits, end);
    out.push_back('.');
    out.push_back(static_cast<char>('0' + cents % 100 / 10));
    out.push_back(static_cast<char>('0' + cents % 10));
}

std::string FormatWireCents(std::int64_t cents) {
    std::string out;
    AppendWireCents(out, cents);
    return out;
}

void AppendBoardRecord(std::string& out, const BoardRecord& r) {
    AppendField(out, r.code);
    AppendField(out, r.name);
    AppendField(out, r.initials);
    for (const std::int64_t price : {r.prevClose, r.last, r.open, r.high, r.low}) {
        AppendWireCents(out, price);
        out.push_back(',');
    }
    AppendWhole(out, r.volume);
    out.push_back(',');
    AppendWireCents(out, r.amount);
    out.push_back('|');
}

void AppendBarRecord(std::string& out, const BarRecord& r) {
    AppendField(out, r.code);
    out.push_back(static_cast<char>(r.period));
    out.push_back(',');
    // HHMM or YYYYMMDD, zero-padded.
    const int width = r.period == BarPeriod::kMinute ? 4 : 8;
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, r.time).ptr;
    out.append(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, width - (end - digits))), '0');
    out.append(digits, end);
    out.push_back(',');
    for (const std::int64_t price : {r.open, r.high, r.low, r.close}) {
        AppendWireCents(out, price);
        out.push_back(',');
    }
    AppendWhole(out, r.volume);
    out.push_back('|');
}

std::optional<BoardRecord> ParseBoardRecord(std::string_view text) {
    const auto f = SplitText(text, ",");
    if (f.size() < kBoardFieldCount || f[kBoardCode].empty())
        return std::nullopt;
    BoardRecord r;
    r.code = f[kBoardCode];
    r.name = f[kBoardName];
    r.initials = f[kBoardInitials];
    std::int64_t* prices[] = {&r.prevClose, &r.last, &r.open, &r.high, &r.low};
    for (int i = 0; i < 5; ++i) {
        const auto cents = ParseWireCents(f[kBoardPrevClose + i]);
        if (!cents)
            return std::nullopt;
        *prices[i] = *cents;
    }
    const auto volume = ParseWhole(f[kBoardVolume]);
    const auto amount = ParseWireCents(f[kBoardAmount]);
    if (!volume || !amount)
        return std::nullopt;
    r.volume = *volume;
    r.amount = *amount;
    return r;
}

std::optional<BarRecord> ParseBarRecord(std::string_view text) {
    const auto f = SplitText(text, ",");
    if (f.size() < kBarFieldCount || f[kBarCode].empty())
        return std::nullopt;
    BarRecord r;
    r.code = f[kBarCode];
    const auto period = ParseBarPeriod(f[kBarPeriod]);
    const auto time = ParseWhole(f[kBarTime]);
    if (!period || !time || f[kBarTime].size() != (*period == BarPeriod::kMinute ? 4u : 8u))
        return std::nullopt;
    r.period = *period;
    r.time = static_cast<int>(*time);
    std::int64_t* prices[] = {&r.open, &r.high, &r.low, &r.close};
    for (int i = 0; i < 4; ++i) {
        const auto cents = ParseWireCents(f[kBarOpen + i]);
        if (!cents)
            return std::nullopt;
        *prices[i] = *cents;
    }
    const auto volume = ParseWhole(f[kBarVolume]);
    if (!volume)
        return std::nullopt;
    r.volume = *volume;
    return r;
}

} // namespace net
