#include "controls/FlatComboBox.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace {
// Shared by all flat combo boxes of the process.
bool g_sharedHover = false;

const QColor kButtonFace(240, 240, 240);
const QColor kButtonShadow(160, 160, 160);
const QColor kButtonHighlight(255, 255, 255);

void Draw3dRect(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}
} // namespace

CFlatComboBox::CFlatComboBox(QWidget* parent)
    : QComboBox(parent) {
    setMouseTracking(true);
}

bool CFlatComboBox::SharedHover() {
    return g_sharedHover;
}

void CFlatComboBox::SetLook(Look look) {
    m_look = look;
    update();
}

void CFlatComboBox::PollCursor(const QPoint& globalCursor) {
    const bool inside = rect().contains(mapFromGlobal(globalCursor));
    if (m_leftButtonDown) {
        m_poll.stop();
        if (g_sharedHover) {
            SetLook(Look::kPressed);
            g_sharedHover = false;
        }
    } else if (inside) {
        if (!g_sharedHover) {
            g_sharedHover = true;
            SetLook(Look::kRaised);
        }
    } else {
        m_poll.stop();
        if (g_sharedHover) {
            SetLook(Look::kNormal);
            g_sharedHover = false;
        }
    }
}

void CFlatComboBox::mouseMoveEvent(QMouseEvent* event) {
    m_poll.start(10, this);
    QComboBox::mouseMoveEvent(event);
}

void CFlatComboBox::mousePressEvent(QMouseEvent* event) {
    m_leftButtonDown = event->button() == Qt::LeftButton || m_leftButtonDown;
    QComboBox::mousePressEvent(event);
}

void CFlatComboBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_leftButtonDown = false;
    update();
    QComboBox::mouseReleaseEvent(event);
}

void CFlatComboBox::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_poll.timerId()) {
        QComboBox::timerEvent(event);
        return;
    }
    PollCursor(QCursor::pos());
}

void CFlatComboBox::paintEvent(QPaintEvent* event) {
    QComboBox::paintEvent(event);
    QPainter painter(this);
    QRect r = rect().adjusted(0, 0, -1, -1);
    switch (m_look) {
    case Look::kNormal:
        Draw3dRect(painter, r, kButtonFace, kButtonFace);
        break;
    case Look::kRaised:
        Draw3dRect(painter, r, kButtonShadow, kButtonHighlight);
        break;
    case Look::kPressed:
        Draw3dRect(painter, r, kButtonShadow, kButtonHighlight);
        break;
    }
    r.adjust(1, 1, -1, -1);
    Draw3dRect(painter, r, isEnabled() ? kButtonFace : kButtonHighlight, isEnabled() ? kButtonFace : kButtonHighlight);
    r.adjust(1, 1, -1, -1);
    const int thumb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    QRect button(r.right() - thumb + 1, r.top(), thumb, r.height());
    Draw3dRect(painter, button, kButtonFace, kButtonFace);
    Draw3dRect(painter, button.adjusted(1, 1, -1, -1), kButtonFace, kButtonFace);
    if (!isEnabled())
        return;
    button.adjust(0, -1, 0, 1);
    switch (m_look) {
    case Look::kNormal:
        Draw3dRect(painter, button, kButtonHighlight, kButtonHighlight);
        Draw3dRect(painter, button.adjusted(-1, 0, 0, 0), kButtonHighlight, kButtonHighlight);
        break;
    case Look::kRaised:
        Draw3dRect(painter, button, kButtonHighlight, kButtonShadow);
        break;
    case Look::kPressed:
        Draw3dRect(painter, button.translated(1, 1), kButtonShadow, kButtonHighlight);
        break;
    }
}
