#include "controls/FailDlg.h"

#include "controls/ImageButton.h"
#include "controls/TipArt.h"

namespace {
const QString& EmptyMessageText() {
    static const QString text = QStringLiteral("发送请求失败(-999)");
    return text;
}
} // namespace

CFailDlg::CFailDlg(QWidget* parent)
    : CTipDialog(parent, ModalRequest::Kind::kFailure, tip_art::kTitleHeight + 8, 50) {
    auto* ok = new CImageButton(
        [](qreal dpr) { return tip_art::ButtonImage(QStringLiteral("确定"), QColor(204, 40, 32), dpr); },
        QStringLiteral("确定"), this);
    ok->setObjectName(QStringLiteral("id1043"));
    ok->move((tip_art::kWidth - tip_art::kButtonWidth) / 2, tip_art::kHeight - tip_art::kButtonHeight - 10);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    SetMessage(QString());
}

void CFailDlg::SetMessage(const QString& message) {
    m_message = message;
    // The box is never empty.
    SetShownText(m_message.isEmpty() ? EmptyMessageText() : m_message);
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
