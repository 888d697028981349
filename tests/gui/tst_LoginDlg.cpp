#include "ShellTestClient.h"

#include "core/Gbk.h"
#include "core/IniFile.h"
#include "shell/LoginDlg.h"
#include "wire/Commands.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <memory>

namespace {

const std::string kMachineCode = "-1612345";

std::string Reply(const QString& text) {
    return ToGbk(text);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestLoginDlg final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString IniPath() const { return m_dir.filePath(QStringLiteral("client.ini")); }

    // A dialog over `client` whose update start and exit are recorded, not performed.
    struct Recorded {
        std::unique_ptr<CLoginDlg> dialog;
        QString program;
        QString argument;
        int starts = 0;
        int exitCode = -1;
    };
    std::unique_ptr<Recorded> MakeDialog(ShellTestClient& client) {
        auto r = std::make_unique<Recorded>();
        r->dialog = std::make_unique<CLoginDlg>(client.context, IniPath().toStdString(), kMachineCode);
        Recorded* raw = r.get();
        r->dialog->SetUpdateStarter([raw](const QString& program, const QString& argument) {
            raw->program = program;
            raw->argument = argument;
            ++raw->starts;
            return false; // as if update were missing: the client ends all the same
        });
        r->dialog->SetExitHandler([raw](int code) { raw->exitCode = code; });
        client.notifier.SetLoginDialog(r->dialog.get());
        return r;
    }
    static QComboBox* User(CLoginDlg& d) { return d.findChild<QComboBox*>(QStringLiteral("id1178")); }
    static QLineEdit* Password(CLoginDlg& d) { return d.findChild<QLineEdit*>(QStringLiteral("id1076")); }
    static QCheckBox* SaveBox(CLoginDlg& d) { return d.findChild<QCheckBox*>(QStringLiteral("id1051")); }

private slots:
    void init() { QFile::remove(IniPath()); }

    void iniFileReadsAndWritesLikeTheProfileFunctions() {
        WriteFile(IniPath(), "; saved users\r\n[other]\r\nuser0=x\r\n[LogInfo]\r\n  User0 = alice  \r\nsaveuser=1\r\n");
        const CIniFile ini(IniPath().toStdString());
        QCOMPARE(ini.Read("loginfo", "user0"), std::string("alice")); // names ignore case, blanks trimmed
        QCOMPARE(ini.Read("loginfo", "user1", "dflt"), std::string("dflt"));
        QCOMPARE(ini.ReadInt("loginfo", "saveuser", 0), 1);
        QCOMPARE(ini.ReadInt("loginfo", "bhuser", 0), 0);

        QVERIFY(ini.Write("loginfo", "user0", "bob"));    // replaced in place
        QVERIFY(ini.Write("loginfo", "lastuser", "bob")); // added to its section
        QVERIFY(ini.Write("fresh", "k", "v"));            // a new section
        QCOMPARE(ini.Read("loginfo", "user0"), std::string("bob"));
        QCOMPARE(ini.Read("loginfo", "lastuser"), std::string("bob"));
        QCOMPARE(ini.Read("other", "user0"), std::string("x"));
        QCOMPARE(ini.Read("fresh", "k"), std::string("v"));
        const QByteArray text = ReadFile(IniPath());
        QVERIFY(text.startsWith("; saved users\r\n"));
        QVERIFY(!text.contains("alice")); // replaced, not added beside

        // GBK bytes survive, and a read is cut to 127 bytes, never inside a character.
        const std::string gbk = ToGbk(QStringLiteral("张三"));
        QVERIFY(ini.Write("loginfo", "user1", gbk));
        QCOMPARE(ini.Read("loginfo", "user1"), gbk);
        const std::string longValue = std::string(126, 'a') + ToGbk(QStringLiteral("中"));
        QVERIFY(ini.Write("loginfo", "user2", longValue));
        QCOMPARE(ini.Read("loginfo", "user2"), std::string(126, 'a'));
        QVERIFY(ini.Write("loginfo", "user3", std::string(200, 'b')));
        QCOMPARE(ini.Read("loginfo", "user3"), std::string(127, 'b'));
    }

    void unwritableIniLosesOnlyTheNamesAndSaysSo() {
        const CIniFile ini(m_dir.filePath(QStringLiteral("missing/dir/client.ini")).toStdString());
        QCOMPARE(ini.Read("loginfo", "lastuser"), std::string());
        QVERIFY(!ini.Write("loginfo", "lastuser", "bob"));

        ShellTestClient client(false);
        CLoginDlg dialog(client.context, ini.Path(), kMachineCode);
        dialog.SetExitHandler([](int) {});
        dialog.SetUpdateStarter([](const QString&, const QString&) { return true; });
        User(dialog)->setEditText(QStringLiteral("bob"));
        SaveBox(dialog)->setChecked(true);
        ModalRecorder modal;
        dialog.OnLoginReply(Reply(QStringLiteral("0,,,x,,,1,,,19990101,,,a:b,,,0,,,bob,,,u http://h/f")));
        // The lost name is reported with the file it was meant for, then the login goes on.
        QCOMPARE(modal.requests.size(), 2);
        QVERIFY(modal.requests[0].text.startsWith(QStringLiteral("无法保存账户名到 ")));
        QVERIFY(modal.requests[0].text.endsWith(QStringLiteral("missing/dir/client.ini")));
        QCOMPARE(modal.requests[1].text, QStringLiteral("发现新版本，请先更新!"));

        // Unticking the box is a choice too: failing to store it is reported as well.
        modal.requests.clear();
        SaveBox(dialog)->setChecked(false);
        dialog.OnLoginReply(Reply(QStringLiteral("0,,,x,,,1,,,19990101,,,a:b,,,0,,,bob,,,u http://h/f")));
        QCOMPARE(modal.requests.size(), 2);
        QVERIFY(modal.requests[0].text.startsWith(QStringLiteral("无法保存账户名到 ")));
    }

    void savedUsersAreLoadedSortedWithTheLastUser() {
        // "lastuser" shows even though "saveuser" is 0.
        WriteFile(IniPath(), "[loginfo]\r\nsaveuser=0\r\nlastuser=carol\r\nuser0=bob\r\nuser5=Alice\r\n"
                             "user7=" +
                                 QByteArray::fromStdString(ToGbk(QStringLiteral("张三"))) + "\r\n");
        ShellTestClient client(false);
        auto r = MakeDialog(client);
        QComboBox* user = User(*r->dialog);
        QCOMPARE(user->count(), 3);
        QCOMPARE(user->itemText(0), QStringLiteral("Alice"));
        QCOMPARE(user->itemText(1), QStringLiteral("bob"));
        QCOMPARE(user->itemText(2), QStringLiteral("张三"));
        QCOMPARE(user->currentText(), QStringLiteral("carol"));
        QVERIFY(!SaveBox(*r->dialog)->isChecked());

        WriteFile(IniPath(), "[loginfo]\r\nsaveuser=1\r\n");
        auto again = MakeDialog(client);
        QVERIFY(SaveBox(*again->dialog)->isChecked());
        QCOMPARE(User(*again->dialog)->currentText(), QString());
    }

    // With a remembered name the password is typed at once into the password field (never
    // in clear text into the name box); after a rejection it is selected for the next try.
    void focusFollowsWhatIsMissing() {
        WriteFile(IniPath(), "[loginfo]\r\nsaveuser=1\r\nlastuser=carol\r\n");
        ShellTestClient client(false);
        auto r = MakeDialog(client);
        r->dialog->show();
        r->dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(r->dialog.get()));
        auto* password = r->dialog->findChild<QLineEdit*>(QStringLiteral("id1076"));
        QVERIFY(password);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("pw1"));
        QCOMPARE(password->text(), QStringLiteral("pw1"));
        QCOMPARE(User(*r->dialog)->currentText(), QStringLiteral("carol"));

        ModalRecorder modal;
        r->dialog->OnLoginReply(Reply(QStringLiteral("1,,,用户名或密码错误")));
        QCOMPARE(QApplication::focusWidget(), password);
        QCOMPARE(password->selectedText(), QStringLiteral("pw1"));

        QFile::remove(IniPath()); // no name remembered: the name box first
        auto fresh = MakeDialog(client);
        fresh->dialog->show();
        fresh->dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fresh->dialog.get()));
        QVERIFY(User(*fresh->dialog)->isAncestorOf(QApplication::focusWidget()) ||
                QApplication::focusWidget() == User(*fresh->dialog));
    }

    void savingTheUserName() {
        WriteFile(IniPath(), "[loginfo]\r\nuser0=bob\r\nlastuser=bob\r\n");
        const CIniFile ini(IniPath().toStdString());
        ShellTestClient client(false);
        ModalRecorder modal;
        const std::string mismatch = "0,,,x,,,1,,,19990101,,,a:b,,,0,,,srv,,,u http://h/f";

        // Not ticked: only "saveuser" changes.
        auto r = MakeDialog(client);
        User(*r->dialog)->setEditText(QStringLiteral("dave"));
        r->dialog->OnLoginReply(mismatch);
        QCOMPARE(ini.Read("loginfo", "saveuser"), std::string("0"));
        QCOMPARE(ini.Read("loginfo", "lastuser"), std::string("bob"));
        QCOMPARE(ini.Read("loginfo", "user1"), std::string());

        // Ticked: a name differing only in case is new; the same name is not stored twice.
        for (const QString& name : {QStringLiteral("Bob"), QStringLiteral("bob"), QStringLiteral("Bob")}) {
            auto d = MakeDialog(client);
            User(*d->dialog)->setEditText(name);
            SaveBox(*d->dialog)->setChecked(true);
            d->dialog->OnLoginReply(mismatch);
            QCOMPARE(ini.Read("loginfo", "lastuser"), ToGbk(name));
        }
        QCOMPARE(ini.Read("loginfo", "saveuser"), std::string("1"));
        QCOMPARE(ini.Read("loginfo", "user0"), std::string("bob"));
        QCOMPARE(ini.Read("loginfo", "user1"), std::string("Bob"));
        QCOMPARE(ini.Read("loginfo", "user2"), std::string());

        // All 100 slots taken: the name is not saved, the other keys are still written.
        QByteArray full = "[loginfo]\r\nsaveuser=0\r\n";
        for (int i = 0; i < 100; ++i)
            full += "user" + QByteArray::number(i) + "=u" + QByteArray::number(i) + "\r\n";
        WriteFile(IniPath(), full);
        auto d = MakeDialog(client);
        QCOMPARE(User(*d->dialog)->count(), 100);
        User(*d->dialog)->setEditText(QStringLiteral("newbie"));
        SaveBox(*d->dialog)->setChecked(true);
        d->dialog->OnLoginReply(mismatch);
        QCOMPARE(ini.Read("loginfo", "saveuser"), std::string("1"));
        QCOMPARE(ini.Read("loginfo", "lastuser"), std::string("newbie"));
        QCOMPARE(ReadFile(IniPath()).count("=newbie"), 1);
    }

    void validationComesBeforeAnyRequest() {
        ShellTestClient client;
        auto r = MakeDialog(client);
        ModalRecorder modal;
        r->dialog->OnLogin();
        User(*r->dialog)->setEditText(QStringLiteral("demo"));
        r->dialog->OnLogin();
        QCOMPARE(modal.Texts(), QStringList({QStringLiteral("请输入用户名"), QStringLiteral("请交易密码")}));
        QCOMPARE(modal.requests[0].kind, ModalRequest::Kind::kFailure);
        QCOMPARE(client.server.CountOf(net::kCmdLogin), 0);
    }

    void loginRequestCarriesTheMachineCode() {
        ShellTestClient client;
        auto r = MakeDialog(client);
        User(*r->dialog)->setEditText(QStringLiteral("张三"));
        Password(*r->dialog)->setText(QStringLiteral("pw1"));
        r->dialog->OnLogin();
        const auto frame = client.server.WaitForCommand(net::kCmdLogin, 5000ms);
        QVERIFY(frame);
        const std::string user = ToGbk(QStringLiteral("张三"));
        QVERIFY(frame->body.starts_with("user_name=" + user + "&pwd=pw1&yjm=" + kMachineCode));
        QVERIFY(frame->body.find("curuser=" + user) != std::string::npos);
        QCOMPARE(client.state.credentials.CurrentPassword(), std::string("pw1"));
    }

    void unsentLoginShowsTheConnectionNotice() {
        ShellTestClient client(false); // never connected
        auto r = MakeDialog(client);
        User(*r->dialog)->setEditText(QStringLiteral("demo"));
        Password(*r->dialog)->setText(QStringLiteral("pw"));
        ModalRecorder modal;
        r->dialog->OnLogin();
        QCOMPARE(modal.requests.size(), 1);
        QCOMPARE(modal.requests[0].kind, ModalRequest::Kind::kMessageBoxOk);
        QVERIFY(modal.requests[0].text.startsWith(QStringLiteral("连接委托主站失败！可能是以下原因：\r\n")));
        QVERIFY(modal.requests[0].caption.isEmpty());
    }

    void enterLogsInOncePerPress() {
        ShellTestClient client(false);
        auto r = MakeDialog(client);
        r->dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(r->dialog.get()));
        QComboBox* user = User(*r->dialog);
        QTRY_VERIFY(user->hasFocus() || user->lineEdit()->hasFocus());
        QTest::keyClick(user->lineEdit(), Qt::Key_Tab);
        QTRY_VERIFY(Password(*r->dialog)->hasFocus());

        ModalRecorder modal; // the empty user name makes every attempt visible
        QWidget* targets[] = {user->lineEdit(),
                              Password(*r->dialog),
                              r->dialog->findChild<QPushButton*>(QStringLiteral("id1069")),
                              r->dialog->findChild<QPushButton*>(QStringLiteral("id1070")),
                              SaveBox(*r->dialog),
                              r->dialog.get()};
        int expected = 0;
        for (QWidget* target : targets) {
            QTest::keyClick(target, Qt::Key_Return);
            QCOMPARE(modal.requests.size(), ++expected);
            QTest::keyClick(target, Qt::Key_Enter);
            QCOMPARE(modal.requests.size(), ++expected);
        }
        QCOMPARE(user->count(), 0); // Enter added nothing to the list
        QVERIFY(r->dialog->isVisible());
    }

    void anUnansweredLoginTimesOutAndIsNotSentAgain() {
        net::LinkTimings timings = ShellTestClient::Timings();
        timings.loginAnswerWait = 400ms;
        ShellTestClient client(true, timings);
        auto r = MakeDialog(client);
        r->dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(r->dialog.get()));
        ModalRecorder modal;
        User(*r->dialog)->setEditText(QStringLiteral("demo"));
        Password(*r->dialog)->setText(QStringLiteral("pw"));
        r->dialog->OnLogin();
        QVERIFY(client.server.WaitForCommand(net::kCmdLogin, 5000ms));
        QTRY_COMPARE(modal.Texts(), QStringList{QStringLiteral("登录超时，请重试")});
        QVERIFY(r->dialog->isVisible()); // input is taken again

        // The user gave up on it: a reconnect does not send it once more.
        client.server.Drop();
        QVERIFY(client.server.WaitForConnectionCount(2, 5000ms));
        QTRY_VERIFY(client.server.Connected() && client.link.SendRequest(net::kCmdFunds, ""));
        QVERIFY(client.server.WaitForCommand(net::kCmdFunds, 5000ms));
        QCOMPARE(client.server.CountOf(net::kCmdLogin), 1);

        // An answer in time stops the clock: the rejection is shown, the time-out never.
        r->dialog->OnLogin();
        QVERIFY(client.server.WaitForCommand(net::kCmdLogin, 5000ms));
        client.server.Send(net::kCmdLogin, Reply(QStringLiteral("1,,,用户名或密码错误")));
        QTRY_COMPARE(modal.Texts().size(), 2);
        QCOMPARE(modal.Texts().last(), QStringLiteral("用户名或密码错误"));
        QTest::qWait(800);
        QCOMPARE(modal.Texts().size(), 2);
    }

    void rejectedLoginKeepsTheDialogOpen() {
        ShellTestClient client;
        auto r = MakeDialog(client);
        ModalRecorder modal;
        r->dialog->OnLoginReply(Reply(QStringLiteral("1,,,用户名或密码错误")));
        r->dialog->OnLoginReply("7");
        r->dialog->OnLoginReply("");
        QCOMPARE(modal.Texts(), QStringList({QStringLiteral("用户名或密码错误"), QStringLiteral("登录失败"),
                                             QStringLiteral("登录失败")}));
        QCOMPARE(r->exitCode, -1);
        QCOMPARE(r->dialog->result(), int(QDialog::Rejected));
        QVERIFY(client.state.loginInfoText.empty());
    }

    void acceptedLoginFillsTheStateAndLoads() {
        ShellTestClient client;
        client.server.SetAutoReply(net::kCmdLogin, [](const net::Frame&) {
            return Reply(QStringLiteral("0,,,欢迎参赛,,,100000.00,,,20210223,,,A123456:0654321,,,0,,,demo01"));
        });
        auto r = MakeDialog(client);
        r->dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(r->dialog.get()));
        User(*r->dialog)->setEditText(QStringLiteral("demo"));
        Password(*r->dialog)->setText(QStringLiteral("demo123"));
        ModalRecorder modal;
        r->dialog->OnLogin();
        // The answer arrives on the network thread and is handled here.
        QTRY_COMPARE_WITH_TIMEOUT(r->dialog->result(), int(QDialog::Accepted), 5000);
        QVERIFY(!r->dialog->isVisible());
        QVERIFY(modal.requests.isEmpty());

        const net::SharedState& s = client.state;
        QCOMPARE(s.loginInfoText, ToGbk(QStringLiteral("欢迎参赛")));
        QCOMPARE(s.availableFundsText, std::string("100000.00"));
        QCOMPARE(s.shanghaiAccount, std::string("A123456"));
        QCOMPARE(s.shenzhenAccount, std::string("0654321"));
        QCOMPARE(s.accountStatus, std::string("0"));
        QCOMPARE(s.credentials.CurrentUser(), std::string("demo01"));
        QCOMPARE(std::string(s.loginAccount), std::string("demo01"));
        QCOMPARE(s.initialLoadPending.load(), 0);
        QVERIFY(s.historyOrders.Exists());
        QVERIFY(client.WaitForCommands(
            {net::kCmdPositions, net::kCmdFunds, net::kCmdTodayTrades, net::kCmdSettlement, net::kCmdTodayOrders}));

        // A re-login answer after the dialog closed goes nowhere.
        client.notifier.DeliverReply(net::kMsgLoginReply, Reply(QStringLiteral("1,,,不该出现")));
        QVERIFY(modal.requests.isEmpty());
    }

    void acceptedAnswerEdgeCases() {
        ShellTestClient client(false);
        ModalRecorder modal;

        // Missing fields: reported, nothing stored, the dialog stays.
        auto r = MakeDialog(client);
        r->dialog->OnLoginReply("0,,,info,,,5.00,,,20210223,,,a:b,,,0");
        r->dialog->OnLoginReply("0,,,info,,,5.00");
        r->dialog->OnLoginReply("0,,,info,,,5.00,,,20220101,,,a:b,,,0,,,u"); // no updater field
        QCOMPARE(modal.Texts(), QStringList(3, QStringLiteral("登录应答不完整")));
        QVERIFY(client.state.loginInfoText.empty());
        QCOMPARE(r->starts, 0);
        QCOMPARE(r->exitCode, -1);
        QCOMPARE(r->dialog->result(), int(QDialog::Rejected));

        // No colon in the accounts: both keep their values. Another account already loaded:
        // no second initial load.
        std::strcpy(client.state.loginAccount, "first");
        r->dialog->OnLoginReply("0,,,info,,,5.00,,,20210223,,,nocolon,,,1,,,second");
        QCOMPARE(r->dialog->result(), int(QDialog::Accepted));
        QCOMPARE(client.state.shanghaiAccount, std::string());
        QCOMPARE(client.state.shenzhenAccount, std::string("0"));
        QCOMPARE(client.state.accountStatus, std::string("1"));
        QCOMPARE(std::string(client.state.loginAccount), std::string("first"));
        QVERIFY(!client.state.historyOrders.Exists());
    }

    void versionMismatchStartsTheUpdaterAndEnds() {
        ShellTestClient client(false);
        ModalRecorder modal;
        auto r = MakeDialog(client);
        User(*r->dialog)->setEditText(QStringLiteral("demo"));
        SaveBox(*r->dialog)->setChecked(true);
        r->dialog->OnLoginReply("0,,,info,,,5.00,,,20210224,,,a:b,,,0,,,demo,,,update.exe  http://h/Tavix.zip");
        QCOMPARE(modal.requests.size(), 1);
        QCOMPARE(modal.requests[0].kind, ModalRequest::Kind::kMessageBoxOk);
        QCOMPARE(modal.requests[0].text, QStringLiteral("发现新版本，请先更新!"));
        QCOMPARE(modal.requests[0].caption, QStringLiteral("通知"));
        QCOMPARE(r->starts, 1);
        QVERIFY(r->program.endsWith(QStringLiteral("/update")));
        QCOMPARE(r->argument, QStringLiteral("http://h/Tavix.zip"));
        QCOMPARE(r->exitCode, 0); // even though the start failed
        // The name was saved before the version check; nothing else was stored.
        QCOMPARE(CIniFile(IniPath().toStdString()).Read("loginfo", "user0"), std::string("demo"));
        QCOMPARE(client.state.accountStatus, std::string());
        QCOMPARE(client.state.loginAccount[0], '\0');
    }
};

QTEST_MAIN(TestLoginDlg)
#include "tst_LoginDlg.moc"
