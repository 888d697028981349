#include "wire/Board.h"

namespace net {

Board BoardOf(std::string_view code) {
    if (code.starts_with("688") || code.starts_with("689"))
        return Board::kStar;
    if (code.starts_with('6'))
        return Board::kShanghaiMain;
    if (code.starts_with("300") || code.starts_with("301"))
        return Board::kChiNext;
    return Board::kShenzhenMain;
}

Exchange ExchangeOf(std::string_view code) {
    const Board board = BoardOf(code);
    return board == Board::kShanghaiMain || board == Board::kStar ? Exchange::kShanghai : Exchange::kShenzhen;
}

bool IsGrowthBoard(Board board) {
    return board == Board::kStar || board == Board::kChiNext;
}

int LimitPercent(Board board) {
    return IsGrowthBoard(board) ? kGrowthLimitPercent : kMainLimitPercent;
}

PriceLimits LimitPrices(std::int64_t prevCloseCents, int percent) {
    // Whole-number arithmetic: a limit that lies exactly half-way between two ticks goes up.
    return {(prevCloseCents * (100 + percent) + 50) / 100, (prevCloseCents * (100 - percent) + 50) / 100};
}

std::int64_t MaxOrderShares(Board board) {
    switch (board) {
    case Board::kStar:
        return 100'000;
    case Board::kChiNext:
        return 300'000;
    default:
        return 1'000'000;
    }
}

std::int64_t MinBuyShares(Board board) {
    return board == Board::kStar ? 200 : 100;
}

QuantityProblem CheckBuy(Board board, std::int64_t shares) {
    if (shares > MaxOrderShares(board))
        return QuantityProblem::kAboveMaximum;
    if (board == Board::kStar)
        return shares < MinBuyShares(board) ? QuantityProblem::kBuyBelowMinimum : QuantityProblem::kOk;
    return shares % 100 != 0 ? QuantityProblem::kBuyNotWholeLots : QuantityProblem::kOk;
}

QuantityProblem CheckSell(Board board, std::int64_t shares, std::int64_t sellable) {
    if (shares > MaxOrderShares(board))
        return QuantityProblem::kAboveMaximum;
    if (board == Board::kStar)
        return shares < MinBuyShares(board) && shares != sellable ? QuantityProblem::kSmallHoldingPart
                                                                  : QuantityProblem::kOk;
    // Whole lots, or whole lots plus the holding's whole odd remainder.
    return shares % 100 != 0 && shares % 100 != sellable % 100 ? QuantityProblem::kOddLotNotInFull
                                                               : QuantityProblem::kOk;
}

bool InPriceCage(Board board, bool buy, std::int64_t priceCents, std::int64_t referenceCents) {
    if (referenceCents <= 0)
        return true; // nothing to measure against
    const bool tickFloor = !IsGrowthBoard(board);
    if (buy) {
        const bool withinPercent = priceCents * 100 <= referenceCents * 102;
        return withinPercent || (tickFloor && priceCents <= referenceCents + 10);
    }
    const bool withinPercent = priceCents * 100 >= referenceCents * 98;
    return withinPercent || (tickFloor && priceCents >= referenceCents - 10);
}

} // namespace net
