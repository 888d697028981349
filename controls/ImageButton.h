#pragma once

#include <QPixmap>
#include <QPushButton>

#include <functional>

// A flat button that shows only its picture (moved by one pixel while pressed) and a hand
// cursor. The label stays the button's text for accessibility and tests.
class CImageButton final : public QPushButton {
    Q_OBJECT
public:
    // Draws the picture at a device pixel ratio; called again when the ratio changes (a
    // window moved to a scaled screen), so the picture stays sharp.
    using Painter = std::function<QPixmap(qreal dpr)>;

    CImageButton(const QPixmap& image, const QString& label, QWidget* parent = nullptr);
    CImageButton(Painter draw, const QString& label, QWidget* parent = nullptr);

    QSize sizeHint() const override { return m_image.deviceIndependentSize().toSize(); }
    const QPixmap& Image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Painter m_draw;
    QPixmap m_image;
};
