#pragma once

#include "server/ledger/Ledger.h"
#include "server/market/Money.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace server {

struct RankingEntry {
    int rank = 0;
    std::string name; // UTF-8, unmasked
    Cents total = 0;  // cash and stock value at the last price
    Cents initialCash = 0;
    int positions = 0;
};

// The contest's standings as the engine last published them; never changed once made, so
// readers on other threads share it without a lock.
struct RankingSnapshot {
    std::string day;     // the trading day
    std::string updated; // "2026-12-07 14:05:09", local time of the batch that made it
    std::vector<RankingEntry> rows;
};
using RankingSnapshotPtr = std::shared_ptr<const RankingSnapshot>;

// `rows` in the ledger's order (total assets, highest first), numbered from 1.
RankingSnapshotPtr MakeRankingSnapshot(const std::vector<RankingRow>& rows, std::string day, std::string updated);

// "张三丰" → "张**": the first character and two stars, whatever the length, so that the
// public page tells neither the name nor its length.
std::string MaskName(std::string_view utf8);

// "12.34" for a gain of 12.34 % of the initial cash (two decimals, rounded); "0.00"
// without initial cash.
std::string ReturnPercent(Cents total, Cents initialCash);

// The snapshot as the JSON document the ranking page reads.
std::string RankingJson(const RankingSnapshot& snapshot, bool fullNames);

} // namespace server

namespace server {

// Where the engine puts each new snapshot and the HTTP side takes the latest one.
class RankingBoard final {
public:
    void Publish(RankingSnapshotPtr snapshot) {
        std::lock_guard lock(mutex_);
        current_ = std::move(snapshot);
    }
    // Null until the engine published its first snapshot.
    RankingSnapshotPtr Current() const {
        std::lock_guard lock(mutex_);
        return current_;
    }

private:
    mutable std::mutex mutex_;
    RankingSnapshotPtr current_;
};

} // namespace server
