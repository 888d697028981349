#pragma once

#include <cstdint>
#include <string>

// The market's records as the link hands them to the windows: prices and amounts in cents,
// texts as the GBK bytes the server sent.

namespace net {

// One security of the quote board (command 20).
struct BoardRow {
    std::string code;
    std::string name;
    std::string initials; // pinyin initials of the name, capitals
    std::int64_t prevClose = 0;
    std::int64_t last = 0;
    std::int64_t open = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t volume = 0; // shares traded today
    std::int64_t amount = 0; // cents traded today
};

// One bar (command 22): `time` is HHMM for a minute bar, YYYYMMDD for a daily one.
struct Bar {
    std::string code;
    char period = '1'; // '1' one minute, 'd' one day
    int time = 0;
    std::int64_t open = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t close = 0;
    std::int64_t volume = 0;
};

struct BarKey {
    std::string code;
    char period = '1';
    bool operator<(const BarKey& other) const { return code != other.code ? code < other.code : period < other.period; }
    bool operator==(const BarKey&) const = default;
};

} // namespace net
