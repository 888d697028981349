#include "account/HeaderCtrlCl.h"

#include "account/ListCtrlCl.h"

#include <QApplication>
#include <QPainter>

CHeaderCtrlCl::CHeaderCtrlCl(CListCtrlCl& list)
    : QHeaderView(Qt::Horizontal, &list)
    , m_list(list) {
    setFont(QApplication::font());
    setHighlightSections(false);
    // A click on a title sorts the list by that column.
    setSectionsClickable(true);
    setSectionsMovable(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignCenter);
}

void CHeaderCtrlCl::AddTitle(const QString& title, QChar alignment) {
    m_titles.append(title);
    m_alignment.append(alignment);
}

int CHeaderCtrlCl::ScaledHeight(int height, float factor) {
    return static_cast<int>(static_cast<float>(height) * factor);
}

QSize CHeaderCtrlCl::sizeHint() const {
    QSize size = QHeaderView::sizeHint();
    size.setHeight(ScaledHeight(size.height(), m_list.m_headerHeightFactor));
    return size;
}

void CHeaderCtrlCl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid())
        return;
    painter->save();
    QRect fill = rect;
    if (visualIndex(logicalIndex) > 0)
        fill.setLeft(fill.left() + 1);
    painter->fillRect(fill, m_background);

    const QChar align = logicalIndex < m_alignment.size() ? m_alignment.at(logicalIndex) : QChar(u'1');
    QRect text = rect;
    int flags = Qt::AlignHCenter;
    if (align == u'0') {
        flags = Qt::AlignLeft;
        text.setLeft(text.left() + 3);
    } else if (align == u'2') {
        flags = Qt::AlignRight;
        text.setRight(text.right() - 3);
    }
    const QFontMetrics metrics(font());
    text.translate(0, (rect.height() - metrics.height()) / 2);
    painter->setFont(font());
    painter->setPen(palette().color(QPalette::WindowText));
    if (logicalIndex < m_titles.size())
        painter->drawText(text, flags | Qt::AlignTop, m_titles.at(logicalIndex));
    if (logicalIndex == m_list.SortColumn()) {
        // A small triangle at the right edge: up for ascending, down for descending.
        const int cx = rect.right() - 8;
        const int cy = rect.center().y();
        const bool up = m_list.SortOrder() == Qt::AscendingOrder;
        const QPoint tip(cx, up ? cy - 3 : cy + 3);
        const QPoint left(cx - 4, up ? cy + 2 : cy - 2);
        const QPoint right(cx + 4, up ? cy + 2 : cy - 2);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(90, 90, 90));
        painter->drawPolygon(QPolygon({tip, left, right}));
    }

    if (align == u'2')
        text.setRight(text.right() + 3);
    painter->setPen(QColor(192, 192, 192));
    const int top = text.top() - 5;
    if (m_list.m_headerTopLine)
        painter->drawLine(text.left() - 2, top, text.right(), top);
    painter->drawLine(text.right(), top, text.right(), rect.bottom());
    // The rule under the titles stays inside the header so that it shows.
    painter->drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter->restore();
}

void CHeaderCtrlCl::SyncResizeMode() {
    const ResizeMode wanted = m_list.m_fixedColumns ? QHeaderView::Fixed : QHeaderView::Interactive;
    for (int i = 0; i < count(); ++i)
        if (sectionResizeMode(i) != wanted)
            setSectionResizeMode(i, wanted);
}

void CHeaderCtrlCl::mousePressEvent(QMouseEvent* event) {
    SyncResizeMode();
    QHeaderView::mousePressEvent(event);
}

void CHeaderCtrlCl::mouseMoveEvent(QMouseEvent* event) {
    SyncResizeMode();
    QHeaderView::mouseMoveEvent(event);
}

void CHeaderCtrlCl::mouseDoubleClickEvent(QMouseEvent* event) {
    SyncResizeMode();
    QHeaderView::mouseDoubleClickEvent(event);
}
