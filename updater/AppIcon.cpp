#include "updater/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap DrawIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0xbf));
    painter.drawRoundedRect(QRectF(0, 0, side, side), side / 6.0, side / 6.0);

    const double u = side / 16.0;
    QPainterPath arrow;
    arrow.moveTo(6 * u, 2.5 * u);
    arrow.lineTo(10 * u, 2.5 * u);
    arrow.lineTo(10 * u, 7.5 * u);
    arrow.lineTo(13 * u, 7.5 * u);
    arrow.lineTo(8 * u, 12.5 * u);
    arrow.lineTo(3 * u, 7.5 * u);
    arrow.lineTo(6 * u, 7.5 * u);
    arrow.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
    painter.fillRect(QRectF(3 * u, 13.5 * u, 10 * u, 1.2 * u), Qt::white);
    return pixmap;
}

} // namespace

QIcon UpdaterIcon() {
    QIcon icon;
    for (int side : {16, 32, 48})
        icon.addPixmap(DrawIcon(side));
    return icon;
}
