#include "net/Board.h"

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

} // namespace net
