// A contestant's day against the real contest server: what reaches the screen unasked (fills
// of resting orders), what a cancel hits, what is said after a break, and the server's texts
// as the client shows them.

#include "account/LcDlg.h"
#include "account/ListCtrlCl.h"
#include "account/MoneyStockView.h"
#include "account/PositionRevaluation.h"
#include "core/Gbk.h"
#include "tests/e2e/GuiClient.h"
#include "tests/support/QuorvexdProcess.h"
#include "trade/CancelView.h"
#include "trade/OrderCancel.h"
#include "trade/TradeDlg.h"
#include "trade/WeituoDlg.h"

#include <QTabWidget>

#include <filesystem>
#include <fstream>
#include <optional>

using namespace e2e_gui;

namespace {

// 600000 asks 7.19 until tick 120 (12 s of 100 ms ticks), then 7.11 and holds still there:
// a buy resting at 7.13 fills at a tick, not as the answer to a request.
const char* const kFallingBook =
    R"(# tick,code,name,last,prev close,5 bid prices,5 bid volumes,5 ask prices,5 ask volumes
0,600000,浦发银行,7.19,7.12,7.18,7.17,7.16,7.15,7.14,900000,900000,900000,900000,900000,7.19,7.20,7.21,7.22,7.23,900000,900000,900000,900000,900000
0,000001,平安银行,10.50,10.58,10.49,10.48,10.47,10.46,10.45,900000,900000,900000,900000,900000,10.50,10.51,10.52,10.53,10.54,900000,900000,900000,900000,900000
120,600000,浦发银行,7.11,7.12,7.10,7.09,7.08,7.07,7.06,900000,900000,900000,900000,900000,7.11,7.12,7.13,7.14,7.15,900000,900000,900000,900000,900000
)";

// 000001 asks 10.50 until tick 200 (20 s), then trades at 10.46 and holds still there.
const char* const kSlippingBook =
    R"(# tick,code,name,last,prev close,5 bid prices,5 bid volumes,5 ask prices,5 ask volumes
0,000001,平安银行,10.50,10.58,10.49,10.48,10.47,10.46,10.45,900000,900000,900000,900000,900000,10.50,10.51,10.52,10.53,10.54,900000,900000,900000,900000,900000
200,000001,平安银行,10.46,10.58,10.45,10.44,10.43,10.42,10.41,900000,900000,900000,900000,900000,10.46,10.47,10.48,10.49,10.50,900000,900000,900000,900000,900000
)";

std::unique_ptr<tavix::test::QuorvexdProcess> StartServer(const char* book,
                                                          const std::vector<std::string>& extra = {}) {
    static int count = 0;
    const auto file = std::filesystem::temp_directory_path() /
                      ("tavix-e2e-day-" + std::to_string(getpid()) + "-" + std::to_string(++count) + ".csv");
    std::ofstream(file) << book;
    std::vector<std::string> args{"--quotes-csv", file.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<tavix::test::QuorvexdProcess>(args);
}

} // namespace

class ContestantDay final : public QObject {
    Q_OBJECT
private slots:
    void restingFillReachesTheScreen();
    void cancelHitsTheChosenOrder();
    void refusalsSayWhatIsWrong();
    void unknownCodeClearsTheQuote();
    void everyViewShowsTheServersProfit();
};

void ContestantDay::restingFillReachesTheScreen() {
    auto server = StartServer(kFallingBook);
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "600000"));
    const QString answer = Order(buy, answers, QStringLiteral("7.13"), QStringLiteral("1000"));
    QVERIFY2(Accepted(answer), qPrintable(answer));
    buy->Tabs()->setCurrentIndex(COrderFormView::kOrdersTab);
    auto* orders = buy->OrdersPanel()->List();
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemCount(), 1, kWait);
    // Still resting: the book asks 7.19 until its tick 120.
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemText(0, 8), QStringLiteral("未成交"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(net::FieldText(client.state.funds.Get().frozenFunds) != "0.00", kWait);

    // The fill at 7.11 comes with a tick; nothing is pressed. The server sends the account.
    QTRY_COMPARE_WITH_TIMEOUT(orders->GetItemText(0, 8), QStringLiteral("已成"), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(net::FieldText(client.state.funds.Get().frozenFunds), std::string_view("0.00"), kWait);
    auto* held = buy->PositionsPanel()->List();
    QTRY_COMPARE_WITH_TIMEOUT(held->GetItemCount(), 1, kWait);
    QCOMPARE(held->GetItemText(0, positions::kCode), QStringLiteral("600000"));
    QCOMPARE(held->GetItemText(0, positions::kBalance), QStringLiteral("1000"));
    auto* trades = buy->TradesPanel()->List();
    QTRY_COMPARE_WITH_TIMEOUT(trades->GetItemCount(), 1, kWait);
    // Told in the status bar, never by a dialog.
    QTRY_VERIFY_WITH_TIMEOUT(
        client.Pane(CMainFrame::kPaneSpare).startsWith(QStringLiteral("成交：买入 600000 浦发银行 1000股 @7.11")),
        kWait);
    QCOMPARE(answers.texts.size(), 1); // the order's own answer only
    // The funds pane follows: 1,000,000 less 7,110.00 and its fees.
    QVERIFY(Cents(client.Pane(CMainFrame::kPaneFunds).chopped(1)) < 100000000 - 711000);
}

namespace {

// The open order of today's table with this price, or nullptr.
std::optional<net::OrderRecord> OrderAt(const Client& client, std::string_view price) {
    for (const net::OrderRecord& r : client.state.todayOrders.Rows(&net::OrderRecord::code))
        if (net::FieldText(r.orderPrice) == price)
            return r;
    return std::nullopt;
}

} // namespace

void ContestantDay::cancelHitsTheChosenOrder() {
    auto server = StartServer(kFallingBook);
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    // Two resting buys of the same code and quantity in one second, 6.90 placed first.
    std::optional<net::OrderRecord> first, second;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::string a = attempt == 0 ? "6.90" : attempt == 1 ? "6.80" : "6.70";
        const std::string b = attempt == 0 ? "6.89" : attempt == 1 ? "6.79" : "6.69";
        client.link.SendRequest(net::kCmdOrder, "code=600000&price=" + a + "&num=100&type=1");
        client.link.SendRequest(net::kCmdOrder, "code=600000&price=" + b + "&num=100&type=1");
        QTRY_VERIFY_WITH_TIMEOUT((first = OrderAt(client, a)) && (second = OrderAt(client, b)), kWait);
        if (std::string_view(first->orderTime) == std::string_view(second->orderTime))
            break;
        first.reset();
    }
    QVERIFY2(first, "no two orders placed within one second");
    QVERIFY(net::FieldText(first->contractNo) != net::FieldText(second->contractNo));
    QVERIFY(!net::FieldText(second->contractNo).empty());

    // Without the contract number the server will not guess which of the two is meant.
    const std::string sameKeys = "code=600000&num=100&time=" + std::string(net::FieldText(second->orderTime));
    client.link.SendRequest(net::kCmdCancelOne, sameKeys);
    QTRY_VERIFY_WITH_TIMEOUT(answers.texts.contains(QStringLiteral("有多笔委托与撤单请求相符，请按合同编号撤单")),
                             kWait);

    // The cancellation view shows the number and cancels exactly the row chosen (the second).
    auto* cancel = client.Show<CCancelView>(QStringLiteral("撤单[F3]"));
    QTRY_VERIFY_WITH_TIMEOUT(cancel->List()->GetItemCount() >= 2, kWait);
    const int contract = order_cancel::ContractColumn(*cancel->List());
    QVERIFY(contract >= 0);
    int row = -1;
    for (int r = 0; r < cancel->List()->GetItemCount(); ++r)
        if (cancel->List()->GetItemText(r, contract) == QString::fromLatin1(net::FieldText(second->contractNo)))
            row = r;
    QVERIFY(row >= 0);
    cancel->List()->selectRow(row);
    Click(cancel, 1042);
    const std::string wanted(net::FieldText(second->orderPrice));
    const auto statusAt = [&](const std::string& price) {
        const auto r = OrderAt(client, price);
        return r ? FromGbkField(r->status) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(statusAt(wanted), QStringLiteral("已撤"), kWait);
    QCOMPARE(statusAt(std::string(net::FieldText(first->orderPrice))), QStringLiteral("未成交"));
}

void ContestantDay::refusalsSayWhatIsWrong() {
    auto server = StartServer(kFallingBook);
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "600000"));
    QVERIFY(Accepted(Order(buy, answers, QStringLiteral("7.19"), QStringLiteral("9500"))));

    // Bought today: the refusal says why nothing is sellable.
    auto* sell = client.Show<COrderFormView>(QStringLiteral("卖出[F2]"));
    QVERIFY(EnterCode(sell, "600000"));
    QCOMPARE(Order(sell, answers, QStringLiteral("7.18"), QStringLiteral("100")),
             QStringLiteral("可卖数量不足（可用0股），今日买入的9500股下一交易日起才能卖出"));
    QCOMPARE(server->Admin({"rollover"}).status, 0);
    QTRY_COMPARE_WITH_TIMEOUT(Text(sell, 1009), QStringLiteral("9500"), kWait);
    // 9,500 shares hold no odd lot: 150 is refused for not being whole lots.
    QCOMPARE(Order(sell, answers, QStringLiteral("7.18"), QStringLiteral("150")),
             QStringLiteral("卖出数量必须是100股的整数倍"));
}

void ContestantDay::unknownCodeClearsTheQuote() {
    auto server = StartServer(kFallingBook);
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "000001"));
    QTRY_COMPARE_WITH_TIMEOUT(Text(buy, 1014), QStringLiteral("10.54"), kWait); // ask 5
    // 600001 is not quoted by this server: nothing of 平安银行 stays, and the panel says so.
    Find<QLineEdit>(buy, 1002)->setText(QStringLiteral("600001"));
    for (int id = 1014; id <= 1037; ++id)
        QCOMPARE(Text(buy, id), QStringLiteral("-"));
    QTRY_COMPARE_WITH_TIMEOUT(Text(buy, 1005), QStringLiteral("无此证券"), kWait);
    QCOMPARE(Text(buy, 1014), QStringLiteral("-"));
    // A known code again: its quote and name come back.
    QVERIFY(EnterCode(buy, "600000"));
    QCOMPARE(Text(buy, 1005), QStringLiteral("浦发银行"));
}

void ContestantDay::everyViewShowsTheServersProfit() {
    auto server = StartServer(kSlippingBook);
    QVERIFY(server->Start());
    Client client(server->Port(), "demo", "demo123");
    QVERIFY(client.LogIn("demo", "demo123"));
    Answers answers;
    auto* buy = client.Show<COrderFormView>(QStringLiteral("买入[F1]"));
    QVERIFY(EnterCode(buy, "000001"));
    QVERIFY(Accepted(Order(buy, answers, QStringLiteral("10.50"), QStringLiteral("30000"))));
    // By hand: 315,000.00 + commission 94.50 (0.03 %) + transfer fee 3.15 (0.001 %) =
    // 315,097.65, 10.503255 a share, sent as 成本价 10.503. At 10.50 the position is worth
    // 315,000.00: −97.65 (the rounded cost would make it −90.00); at 10.46, 313,800.00:
    // −1,297.65 (rounded: −1,290.00).
    const auto heldProfit = [&] {
        const auto rows = client.state.positions.Rows(&net::PositionRecord::code);
        return rows.empty() ? QString() : FromGbkField(rows.front().profit);
    };
    QTRY_COMPARE_WITH_TIMEOUT(heldProfit(), QStringLiteral("-97.65"), kWait);
    QCOMPARE(FromGbkField(client.state.positions.Rows(&net::PositionRecord::code).front().costPrice),
             QStringLiteral("10.503"));
    buy->Tabs()->setCurrentIndex(COrderFormView::kPositionsTab);
    QTRY_COMPARE_WITH_TIMEOUT(buy->PositionsPanel()->List()->GetItemText(0, positions::kProfit),
                              QStringLiteral("-97.65"), kWait);
    auto* funds = client.Show<CMoneyStockView>(QStringLiteral("资金股票"));
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemText(0, positions::kProfit), QStringLiteral("-97.65"), kWait);

    // The price slips: the funds view revalues the row itself, and the server agrees.
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemText(0, positions::kMarketPrice), QStringLiteral("10.46"), 40000);
    QTRY_COMPARE_WITH_TIMEOUT(funds->List()->GetItemText(0, positions::kProfit), QStringLiteral("-1297.65"), kWait);
    client.link.QueryPositions();
    QTRY_COMPARE_WITH_TIMEOUT(heldProfit(), QStringLiteral("-1297.65"), kWait);
    for (const char* form : {"买入[F1]", "卖出[F2]"}) {
        auto* view = client.Show<COrderFormView>(QString::fromUtf8(form));
        view->Tabs()->setCurrentIndex(COrderFormView::kPositionsTab);
        QTRY_COMPARE_WITH_TIMEOUT(view->PositionsPanel()->List()->GetItemText(0, positions::kProfit),
                                  QStringLiteral("-1297.65"), kWait);
    }
    // The price the position was bought at: a late order would have filled at 10.46.
    QCOMPARE(FromGbkField(client.state.todayTrades.Rows(&net::TradeRecord::code).front().avgPrice),
             QStringLiteral("10.50"));
}

QTEST_MAIN(ContestantDay)
#include "ContestantDayTest.moc"
