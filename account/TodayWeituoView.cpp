#include "account/TodayWeituoView.h"

#include "account/AccountList.h"
#include "account/CsvExport.h"
#include "account/ListCtrlCl.h"
#include "controls/Dlu.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/GbkText.h"

CTodayWeituoView::CTodayWeituoView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent)
    , m_list(new CListCtrlCl(this)) {
    m_list->setObjectName(QStringLiteral("id1041"));
    new CCsvExport(m_list);
    resize(DluX(388), DluY(234));
}

void CTodayWeituoView::OnInitialUpdate() {
    SetUpAccountList(*m_list, {{tr("证券代码"), 90},
                               {tr("证券名称"), 90},
                               {tr("委托数量"), 90},
                               {tr("成交数量"), 90},
                               {tr("委托价格"), 90},
                               {tr("成交均价"), 90},
                               {tr("操作"), 90},
                               {tr("委托时间"), 200},
                               {tr("备注"), 95},
                               {tr("合同编号"), 80}});
    // Newest first (委托时间) until the user sorts by another column.
    m_list->SortByColumn(7, Qt::DescendingOrder);
    m_listReady = true;
    PlaceList();
    FillTodayOrderList();
}

void CTodayWeituoView::OnHistoryTableStored() {
    Context().link.QueryTodayOrders();
    FillTodayOrderList();
}

void CTodayWeituoView::FillTodayOrderList() {
    m_list->DeleteAllItems();
    const std::vector<net::OrderRecord> orders = Context().state.todayOrders.Rows(&net::OrderRecord::code);
    for (const net::OrderRecord& o : orders) {
        const bool buy = net::FieldText(o.side) == "1";
        const QString status = FromGbkField(o.status);
        const int row = AppendAccountRow(*m_list, {FromGbkField(o.code), FromGbkField(o.name), FromGbkField(o.orderQty),
                                                   FromGbkField(o.filledQty), FromGbkField(o.orderPrice),
                                                   FromGbkField(o.avgPrice), buy ? tr("委托买入") : tr("委托卖出"),
                                                   FromGbkField(o.orderTime), status, FromGbkField(o.contractNo)});
        m_list->SetItemTextColor(
            8, row, status == QStringLiteral("已撤") || status == QStringLiteral("部撤") ? kRowBlack : kRowRed);
    }
}

void CTodayWeituoView::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    if (m_listReady)
        PlaceList();
}

void CTodayWeituoView::PlaceList() {
    // The orders list keeps 1 pixel on the left, also after a resize.
    m_list->setGeometry(1, 10, qMax(0, width() - 6), qMax(0, height() - 10));
}
