#pragma once

#include <QPixmap>
#include <QPushButton>

// A flat button that shows only its picture (moved by one pixel while pressed) and a hand
// cursor. The label stays the button's text for accessibility and tests.
class CImageButton final : public QPushButton {
    Q_OBJECT
public:
    CImageButton(const QPixmap& image, const QString& label, QWidget* parent = nullptr);

    QSize sizeHint() const override { return m_image.size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_image;
};
