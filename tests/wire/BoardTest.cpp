// Boards and price limits as the exchanges publish them, with limits worked out by hand.

#include "wire/Board.h"

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

TEST(Board, CodesBeginningWithSixTradeInShanghai) {
    const struct {
        const char* code;
        net::Exchange exchange;
    } cases[] = {
        {"600000", net::Exchange::kShanghai}, {"688981", net::Exchange::kShanghai},
        {"689009", net::Exchange::kShanghai}, {"000001", net::Exchange::kShenzhen},
        {"300059", net::Exchange::kShenzhen}, {"301269", net::Exchange::kShenzhen},
        {"", net::Exchange::kShenzhen},
    };
    for (const auto& c : cases)
        EXPECT_EQ(net::ExchangeOf(c.code), c.exchange) << c.code;
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

TEST(Board, BuyQuantitiesFollowTheBoardsLotsAndMaximums) {
    using net::QuantityProblem;
    const auto main = net::BoardOf("600000");
    const auto star = net::BoardOf("688981");
    const auto chinext = net::BoardOf("300750");
    EXPECT_EQ(net::CheckBuy(main, 100), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckBuy(main, 150), QuantityProblem::kBuyNotWholeLots);
    EXPECT_EQ(net::CheckBuy(net::BoardOf("000001"), 99), QuantityProblem::kBuyNotWholeLots);
    EXPECT_EQ(net::CheckBuy(chinext, 250), QuantityProblem::kBuyNotWholeLots);
    // STAR: at least 200, then steps of one share.
    EXPECT_EQ(net::CheckBuy(star, 100), QuantityProblem::kBuyBelowMinimum);
    EXPECT_EQ(net::CheckBuy(star, 199), QuantityProblem::kBuyBelowMinimum);
    EXPECT_EQ(net::CheckBuy(star, 200), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckBuy(star, 201), QuantityProblem::kOk);
    // The largest order: 1,000,000 on the main boards, 300,000 on ChiNext, 100,000 on STAR.
    EXPECT_EQ(net::CheckBuy(main, 1'000'000), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckBuy(main, 1'000'100), QuantityProblem::kAboveMaximum);
    EXPECT_EQ(net::CheckBuy(chinext, 300'000), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckBuy(chinext, 300'100), QuantityProblem::kAboveMaximum);
    EXPECT_EQ(net::CheckBuy(star, 100'000), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckBuy(star, 100'001), QuantityProblem::kAboveMaximum);
}

TEST(Board, OddLotsAreSoldInFull) {
    using net::QuantityProblem;
    const auto main = net::BoardOf("600000");
    const auto star = net::BoardOf("688981");
    // 250 sellable: lots, the odd 50 alone, or lots with the whole odd 50.
    for (long long ok : {100, 200, 50, 150, 250})
        EXPECT_EQ(net::CheckSell(main, ok, 250), QuantityProblem::kOk) << ok;
    for (long long bad : {30, 120, 249})
        EXPECT_EQ(net::CheckSell(main, bad, 250), QuantityProblem::kOddLotNotInFull) << bad;
    EXPECT_EQ(net::CheckSell(main, 60, 300), QuantityProblem::kOddLotNotInFull);
    // STAR: 200 and more in any step; below 200 only a whole holding.
    EXPECT_EQ(net::CheckSell(star, 201, 450), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckSell(star, 150, 450), QuantityProblem::kSmallHoldingPart);
    EXPECT_EQ(net::CheckSell(star, 150, 150), QuantityProblem::kOk);
    EXPECT_EQ(net::CheckSell(star, 100, 150), QuantityProblem::kSmallHoldingPart);
    EXPECT_EQ(net::CheckSell(net::BoardOf("300750"), 300'100, 400'000), QuantityProblem::kAboveMaximum);
}
