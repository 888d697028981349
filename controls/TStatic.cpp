#include "controls/TStatic.h"

#include <QPainter>

CTStatic::CTStatic(const QString& text, QWidget* parent)
    : QLabel(text, parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CTStatic::SetTextColor(const QColor& colour) {
    m_colour = colour;
    update();
}

void CTStatic::SetRightAligned(bool right) {
    m_rightAligned = right;
    update();
}

void CTStatic::SetTextFont(const QFont& font) {
    m_font = font;
    setFont(font);
    update();
}

void CTStatic::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setFont(m_font.value_or(font()));
    painter.setPen(TextColor());
    int flags = Qt::AlignVCenter | (m_rightAligned ? Qt::AlignRight : Qt::AlignLeft);
    if (wordWrap())
        flags |= Qt::TextWordWrap;
    // A label that names an edit shows its mnemonic underlined, as Qt's own labels do; other
    // texts (server messages among them) keep every ampersand.
    if (buddy())
        flags |= Qt::TextShowMnemonic;
    QString shown = text();
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    painter.drawText(contentsRect(), flags, shown);
}
