#include "controls/ImageButton.h"

#include <QPainter>

CImageButton::CImageButton(const QPixmap& image, const QString& label, QWidget* parent)
    : QPushButton(label, parent)
    , m_image(image) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(image.size());
    setAutoDefault(false);
}

void CImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int shift = isDown() ? 1 : 0;
    painter.drawPixmap(shift, shift, m_image);
    if (hasFocus()) {
        painter.setPen(QPen(QColor(255, 255, 255, 160), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}
