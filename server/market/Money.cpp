#include "server/market/Money.h"

#include <cstdio>

namespace server {

std::optional<Cents> ParseCents(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view frac = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 9 || frac.size() > 2 || (dot != std::string_view::npos && frac.empty()))
        return std::nullopt;
    Cents value = 0;
    for (char c : whole) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    Cents cents = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        cents *= 10;
        if (i < frac.size()) {
            if (frac[i] < '0' || frac[i] > '9')
                return std::nullopt;
            cents += frac[i] - '0';
        }
    }
    return value * 100 + cents;
}

std::optional<std::int64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string FormatCents(Cents cents) {
    char text[40];
    const bool negative = cents < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(cents) : cents;
    std::snprintf(text, sizeof text, "%s%llu.%02llu", negative ? "-" : "", magnitude / 100, magnitude % 100);
    return text;
}

} // namespace server
