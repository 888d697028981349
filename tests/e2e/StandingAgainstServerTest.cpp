// 大赛排名 against the real contest server: my ranks, the top 20 and the curve as the client
// shows them, with every figure worked out by hand; and what the view says to a server that
// does not know the commands.

#include "account/StandingView.h"
#include "controls/ModalHook.h"
#include "core/ClientContext.h"
#include "core/Gbk.h"
#include "net/SharedState.h"
#include "net/TradingLink.h"
#include "shell/GuiNotifier.h"
#include "shell/MainFrame.h"
#include "tests/e2e/GuiClient.h"
#include "tests/support/FakeTradingServer.h"
#include "tests/support/QuorvexdProcess.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDialog>
#include <QLabel>
#include <QLineSeries>
#include <QTableWidget>
#include <QTest>

#include <fstream>
#include <memory>

using namespace std::chrono_literals;

using namespace e2e_gui;

namespace {

constexpr int kSlowWait = 20000; // ms; the view asks every 5 s, a loaded machine is slow

// 600000 holds at its start price; 000001 is worth 10.80 over a start of 10.00, while its
// asks begin at 10.00. Index: (10.00/10.00 + 10.80/10.00) / 2 × 1,000 = 1040.00, +4.00 %.
const char* const kBook = "0,600000,浦发银行,10.00,10.00,9.99,9.98,9.97,9.96,9.95,900000,900000,900000,900000,900000,"
                          "10.00,10.01,10.02,10.03,10.04,900000,900000,900000,900000,900000\n"
                          "0,000001,平安银行,10.80,10.00,9.99,9.98,9.97,9.96,9.95,900000,900000,900000,900000,900000,"
                          "10.00,10.01,10.02,10.03,10.04,900000,900000,900000,900000,900000\n";

// F6, from wherever the focus is, as a contestant reaches it.
CStandingView* OpenStanding(Client& client) {
    client.frame->activateWindow();
    if (!QTest::qWaitForWindowActive(client.frame.get()))
        return nullptr;
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : client.frame.get(), Qt::Key_F6);
    return qobject_cast<CStandingView*>(client.frame->RightView());
}

QString Cell(QTableWidget* table, int row, int column) {
    const QTableWidgetItem* item = table->item(row, column);
    return item ? item->text() : QString();
}

} // namespace

class StandingAgainstServer final : public QObject {
    Q_OBJECT
private slots:
    void ranksTopAndCurveAsWorkedOut();
    void anOlderServerIsNamedInsteadOfWaiting();
};

void StandingAgainstServer::ranksTopAndCurveAsWorkedOut() {
    const auto book =
        std::filesystem::temp_directory_path() / ("tavix-e2e-standing-" + std::to_string(getpid()) + ".csv");
    std::ofstream(book) << kBook;
    tavix::test::QuorvexdProcess server({"--quotes-csv", book.string()});
    QVERIFY(server.AdminAll(
        {{"add-user", "张三", "pw", "--cash", "100000"}, {"add-user", "李四", "pw", "--cash", "100000"}}));
    QVERIFY(server.Start());
    const std::string zhang = ToGbk(QStringLiteral("张三")); // the wire and the shared state hold GBK
    Client client(server.Port(), zhang, "pw");
    QVERIFY(client.WaitConnected());
    client.SendLogin();
    // 张三 buys 1,000 of 000001 at 10.00: 10,000.00 + commission 5.00 (the minimum) + transfer fee
    // 0.10, worth 10,800.00: 100,000 − 10,005.10 + 10,800 = 100,794.90, +794.90, 0.79 %. 李四 and
    // the server's demo account (1,000,000) stay at 0.00 and share rank 2, the larger total first.
    QStringList told; // the order's answer comes as a tip; nothing may wait for a click
    SetModalHook([&](const ModalRequest& request) {
        told << request.text;
        return int(QDialog::Accepted);
    });
    client.link.SendRequest(net::kCmdOrder, "code=000001&price=10.00&num=1000&name=x&type=1");
    QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), kSlowWait);
    SetModalHook({});
    QVERIFY2(!told.front().contains(QStringLiteral("失败")), qPrintable(told.join(u'|')));

    CStandingView* view = OpenStanding(client);
    QVERIFY(view);
    auto* mine = view->findChild<QTableWidget*>(QStringLiteral("myStanding"));
    auto* top = view->findChild<QTableWidget*>(QStringLiteral("topTable"));
    QTRY_COMPARE_WITH_TIMEOUT(Cell(mine, 3, 2), QStringLiteral("0.79%"), kSlowWait);
    // Today is the contest's first day: every period opens at the starting cash.
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(Cell(mine, row, 1), QStringLiteral("1 / 3"));
        QCOMPARE(Cell(mine, row, 2), QStringLiteral("0.79%"));
        QCOMPARE(Cell(mine, row, 3), QStringLiteral("794.90"));
        QCOMPARE(Cell(mine, row, 4), QStringLiteral("100794.90"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(top->rowCount(), 3, kSlowWait);
    QCOMPARE(Cell(top, 0, 1), QStringLiteral("张**（我）"));
    QCOMPARE(Cell(top, 0, 2), QStringLiteral("100794.90"));
    QVERIFY(top->item(0, 0)->data(Qt::UserRole).toBool()); // highlighted
    QCOMPARE(Cell(top, 1, 0), QStringLiteral("2"));
    QCOMPARE(Cell(top, 1, 1), QStringLiteral("d**"));
    QCOMPARE(Cell(top, 2, 0), QStringLiteral("2"));
    QCOMPARE(Cell(top, 2, 1), QStringLiteral("李**"));
    QCOMPARE(Cell(top, 2, 3), QStringLiteral("0.00%"));
    QVERIFY(!top->item(2, 0)->data(Qt::UserRole).toBool());

    // The curve: today only, live. Median of 0.7949 %, 0 % and 0 % → 0.00 %.
    auto* chart = view->findChild<QChartView*>(QStringLiteral("curveChart"));
    QTRY_COMPARE_WITH_TIMEOUT(chart->chart()->series().size(), 3, kSlowWait);
    const auto last = [&](int series) {
        auto* line = qobject_cast<QLineSeries*>(chart->chart()->series().at(series));
        return line->at(line->count() - 1).y();
    };
    QTRY_COMPARE_WITH_TIMEOUT(last(0), 0.79, kSlowWait);
    QCOMPARE(last(1), 4.00);
    QCOMPARE(last(2), 0.00);
    auto* note = view->findChild<QLabel*>(QStringLiteral("standingNote"));
    QVERIFY2(note->text().startsWith(QStringLiteral("更新于")), qPrintable(note->text()));
    std::filesystem::remove(book);
}

void StandingAgainstServer::anOlderServerIsNamedInsteadOfWaiting() {
    tavix::test::FakeTradingServer older; // answers heartbeats, knows nothing of commands 23 and 24
    older.SetAutoReply(net::kCmdHeartbeat, [](const net::Frame&) { return std::string(); });
    Client client(older.Port(), "张三", "pw");
    QVERIFY(older.WaitForConnection(10s));
    CStandingView* view = OpenStanding(client);
    QVERIFY(view);
    QVERIFY(older.WaitForCommand(net::kCmdStanding, 10s));
    auto* note = view->findChild<QLabel*>(QStringLiteral("standingNote"));
    QTRY_VERIFY_WITH_TIMEOUT(note->text().contains(QStringLiteral("旧版本")), kSlowWait);
}

QTEST_MAIN(StandingAgainstServer)
#include "StandingAgainstServerTest.moc"
