#include "trade/WeituoDlg.h"

#include "account/ListCtrlCl.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "trade/OrderCancel.h"
#include "trade/PanelList.h"
#include "wire/GbkText.h"

CWeituoDlg::CWeituoDlg(ClientContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_list(CreatePanelList(this)) {
    m_list->AddColumns({{QStringLiteral("证券代码"), 95},
                        {QStringLiteral("证券名称"), 95},
                        {QStringLiteral("委托数量"), 95},
                        {QStringLiteral("成交数量"), 95},
                        {QStringLiteral("委托价格"), 95},
                        {QStringLiteral("成交均价"), 95},
                        {QStringLiteral("操作"), 80},
                        {QStringLiteral("委托时间"), 210},
                        {QStringLiteral("备注"), 95},
                        {order_cancel::kContractTitle, 80}});
    // Newest first until the user sorts by another column.
    m_list->SortByColumn(order_cancel::kOrderTimeColumn, Qt::DescendingOrder);
    connect(m_list, &CListCtrlCl::rowDoubleClicked, this, &CWeituoDlg::OnRowDoubleClicked);
}

void CWeituoDlg::FillOrderList() {
    const std::vector<net::OrderRecord> rows = m_context.state.todayOrders.Rows(&net::OrderRecord::code);
    ListFillScope scope(m_list);
    ResetRows(m_list, static_cast<int>(rows.size()));
    int row = 0;
    for (const net::OrderRecord& r : rows) {
        m_list->SetItemText(row, 0, FromGbkField(r.code));
        m_list->SetItemText(row, 1, FromGbkField(r.name));
        m_list->SetItemText(row, 2, FromGbkField(r.orderQty));
        m_list->SetItemText(row, 3, FromGbkField(r.filledQty));
        m_list->SetItemText(row, 4, FromGbkField(r.orderPrice));
        m_list->SetItemText(row, 5, FromGbkField(r.avgPrice));
        m_list->SetItemText(row, 6, net::FieldText(r.side) == "1" ? QStringLiteral("买入") : QStringLiteral("卖出"));
        m_list->SetItemText(row, 7, FromGbkField(r.orderTime));
        const QString status = FromGbkField(r.status);
        m_list->SetItemText(row, 8, status);
        m_list->SetItemTextColor(8, row, order_cancel::IsClosedStatus(status) ? QColor(0, 0, 0) : QColor(255, 0, 0));
        m_list->SetItemText(row, 9, FromGbkField(r.contractNo));
        ++row;
    }
}

void CWeituoDlg::OnRowDoubleClicked(int row) {
    using namespace order_cancel;
    // An order that is completely filled cannot be cancelled: no question is asked.
    if (row < 0 || row >= m_list->GetItemCount() ||
        m_list->GetItemText(row, kOrderQtyColumn) == m_list->GetItemText(row, kFilledQtyColumn) ||
        IsClosedStatus(m_list->GetItemText(row, 8)))
        return;
    CancelSelectedOrder(this, m_context.link, *m_list, QStringLiteral("是否确认撤销委托?"),
                        ByMessageBox(this, QStringLiteral("撤单")));
}
