#include "trade/BuyView.h"

#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "controls/TEdit.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/TradingLink.h"
#include "trade/MaxBuyable.h"
#include "wire/Board.h"
#include "wire/Frame.h"
#include "wire/GbkText.h"

#include <QLabel>

namespace {

double NumberOf(const QString& text) {
    return net::LeadingDouble(ToGbk(text));
}

} // namespace

COrderFormView::FormTraits CBuyView::Traits() {
    return {QStringLiteral("买   入"),
            QColor(255, 0, 0),
            QStringLiteral("买入价格"),
            QStringLiteral("可买(股)"),
            QStringLiteral("买入数量"),
            QStringLiteral("买入[B]"),
            300,
            800,
            10,
            {1081, 1082, 1083, 1084, 1085},
            {1066, 1088, 1086, 1087}};
}

CBuyView::CBuyView(ClientContext& context, QWidget* parent)
    : COrderFormView(context, parent, Traits()) {}

QString CBuyView::ChooseDefaultPrice(const QString& askText, const QString& bidText) const {
    return NumberOf(askText) > 0 ? askText : bidText;
}

void CBuyView::UpdateAmount() {
    const QString price = m_price->text();
    if (price.isEmpty()) {
        m_amount->clear();
        return;
    }
    // 可用金额 is the cash that open orders do not hold already.
    const net::FundsRecord funds = Context().state.funds.Get();
    const long long shares = MaxBuyableShares(net::LeadingDouble(net::FieldText(funds.value8)),
                                              net::LeadingDouble(net::FieldText(funds.availableFunds)), NumberOf(price),
                                              net::BoardOf(m_code->text().toStdString()));
    const QString text = QString::number(shares);
    if (m_amount->text() != text)
        m_amount->setText(text);
}

QString CBuyView::FullQuantity(const QString& amountText) const {
    // STAR buys go in single shares (the max-buyable already says how many); others in lots.
    const long long shares = net::LeadingInteger(ToGbk(amountText));
    if (net::BoardOf(ToGbk(m_code->text())) == net::Board::kStar)
        return QString::number(shares);
    return QString::number(shares / 100 * 100);
}

void CBuyView::Submit() {
    const QString code = m_code->text();
    const QString price = m_price->text();
    const QString quantity = m_quantity->text();
    const QString name = m_name->text();
    if (code.size() != 6) {
        ShowFailure(this, QStringLiteral("请输入代码"));
        return;
    }
    if (price.isEmpty()) {
        ShowFailure(this, QStringLiteral("请输入委托价格"));
        return;
    }
    const long long shares = net::LeadingInteger(ToGbk(quantity));
    if (quantity.isEmpty() || shares <= 0) {
        ShowFailure(this, QStringLiteral("请输入委托数量"));
        return;
    }
    // The board's lot rules are checked here; the largest order size is the server's to tell.
    const net::QuantityProblem problem = net::CheckBuy(net::BoardOf(code.toStdString()), shares);
    if (problem == net::QuantityProblem::kBuyNotWholeLots || problem == net::QuantityProblem::kBuyBelowMinimum) {
        CFailDlg dialog(this);
        // What was wrong in words; the form keeps what was typed, so only the quantity needs
        // correcting.
        if (problem == net::QuantityProblem::kBuyNotWholeLots)
            dialog.SetMessage(QStringLiteral("提交失败:[120158][校验买入委托单位、卖出委托单位失败]\r\n"
                                             "买入数量须为100股的整数倍，输入的是%1股")
                                  .arg(quantity));
        else
            dialog.SetMessage(QStringLiteral("提交失败:科创板股票买入数量不能少于200股[p_entrust_amount=") + quantity +
                              QStringLiteral("]"));
        dialog.exec();
        return;
    }
    SendOrder(code, price, quantity, name, 1);
}

void CBuyView::SendRefreshQueries() {
    net::TradingLink& link = Context().link;
    link.QueryPositions();
    link.QueryFunds();
    link.QueryTodayTrades();
    link.QueryTodayOrders();
}

void CBuyView::OnPositionPicked() {
    const CListCtrlCl* list = PositionsPanel()->List();
    const int row = list->GetFirstSelectedItem();
    if (row < 0 || Context().frame == nullptr)
        return;
    const int code = static_cast<int>(net::LeadingInteger(ToGbk(list->GetItemText(row, 0))));
    // The main window replaces this view when it opens the sell form, so it is asked once
    // the double-click that led here has been handled completely.
    MainFrameHooks* frame = Context().frame;
    QMetaObject::invokeMethod(
        this, [frame, code] { frame->SellPosition(code); }, Qt::QueuedConnection);
}

order_cancel::Confirm CBuyView::CancelConfirm() {
    return order_cancel::ByMessageBox(this, QStringLiteral("提醒"));
}

QString CBuyView::CancelSelectedPrompt() const {
    return QStringLiteral("是否确认撤销选中的委托单?");
}
