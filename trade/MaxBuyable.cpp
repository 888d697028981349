#include "trade/MaxBuyable.h"

#include "wire/FeeSchedule.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::int64_t kLot = 100;
// Far beyond any contest's cash; keeps every product below in range.
constexpr double kMaxBudgetCents = 1e15;

} // namespace

long long MaxBuyableShares(double value8, double availableFunds, double price, net::Board board) {
    if (!(price > 0) || !(availableFunds > 0) || !(value8 > 0))
        return 0;
    const std::int64_t priceCents = std::llround(std::min(price, kMaxBudgetCents) * 100);
    if (priceCents <= 0)
        return 0;
    const double availableCents = std::round(std::min(availableFunds * 100, kMaxBudgetCents));
    const auto budget = static_cast<std::int64_t>(std::min(std::floor(availableCents * value8 / 100), kMaxBudgetCents));
    // STAR buys go in single shares once at its minimum; the other boards in lots.
    const std::int64_t unit = board == net::Board::kStar ? 1 : kLot;
    const std::int64_t unitCost = priceCents * unit;
    // An upper bound first (the charges are at least their rates), then down to the first
    // number of units that the budget pays for with its charges.
    const net::FeeSchedule fees;
    const double rate = 1 + fees.commissionRate + fees.transferFeeRate;
    auto units = static_cast<std::int64_t>(std::floor(static_cast<double>(budget + 1) / (unitCost * rate))) + 1;
    while (units > 0 && fees.BuyCost(units * unitCost) > budget)
        --units;
    const std::int64_t shares = std::min(units * unit, net::MaxOrderShares(board) / unit * unit);
    return shares < net::MinBuyShares(board) ? 0 : shares;
}
