#pragma once

#include "wire/Standing.h"

#include <memory>
#include <optional>
#include <string>

namespace server {

// The contest's standings as the engine last published them (the whole of it in
// server/engine/RankingBoard.h); never changed once made, so readers on other threads share
// it without a lock.
struct RankingSnapshot;
using RankingSnapshotPtr = std::shared_ptr<const RankingSnapshot>;

// Where the latest standings are read.
class RankingSource {
public:
    // Any thread. Null until the first snapshot was published.
    virtual RankingSnapshotPtr Current() const = 0;

protected:
    ~RankingSource() = default;
};

// The snapshot as the JSON document the ranking page reads: by total assets and the return
// since the start without a period, else by the period's return (its rank, return and profit),
// with the live index and the contest's median return.
std::string RankingJson(const RankingSnapshot& snapshot, bool fullNames,
                        std::optional<net::StandingPeriod> period = std::nullopt);

} // namespace server
