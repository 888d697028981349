#include "wire/Commands.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandsTest, CancelsAreThreeToSixAndOnlyOrdersAndCancelsChangeAnAccount) {
    struct Case {
        int command;
        bool cancel;
        bool orderOrCancel;
    };
    const Case cases[] = {
        {1, false, false}, {2, false, true},   {3, true, true},    {4, true, true},    {5, true, true},
        {6, true, true},   {7, false, false},  {11, false, false}, {14, false, false}, {21, false, false},
        {0, false, false}, {-3, false, false}, {90, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(net::IsCancel(c.command), c.cancel) << c.command;
        EXPECT_EQ(net::IsOrderOrCancel(c.command), c.orderOrCancel) << c.command;
    }
}

} // namespace
