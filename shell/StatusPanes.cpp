#include "shell/StatusPanes.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace {
constexpr int kGap = 2;
constexpr int kPadding = 3;
} // namespace

CStatusPanes::CStatusPanes(QWidget* parent)
    : QStatusBar(parent) {
    setSizeGripEnabled(true);
}

void CStatusPanes::SetPaneText(int pane, const QString& text) {
    if (m_panes.at(pane).text == text)
        return;
    m_panes.at(pane).text = text;
    update(PaneRect(pane));
    if (NeededWidth(pane) > m_panes.at(pane).width)
        emit textOutgrown();
}

int CStatusPanes::NeededWidth(int pane) const {
    return fontMetrics().horizontalAdvance(m_panes.at(pane).text) + 2 * kPadding + 1;
}

void CStatusPanes::SetPaneWidth(int pane, int width) {
    if (m_panes.at(pane).width == std::max(0, width))
        return;
    m_panes.at(pane).width = std::max(0, width);
    update();
}

void CStatusPanes::SetPaneColor(int pane, const QColor& colour) {
    m_panes.at(pane).colour = colour;
    update(PaneRect(pane));
}

QRect CStatusPanes::PaneRect(int pane) const {
    int x = 0;
    for (int i = 0; i < pane; ++i)
        x += m_panes[static_cast<std::size_t>(i)].width + kGap;
    return QRect(x, kGap, m_panes.at(pane).width, height() - 2 * kGap);
}

int CStatusPanes::PaneAt(const QPoint& pos) const {
    for (int i = 0; i < kPaneCount; ++i) {
        if (PaneRect(i).contains(pos))
            return i;
    }
    return -1;
}

QSize CStatusPanes::sizeHint() const {
    return QSize(200, fontMetrics().height() + 4 * kGap + 2);
}

// The panes are cut off at the right edge rather than widening the window.
QSize CStatusPanes::minimumSizeHint() const {
    return QSize(0, sizeHint().height());
}

void CStatusPanes::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int i = 0; i < kPaneCount; ++i) {
        const QRect r = PaneRect(i);
        if (r.width() <= 0)
            continue;
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(r.topLeft(), r.topRight());
        painter.drawLine(r.topLeft(), r.bottomLeft());
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(r.bottomLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomRight());
        const Pane& pane = m_panes[static_cast<std::size_t>(i)];
        painter.setPen(pane.colour.isValid() ? pane.colour : palette().color(QPalette::WindowText));
        painter.setClipRect(r.adjusted(1, 1, -1, -1));
        const QRect inside = r.adjusted(kPadding, 0, -kPadding, 0);
        painter.drawText(inside, Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(pane.text, Qt::ElideRight, inside.width()));
        painter.setClipping(false);
    }
}
