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

// Appends one row for `record`, coloured by its profit (red above 0, blue otherwise).
// Without `withProfitFigures` the profit and ratio columns stay empty.
void AppendRow(CListCtrlCl& list, const net::PositionRecord& record, bool withProfitFigures);

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
// price equals its market price or is not above 0.5.
PassResult Revalue(CListCtrlCl& list, const net::QuoteTable& quotes);

// The market values of all rows as shown with two decimals, summed in whole cents so that
// the total agrees with the server's to the cent however large it grows.
double MarketValueSum(const CListCtrlCl& list);

} // namespace positions
