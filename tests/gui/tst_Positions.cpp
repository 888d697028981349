#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "account/MoneyStockView.h"
#include "account/PositionRevaluation.h"
#include "controls/TStatic.h"
#include "tests/gui/support/GuiTestEnv.h"
#include "wire/Commands.h"

#include <QSignalSpy>
#include <QTest>

using tavix::test::Gbk;
using tavix::test::GuiTestEnv;
namespace col = positions;

namespace {
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// One wire record: code,name,balance,available,frozen,profit,cost,ratio,price,value
std::string Position(const char* code, const char* balance, const char* profit, const char* cost, const char* price,
                     const char* value = "0.00") {
    return Gbk(QStringLiteral("%1,股票%1,%2,%2,0,%3,%4,0.00,%5,%6|")
                   .arg(QLatin1StringView(code), QLatin1StringView(balance), QLatin1StringView(profit),
                        QLatin1StringView(cost), QLatin1StringView(price), QLatin1StringView(value)));
}

QString Figure(const QWidget& view, int id) {
    return view.findChild<CTStatic*>(QStringLiteral("id%1").arg(id))->text();
}

bool RowIs(const CListCtrlCl& list, int row, const QColor& colour) {
    for (int c = 0; c < list.columnCount(); ++c)
        if (list.ItemTextColor(row, c) != colour)
            return false;
    return true;
}
} // namespace

class TestPositions final : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fillShowsRecordsColoursAndMarkets();
    void profitColourCrossesRedAndBlue();
    void rowsThatAreNotRevalued();
    void ratioFollowsTheNewProfit();
    void profitComesFromTheExactCost();
    void totalsChangeOnlyWithAProfitText();
    void marginAccountFiguresAreShown();
    void refreshQueriesThenRefills();
    void doubleClickSellsTheSelectedCode();
    void positionsPageLeavesProfitEmptyUntilFirstPass();
    void positionsPageAsksItsHostToSell();
};

void TestPositions::initTestCase() {
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
}

void TestPositions::fillShowsRecordsColoursAndMarkets() {
    GuiTestEnv env;
    QVERIFY(env.Connected());
    env.state.positions.Store({}); // tables start empty
    env.FillPositions(Position("600000", "1000", "0.00", "10.00", "10.00") +
                      Position("000001", "500", "25.50", "8.00", "8.05") + Position("900901", "100", "-3", "1", "1") +
                      Position("200002", "100", "1", "1", "1"));
    env.FillFunds("10000.00,9000.00,500.00,20000.00,9500.00,30500.00,0,0,0");
    CMoneyStockView view(env.context);
    view.resize(1000, 500);
    view.OnInitialUpdate();
    CListCtrlCl& list = *view.List();

    QCOMPARE(list.GetItemCount(), 4);
    QCOMPARE(list.columnCount(), 11);
    QCOMPARE(list.columnWidth(7), 110);
    QVERIFY(list.m_headerTopLine);
    QCOMPARE(list.GetItemText(0, col::kName), QStringLiteral("股票600000"));
    QCOMPARE(list.GetItemText(1, col::kProfit), QStringLiteral("25.50"));
    QCOMPARE(list.GetItemText(1, col::kMarketPrice), QStringLiteral("8.05"));
    QCOMPARE(list.GetItemText(0, col::kMarket), QStringLiteral("上海A"));
    QCOMPARE(list.GetItemText(1, col::kMarket), QStringLiteral("深圳A"));
    QCOMPARE(list.GetItemText(2, col::kMarket), QStringLiteral("深圳A"));
    QCOMPARE(list.GetItemText(3, col::kMarket), QStringLiteral("深圳A"));
    QVERIFY(RowIs(list, 0, kBlue)); // zero profit is blue
    QVERIFY(RowIs(list, 1, kRed));
    QVERIFY(RowIs(list, 2, kBlue));

    QCOMPARE(Figure(view, 1055), QStringLiteral("10000.00"));
    QCOMPARE(Figure(view, 1058), QStringLiteral("9000.00"));
    QCOMPARE(Figure(view, 1056), QStringLiteral("500.00"));
    QCOMPARE(Figure(view, 1059), QStringLiteral("20000.00"));
    QCOMPARE(Figure(view, 1057), QStringLiteral("9500.00"));
    QCOMPARE(Figure(view, 1060), QStringLiteral("30500.00"));
    QVERIFY(!view.findChild<CTStatic*>(QStringLiteral("id1068"))->isVisibleTo(&view));

    // Every held code is subscribed.
    const std::string codes = env.state.quoteCodes.Get();
    for (const char* code : {"600000", "000001", "900901", "200002"})
        QVERIFY(codes.find(code) != std::string::npos);

    // A refill with fewer rows drops the others.
    env.FillPositions(Position("000001", "500", "25.50", "8.00", "8.05"));
    view.OnPositionsStored();
    QCOMPARE(list.GetItemCount(), 1);
    QCOMPARE(list.GetItemText(0, col::kCode), QStringLiteral("000001"));
}

void TestPositions::profitColourCrossesRedAndBlue() {
    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "0.00", "10.00", "10.00"));
    CMoneyStockView view(env.context);
    view.OnInitialUpdate();
    CListCtrlCl& list = *view.List();
    QVERIFY(RowIs(list, 0, kBlue));

    env.SetQuote("600000", 10.01f);
    view.RevaluePositions();
    QCOMPARE(list.GetItemText(0, col::kProfit), QStringLiteral("1.00"));
    QVERIFY(RowIs(list, 0, kRed));

    env.SetQuote("600000", 10.00f);
    view.RevaluePositions();
    QCOMPARE(list.GetItemText(0, col::kProfit), QStringLiteral("0.00"));
    QVERIFY(RowIs(list, 0, kRed)); // falling to exactly 0 keeps red

    env.SetQuote("600000", 9.99f);
    view.RevaluePositions();
    QCOMPARE(list.GetItemText(0, col::kProfit), QStringLiteral("-1.00"));
    QVERIFY(RowIs(list, 0, kBlue));
    QCOMPARE(list.GetItemText(0, col::kMarketPrice), QStringLiteral("9.99"));
    QCOMPARE(list.GetItemText(0, col::kMarketValue), QStringLiteral("999.00"));
}

void TestPositions::rowsThatAreNotRevalued() {
    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "5.00", "10.00", "10.50") + // unchanged, exact price
                      Position("600001", "100", "5.00", "1.00", "1.00") +   // price at or below 0.5
                      Position("600002", "100", "5.00", "1.00", "1.00") +   // price below 0.01
                      Position("60003", "100", "5.00", "1.00", "1.00") +    // five characters
                      Position("6000040", "100", "5.00", "1.00", "1.00") +  // seven characters
                      Position("600005", "100", "5.00", "1.00", "1.00"));   // no quote at all
    CMoneyStockView view(env.context);
    view.OnInitialUpdate();
    env.SetQuote("600000", 10.50f);
    env.SetQuote("600001", 0.50f);
    env.SetQuote("600002", 0.009f);
    env.SetQuote("60003", 3.0f);
    env.SetQuote("6000040", 3.0f);
    view.RevaluePositions();
    CListCtrlCl& list = *view.List();
    for (int row = 0; row < list.GetItemCount(); ++row) {
        QCOMPARE(list.GetItemText(row, col::kProfit), QStringLiteral("5.00"));
        QCOMPARE(list.GetItemText(row, col::kProfitRatio), QStringLiteral("0.00"));
    }
    QCOMPARE(list.GetItemText(1, col::kMarketPrice), QStringLiteral("1.00"));
    QCOMPARE(Figure(view, 1059), QString()); // no funds figures stored, none computed

    // The positions page has no profit text yet, so a low price does revalue there, but a
    // price under 0.01 never does.
    CLcDlg page(env.context);
    page.FillPositionList();
    page.RevaluePositions();
    QCOMPARE(page.List()->GetItemText(1, col::kProfit), QStringLiteral("-50.00"));
    QCOMPARE(page.List()->GetItemText(2, col::kProfit), QString());
    QCOMPARE(page.List()->GetItemText(3, col::kProfit), QString());
}

void TestPositions::ratioFollowsTheNewProfit() {
    QCOMPARE(col::RatioText(100.0, 10.0, 100), QStringLiteral("10.00"));
    QCOMPARE(col::RatioText(5.0, 0.0, 100), QStringLiteral("--"));
    QCOMPARE(col::RatioText(5.0, 10.0, 0), QStringLiteral("--"));

    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "0.00", "10.00", "10.00") +
                      Position("000002", "100", "0.00", "0", "10.00") + Position("000003", "0", "0.00", "5", "5"));
    CMoneyStockView view(env.context);
    view.OnInitialUpdate();
    env.SetQuote("600000", 11.0f);
    env.SetQuote("000002", 11.0f);
    env.SetQuote("000003", 6.0f);
    view.RevaluePositions();
    CListCtrlCl& list = *view.List();
    QCOMPARE(list.GetItemText(0, col::kProfit), QStringLiteral("100.00"));
    QCOMPARE(list.GetItemText(0, col::kProfitRatio), QStringLiteral("10.00"));
    QCOMPARE(list.GetItemText(1, col::kProfit), QStringLiteral("1100.00"));
    QCOMPARE(list.GetItemText(1, col::kProfitRatio), QStringLiteral("--"));
    QCOMPARE(list.GetItemText(2, col::kProfitRatio), QStringLiteral("--"));
}

void TestPositions::profitComesFromTheExactCost() {
    GuiTestEnv env;
    // 30,000 bought at 10.50 for 315,097.65 with fees: 10.503255 a share, sent as 10.503, and
    // 市值 − 盈亏 = 315,000.00 + 97.65. 100 bought at 7.19 for 724.01 (5.00 commission, 0.01
    // transfer fee): 7.2401, sent as 7.240. The third record's figures do not add up to its
    // 成本价 (10.00 × 100 is not 1,000.00 − 5.00 + 20.00): its 成本价 is taken.
    env.FillPositions(Position("000001", "30000", "-97.65", "10.503", "10.50", "315000.00") +
                      Position("600000", "100", "-5.01", "7.240", "7.19", "719.00") +
                      Position("600036", "100", "-20.00", "10.00", "10.05", "1005.00"));
    CLcDlg page(env.context);
    page.FillPositionList();
    CListCtrlCl& list = *page.List();
    list.SortByColumn(col::kCode, Qt::DescendingOrder); // the costs follow their rows
    QTRY_COMPARE(list.GetItemText(0, col::kCode), QStringLiteral("600036"));
    env.SetQuote("000001", 10.46f);
    env.SetQuote("600000", 7.19f);
    env.SetQuote("600036", 10.05f);
    page.RevaluePositions();
    // 313,800.00 − 315,097.65; 719.00 − 724.01; 1,005.00 − 1,000.00.
    QCOMPARE(list.GetItemText(2, col::kProfit), QStringLiteral("-1297.65"));
    QCOMPARE(list.GetItemText(2, col::kProfitRatio), QStringLiteral("-0.41"));
    QCOMPARE(list.GetItemText(1, col::kProfit), QStringLiteral("-5.01"));
    QCOMPARE(list.GetItemText(1, col::kProfitRatio), QStringLiteral("-0.69"));
    QCOMPARE(list.GetItemText(0, col::kProfit), QStringLiteral("5.00"));
}

void TestPositions::totalsChangeOnlyWithAProfitText() {
    GuiTestEnv env;
    env.FillFunds("10000.00,9000.00,500.00,20000.00,9500.00,30500.00,0,0,0");
    env.FillPositions(Position("600000", "100", "0.00", "10.00", "10.00", "1000.00") +
                      Position("000001", "200", "0.00", "5.00", "5.00", "1000.00"));
    CMoneyStockView view(env.context);
    view.OnInitialUpdate();
    view.RevaluePositions(); // no quotes: the server's figures stay
    QCOMPARE(Figure(view, 1059), QStringLiteral("20000.00"));
    QCOMPARE(Figure(view, 1060), QStringLiteral("30500.00"));

    env.SetQuote("600000", 12.0f);
    view.RevaluePositions();
    QCOMPARE(Figure(view, 1059), QStringLiteral("2200.000"));
    QCOMPARE(Figure(view, 1060), QStringLiteral("12700.000")); // cash + stock + frozen

    // A tick that changes no profit text leaves both figures alone.
    view.findChild<CTStatic*>(QStringLiteral("id1059"))->setText(QStringLiteral("untouched"));
    view.RevaluePositions();
    QCOMPARE(Figure(view, 1059), QStringLiteral("untouched"));

    env.SetQuote("000001", 5.5f);
    view.RevaluePositions();
    QCOMPARE(Figure(view, 1059), QStringLiteral("2300.000"));
    QCOMPARE(Figure(view, 1060), QStringLiteral("12800.000"));
}

void TestPositions::marginAccountFiguresAreShown() {
    GuiTestEnv env;
    env.FillFunds("50000.00,40000.00,0.00,250000.00,50000.00,300000.00,100000,50000,2");
    env.FillPositions(Position("600000", "1000", "0.00", "10.00", "10.00", "10000.00"));
    CMoneyStockView view(env.context);
    view.resize(900, 400);
    view.OnInitialUpdate();
    QCOMPARE(Figure(view, 1068), QStringLiteral("100000"));
    QCOMPARE(Figure(view, 1070), QStringLiteral("200000.00"));
    QCOMPARE(Figure(view, 1072), QStringLiteral("120000 / 110000"));
    QVERIFY(view.findChild<CTStatic*>(QStringLiteral("id1070"))->isVisibleTo(&view));
    // The list moves down below the extra line.
    const int extraBottom = view.findChild<CTStatic*>(QStringLiteral("id1070"))->geometry().bottom();
    QVERIFY(view.List()->geometry().top() > extraBottom);

    env.SetQuote("600000", 11.0f);
    view.RevaluePositions();
    QCOMPARE(Figure(view, 1060), QStringLiteral("61000.000"));
    QCOMPARE(Figure(view, 1070), QStringLiteral("-39000.00"));
}

void TestPositions::refreshQueriesThenRefills() {
    GuiTestEnv env;
    QVERIFY(env.Connected());
    CMoneyStockView view(env.context);
    view.OnInitialUpdate();
    QCOMPARE(view.List()->GetItemCount(), 0);
    env.FillPositions(Position("600000", "100", "1.00", "10.00", "10.00"));
    env.FillFunds("1.00,2.00,3.00,4.00,5.00,6.00,0,0,0");
    view.OnHistoryTableStored();
    QVERIFY(env.server.WaitForCommand(net::kCmdPositions, std::chrono::seconds(5)));
    QVERIFY(env.server.WaitForCommand(net::kCmdFunds, std::chrono::seconds(5)));
    QCOMPARE(view.List()->GetItemCount(), 1);
    QCOMPARE(Figure(view, 1060), QStringLiteral("6.00"));

    // The view's own timer revalues the refilled rows and the totals.
    env.SetQuote("600000", 10.5f);
    QTRY_COMPARE_WITH_TIMEOUT(view.List()->GetItemText(0, col::kProfit), QStringLiteral("50.00"), 3000);
    QCOMPARE(Figure(view, 1059), QStringLiteral("1050.000"));
}

void TestPositions::doubleClickSellsTheSelectedCode() {
    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "1.00", "10.00", "10.00") +
                      Position("000001", "100", "1.00", "10.00", "10.00"));
    CMoneyStockView view(env.context);
    view.resize(1000, 400);
    view.OnInitialUpdate();
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    CListCtrlCl& list = *view.List();
    const QPoint second = list.visualRect(list.model()->index(1, 2)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(env.frame.soldCodes, std::vector<int>{1});

    env.context.frame = nullptr; // no main window: nothing happens, nothing breaks
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(env.frame.soldCodes.size(), std::size_t{1});
}

void TestPositions::positionsPageLeavesProfitEmptyUntilFirstPass() {
    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "-5.00", "10.00", "10.00") + // blue, turns red
                      Position("000001", "100", "-5.00", "10.00", "10.00") + // blue, stays blue
                      Position("000002", "100", "7.00", "10.00", "10.00"));  // red by the record
    CLcDlg page(env.context);
    CListCtrlCl& list = *page.List();
    QVERIFY(!list.m_headerTopLine);
    QCOMPARE(list.columnWidth(5), 90);
    QCOMPARE(list.columnWidth(9), 105);
    QCOMPARE(list.GetItemCount(), 0); // the host decides when to fill
    page.FillPositionList();
    QCOMPARE(list.GetItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(list.GetItemText(row, col::kProfit), QString());
        QCOMPARE(list.GetItemText(row, col::kProfitRatio), QString());
        QCOMPARE(list.GetItemText(row, col::kCostPrice), QStringLiteral("10.00"));
    }
    QVERIFY(RowIs(list, 2, kRed));

    env.SetQuote("000002", 9.0f); // red by the record, but the first computed profit is a loss
    env.SetQuote("600000", 10.5f);
    env.SetQuote("000001", 9.5f);
    QTRY_COMPARE_WITH_TIMEOUT(list.GetItemText(0, col::kProfit), QStringLiteral("50.00"), 3000);
    QCOMPARE(list.GetItemText(0, col::kProfitRatio), QStringLiteral("5.00"));
    QVERIFY(RowIs(list, 0, kRed));
    QCOMPARE(list.GetItemText(1, col::kProfit), QStringLiteral("-50.00"));
    QVERIFY(RowIs(list, 1, kBlue));
    QCOMPARE(list.GetItemText(2, col::kProfit), QStringLiteral("-100.00"));
    QVERIFY(RowIs(list, 2, kBlue));
}

void TestPositions::positionsPageAsksItsHostToSell() {
    GuiTestEnv env;
    env.FillPositions(Position("600000", "100", "1.00", "10.00", "10.00"));
    CLcDlg page(env.context);
    page.resize(800, 200);
    page.FillPositionList();
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QCOMPARE(page.List()->geometry(), page.rect());
    QSignalSpy spy(&page, &CLcDlg::sellRequested);
    CListCtrlCl& list = *page.List();
    const QPoint cell = list.visualRect(list.model()->index(0, 1)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(spy.count(), 1);
    QVERIFY(env.frame.soldCodes.empty()); // the page itself never talks to the main window
}

QTEST_MAIN(TestPositions)
#include "tst_Positions.moc"
