#include "trade/OrderCancel.h"

#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "controls/ModalHook.h"
#include "controls/YesNoTipDlg.h"
#include "core/Gbk.h"
#include "net/TradingLink.h"
#include "wire/Commands.h"

#include <QDialog>
#include <QPointer>
#include <QTableWidgetItem>

namespace order_cancel {

Confirm ByMessageBox(QWidget* parent, const QString& caption) {
    QPointer<QWidget> guarded(parent);
    return [guarded, caption](const QString& prompt) { return AskYesNo(guarded.data(), prompt, caption); };
}

Confirm ByTipDialog(QWidget* parent) {
    QPointer<QWidget> guarded(parent);
    return [guarded](const QString& prompt) {
        CYesNoTipDlg dialog(guarded.data());
        dialog.SetMessage(prompt);
        return dialog.exec() == QDialog::Accepted;
    };
}

bool CancelSelectedOrder(QWidget* parent, net::TradingLink& link, const CListCtrlCl& list, const QString& prompt,
                         const Confirm& confirm) {
    if (list.GetItemCount() == 0)
        return false;
    const int row = list.GetFirstSelectedItem();
    if (row < 0)
        return false;
    // The row's texts are read before asking: a refill while the question is open must
    // not change which order is cancelled.
    QString body = QStringLiteral("code=") + list.GetItemText(row, kCodeColumn) + QStringLiteral("&num=") +
                   list.GetItemText(row, kOrderQtyColumn) + QStringLiteral("&time=") +
                   list.GetItemText(row, kOrderTimeColumn);
    // The contract number names the order alone; an older server ignores the key.
    const int contract = ContractColumn(list);
    if (contract >= 0 && !list.GetItemText(row, contract).isEmpty())
        body += QStringLiteral("&id=") + list.GetItemText(row, contract);
    if (!confirm(prompt + QLatin1Char('\n') + DescribeOrder(list, row)))
        return false;
    if (!link.SendRequest(net::kCmdCancelOne, ToGbk(body))) {
        ShowFailure(parent, QStringLiteral("系统错误！"));
        return false;
    }
    return true;
}

bool CancelAllOrders(QWidget* parent, net::TradingLink& link, int command, const Confirm& confirm) {
    if (!confirm(CancelAllPrompt(command)))
        return false;
    if (!link.SendRequest(command, {})) {
        ShowFailure(parent, QStringLiteral("系统错误！"));
        return false;
    }
    return true;
}

bool IsClosedStatus(const QString& status) {
    return status == QStringLiteral("已撤") || status == QStringLiteral("部撤") || status == QStringLiteral("已失效");
}

int ContractColumn(const CListCtrlCl& list) {
    for (int column = 0; column < list.columnCount(); ++column) {
        const QTableWidgetItem* header = list.horizontalHeaderItem(column);
        if (header && header->text() == kContractTitle)
            return column;
    }
    return -1;
}

namespace {
// What a partly filled order still has open, the shares a cancel takes back.
QString OpenPart(const CListCtrlCl& list, int row) {
    const long long ordered = list.GetItemText(row, kOrderQtyColumn).toLongLong();
    const long long filled = list.GetItemText(row, kFilledQtyColumn).toLongLong();
    if (filled <= 0 || filled >= ordered)
        return {};
    return QStringLiteral("\n已成交：%1股  未成交：%2股").arg(filled).arg(ordered - filled);
}
} // namespace

QString DescribeOrder(const CListCtrlCl& list, int row) {
    return QStringLiteral("证券代码：") + list.GetItemText(row, kCodeColumn) + QStringLiteral("  证券名称：") +
           list.GetItemText(row, kNameColumn) + QStringLiteral("\n操作：") + list.GetItemText(row, kSideColumn) +
           QStringLiteral("  委托价格：") + list.GetItemText(row, kOrderPriceColumn) + QStringLiteral("  委托数量：") +
           list.GetItemText(row, kOrderQtyColumn) + OpenPart(list, row);
}

QString CancelAllPrompt(int command) {
    switch (command) {
    case net::kCmdCancelAllBuys:
        return QStringLiteral("是否确认撤销所有买单委托?");
    case net::kCmdCancelAllSells:
        return QStringLiteral("是否确认撤销所有卖单委托?");
    default:
        return QStringLiteral("是否确认撤销所有委托单?");
    }
}

} // namespace order_cancel
