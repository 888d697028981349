#include "controls/TEdit.h"

#include <QPainter>

CTEdit::CTEdit(QWidget* parent)
    : QLineEdit(parent) {
    setFrame(false);
    setTextMargins(3, 1, 3, 1);
    setAttribute(Qt::WA_Hover);
}

QColor CTEdit::OuterFrameColour() const {
    if (!isReadOnly() && isEnabled() && hasFocus())
        return QColor(127, 157, 255);
    return QColor(127, 157, 185);
}

QColor CTEdit::InnerFrameColour() const {
    if (isReadOnly() || !isEnabled())
        return palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Base);
    return m_hover ? QColor(253, 216, 137) : QColor(Qt::white);
}

void CTEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(OuterFrameColour());
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    painter.setPen(InnerFrameColour());
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

void CTEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    update();
}

void CTEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    update();
}

void CTEdit::enterEvent(QEnterEvent* event) {
    QLineEdit::enterEvent(event);
    m_hover = true;
    update();
}

void CTEdit::leaveEvent(QEvent* event) {
    QLineEdit::leaveEvent(event);
    m_hover = false;
    update();
}
