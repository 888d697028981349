#pragma once

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace server {

// The sessions in which orders are accepted and matched, as minutes of the local day.
// No sessions: always open.
class TradingHours final {
public:
    // "09:30-11:30,13:00-15:00"; nothing for a malformed text.
    static std::optional<TradingHours> Parse(std::string_view text);

    bool IsOpen(int minuteOfDay) const;

private:
    std::vector<std::pair<int, int>> sessions_; // [begin, end)
};

} // namespace server
