#include "account/TodayTradeView.h"

#include "account/AccountList.h"
#include "account/CsvExport.h"
#include "account/ListCtrlCl.h"
#include "controls/Dlu.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"

CTodayTradeView::CTodayTradeView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent)
    , m_list(new CListCtrlCl(this)) {
    m_list->setObjectName(QStringLiteral("id1041"));
    new CCsvExport(m_list);
    resize(DluX(397), DluY(224));
}

void CTodayTradeView::OnInitialUpdate() {
    SetUpAccountList(*m_list, {{tr("成交日期"), 120},
                               {tr("成交时间"), 100},
                               {tr("证券代码"), 100},
                               {tr("证券名称"), 110},
                               {tr("操 作"), 110},
                               {tr("成交均价"), 100},
                               {tr("成交数量"), 100},
                               {tr("成交金额"), 100}});
    // Newest first (成交时间) until the user sorts by another column.
    m_list->SortByColumn(1, Qt::DescendingOrder);
    m_listReady = true;
    PlaceList(1);
    FillTodayTradeList();
}

void CTodayTradeView::OnHistoryTableStored() {
    Context().link.QueryTodayTrades();
    FillTodayTradeList();
}

void CTodayTradeView::FillTodayTradeList() {
    m_list->DeleteAllItems();
    const std::vector<net::TradeRecord> trades = Context().state.todayTrades.Rows(&net::TradeRecord::code);
    for (const net::TradeRecord& t : trades) {
        const QString side = FromGbkField(t.side);
        const int row = AppendAccountRow(
            *m_list, {FromGbkField(t.tradeDate), FromGbkField(t.tradeTime), FromGbkField(t.code), FromGbkField(t.name),
                      side, FromGbkField(t.avgPrice), FromGbkField(t.quantity), FromGbkField(t.amount)});
        ColourAccountRow(*m_list, row, side == QStringLiteral("卖出") ? kRowRed : kRowBlue);
    }
}

void CTodayTradeView::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    if (m_listReady)
        PlaceList(5);
}

void CTodayTradeView::PlaceList(int left) {
    m_list->setGeometry(left, 10, qMax(0, width() - left - 5), qMax(0, height() - 10));
}
