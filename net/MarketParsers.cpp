#include "net/MarketParsers.h"

#include "net/Frame.h"
#include "net/SplitText.h"

#include <cstdint>

namespace net {

std::int64_t CentsOf(std::string_view text) {
    // Read as decimal text, not through a binary fraction: 9.995 is 1000 cents, not 999.
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative || (i < text.size() && text[i] == '+'))
        ++i;
    std::int64_t cents = 0;
    constexpr std::int64_t kLimit = INT64_MAX / 1000;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && cents < kLimit; ++i)
        cents = cents * 10 + (text[i] - '0');
    cents *= 100;
    if (i < text.size() && text[i] == '.') {
        ++i;
        int place = 10;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (place >= 1)
                cents += (text[i] - '0') * place;
            else if (place == 0 && text[i] >= '5')
                cents += 1;
            place = place > 1 ? place / 10 : place - 1;
        }
    }
    return negative ? -cents : cents;
}

std::vector<BoardRow> ParseBoard(std::string_view body) {
    std::vector<BoardRow> rows;
    if (body.empty())
        return rows;
    std::vector<std::string_view> fields;
    for (std::string_view record : SplitText(body, "|")) {
        SplitTextInto(record, ",", fields);
        if (fields.size() < 10 || fields[0].empty())
            continue;
        BoardRow row;
        row.code = fields[0];
        row.name = fields[1];
        row.initials = fields[2];
        row.prevClose = CentsOf(fields[3]);
        row.last = CentsOf(fields[4]);
        row.open = CentsOf(fields[5]);
        row.high = CentsOf(fields[6]);
        row.low = CentsOf(fields[7]);
        row.volume = LeadingInteger(fields[8]);
        row.amount = CentsOf(fields[9]);
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<Bar> ParseBars(std::string_view body) {
    std::vector<Bar> bars;
    if (body.empty())
        return bars;
    std::vector<std::string_view> fields;
    for (std::string_view record : SplitText(body, "|")) {
        SplitTextInto(record, ",", fields);
        if (fields.size() < 8 || fields[0].empty() || (fields[1] != "1" && fields[1] != "d"))
            continue;
        Bar bar;
        bar.code = fields[0];
        bar.period = fields[1].front();
        bar.time = static_cast<int>(LeadingInteger(fields[2]));
        bar.open = CentsOf(fields[3]);
        bar.high = CentsOf(fields[4]);
        bar.low = CentsOf(fields[5]);
        bar.close = CentsOf(fields[6]);
        bar.volume = LeadingInteger(fields[7]);
        bars.push_back(std::move(bar));
    }
    return bars;
}

} // namespace net
