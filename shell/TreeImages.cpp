#include "shell/TreeImages.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int kImageSize = 20;
constexpr int kImageCount = 17;
constexpr int kStripWidth = 341;

void Arrow(QPainter& p, bool up, const QColor& colour) {
    QPainterPath path;
    if (up) {
        path.moveTo(10, 2);
        path.lineTo(17, 10);
        path.lineTo(13, 10);
        path.lineTo(13, 17);
        path.lineTo(7, 17);
        path.lineTo(7, 10);
        path.lineTo(3, 10);
    } else {
        path.moveTo(10, 18);
        path.lineTo(17, 10);
        path.lineTo(13, 10);
        path.lineTo(13, 3);
        path.lineTo(7, 3);
        path.lineTo(7, 10);
        path.lineTo(3, 10);
    }
    path.closeSubpath();
    p.setPen(QPen(colour.darker(140), 1));
    p.setBrush(colour);
    p.drawPath(path);
}

void Page(QPainter& p, const QColor& fill) {
    p.setPen(QPen(QColor(90, 100, 120), 1));
    p.setBrush(fill);
    p.drawRect(QRectF(4.5, 2.5, 11, 15));
    p.setPen(QPen(QColor(120, 140, 170), 1));
    for (int y = 6; y <= 14; y += 3)
        p.drawLine(QPointF(6.5, y + 0.5), QPointF(13.5, y + 0.5));
}

void Folder(QPainter& p, bool open) {
    p.setPen(QPen(QColor(160, 120, 30), 1));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(QRectF(2.5, 5.5, 15, 11));
    p.drawRect(QRectF(2.5, 3.5, 6, 2));
    if (open) {
        QPainterPath flap;
        flap.moveTo(2.5, 16.5);
        flap.lineTo(6.5, 9.5);
        flap.lineTo(19.5, 9.5);
        flap.lineTo(17.5, 16.5);
        flap.closeSubpath();
        p.setBrush(QColor(252, 226, 140));
        p.drawPath(flap);
    }
}

void Key(QPainter& p, const QColor& colour) {
    p.setPen(QPen(colour.darker(150), 1.5));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2.5, 6.5, 7, 7));
    p.drawLine(QPointF(9.5, 10), QPointF(18, 10));
    p.drawLine(QPointF(15, 10), QPointF(15, 14));
    p.drawLine(QPointF(17.5, 10), QPointF(17.5, 13));
}

void Cross(QPainter& p) {
    p.setPen(QPen(QColor(200, 40, 40), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(15, 15));
    p.drawLine(QPointF(15, 5), QPointF(5, 15));
}

void Chart(QPainter& p, const QColor& colour) {
    p.setPen(QPen(QColor(90, 100, 120), 1));
    p.drawLine(QPointF(3.5, 3), QPointF(3.5, 16.5));
    p.drawLine(QPointF(3.5, 16.5), QPointF(17, 16.5));
    p.setPen(QPen(colour, 2));
    p.drawPolyline(QPolygonF({QPointF(5, 14), QPointF(9, 9), QPointF(12, 11), QPointF(17, 4)}));
}

void Coin(QPainter& p) {
    p.setPen(QPen(QColor(170, 120, 20), 1));
    p.setBrush(QColor(250, 205, 60));
    p.drawEllipse(QRectF(3.5, 3.5, 13, 13));
    p.setPen(QPen(QColor(150, 100, 10), 1.5));
    p.drawLine(QPointF(7, 7), QPointF(10, 10));
    p.drawLine(QPointF(13, 7), QPointF(10, 10));
    p.drawLine(QPointF(10, 10), QPointF(10, 14));
    p.drawLine(QPointF(7.5, 11), QPointF(12.5, 11));
}

void Dot(QPainter& p, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(6, 6, 8, 8));
}

void DrawImage(QPainter& p, int index) {
    switch (index) {
    case 0:
        Arrow(p, true, QColor(220, 50, 40));
        break; // buy
    case 1:
        Arrow(p, false, QColor(40, 150, 70));
        break; // sell
    case 2:
        Cross(p);
        break; // cancel
    case 3:
        Chart(p, QColor(220, 50, 40));
        break;
    case 4:
        Coin(p);
        break;
    case 5:
        Page(p, Qt::white);
        break; // a query
    case 6:
        Folder(p, true);
        break; // the open group
    case 7:
        Page(p, QColor(255, 250, 210));
        break;
    case 8:
        Chart(p, QColor(40, 110, 200));
        break;
    case 9:
        Folder(p, false);
        break; // the closed group
    case 10:
        Key(p, QColor(200, 160, 40));
        break; // password
    case 11:
        Dot(p, QColor(40, 110, 200));
        break;
    case 12:
        Dot(p, QColor(220, 50, 40));
        break;
    case 13:
        Dot(p, QColor(40, 150, 70));
        break;
    case 14:
        Key(p, QColor(250, 210, 70));
        break; // password, selected
    case 15:
        Page(p, QColor(220, 235, 255));
        break;
    default:
        Coin(p);
        break;
    }
}

} // namespace

QPixmap TreeImageStrip() {
    QPixmap strip(kStripWidth, kImageSize);
    strip.fill(Qt::transparent);
    QPainter painter(&strip);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < kImageCount; ++i) {
        painter.save();
        painter.translate(i * kImageSize, 0);
        painter.setClipRect(0, 0, kImageSize, kImageSize);
        DrawImage(painter, i);
        painter.restore();
    }
    return strip;
}

QIcon TreeIcon(const QPixmap& strip, int image, int selectedImage) {
    QIcon icon;
    icon.addPixmap(strip.copy(image * kImageSize, 0, kImageSize, kImageSize), QIcon::Normal);
    icon.addPixmap(strip.copy(selectedImage * kImageSize, 0, kImageSize, kImageSize), QIcon::Selected);
    return icon;
}
