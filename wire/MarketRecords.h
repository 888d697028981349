#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The records of the market's own requests: the quotes pushed for subscribed codes (command
// 18), the quote board (command 20) and the bars of one security (command 22). The server
// writes them and the client reads them from these definitions, so both sides agree on every
// field. Records end with '|', fields are separated by ','; later versions may add fields
// after these, never before, so readers ignore extras.
// Prices and money are whole cents on the wire as "12.30".
namespace net {

// Most records one board request returns; a larger count is answered with this many. An
// answer holds whole records only and fewer than asked when one frame would not hold them:
// the next page starts after the last record received, and only an empty body means the end.
inline constexpr int kMaxBoardRecords = 1000;
// Most bars one bars request returns; when one frame would not hold them all, the oldest are
// left out.
inline constexpr int kMaxBarRecords = 1024;

// Field positions of a quote board record.
enum BoardField : int {
    kBoardCode,
    kBoardName,
    kBoardInitials, // pinyin initials of the name in capitals ("PFYH")
    kBoardPrevClose,
    kBoardLast,
    kBoardOpen, // 0.00 until the security first traded today; so are the high and the low
    kBoardHigh,
    kBoardLow,
    kBoardVolume, // shares traded today
    kBoardAmount, // yuan traded today
    kBoardFieldCount,
};

struct BoardRecord {
    std::string code;
    std::string name; // as on the wire (GBK)
    std::string initials;
    std::int64_t prevClose = 0;
    std::int64_t last = 0;
    std::int64_t open = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t volume = 0;
    std::int64_t amount = 0;
};

// Field positions of a quote record (command 18, pushed for the subscribed codes): the five
// bid prices best first, then their volumes, then the same of the asks.
inline constexpr int kQuoteLevels = 5;
enum QuoteField : int {
    kQuoteCode,
    kQuoteName,
    kQuoteLast,
    kQuotePrevClose,
    kQuoteBidPrice,
    kQuoteBidVolume = kQuoteBidPrice + kQuoteLevels,
    kQuoteAskPrice = kQuoteBidVolume + kQuoteLevels,
    kQuoteAskVolume = kQuoteAskPrice + kQuoteLevels,
    kQuoteFieldCount = kQuoteAskVolume + kQuoteLevels,
};

// The period of a bars request: one minute of the current trading day, or one trading day.
enum class BarPeriod : char { kMinute = '1', kDay = 'd' };

std::optional<BarPeriod> ParseBarPeriod(std::string_view text);

// Field positions of a bar record.
enum BarField : int {
    kBarCode,
    kBarPeriod,
    kBarTime, // "HHMM" of the minute the bar starts (exchange time), or "YYYYMMDD"
    kBarOpen,
    kBarHigh,
    kBarLow,
    kBarClose,
    kBarVolume,
    kBarFieldCount,
};

struct BarRecord {
    std::string code;
    BarPeriod period = BarPeriod::kMinute;
    int time = 0; // 931 for 09:31, 20260306 for a day
    std::int64_t open = 0;
    std::int64_t high = 0;
    std::int64_t low = 0;
    std::int64_t close = 0;
    std::int64_t volume = 0;
};

// Appends the record and its closing '|'.
void AppendBoardRecord(std::string& out, const BoardRecord& record);
void AppendBarRecord(std::string& out, const BarRecord& record);

// One record without its '|'; nothing when a field is missing or malformed.
std::optional<BoardRecord> ParseBoardRecord(std::string_view text);
std::optional<BarRecord> ParseBarRecord(std::string_view text);

// "12.30" → 1230 (at most two decimals, no sign); nothing for anything else.
std::optional<std::int64_t> ParseWireCents(std::string_view text);
// 1230 → "12.30".
std::string FormatWireCents(std::int64_t cents);
void AppendWireCents(std::string& out, std::int64_t cents);

} // namespace net
