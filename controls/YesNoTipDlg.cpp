#include "controls/YesNoTipDlg.h"

#include "controls/Dlu.h"
#include "controls/ImageButton.h"
#include "controls/ModalHook.h"
#include "controls/TStatic.h"
#include "controls/TipArt.h"

#include <QMouseEvent>
#include <QPainter>

CYesNoTipDlg::CYesNoTipDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setModal(true);
    setFixedSize(tip_art::kWidth, tip_art::kHeight);

    m_text = new CTStatic(QString(), this);
    m_text->setObjectName(QStringLiteral("id1090"));
    m_text->SetTextColor(QColor(0, 0, 255));
    m_text->setWordWrap(true);
    m_text->setGeometry(11, tip_art::kTitleHeight + 16, DluX(213), DluY(34));

    const int y = tip_art::kHeight - tip_art::kButtonHeight - 10;
    auto* yes =
        new CImageButton(tip_art::ButtonImage(QStringLiteral("是"), QColor(204, 40, 32)), QStringLiteral("是"), this);
    yes->setObjectName(QStringLiteral("id1043"));
    yes->move(tip_art::kWidth / 2 - tip_art::kButtonWidth - 10, y);
    yes->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);

    auto* no =
        new CImageButton(tip_art::ButtonImage(QStringLiteral("否"), QColor(110, 122, 138)), QStringLiteral("否"), this);
    no->setObjectName(QStringLiteral("id1044"));
    no->move(tip_art::kWidth / 2 + 10, y);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

void CYesNoTipDlg::SetMessage(const QString& message) {
    m_message = message;
    m_text->setText(message);
}

int CYesNoTipDlg::exec() {
    if (const ModalHookFn& hook = ModalHook()) {
        const int result = hook(ModalRequest{ModalRequest::Kind::kYesNoTip, m_message, QString()});
        setResult(result);
        return result;
    }
    return QDialog::exec();
}

void CYesNoTipDlg::paintEvent(QPaintEvent* /*event*/) {
    static const QPixmap background = tip_art::Background();
    QPainter painter(this);
    painter.drawPixmap(0, 0, background);
}

void CYesNoTipDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void CYesNoTipDlg::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        move(event->globalPosition().toPoint() - m_dragOffset);
    QDialog::mouseMoveEvent(event);
}
