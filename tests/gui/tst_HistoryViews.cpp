#include "account/HisJgdView.h"
#include "account/HisMoneyView.h"
#include "account/HisTradeView.h"
#include "account/HisWeituoView.h"
#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "core/Gbk.h"
#include "tests/gui/AccountTestClient.h"

#include <QDateEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <initializer_list>
#include <memory>

namespace {

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);
const QDate kToday(2021, 2, 23);

using ViewMaker = std::function<std::unique_ptr<CHistoryViewBase>(ClientContext&)>;

template <typename View>
ViewMaker Maker() {
    return [](ClientContext& c) { return std::make_unique<View>(c); };
}

// A view as the main window makes it: created, shown, then its initial update.
std::unique_ptr<CHistoryViewBase> Open(const ViewMaker& make, AccountTestClient& client) {
    auto view = make(client.context);
    view->SetToday(kToday);
    view->resize(900, 400);
    view->show();
    view->OnInitialUpdate();
    client.notifier.pane = view.get();
    return view;
}

QStringList RowTexts(const CListCtrlCl& list, int row) {
    QStringList texts;
    for (int c = 0; c < list.columnCount(); ++c)
        texts << list.GetItemText(row, c);
    return texts;
}

QStringList Headings(const CListCtrlCl& list) {
    QStringList titles;
    for (int c = 0; c < list.columnCount(); ++c)
        titles << list.horizontalHeaderItem(c)->text();
    return titles;
}

bool RowHasColour(const CListCtrlCl& list, int row, const QColor& colour) {
    for (int c = 0; c < list.columnCount(); ++c)
        if (list.ItemTextColor(row, c) != colour)
            return false;
    return true;
}

std::string Gbk(const char* utf8) {
    return ToGbk(QString::fromUtf8(utf8));
}

QStringList Texts(std::initializer_list<const char*> utf8) {
    QStringList texts;
    for (const char* t : utf8)
        texts << QString::fromUtf8(t);
    return texts;
}

} // namespace

class TestHistoryViews final : public QObject {
    Q_OBJECT
private slots:
    void queryBodies_data();
    void queryBodies();
    void failedSendShowsTheConnectionFailureAndLeavesTheListEmpty();
    void orderHistoryFill();
    void tradeHistoryColours();
    void fundsFlowEndsAtAnEmptyBalance();
    void settlementComputedColumns();
    void aSettlementAnswerRebuildsTheFundsFlowViewFromItsOwnTable();
};

void TestHistoryViews::queryBodies_data() {
    QTest::addColumn<ViewMaker>("make");
    QTest::addColumn<int>("command");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QString>("body");

    const QDate yesterday = kToday.addDays(-1);
    QTest::newRow("orders, both today") << Maker<CHisWeituoView>() << 12 << kToday << kToday
                                        << QStringLiteral("start=2021-2-23&end=2021-2-22");
    QTest::newRow("trades, both today") << Maker<CHisTradeView>() << 13 << kToday << kToday
                                        << QStringLiteral("start=2021-2-23&end=2021-2-22");
    QTest::newRow("funds flow, both today")
        << Maker<CHisMoneyView>() << 10 << kToday << kToday << QStringLiteral("start=2021-2-23&end=2021-2-23");
    QTest::newRow("settlement, both today")
        << Maker<CHisJgdView>() << 14 << kToday << kToday << QStringLiteral("start=2021-2-23&end=2021-2-23");
    QTest::newRow("orders, end yesterday unchanged") << Maker<CHisWeituoView>() << 12 << QDate(2021, 2, 3) << yesterday
                                                     << QStringLiteral("start=2021-2-3&end=2021-2-22");
    QTest::newRow("trades, past end unchanged") << Maker<CHisTradeView>() << 13 << QDate(2020, 12, 1)
                                                << QDate(2021, 1, 5) << QStringLiteral("start=2020-12-1&end=2021-1-5");
    QTest::newRow("trades, future end clamped") << Maker<CHisTradeView>() << 13 << QDate(2021, 2, 1)
                                                << QDate(2021, 3, 9) << QStringLiteral("start=2021-2-1&end=2021-2-22");
    QTest::newRow("orders, start after end sent as is")
        << Maker<CHisWeituoView>() << 12 << QDate(2021, 2, 20) << QDate(2021, 2, 10)
        << QStringLiteral("start=2021-2-20&end=2021-2-10");
    QTest::newRow("funds flow, future end kept") << Maker<CHisMoneyView>() << 10 << QDate(2021, 2, 1)
                                                 << QDate(2021, 3, 1) << QStringLiteral("start=2021-2-1&end=2021-3-1");
    QTest::newRow("orders, clamp across a month")
        << Maker<CHisWeituoView>() << 12 << QDate(2021, 2, 1) << QDate(2021, 3, 1)
        << QStringLiteral("start=2021-2-1&end=2021-2-22");
}

void TestHistoryViews::queryBodies() {
    QFETCH(ViewMaker, make);
    QFETCH(int, command);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QString, body);

    AccountTestClient client;
    QVERIFY(client.Connect());
    ModalRecorder modal;
    auto view = Open(make, client);
    view->StartPicker()->setDate(start);
    view->EndPicker()->setDate(end);
    auto* button = view->findChild<QPushButton*>(QStringLiteral("id1069"));
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("确 定"));
    QTest::mouseClick(button, Qt::LeftButton);

    const auto sent = client.NextQuery(command);
    QVERIFY(sent);
    QCOMPARE(QString::fromStdString(*sent), body);
    QVERIFY(modal.Texts().isEmpty());
    // The pickers themselves are left as the user set them.
    QCOMPARE(view->EndPicker()->date(), end);
}

void TestHistoryViews::failedSendShowsTheConnectionFailureAndLeavesTheListEmpty() {
    AccountTestClient client; // never connected: every send fails
    ModalRecorder modal;
    client.link.Dispatch(net::kCmdHistoryOrders, Gbk("600000,浦发银行,100,0,10.00,0.00,1,09:30:00,未成|"));
    auto view = Open(Maker<CHisWeituoView>(), client);
    view->FillHistoryList();
    QCOMPARE(view->List()->GetItemCount(), 1);

    QTest::mouseClick(view->findChild<QPushButton*>(QStringLiteral("id1069")), Qt::LeftButton);
    QCOMPARE(modal.Texts(), QStringList{ConnectionFailureText()});
    QCOMPARE(view->List()->GetItemCount(), 0);
}

void TestHistoryViews::orderHistoryFill() {
    AccountTestClient client;
    auto view = Open(Maker<CHisWeituoView>(), client);
    QCOMPARE(Headings(*view->List()), (Texts({"证券代码", "证券名称", "委托数量", "成交数量", "委托价格", "成交均价",
                                              "操作", "委托时间", "备注"})));
    QCOMPARE(view->List()->columnWidth(7), 200);
    // The third piece has too few fields: its slot stays empty and ends the list.
    client.link.Dispatch(net::kCmdHistoryOrders, Gbk("600000,浦发银行,100,100,10.00,10.00,1,2021-02-22 09:30:00,已成|"
                                                     "000001,平安银行,200,0,15.50,0.00,2,2021-02-22 10:00:00,已撤|"
                                                     "x,y|"
                                                     "000002,万科A,300,0,20.00,0.00,1,2021-02-22 11:00:00,未成|"));
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 2);
    QCOMPARE(RowTexts(list, 0),
             (Texts({"600000", "浦发银行", "100", "100", "10.00", "10.00", "买入", "2021-02-22 09:30:00", "已成"})));
    QCOMPARE(list.GetItemText(1, 6), QStringLiteral("卖出"));
    QVERIFY(RowHasColour(list, 0, kBlack));
    QVERIFY(RowHasColour(list, 1, kBlack));
}

void TestHistoryViews::tradeHistoryColours() {
    AccountTestClient client;
    auto view = Open(Maker<CHisTradeView>(), client);
    QCOMPARE(Headings(*view->List()),
             (Texts({"成交日期", "成交时间", "证券代码", "证券名称", "操 作", "成交均价", "成交数量", "成交金额"})));
    client.link.Dispatch(net::kCmdHistoryTrades, Gbk("2021-02-22,09:31:00,600000,浦发银行,卖出,10.00,100,1000.00|"
                                                     "2021-02-22,09:32:00,000001,平安银行,买入,15.00,200,3000.00|"
                                                     "2021-02-22,09:33:00,000002,万科A,证券卖出,20.00,100,2000.00|"
                                                     "2021-02-22,09:34:00,000003,测试,卖出 ,20.00,100,2000.00|"));
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 4);
    QCOMPARE(RowTexts(list, 0),
             (Texts({"2021-02-22", "09:31:00", "600000", "浦发银行", "卖出", "10.00", "100", "1000.00"})));
    QVERIFY(RowHasColour(list, 0, kRed));
    QVERIFY(RowHasColour(list, 1, kBlue));
    QVERIFY(RowHasColour(list, 2, kBlue));
    QVERIFY(RowHasColour(list, 3, kBlue));

    // A refill with fewer rows recolours the rows it shows.
    client.link.Dispatch(net::kCmdHistoryTrades, Gbk("2021-02-19,14:00:00,000001,平安银行,买入,15.00,200,3000.00|"));
    QCOMPARE(list.GetItemCount(), 1);
    QVERIFY(RowHasColour(list, 0, kBlue));
}

void TestHistoryViews::fundsFlowEndsAtAnEmptyBalance() {
    AccountTestClient client;
    auto view = Open(Maker<CHisMoneyView>(), client);
    QCOMPARE(Headings(*view->List()),
             (Texts({"日期", "摘要", "证券代码", "证券名称", "操作", "成交数量", "成交均价", "发生金额", "本次余额"})));
    // Records without a code are shown (deposits); the one without a balance ends the list.
    client.link.Dispatch(net::kCmdFundsFlow,
                         Gbk("2021-02-19,银行转账,,,资金转入,0,0,5000.00,105000.00|"
                             "2021-02-19,证券卖出,600000,浦发银行,卖出,100,10.00,1000.00,106000.00|"
                             "2021-02-20,证券买入,000001,平安银行,买入,100,15.00,-1500.00,104500.00|"
                             "2021-02-21,证券买入,000002,万科A,买入,100,20.00,-2000.00,|"
                             "2021-02-22,证券买入,000003,测试,买入,100,20.00,-2000.00,100.00|"));
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 3);
    QCOMPARE(RowTexts(list, 0),
             (Texts({"2021-02-19", "银行转账", "", "", "资金转入", "0", "0", "5000.00", "105000.00"})));
    QVERIFY(RowHasColour(list, 0, kRed));  // operation 资金转入
    QVERIFY(RowHasColour(list, 1, kRed));  // summary 证券卖出
    QVERIFY(RowHasColour(list, 2, kBlue)); // neither
}

void TestHistoryViews::settlementComputedColumns() {
    AccountTestClient client;
    client.state.shanghaiAccount = "A123456789";
    client.state.shenzhenAccount = "0987654321";
    auto view = Open(Maker<CHisJgdView>(), client);
    QCOMPARE(Headings(*view->List()),
             (Texts({"成交日期", "证券代码", "证券名称", "摘要", "成交数量", "成交均价", "成交金额", "发生金额",
                     "手续费", "印花税", "过户费", "合同编号", "其他杂项", "股东账号", "备注"})));
    QCOMPARE(view->List()->columnWidth(11), 130);
    // Wire field 11 is not stored; field 12 is the contract number, field 13 shown nowhere.
    client.link.Dispatch(
        net::kCmdSettlement,
        Gbk("20210219,600000,浦发银行,证券卖出,100,10.00,1000.00,998.00,1.00,1.00,0.02,x,C001,V1|"
            "20210219,000001,平安银行,证券买入,200,15.00,3000.00,-3001.00,1.00,0.00,0.00,x,C002,V2|"
            "20210220,300750,宁德时代,证券买入,100,300.00,30000.00,-30005.00,5.00,0.00,0.00,x,C003,V3|"));
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 3);
    QCOMPARE(RowTexts(list, 0), (Texts({"20210219", "600000", "浦发银行", "证券卖出", "100", "10.00", "1000.00",
                                        "998.00", "1.00", "1.00", "0.02", "C001", "0.000", "A123456789", "1"})));
    QCOMPARE(list.GetItemText(1, 13), QStringLiteral("0987654321"));
    QCOMPARE(list.GetItemText(2, 13), QStringLiteral("0987654321"));
    QCOMPARE(list.GetItemText(1, 14), QStringLiteral("2"));
    QCOMPARE(list.GetItemText(2, 14), QStringLiteral("3"));
    QCOMPARE(list.GetItemText(2, 12), QStringLiteral("0.000"));
    QVERIFY(RowHasColour(list, 0, kRed));
    QVERIFY(RowHasColour(list, 1, kBlue));
    QVERIFY(RowHasColour(list, 2, kBlue));
}

void TestHistoryViews::aSettlementAnswerRebuildsTheFundsFlowViewFromItsOwnTable() {
    AccountTestClient client;
    client.link.Dispatch(net::kCmdFundsFlow,
                         Gbk("2021-02-19,证券卖出,600000,浦发银行,卖出,100,10.00,1000.00,106000.00|"));
    auto view = Open(Maker<CHisMoneyView>(), client);
    QCOMPARE(view->List()->GetItemCount(), 0); // a new view shows nothing until a refresh

    client.link.Dispatch(net::kCmdSettlement,
                         Gbk("20210219,000001,平安银行,证券买入,200,15.00,3000.00,-3001.00,1.00,0.00,0.00,x,C002,V2|"
                             "20210220,000002,万科A,证券买入,100,20.00,2000.00,-2001.00,1.00,0.00,0.00,x,C003,V3|"));
    const CListCtrlCl& list = *view->List();
    QCOMPARE(list.GetItemCount(), 1);
    QCOMPARE(list.GetItemText(0, 1), QStringLiteral("证券卖出"));
    QCOMPARE(list.GetItemText(0, 8), QStringLiteral("106000.00"));
    // The settlement answer is kept for the settlement view.
    QCOMPARE(client.state.settlement.Count(&net::SettlementRecord::code), std::size_t(2));
}

QTEST_MAIN(TestHistoryViews)
#include "tst_HistoryViews.moc"
