#pragma once

#include <QString>

#include <functional>

class CListCtrlCl;
class QWidget;

namespace net {
class TradingLink;
}

// The four cancel requests, shared by the cancellation view, the order forms and the
// orders panel. Every cancel asks first; a declined question sends nothing, and a request
// that cannot be sent is reported with "系统错误！". No answer is awaited.
namespace order_cancel {

// Asks the user; true to go ahead.
using Confirm = std::function<bool(const QString& prompt)>;

// Confirmation by a platform Yes/No message box with `caption`.
Confirm ByMessageBox(QWidget* parent, const QString& caption);
// Confirmation by the client's own yes/no dialog.
Confirm ByTipDialog(QWidget* parent);

// Columns of every order list from which a single cancel is built.
inline constexpr int kCodeColumn = 0;
inline constexpr int kNameColumn = 1;
inline constexpr int kOrderQtyColumn = 2;
inline constexpr int kFilledQtyColumn = 3;
inline constexpr int kOrderPriceColumn = 4;
inline constexpr int kSideColumn = 6;
inline constexpr int kOrderTimeColumn = 7;
// The contract number's column is found by its title, wherever a list puts it.
inline const QString kContractTitle = QStringLiteral("合同编号");
// Whether an order's status (备注) says it can no longer be cancelled: cancelled whole
// (已撤) or in part after fills (部撤), or expired (已失效).
bool IsClosedStatus(const QString& status);
// The column titled kContractTitle, or −1.
int ContractColumn(const CListCtrlCl& list);

// Cancels the order of the first selected row of `list` (command 3 with the row's code,
// order quantity and order time as shown). Nothing happens without a selected row. The
// question is `prompt` on its first line, then the order it cancels (DescribeOrder).
// Returns true when a request was sent.
bool CancelSelectedOrder(QWidget* parent, net::TradingLink& link, const CListCtrlCl& list, const QString& prompt,
                         const Confirm& confirm);

// Cancels all orders (6), all buys (5) or all sells (4) with an empty body after the
// matching question. Returns true when a request was sent.
bool CancelAllOrders(QWidget* parent, net::TradingLink& link, int command, const Confirm& confirm);

// Code, name, side, price and quantity of the order in `row`, on two lines.
QString DescribeOrder(const CListCtrlCl& list, int row);

// The question asked before the cancel-all command `command`.
QString CancelAllPrompt(int command);

} // namespace order_cancel
