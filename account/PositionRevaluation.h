#pragma once

#include <QColor>
#include <QString>

#include <array>

class CListCtrlCl;

namespace net {
class QuoteTable;
struct PositionRecord;
} // namespace net

// The positions list shared by the funds view and the positions page: its eleven columns,
// how a position record becomes a row, and the revaluation of the rows from the latest
// quotes. The list's cells are the working copy: the revaluation reads quantities and
// prices back from them and writes its results into them.
namespace positions {

enum Column {
    kCode = 0,
    kName,
    kBalance,
    kAvailable,
    kFrozen,
    kProfit,
    kCostPrice,
    kProfitRatio,
    kMarketPrice,
    kMarketValue,
    kMarket,
    kColumnCount
};

inline const QColor kProfitColour{255, 0, 0};
inline const QColor kLossColour{0, 0, 255};

// Header height factor 1.5, 26 px rows, fixed columns and the eleven titles with `widths`.
void SetUpList(CListCtrlCl& list, const std::array<int, kColumnCount>& widths);

// "上海A" for a code beginning with 6, "深圳A" for any other.
QString MarketText(const QString& code);

// Appends one row for `record`, coloured by its profit (red above 0, blue otherwise), with
// the record's exact cost kept beside its 成本价 for the revaluation. Without
// `withProfitFigures` the profit and ratio columns stay empty.
void AppendRow(CListCtrlCl& list, const net::PositionRecord& record, bool withProfitFigures);

// What the position cost in all, fees included, in cents. The record's 成本价 is rounded (to
// three decimals by the server), which on 30,000 shares is up to 15 yuan off; its 市值 less its
// 盈亏 is the exact cost. That is taken when it rounds to the 成本价 sent, otherwise (a peer
// whose figures do not add up so) 成本价 × 股票余额.
long long CostCents(const net::PositionRecord& record);

// atof / atoi of a cell text: the longest numeric prefix, 0 when there is none.
double CellNumber(const QString& text);
long long CellInteger(const QString& text);
QString Fixed(double value, int decimals);

// The ratio text for a profit over cost × quantity; "--" when cost × quantity is 0.
QString RatioText(double profit, double cost, long long quantity);

struct PassResult {
    bool totalsChanged = false;  // some profit text changed
    bool coloursChanged = false; // some row crossed between red and blue
};

// One pass over every row: rows whose code is not 6 characters, have no quote or a last
// price under 0.01 are left as they are; a row with a profit text is also left when the
// price equals its market price or is not above 0.5. The profit is the market value at the
// last price less the row's exact cost, in whole cents, as the server works it out.
PassResult Revalue(CListCtrlCl& list, const net::QuoteTable& quotes);

// The market values of all rows as shown with two decimals, summed in whole cents so that
// the total agrees with the server's to the cent however large it grows.
double MarketValueSum(const CListCtrlCl& list);

} // namespace positions
