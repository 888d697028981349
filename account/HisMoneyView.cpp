#include "account/HisMoneyView.h"

#include "account/AccountList.h"
#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"

CHisMoneyView::CHisMoneyView(ClientContext& context, QWidget* parent)
    : CHistoryViewBase(context, parent, QSize(357, 235)) {}

void CHisMoneyView::AddColumns(CListCtrlCl& list) {
    SetUpAccountList(list, {{tr("日期"), 90},
                            {tr("摘要"), 90},
                            {tr("证券代码"), 90},
                            {tr("证券名称"), 90},
                            {tr("操作"), 90},
                            {tr("成交数量"), 80},
                            {tr("成交均价"), 80},
                            {tr("发生金额"), 90},
                            {tr("本次余额"), 90}});
}

void CHisMoneyView::FillHistoryList() {
    CListCtrlCl& list = *List();
    list.DeleteAllItems();
    // The funds flow ends at the first record without a balance.
    for (const net::FundsFlowRecord& f : Context().state.fundsFlow.Rows(&net::FundsFlowRecord::balance)) {
        const QString summary = FromGbkField(f.summary);
        const QString operation = FromGbkField(f.operation);
        const int row =
            AppendAccountRow(list, {FromGbkField(f.date), summary, FromGbkField(f.code), FromGbkField(f.name),
                                    operation, FromGbkField(f.quantity), FromGbkField(f.avgPrice),
                                    FromGbkField(f.amount), FromGbkField(f.balance)});
        const bool red = summary == QStringLiteral("证券卖出") || operation == QStringLiteral("资金转入");
        ColourAccountRow(list, row, red ? kRowRed : kRowBlue);
    }
    list.WidenColumnToContents(0); // the dates are never cut
}
