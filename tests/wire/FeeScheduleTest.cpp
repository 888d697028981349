#include "wire/FeeSchedule.h"

#include <gtest/gtest.h>

namespace {

// Amounts in cents; the expected charges are worked out by hand at the default rates
// (commission 0.03 % with a 5.00 floor, stamp duty 0.05 % on sells, transfer fee 0.001 %).
TEST(FeeScheduleTest, DefaultChargesOfOneOrder) {
    const net::FeeSchedule fees;
    EXPECT_EQ(fees.CommissionFor(0), 0);
    EXPECT_EQ(fees.CommissionFor(1'000'000), 500);    // 3.00 is below the 5.00 floor
    EXPECT_EQ(fees.CommissionFor(10'000'000), 3'000); // 100,000.00 × 0.03 %
    EXPECT_EQ(fees.StampDuty(1'000'000, false), 0);
    EXPECT_EQ(fees.StampDuty(1'000'000, true), 500);
    EXPECT_EQ(fees.TransferFee(1'000'000), 10);
    EXPECT_EQ(fees.BuyCost(1'000'000), 1'000'510);
    EXPECT_EQ(fees.BuyCost(10'000'000), 10'003'100);
}

TEST(FeeScheduleTest, PartFillsOweTheFloorOnceAndRoundHalfAwayFromZero) {
    const net::FeeSchedule fees;
    // 4,000.00 traded first pays the floor; at 20,000.00 in all the order owes 6.00.
    EXPECT_EQ(fees.CommissionFor(2'000'000) - fees.CommissionFor(400'000), 100);
    EXPECT_EQ(net::ApplyRate(3, 0.5), 2);
    EXPECT_EQ(net::ApplyRate(-3, 0.5), -2);
    EXPECT_EQ(net::ApplyRate(1'234, 0), 0);
    const net::FeeSchedule free{0, 0, 0, 0};
    EXPECT_EQ(free.BuyCost(1'000'000), 1'000'000);
    EXPECT_EQ(free.CommissionFor(1'000'000), 0);
}

} // namespace
