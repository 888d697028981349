#include "controls/XPButton.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPen>

namespace {
bool IsEnterKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
} // namespace

CXPButton::CXPButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setMouseTracking(true);
    setAutoDefault(false);
}

void CXPButton::SetEnabledLook(bool enabledLook) {
    m_enabledLook = enabledLook;
    if (!enabledLook)
        m_hover = false;
    update();
}

void CXPButton::SetSingleLine(bool singleLine) {
    m_singleLine = singleLine;
    update();
}

void CXPButton::DrawGradient(QPainter& painter, const QRect& rect, const QColor& first, const QColor& last,
                             int divisor) {
    if (rect.height() <= 0 || divisor <= 0)
        return;
    const int stepR = (first.red() - last.red()) / divisor;
    const int stepG = (first.green() - last.green()) / divisor;
    const int stepB = (first.blue() - last.blue()) / divisor;
    int r = first.red();
    int g = first.green();
    int b = first.blue();
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        r = (r - stepR) & 0xFF;
        g = (g - stepG) & 0xFF;
        b = (b - stepB) & 0xFF;
        painter.setPen(QColor(r, g, b));
        painter.drawLine(rect.left(), y, rect.right(), y);
    }
}

QRect CXPButton::DrawFrame(QPainter& painter, const QRect& rect, const QColor& topLeft,
                           const QColor& bottomRight) const {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(m_borderColour);
    painter.drawRoundedRect(rect.adjusted(0, 0, -1, -1), 1.5, 1.5);
    const QRect inner = rect.adjusted(1, 1, -1, -1);
    painter.setPen(topLeft);
    painter.drawLine(inner.topLeft(), inner.topRight());
    painter.drawLine(inner.topLeft(), inner.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(inner.bottomLeft(), inner.bottomRight());
    painter.drawLine(inner.topRight(), inner.bottomRight());
    return inner;
}

void CXPButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect item = rect();
    QRect area = item;
    QColor textColour = m_normalTextColour;
    if (m_enabledLook && isDown()) {
        m_hover = false;
        DrawGradient(painter, item, m_gradientBottom, m_gradientTop, item.height());
        area = DrawFrame(painter, item, m_shadowEdgeColour, m_shadowEdgeColour);
        textColour = m_pressedTextColour;
    } else if (m_enabledLook) {
        DrawGradient(painter, item, m_gradientTop, m_gradientBottom, item.height());
        area = DrawFrame(painter, item, m_lightEdgeColour, m_shadowEdgeColour);
    } else {
        m_hover = false;
        painter.fillRect(item, m_disabledFace);
        area = DrawFrame(painter, item, m_shadowEdgeColour, m_shadowEdgeColour);
        textColour = m_pressedTextColour;
    }
    if (m_hover && m_enabledLook) {
        const QColor ringTop((m_hoverColour.red()) & 0xFF, (m_hoverColour.green() + 100) & 0xFF,
                             (m_hoverColour.blue() + 100) & 0xFF);
        DrawGradient(painter, area, ringTop, m_hoverColour, area.height());
        DrawGradient(painter, area.adjusted(2, 2, -2, -2), m_gradientTop, m_gradientBottom, area.height());
        painter.setBrush(Qt::NoBrush);
        painter.setPen(m_borderColour);
        painter.drawRoundedRect(item.adjusted(0, 0, -1, -1), 1.5, 1.5);
        textColour = m_hoverTextColour;
    }
    painter.setPen(textColour);
    painter.setFont(font());
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic | (m_singleLine ? Qt::TextSingleLine : Qt::TextWordWrap);
    painter.drawText(item, flags, text());
    if (hasFocus()) {
        // Keyboard users see which button Enter or Space will press.
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0, 64, 128), 1, Qt::DotLine));
        painter.drawRect(item.adjusted(3, 3, -4, -4));
    }
}

void CXPButton::mouseMoveEvent(QMouseEvent* event) {
    if (!m_hover && m_enabledLook) {
        m_hover = true;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void CXPButton::leaveEvent(QEvent* event) {
    if (m_enabledLook) {
        m_hover = false;
        update();
    }
    QPushButton::leaveEvent(event);
}

void CXPButton::keyPressEvent(QKeyEvent* event) {
    // Enter acts on its release only, so one press clicks exactly once.
    if (IsEnterKey(event->key())) {
        event->accept();
        if (!event->isAutoRepeat())
            m_enterDown = true;
        return;
    }
    QPushButton::keyPressEvent(event);
}

void CXPButton::keyReleaseEvent(QKeyEvent* event) {
    if (IsEnterKey(event->key())) {
        event->accept();
        if (event->isAutoRepeat() || !m_enterDown)
            return;
        m_enterDown = false;
        if (isEnabled())
            click();
        return;
    }
    QPushButton::keyReleaseEvent(event);
}

void CXPButton::focusOutEvent(QFocusEvent* event) {
    m_enterDown = false;
    QPushButton::focusOutEvent(event);
}
