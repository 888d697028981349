#include "controls/FailDlg.h"
#include "controls/FlatComboBox.h"
#include "controls/ModalHook.h"
#include "controls/TEdit.h"
#include "controls/TStatic.h"
#include "controls/TipArt.h"
#include "controls/XPButton.h"
#include "controls/YesNoTipDlg.h"
#include "shell/Language.h"
#include "tests/support/ModalRecorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QImage>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <vector>

using tavix::test::ModalRecorder;

namespace {
// Runs `action` on the dialog once it is the active modal widget.
template <typename Action>
void WhenModal(Action action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(*dialog);
    });
}
} // namespace

class TestControls final : public QObject {
    Q_OBJECT
private slots:
    void showFailureSubstitutesTheConnectionExplanation_data();
    void showFailureSubstitutesTheConnectionExplanation();
    void failDialogLayout();
    void yesNoDialogCancelPaths_data();
    void yesNoDialogCancelPaths();
    void yesNoDialogEnterAccepts();
    void messageBoxesGoThroughTheHook();
    void xpButtonEnterReleaseClicksOnce();
    void xpButtonDisabledLookIgnoresHover();
    void xpButtonMnemonicClicks();
    void xpButtonGradient();
    void tEditFrameColours();
    void flatComboBoxesShareOneHoverFlag();
    void chineseEverywhere();
    void tipPicturesFollowTheScale();
};

void TestControls::showFailureSubstitutesTheConnectionExplanation_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("system error") << QStringLiteral("系统错误！") << ConnectionFailureText();
    QTest::newRow("contains") << QStringLiteral("委托失败：系统错误，请重试") << ConnectionFailureText();
    QTest::newRow("empty") << QString() << QStringLiteral("发送请求失败(-999)");
    QTest::newRow("verbatim") << QStringLiteral("委托成功,合同号:12") << QStringLiteral("委托成功,合同号:12");
}

void TestControls::showFailureSubstitutesTheConnectionExplanation() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    ModalRecorder hook;
    hook.answer = QDialog::Accepted;
    ShowFailure(nullptr, message);
    QCOMPARE(hook.requests.size(), qsizetype{1});
    QCOMPARE(hook.requests[0].kind, ModalRequest::Kind::kFailure);
    QCOMPARE(hook.requests[0].text, shown);
}

void TestControls::failDialogLayout() {
    QVERIFY(ConnectionFailureText().startsWith(QStringLiteral("连接委托主站失败！可能是以下原因：\r\n")));
    QVERIFY(ConnectionFailureText().contains(QStringLiteral("互联网上;\r\n")));
    QVERIFY(ConnectionFailureText().endsWith(QStringLiteral("营业部的IP地址或域名设置不正确")));

    CFailDlg dialog;
    QCOMPARE(dialog.size(), QSize(341, 182));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    auto* text = dialog.findChild<CTStatic*>(QStringLiteral("id1090"));
    QVERIFY(text);
    QCOMPARE(text->TextColor(), QColor(0, 0, 255));
    QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("id1043")));

    // Without a hook the dialog really runs modally and the OK button ends it.
    WhenModal([](QDialog& shown) {
        QCOMPARE(shown.findChild<CTStatic*>(QStringLiteral("id1090"))->text(), QStringLiteral("发送请求失败(-999)"));
        shown.findChild<QPushButton*>(QStringLiteral("id1043"))->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
}

void TestControls::yesNoDialogCancelPaths_data() {
    QTest::addColumn<int>("path");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("escape") << 1;
    QTest::newRow("close") << 2;
}

void TestControls::yesNoDialogCancelPaths() {
    QFETCH(int, path);
    CYesNoTipDlg dialog;
    dialog.SetMessage(QStringLiteral("确定要撤销全部委托吗？"));
    WhenModal([path](QDialog& shown) {
        if (path == 0)
            shown.findChild<QPushButton*>(QStringLiteral("id1044"))->click();
        else if (path == 1)
            QTest::keyClick(&shown, Qt::Key_Escape);
        else
            shown.close();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

void TestControls::yesNoDialogEnterAccepts() {
    CYesNoTipDlg dialog;
    dialog.SetMessage(QStringLiteral("确定卖出？"));
    WhenModal([](QDialog& shown) {
        shown.findChild<QPushButton*>(QStringLiteral("id1044"))->setFocus();
        QTest::keyClick(&shown, Qt::Key_Return);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));

    ModalRecorder hook;
    hook.answer = QDialog::Rejected;
    CYesNoTipDlg hooked;
    hooked.SetMessage(QStringLiteral("确定卖出？"));
    QCOMPARE(hooked.exec(), int(QDialog::Rejected));
    QCOMPARE(hook.requests.at(0).kind, ModalRequest::Kind::kYesNoTip);
    QCOMPARE(hook.requests.at(0).text, QStringLiteral("确定卖出？"));
}

void TestControls::messageBoxesGoThroughTheHook() {
    ModalRecorder yes;
    yes.answer = QMessageBox::Yes;
    QVERIFY(AskYesNo(nullptr, QStringLiteral("退出？"), QStringLiteral("提示")));
    ShowMessageBox(nullptr, QStringLiteral("完成"), QStringLiteral("提示"));
    QCOMPARE(yes.requests.size(), qsizetype{2});
    QCOMPARE(yes.requests[0].kind, ModalRequest::Kind::kMessageBoxYesNo);
    QCOMPARE(yes.requests[1].kind, ModalRequest::Kind::kMessageBoxOk);
    QCOMPARE(yes.requests[1].caption, QStringLiteral("提示"));
    SetModalHook([](const ModalRequest&) { return int(QMessageBox::No); });
    QVERIFY(!AskYesNo(nullptr, QStringLiteral("退出？"), QStringLiteral("提示")));
}

void TestControls::xpButtonEnterReleaseClicksOnce() {
    QWidget window;
    auto* button = new CXPButton(QStringLiteral("买入"), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    button->setFocus();
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyPress(button, Qt::Key_Return);
    QCOMPARE(clicked.count(), 0);
    QTest::keyRelease(button, Qt::Key_Return);
    QCOMPARE(clicked.count(), 1);
    QTest::keyClick(button, Qt::Key_Enter);
    QCOMPARE(clicked.count(), 2);
    // The release of an Enter whose press went elsewhere (it closed a message box, say) does
    // not click: the order button must not send the order again.
    QTest::keyRelease(button, Qt::Key_Return);
    QCOMPARE(clicked.count(), 2);
}

void TestControls::xpButtonDisabledLookIgnoresHover() {
    QWidget window;
    auto* button = new CXPButton(QStringLiteral("撤单"), &window);
    button->resize(80, 24);
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseMove(button, QPoint(10, 10));
    QTRY_VERIFY(button->Hovered());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(button, &leave);
    QVERIFY(!button->Hovered());

    button->SetEnabledLook(false);
    QTest::mouseMove(button, QPoint(20, 12));
    QTest::mouseMove(button, QPoint(30, 12));
    QVERIFY(!button->Hovered());
    // Drawn disabled: a plain face of RGB(240, 240, 240), no hover ring.
    const QImage image = button->grab().toImage();
    QCOMPARE(image.pixelColor(4, 12), QColor(240, 240, 240));
}

void TestControls::xpButtonMnemonicClicks() {
    QWidget window;
    auto* button = new CXPButton(QStringLiteral("买入(&B)"), &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyClick(&window, Qt::Key_B, Qt::AltModifier);
    QTRY_COMPARE(clicked.count(), 1);
}

void TestControls::xpButtonGradient() {
    // Steps come from (first - last) / height, truncated, applied before each row.
    QImage image(4, 10, QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CXPButton::DrawGradient(painter, QRect(0, 0, 4, 10), QColor(255, 255, 255), QColor(200, 240, 250), 10);
    }
    QCOMPARE(image.pixelColor(0, 0), QColor(250, 254, 255)); // 255-5, 255-1, 255-0
    QCOMPARE(image.pixelColor(3, 9), QColor(205, 245, 255));
    // A tall face with the default colours stays plain white (steps of 0).
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CXPButton::DrawGradient(painter, QRect(0, 0, 4, 10), QColor(255, 255, 255), QColor(240, 240, 240), 16);
    }
    QCOMPARE(image.pixelColor(2, 5), QColor(255, 255, 255));
    // The hover ring's top colour wraps modulo 256 in the original arithmetic.
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        CXPButton::DrawGradient(painter, QRect(0, 0, 4, 2), QColor(0, 0, 0), QColor(20, 0, 0), 2);
    }
    QCOMPARE(image.pixelColor(0, 0).red(), 10);
}

void TestControls::tEditFrameColours() {
    QWidget window;
    auto* edit = new CTEdit(&window);
    auto* other = new CTEdit(&window);
    other->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    QTRY_VERIFY(other->hasFocus());
    QEvent leave(QEvent::Leave); // wherever the test cursor happens to be
    QApplication::sendEvent(edit, &leave);
    QCOMPARE(edit->OuterFrameColour(), QColor(127, 157, 185));
    QCOMPARE(edit->InnerFrameColour(), QColor(Qt::white));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(edit->OuterFrameColour(), QColor(127, 157, 255));
    QEnterEvent enterEvent(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(edit, &enterEvent);
    QCOMPARE(edit->InnerFrameColour(), QColor(253, 216, 137));
    QCOMPARE(edit->grab().toImage().pixelColor(1, 5), QColor(253, 216, 137));

    edit->setReadOnly(true);
    QCOMPARE(edit->OuterFrameColour(), QColor(127, 157, 185));
    QCOMPARE(edit->InnerFrameColour(), edit->palette().color(QPalette::Base));
}

void TestControls::flatComboBoxesShareOneHoverFlag() {
    QWidget window;
    auto* first = new CFlatComboBox(&window);
    auto* second = new CFlatComboBox(&window);
    first->setGeometry(0, 0, 100, 24);
    second->setGeometry(0, 30, 100, 24);
    window.resize(120, 70);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint overFirst = first->mapToGlobal(QPoint(10, 10));
    const QPoint overSecond = second->mapToGlobal(QPoint(10, 10));

    first->PollCursor(overFirst);
    QCOMPARE(first->CurrentLook(), CFlatComboBox::Look::kRaised);
    QVERIFY(CFlatComboBox::SharedHover());
    // Straight onto the second: it stays flat while the first has not seen the cursor leave.
    second->PollCursor(overSecond);
    QCOMPARE(second->CurrentLook(), CFlatComboBox::Look::kNormal);
    first->PollCursor(overSecond);
    QCOMPARE(first->CurrentLook(), CFlatComboBox::Look::kNormal);
    QVERIFY(!CFlatComboBox::SharedHover());
    second->PollCursor(overSecond);
    QCOMPARE(second->CurrentLook(), CFlatComboBox::Look::kRaised);
    second->PollCursor(second->mapToGlobal(QPoint(300, 300)));
    QVERIFY(!CFlatComboBox::SharedHover());
}

void TestControls::chineseEverywhere() {
    // The platform message boxes name their buttons in Chinese even before (or without) any
    // translation.
    QMessageBox box(QMessageBox::Question, QStringLiteral("提醒"), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    SetChineseButtonTexts(box);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("是(&Y)"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("否(&N)"));
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));

    // Qt's own texts come from its Chinese translations, dates from the Chinese locale.
    QVERIFY(InstallChineseLanguage(*QCoreApplication::instance()));
    QCOMPARE(QLocale().monthName(12), QStringLiteral("十二月"));
    QCOMPARE(QLocale().dayName(1, QLocale::ShortFormat), QStringLiteral("周一"));
    QCalendarWidget calendar;
    QCOMPARE(calendar.locale().language(), QLocale::Chinese);
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("另存为"));
}

void TestControls::tipPicturesFollowTheScale() {
    // At twice the pixels the pictures keep their logical size and have twice the detail.
    const QPixmap background = tip_art::Background(2.0);
    QCOMPARE(background.size(), QSize(2 * tip_art::kWidth, 2 * tip_art::kHeight));
    QCOMPARE(background.devicePixelRatio(), 2.0);
    QCOMPARE(background.deviceIndependentSize().toSize(), QSize(tip_art::kWidth, tip_art::kHeight));
    const QPixmap button = tip_art::ButtonImage(QStringLiteral("确定"), QColor(204, 40, 32), 2.0);
    QCOMPARE(button.size(), QSize(2 * tip_art::kButtonWidth, 2 * tip_art::kButtonHeight));
    QCOMPARE(button.deviceIndependentSize().toSize(), QSize(tip_art::kButtonWidth, tip_art::kButtonHeight));

    // The dialogs draw at their own ratio and their buttons keep their logical size.
    CFailDlg dialog;
    QCOMPARE(dialog.BackgroundPicture().devicePixelRatio(), dialog.devicePixelRatioF());
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("id1043"));
    QVERIFY(ok);
    QCOMPARE(ok->size(), QSize(tip_art::kButtonWidth, tip_art::kButtonHeight));
}

QTEST_MAIN(TestControls)
#include "tst_Controls.moc"
