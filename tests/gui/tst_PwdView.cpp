#include "core/Gbk.h"
#include "shell/PwdView.h"
#include "tests/gui/AccountTestClient.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct Form {
    QLineEdit* oldPassword;
    QLineEdit* newPassword;
    QLineEdit* confirmation;
    QPushButton* clear;
    QPushButton* confirm;
};

Form FindForm(CPwdView& view) {
    return {view.findChild<QLineEdit*>(QStringLiteral("id1071")), view.findChild<QLineEdit*>(QStringLiteral("id1072")),
            view.findChild<QLineEdit*>(QStringLiteral("id1073")),
            view.findChild<QPushButton*>(QStringLiteral("id1069")),
            view.findChild<QPushButton*>(QStringLiteral("id1070"))};
}

// Types ASCII text key by key (the key simulation knows no other characters), then the rest.
void Type(QLineEdit* edit, const QString& ascii, const QString& rest = QString()) {
    edit->clear();
    QTest::keyClicks(edit, ascii);
    edit->insert(rest);
}

} // namespace

class TestPwdView final : public QObject {
    Q_OBJECT
private slots:
    void passwordsAreNeverShown();
    void localChecksInOrder_data();
    void localChecksInOrder();
    void confirmSendsTheChangeAndKeepsTheFields();
    void clearEmptiesTheThreeFields();
    void labelMnemonicsReachTheirFields();
};

void TestPwdView::passwordsAreNeverShown() {
    AccountTestClient client;
    CPwdView view(client.context);
    const Form form = FindForm(view);
    QVERIFY(form.oldPassword && form.newPassword && form.confirmation && form.clear && form.confirm);
    for (QLineEdit* edit : {form.oldPassword, form.newPassword, form.confirmation})
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
}

void TestPwdView::localChecksInOrder_data() {
    QTest::addColumn<QString>("oldPassword");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("confirmation");
    QTest::addColumn<QString>("message");
    const QString none;
    QTest::newRow("all empty") << none << none << none << QStringLiteral("请输入原密码");
    QTest::newRow("old empty") << none << QStringLiteral("b") << QStringLiteral("c") << QStringLiteral("请输入原密码");
    QTest::newRow("new empty") << QStringLiteral("a") << none << QStringLiteral("c") << QStringLiteral("请输入新密码");
    QTest::newRow("confirmation empty") << QStringLiteral("a") << QStringLiteral("b") << none
                                        << QStringLiteral("请输入确认密码");
    QTest::newRow("differ in case") << QStringLiteral("a") << QStringLiteral("Secret") << QStringLiteral("secret")
                                    << QStringLiteral("新密码和确认密码不一致");
    QTest::newRow("ampersand") << QStringLiteral("a") << QStringLiteral("x&pwd=y") << QStringLiteral("x&pwd=y")
                               << QStringLiteral("新密码不能包含“&”或“=”");
    QTest::newRow("comma") << QStringLiteral("a") << QStringLiteral("x,y") << QStringLiteral("x,y")
                           << QStringLiteral("新密码不能包含逗号、竖线、“&”、“=”或控制字符");
    QTest::newRow("tab") << QStringLiteral("a") << QStringLiteral("x\ty") << QStringLiteral("x\ty")
                         << QStringLiteral("新密码不能包含逗号、竖线、“&”、“=”或控制字符");
    // 17 Chinese characters are 34 bytes on the wire.
    QTest::newRow("too long") << QStringLiteral("a") << QString(17, QChar(u'新')) << QString(17, QChar(u'新'))
                              << QStringLiteral("新密码长度应为1到32个字节");
    QTest::newRow("outside the character set")
        << QStringLiteral("a") << QStringLiteral("pw\u00e9\U0001F600") << QStringLiteral("pw\u00e9\U0001F600")
        << QStringLiteral("新密码含有无法使用的字符");
}

void TestPwdView::localChecksInOrder() {
    QFETCH(QString, oldPassword);
    QFETCH(QString, newPassword);
    QFETCH(QString, confirmation);
    QFETCH(QString, message);

    AccountTestClient client;
    QVERIFY(client.Connect());
    ModalRecorder modal;
    CPwdView view(client.context);
    view.show();
    const Form form = FindForm(view);
    form.oldPassword->setText(oldPassword);
    form.newPassword->setText(newPassword);
    form.confirmation->setText(confirmation);
    QTest::mouseClick(form.confirm, Qt::LeftButton);
    QCOMPARE(modal.Texts(), QStringList{message});
    QCOMPARE(client.server.CountOf(net::kCmdChangePassword), 0);
}

void TestPwdView::confirmSendsTheChangeAndKeepsTheFields() {
    AccountTestClient client;
    QVERIFY(client.Connect());
    ModalRecorder modal;
    CPwdView view(client.context);
    view.show();
    const Form form = FindForm(view);
    Type(form.oldPassword, QStringLiteral("old1"));
    Type(form.newPassword, QStringLiteral("pw9"), QStringLiteral("新"));
    Type(form.confirmation, QStringLiteral("pw9"), QStringLiteral("新"));
    QTest::mouseClick(form.confirm, Qt::LeftButton);

    const auto body = client.NextQuery(net::kCmdChangePassword);
    QVERIFY(body);
    QCOMPARE(*body, "oldpwd=old1&pwd=" + ToGbk(QStringLiteral("pw9新")));
    QVERIFY(modal.Texts().isEmpty());
    QCOMPARE(form.oldPassword->text(), QStringLiteral("old1"));
    QCOMPARE(form.newPassword->text(), QStringLiteral("pw9新"));
    QCOMPARE(form.confirmation->text(), QStringLiteral("pw9新"));
}

void TestPwdView::labelMnemonicsReachTheirFields() {
    AccountTestClient client;
    CPwdView view(client.context);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.activateWindow();
    const Form form = FindForm(view);
    QTest::keyClick(&view, Qt::Key_X, Qt::AltModifier);
    QTRY_VERIFY(form.newPassword->hasFocus());
    QTest::keyClick(&view, Qt::Key_Q, Qt::AltModifier);
    QTRY_VERIFY(form.confirmation->hasFocus());
    QTest::keyClick(&view, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(form.oldPassword->hasFocus());
}

void TestPwdView::clearEmptiesTheThreeFields() {
    AccountTestClient client;
    CPwdView view(client.context);
    view.show();
    const Form form = FindForm(view);
    form.oldPassword->setText(QStringLiteral("a"));
    form.newPassword->setText(QStringLiteral("b"));
    form.confirmation->setText(QStringLiteral("c"));
    QTest::mouseClick(form.clear, Qt::LeftButton);
    QVERIFY(form.oldPassword->text().isEmpty());
    QVERIFY(form.newPassword->text().isEmpty());
    QVERIFY(form.confirmation->text().isEmpty());
}

QTEST_MAIN(TestPwdView)
#include "tst_PwdView.moc"
