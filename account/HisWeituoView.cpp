#include "account/HisWeituoView.h"

#include "account/AccountList.h"
#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "wire/GbkText.h"

CHisWeituoView::CHisWeituoView(ClientContext& context, QWidget* parent)
    : CHistoryViewBase(context, parent, QSize(444, 240)) {}

void CHisWeituoView::AddColumns(CListCtrlCl& list) {
    SetUpAccountList(list, {{tr("证券代码"), 90},
                            {tr("证券名称"), 90},
                            {tr("委托数量"), 90},
                            {tr("成交数量"), 90},
                            {tr("委托价格"), 90},
                            {tr("成交均价"), 90},
                            {tr("操作"), 90},
                            {tr("委托时间"), 200},
                            {tr("备注"), 90}});
}

void CHisWeituoView::FillHistoryList() {
    CListCtrlCl& list = *List();
    list.DeleteAllItems();
    for (const net::OrderRecord& o : Context().state.historyOrders.Rows(&net::OrderRecord::code)) {
        const bool buy = net::FieldText(o.side) == "1";
        AppendAccountRow(list, {FromGbkField(o.code), FromGbkField(o.name), FromGbkField(o.orderQty),
                                FromGbkField(o.filledQty), FromGbkField(o.orderPrice), FromGbkField(o.avgPrice),
                                buy ? tr("买入") : tr("卖出"), FromGbkField(o.orderTime), FromGbkField(o.status)});
    }
}
