#pragma once

#include "server/market/Money.h"
#include "wire/FeeRates.h"

namespace server {

// The charges of one trade. Commission has a floor per order, so the engine charges the
// difference between the order's running total and what the order already paid.
struct FeeSchedule {
    double commissionRate = net::kDefaultCommissionRate;
    Cents minCommission = net::kDefaultMinCommissionCents;
    double stampDutyRate = net::kDefaultStampDutyRate; // sells only
    double transferFeeRate = net::kDefaultTransferFeeRate;

    // Commission owed for an order that has traded `filledAmount` in all (0 for nothing traded).
    Cents CommissionFor(Cents filledAmount) const {
        if (filledAmount <= 0)
            return 0;
        const Cents c = ApplyRate(filledAmount, commissionRate);
        return c < minCommission ? minCommission : c;
    }
    Cents StampDuty(Cents amount, bool sell) const { return sell ? ApplyRate(amount, stampDutyRate) : 0; }
    Cents TransferFee(Cents amount) const { return ApplyRate(amount, transferFeeRate); }
};

} // namespace server
