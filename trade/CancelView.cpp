#include "trade/CancelView.h"

#include "account/AccountList.h"
#include "account/ListCtrlCl.h"
#include "controls/Dlu.h"
#include "controls/TStatic.h"
#include "controls/XPButton.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/TradingLink.h"
#include "trade/ButtonMnemonics.h"
#include "trade/OrderCancel.h"
#include "trade/PanelList.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <QPointer>

namespace {

CXPButton* MakeButton(QWidget* parent, int id, const QString& text, const QRect& rect) {
    auto* button = new CXPButton(text, parent);
    button->setObjectName(QStringLiteral("id%1").arg(id));
    button->setGeometry(rect);
    return button;
}

} // namespace

template <typename Action>
void CCancelView::RunOnce(Action action) {
    if (m_acting)
        return;
    m_acting = true;
    const QPointer<CCancelView> self(this);
    action();
    if (self)
        m_acting = false;
}

CCancelView::CCancelView(ClientContext& context, QWidget* parent)
    : CTFormView(context, parent) {
    setMinimumSize(DluX(481), DluY(196));
    m_refresh = MakeButton(this, 1038, QStringLiteral("刷 新"), DluRect(5, 5, 50, 15));
    auto* cancelAll = MakeButton(this, 1039, QStringLiteral("全撤(Z /)"), DluRect(62, 5, 55, 15));
    auto* cancelBuys = MakeButton(this, 1040, QStringLiteral("撤买(&X)"), DluRect(124, 5, 55, 15));
    auto* cancelSells = MakeButton(this, 1041, QStringLiteral("撤卖(&C)"), DluRect(186, 5, 55, 15));
    auto* cancelSelected = MakeButton(this, 1042, QStringLiteral("撤单(&Q)"), DluRect(248, 5, 55, 15));
    m_hint = new CTStatic(QStringLiteral("在委托记录上用鼠标双击即可撤单"), this);
    m_hint->setObjectName(QStringLiteral("id1046"));
    m_hint->setGeometry(DluRect(315, 6, 160, 13));

    m_list = new CListCtrlCl(this);
    m_list->setObjectName(QStringLiteral("id1043"));

    using namespace order_cancel;
    connect(m_refresh, &CXPButton::clicked, this, [this] { RunOnce([this] { Refresh(); }); });
    const auto cancelAllBy = [this](int command) {
        RunOnce([this, command] {
            CancelAllOrders(this, Context().link, command, ByMessageBox(this, QStringLiteral("提醒")));
        });
    };
    connect(cancelAll, &CXPButton::clicked, this, [cancelAllBy] { cancelAllBy(net::kCmdCancelAll); });
    connect(cancelBuys, &CXPButton::clicked, this, [cancelAllBy] { cancelAllBy(net::kCmdCancelAllBuys); });
    connect(cancelSells, &CXPButton::clicked, this, [cancelAllBy] { cancelAllBy(net::kCmdCancelAllSells); });
    connect(cancelSelected, &CXPButton::clicked, this, [this] {
        RunOnce([this] {
            CancelSelectedOrder(this, Context().link, *m_list, QStringLiteral("是否确认撤销选中的委托单?"),
                                ByMessageBox(this, QStringLiteral("提醒")));
        });
    });
    AddCancelAllKeys(this, cancelAll);
    new CButtonMnemonics(this);
    setFocusProxy(m_list);
    connect(m_list, &CListCtrlCl::rowDoubleClicked, this, [this] {
        RunOnce([this] {
            CancelSelectedOrder(this, Context().link, *m_list, QStringLiteral("是否确认撤销委托?"),
                                ByMessageBox(this, QStringLiteral("撤单")));
        });
    });
}

void CCancelView::OnInitialUpdate() {
    SetUpAccountList(*m_list, {{QStringLiteral("证券代码"), 90},
                               {QStringLiteral("证券名称"), 90},
                               {QStringLiteral("委托数量"), 90},
                               {QStringLiteral("成交数量"), 110},
                               {QStringLiteral("委托价格"), 90},
                               {QStringLiteral("成交均价"), 90},
                               {QStringLiteral("操作"), 100},
                               {QStringLiteral("委托时间"), 210},
                               {order_cancel::kContractTitle, 80}});
    // Newest first until the user sorts by another column; what the table holds now, then
    // what the server says.
    m_list->SortByColumn(order_cancel::kOrderTimeColumn, Qt::DescendingOrder);
    Refresh();
    m_hint->SetTextColor(QColor(255, 0, 0));
    PlaceList();
}

void CCancelView::OnHistoryTableStored() {
    Refresh();
}

void CCancelView::OnTodayOrdersStored() {
    FillOpenOrderList();
}

void CCancelView::Refresh() {
    Context().link.QueryTodayOrders();
    FillOpenOrderList();
}

void CCancelView::FillOpenOrderList() {
    std::vector<net::OrderRecord> rows = Context().state.todayOrders.Rows(&net::OrderRecord::code);
    // Only orders that can still be cancelled: not completely filled and not cancelled.
    std::erase_if(rows, [](const net::OrderRecord& r) {
        return net::LeadingInteger(net::FieldText(r.filledQty)) >= net::LeadingInteger(net::FieldText(r.orderQty)) ||
               order_cancel::IsClosedStatus(FromGbkField(r.status));
    });
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
        m_list->SetItemText(row, 6,
                            net::FieldText(r.side) == "1" ? QStringLiteral("委托买入") : QStringLiteral("委托卖出"));
        m_list->SetItemText(row, 7, FromGbkField(r.orderTime));
        m_list->SetItemText(row, 8, FromGbkField(r.contractNo));
        ++row;
    }
}

void CCancelView::resizeEvent(QResizeEvent* event) {
    CTFormView::resizeEvent(event);
    PlaceList();
}

void CCancelView::PlaceList() {
    const int top = m_refresh->geometry().y() + m_refresh->height() + 5;
    m_list->setGeometry(2, top, qMax(0, width() - 4), qMax(0, height() - 2 - top));
}
