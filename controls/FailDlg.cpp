#include "controls/FailDlg.h"

#include "controls/Dlu.h"
#include "controls/ImageButton.h"
#include "controls/ModalHook.h"
#include "controls/TStatic.h"
#include "controls/TipArt.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
const QString& EmptyMessageText() {
    static const QString text = QStringLiteral("发送请求失败(-999)");
    return text;
}
} // namespace

CFailDlg::CFailDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setModal(true);
    setFixedSize(tip_art::kWidth, tip_art::kHeight);

    m_text = new CTStatic(QString(), this);
    m_text->setObjectName(QStringLiteral("id1090"));
    m_text->SetTextColor(QColor(0, 0, 255));
    m_text->setWordWrap(true);
    m_text->setGeometry(11, tip_art::kTitleHeight + 8, DluX(213), DluY(50));
    SetMessage(QString());

    auto* ok = new CImageButton(tip_art::ButtonImage(QStringLiteral("确定"), QColor(204, 40, 32)),
                                QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("id1043"));
    ok->move((tip_art::kWidth - tip_art::kButtonWidth) / 2, tip_art::kHeight - tip_art::kButtonHeight - 10);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CFailDlg::SetMessage(const QString& message) {
    m_message = message;
    // The box is never empty.
    m_text->setText(m_message.isEmpty() ? EmptyMessageText() : m_message);
}

int CFailDlg::exec() {
    const QString shown = m_text->text();
    if (const ModalHookFn& hook = ModalHook()) {
        const int result = hook(ModalRequest{ModalRequest::Kind::kFailure, shown, QString()});
        setResult(result);
        return result;
    }
    return QDialog::exec();
}

void CFailDlg::paintEvent(QPaintEvent* /*event*/) {
    static const QPixmap background = tip_art::Background();
    QPainter painter(this);
    painter.drawPixmap(0, 0, background);
}

void CFailDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void CFailDlg::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}

void ShowFailure(QWidget* parent, const QString& message) {
    CFailDlg dialog(parent);
    dialog.SetMessage(message.contains(QStringLiteral("系统错误")) ? ConnectionFailureText() : message);
    dialog.exec();
}

QString ConnectionFailureText() {
    return QStringLiteral("连接委托主站失败！可能是以下原因：\r\n    (1) 计算机没有连接到互联网上;\r\n    (2) "
                          "通过代理上网，代理设置不正确;\r\n    (3) 防火墙阻挡了通讯;\r\n    (4) "
                          "营业部的IP地址或域名设置不正确");
}
