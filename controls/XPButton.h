#pragma once

#include <QColor>
#include <QPushButton>

class QPainter;

// The owner-drawn push button: a white-to-grey face, a dark-blue rounded border, an orange
// ring under the mouse, and Enter (on release) clicking it while it has the focus. With the
// enabled look cleared it is always drawn disabled and ignores the mouse.
class CXPButton final : public QPushButton {
    Q_OBJECT
public:
    explicit CXPButton(const QString& text, QWidget* parent = nullptr);

    void SetEnabledLook(bool enabledLook);
    void SetSingleLine(bool singleLine);
    bool EnabledLook() const { return m_enabledLook; }
    bool Hovered() const { return m_hover; }

    // Fills `rect` one pixel row at a time from `first` towards `last`: each colour part
    // moves by (first - last) / divisor (truncated) modulo 256 before every row is drawn.
    static void DrawGradient(QPainter& painter, const QRect& rect, const QColor& first, const QColor& last,
                             int divisor);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // Rounded border, then the two inner edges; returns the rectangle shrunk by 1.
    QRect DrawFrame(QPainter& painter, const QRect& rect, const QColor& topLeft, const QColor& bottomRight) const;

    bool m_hover = false;
    // Enter went down while this button had the focus; only then does its release click. A
    // release whose press closed a dialog (and so reached another window) clicks nothing.
    bool m_enterDown = false;
    bool m_enabledLook = true;
    bool m_singleLine = true;
    QColor m_borderColour{0, 64, 128};
    QColor m_hoverColour{255, 120, 80};
    QColor m_hoverTextColour{Qt::black};
    QColor m_normalTextColour{Qt::black};
    QColor m_pressedTextColour{Qt::black};
    QColor m_lightEdgeColour{230, 230, 230};
    QColor m_shadowEdgeColour{128, 128, 128};
    QColor m_gradientTop{255, 255, 255};
    QColor m_gradientBottom{240, 240, 240};
    QColor m_disabledFace{240, 240, 240};
};
