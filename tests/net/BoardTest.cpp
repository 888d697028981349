// Boards and price limits as the exchanges publish them, with limits worked out by hand.

#include "net/Board.h"

#include <gtest/gtest.h>

namespace {

TEST(Board, LeadingDigitsNameTheBoard) {
    const struct {
        const char* code;
        net::Board board;
    } cases[] = {
        {"600000", net::Board::kShanghaiMain}, {"603259", net::Board::kShanghaiMain},
        {"601988", net::Board::kShanghaiMain}, {"688981", net::Board::kStar},
        {"689009", net::Board::kStar},         {"000001", net::Board::kShenzhenMain},
        {"002594", net::Board::kShenzhenMain}, {"300059", net::Board::kChiNext},
        {"301269", net::Board::kChiNext},      {"302132", net::Board::kShenzhenMain},
        {"680001", net::Board::kShanghaiMain}, {"", net::Board::kShenzhenMain},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net::BoardOf(c.code), c.board) << c.code;
}

TEST(Board, GrowthBoardsMoveTwentyPercentOthersTen) {
    EXPECT_EQ(net::LimitPercent(net::BoardOf("600000")), 10);
    EXPECT_EQ(net::LimitPercent(net::BoardOf("000001")), 10);
    EXPECT_EQ(net::LimitPercent(net::BoardOf("300059")), 20);
    EXPECT_EQ(net::LimitPercent(net::BoardOf("301269")), 20);
    EXPECT_EQ(net::LimitPercent(net::BoardOf("688981")), 20);
    EXPECT_EQ(net::LimitPercent(net::BoardOf("689009")), 20);
}

TEST(Board, LimitsRoundHalfUpToTheTick) {
    const struct {
        std::int64_t prevClose;
        int percent;
        std::int64_t up;
        std::int64_t down;
    } cases[] = {
        {712, 10, 783, 641},     // 7.832 and 6.408
        {1058, 10, 1164, 952},   // 11.638 and 9.522
        {1524, 20, 1829, 1219},  // 18.288 and 12.192
        {8436, 20, 10123, 6749}, // 101.232 and 67.488
        {115, 10, 127, 104},     // 1.265 and 1.035: half-way goes up
        {1000, 10, 1100, 900},   // exact
        {5, 10, 6, 5},           // 0.055 and 0.045
    };
    for (const auto& c : cases) {
        const net::PriceLimits limits = net::LimitPrices(c.prevClose, c.percent);
        EXPECT_EQ(limits.up, c.up) << c.prevClose;
        EXPECT_EQ(limits.down, c.down) << c.prevClose;
    }
}

} // namespace
