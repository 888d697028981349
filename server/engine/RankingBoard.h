#pragma once

#include "server/engine/Standings.h"
#include "server/engine/published/PublishedRanking.h"
#include "server/ledger/Ledger.h"
#include "server/market/Money.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace server {

struct RankingEntry {
    int rank = 0;
    std::int64_t id = 0;
    std::string name; // UTF-8, unmasked
    Cents total = 0;  // cash and stock value at the last price
    Cents initialCash = 0;
    int positions = 0;
    Cents pendingFlow = 0; // the organiser's money moved in today
    DayCloses closes;      // every settlement of the account, oldest first
};

// The contest's standings as the engine last published them; never changed once made, so
// readers on other threads share it without a lock.
struct RankingSnapshot {
    std::string day;     // the trading day
    std::string updated; // "2026-12-07 14:05:09", local time of the batch that made it
    std::vector<RankingEntry> rows;
    MarketCloses market;         // every settlement of the contest, oldest first
    std::int64_t index = 100000; // the live index, in hundredths of a point

    // The standings by period, worked out by the first reader that asks (any thread).
    const StandingBook& Standings() const {
        std::call_once(standingsMade_, [this] { standings_.emplace(*this); });
        return *standings_;
    }

private:
    mutable std::once_flag standingsMade_;
    mutable std::optional<StandingBook> standings_;
};

// `rows` in the ledger's order (total assets, highest first), numbered from 1.
RankingSnapshotPtr MakeRankingSnapshot(const std::vector<RankingRow>& rows, std::string day, std::string updated,
                                       MarketCloses market = {}, std::int64_t index = 100000);

// "张三丰" → "张**": the first character and two stars, whatever the length, so that the
// public page tells neither the name nor its length.
std::string MaskName(std::string_view utf8);

// "12.34" for a gain of 12.34 % of the initial cash (two decimals, rounded); "0.00"
// without initial cash.
std::string ReturnPercent(Cents total, Cents initialCash);

} // namespace server

namespace server {

// Where the engine puts each new snapshot and the HTTP side and the sessions take the latest
// one. The standings by period are worked out on a thread of the board's own before a
// snapshot becomes the latest, so that neither the engine nor the network thread spends
// its time on them; a snapshot that arrives while one is being worked out replaces any
// other waiting.
class RankingBoard final : public RankingSource {
public:
    RankingBoard();
    ~RankingBoard();
    RankingBoard(const RankingBoard&) = delete;
    RankingBoard& operator=(const RankingBoard&) = delete;

    // Any thread. The first snapshot is worked out at once, on the calling thread.
    void Publish(RankingSnapshotPtr snapshot);
    RankingSnapshotPtr Current() const override;

private:
    void Work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    RankingSnapshotPtr current_;
    RankingSnapshotPtr waiting_;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace server
