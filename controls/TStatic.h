#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>

#include <optional>

// A transparent label: the parent's background shows through; its own font (or the
// parent's), its own text colour (or black) and left or right alignment, vertically
// centred. Line breaks in the text ("\r\n" or "\n") start new lines.
class CTStatic final : public QLabel {
    Q_OBJECT
public:
    explicit CTStatic(const QString& text, QWidget* parent = nullptr);

    void SetTextColor(const QColor& colour);
    void SetRightAligned(bool right);
    void SetTextFont(const QFont& font);

    QColor TextColor() const { return m_colour.value_or(QColor(Qt::black)); }
    bool RightAligned() const { return m_rightAligned; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<QFont> m_font;
    std::optional<QColor> m_colour;
    bool m_rightAligned = false;
};
