#include "account/HisJgdView.h"

#include "account/AccountList.h"
#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "wire/Board.h"
#include "wire/GbkText.h"

CHisJgdView::CHisJgdView(ClientContext& context, QWidget* parent)
    : CHistoryViewBase(context, parent, QSize(411, 217)) {}

void CHisJgdView::AddColumns(CListCtrlCl& list) {
    SetUpAccountList(list, {{tr("成交日期"), 90},
                            {tr("证券代码"), 90},
                            {tr("证券名称"), 90},
                            {tr("摘要"), 90},
                            {tr("成交数量"), 80},
                            {tr("成交均价"), 80},
                            {tr("成交金额"), 90},
                            {tr("发生金额"), 90},
                            {tr("手续费"), 90},
                            {tr("印花税"), 90},
                            {tr("过户费"), 90},
                            {tr("合同编号"), 130},
                            {tr("其他杂项"), 90},
                            {tr("股东账号"), 90},
                            {tr("备注"), 90}});
}

void CHisJgdView::FillHistoryList() {
    CListCtrlCl& list = *List();
    list.DeleteAllItems();
    const net::SharedState& state = Context().state;
    const QString shanghai = FromGbk(state.shanghaiAccount);
    const QString shenzhen = FromGbk(state.shenzhenAccount);
    for (const net::SettlementRecord& s : state.settlement.Rows(&net::SettlementRecord::code)) {
        const QString summary = FromGbkField(s.summary);
        const QString& account =
            net::ExchangeOf(net::FieldText(s.code)) == net::Exchange::kShanghai ? shanghai : shenzhen;
        const int row = AppendAccountRow(
            list, {FromGbkField(s.tradeDate), FromGbkField(s.code), FromGbkField(s.name), summary,
                   FromGbkField(s.quantity), FromGbkField(s.avgPrice), FromGbkField(s.tradeAmount),
                   FromGbkField(s.settledAmount), FromGbkField(s.commission), FromGbkField(s.stampDuty),
                   FromGbkField(s.transferFee), FromGbkField(s.contractNo), QStringLiteral("0.000"), account});
        list.SetItemText(row, 14, QString::number(list.GetItemCount()));
        ColourAccountRow(list, row, summary == QStringLiteral("证券卖出") ? kRowRed : kRowBlue);
    }
}
