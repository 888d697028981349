#include "controls/ImageButton.h"

#include <QPainter>

CImageButton::CImageButton(const QPixmap& image, const QString& label, QWidget* parent)
    : CImageButton(Painter([image](qreal) { return image; }), label, parent) {}

CImageButton::CImageButton(Painter draw, const QString& label, QWidget* parent)
    : QPushButton(label, parent)
    , m_draw(std::move(draw))
    , m_image(m_draw(devicePixelRatioF())) {
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(m_image.deviceIndependentSize().toSize());
    setAutoDefault(false);
}

void CImageButton::paintEvent(QPaintEvent* /*event*/) {
    if (!qFuzzyCompare(m_image.devicePixelRatio(), devicePixelRatioF()))
        m_image = m_draw(devicePixelRatioF());
    QPainter painter(this);
    const int shift = isDown() ? 1 : 0;
    painter.drawPixmap(shift, shift, m_image);
    if (hasFocus()) {
        painter.setPen(QPen(QColor(255, 255, 255, 160), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(3, 3, -4, -4));
    }
}
