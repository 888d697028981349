#include "account/HisTradeView.h"

#include "account/AccountList.h"
#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"

CHisTradeView::CHisTradeView(ClientContext& context, QWidget* parent)
    : CHistoryViewBase(context, parent, QSize(378, 243)) {}

void CHisTradeView::AddColumns(CListCtrlCl& list) {
    SetUpAccountList(list, {{tr("成交日期"), 200},
                            {tr("成交时间"), 110},
                            {tr("证券代码"), 100},
                            {tr("证券名称"), 110},
                            {tr("操 作"), 110},
                            {tr("成交均价"), 100},
                            {tr("成交数量"), 100},
                            {tr("成交金额"), 100}});
}

void CHisTradeView::FillHistoryList() {
    CListCtrlCl& list = *List();
    list.DeleteAllItems();
    for (const net::TradeRecord& t : Context().state.historyTrades.Rows(&net::TradeRecord::code)) {
        const QString side = FromGbkField(t.side);
        const int row = AppendAccountRow(
            list, {FromGbkField(t.tradeDate), FromGbkField(t.tradeTime), FromGbkField(t.code), FromGbkField(t.name),
                   side, FromGbkField(t.avgPrice), FromGbkField(t.quantity), FromGbkField(t.amount)});
        ColourAccountRow(list, row, side == QStringLiteral("卖出") ? kRowRed : kRowBlue);
    }
}
