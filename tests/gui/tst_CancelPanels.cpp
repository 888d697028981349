// The cancellation view and the orders and trades panels: which orders are listed, the
// colours, and the single cancel built from a row, with its questions.

#include "TradeTestClient.h"

#include "account/ListCtrlCl.h"
#include "trade/CancelView.h"
#include "trade/OrderCancel.h"
#include "trade/TradeDlg.h"
#include "trade/WeituoDlg.h"

#include <QAbstractButton>
#include <QTest>

#include <memory>

using namespace trade_test;

namespace {

const std::string kCredentials = "&curuser=u1&curpwd=p1";
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

void DoubleClickRow(CListCtrlCl* list, int row) {
    // A real double-click starts with a press on the row.
    const QPoint at = list->visualItemRect(list->item(row, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void Click(QWidget* view, int id) {
    view->findChild<QAbstractButton*>(QStringLiteral("id%1").arg(id))->click();
}

std::vector<net::OrderRecord> MixedOrders() {
    return {Order("600000", "500", "500", "1", "09:30:01", "已成"),
            Order("600001", "500", "200", "1", "09:31:02", "部成"),
            Order("000001", "300", "0", "2", "09:32:03", "已撤"), Order("000002", "400", "0", "2", "09:33:04", "未成"),
            Order("000003", "100", "0", "1", "09:34:05", "")};
}

} // namespace

class TestCancelPanels final : public QObject {
    Q_OBJECT
private slots:
    void openOrdersOnly();
    void cancelViewDoubleClick();
    void cancelViewButtons();
    void cancelViewRefresh();
    void ordersPanelRowsAndColours();
    void ordersPanelDoubleClick();
    void tradesPanelColours();
};

void TestCancelPanels::openOrdersOnly() {
    TradeTestClient client;
    client.SetOrders(MixedOrders());
    CCancelView view(client.context);
    view.OnInitialUpdate();
    CListCtrlCl* list = view.List();
    QCOMPARE(list->columnCount(), 9);
    QCOMPARE(order_cancel::ContractColumn(*list), 8);
    QCOMPARE(list->GetItemCount(), 3);
    QCOMPARE(list->GetItemText(0, 0), QStringLiteral("600001")); // 200 of 500 filled
    QCOMPARE(list->GetItemText(0, 3), QStringLiteral("200"));
    QCOMPARE(list->GetItemText(0, 6), QStringLiteral("委托买入"));
    QCOMPARE(list->GetItemText(1, 0), QStringLiteral("000002"));
    QCOMPARE(list->GetItemText(1, 6), QStringLiteral("委托卖出"));
    QCOMPARE(list->GetItemText(2, 7), QStringLiteral("09:34:05"));
    auto* hint = view.findChild<QWidget*>(QStringLiteral("id1046"));
    QVERIFY(hint);

    // Closed with shares still unfilled: part-cancelled (部撤) and expired orders are not
    // offered for cancelling, and the orders panel draws their status black.
    client.SetOrders({Order("600000", "500", "300", "1", "09:30:01", "部撤"),
                      Order("600001", "500", "0", "1", "09:31:02", "已失效"),
                      Order("600002", "500", "100", "1", "09:32:03", "部分成交")});
    view.OnTodayOrdersStored();
    QCOMPARE(list->GetItemCount(), 1);
    QCOMPARE(list->GetItemText(0, 0), QStringLiteral("600002"));
    CWeituoDlg panel(client.context);
    panel.FillOrderList();
    for (int row = 0; row < panel.List()->GetItemCount(); ++row) {
        const bool open = panel.List()->GetItemText(row, 0) == QStringLiteral("600002");
        QCOMPARE(panel.List()->ItemTextColor(row, 8), open ? kRed : kBlack);
    }
}

void TestCancelPanels::cancelViewDoubleClick() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetOrders(MixedOrders());
    CCancelView view(client.context);
    view.resize(900, 500);
    view.OnInitialUpdate();
    view.show();
    ModalRecorder modal;

    modal.QueueYes({false});
    DoubleClickRow(view.List(), 0);
    QCOMPARE(int(modal.requests.size()), 1);
    QCOMPARE(modal.requests[0].kind, ModalRequest::Kind::kMessageBoxYesNo);
    // The written question first, then the order it cancels.
    QCOMPARE(modal.requests[0].text, QStringLiteral("是否确认撤销委托?\n证券代码：600001  证券名称：浦发银行\n"
                                                    "操作：委托买入  委托价格：10.50  委托数量：500\n"
                                                    "已成交：200股  未成交：300股")); // 200 of 500 filled
    QCOMPARE(modal.requests[0].caption, QStringLiteral("撤单"));
    QCOMPARE(client.CountBeforeMarker(net::kCmdCancelOne), 0);

    DoubleClickRow(view.List(), 0);
    QCOMPARE(client.NextBody(net::kCmdCancelOne), "code=600001&num=500&time=09:31:02" + kCredentials);
}

void TestCancelPanels::cancelViewButtons() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetOrders(MixedOrders());
    CCancelView view(client.context);
    view.OnInitialUpdate();
    ModalRecorder modal;

    Click(&view, 1042); // nothing selected: no question, nothing sent
    QVERIFY(modal.requests.empty());
    view.List()->selectRow(1);
    Click(&view, 1042);
    QCOMPARE(client.NextBody(net::kCmdCancelOne), "code=000002&num=400&time=09:33:04" + kCredentials);
    QCOMPARE(modal.requests.back().text,
             QStringLiteral("是否确认撤销选中的委托单?\n证券代码：000002  证券名称：浦发银行\n"
                            "操作：委托卖出  委托价格：10.50  委托数量：400"));
    QCOMPARE(modal.requests.back().caption, QStringLiteral("提醒"));

    const int commands[] = {net::kCmdCancelAll, net::kCmdCancelAllBuys, net::kCmdCancelAllSells};
    for (int i = 0; i < 3; ++i) {
        Click(&view, 1039 + i);
        QCOMPARE(client.NextBody(commands[i]), std::string("curuser=u1&curpwd=p1"));
        QCOMPARE(modal.requests.back().caption, QStringLiteral("提醒"));
    }
    modal.QueueYes({false});
    Click(&view, 1039);
    QCOMPARE(client.CountBeforeMarker(net::kCmdCancelAll), 1);
}

void TestCancelPanels::cancelViewRefresh() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    CCancelView view(client.context);
    view.OnInitialUpdate();
    QCOMPARE(view.List()->GetItemCount(), 0);

    client.SetOrders(MixedOrders());
    Click(&view, 1038);
    QVERIFY(client.NextBody(net::kCmdTodayOrders).has_value());
    QCOMPARE(view.List()->GetItemCount(), 3);

    client.SetOrders({Order("600001", "500", "500", "1", "09:31:02", "已成")});
    view.OnHistoryTableStored();
    QVERIFY(client.NextBody(net::kCmdTodayOrders).has_value());
    QCOMPARE(view.List()->GetItemCount(), 0);
}

void TestCancelPanels::ordersPanelRowsAndColours() {
    TradeTestClient client;
    client.SetOrders(MixedOrders());
    CWeituoDlg panel(client.context);
    panel.FillOrderList();
    CListCtrlCl* list = panel.List();
    QCOMPARE(list->objectName(), QStringLiteral("id1041"));
    QCOMPARE(list->GetItemCount(), 5); // every order of the day
    QCOMPARE(list->GetItemText(0, 6), QStringLiteral("买入"));
    QCOMPARE(list->GetItemText(2, 6), QStringLiteral("卖出"));
    QCOMPARE(list->GetItemText(2, 8), QStringLiteral("已撤"));
    QCOMPARE(list->ItemTextColor(0, 8), kRed);
    QCOMPARE(list->ItemTextColor(2, 8), kBlack);
    QCOMPARE(list->ItemTextColor(4, 8), kRed); // an empty status too
    QCOMPARE(list->ItemTextColor(0, 0), kBlack);

    // Colours stay with row indexes: a refill must set every 备注 cell again.
    client.SetOrders({Order("600000", "500", "0", "1", "09:30:01", "已撤"),
                      Order("600001", "500", "0", "1", "09:31:02", "已撤"),
                      Order("000001", "300", "0", "2", "09:32:03", "未成")});
    panel.FillOrderList();
    QCOMPARE(list->GetItemCount(), 3);
    QCOMPARE(list->ItemTextColor(0, 8), kBlack);
    QCOMPARE(list->ItemTextColor(2, 8), kRed);
}

void TestCancelPanels::ordersPanelDoubleClick() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetOrders(MixedOrders());
    CWeituoDlg panel(client.context);
    panel.resize(900, 300);
    panel.FillOrderList();
    panel.show();
    ModalRecorder modal;

    DoubleClickRow(panel.List(), 0); // completely filled: no question
    QVERIFY(modal.requests.empty());
    DoubleClickRow(panel.List(), 1);
    QCOMPARE(int(modal.requests.size()), 1);
    QCOMPARE(modal.requests[0].text, QStringLiteral("是否确认撤销委托?\n证券代码：600001  证券名称：浦发银行\n"
                                                    "操作：买入  委托价格：10.50  委托数量：500\n"
                                                    "已成交：200股  未成交：300股"));
    QCOMPARE(modal.requests[0].caption, QStringLiteral("撤单"));
    QCOMPARE(client.NextBody(net::kCmdCancelOne), "code=600001&num=500&time=09:31:02" + kCredentials);
    QCOMPARE(client.CountBeforeMarker(net::kCmdCancelOne), 1);
}

void TestCancelPanels::tradesPanelColours() {
    TradeTestClient client;
    client.SetTrades({Trade("600000", "卖出"), Trade("000001", "买入"), Trade("000002", "红利")});
    CTradeDlg panel(client.context);
    panel.FillTradeList();
    CListCtrlCl* list = panel.List();
    QCOMPARE(list->GetItemCount(), 3);
    QCOMPARE(list->GetItemText(0, 0), QStringLiteral("2021-02-23"));
    QCOMPARE(list->GetItemText(0, 3), QStringLiteral("平安银行"));
    QCOMPARE(list->GetItemText(0, 4), QStringLiteral("卖出"));
    for (int column = 0; column < 8; ++column) {
        QCOMPARE(list->ItemTextColor(0, column), kRed);
        QCOMPARE(list->ItemTextColor(1, column), kBlue);
        QCOMPARE(list->ItemTextColor(2, column), kBlue);
    }
    client.SetTrades({});
    panel.FillTradeList();
    QCOMPARE(list->GetItemCount(), 0);
}

QTEST_MAIN(TestCancelPanels)
#include "tst_CancelPanels.moc"
