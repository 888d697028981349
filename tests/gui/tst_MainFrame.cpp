#include "ShellTestClient.h"

#include "account/ListCtrlCl.h"
#include "controls/FailDlg.h"
#include "controls/ModalHook.h"
#include "controls/XPButton.h"
#include "core/Gbk.h"
#include "core/TFormView.h"
#include "shell/InstallPaths.h"
#include "shell/LeftView.h"
#include "shell/LinkPane.h"
#include "shell/LockCover.h"
#include "shell/LockDlg.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "shell/MySplitterWnd.h"
#include "shell/StatusPanes.h"
#include "shell/TavixApp.h"
#include "shell/ViewFactory.h"
#include "wire/Commands.h"
#include "wire/GbkText.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

// A right-hand view that records which notifications reach it.
class RecordingView final : public CTFormView {
    Q_OBJECT
public:
    using CTFormView::CTFormView;
    QStringList calls;
    void OnHistoryTableStored() override { calls << QStringLiteral("history"); }
    void OnRedrawPanels() override { calls << QStringLiteral("redraw"); }
    void OnTodayTradesStored() override { calls << QStringLiteral("trades"); }
    void OnTodayOrdersStored() override { calls << QStringLiteral("orders"); }
    void OnPositionsStored() override {
        calls << QStringLiteral("positions");
        ++handled;
    }
    std::atomic<int> handled{0};
};

namespace {

CTFormView* MakeRecording(ClientContext& context, QWidget* parent) {
    return new RecordingView(context, parent);
}
const FunctionEntry kRecording{QStringLiteral("recording"), &RecordingView::staticMetaObject, &MakeRecording};

// The class name of the right-hand view, or "" without one.
QByteArray ViewClass(CMainFrame& frame) {
    return frame.RightView() ? QByteArray(frame.RightView()->metaObject()->className()) : QByteArray();
}

void ClickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

} // namespace

class TestMainFrame final : public QObject {
    Q_OBJECT

private:
    // A frame over a client with the login answer's texts filled in.
    struct Fixture {
        ShellTestClient client;
        CMainFrame frame;
        int exitCode = -1;
        int lockRuns = 0;
        explicit Fixture(bool connect = false, const std::string& status = "0")
            : client(connect)
            , frame((Prepare(client, status), client.context)) {
            frame.SetExitHandler([this](int code) { exitCode = code; });
            frame.SetLockDialogRunner([this](CLockDlg& d) {
                ++lockRuns;
                return d.result();
            });
        }
        static void Prepare(ShellTestClient& c, const std::string& status) {
            c.state.credentials.Set("demo01", "secret");
            c.state.loginInfoText = ToGbk(QStringLiteral("欢迎参赛"));
            c.state.availableFundsText = "5000.00";
            c.state.accountStatus = status;
        }
        QTreeWidget* Tree() { return frame.LeftView()->Tree(); }
        QTreeWidgetItem* Item(const QString& label) { return frame.LeftView()->FindItem(label); }
        RecordingView* Record(const QString& label) {
            frame.ShowFunction(label);
            frame.ReplaceRightView(kRecording);
            return qobject_cast<RecordingView*>(frame.RightView());
        }
    };

    // Inside the lock dialog: empty and wrong entries, a second activation, the right one.
    static void TryPasswords(CMainFrame& frame, CLockDlg& d, ModalRecorder& modal, int& dialogsSeen) {
        QCOMPARE(d.windowTitle(), QStringLiteral("操盘终端"));
        QCOMPARE(frame.LockDialog(), &d);
        auto* edit = d.findChild<QLineEdit*>(QStringLiteral("id1076"));
        QVERIFY(edit);
        d.OnOK();
        QVERIFY(modal.requests.isEmpty());
        edit->setText(QStringLiteral("Secret"));
        d.OnOK();
        QCOMPARE(modal.Texts(), QStringList{QStringLiteral("密码输入错误")});
        QCOMPARE(edit->text(), QStringLiteral("Secret"));
        QCOMPARE(d.result(), int(QDialog::Rejected));
        frame.OnLockedActivation(); // the open dialog is brought forward, no second one
        for (QWidget* w : QApplication::topLevelWidgets())
            dialogsSeen += qobject_cast<CLockDlg*>(w) != nullptr;
        edit->setText(QStringLiteral("secret"));
        d.OnOK();
    }

private slots:
    void serverArgument() {
        std::string host;
        int port = 0;
        QVERIFY(CTavixApp::ParseServer(QStringLiteral("10.0.0.5"), &host, &port));
        QCOMPARE(host, std::string("10.0.0.5"));
        QCOMPARE(port, 9690);
        QVERIFY(CTavixApp::ParseServer(QStringLiteral("localhost:7000"), &host, &port));
        QCOMPARE(host, std::string("localhost"));
        QCOMPARE(port, 7000);
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral("h:"), &host, &port));
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral("h:70000"), &host, &port));
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral(":80"), &host, &port));
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral("h:x1"), &host, &port));
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral("h:0"), &host, &port));
        QVERIFY(!CTavixApp::ParseServer(QStringLiteral("::1"), &host, &port));
        QVERIFY(CTavixApp::ParseServer(QStringLiteral(" [::1]:7001 "), &host, &port));
        QCOMPARE(host, std::string("::1"));
        QCOMPARE(port, 7001);
    }

    void commandLineAndCancelledLogin() {
        CTavixApp bad;
        QString error;
        QVERIFY(
            !bad.ParseArguments({QStringLiteral("Tavix"), QStringLiteral("--server"), QStringLiteral("h:0")}, &error));
        QVERIFY(error.contains(QStringLiteral("--server")));

        CTavixApp app;
        QVERIFY(app.ParseArguments({QStringLiteral("Tavix"), QStringLiteral("--server"), QStringLiteral("127.0.0.1:1")},
                                   &error));
        QCOMPARE(app.State().serverAddress, std::string("127.0.0.1"));
        QCOMPARE(app.State().port, 1);
        QVERIFY(app.State().moreServers.empty());
        // A list: the first is the one tried first, the others follow in their order.
        CTavixApp listed;
        QVERIFY(listed.ParseArguments({QStringLiteral("Tavix"), QStringLiteral("--server"),
                                       QStringLiteral("10.0.0.1:7000,standby,10.0.0.3:7002")},
                                      &error));
        QCOMPARE(listed.State().serverAddress, std::string("10.0.0.1"));
        QCOMPARE(listed.State().port, 7000);
        QCOMPARE(listed.State().moreServers.size(), std::size_t(2));
        QCOMPARE(listed.State().moreServers[0].host, std::string("standby"));
        QCOMPARE(listed.State().moreServers[0].port, 9690);
        QCOMPARE(listed.State().moreServers[1].host, std::string("10.0.0.3"));
        QCOMPARE(listed.State().moreServers[1].port, 7002);
        CTavixApp badItem;
        QVERIFY(!badItem.ParseArguments(
            {QStringLiteral("Tavix"), QStringLiteral("--server"), QStringLiteral("10.0.0.1:7000,")}, &error));
        QVERIFY(!badItem.ParseArguments(
            {QStringLiteral("Tavix"), QStringLiteral("--server"), QStringLiteral("a:1,b:99999")}, &error));
        // Cancelling the login ends the run before any main window exists.
        bool sawLogin = false;
        QTimer cancel;
        cancel.setInterval(10);
        connect(&cancel, &QTimer::timeout, this, [&] {
            if (auto* login = qobject_cast<CLoginDlg*>(QApplication::activeModalWidget())) {
                sawLogin = true;
                QTest::keyClick(login, Qt::Key_Escape);
            }
        });
        cancel.start();
        QCOMPARE(app.Run(), 0);
        QVERIFY(sawLogin);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<CMainFrame*>(w));
    }

    void acceptedLoginStartsTheMainWindow() {
        tavix::test::FakeTradingServer server;
        server.SetAutoReply(net::kCmdLogin, [](const net::Frame&) {
            return ToGbk(QStringLiteral("0,,,欢迎参赛,,,100000.00,,,")) + std::string(net::kClientVersion) +
                   ",,,A123456:0654321,,,0,,,demo01";
        });
        const bool iniExisted = QFile::exists(ClientIniLocation().path);
        CTavixApp app;
        QString error;
        QVERIFY(app.ParseArguments({QStringLiteral("Tavix"), QStringLiteral("--server"),
                                    QStringLiteral("127.0.0.1:") + QString::number(server.Port())},
                                   &error));

        // Logs in through the dialog, then looks at the main window and ends the run with the
        // answer to a password change, which reaches the window through the link.
        bool loginSent = false;
        QPointer<CMainFrame> frame;
        bool maximized = false;
        QStringList panes;
        std::unique_ptr<ModalRecorder> modal;
        QTimer driver;
        driver.setInterval(20);
        connect(&driver, &QTimer::timeout, this, [&] {
            if (!loginSent) {
                auto* login = qobject_cast<CLoginDlg*>(QApplication::activeModalWidget());
                if (!login || !server.Connected())
                    return;
                login->findChild<QComboBox*>(QStringLiteral("id1178"))->setEditText(QStringLiteral("demo"));
                login->findChild<QLineEdit*>(QStringLiteral("id1076"))->setText(QStringLiteral("demo123"));
                login->OnLogin();
                loginSent = true;
                return;
            }
            if (frame)
                return;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<CMainFrame*>(w); f && f->isVisible())
                    frame = f;
            if (!frame)
                return;
            maximized = frame->windowState() & Qt::WindowMaximized;
            for (int i = 0; i < CStatusPanes::kPaneCount; ++i)
                panes << frame->Panes()->PaneText(i);
            modal = std::make_unique<ModalRecorder>();
            server.Send(net::kCmdChangePassword, "0");
        });
        driver.start();
        QTimer::singleShot(30000, this, [] { QCoreApplication::exit(1); }); // a run that never ends fails
        QCOMPARE(app.Run(), 0);
        driver.stop();
        if (!iniExisted)
            QFile::remove(ClientIniLocation().path); // the login saved the user name there

        QVERIFY(loginSent);
        QVERIFY(frame);
        QVERIFY(maximized);
        QCOMPARE(panes, QStringList({QStringLiteral("Quorvex"), QStringLiteral("demo01"), QStringLiteral("欢迎参赛"),
                                     QStringLiteral("可用金额"), QStringLiteral("100000.00元"), QStringLiteral("正常"),
                                     QStringLiteral("行情 --:--:--")}));
        QVERIFY(modal);
        QCOMPARE(modal->Texts(), QStringList{QStringLiteral("密码修改成功,请重新登录系统")});
        // The initial load went out before the window opened.
        for (int command :
             {net::kCmdPositions, net::kCmdFunds, net::kCmdTodayTrades, net::kCmdSettlement, net::kCmdTodayOrders})
            QVERIFY2(server.CountOf(command) >= 1, QByteArray::number(command));
    }

    void statusPanes() {
        Fixture f;
        CStatusPanes* panes = f.frame.Panes();
        const QStringList texts = {QStringLiteral("Quorvex"),      QStringLiteral("demo01"),
                                   QStringLiteral("欢迎参赛"),     QStringLiteral("可用金额"),
                                   QStringLiteral("5000.00元"),    QStringLiteral("正常"),
                                   QStringLiteral("行情 --:--:--")};
        const int widths[] = {190, 70, 70, 70, 130, 90, 200};
        const QColor dark(0, 4, 20), red(255, 0, 0);
        const QColor colours[] = {dark, QColor(), dark, QColor(), red, dark, dark}; // 正常 is no alarm
        for (int i = 0; i < CStatusPanes::kPaneCount; ++i) {
            QCOMPARE(panes->PaneText(i), texts[i]);
            QCOMPARE(panes->PaneWidth(i), widths[i]);
            QCOMPARE(panes->PaneColor(i), colours[i]);
        }
        QVERIFY(panes->toolTip().contains(QStringLiteral("Ctrl+L")));
        QCOMPARE(f.frame.windowTitle(), QStringLiteral("Quorvex"));

        f.frame.showNormal();
        f.frame.resize(1000, 600);
        QTRY_COMPARE(f.frame.width(), 1000);
        const int shares[] = {160, 80, 80, 80, 100, 80, 400};
        for (int i = 0; i < CStatusPanes::kPaneCount; ++i)
            QTRY_COMPARE(panes->PaneWidth(i), shares[i]);

        for (const std::string status : {"", "1", "00"}) {
            Fixture frozen(false, status);
            QCOMPARE(frozen.frame.Panes()->PaneText(CMainFrame::kPaneStatus), QStringLiteral("冻结"));
            QCOMPARE(frozen.frame.Panes()->PaneColor(CMainFrame::kPaneStatus), red);
        }

        // Narrow, with long texts: the account's panes show whole and the panes fit the window.
        f.frame.resize(600, 400);
        QTRY_COMPARE(f.frame.width(), 600);
        net::FundsRecord funds{};
        net::StoreField(funds.availableFunds, "1000000.00");
        f.client.state.funds.Store(funds);
        f.frame.ShowNotice(QStringLiteral("成交：买入 600000 浦发银行 1000股 @7.11"));
        QTRY_COMPARE(panes->PaneText(CMainFrame::kPaneFunds), QStringLiteral("1000000.00元"));
        int total = 0;
        for (int i = 0; i < CStatusPanes::kPaneCount; ++i) {
            const int needed = panes->fontMetrics().horizontalAdvance(panes->PaneText(i)) + 6;
            if (i >= CMainFrame::kPaneUser && i <= CMainFrame::kPaneStatus)
                QVERIFY2(panes->PaneWidth(i) >= needed, qPrintable(panes->PaneText(i)));
            total += panes->PaneWidth(i) + 2;
        }
        QVERIFY2(total <= 600, qPrintable(QString::number(total)));
    }

    void availableFundsFollowTheFundsRecord() {
        Fixture f;
        net::FundsRecord funds{};
        net::StoreField(funds.availableFunds, "12345.67");
        f.client.state.funds.Store(funds);
        QTRY_COMPARE_WITH_TIMEOUT(f.frame.Panes()->PaneText(CMainFrame::kPaneFunds), QStringLiteral("12345.67元"),
                                  3000);
        QCOMPARE(f.client.state.availableFundsText, std::string("12345.67"));
    }

    void routingByLabel_data() {
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("message");
        QTest::addColumn<QStringList>("calls");
        const QStringList none;
        const QStringList positions{QStringLiteral("positions")};
        const QStringList trades{QStringLiteral("trades")};
        const QStringList orders{QStringLiteral("orders")};
        QTest::newRow("buy positions") << QStringLiteral("买入[F1]") << 1128 << positions;
        QTest::newRow("sell positions") << QStringLiteral("卖出[F2]") << 1128 << positions;
        QTest::newRow("funds positions") << QStringLiteral("资金股票") << 1128 << positions;
        QTest::newRow("orders view positions") << QStringLiteral("当日委托") << 1128 << none;
        QTest::newRow("empty label") << QString() << 1128 << none;
        QTest::newRow("buy trades") << QStringLiteral("买入[F1]") << 1129 << trades;
        QTest::newRow("trades view") << QStringLiteral("当日成交") << 1129 << trades;
        QTest::newRow("funds trades") << QStringLiteral("资金股票") << 1129 << none;
        QTest::newRow("sell orders") << QStringLiteral("卖出[F2]") << 1130 << orders;
        QTest::newRow("orders view") << QStringLiteral("当日委托") << 1130 << orders;
        QTest::newRow("trades view orders") << QStringLiteral("当日成交") << 1130 << none;
        QTest::newRow("history any label")
            << QStringLiteral("资金明细") << 1124 << QStringList{QStringLiteral("history")};
    }

    void routingByLabel() {
        QFETCH(QString, label);
        QFETCH(int, message);
        QFETCH(QStringList, calls);
        Fixture f;
        RecordingView* view = f.Record(label);
        QVERIFY(view);
        QCOMPARE(f.frame.CurrentViewLabel(), label);
        f.frame.OnTableStored(message);
        QCOMPARE(view->calls, calls);
    }

    // Table notifications wait for the window; replies whose handler may open a dialog do
    // not, and the windows still see them in the order they were sent.
    void notificationsWaitOnlyWhereTheyMust() {
        Fixture f;
        RecordingView* view = f.Record(QStringLiteral("资金股票"));
        QVERIFY(!f.client.notifier.HasMainFrame());
        f.client.notifier.SetMainFrame(&f.frame);
        QVERIFY(f.client.notifier.HasMainFrame());
        ModalRecorder modal;
        modal.onShow = [&](const ModalRequest& r) { view->calls << r.text; };

        // The user interface thread does not run its event loop until the sender returned or
        // the wait ran out, so an event-loop delivery cannot pass for a direct one.
        const auto returnsWhileBusy = [](std::future<void>& sent) {
            return sent.wait_for(std::chrono::milliseconds(300)) == std::future_status::ready;
        };

        std::atomic<int> handledAtReturn{-1};
        auto table = std::async(std::launch::async, [&] {
            f.client.notifier.NotifyTable(net::kMsgPositionsStored);
            handledAtReturn = static_cast<int>(view->handled.load());
        });
        QVERIFY(!returnsWhileBusy(table)); // it waits for the window...
        QTRY_VERIFY(table.wait_for(0ms) == std::future_status::ready);
        QCOMPARE(handledAtReturn.load(), 1); // ...and returns only once the window handled it

        auto replies = std::async(std::launch::async, [&] {
            f.client.notifier.PostReply(net::kMsgOrderReply, ToGbk(QStringLiteral("1,可用资金不足")));
            f.client.notifier.PostReply(net::kMsgPasswordReply, ToGbk(QStringLiteral("5,原密码错误")));
            f.client.notifier.PostReply(net::kMsgReloginFailed, ToGbk(QStringLiteral("账户已冻结")));
            f.client.notifier.NotifyTable(net::kMsgPositionsStored);
        });
        // The three replies went without waiting; the table behind them waits for its turn.
        QTRY_VERIFY2(view->calls.size() == 5, qPrintable(view->calls.join(QLatin1Char('/'))));
        QTRY_VERIFY(replies.wait_for(0ms) == std::future_status::ready);
        QCOMPARE(view->calls, QStringList({QStringLiteral("positions"), QStringLiteral("可用资金不足"),
                                           QStringLiteral("密码修改失败，原密码错误"),
                                           QStringLiteral("重新登录失败：账户已冻结"), QStringLiteral("positions")}));

        auto posted = std::async(std::launch::async, [&] {
            f.client.notifier.PostReply(net::kMsgOrderReply, ToGbk(QStringLiteral("1,价格超出涨跌停")));
        });
        QVERIFY(returnsWhileBusy(posted));
        QCOMPARE(view->calls.size(), 5); // not handled yet: the event loop has not run
        QTRY_COMPARE(view->calls.last(), QStringLiteral("价格超出涨跌停"));

        // Closing releases a sender that waits for a window which will not answer.
        std::thread blocked([&] { f.client.notifier.NotifyTable(net::kMsgPositionsStored); });
        f.client.notifier.Close();
        blocked.join();
        QVERIFY(!f.client.notifier.HasMainFrame());
        f.client.notifier.PostReply(net::kMsgOrderReply, ToGbk(QStringLiteral("1,不该出现")));
        QCoreApplication::processEvents();
        QCOMPARE(view->calls.size(), 6);
    }

    // While an order answer is on screen the network thread keeps storing quotes.
    void quotesFlowWhileAnAnswerIsShown() {
        Fixture f(true);
        f.client.notifier.SetMainFrame(&f.frame);
        ModalRecorder modal;
        bool storedWhileOpen = false;
        modal.onShow = [&](const ModalRequest&) {
            // The dialog is "open" until this returns; the event loop does not run meanwhile.
            f.client.server.Send(net::kCmdQuoteUpdate,
                                 "600000,PF,10.12,10.00,9.99,9.98,9.97,9.96,9.95,100,200,300,400,500,"
                                 "10.00,10.01,10.02,10.03,10.04,100,200,300,400,500|");
            net::QuoteRecord quote{};
            const auto deadline = std::chrono::steady_clock::now() + 5s;
            while (!storedWhileOpen && std::chrono::steady_clock::now() < deadline) {
                storedWhileOpen = f.client.state.quotes.FindQuote("600000", quote);
                std::this_thread::sleep_for(5ms);
            }
        };
        f.client.server.Send(net::kCmdOrder, ToGbk(QStringLiteral("1,可用资金不足")));
        QTRY_COMPARE(modal.Texts(), QStringList{QStringLiteral("可用资金不足")});
        QVERIFY(storedWhileOpen);
    }

    // The last pane tells the link's state: the last quote's time while the link is up, red
    // from the break until the re-login is accepted.
    void linkPaneFollowsTheLink() {
        net::LinkStatus status;
        status.phase = net::LinkPhase::kLive;
        QCOMPARE(DescribeLink(status).text, QStringLiteral("行情 --:--:--"));
        QVERIFY(!DescribeLink(status).alarm);
        status.lastQuote = QDateTime(QDate(2026, 3, 2), QTime(9, 31, 5)).toSecsSinceEpoch();
        QCOMPARE(DescribeLink(status).text, QStringLiteral("行情 09:31:05"));
        // The market's state follows the time unless it is continuous trading.
        status.marketPhase = ToGbk(QStringLiteral("收盘集合竞价"));
        QCOMPARE(DescribeLink(status).text, QStringLiteral("行情 09:31:05 收盘集合竞价"));
        QVERIFY(!DescribeLink(status).alarm);
        status.marketPhase = ToGbk(QStringLiteral("交易中"));
        QCOMPARE(DescribeLink(status).text, QStringLiteral("行情 09:31:05"));
        status.marketPhase = ToGbk(QStringLiteral("休市"));
        QCOMPARE(DescribeLink(status).text, QStringLiteral("行情 09:31:05 休市"));
        status.phase = net::LinkPhase::kBroken;
        QCOMPARE(DescribeLink(status).text, QStringLiteral("连接中断，正在重连…"));
        QVERIFY(DescribeLink(status).alarm);
        status.phase = net::LinkPhase::kRefused;
        QVERIFY(DescribeLink(status).alarm);

        Fixture f(true);
        f.client.notifier.SetMainFrame(&f.frame);
        CStatusPanes* panes = f.frame.Panes();
        f.client.server.Send(net::kCmdLogin, "0,,,ok");
        QTRY_COMPARE(panes->PaneText(CMainFrame::kPaneSpare), QStringLiteral("行情 --:--:--"));
        QVERIFY(panes->PaneColor(CMainFrame::kPaneSpare) != QColor(255, 0, 0));
        f.client.server.Send(net::kCmdQuoteUpdate, "");
        QTRY_VERIFY(panes->PaneText(CMainFrame::kPaneSpare) != QStringLiteral("行情 --:--:--"));
        const QString shown = panes->PaneText(CMainFrame::kPaneSpare);
        QVERIFY2(QTime::fromString(shown.mid(3), QStringLiteral("HH:mm:ss")).isValid(), qPrintable(shown));

        // Broken: red at once, and red until the server accepts the re-login.
        f.client.server.Drop();
        QTRY_COMPARE(panes->PaneText(CMainFrame::kPaneSpare), QStringLiteral("连接中断，正在重连…"));
        QCOMPARE(panes->PaneColor(CMainFrame::kPaneSpare), QColor(255, 0, 0));
        QVERIFY(f.client.server.WaitForCommand(net::kCmdLogin, 5000ms));
        QTest::qWait(600); // a pane refresh passes: still red while the re-login is unanswered
        QCOMPARE(panes->PaneText(CMainFrame::kPaneSpare), QStringLiteral("连接中断，正在重连…"));
        f.client.server.Send(net::kCmdLogin, "0,,,ok");
        QTRY_COMPARE(panes->PaneText(CMainFrame::kPaneSpare), shown);
        QVERIFY(panes->PaneColor(CMainFrame::kPaneSpare) != QColor(255, 0, 0));

        // The server's word on the market follows the time, and fits the pane at 1200×700.
        f.client.server.Send(net::kCmdMarketPhase, ToGbk(QStringLiteral("收盘集合竞价")));
        QTRY_COMPARE(panes->PaneText(CMainFrame::kPaneSpare), shown + QStringLiteral(" 收盘集合竞价"));
        f.frame.resize(1200, 700);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        const int needed = panes->fontMetrics().horizontalAdvance(panes->PaneText(CMainFrame::kPaneSpare)) + 6;
        QVERIFY2(needed <= panes->PaneWidth(CMainFrame::kPaneSpare), qPrintable(QString::number(needed)));
    }

    void treeContentAndStart() {
        Fixture f;
        QTreeWidget* tree = f.Tree();
        QCOMPARE(tree->objectName(), QStringLiteral("id1000"));
        QStringList top;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            top << tree->topLevelItem(i)->text(0);
        QCOMPARE(top, QStringList({QStringLiteral("买入[F1]"), QStringLiteral("卖出[F2]"), QStringLiteral("撤单[F3]"),
                                   QStringLiteral("查询[F4]"), QStringLiteral("大赛排名[F6]"),
                                   QStringLiteral("修改密码"), QStringLiteral("行情")}));
        QTreeWidgetItem* market = f.Item(QStringLiteral("行情"));
        QCOMPARE(market->childCount(), 2);
        QCOMPARE(market->child(0)->text(0), QStringLiteral("行情报价"));
        QCOMPARE(market->child(1)->text(0), QStringLiteral("自选股"));
        QVERIFY(market->isExpanded());
        QTreeWidgetItem* query = f.Item(QStringLiteral("查询[F4]"));
        QCOMPARE(query->childCount(), 7);
        QCOMPARE(query->child(6)->text(0), QStringLiteral("交 割 单"));
        QVERIFY(query->isExpanded());
        QCOMPARE(tree->currentItem(), f.Item(QStringLiteral("资金股票")));
        QVERIFY(tree->currentItem()->isSelected());
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("资金股票"));
        QVERIFY(!query->icon(0).isNull());
        QCOMPARE(tree->palette().color(QPalette::Base), QColor(240, 240, 240));
        QVERIFY(f.frame.RightView());
        QCOMPARE(ViewClass(f.frame), QByteArray("CMoneyStockView"));
        // A later initial update does not fill the tree again.
        f.frame.LeftView()->OnInitialUpdate();
        QCOMPARE(tree->topLevelItemCount(), 7);
    }

    void treeClicksShowTheirViews() {
        // Every function of the tree and the view it shows.
        const std::pair<const char*, const char*> kViews[] = {
            {"买入[F1]", "CBuyView"},        {"卖出[F2]", "CSellView"},        {"撤单[F3]", "CCancelView"},
            {"资金股票", "CMoneyStockView"}, {"当日委托", "CTodayWeituoView"}, {"当日成交", "CTodayTradeView"},
            {"历史委托", "CHisWeituoView"},  {"历史成交", "CHisTradeView"},    {"资金明细", "CHisMoneyView"},
            {"交 割 单", "CHisJgdView"},     {"修改密码", "CPwdView"},         {"行情报价", "CQuoteBoardView"},
            {"自选股", "CWatchlistView"}};
        Fixture f(true);
        f.frame.resize(900, 700);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        for (const auto& [label, viewClass] : kViews) {
            QTreeWidgetItem* item = f.Item(QString::fromUtf8(label));
            QVERIFY2(item, label);
            ClickItem(f.Tree(), item);
            QCOMPARE(f.frame.CurrentViewLabel(), QString::fromUtf8(label));
            QCOMPARE(ViewClass(f.frame), QByteArray(viewClass));
        }
    }

    void treeClicksSwitchViews() {
        Fixture f(true);
        f.frame.resize(900, 700);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QTreeWidget* tree = f.Tree();

        const QString first = QStringLiteral("资金股票");
        const QString second = QStringLiteral("当日委托");
        ClickItem(tree, f.Item(first));
        QCOMPARE(f.frame.CurrentViewLabel(), first);
        QPointer<CTFormView> view = f.frame.RightView();
        QCOMPARE(ViewClass(f.frame), QByteArray("CMoneyStockView"));
        view->setProperty("marker", 1);

        // The same function again: the view is not recreated.
        ClickItem(tree, f.Item(first));
        QCOMPARE(f.frame.RightView(), view.data());
        QCOMPARE(view->property("marker").toInt(), 1);

        // Another function, then back: a fresh view each time, the old one destroyed.
        ClickItem(tree, f.Item(second));
        QCOMPARE(ViewClass(f.frame), QByteArray("CTodayWeituoView"));
        QTRY_VERIFY(!view);
        ClickItem(tree, f.Item(first));
        QCOMPARE(ViewClass(f.frame), QByteArray("CMoneyStockView"));
        QVERIFY(!f.frame.RightView()->property("marker").isValid());

        // The group only expands.
        view = f.frame.RightView();
        ClickItem(tree, f.Item(QStringLiteral("查询[F4]")));
        QCOMPARE(f.frame.CurrentViewLabel(), first);
        QCOMPARE(f.frame.RightView(), view.data());
    }

    // The tree from the keyboard: the pane always shows what the highlight names.
    void treeKeyboard() {
        Fixture f;
        f.frame.resize(900, 700);
        f.frame.showNormal();
        f.frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.frame));
        QTreeWidget* tree = f.Tree();
        ClickItem(tree, f.Item(QStringLiteral("买入[F1]")));
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(tree->currentItem(), f.Item(QStringLiteral("卖出[F2]")));
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("卖出[F2]"));
        QVERIFY(f.frame.RightView()->metaObject()->inherits(FindFunction(QStringLiteral("卖出[F2]"))->viewClass));
        QCOMPARE(QApplication::focusWidget(), tree); // arrowing on keeps the focus in the tree
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, Qt::Key_Down); // the group: nothing opens
        QCOMPARE(tree->currentItem(), f.Item(QStringLiteral("查询[F4]")));
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("撤单[F3]"));
        QTest::keyClick(tree, Qt::Key_Return); // Enter closes and opens the group
        QVERIFY(!f.Item(QStringLiteral("查询[F4]"))->isExpanded());
        QTest::keyClick(tree, Qt::Key_Return);
        QVERIFY(f.Item(QStringLiteral("查询[F4]"))->isExpanded());
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("资金股票"));
        QTest::keyClick(tree, Qt::Key_Up);
        QTest::keyClick(tree, Qt::Key_Up);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("撤单[F3]"));

        // Enter on a leaf opens it and hands the focus to the form's first field.
        f.frame.ShowFunction(QStringLiteral("当日委托"));
        QTest::keyClick(tree, Qt::Key_Return);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("撤单[F3]"));
        QVERIFY(f.frame.RightView()->isAncestorOf(QApplication::focusWidget()));
    }

    // F1–F4 from anywhere in the window, as a click on the tree; F5 refreshes the view.
    void functionKeys() {
        Fixture f(true);
        f.frame.resize(900, 700);
        f.frame.showNormal();
        f.frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.frame));
        const struct {
            Qt::Key key;
            const char16_t* label;
        } keys[] = {{Qt::Key_F1, u"买入[F1]"},
                    {Qt::Key_F2, u"卖出[F2]"},
                    {Qt::Key_F3, u"撤单[F3]"},
                    {Qt::Key_F4, u"资金股票"},
                    {Qt::Key_F6, u"大赛排名[F6]"}};
        for (const auto& k : keys) {
            const QString label = QString::fromUtf16(k.label);
            QWidget* from = QApplication::focusWidget() ? QApplication::focusWidget() : &f.frame;
            QTest::keyClick(from, k.key);
            QCOMPARE(f.frame.CurrentViewLabel(), label);
            QCOMPARE(f.Tree()->currentItem(), f.Item(label));
            QVERIFY(f.frame.RightView()->metaObject()->inherits(FindFunction(label)->viewClass));
        }
        // An order form opened by its key has its code edit focused.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        auto* code = f.frame.RightView()->findChild<QLineEdit*>(QStringLiteral("id1002"));
        QCOMPARE(QApplication::focusWidget(), code);
        // Its key again, from another field of the open form: back to the code, which typing
        // replaces, ready for the next order.
        code->setText(QStringLiteral("600000"));
        auto* quantity = f.frame.RightView()->findChild<QLineEdit*>(QStringLiteral("id1011"));
        quantity->setFocus();
        QTest::keyClick(quantity, Qt::Key_F1);
        QCOMPARE(QApplication::focusWidget(), code);
        QCOMPARE(code->selectedText(), QStringLiteral("600000"));

        // F5 in the funds view asks for positions and funds again. Opening the view asks once
        // first: that query is waited for, so it is not taken for F5's.
        const int beforeOpen = f.client.server.CountOf(net::kCmdPositions);
        QTest::keyClick(code, Qt::Key_F4);
        QTRY_COMPARE(f.client.server.CountOf(net::kCmdPositions), beforeOpen + 1);
        const int positions = beforeOpen + 1;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &f.frame, Qt::Key_F5);
        QTRY_COMPARE(f.client.server.CountOf(net::kCmdPositions), positions + 1);

        // Locked: the keys do nothing.
        f.frame.Lock();
        QTest::keyClick(&f.frame, Qt::Key_F1);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("资金股票"));
    }

    // Only the left button selects; right and middle clicks leave the selection alone, so
    // a double-click on a position still opens the sell view afterwards.
    void treeMouseButtons() {
        Fixture f(true);
        f.frame.resize(900, 800);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QTreeWidget* tree = f.Tree();
        ClickItem(tree, f.Item(QStringLiteral("资金股票")));
        const QRect last = tree->visualItemRect(f.Item(QStringLiteral("自选股")));
        const QPoint empty(20, last.bottom() + 15);
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mouseClick(tree->viewport(), button, {}, empty);
            QTest::mouseClick(tree->viewport(), button, {},
                              tree->visualItemRect(f.Item(QStringLiteral("买入[F1]"))).center());
            QCOMPARE(tree->currentItem(), f.Item(QStringLiteral("资金股票")));
            QVERIFY(f.Item(QStringLiteral("资金股票"))->isSelected());
            QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("资金股票"));
        }
        f.frame.SellPosition(600);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("卖出[F2]"));
        QCOMPARE(tree->currentItem(), f.Item(QStringLiteral("卖出[F2]"))); // the highlight follows

        // A double-click on the group toggles it, whether it was open or closed.
        QTreeWidgetItem* group = f.Item(QStringLiteral("查询[F4]"));
        const QPoint at = tree->visualItemRect(group).center();
        QVERIFY(group->isExpanded());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(!group->isExpanded());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
        QVERIFY(group->isExpanded());
    }

    void clickOnEmptySpace() {
        Fixture f;
        f.frame.resize(900, 800);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QTreeWidget* tree = f.Tree();
        RecordingView* view = f.Record(QStringLiteral("资金股票"));
        const QRect last = tree->visualItemRect(f.Item(QStringLiteral("自选股")));
        QVERIFY(last.bottom() + 20 < tree->viewport()->height());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(20, last.bottom() + 15));
        QVERIFY(tree->selectedItems().isEmpty());
        QCOMPARE(f.frame.CurrentViewLabel(), QString());
        QCOMPARE(f.frame.RightView(), view);

        // No function chosen: refreshes reach nothing and the sell message does nothing.
        f.frame.OnTableStored(net::kMsgPositionsStored);
        f.frame.SellPosition(600);
        QCOMPARE(f.frame.RightView(), view);
        QCOMPARE(f.frame.CurrentViewLabel(), QString());
        QVERIFY(view->calls.isEmpty());
    }

    void sellPositionOpensTheSellView() {
        Fixture f(true);
        f.frame.SellPosition(600);
        QCOMPARE(f.frame.CurrentViewLabel(), QStringLiteral("卖出[F2]"));
        QCOMPARE(ViewClass(f.frame), QByteArray("CSellView"));
        auto* code = f.frame.RightView()->findChild<QLineEdit*>(QStringLiteral("id1002"));
        auto* price = f.frame.RightView()->findChild<QLineEdit*>(QStringLiteral("id1007"));
        QVERIFY(code && price);
        QCOMPARE(code->text(), QStringLiteral("000600"));
        QCOMPARE(price->text(), QString());
        f.frame.SellPosition(1);
        QCOMPARE(code->text(), QStringLiteral("000001"));
        QCOMPARE(f.Tree()->currentItem(), f.Item(QStringLiteral("卖出[F2]"))); // the highlight follows the pane
    }

    void orderAnswers() {
        Fixture f(true);
        ModalRecorder modal;
        // The funds view shown first asks for what it shows.
        QVERIFY(f.client.WaitForCommands({net::kCmdPositions, net::kCmdFunds}));
        f.frame.OnOrderReply("0");
        f.frame.OnOrderReply("1");
        f.frame.OnOrderReply("");
        QVERIFY(modal.requests.isEmpty());

        // A refusal asks for the funds, whose answer tells whether the account is frozen.
        f.frame.OnOrderReply(ToGbk(QStringLiteral("1,可用资金不足")));
        QCOMPARE(modal.Texts(), QStringList{QStringLiteral("可用资金不足")});
        QVERIFY(f.client.WaitForCommands({net::kCmdFunds}));

        // Accepted: the six refresh queries go out, also while the answer is shown.
        modal.onShow = [&](const ModalRequest&) {
            QVERIFY(f.client.WaitForCommands({net::kCmdFunds, net::kCmdPositions, net::kCmdTodayTrades,
                                              net::kCmdSettlement, net::kCmdFundsFlow, net::kCmdTodayOrders}));
        };
        f.frame.OnOrderReply(ToGbk(QStringLiteral("0,委托成功,合同号123")));
        QCOMPARE(modal.Texts().last(), QStringLiteral("委托成功"));
        modal.onShow = nullptr;
        QCOMPARE(f.client.server.CountOf(net::kCmdFunds), 3);

        // The same answer sent by the server reaches the frame through the network thread.
        f.client.notifier.SetMainFrame(&f.frame);
        f.client.server.Send(net::kCmdOrder, ToGbk(QStringLiteral("5,价格超出涨跌停")));
        QTRY_COMPARE(modal.Texts().last(), QStringLiteral("价格超出涨跌停"));
    }

    void passwordAnswers() {
        Fixture f;
        ModalRecorder modal;
        f.frame.OnPasswordReply("5");
        QVERIFY(modal.requests.isEmpty());
        f.frame.OnPasswordReply(ToGbk(QStringLiteral("5,原密码错误")));
        QCOMPARE(modal.Texts(), QStringList{QStringLiteral("密码修改失败，原密码错误")});
        QCOMPARE(f.exitCode, -1);
        f.frame.OnPasswordReply("0");
        QCOMPARE(modal.Texts().last(), QStringLiteral("密码修改成功,请重新登录系统"));
        QCOMPARE(f.exitCode, 0);
    }

    void lockScreen() {
        Fixture f;
        ModalRecorder modal;
        // Unlocked: activation redraws the panels and opens nothing.
        RecordingView* view = f.Record(QStringLiteral("资金股票"));
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(&f.frame, &activate);
        QCOMPARE(view->calls, QStringList{QStringLiteral("redraw")});
        f.frame.OnLockedActivation();
        QCOMPARE(f.lockRuns, 0);

        // Locked: the content is hidden behind the cover and the dialog comes at once;
        // cancelled, it stays locked.
        f.frame.Lock();
        QVERIFY(f.frame.IsLocked());
        QTRY_COMPARE(f.lockRuns, 1);
        QVERIFY(f.frame.IsLocked());
        QVERIFY(!f.frame.LockDialog());

        // Empty and wrong entries, a second activation, then the right password.
        int dialogsSeen = 0;
        f.frame.SetLockDialogRunner([&](CLockDlg& d) {
            ++f.lockRuns;
            TryPasswords(f.frame, d, modal, dialogsSeen);
            return d.result();
        });
        f.frame.OnLockedActivation();
        QCOMPARE(f.lockRuns, 2);
        QCOMPARE(dialogsSeen, 1);
        QVERIFY(!f.frame.IsLocked());
        QVERIFY(!f.frame.LockDialog());
        QVERIFY(f.frame.Splitter()->isVisible() || !f.frame.isVisible());
    }

    // What a contestant must see without scrolling, at the sizes a small or scaled screen gives.
    void layoutFitsSmallScreens() {
        // 1600×1000: 1200×700. At twice the scale (800×500): the whole screen, not 600×350.
        // 1280×800: 960×640, not 960×560. A panel's room is not taken.
        QCOMPARE(CMainFrame::InitialSize({1600, 1000}, {1600, 1000}), QSize(1200, 700));
        QCOMPARE(CMainFrame::InitialSize({800, 500}, {800, 500}), QSize(800, 500));
        QCOMPARE(CMainFrame::InitialSize({1280, 800}, {1280, 800}), QSize(960, 640));
        QCOMPARE(CMainFrame::InitialSize({800, 500}, {800, 470}), QSize(800, 470));

        Fixture f;

        f.frame.resize(800, 500);
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QWidget* viewport = f.frame.RightPane()->viewport();
        const auto shown = [&](QWidget* w) {
            const QRect r(w->mapTo(viewport, QPoint(0, 0)), w->size());
            return viewport->rect().contains(r);
        };
        f.frame.ShowFunction(QStringLiteral("资金股票"));
        QTRY_VERIFY(f.frame.RightView()->findChild<QWidget*>(QStringLiteral("id1057")));
        for (const char* id : {"id1057", "id1060"}) // 可用金额, 总资产
            QVERIFY2(shown(f.frame.RightView()->findChild<QWidget*>(QLatin1StringView(id))), id);
        f.frame.ShowFunction(QStringLiteral("买入[F1]"));
        QTRY_VERIFY(f.frame.RightView()->findChild<QWidget*>(QStringLiteral("dayVolume")));
        // 卖五..买五's volumes, 涨幅, 跌停 and 成交量.
        for (int id : {1019, 1020, 1021, 1022, 1023, 1029, 1030, 1031, 1032, 1033, 1035, 1037})
            QVERIFY2(shown(f.frame.RightView()->findChild<QWidget*>(QStringLiteral("id%1").arg(id))),
                     QByteArray::number(id));
        QVERIFY(shown(f.frame.RightView()->findChild<QWidget*>(QStringLiteral("dayVolume"))));

        // At 1200×700 with the tree at its usual width, the positions list ends with 交易市场 whole.
        f.frame.resize(1200, 700);
        f.frame.Splitter()->setSizes({230, 964});
        f.frame.ShowFunction(QStringLiteral("资金股票"));
        auto* list = f.frame.RightView()->findChild<CListCtrlCl*>();
        QVERIFY(list);
        const int last = list->columnCount() - 1;
        QCOMPARE(list->horizontalHeaderItem(last)->text(), QStringLiteral("交易市场"));
        QTRY_VERIFY2(list->columnViewportPosition(last) + list->columnWidth(last) <= list->viewport()->width(),
                     qPrintable(QString::number(list->columnViewportPosition(last) + list->columnWidth(last))));
        for (int c = 0; c <= last; ++c)
            QVERIFY(list->columnWidth(c) >=
                    list->horizontalHeader()->fontMetrics().horizontalAdvance(list->horizontalHeaderItem(c)->text()));
        // Wide again: the columns take their own widths back (成本价 90, 盈亏比列(%) 110).
        f.frame.resize(1500, 700);
        QTRY_COMPARE(list->columnWidth(7), 110);
        QCOMPARE(list->columnWidth(6), 80);
    }

    // Without a window manager (the offscreen platform has none) Ctrl+L hides every pixel
    // of the content and asks for the password at once; nothing is minimised.
    void lockWithoutWindowManager() {
        Fixture f;
        f.frame.resize(800, 500);
        f.frame.showNormal();
        f.frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.frame));
        QTest::keyClick(&f.frame, Qt::Key_L, Qt::ControlModifier);
        QVERIFY(f.frame.IsLocked());
        QTRY_COMPARE(f.lockRuns, 1); // cancelled by the fixture's runner
        QVERIFY(!(f.frame.windowState() & Qt::WindowMinimized));
        QVERIFY(!f.frame.Splitter()->isVisible());
        QVERIFY(!f.frame.Panes()->isVisible());
        CLockCover* cover = f.frame.LockCover();
        QVERIFY(cover->isVisible());
        QCOMPARE(cover->geometry(), f.frame.rect());
        QCOMPARE(f.frame.childAt(QPoint(5, 5)), cover);
        QCOMPARE(f.frame.childAt(QPoint(400, f.frame.height() - 5)), cover); // the status bar too

        // The password dialog stands below the cover's text and button, inside the window,
        // at this size and at a smaller one.
        QRect dialogAt, textAt, buttonAt;
        f.frame.SetLockDialogRunner([&](CLockDlg& d) {
            ++f.lockRuns;
            dialogAt = d.geometry();
            textAt = QRect(cover->mapToGlobal(cover->TextRect().topLeft()), cover->TextRect().size());
            buttonAt = QRect(cover->UnlockButton()->mapToGlobal(QPoint(0, 0)), cover->UnlockButton()->size());
            return int(QDialog::Rejected);
        });
        for (const QSize size : {QSize(800, 500), QSize(640, 360)}) {
            f.frame.resize(size);
            QTRY_COMPARE(cover->size(), size);
            const int runs = f.lockRuns;
            QTest::mouseClick(cover, Qt::LeftButton, {}, QPoint(10, 10));
            QTRY_COMPARE(f.lockRuns, runs + 1);
            QVERIFY2(!dialogAt.intersects(textAt) && !dialogAt.intersects(buttonAt),
                     qPrintable(QStringLiteral("%1 %2").arg(dialogAt.y()).arg(buttonAt.bottom())));
            QVERIFY(QRect(f.frame.mapToGlobal(QPoint(0, 0)), size).contains(dialogAt));
        }
        f.frame.SetLockDialogRunner([&](CLockDlg& d) {
            ++f.lockRuns;
            return d.result();
        });

        // A click or Enter on the cover asks again; the keys of the functions stay dead.
        const int runs = f.lockRuns;
        QTest::mouseClick(cover, Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_COMPARE(f.lockRuns, runs + 1);
        QTest::keyClick(cover, Qt::Key_Return);
        QTRY_COMPARE(f.lockRuns, runs + 2);

        // Answers that arrive while locked wait for the unlock, in their order.
        ModalRecorder modal;
        f.frame.OnOrderReply(ToGbk(QStringLiteral("5,价格超出涨跌停")));
        f.frame.OnPasswordReply(ToGbk(QStringLiteral("5,原密码错误")));
        QVERIFY(modal.requests.isEmpty());
        bool clearInFront = false;
        f.frame.SetLockDialogRunner([&](CLockDlg& d) {
            ++f.lockRuns;
            clearInFront = modal.requests.isEmpty(); // nothing stands in front of the lock dialog
            d.findChild<QLineEdit*>(QStringLiteral("id1076"))->setText(QStringLiteral("secret"));
            d.OnOK();
            return d.result();
        });
        cover->UnlockButton()->click();
        QTRY_VERIFY(!f.frame.IsLocked());
        QVERIFY(clearInFront);
        QVERIFY(!cover->isVisible());
        QVERIFY(f.frame.Splitter()->isVisible());
        QVERIFY(f.frame.Panes()->isVisible());
        QCOMPARE(modal.Texts(),
                 QStringList({QStringLiteral("价格超出涨跌停"), QStringLiteral("密码修改失败，原密码错误")}));
    }

    // A dialog open when the lock comes neither stays readable nor acts: a question is
    // answered "no", a message is closed and shown again after the unlock.
    void lockClosesOpenDialogs() {
        Fixture f;
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QStringList visibleAtLock;
        const auto visibleDialogs = [] {
            QStringList titles;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<QDialog*>(w) && w->isVisible())
                    titles << QString::fromLatin1(w->metaObject()->className());
            return titles;
        };
        f.frame.SetLockDialogRunner([&](CLockDlg&) {
            ++f.lockRuns;
            visibleAtLock = visibleDialogs();
            return int(QDialog::Rejected);
        });

        // The sell confirmation of an order form, open when the idle lock fires. Modal runs
        // block, so what happens inside them is started from timers.
        QStringList atLock;
        const auto lockIn = [&](int ms) {
            QTimer::singleShot(ms, &f.frame, [&] {
                atLock = visibleDialogs();
                f.frame.Lock();
                // Should the lock leave a dialog open, it is closed later, so that the test
                // fails on what it checks rather than hanging in the dialog's modal run.
                QTimer::singleShot(2000, &f.frame, [] {
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && !qobject_cast<CLockDlg*>(d))
                            d->reject();
                });
            });
        };
        int answer = -1;
        QTimer::singleShot(0, &f.frame, [&] {
            lockIn(50);
            answer = AskYesNo(&f.frame, QStringLiteral("确认要卖出吗？"), QStringLiteral("提示")) ? 1 : 0;
        });
        QTRY_COMPARE(answer, 0);
        QCOMPARE(atLock, QStringList{QStringLiteral("QMessageBox")});
        QTRY_COMPARE(f.lockRuns, 1);
        QCOMPARE(visibleAtLock, QStringList());

        // An answer on screen: hidden while locked, back after the unlock.
        const auto unlock = [&](CLockDlg& d) {
            d.findChild<QLineEdit*>(QStringLiteral("id1076"))->setText(QStringLiteral("secret"));
            d.OnOK();
            return d.result();
        };
        f.frame.SetLockDialogRunner(unlock);
        f.frame.OnLockedActivation();
        QVERIFY(!f.frame.IsLocked());
        QString shownAgain;
        f.frame.SetLockDialogRunner([&](CLockDlg& d) {
            ++f.lockRuns;
            visibleAtLock = visibleDialogs();
            d.findChild<QLineEdit*>(QStringLiteral("id1076"))->setText(QStringLiteral("secret"));
            d.OnOK();
            QTimer::singleShot(50, &f.frame, [&] {
                if (auto* again = qobject_cast<CFailDlg*>(QApplication::activeModalWidget())) {
                    shownAgain = again->Message();
                    again->accept();
                }
            });
            return d.result();
        });
        bool closed = false;
        QTimer::singleShot(0, &f.frame, [&] {
            lockIn(50);
            ShowFailure(&f.frame, QStringLiteral("委托已受理"));
            closed = true;
        });
        QTRY_VERIFY(closed);
        QCOMPARE(atLock, QStringList{QStringLiteral("CFailDlg")});
        QCOMPARE(visibleAtLock, QStringList());
        QTRY_COMPARE(shownAgain, QStringLiteral("委托已受理"));
        QVERIFY(!f.frame.IsLocked());
    }

    // The lock in the context menus of the tree and the status bar, and after an idle time.
    void lockFromMenusAndIdle() {
        Fixture f;
        f.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&f.frame));
        QAction* lock = f.frame.LockAction();
        QVERIFY(f.Tree()->actions().contains(lock));
        QVERIFY(f.frame.Panes()->actions().contains(lock));
        QCOMPARE(f.Tree()->contextMenuPolicy(), Qt::ActionsContextMenu);
        lock->trigger();
        QVERIFY(f.frame.IsLocked());
        QTRY_COMPARE(f.lockRuns, 1);

        Fixture g;
        g.frame.showNormal();
        QVERIFY(QTest::qWaitForWindowExposed(&g.frame));
        g.frame.SetAutoLock(std::chrono::milliseconds(300));
        // Input keeps it unlocked...
        for (int i = 0; i < 6; ++i) {
            QTest::qWait(100);
            QTest::mouseMove(g.Tree()->viewport(), QPoint(10 + i, 10));
        }
        QVERIFY(!g.frame.IsLocked());
        // ...and idleness locks it.
        QTRY_VERIFY_WITH_TIMEOUT(g.frame.IsLocked(), 5000);
        g.frame.SetAutoLock(std::chrono::milliseconds(0));
    }

    void autoLockSetting() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("client.ini"));
        QCOMPARE(CMainFrame::AutoLockFromIni(path.toStdString()), std::chrono::milliseconds(0)); // off by default
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[loginfo]\nlastuser=demo\n[lock]\nidleminutes=5\n");
        file.close();
        QCOMPARE(CMainFrame::AutoLockFromIni(path.toStdString()), std::chrono::milliseconds(5 * 60 * 1000));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[lock]\nidleminutes=-3\n");
        file.close();
        QCOMPARE(CMainFrame::AutoLockFromIni(path.toStdString()), std::chrono::milliseconds(0));
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_MainFrame.moc"
