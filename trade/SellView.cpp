#include "trade/SellView.h"

#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "controls/ModalHook.h"
#include "controls/TEdit.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <QLabel>

COrderFormView::FormTraits CSellView::Traits() {
    return {QStringLiteral("卖  出"),
            QColor(0, 0, 255),
            QStringLiteral("卖出价格"),
            QStringLiteral("可卖(股)"),
            QStringLiteral("卖出数量"),
            QStringLiteral("卖出[&S]"),
            100,
            1500,
            5,
            {1081, 1082, 1083, 1085, 1086},
            {1066, 1084, 1087, 1088}};
}

CSellView::CSellView(ClientContext& context, QWidget* parent)
    : COrderFormView(context, parent, Traits()) {}

QString CSellView::ChooseDefaultPrice(const QString& askText, const QString& bidText) const {
    return net::LeadingDouble(ToGbk(bidText)) > 0 ? bidText : askText;
}

void CSellView::UpdateAmount() {
    const QString code = m_code->text();
    if (code.size() != 6)
        return;
    // The positions table rather than the panel's copy of it: the panel may be refilled later.
    const std::string typed = ToGbk(code);
    QString available;
    for (const net::PositionRecord& r : Context().state.positions.Rows(&net::PositionRecord::code)) {
        if (net::FieldText(r.code) == typed) {
            available = FromGbkField(r.available);
            break;
        }
    }
    if (m_amount->text() != available)
        m_amount->setText(available);
}

QString CSellView::FullQuantity(const QString& amountText) const {
    return amountText;
}

void CSellView::Submit() {
    const QString code = m_code->text();
    const QString price = m_price->text();
    const QString quantity = m_quantity->text();
    const QString name = m_name->text();
    // A code whose quote has not been shown yet has no name and cannot be sold.
    if (code.size() != 6 || name.isEmpty()) {
        ShowFailure(this, QStringLiteral("请输入代码"));
        return;
    }
    if (price.isEmpty()) {
        ShowFailure(this, QStringLiteral("请输入委托价格"));
        return;
    }
    if (quantity.isEmpty() || net::LeadingInteger(ToGbk(quantity)) <= 0) {
        ShowFailure(this, QStringLiteral("请输入委托数量"));
        return;
    }
    if (!AskYesNo(this, SellQuestion(code, name, price, quantity), QStringLiteral("股票卖出")))
        return;
    SendOrder(code, price, quantity, name, 2);
}

QString CSellView::SellQuestion(const QString& code, const QString& name, const QString& price,
                                const QString& quantity) {
    // The written question first; then what exactly is about to be sold.
    const double amount = net::LeadingDouble(ToGbk(price)) * static_cast<double>(net::LeadingInteger(ToGbk(quantity)));
    return QStringLiteral("确认要卖出") + code + QLatin1Char(' ') + quantity + QStringLiteral("股?") +
           QStringLiteral("\n证券代码：") + code + QStringLiteral("\n证券名称：") + name +
           QStringLiteral("\n卖出价格：") + price + QStringLiteral("\n卖出数量：") + quantity +
           QStringLiteral("\n卖出金额：") + QString::asprintf("%0.2f", amount);
}

void CSellView::SendRefreshQueries() {
    net::TradingLink& link = Context().link;
    link.QueryTodayTrades();
    link.QueryTodayOrders();
    link.QueryPositions();
    link.QueryFunds();
}

void CSellView::OnPositionPicked() {
    const CListCtrlCl* list = PositionsPanel()->List();
    const int row = list->GetFirstSelectedItem();
    if (row < 0)
        return;
    SetCodeText(list->GetItemText(row, 0));
    m_quantity->setText(m_amount->text());
}

order_cancel::Confirm CSellView::CancelConfirm() {
    return order_cancel::ByTipDialog(this);
}

QString CSellView::CancelSelectedPrompt() const {
    return QStringLiteral("是否确认撤销委托?");
}
