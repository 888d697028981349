#include "trade/TradeDlg.h"

#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "trade/PanelList.h"
#include "wire/GbkText.h"

namespace {
constexpr int kTradeTimeColumn = 1; // 成交时间
} // namespace

CTradeDlg::CTradeDlg(ClientContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_list(CreatePanelList(this)) {
    m_list->AddColumns({{QStringLiteral("成交日期"), 130},
                        {QStringLiteral("成交时间"), 105},
                        {QStringLiteral("证券代码"), 100},
                        {QStringLiteral("证券名称"), 110},
                        {QStringLiteral("操作"), 110},
                        {QStringLiteral("成交均价"), 100},
                        {QStringLiteral("成交数量"), 100},
                        {QStringLiteral("成交金额"), 100}});
    // Newest first until the user sorts by another column.
    m_list->SortByColumn(kTradeTimeColumn, Qt::DescendingOrder);
}

void CTradeDlg::FillTradeList() {
    const std::vector<net::TradeRecord> rows = m_context.state.todayTrades.Rows(&net::TradeRecord::code);
    ListFillScope scope(m_list);
    ResetRows(m_list, static_cast<int>(rows.size()));
    const QString sale = QStringLiteral("卖出");
    const QColor red(255, 0, 0);
    const QColor blue(0, 0, 255);
    int row = 0;
    for (const net::TradeRecord& r : rows) {
        const QString side = FromGbkField(r.side);
        const QColor& colour = side == sale ? red : blue;
        m_list->SetItemText(row, 0, FromGbkField(r.tradeDate));
        m_list->SetItemText(row, 1, FromGbkField(r.tradeTime));
        m_list->SetItemText(row, 2, FromGbkField(r.code));
        m_list->SetItemText(row, 3, FromGbkField(r.name));
        m_list->SetItemText(row, 4, side);
        m_list->SetItemText(row, 5, FromGbkField(r.avgPrice));
        m_list->SetItemText(row, 6, FromGbkField(r.quantity));
        m_list->SetItemText(row, 7, FromGbkField(r.amount));
        for (int column = 0; column < 8; ++column)
            m_list->SetItemTextColor(column, row, colour);
        ++row;
    }
}
