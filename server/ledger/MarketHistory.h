#pragma once

#include "server/market/Money.h"
#include "wire/MarketRecords.h"

#include <cstddef>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace server {

class Market;
class Store;

struct Bar {
    int time = 0; // HHMM of the minute it starts, or YYYYMMDD
    Cents open = 0;
    Cents high = 0;
    Cents low = 0;
    Cents close = 0;
    std::int64_t volume = 0;
    bool operator==(const Bar&) const = default;
};

// The bars of every security: today's minute bars and the daily bars, kept in the store and
// in memory for the bars request. The engine thread records a tick's bars inside its batch's
// transaction and publishes them once the batch is committed (or forgets them when it was
// rolled back); any thread reads what was published.
class MarketHistory final {
public:
    // Most bars of each period kept in memory per security (what one request may ask for);
    // the store keeps the whole day's minutes. Minutes are cut back once twice as many piled
    // up, so that a day traded round the clock costs one move per security every 1,024 minutes.
    static constexpr std::size_t kBarsKept = net::kMaxBarRecords;

    // Engine thread. Takes the bars of `day` ("2026-03-06") and the daily bars from the store
    // for the market's securities; published with the batch.
    void Load(Store& db, const Market& market, const std::string& day);
    // Engine thread, inside the batch's transaction: the market's prices and the volume
    // traded since the last call go into each security's bar of `minute` (HHMM); a security
    // that neither traded nor moved gets no bar for a new minute.
    void Record(Store& db, const Market& market, const std::string& day, int minute);
    // Engine thread, after the batch's commit or its rollback.
    void Publish();
    void Discard();

    // Inside the closing day's transaction, before the day's figures are reset: each security
    // that traded gets its daily bar; the day's minute bars are dropped.
    static void CloseDay(Store& db, const Market& market, const std::string& day);

    // Any thread: the newest `count` bars of `code`, oldest first, as wire records, as many of
    // them as fit `maxBytes`; empty for an unknown code.
    std::string BarsText(std::string_view code, net::BarPeriod period, int count, std::size_t maxBytes) const;

private:
    struct Series {
        std::vector<Bar> minutes;
        std::vector<Bar> days;
    };
    // The engine thread's view of a security between ticks.
    struct Live {
        std::optional<Bar> bar;          // its latest minute bar
        std::int64_t recordedVolume = 0; // the day's volume that bars account for
    };

    Live LiveOf(std::size_t index) const;

    // Engine thread only.
    std::vector<Live> live_;
    std::unordered_map<std::size_t, Live> staged_;
    std::optional<std::vector<Series>> reloaded_; // a Load not yet published
    std::vector<Live> reloadedLive_;
    std::unordered_map<std::string, std::size_t> reloadedIndex_;

    mutable std::mutex mutex_;
    std::unordered_map<std::string, std::size_t> index_; // guarded
    std::vector<Series> series_;                         // guarded; in the market's order
};

// The minute a bar of a moment belongs to, as HHMM. By the exchange's day, the opening call's
// trades fall into the 09:30 bar, the morning's last moment into 11:29's and the closing
// call's into 14:59's.
int BarMinute(int minuteOfDay, bool exchangeDay);

// "2026-03-06" → 20260306.
int DayNumber(std::string_view day);

} // namespace server
