#include "shell/LockCover.h"

#include "controls/XPButton.h"

#include <QKeyEvent>
#include <QPainter>

namespace {
const QColor kCoverColour(236, 244, 246);
constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 30;
constexpr int kTextHeight = 40;
constexpr int kGap = 30; // between the text, the button and the free area
} // namespace

CLockCover::CLockCover(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("lockCover"));
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    m_unlock = new CXPButton(QStringLiteral("解锁(&U)"), this);
    m_unlock->setObjectName(QStringLiteral("unlockButton"));
    connect(m_unlock, &QPushButton::clicked, this, &CLockCover::unlockRequested);
}

void CLockCover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kCoverColour);
    QFont big = font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    painter.setFont(big);
    painter.setPen(QColor(0, 64, 128));
    painter.drawText(TextRect(), Qt::AlignCenter, QStringLiteral("交易终端已锁定，请输入交易密码解锁"));
}

QRect CLockCover::TextRect() const {
    // Text, button and free area together, centred; the text never above the top.
    const int block = kTextHeight + kGap + kButtonHeight + (m_reserved > 0 ? kGap + m_reserved : 0);
    return QRect(0, std::max(0, (height() - block) / 2), width(), kTextHeight);
}

int CLockCover::ReserveBelow(int height) {
    m_reserved = height;
    Place();
    return m_unlock->geometry().bottom() + 1 + kGap;
}

void CLockCover::Place() {
    m_unlock->setGeometry((width() - kButtonWidth) / 2, TextRect().bottom() + 1 + kGap, kButtonWidth, kButtonHeight);
    update();
}

void CLockCover::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit unlockRequested();
}

void CLockCover::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        emit unlockRequested();
        return;
    }
    event->accept(); // nothing typed on the cover reaches the window behind it
}

void CLockCover::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Place();
}
