#include "account/PositionRevaluation.h"

#include "account/ListCtrlCl.h"
#include "core/Gbk.h"
#include "net/QuoteTable.h"
#include "net/Records.h"
#include "wire/Board.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <cmath>

namespace positions {

namespace {
// Beside the 成本价 cell, so that it follows its row when the list sorts.
constexpr int kCostCentsRole = Qt::UserRole + 16;

const std::array<QString, kColumnCount>& Titles() {
    static const std::array<QString, kColumnCount> titles = {
        QStringLiteral("证劵代码"), QStringLiteral("证劵名称"),    QStringLiteral("股票余额"),
        QStringLiteral("可用余额"), QStringLiteral("冻结数量"),    QStringLiteral("盈亏"),
        QStringLiteral("成本价"),   QStringLiteral("盈亏比列(%)"), QStringLiteral("市价"),
        QStringLiteral("市值"),     QStringLiteral("交易市场")};
    return titles;
}

void ColourRow(CListCtrlCl& list, int row, const QColor& colour) {
    for (int column = 0; column < list.columnCount(); ++column)
        list.SetItemTextColor(column, row, colour);
}

void SetIfDifferent(CListCtrlCl& list, int row, int column, const QString& text) {
    if (list.GetItemText(row, column) != text)
        list.SetItemText(row, column, text);
}

long long Cents(std::string_view text) {
    return std::llround(net::LeadingDouble(text) * 100);
}

// Half a unit of the last decimal written in `text` ("10.503" → 0.0005).
double HalfLastUnit(std::string_view text) {
    const std::size_t point = text.find('.');
    int decimals = 0;
    for (std::size_t i = point + 1;
         point != std::string_view::npos && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        ++decimals;
    return 0.5 * std::pow(10.0, -decimals);
}
} // namespace

void SetUpList(CListCtrlCl& list, const std::array<int, kColumnCount>& widths) {
    list.m_headerHeightFactor = 1.5f;
    list.SetRowHeight();
    for (int i = 0; i < kColumnCount; ++i)
        list.AddColumn(i, Titles()[static_cast<std::size_t>(i)], widths[static_cast<std::size_t>(i)]);
    // "交易市场", the last title, shows whole at every font size, and at 1200×700 without
    // scrolling: the other columns make room for it.
    list.WidenColumnToContents(kColumnCount - 1);
    list.FitColumnsToWidth();
}

QString MarketText(std::string_view code) {
    return net::ExchangeOf(code) == net::Exchange::kShanghai ? QStringLiteral("上海A") : QStringLiteral("深圳A");
}

void AppendRow(CListCtrlCl& list, const net::PositionRecord& record, bool withProfitFigures) {
    const QString code = FromGbkField(record.code);
    const QColor colour = CellNumber(FromGbkField(record.profit)) > 0 ? kProfitColour : kLossColour;
    const int row = list.InsertItem(list.GetItemCount(), code);
    list.SetItemText(row, kName, FromGbkField(record.name));
    list.SetItemText(row, kBalance, FromGbkField(record.balance));
    list.SetItemText(row, kAvailable, FromGbkField(record.available));
    list.SetItemText(row, kFrozen, FromGbkField(record.frozen));
    list.SetItemText(row, kCostPrice, FromGbkField(record.costPrice));
    list.item(row, kCostPrice)->setData(kCostCentsRole, CostCents(record));
    if (withProfitFigures) {
        list.SetItemText(row, kProfit, FromGbkField(record.profit));
        list.SetItemText(row, kProfitRatio, FromGbkField(record.profitRatio));
    }
    list.SetItemText(row, kMarketPrice, FromGbkField(record.marketPrice));
    list.SetItemText(row, kMarketValue, FromGbkField(record.marketValue));
    list.SetItemText(row, kMarket, MarketText(net::FieldText(record.code)));
    ColourRow(list, row, colour);
}

long long CostCents(const net::PositionRecord& record) {
    const std::string_view costText = net::FieldText(record.costPrice);
    const double cost = net::LeadingDouble(costText);
    const long long balance = net::LeadingInteger(net::FieldText(record.balance));
    const long long rounded = std::llround(cost * static_cast<double>(balance) * 100);
    const std::string_view value = net::FieldText(record.marketValue);
    const std::string_view profit = net::FieldText(record.profit);
    if (value.empty() || profit.empty() || balance <= 0)
        return rounded;
    const long long exact = Cents(value) - Cents(profit);
    const double perShare = static_cast<double>(exact) / 100.0 / static_cast<double>(balance);
    return std::abs(perShare - cost) <= HalfLastUnit(costText) + 1e-9 ? exact : rounded;
}

double CellNumber(const QString& text) {
    return net::LeadingDouble(text.toStdString());
}

long long CellInteger(const QString& text) {
    return net::LeadingInteger(text.toStdString());
}

QString Fixed(double value, int decimals) {
    return QString::asprintf("%0.*f", decimals, value);
}

QString RatioText(double profit, double cost, long long quantity) {
    const double base = cost * static_cast<double>(quantity);
    if (base == 0.0)
        return QStringLiteral("--");
    return Fixed(profit * 100.0 / base, 2);
}

PassResult Revalue(CListCtrlCl& list, const net::QuoteTable& quotes) {
    PassResult result;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const QString code = list.GetItemText(row, kCode);
        if (code.size() != 6)
            continue;
        net::QuoteRecord quote{};
        if (!quotes.FindQuote(code.toStdString(), quote))
            continue;
        const double price = static_cast<double>(quote.lastPrice);
        if (price < 0.01)
            continue;
        const QString oldPrice = list.GetItemText(row, kMarketPrice);
        const QString oldProfit = list.GetItemText(row, kProfit).trimmed();
        if (!oldProfit.isEmpty() && (price == CellNumber(oldPrice) || !(price > 0.5)))
            continue;

        const long long quantity = CellInteger(list.GetItemText(row, kBalance));
        const long long costCents = list.item(row, kCostPrice)->data(kCostCentsRole).toLongLong();
        const QString newProfit = Fixed(static_cast<double>(std::llround(price * 100) * quantity - costCents) / 100, 2);
        const double newProfitValue = CellNumber(newProfit);
        if (newProfit != oldProfit) {
            list.SetItemText(row, kProfit, newProfit);
            result.totalsChanged = true;
            const double oldProfitValue = CellNumber(oldProfit);
            // A profit falling from positive to exactly 0 stays red; any negative profit is blue,
            // also one that follows a zero.
            const bool crossed =
                (oldProfitValue <= 0 && newProfitValue > 0) || (oldProfitValue >= 0 && newProfitValue < 0);
            if (crossed) {
                ColourRow(list, row, newProfitValue > 0 ? kProfitColour : kLossColour);
                result.coloursChanged = true;
            }
        }
        const double costPerShare =
            quantity > 0 ? static_cast<double>(costCents) / 100 / static_cast<double>(quantity) : 0;
        SetIfDifferent(list, row, kProfitRatio, RatioText(newProfitValue, costPerShare, quantity));
        const QString priceText = Fixed(price, 2);
        if (priceText != oldPrice)
            list.SetItemText(row, kMarketPrice, priceText);
        SetIfDifferent(list, row, kMarketValue, Fixed(static_cast<double>(quantity) * CellNumber(priceText), 2));
    }
    if (result.coloursChanged)
        list.viewport()->update();
    return result;
}

double MarketValueSum(const CListCtrlCl& list) {
    long long cents = 0;
    for (int row = 0; row < list.GetItemCount(); ++row)
        cents += std::llround(CellNumber(list.GetItemText(row, kMarketValue)) * 100);
    return static_cast<double>(cents) / 100;
}

} // namespace positions
