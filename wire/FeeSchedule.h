#pragma once

#include <cstdint>

// The charges of a trade, in cents. The server charges them and may be run with other rates;
// the client is never told those and leaves room for the defaults when it works out what the
// funds can buy, so both sides compute a charge with the same rounding.
namespace net {

// amount × rate, rounded to the nearest cent (half away from zero).
std::int64_t ApplyRate(std::int64_t amount, double rate);

// Commission has a floor per order, so an order that fills in parts is charged the difference
// between the commission on its running total and what it already paid.
struct FeeSchedule {
    double commissionRate = 0.0003; // of the traded amount, per order
    std::int64_t minCommission = 500;
    double stampDutyRate = 0.0005; // sells only
    double transferFeeRate = 0.00001;

    // Commission owed for an order that has traded `filledAmount` in all (0 for nothing traded).
    std::int64_t CommissionFor(std::int64_t filledAmount) const;
    std::int64_t StampDuty(std::int64_t amount, bool sell) const { return sell ? ApplyRate(amount, stampDutyRate) : 0; }
    std::int64_t TransferFee(std::int64_t amount) const { return ApplyRate(amount, transferFeeRate); }
    // A buy of `amount` in one order with its charges: what the server holds back for it.
    std::int64_t BuyCost(std::int64_t amount) const { return amount + CommissionFor(amount) + TransferFee(amount); }
};

} // namespace net
