#include "server/market/TradingHours.h"

#include "server/market/Money.h"
#include "wire/SplitText.h"

namespace server {
namespace {

std::optional<int> ParseClock(std::string_view text) {
    if (text.size() != 5 || text[2] != ':')
        return std::nullopt;
    const auto h = ParseCount(text.substr(0, 2));
    const auto m = ParseCount(text.substr(3, 2));
    if (!h || !m || *h > 24 || *m > 59 || (*h == 24 && *m != 0))
        return std::nullopt;
    return static_cast<int>(*h * 60 + *m);
}

} // namespace

std::optional<TradingHours> TradingHours::Parse(std::string_view text) {
    TradingHours hours;
    if (text.empty())
        return hours;
    for (std::string_view piece : net::SplitText(text, ",")) {
        const auto parts = net::SplitText(piece, "-");
        if (parts.size() != 2)
            return std::nullopt;
        const auto begin = ParseClock(parts[0]);
        const auto end = ParseClock(parts[1]);
        if (!begin || !end || *begin >= *end)
            return std::nullopt;
        hours.sessions_.emplace_back(*begin, *end);
    }
    return hours;
}

bool TradingHours::IsOpen(int minuteOfDay) const {
    if (sessions_.empty())
        return true;
    for (const auto& [begin, end] : sessions_)
        if (minuteOfDay >= begin && minuteOfDay < end)
            return true;
    return false;
}

} // namespace server
