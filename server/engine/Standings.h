#pragma once

#include "server/ledger/DailyCloses.h"
#include "server/market/Money.h"
#include "wire/Standing.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace server {

class QueryString;
struct RankingSnapshot;

// The first trading day a period counts, for the trading day `day` ("2026-12-09", a
// Wednesday): itself, the Monday of its week, the first of its month; the contest's start
// (an empty text) for the whole contest.
std::string PeriodStart(net::StandingPeriod period, const std::string& day);

// Where every account stands in each period, worked out from one ranking snapshot. Each
// period's return runs from the account's total at the last settlement before the period
// (its starting cash when there is none) to its live total, in unit values; equal returns
// (to the hundredth of a percent shown) share a rank.
class StandingBook final {
public:
    explicit StandingBook(const RankingSnapshot& snapshot);

    struct Figures {
        int rank = 0;
        std::int64_t hundredths = 0; // the return in hundredths of a percent
        Cents profit = 0;            // the live total less the period's opening total and the organiser's money
        double growth = 1;           // live unit value ÷ the period's opening unit value
    };

    // Snapshot row index of an account, or nothing.
    std::optional<std::size_t> RowOf(std::int64_t accountId) const;
    const Figures& Of(net::StandingPeriod period, std::size_t row) const { return figures_[Slot(period)][row]; }
    // Snapshot row indexes by rank (then total assets, then name).
    const std::vector<std::size_t>& Order(net::StandingPeriod period) const { return order_[Slot(period)]; }
    // The live median of the returns since the start, in hundredths of a percent.
    std::int64_t MedianHundredths() const { return median_; }

private:
    static std::size_t Slot(net::StandingPeriod period) { return static_cast<std::size_t>(period); }

    std::array<std::vector<Figures>, 4> figures_;
    std::array<std::vector<std::size_t>, 4> order_;
    std::unordered_map<std::int64_t, std::size_t> rows_;
    std::int64_t median_ = 0;
};

// The answers to command 23 (standing) and 24 (my curve) of the account `accountId`, UTF-8;
// nothing for a malformed body or an account the snapshot does not hold.
std::optional<std::string> StandingReply(const RankingSnapshot& snapshot, std::int64_t accountId,
                                         const QueryString& query);
std::optional<std::string> CurveReply(const RankingSnapshot& snapshot, std::int64_t accountId,
                                      const QueryString& query);

} // namespace server
