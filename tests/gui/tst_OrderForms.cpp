// The buy and sell forms against a loopback server: subscription, default prices,
// max-buyable and presets, spins, validation, the order and cancel requests byte for
// byte, the confirmations, the tab rules and the double-click flows of the positions page.

#include "TradeTestClient.h"

#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "trade/BuyView.h"
#include "trade/SellView.h"
#include "trade/SpinButtons.h"
#include "trade/TradeDlg.h"
#include "trade/WeituoDlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <memory>

using namespace trade_test;

namespace {

const std::string kCredentials = "&curuser=u1&curpwd=p1";

template <typename T>
T* Find(QWidget* view, int id) {
    T* w = view->findChild<T*>(QStringLiteral("id%1").arg(id));
    if (!w)
        qFatal("control id%d missing", id);
    return w;
}

QString Text(QWidget* view, int id) {
    if (auto* edit = view->findChild<QLineEdit*>(QStringLiteral("id%1").arg(id)))
        return edit->text();
    return Find<QLabel>(view, id)->text();
}

void Click(QWidget* view, int id) {
    Find<QAbstractButton>(view, id)->click();
}

void SpinUp(QWidget* view, int id) {
    Find<CSpinButtons>(view, id)->UpButton()->click();
}
void SpinDown(QWidget* view, int id) {
    Find<CSpinButtons>(view, id)->DownButton()->click();
}

QColor TextColour(QWidget* view, int id) {
    return Find<QLabel>(view, id)->palette().color(QPalette::WindowText);
}

void DoubleClickRow(CListCtrlCl* list, int row) {
    // A real double-click starts with a press on the row.
    const QPoint at = list->visualItemRect(list->item(row, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

template <typename View>
std::unique_ptr<View> MakeView(TradeTestClient& client) {
    auto view = std::make_unique<View>(client.context);
    view->resize(1000, 720);
    view->OnInitialUpdate();
    return view;
}

} // namespace

class TestOrderForms final : public QObject {
    Q_OBJECT
private slots:
    void subscriptionOnSixthDigit();
    void defaultPrices();
    void maxBuyableAndPresets_data();
    void maxBuyableAndPresets();
    void maxBuyableByBoard_data();
    void maxBuyableByBoard();
    void sellPresetsUseAvailable();
    void amountsFollowPriceFundsAndPositions();
    void spinEdges();
    void buyValidationAndLotCheck();
    void buyOrderBody();
    void starBuyLots();
    void enterMovesOnAndSubmits();
    void buyFailsWithoutConnection();
    void sellConfirmation();
    void oneClickSendsOnce();
    void cancelButtons();
    void cancelSelectedNeedsOrdersTab();
    void quotePanelTextsAndColours();
    void staleQuotesAreGrey();
    void limitsByBoard();
    void positionDoubleClickBuy();
    void positionDoubleClickSell();
    void positionCountCheckRefills();
    void clipboardKeysReachTheEdit();
    void tabsRefreshAndNotifications();
    void mnemonicsClickTheirButtons();
    void keysOfTheForm();
    void quotePriceClickFillsTheForm();
};

void TestOrderForms::subscriptionOnSixthDigit() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetPositions({Position("000001", "平安银行", "500"), Position("600000", "浦发银行", "1000")});
    auto view = MakeView<CBuyView>(client);
    auto* code = Find<QLineEdit>(view.get(), 1002);

    QTest::keyClicks(code, QStringLiteral("60000"));
    QCOMPARE(client.CountBeforeMarker(net::kCmdQuoteSubscribe), 0);

    Find<QLineEdit>(view.get(), 1007)->setText(QStringLiteral("9.99"));
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("300"));
    QTest::keyClick(code, Qt::Key_0);
    QCOMPARE(client.NextBody(net::kCmdQuoteSubscribe), "code=600000,000001" + kCredentials);
    QCOMPARE(client.state.quoteCodes.Get(), std::string("600000,000001"));
    QVERIFY(Text(view.get(), 1007).isEmpty());
    QVERIFY(Text(view.get(), 1011).isEmpty());

    // Digits only, at most six.
    QTest::keyClicks(code, QStringLiteral("7a"));
    QCOMPARE(code->text(), QStringLiteral("600000"));

    // The same code again gives the same list: nothing is sent.
    code->clear();
    QTest::keyClicks(code, QStringLiteral("600000"));
    QCOMPARE(client.CountBeforeMarker(net::kCmdQuoteSubscribe), 1);
}

void TestOrderForms::defaultPrices() {
    TradeTestClient client;
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    client.state.quotes.Store(Quote("600001", "邯郸钢铁", 0.0f, 5.20f, 5.00f));
    client.state.quotes.Store(Quote("600002", "齐鲁石化", 7.10f, 0.0f, 7.00f));

    auto buy = MakeView<CBuyView>(client);
    auto sell = MakeView<CSellView>(client);
    const struct {
        const char* code;
        const char* buyPrice;
        const char* sellPrice;
    } cases[] = {{"600000", "10.50", "10.49"}, {"600001", "5.20", "5.20"}, {"600002", "7.10", "7.10"}};
    for (const auto& c : cases) {
        Find<QLineEdit>(buy.get(), 1002)->setText(QString::fromLatin1(c.code));
        Find<QLineEdit>(sell.get(), 1002)->setText(QString::fromLatin1(c.code));
        buy->RefreshQuotePanel();
        sell->RefreshQuotePanel();
        QCOMPARE(Text(buy.get(), 1007), QString::fromLatin1(c.buyPrice));
        QCOMPARE(Text(sell.get(), 1007), QString::fromLatin1(c.sellPrice));
    }

    // A typed price is never replaced by a tick.
    Find<QLineEdit>(buy.get(), 1007)->setText(QStringLiteral("7.00"));
    buy->RefreshQuotePanel();
    QCOMPARE(Text(buy.get(), 1007), QStringLiteral("7.00"));

    // The timer fills the price of a fresh code on its own.
    Find<QLineEdit>(buy.get(), 1002)->setText(QStringLiteral("600000"));
    QTRY_COMPARE(Text(buy.get(), 1007), QStringLiteral("10.50"));
    QCOMPARE(Text(buy.get(), 1005), QStringLiteral("浦发银行"));
}

void TestOrderForms::maxBuyableAndPresets_data() {
    QTest::addColumn<QString>("available");
    QTest::addColumn<QString>("value8");
    QTest::addColumn<float>("ask");
    QTest::addColumn<float>("bid");
    QTest::addColumn<QString>("maxBuyable");
    QTest::addColumn<QStringList>("presets");
    // Whole lots whose cost with the default charges fits: amount + commission (0.03 %, at
    // least 5.00) + transfer fee (0.001 %), each to the cent.
    // 100 lots at 10.00 would cost 100,031.00; 99 lots cost 99,030.69.
    QTest::newRow("example") << QStringLiteral("100000.00") << QStringLiteral("100") << 10.0f << 9.99f
                             << QStringLiteral("9900")
                             << QStringList{QStringLiteral("9900"), QStringLiteral("4900"), QStringLiteral("3300")};
    // 12 lots: 12,000 + 5.00 minimum commission + 0.12 = 12,005.12.
    QTest::newRow("1200") << QStringLiteral("12100.00") << QStringLiteral("100") << 10.0f << 9.99f
                          << QStringLiteral("1200")
                          << QStringList{QStringLiteral("1200"), QStringLiteral("600"), QStringLiteral("400")};
    // 1 lot: 1,000 + 5.00 + 0.01 = 1,005.01.
    QTest::newRow("100") << QStringLiteral("1010.00") << QStringLiteral("100") << 10.0f << 9.99f
                         << QStringLiteral("100")
                         << QStringList{QStringLiteral("100"), QStringLiteral("0"), QStringLiteral("0")};
    // Rounding to the nearest lot made 11 lots (11,000 > 10,960) of this; 10 lots cost 10,005.10.
    QTest::newRow("was rounded up") << QStringLiteral("10960.00") << QStringLiteral("100") << 10.0f << 9.99f
                                    << QStringLiteral("1000")
                                    << QStringList{QStringLiteral("1000"), QStringLiteral("500"),
                                                   QStringLiteral("300")};
    // The cash pays for 10 lots but not for their charges: 9 lots cost 9,005.09.
    QTest::newRow("fees") << QStringLiteral("10000.00") << QStringLiteral("100") << 10.0f << 9.99f
                          << QStringLiteral("900")
                          << QStringList{QStringLiteral("900"), QStringLiteral("400"), QStringLiteral("300")};
    // 1,390 lots at 7.19 = 999,410.00 + 299.82 + 9.99 = 999,719.81; 1,391 lots exceed the cash.
    QTest::newRow("7.19") << QStringLiteral("1000000.00") << QStringLiteral("100") << 7.19f << 7.18f
                          << QStringLiteral("139000")
                          << QStringList{QStringLiteral("139000"), QStringLiteral("69500"), QStringLiteral("46300")};
    // The multiplier 50 halves the funds: 49 lots at 10.00 cost 49,015.19.
    QTest::newRow("value8 50") << QStringLiteral("100000.00") << QStringLiteral("50") << 10.0f << 9.99f
                               << QStringLiteral("4900")
                               << QStringList{QStringLiteral("4900"), QStringLiteral("2400"), QStringLiteral("1600")};
    // Exactly enough for one lot with its charges, and a cent short of it.
    QTest::newRow("exact") << QStringLiteral("1005.01") << QStringLiteral("100") << 10.0f << 9.99f
                           << QStringLiteral("100")
                           << QStringList{QStringLiteral("100"), QStringLiteral("0"), QStringLiteral("0")};
    QTest::newRow("a cent short") << QStringLiteral("1005.00") << QStringLiteral("100") << 10.0f << 9.99f
                                  << QStringLiteral("0")
                                  << QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
    QTest::newRow("no prices") << QStringLiteral("100000.00") << QStringLiteral("100") << 0.0f << 0.0f
                               << QStringLiteral("0")
                               << QStringList{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
}

void TestOrderForms::maxBuyableAndPresets() {
    QFETCH(QString, available);
    QFETCH(QString, value8);
    QFETCH(float, ask);
    QFETCH(float, bid);
    QFETCH(QString, maxBuyable);
    QFETCH(QStringList, presets);
    TradeTestClient client;
    client.SetFunds(available.toLatin1().constData(), "0.00", value8.toLatin1().constData());
    client.state.quotes.Store(Quote("600000", "浦发银行", ask, bid, 10.00f));
    auto view = MakeView<CBuyView>(client);
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    view->RefreshQuotePanel();
    QCOMPARE(Text(view.get(), 1009), maxBuyable);
    const int ids[] = {1103, 1104, 1105};
    for (int i = 0; i < 3; ++i) {
        Click(view.get(), ids[i]);
        QCOMPARE(Text(view.get(), 1011), presets[i]);
    }
}

void TestOrderForms::maxBuyableByBoard_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("available");
    QTest::addColumn<QString>("maxBuyable");
    // STAR buys in single shares above 200: 309 at 10.00 cost 3,090 + 5.00 + 0.03 = 3,095.03,
    // 310 would cost 3,105.03.
    QTest::newRow("STAR 309") << QStringLiteral("688981") << QStringLiteral("3100.00") << QStringLiteral("309");
    // 199 shares (1,995.02) is all the cash pays for, and STAR buys at least 200 shares.
    QTest::newRow("STAR below 200") << QStringLiteral("688981") << QStringLiteral("2000.00") << QStringLiteral("0");
    // 100,000,000.00 pays for about 9,997,000 shares at 10.00; one order holds at most
    // 100,000 on STAR, 300,000 on ChiNext and 1,000,000 on the main boards.
    QTest::newRow("STAR largest") << QStringLiteral("688981") << QStringLiteral("100000000.00")
                                  << QStringLiteral("100000");
    QTest::newRow("ChiNext largest") << QStringLiteral("300059") << QStringLiteral("100000000.00")
                                     << QStringLiteral("300000");
    QTest::newRow("main largest") << QStringLiteral("600000") << QStringLiteral("100000000.00")
                                  << QStringLiteral("1000000");
}

void TestOrderForms::maxBuyableByBoard() {
    QFETCH(QString, code);
    QFETCH(QString, available);
    QFETCH(QString, maxBuyable);
    TradeTestClient client;
    client.SetFunds(available.toLatin1().constData(), "0.00", "100");
    client.state.quotes.Store(Quote(code.toLatin1().constData(), "某股票", 10.0f, 9.99f, 10.00f));
    auto view = MakeView<CBuyView>(client);
    Find<QLineEdit>(view.get(), 1002)->setText(code);
    view->RefreshQuotePanel();
    QCOMPARE(Text(view.get(), 1009), maxBuyable);
    // 全部 asks for all of them.
    Click(view.get(), 1103);
    QCOMPARE(Text(view.get(), 1011), maxBuyable);
}

void TestOrderForms::sellPresetsUseAvailable() {
    TradeTestClient client;
    client.SetPositions({Position("600000", "浦发银行", "1050")});
    // As when the main window opens the form for a position: the code right after creation.
    auto view = MakeView<CSellView>(client);
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    QCOMPARE(Text(view.get(), 1009), QStringLiteral("1050"));
    const char* expected[] = {"1050", "500", "300"};
    const int ids[] = {1103, 1104, 1105};
    for (int i = 0; i < 3; ++i) {
        Click(view.get(), ids[i]);
        QCOMPARE(Text(view.get(), 1011), QString::fromLatin1(expected[i]));
    }
    // A code without a position leaves the available quantity empty; the presets give 0 or nothing.
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("000002"));
    QVERIFY(Text(view.get(), 1009).isEmpty());
    Click(view.get(), 1104);
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("0"));
}

void TestOrderForms::amountsFollowPriceFundsAndPositions() {
    TradeTestClient client;
    client.SetFunds("100000.00", "0.00", "100");
    client.SetPositions({Position("600000", "浦发银行", "1000")});
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.0f, 9.99f, 10.00f));
    auto buy = MakeView<CBuyView>(client);
    auto sell = MakeView<CSellView>(client);
    Find<QLineEdit>(buy.get(), 1002)->setText(QStringLiteral("600000"));
    buy->RefreshQuotePanel();
    QCOMPARE(Text(buy.get(), 1009), QStringLiteral("9900"));

    // A typed price: 199 lots at 5.00 cost 99,500 + 29.85 + 1.00.
    Find<QLineEdit>(buy.get(), 1007)->setText(QStringLiteral("5.00"));
    QCOMPARE(Text(buy.get(), 1009), QStringLiteral("19900"));
    // New funds (an order now holds half of them): 99 lots at 5.00 cost 49,515.35.
    client.SetFunds("50000.00", "50000.00", "100");
    buy->OnFundsStored();
    QCOMPARE(Text(buy.get(), 1009), QStringLiteral("9900"));
    // An emptied price empties the max-buyable; the next tick fills both again.
    Find<QLineEdit>(buy.get(), 1007)->clear();
    QVERIFY(Text(buy.get(), 1009).isEmpty());
    buy->RefreshQuotePanel();
    QCOMPARE(Text(buy.get(), 1007), QStringLiteral("10.00"));
    QCOMPARE(Text(buy.get(), 1009), QStringLiteral("4900"));

    // 可卖 follows the positions: a sell of 500 leaves 500 available.
    Find<QLineEdit>(sell.get(), 1002)->setText(QStringLiteral("600000"));
    QCOMPARE(Text(sell.get(), 1009), QStringLiteral("1000"));
    client.SetPositions({Position("600000", "浦发银行", "500")});
    sell->OnPositionsStored();
    QCOMPARE(Text(sell.get(), 1009), QStringLiteral("500"));
    // All sold: no position, nothing available.
    client.SetPositions({});
    sell->OnPositionsStored();
    QVERIFY(Text(sell.get(), 1009).isEmpty());
}

void TestOrderForms::spinEdges() {
    TradeTestClient client;
    auto view = MakeView<CBuyView>(client);
    auto* price = Find<QLineEdit>(view.get(), 1007);
    auto* quantity = Find<QLineEdit>(view.get(), 1011);

    SpinUp(view.get(), 1169); // empty → 0.01
    QCOMPARE(price->text(), QStringLiteral("0.01"));
    SpinDown(view.get(), 1169); // stays at 0.01
    QCOMPARE(price->text(), QStringLiteral("0.01"));
    price->setText(QStringLiteral("10"));
    SpinUp(view.get(), 1169);
    QCOMPARE(price->text(), QStringLiteral("10.01"));
    SpinDown(view.get(), 1169);
    SpinDown(view.get(), 1169);
    QCOMPARE(price->text(), QStringLiteral("9.99"));
    price->setText(QStringLiteral("0.02"));
    SpinDown(view.get(), 1169);
    SpinDown(view.get(), 1169);
    QCOMPARE(price->text(), QStringLiteral("0.01"));

    quantity->setText(QStringLiteral("150"));
    SpinDown(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("50"));
    SpinDown(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("50"));
    SpinUp(view.get(), 1170);
    SpinUp(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("250"));
    quantity->clear();
    SpinUp(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("100"));

    // Long numbers are not typed, and the arrows saturate instead of wrapping around.
    quantity->clear();
    QTest::keyClicks(quantity, QStringLiteral("99999999999999999999"));
    QCOMPARE(quantity->text(), QStringLiteral("999999999"));
    SpinUp(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("999999999"));
    quantity->setText(QStringLiteral("999999950"));
    SpinUp(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("999999999"));
    SpinDown(view.get(), 1170);
    QCOMPARE(quantity->text(), QStringLiteral("999999899"));
    price->clear();
    QTest::keyClicks(price, QStringLiteral("12345678"));
    QCOMPARE(price->text(), QStringLiteral("123456"));
    QTest::keyClicks(price, QStringLiteral(".999"));
    QCOMPARE(price->text(), QStringLiteral("123456.99"));
    price->setText(QStringLiteral("999999.99"));
    SpinUp(view.get(), 1169);
    QCOMPARE(price->text(), QStringLiteral("999999.99"));
}

void TestOrderForms::buyValidationAndLotCheck() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    auto view = MakeView<CBuyView>(client);
    ModalRecorder modal;

    Click(view.get(), 1013);
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    Click(view.get(), 1013); // price and quantity empty: the price is reported first
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("0"));
    Click(view.get(), 1013);
    QCOMPARE(int(modal.requests.size()), 3);
    QCOMPARE(modal.requests[0].text, QStringLiteral("请输入代码"));
    QCOMPARE(modal.requests[1].text, QStringLiteral("请输入委托价格"));
    QCOMPARE(modal.requests[2].text, QStringLiteral("请输入委托数量"));
    QCOMPARE(Text(view.get(), 1002), QStringLiteral("600000")); // validation keeps the form

    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("150"));
    Click(view.get(), 1013);
    QCOMPARE(int(modal.requests.size()), 4);
    QCOMPARE(modal.requests[3].kind, ModalRequest::Kind::kFailure);
    QCOMPARE(modal.requests[3].text, QStringLiteral("提交失败:[120158][校验买入委托单位、卖出委托单位失败]\r\n"
                                                    "买入数量须为100股的整数倍，输入的是150股"));
    // What was typed stays for correcting.
    QCOMPARE(Text(view.get(), 1002), QStringLiteral("600000"));
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("150"));
    QCOMPARE(client.CountBeforeMarker(net::kCmdOrder), 0);
}

void TestOrderForms::starBuyLots() {
    // STAR buys at least 200 shares, then in single shares: 150 is refused here, 201 goes out.
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.state.quotes.Store(Quote("688981", "中芯国际", 50.50f, 50.49f, 50.00f));
    auto view = MakeView<CBuyView>(client);
    ModalRecorder modal;
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("688981"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1007)->setText(QStringLiteral("50.5"));
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("150"));
    Click(view.get(), 1013);
    QCOMPARE(int(modal.requests.size()), 1);
    QCOMPARE(modal.requests[0].kind, ModalRequest::Kind::kFailure);
    QCOMPARE(modal.requests[0].text, QStringLiteral("提交失败:科创板股票买入数量不能少于200股[p_entrust_amount=150]"));

    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("688981"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1007)->setText(QStringLiteral("50.5"));
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("201"));
    Click(view.get(), 1013);
    QCOMPARE(client.NextBody(net::kCmdOrder),
             "code=688981&price=50.5&num=201&name=" + Gbk("中芯国际") + "&type=1" + kCredentials);
    QCOMPARE(int(modal.requests.size()), 1);
}

// Enter moves from code to price to quantity and there presses 买入 (with what a click does);
// a quantity typed by hand unchecks the preset that filled it.
void TestOrderForms::enterMovesOnAndSubmits() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetFunds("100000.00", "0.00", "100");
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.00f, 9.99f, 10.00f));
    auto view = MakeView<CBuyView>(client);
    view->show();
    view->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(view.get()));
    ModalRecorder modal;
    auto* code = Find<QLineEdit>(view.get(), 1002);
    auto* price = Find<QLineEdit>(view.get(), 1007);
    auto* quantity = Find<QLineEdit>(view.get(), 1011);
    code->setFocus();
    QTest::keyClicks(code, QStringLiteral("600000"));
    view->RefreshQuotePanel();
    QTest::keyClick(code, Qt::Key_Return);
    QTRY_VERIFY(price->hasFocus());
    QTest::keyClick(price, Qt::Key_Enter); // the keypad's Enter too
    QTRY_VERIFY(quantity->hasFocus());

    auto* half = Find<QRadioButton>(view.get(), 1104);
    half->click();
    QVERIFY(half->isChecked());
    QVERIFY(!quantity->text().isEmpty());
    quantity->selectAll();
    QTest::keyClicks(quantity, QStringLiteral("300"));
    QVERIFY(!half->isChecked());
    for (int id : {1103, 1105})
        QVERIFY(!Find<QRadioButton>(view.get(), id)->isChecked());

    QTest::keyClick(quantity, Qt::Key_Return);
    QCOMPARE(client.NextBody(net::kCmdOrder),
             "code=600000&price=10.00&num=300&name=" + Gbk("浦发银行") + "&type=1" + kCredentials);
    QCOMPARE(int(modal.requests.size()), 0);
}

void TestOrderForms::buyOrderBody() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    auto view = MakeView<CBuyView>(client);
    ModalRecorder modal;
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1007)->setText(QStringLiteral("10.5"));
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("200"));
    Click(view.get(), 1013);
    QCOMPARE(client.NextBody(net::kCmdOrder),
             "code=600000&price=10.5&num=200&name=" + Gbk("浦发银行") + "&type=1" + kCredentials);
    QVERIFY(modal.requests.empty());                         // no question before a buy
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("200")); // the form keeps its contents
}

void TestOrderForms::buyFailsWithoutConnection() {
    TradeTestClient client; // never connected
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    auto view = MakeView<CBuyView>(client);
    ModalRecorder modal;
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("100"));
    Click(view.get(), 1013);
    QCOMPARE(int(modal.requests.size()), 1);
    QCOMPARE(modal.requests[0].text, ConnectionFailureText());
    Click(view.get(), 1039); // cancels report the failed send too
    QCOMPARE(int(modal.requests.size()), 3);
    QCOMPARE(modal.requests[2].text, ConnectionFailureText());
}

void TestOrderForms::sellConfirmation() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    client.state.quotes.Store(Quote("000001", "平安银行", 18.50f, 18.49f, 18.00f));
    auto view = MakeView<CSellView>(client);
    ModalRecorder modal;

    // A complete code without a quote shown yet cannot be sold.
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600001"));
    Find<QLineEdit>(view.get(), 1007)->setText(QStringLiteral("10.00"));
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("100"));
    Click(view.get(), 1013);
    QCOMPARE(modal.requests.back().text, QStringLiteral("请输入代码"));

    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("150")); // no lot rule for sales
    modal.QueueYes({false});
    Click(view.get(), 1013);
    QCOMPARE(modal.requests.back().kind, ModalRequest::Kind::kMessageBoxYesNo);
    // The written question first, then what is sold: 10.49 × 150 = 1573.50.
    QCOMPARE(modal.requests.back().text,
             QStringLiteral("确认要卖出600000 150股?\n证券代码：600000\n证券名称：浦发银行\n"
                            "卖出价格：10.49\n卖出数量：150\n卖出金额：1573.50"));
    QCOMPARE(modal.requests.back().caption, QStringLiteral("股票卖出"));
    QCOMPARE(client.CountBeforeMarker(net::kCmdOrder), 0);
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("150"));

    modal.QueueYes({true});
    Click(view.get(), 1013);
    QCOMPARE(client.NextBody(net::kCmdOrder),
             "code=600000&price=10.49&num=150&name=" + Gbk("浦发银行") + "&type=2" + kCredentials);
}

void TestOrderForms::oneClickSendsOnce() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    auto view = MakeView<CSellView>(client);
    ModalRecorder modal;
    Find<QLineEdit>(view.get(), 1002)->setText(QStringLiteral("600000"));
    view->RefreshQuotePanel();
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("100"));
    // A second press while the question is open must not produce a second order, nor a
    // cancel request.
    modal.onShow = [&](const ModalRequest&) {
        modal.onShow = nullptr;
        Click(view.get(), 1013);
        Click(view.get(), 1039);
    };
    Click(view.get(), 1013);
    QCOMPARE(int(modal.requests.size()), 1);
    QCOMPARE(client.CountBeforeMarker(net::kCmdOrder), 1);
    QCOMPARE(client.server.CountOf(net::kCmdCancelAll), 0);
}

void TestOrderForms::cancelButtons() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    ModalRecorder modal;
    const struct {
        int id;
        int command;
        const char* prompt;
    } buttons[] = {{1039, net::kCmdCancelAll, "是否确认撤销所有委托单?"},
                   {1040, net::kCmdCancelAllBuys, "是否确认撤销所有买单委托?"},
                   {1041, net::kCmdCancelAllSells, "是否确认撤销所有卖单委托?"}};
    {
        auto buy = MakeView<CBuyView>(client);
        for (const auto& b : buttons) {
            Click(buy.get(), b.id);
            QCOMPARE(client.NextBody(b.command), std::string("curuser=u1&curpwd=p1"));
            QCOMPARE(modal.requests.back().kind, ModalRequest::Kind::kMessageBoxYesNo);
            QCOMPARE(modal.requests.back().text, QString::fromUtf8(b.prompt));
            QCOMPARE(modal.requests.back().caption, QStringLiteral("提醒"));
        }
    }
    auto sell = MakeView<CSellView>(client);
    for (const auto& b : buttons) {
        Click(sell.get(), b.id);
        QCOMPARE(client.NextBody(b.command), std::string("curuser=u1&curpwd=p1"));
        QCOMPARE(modal.requests.back().kind, ModalRequest::Kind::kYesNoTip);
        QCOMPARE(modal.requests.back().text, QString::fromUtf8(b.prompt));
    }
    modal.QueueYes({false, false, false});
    for (const auto& b : buttons)
        Click(sell.get(), b.id);
    QCOMPARE(client.CountBeforeMarker(net::kCmdCancelAll), 2);
    QCOMPARE(client.server.CountOf(net::kCmdCancelAllBuys), 2);
    QCOMPARE(client.server.CountOf(net::kCmdCancelAllSells), 2);
}

void TestOrderForms::cancelSelectedNeedsOrdersTab() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetOrders({Order("600000", "500", "200", "1", "2021-02-23 09:31:05", "部成")});
    ModalRecorder modal;
    for (bool sell : {false, true}) {
        std::unique_ptr<COrderFormView> view;
        if (sell)
            view = MakeView<CSellView>(client);
        else
            view = MakeView<CBuyView>(client);
        view->OrdersPanel()->FillOrderList();
        view->OrdersPanel()->List()->selectRow(0);
        QCOMPARE(view->Tabs()->currentIndex(), int(COrderFormView::kPositionsTab));
        const auto before = modal.requests.size();
        Click(view.get(), 1042);
        QCOMPARE(modal.requests.size(), before);
        QCOMPARE(client.CountBeforeMarker(net::kCmdCancelOne), sell ? 1 : 0);

        view->Tabs()->setCurrentIndex(COrderFormView::kOrdersTab); // refills the panel
        QCOMPARE(client.NextBody(net::kCmdTodayOrders).has_value(), true);
        view->OrdersPanel()->List()->selectRow(0);
        Click(view.get(), 1042);
        QCOMPARE(client.NextBody(net::kCmdCancelOne), "code=600000&num=500&time=2021-02-23 09:31:05" + kCredentials);
        QCOMPARE(modal.requests.back().kind,
                 sell ? ModalRequest::Kind::kYesNoTip : ModalRequest::Kind::kMessageBoxYesNo);
        QCOMPARE(modal.requests.back().text,
                 (sell ? QStringLiteral("是否确认撤销委托?") : QStringLiteral("是否确认撤销选中的委托单?")) +
                     QStringLiteral("\n证券代码：600000  证券名称：浦发银行\n操作：买入  委托价格：10.50  委托数量：500"
                                    "\n已成交：200股  未成交：300股")); // 500 ordered, 200 filled
        if (!sell)
            QCOMPARE(modal.requests.back().caption, QStringLiteral("提醒"));
    }
}

void TestOrderForms::quotePanelTextsAndColours() {
    TradeTestClient client;
    net::QuoteRecord q = Quote("600000", "浦发银行", 10.00f, 9.99f, 10.00f);
    q.lastPrice = 10.12f;
    client.state.quotes.Store(q);
    client.state.quotes.Store(Quote("600001", "邯郸钢铁", 5.00f, 4.99f, 0.0f));
    auto buy = MakeView<CBuyView>(client);
    auto sell = MakeView<CSellView>(client);
    QCOMPARE(TextColour(buy.get(), 1001), QColor(255, 0, 0));
    QCOMPARE(TextColour(sell.get(), 1001), QColor(0, 0, 255));
    QCOMPARE(Text(buy.get(), 1014), QStringLiteral("--"));

    auto* view = buy.get();
    Find<QLineEdit>(view, 1002)->setText(QStringLiteral("600000"));
    buy->RefreshQuotePanel();
    QCOMPARE(Text(view, 1018), QStringLiteral("10.00")); // 卖一
    QCOMPARE(Text(view, 1014), QStringLiteral("10.04")); // 卖五
    QCOMPARE(Text(view, 1023), QStringLiteral("100"));
    QCOMPARE(Text(view, 1024), QStringLiteral("9.99")); // 买一
    QCOMPARE(Text(view, 1033), QStringLiteral("1000"));
    QCOMPARE(Text(view, 1034), QStringLiteral("10.12"));
    QCOMPARE(Text(view, 1035), QStringLiteral("1.20%"));
    QCOMPARE(Text(view, 1036), QStringLiteral("11.00"));
    QCOMPARE(Text(view, 1037), QStringLiteral("9.00"));
    QCOMPARE(TextColour(view, 1024), QColor(0, 230, 0));   // below the previous close
    QCOMPARE(TextColour(view, 1018), QColor(255, 0, 0));   // at the previous close
    QCOMPARE(TextColour(view, 1019), QColor(192, 192, 0)); // volumes
    QCOMPARE(TextColour(view, 1036), QColor(255, 0, 0));
    QCOMPARE(TextColour(view, 1037), QColor(0, 230, 0));

    // Without a previous close there is no change and no limit; prices stay red.
    Find<QLineEdit>(view, 1002)->setText(QStringLiteral("600001"));
    buy->RefreshQuotePanel();
    QCOMPARE(Text(view, 1035), QStringLiteral("--"));
    QCOMPARE(Text(view, 1036), QStringLiteral("--"));
    QCOMPARE(Text(view, 1037), QStringLiteral("--"));
    QCOMPARE(TextColour(view, 1024), QColor(255, 0, 0));

    // A code without a quote clears the panel: nothing of the previous security stays.
    Find<QLineEdit>(view, 1002)->setText(QStringLiteral("600009"));
    buy->RefreshQuotePanel();
    QCOMPARE(Text(view, 1024), QStringLiteral("-"));
    QCOMPARE(Text(view, 1034), QStringLiteral("-"));
    QVERIFY(Text(view, 1007).isEmpty());
}

void TestOrderForms::staleQuotesAreGrey() {
    net::LinkTimings timings;
    timings.quoteStaleAfter = 300ms;
    TradeTestClient client(timings);
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.00f, 9.99f, 10.00f));
    auto buy = MakeView<CBuyView>(client);
    Find<QLineEdit>(buy.get(), 1002)->setText(QStringLiteral("600000"));
    buy->RefreshQuotePanel();
    QCOMPARE(TextColour(buy.get(), 1024), QColor(0, 230, 0));
    QCOMPARE(TextColour(buy.get(), 1018), QColor(255, 0, 0));

    // Not refreshed for longer than the limit: the whole panel turns grey, text unchanged.
    const QColor grey(128, 128, 128);
    QTRY_COMPARE_WITH_TIMEOUT((buy->RefreshQuotePanel(), TextColour(buy.get(), 1024)), grey, 5000);
    for (int id : {1014, 1018, 1019, 1034, 1035, 1036, 1037})
        QCOMPARE(TextColour(buy.get(), id), grey);
    QCOMPARE(Text(buy.get(), 1024), QStringLiteral("9.99"));

    // A fresh quote brings the rise/fall colours back, including a change of side.
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.10f, 10.05f, 10.00f));
    buy->RefreshQuotePanel();
    QCOMPARE(TextColour(buy.get(), 1024), QColor(255, 0, 0));
    QCOMPARE(TextColour(buy.get(), 1019), QColor(192, 192, 0));
}

void TestOrderForms::limitsByBoard() {
    // Main boards move 10 %, ChiNext and STAR 20 %; a limit half-way between two ticks is
    // rounded up, as the exchange (and the server) do.
    const struct {
        const char* code;
        float prevClose;
        const char* up;
        const char* down;
    } cases[] = {
        {"600000", 7.12f, "7.83", "6.41"},     {"000001", 10.58f, "11.64", "9.52"},
        {"300059", 15.24f, "18.29", "12.19"},  {"301269", 15.24f, "18.29", "12.19"},
        {"688981", 84.36f, "101.23", "67.49"}, {"689009", 1.15f, "1.38", "0.92"},
        {"600016", 1.15f, "1.27", "1.04"},
    };
    TradeTestClient client;
    for (const auto& c : cases)
        client.state.quotes.Store(Quote(c.code, "测试", c.prevClose, c.prevClose, c.prevClose));
    auto buy = MakeView<CBuyView>(client);
    auto sell = MakeView<CSellView>(client);
    for (COrderFormView* view : {static_cast<COrderFormView*>(buy.get()), static_cast<COrderFormView*>(sell.get())}) {
        for (const auto& c : cases) {
            Find<QLineEdit>(view, 1002)->setText(QString::fromLatin1(c.code));
            view->RefreshQuotePanel();
            QCOMPARE(Text(view, 1036), QString::fromLatin1(c.up));
            QCOMPARE(Text(view, 1037), QString::fromLatin1(c.down));
        }
    }
}

void TestOrderForms::positionDoubleClickBuy() {
    TradeTestClient client;
    client.SetPositions({Position("000600", "建投能源", "300"), Position("600000", "浦发银行", "1000")});
    auto view = MakeView<CBuyView>(client);
    view->show();
    CListCtrlCl* list = view->PositionsPanel()->List();
    view->PositionsPanel()->FillPositionList();
    QCOMPARE(list->GetItemCount(), 2);
    emit view->PositionsPanel()->sellRequested(); // nothing selected: nothing happens
    DoubleClickRow(list, 0);
    QTRY_COMPARE(int(client.frame.soldCodes.size()), 1);
    QCOMPARE(client.frame.soldCodes[0], 600);
}

void TestOrderForms::positionDoubleClickSell() {
    TradeTestClient client;
    client.SetPositions({Position("000001", "平安银行", "500"), Position("600000", "浦发银行", "1050")});
    auto view = MakeView<CSellView>(client);
    view->show();
    CListCtrlCl* list = view->PositionsPanel()->List();
    view->PositionsPanel()->FillPositionList();
    DoubleClickRow(list, 1);
    QTRY_COMPARE(Text(view.get(), 1002), QStringLiteral("600000"));
    QCOMPARE(Text(view.get(), 1009), QStringLiteral("1050"));
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("1050"));

    // The same row again refills the quantity that the user changed.
    Find<QLineEdit>(view.get(), 1011)->setText(QStringLiteral("100"));
    emit view->PositionsPanel()->sellRequested();
    QCOMPARE(Text(view.get(), 1011), QStringLiteral("1050"));
}

void TestOrderForms::positionCountCheckRefills() {
    TradeTestClient client;
    auto view = MakeView<CBuyView>(client);
    CListCtrlCl* list = view->PositionsPanel()->List();
    QCOMPARE(list->GetItemCount(), 0);
    client.SetPositions({Position("000001", "平安银行", "500"), Position("600000", "浦发银行", "1000")});
    QTRY_COMPARE(list->GetItemCount(), 2); // the 800 ms check
    client.SetPositions({Position("000001", "平安银行", "500")});
    view->CheckPositionCount();
    QCOMPARE(list->GetItemCount(), 1);
}

void TestOrderForms::clipboardKeysReachTheEdit() {
    TradeTestClient client;
    auto view = MakeView<CBuyView>(client);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    // Window-wide Ctrl+C/V/X, like the main window's edit accelerators.
    int shortcutHits = 0;
    for (Qt::Key key : {Qt::Key_C, Qt::Key_V, Qt::Key_X}) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), view.get());
        connect(shortcut, &QShortcut::activated, this, [&shortcutHits] { ++shortcutHits; });
    }
    auto* code = Find<QLineEdit>(view.get(), 1002);
    auto* price = Find<QLineEdit>(view.get(), 1007);
    price->setText(QStringLiteral("12.34"));
    price->setFocus();
    price->selectAll();
    QTest::keyClick(price, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(price->text().isEmpty());
    QTest::keyClick(price, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(price->text(), QStringLiteral("12.34"));
    price->selectAll();
    QTest::keyClick(price, Qt::Key_C, Qt::ControlModifier);
    code->setFocus();
    QTest::keyClick(code, Qt::Key_V, Qt::ControlModifier); // digits only: the paste is refused
    QVERIFY(code->text().isEmpty());
    QCOMPARE(shortcutHits, 0);
}

void TestOrderForms::tabsRefreshAndNotifications() {
    TradeTestClient client;
    QVERIFY(client.Connect());
    client.SetTrades({Trade("600000", "卖出")});
    client.SetOrders({Order("600000", "500", "0", "1", "09:30:01", "未成")});
    auto buy = MakeView<CBuyView>(client);
    buy->Tabs()->setCurrentIndex(COrderFormView::kTradesTab);
    QVERIFY(client.NextBody(net::kCmdTodayTrades).has_value());
    QCOMPARE(buy->TradesPanel()->List()->GetItemCount(), 1);
    buy->Tabs()->setCurrentIndex(COrderFormView::kOrdersTab);
    QVERIFY(client.NextBody(net::kCmdTodayOrders).has_value());
    QCOMPARE(buy->OrdersPanel()->List()->GetItemCount(), 1);

    // A stored history table refills the active page from the tables, without a query.
    client.SetOrders(
        {Order("600000", "500", "0", "1", "09:30:01", "未成"), Order("000001", "100", "0", "2", "09:31:01", "未成")});
    buy->OnHistoryTableStored();
    QCOMPARE(buy->OrdersPanel()->List()->GetItemCount(), 2);
    QCOMPARE(client.CountBeforeMarker(net::kCmdTodayOrders), 1);
    // The routed notifications refill their panel whatever page is shown.
    client.SetTrades({});
    buy->OnTodayTradesStored();
    QCOMPARE(buy->TradesPanel()->List()->GetItemCount(), 0);

    // 刷 新 asks in each form's own order, then refills the page shown.
    const auto commandsOf = [&client](std::size_t from) {
        std::vector<int> commands;
        const auto log = client.server.Received();
        for (std::size_t i = from; i < log.size(); ++i) {
            if (log[i].command != 99 && log[i].command != net::kCmdHeartbeat)
                commands.push_back(log[i].command);
        }
        return commands;
    };
    std::size_t before = client.server.Received().size();
    Click(buy.get(), 1038);
    QCOMPARE(client.CountBeforeMarker(net::kCmdPositions), 1);
    QCOMPARE(commandsOf(before),
             (std::vector<int>{net::kCmdPositions, net::kCmdFunds, net::kCmdTodayTrades, net::kCmdTodayOrders}));
    auto sell = MakeView<CSellView>(client);
    before = client.server.Received().size();
    Click(sell.get(), 1038);
    QCOMPARE(client.CountBeforeMarker(net::kCmdPositions), 2);
    QCOMPARE(commandsOf(before),
             (std::vector<int>{net::kCmdTodayTrades, net::kCmdTodayOrders, net::kCmdPositions, net::kCmdFunds}));
}

void TestOrderForms::mnemonicsClickTheirButtons() {
    TradeTestClient client;
    auto buy = MakeView<CBuyView>(client);
    auto sell = MakeView<CSellView>(client);
    const auto keyOf = [](QWidget* view, int id) { return Find<QAbstractButton>(view, id)->shortcut(); };
    for (QWidget* view : {static_cast<QWidget*>(buy.get()), static_cast<QWidget*>(sell.get())}) {
        QCOMPARE(keyOf(view, 1040), QKeySequence(Qt::ALT | Qt::Key_X));
        QCOMPARE(keyOf(view, 1041), QKeySequence(Qt::ALT | Qt::Key_C));
        QCOMPARE(keyOf(view, 1042), QKeySequence(Qt::ALT | Qt::Key_Q));
        QCOMPARE(keyOf(view, 1039), QKeySequence(Qt::ALT | Qt::Key_Z)); // "全撤(Z /)"
    }
    QCOMPARE(keyOf(buy.get(), 1013), QKeySequence(Qt::ALT | Qt::Key_B)); // "买入[B]"
    QCOMPARE(keyOf(sell.get(), 1013), QKeySequence(Qt::ALT | Qt::Key_S));

    // With a button focused, the bare letter acts like Alt+letter; in an edit it is typed.
    buy->show();
    sell->show();
    ModalRecorder modal;
    modal.QueueYes({false, false, false});
    auto* refresh = Find<QAbstractButton>(buy.get(), 1038);
    QTest::keyClick(refresh, Qt::Key_X);
    QTest::keyClick(refresh, Qt::Key_B);
    QTest::keyClick(Find<QAbstractButton>(sell.get(), 1039), Qt::Key_S);
    QCOMPARE(int(modal.requests.size()), 3);
    QCOMPARE(modal.requests[0].text, QStringLiteral("是否确认撤销所有买单委托?"));
    QCOMPARE(modal.requests[1].text, QStringLiteral("请输入代码"));
    QCOMPARE(modal.requests[2].text, QStringLiteral("请输入代码"));
    QTest::keyClick(Find<QLineEdit>(buy.get(), 1007), Qt::Key_X); // refused by the price's validator
    QCOMPARE(int(modal.requests.size()), 3);
}

void TestOrderForms::keysOfTheForm() {
    TradeTestClient client;
    auto buy = MakeView<CBuyView>(client);
    buy->show();
    buy->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(buy.get()));
    auto* code = Find<QLineEdit>(buy.get(), 1002);
    auto* price = Find<QLineEdit>(buy.get(), 1007);
    auto* quantity = Find<QLineEdit>(buy.get(), 1011);

    // The form hands its focus to the code edit.
    quantity->setFocus();
    buy->setFocus();
    QCOMPARE(QApplication::focusWidget(), code);

    // Alt+B submits, Alt+Z asks to cancel all; "/" only where no edit takes it as text.
    ModalRecorder modal;
    modal.QueueYes({false, false, false});
    // A button's key presses it visibly: the click follows a moment later.
    QTest::keyClick(code, Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(int(modal.requests.size()), 1);
    QTest::keyClick(code, Qt::Key_Z, Qt::AltModifier);
    QTRY_COMPARE(int(modal.requests.size()), 2);
    QCOMPARE(modal.requests[0].text, QStringLiteral("请输入代码"));
    QCOMPARE(modal.requests[1].text, QStringLiteral("是否确认撤销所有委托单?"));
    QTest::keyClick(price, Qt::Key_Slash);
    QCOMPARE(int(modal.requests.size()), 2);
    auto* refresh = Find<QAbstractButton>(buy.get(), 1038);
    refresh->setFocus();
    QTest::keyClick(refresh, Qt::Key_Slash);
    QCOMPARE(int(modal.requests.size()), 3);
    QCOMPARE(modal.requests[2].text, QStringLiteral("是否确认撤销所有委托单?"));

    // Up/Down step the price by 0.01, never below 0.01; the wheel does the same.
    price->setText(QStringLiteral("10.00"));
    QTest::keyClick(price, Qt::Key_Up);
    QCOMPARE(price->text(), QStringLiteral("10.01"));
    QTest::keyClick(price, Qt::Key_Down);
    QTest::keyClick(price, Qt::Key_Down);
    QCOMPARE(price->text(), QStringLiteral("9.99"));
    QWheelEvent up(QPointF(5, 5), price->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(price, &up);
    QCOMPARE(price->text(), QStringLiteral("10.00"));
    price->setText(QStringLiteral("0.01"));
    QTest::keyClick(price, Qt::Key_Down);
    QCOMPARE(price->text(), QStringLiteral("0.01"));

    // PgUp/PgDn step the quantity by a lot from any of the three edits.
    quantity->setText(QStringLiteral("100"));
    QTest::keyClick(price, Qt::Key_PageUp);
    QCOMPARE(quantity->text(), QStringLiteral("200"));
    QTest::keyClick(code, Qt::Key_PageUp);
    QCOMPARE(quantity->text(), QStringLiteral("300"));
    QTest::keyClick(quantity, Qt::Key_PageDown);
    QCOMPARE(quantity->text(), QStringLiteral("200"));
    QTest::keyClick(quantity, Qt::Key_Up);
    QCOMPARE(quantity->text(), QStringLiteral("300"));
    QCOMPARE(price->text(), QStringLiteral("0.01")); // the price is left alone
}

void TestOrderForms::quotePriceClickFillsTheForm() {
    TradeTestClient client;
    client.SetPositions({Position("600000", "浦发银行", "1050")});
    client.state.quotes.Store(Quote("600000", "浦发银行", 10.50f, 10.49f, 10.00f));
    auto sell = MakeView<CSellView>(client);
    sell->show();
    QVERIFY(QTest::qWaitForWindowExposed(sell.get()));
    Find<QLineEdit>(sell.get(), 1002)->setText(QStringLiteral("600000"));
    sell->RefreshQuotePanel();
    QCOMPARE(Text(sell.get(), 1007), QStringLiteral("10.49")); // the default: 买一
    QCOMPARE(Text(sell.get(), 1009), QStringLiteral("1050"));

    // 卖一 (1018) clicked: its price; the quantity stays empty.
    auto* ask1 = Find<QLabel>(sell.get(), 1018);
    QTest::mouseClick(ask1, Qt::LeftButton, {}, ask1->rect().center());
    QCOMPARE(Text(sell.get(), 1007), QStringLiteral("10.50"));
    QCOMPARE(Text(sell.get(), 1011), QString());

    // 买一 (1024) double-clicked: its price and the whole available quantity.
    auto* bid1 = Find<QLabel>(sell.get(), 1024);
    QTest::mouseDClick(bid1, Qt::LeftButton, {}, bid1->rect().center());
    QCOMPARE(Text(sell.get(), 1007), QStringLiteral("10.49"));
    QCOMPARE(Text(sell.get(), 1011), QStringLiteral("1050"));

    // A level without a price ("-" after a reset) and a volume cell fill nothing.
    Find<QLineEdit>(sell.get(), 1011)->clear();
    auto* volume = Find<QLabel>(sell.get(), 1023);
    QTest::mouseDClick(volume, Qt::LeftButton, {}, volume->rect().center());
    QCOMPARE(Text(sell.get(), 1007), QStringLiteral("10.49"));
    QCOMPARE(Text(sell.get(), 1011), QString());
    sell->ResetForm();
    QTest::mouseClick(ask1, Qt::LeftButton, {}, ask1->rect().center());
    QCOMPARE(Text(sell.get(), 1007), QString());
}

QTEST_MAIN(TestOrderForms)
#include "tst_OrderForms.moc"
