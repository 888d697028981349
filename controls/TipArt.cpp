#include "controls/TipArt.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tip_art {

QPixmap Background(qreal dpr) {
    QPixmap pixmap(QSize(kWidth, kHeight) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient body(0, 0, 0, kHeight);
    body.setColorAt(0.0, QColor(250, 252, 255));
    body.setColorAt(1.0, QColor(226, 236, 247));
    painter.fillRect(QRect(0, 0, kWidth, kHeight), body);

    QLinearGradient title(0, 0, 0, kTitleHeight);
    title.setColorAt(0.0, QColor(74, 132, 204));
    title.setColorAt(1.0, QColor(28, 84, 160));
    painter.fillRect(QRect(0, 0, kWidth, kTitleHeight), title);

    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(14);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(12, 0, kWidth - 24, kTitleHeight), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("提示"));

    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(28, 84, 160));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(0, 0, kWidth - 1, kHeight - 1));
    painter.setPen(QColor(190, 206, 226));
    painter.drawLine(10, kHeight - 46, kWidth - 11, kHeight - 46);
    return pixmap;
}

QPixmap ButtonImage(const QString& label, const QColor& face, qreal dpr) {
    QPixmap pixmap(QSize(kButtonWidth, kButtonHeight) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(0.5, 0.5, kButtonWidth - 1, kButtonHeight - 1), 5, 5);
    QLinearGradient fill(0, 0, 0, kButtonHeight);
    fill.setColorAt(0.0, face.lighter(135));
    fill.setColorAt(1.0, face);
    painter.fillPath(shape, fill);
    painter.setPen(face.darker(140));
    painter.drawPath(shape);
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, kButtonWidth, kButtonHeight), Qt::AlignCenter, label);
    return pixmap;
}

} // namespace tip_art
