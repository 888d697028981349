#include "net/MarketParsers.h"

#include "wire/SplitText.h"

namespace net {

namespace {

template <typename Record, typename Parse>
std::vector<Record> ParseRecords(std::string_view body, Parse parse) {
    std::vector<Record> records;
    for (std::string_view piece : SplitText(body, "|")) {
        if (piece.empty())
            continue;
        if (auto record = parse(piece))
            records.push_back(std::move(*record));
    }
    return records;
}

} // namespace

std::vector<BoardRecord> ParseBoard(std::string_view body) {
    return ParseRecords<BoardRecord>(body, ParseBoardRecord);
}

std::vector<BarRecord> ParseBars(std::string_view body) {
    return ParseRecords<BarRecord>(body, ParseBarRecord);
}

int CountRecords(std::string_view body) {
    int count = 0;
    for (std::string_view piece : SplitText(body, "|"))
        count += piece.empty() ? 0 : 1;
    return count;
}

} // namespace net
