#pragma once

#include "server/market/Money.h"
#include "server/market/Securities.h"
#include "wire/Board.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace server {

struct BookLevel {
    Cents price = 0; // 0: the level is empty (beyond the price limit)
    std::int64_t volume = 0;
};

// What a security did today: set by its first price of the day, reset at the day's settlement.
struct DayStats {
    Cents open = 0; // 0 until the first price of the day; so are the high and the low
    Cents high = 0;
    Cents low = 0;
    std::int64_t volume = 0; // shares
    Cents amount = 0;
    bool operator==(const DayStats&) const = default;
};

struct Quote {
    std::string code;
    std::string name;     // UTF-8
    std::string initials; // pinyin initials of the name, in capitals
    Cents prevClose = 0;
    Cents last = 0;
    int limitPercent = net::kMainLimitPercent;
    std::array<BookLevel, 5> bids;
    std::array<BookLevel, 5> asks;
    DayStats day;

    Cents LimitUp() const { return net::LimitPrices(prevClose, limitPercent).up; }
    Cents LimitDown() const { return net::LimitPrices(prevClose, limitPercent).down; }
};

// The simulated market: a seeded random walk of every security inside its price limits,
// with a five-level book around the last price, or a replay of snapshots from a CSV file.
// Volumes taken by fills stay taken until the next tick refreshes the book. The simulation
// trades a volume at each step that suits the security's price; fills add theirs (Trade).
// Securities are kept in code order. Not thread-safe: the engine thread owns it.
class Market final {
public:
    Market(std::uint64_t seed, int mainLimitPercent, int growthLimitPercent,
           std::span<const SecurityInfo> securities = DefaultSecurities());

    // Replaces the simulation by a replay. Each line: tick, then the 24 fields of a quote
    // record (code, name, last, previous close, 5 bid prices, 5 bid volumes, 5 ask prices,
    // 5 ask volumes), then optionally the shares traded since the security's previous line;
    // '#' starts a comment line. After the last tick the book holds still.
    // Turns GBK text into UTF-8; empty when the text is not GBK.
    using TextDecoder = std::function<std::optional<std::string>(std::string_view)>;
    // The file may be UTF-8 or, given `fromGbk`, GBK; other text is refused with its line.
    bool LoadCsv(const std::string& path, std::string& error, const TextDecoder& fromGbk = {});

    // One market step.
    void Advance();
    // A new trading day: the last price becomes the previous close, the day's figures start
    // afresh.
    void StartDay();
    // Continues from stored prices and day figures (after a restart in the same day); a
    // replay keeps its own prices.
    void Restore(std::string_view code, Cents prevClose, Cents last, const DayStats& day = {});
    // A replay restarted in the same day goes on from the tick it had reached, without
    // counting the volume of the lines it passes again.
    void ResumeReplay(std::uint64_t tick);
    bool Replaying() const { return replay_; }

    // `shares` traded at `price` (0 shares: a price without a trade) enter the day's figures.
    static void Trade(Quote& quote, std::int64_t shares, Cents price);

    Quote* Find(std::string_view code);
    const Quote* Find(std::string_view code) const;
    const std::vector<Quote>& Quotes() const { return quotes_; }
    std::uint64_t TickCount() const { return ticks_; }

    // Everything a batch of requests and ticks can change: the books (fills take volume),
    // the prices and the simulation's position. A batch that is rolled back rewinds to it.
    struct Checkpoint {
        std::vector<Quote> quotes;
        std::vector<Quote> held;
        std::mt19937_64 rng;
        std::uint64_t ticks = 0;
        std::size_t nextRow = 0;
    };
    Checkpoint Save() const { return {quotes_, held_, rng_, ticks_, nextRow_}; }
    void Rewind(Checkpoint checkpoint);

    // The 24 comma-separated fields of a quote update record followed by '|' (UTF-8).
    static std::string RecordText(const Quote& quote);
    // The security's quote board record (net/MarketRecords.h) followed by '|' (UTF-8).
    static std::string BoardText(const Quote& quote);

private:
    void AddSecurity(std::string_view code, std::string_view name, Cents prevClose);
    void SortByCode();
    void BuildBook(Quote& quote);
    std::int64_t StepVolume(const Quote& quote, double move);
    void ApplyCsvTick(bool trade);

    std::mt19937_64 rng_;
    int mainLimit_;
    int growthLimit_;
    std::vector<Quote> quotes_;
    std::unordered_map<std::string, std::size_t> index_;
    std::uint64_t ticks_ = 0;

    bool replay_ = false;
    struct CsvRow {
        std::uint64_t tick;
        Quote quote;
        std::int64_t volume = 0;
    };
    std::vector<CsvRow> rows_;
    std::size_t nextRow_ = 0;
    std::vector<Quote> held_; // the last replayed snapshot of each security
};

} // namespace server
