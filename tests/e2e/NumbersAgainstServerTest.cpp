// The figures a contestant is ranked by, as the client shows them, against the real contest
// server: the client's main window, views and trading link drive a quorvexd whose book holds
// still (one replayed snapshot), so every figure on screen can be compared to the cent with
// what `quorvexd ranking` reports and with values worked out by hand.

#include "account/ListCtrlCl.h"
#include "account/MoneyStockView.h"
#include "account/PositionRevaluation.h"
#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "shell/MainFrame.h"
#include "shell/StatusPanes.h"
#include "tests/e2e/GuiClient.h"
#include "tests/support/QuorvexdProcess.h"
#include "trade/CancelView.h"
#include "trade/OrderFormView.h"
#include "trade/WeituoDlg.h"
#include "wire/GbkText.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <atomic>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

using namespace std::chrono_literals;
using namespace e2e_gui;

namespace {

// One snapshot of four securities, one per board, with deep books: it holds still after the
// first tick, so the server's prices are the client's quotes.
const char* const kBook = R"(# tick,code,name,last,prev close,5 bid prices,5 bid volumes,5 ask prices,5 ask volumes
0,600000,浦发银行,7.19,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000
0,000001,平安银行,10.50,10.58,10.49,10.48,10.47,10.46,10.45,900000,900000,900000,900000,900000,10.50,10.51,10.52,10.53,10.54,900000,900000,900000,900000,900000
0,300059,东方财富,15.30,15.24,15.29,15.28,15.27,15.26,15.25,900000,900000,900000,900000,900000,15.30,15.31,15.32,15.33,15.34,900000,900000,900000,900000,900000
0,688981,中芯国际,85.00,84.36,84.99,84.98,84.97,84.96,84.95,900000,900000,900000,900000,900000,85.00,85.01,85.02,85.03,85.04,900000,900000,900000,900000,900000
)";

// A server with the still book; the administration commands `before` run first.
std::unique_ptr<tavix::test::QuorvexdProcess> StartServer(const std::vector<std::vector<std::string>>& before = {}) {
    const auto book = std::filesystem::temp_directory_path() / ("tavix-e2e-book-" + std::to_string(getpid()) + ".csv");
    std::ofstream(book) << kBook;
    auto server =
        std::make_unique<tavix::test::QuorvexdProcess>(std::vector<std::string>{"--quotes-csv", book.string()});
    server->AdminAll(before);
    return server;
}

// The total assets that `quorvexd ranking` reports for `user`, in cents; -1 when missing.
long long RankingTotal(const tavix::test::QuorvexdProcess& server, const std::string& user) {
    const auto result = server.Admin({"ranking"});
    std::istringstream lines(result.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string rank, name, total;
        fields >> rank >> name >> total;
        if (name == user)
            return std::llround(std::stod(total) * 100);
    }
    return -1;
}

} // namespace

class NumbersAgainstServer final : public QObject {
    Q_OBJECT
private slots:
    void limitsAgreeWithTheServer();
    void totalsMatchTheRanking();
    void fullBuyIsAccepted_data();
    void fullBuyIsAccepted();
    void cancelsShowWithoutPressing();
    void sellableAfterAPartialSell();
    void frozenAccountShows();
    void oneSubscriptionPerFill();
};

void NumbersAgainstServer::limitsAgreeWithTheServer() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(buy);
    // Limits by hand: previous close ± 10 % (main boards) or 20 % (ChiNext, STAR), half up
    // to the tick. The server takes a buy at the lower limit and refuses one a tick beyond
    // either limit for the limit; at the upper limit a buy passes the limit and meets the
    // price cage (at most 2 % above 卖一) instead.
    const struct {
        const char* code;
        const char* up;
        const char* beyondUp;
        const char* down;
        const char* beyondDown;
    } cases[] = {
        {"600000", "7.83", "7.84", "6.41", "6.40"},       // 7.12: 7.832 and 6.408
        {"000001", "11.64", "11.65", "9.52", "9.51"},     // 10.58: 11.638 and 9.522
        {"300059", "18.29", "18.30", "12.19", "12.18"},   // 15.24: 18.288 and 12.192
        {"688981", "101.23", "101.24", "67.49", "67.48"}, // 84.36: 101.232 and 67.488
    };
    for (const auto& c : cases) {
        QVERIFY(EnterCode(buy, c.code));
        QCOMPARE(Text(buy, 1036), QString::fromLatin1(c.up));
        QCOMPARE(Text(buy, 1037), QString::fromLatin1(c.down));
        QString answer = Order(buy, answers, QString::fromLatin1(c.down), QStringLiteral("200"));
        QVERIFY2(Accepted(answer), qPrintable(answer));
        answer = Order(buy, answers, QString::fromLatin1(c.up), QStringLiteral("200"));
        QVERIFY2(answer.contains(QStringLiteral("价格笼子")), qPrintable(answer));
        for (const char* beyond : {c.beyondUp, c.beyondDown}) {
            const QString answer = Order(buy, answers, QString::fromLatin1(beyond), QStringLiteral("200"));
            QVERIFY2(answer.contains(QStringLiteral("涨跌停")), qPrintable(answer));
        }
    }
}

void NumbersAgainstServer::totalsMatchTheRanking() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;

    // Fills on both boards, a buy that rests and one that is cancelled.
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    const struct {
        const char* code;
        const char* price;
        const char* quantity;
    } orders[] = {{"600000", "7.19", "1000"},
                  {"300059", "15.30", "300"},
                  {"688981", "85.00", "200"},
                  {"000001", "10.00", "500"},
                  {"600000", "7.00", "300"}};
    for (const auto& o : orders) {
        QVERIFY(EnterCode(buy, o.code));
        QVERIFY(Accepted(Order(buy, answers, QString::fromLatin1(o.price), QString::fromLatin1(o.quantity))));
    }
    auto* cancel = client.Show<CCancelView>(QStringLiteral("撤单[F3]"));
    QVERIFY(cancel);
    QTRY_COMPARE_WITH_TIMEOUT(cancel->List()->GetItemCount(), 2, kWait);
    const int row = cancel->List()->GetItemText(0, 0) == QStringLiteral("600000") ? 0 : 1;
    cancel->List()->selectRow(row);
    Click(cancel, 1042);
    QTRY_COMPARE_WITH_TIMEOUT(cancel->List()->GetItemCount(), 1, kWait);

    // By hand: the fills cost 7,195.07, 4,595.05 and 17,005.27 (amount, commission of
    // 0.03 % but at least 5.00, transfer fee 0.001 %); the resting buy holds 5,005.05.
    auto* funds = client.Show<CMoneyStockView>(QStringLiteral("资金股票"));
    QVERIFY(funds);
    QTRY_COMPARE_WITH_TIMEOUT(Text(funds, 1056), QStringLiteral("5005.05"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemCount(), 3, kWait);
    QCOMPARE(Text(funds, 1055), QStringLiteral("966199.56")); // 资金余额
    QCOMPARE(Text(funds, 1057), QStringLiteral("966199.56")); // 可用金额
    // The revaluation timer may already have rewritten these two with three decimals.
    QCOMPARE(Cents(Text(funds, 1059)), 2878000LL);  // 股票市值
    QCOMPARE(Cents(Text(funds, 1060)), 99998461LL); // 总 资 产
    QCOMPARE(RankingTotal(*server, "demo"), 99998461LL);

    // The client's own revaluation (what a price move runs) adds up to the same total.
    for (int r = 0; r < funds->List()->GetItemCount(); ++r)
        funds->List()->SetItemText(r, positions::kProfit, QString());
    funds->RevaluePositions();
    QCOMPARE(Text(funds, 1060), QStringLiteral("999984.610"));
    QCOMPARE(Cents(Text(funds, 1055)) + Cents(Text(funds, 1056)) + Cents(Text(funds, 1059)), Cents(Text(funds, 1060)));

    // The funds flow's date column gets the date, whole.
    auto* flow = client.Show<QWidget>(QStringLiteral("资金明细"));
    QVERIFY(flow);
    Click(flow, 1069);
    auto* flowList = Find<CListCtrlCl>(flow, 1041);
    QTRY_VERIFY_WITH_TIMEOUT(flowList->GetItemCount() >= 4, kWait);
    for (int r = 0; r < flowList->GetItemCount(); ++r)
        QVERIFY2(
            QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$")).match(flowList->GetItemText(r, 0)).hasMatch(),
            qPrintable(flowList->GetItemText(r, 0)));
}

void NumbersAgainstServer::fullBuyIsAccepted_data() {
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("maxBuyable");
    // Whole lots whose amount + commission (0.03 %, at least 5.00) + transfer fee (0.001 %)
    // fit the cash. Rounding to the nearest lot gave 1,391 lots in the first row (1,000,129),
    // 100 lots in the second (no room for charges) and 33 lots in the third (50,391).
    QTest::newRow("7.19") << "1000000.00"
                          << "600000"
                          << "7.19"
                          << "139000"; // 999,719.81
    QTest::newRow("10.00") << "100000.00"
                           << "000001"
                           << "10.00"
                           << "9900"; // 99,030.69
    QTest::newRow("15.27") << "50000.00"
                           << "300059"
                           << "15.27"
                           << "3200"; // 48,879.15
    QTest::newRow("84.50") << "25000.00"
                           << "688981"
                           << "84.50"
                           << "295"; // STAR in single shares: 24,927.50 + 7.48 + 0.25 = 24,935.23
    QTest::newRow("exact") << "1005.01"
                           << "000001"
                           << "10.00"
                           << "100"; // 1,005.01
    QTest::newRow("limit down") << "999999.99"
                                << "600000"
                                << "6.41"
                                << "155900"; // 999,628.79
    QTest::newRow("fees") << "3113.00"
                          << "300059"
                          << "15.55"
                          << "100"; // 2 lots would cost 3,115.03
}

void NumbersAgainstServer::fullBuyIsAccepted() {
    QFETCH(QString, cash);
    QFETCH(QString, code);
    QFETCH(QString, price);
    QFETCH(QString, maxBuyable);
    auto server = StartServer({{"add-user", "buyer", "pw", "--cash", cash.toStdString()}});
    QVERIFY(server->Start());
    Client client(server->Port(), "buyer", "pw");
    QVERIFY(client.LogIn("buyer", "pw"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, code.toLatin1().constData()));
    Find<QLineEdit>(buy, 1007)->setText(price);
    QCOMPARE(Text(buy, 1009), maxBuyable);
    Click(buy, 1103); // 全部
    QCOMPARE(Find<QLineEdit>(buy, 1011)->text(), maxBuyable);
    const QString answer = Order(buy, answers, price, maxBuyable);
    QVERIFY2(Accepted(answer), qPrintable(answer));
}

void NumbersAgainstServer::cancelsShowWithoutPressing() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;

    // A resting buy, cancelled with the form's 全撤: the orders page, the funds and the
    // max-buyable follow without 刷 新.
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "000001"));
    QVERIFY(Accepted(Order(buy, answers, QStringLiteral("10.00"), QStringLiteral("500"))));
    buy->Tabs()->setCurrentIndex(COrderFormView::kOrdersTab);
    auto* orders = buy->OrdersPanel()->List();
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemCount(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemText(0, 8), QStringLiteral("未成交"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(client.Pane(CMainFrame::kPaneFunds), QStringLiteral("994994.95元"), kWait);
    QCOMPARE(Text(buy, 1009), QStringLiteral("99400")); // 994 lots at 10.00 cost 994,308.14
    Click(buy, 1039);
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemText(0, 8), QStringLiteral("已撤"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(client.Pane(CMainFrame::kPaneFunds), QStringLiteral("1000000.00元"), kWait);
    QCOMPARE(net::FieldText(client.state.funds.Get().frozenFunds), "0.00");
    QCOMPARE(Text(buy, 1009), QStringLiteral("99900")); // 999 lots cost 999,299.70 + 9.99

    // The cancellation view: a new order shows, a cancel removes it, nothing pressed.
    QVERIFY(Accepted(Order(buy, answers, QStringLiteral("10.10"), QStringLiteral("300"))));
    auto* cancel = client.Show<CCancelView>(QStringLiteral("撤单[F3]"));
    QTRY_COMPARE_WITH_TIMEOUT(cancel->List()->GetItemCount(), 1, kWait);
    cancel->List()->selectRow(0);
    Click(cancel, 1042);
    QTRY_COMPARE_WITH_TIMEOUT(cancel->List()->GetItemCount(), 0, kWait);
    // Nothing left to cancel: the server says so.
    Click(cancel, 1039);
    QTRY_VERIFY_WITH_TIMEOUT(answers.texts.contains(QStringLiteral("没有可撤销的委托")), kWait);

    auto* funds = client.Show<CMoneyStockView>(QStringLiteral("资金股票"));
    QTRY_COMPARE_WITH_TIMEOUT(Text(funds, 1055), QStringLiteral("1000000.00"), kWait);
    QCOMPARE(Text(funds, 1056), QStringLiteral("0.00"));
    QCOMPARE(Text(funds, 1060), QStringLiteral("1000000.00"));
}

void NumbersAgainstServer::sellableAfterAPartialSell() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "600000"));
    QVERIFY(Accepted(Order(buy, answers, QStringLiteral("7.19"), QStringLiteral("1000"))));
    // Bought today: nothing to sell until the day rolls over.
    auto* before = client.Show<COrderFormView>(QStringLiteral("卖出[F2]"));
    QVERIFY(EnterCode(before, "600000"));
    QTRY_COMPARE_WITH_TIMEOUT(Text(before, 1009), QStringLiteral("0"), kWait);
    before->Tabs()->setCurrentIndex(COrderFormView::kOrdersTab);
    auto* orders = before->OrdersPanel()->List();
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemCount(), 1, kWait);
    const auto rollover = server->Admin({"rollover"});
    QVERIFY2(rollover.status == 0, rollover.output.c_str());
    // The server sends the new positions by itself: the open form follows without a click,
    // and yesterday's order leaves today's list.
    QTRY_COMPARE_WITH_TIMEOUT(Text(before, 1009), QStringLiteral("1000"), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemCount(), 0, kWait);

    // Opening the funds view asks for the positions: the shares bought are sellable now.
    auto* funds = client.Show<CMoneyStockView>(QStringLiteral("资金股票"));
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemCount(), 1, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemText(0, positions::kAvailable), QStringLiteral("1000"), kWait);
    client.frame->SellPosition(600000);
    auto* sell = qobject_cast<COrderFormView*>(client.frame->RightView());
    QVERIFY(sell);
    QCOMPARE(Text(sell, 1009), QStringLiteral("1000"));
    QTRY_VERIFY_WITH_TIMEOUT(!Find<QLineEdit>(sell, 1007)->text().isEmpty(), kWait);
    QVERIFY(Accepted(Order(sell, answers, QStringLiteral("7.18"), QStringLiteral("500"))));
    QTRY_COMPARE_WITH_TIMEOUT(Text(sell, 1009), QStringLiteral("500"), kWait);
}

void NumbersAgainstServer::frozenAccountShows() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    QCOMPARE(client.Pane(CMainFrame::kPaneStatus), QStringLiteral("正常"));
    QCOMPARE(server->Admin({"freeze", "demo"}).status, 0);
    // The server tells the client by itself, before any order is refused.
    QTRY_COMPARE_WITH_TIMEOUT(client.Pane(CMainFrame::kPaneStatus), QStringLiteral("冻结"), kWait);

    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "600000"));
    const QString answer = Order(buy, answers, QStringLiteral("7.19"), QStringLiteral("100"));
    QVERIFY2(answer.contains(QStringLiteral("冻结")), qPrintable(answer));
    QTRY_COMPARE_WITH_TIMEOUT(client.Pane(CMainFrame::kPaneStatus), QStringLiteral("冻结"), kWait);

    QCOMPARE(server->Admin({"unfreeze", "demo"}).status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(client.Pane(CMainFrame::kPaneStatus), QStringLiteral("正常"), kWait);
}

void NumbersAgainstServer::oneSubscriptionPerFill() {
    auto server = StartServer();
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* funds = client.Show<CMoneyStockView>(QStringLiteral("资金股票"));
    const auto balanceOf = [&](const QString& code) {
        for (int row = 0; row < funds->List()->GetItemCount(); ++row) {
            if (funds->List()->GetItemText(row, positions::kCode) == code)
                return funds->List()->GetItemText(row, positions::kBalance);
        }
        return QString();
    };
    // Fills while the funds view shows the positions: a new security is subscribed once, a
    // security already held not again, however many positions the refilled list holds.
    const struct {
        const char* code;
        const char* price;
        const char* balance;
        int subscriptions;
    } fills[] = {{"600000", "7.19", "200", 1},  {"000001", "10.50", "200", 1}, {"300059", "15.30", "200", 1},
                 {"688981", "85.00", "200", 1}, {"600000", "7.19", "400", 0},  {"300059", "15.30", "400", 0}};
    for (const auto& f : fills) {
        const int before = client.subscriptions.load();
        const qsizetype answered = answers.texts.size();
        QVERIFY(client.link.SendRequest(net::kCmdOrder, std::string("code=") + f.code + "&price=" + f.price +
                                                            "&num=200&name=x&type=1"));
        QTRY_VERIFY_WITH_TIMEOUT(answers.texts.size() > answered, kWait);
        QVERIFY(Accepted(answers.texts.last()));
        QTRY_COMPARE_WITH_TIMEOUT(balanceOf(QString::fromLatin1(f.code)), QString::fromLatin1(f.balance), kWait);
        // The refresh's last answer: today's orders show the fill.
        QTRY_COMPARE_WITH_TIMEOUT(client.state.todayOrders.Count(&net::OrderRecord::code),
                                  static_cast<std::size_t>(&f - fills + 1), kWait);
        QCOMPARE(client.subscriptions.load() - before, f.subscriptions);
    }
}

QTEST_MAIN(NumbersAgainstServer)
#include "NumbersAgainstServerTest.moc"
