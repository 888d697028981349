#include "account/ListCtrlCl.h"
#include "account/TodayTradeView.h"
#include "account/TodayWeituoView.h"
#include "core/Gbk.h"
#include "tests/gui/AccountTestClient.h"

#include <QTest>

#include <initializer_list>

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);

std::string Gbk(const char* utf8) {
    return ToGbk(QString::fromUtf8(utf8));
}

QStringList Texts(std::initializer_list<const char*> utf8) {
    QStringList texts;
    for (const char* t : utf8)
        texts << QString::fromUtf8(t);
    return texts;
}

QStringList RowTexts(const CListCtrlCl& list, int row) {
    QStringList texts;
    for (int c = 0; c < list.columnCount(); ++c)
        texts << list.GetItemText(row, c);
    return texts;
}

template <typename View>
std::unique_ptr<View> Open(AccountTestClient& client) {
    auto view = std::make_unique<View>(client.context);
    view->resize(900, 400);
    view->show();
    view->OnInitialUpdate();
    client.notifier.pane = view.get();
    return view;
}

} // namespace

class TestTodayViews final : public QObject {
    Q_OBJECT
private slots:
    void ordersViewFillsOnOpeningAndColoursOnlyTheRemark();
    void ordersRefillResetsEveryRemarkColour();
    void tradesAreRedOnlyForAnExactSale();
    void refreshAsksForTodaysTableAndRefillsAtOnce_data();
    void refreshAsksForTodaysTableAndRefillsAtOnce();
};

void TestTodayViews::ordersViewFillsOnOpeningAndColoursOnlyTheRemark() {
    AccountTestClient client;
    client.link.Dispatch(net::kCmdTodayOrders, Gbk("600000,浦发银行,100,100,10.00,10.00,1,09:30:00,已成|"
                                                   "000001,平安银行,200,0,15.50,0.00,2,09:31:00,已撤|"
                                                   "000002,万科A,300,0,20.00,0.00,0,09:32:00,|"
                                                   "000003,测试,300,0,20.00,0.00,,09:33:00,已撤 |"));
    auto view = Open<CTodayWeituoView>(client);
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.columnCount(), 10);
    QCOMPARE(list.horizontalHeaderItem(8)->text(), QStringLiteral("备注"));
    QCOMPARE(list.horizontalHeaderItem(9)->text(), QStringLiteral("合同编号"));
    QCOMPARE(list.columnWidth(7), 200);
    QCOMPARE(list.columnWidth(8), 95);
    QCOMPARE(list.GetItemCount(), 4);
    QCOMPARE(RowTexts(list, 0), Texts({"600000", "浦发银行", "100", "100", "10.00", "10.00", "委托买入", "09:30:00",
                                       "已成", ""})); // no contract number from a server that does not send one
    for (int row = 1; row < 4; ++row)
        QCOMPARE(list.GetItemText(row, 6), QStringLiteral("委托卖出"));
    QCOMPARE(list.ItemTextColor(0, 8), kRed);
    QCOMPARE(list.ItemTextColor(1, 8), kBlack); // 已撤
    QCOMPARE(list.ItemTextColor(2, 8), kRed);   // empty status
    QCOMPARE(list.ItemTextColor(3, 8), kRed);   // not exactly 已撤
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 8; ++column)
            QCOMPARE(list.ItemTextColor(row, column), kBlack);
}

void TestTodayViews::ordersRefillResetsEveryRemarkColour() {
    AccountTestClient client;
    client.link.Dispatch(net::kCmdTodayOrders, Gbk("600000,浦发银行,100,100,10.00,10.00,1,09:30:00,已成|"
                                                   "000001,平安银行,200,0,15.50,0.00,2,09:31:00,未成|"));
    auto view = Open<CTodayWeituoView>(client);
    QCOMPARE(view->List()->ItemTextColor(0, 8), kRed);

    // Stored orders reach the view through the main window's routing.
    client.link.Dispatch(net::kCmdTodayOrders, Gbk("600000,浦发银行,100,0,10.00,0.00,1,09:30:00,已撤|"));
    QCOMPARE(view->List()->GetItemCount(), 1);
    QCOMPARE(view->List()->ItemTextColor(0, 8), kBlack);
}

void TestTodayViews::tradesAreRedOnlyForAnExactSale() {
    AccountTestClient client;
    auto view = Open<CTodayTradeView>(client);
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 0);
    QCOMPARE(list.columnCount(), 8);
    QCOMPARE(list.horizontalHeaderItem(4)->text(), QStringLiteral("操 作"));
    QCOMPARE(list.columnWidth(0), 120);

    client.link.Dispatch(net::kCmdTodayTrades, Gbk("2021-02-23,09:31:00,600000,浦发银行,卖出,10.00,100,1000.00|"
                                                   "2021-02-23,09:32:00,000001,平安银行,买入,15.00,200,3000.00|"
                                                   "2021-02-23,09:33:00,000002,万科A,证券卖出,20.00,100,2000.00|"
                                                   "2021-02-23,09:34:00,000003,测试,卖出 ,20.00,100,2000.00|"
                                                   "|"
                                                   "2021-02-23,09:35:00,000004,测试,卖出,20.00,100,2000.00|"));
    QCOMPARE(list.GetItemCount(), 4);
    QCOMPARE(RowTexts(list, 0),
             Texts({"2021-02-23", "09:31:00", "600000", "浦发银行", "卖出", "10.00", "100", "1000.00"}));
    for (int column = 0; column < 8; ++column) {
        QCOMPARE(list.ItemTextColor(0, column), kRed);
        QCOMPARE(list.ItemTextColor(1, column), kBlue);
        QCOMPARE(list.ItemTextColor(2, column), kBlue);
        QCOMPARE(list.ItemTextColor(3, column), kBlue);
    }
}

void TestTodayViews::refreshAsksForTodaysTableAndRefillsAtOnce_data() {
    QTest::addColumn<bool>("orders");
    QTest::newRow("orders") << true;
    QTest::newRow("trades") << false;
}

void TestTodayViews::refreshAsksForTodaysTableAndRefillsAtOnce() {
    QFETCH(bool, orders);
    AccountTestClient client;
    QVERIFY(client.Connect());
    std::unique_ptr<CTFormView> view;
    CListCtrlCl* list = nullptr;
    if (orders) {
        auto v = Open<CTodayWeituoView>(client);
        list = v->List();
        view = std::move(v);
    } else {
        auto v = Open<CTodayTradeView>(client);
        list = v->List();
        view = std::move(v);
    }
    QCOMPARE(list->GetItemCount(), 0);
    // The tables change behind the view's back (no notification), then a history answer arrives.
    client.notifier.pane = nullptr;
    client.link.Dispatch(net::kCmdTodayOrders, Gbk("600000,浦发银行,100,100,10.00,10.00,1,09:30:00,已成|"));
    client.link.Dispatch(net::kCmdTodayTrades, Gbk("2021-02-23,09:31:00,600000,浦发银行,卖出,10.00,100,1000.00|"));
    client.notifier.pane = view.get();
    view->OnHistoryTableStored();
    QCOMPARE(list->GetItemCount(), 1);

    const int command = orders ? net::kCmdTodayOrders : net::kCmdTodayTrades;
    const auto body = client.NextQuery(command);
    QVERIFY(body);
    QCOMPARE(*body, std::string("start=2021-2-23"));
}

QTEST_MAIN(TestTodayViews)
#include "tst_TodayViews.moc"
