#pragma once

#include <QLineEdit>

// The framed edit: a thin blue-grey outer frame that turns blue while focused and a white
// inner line that turns warm under the mouse. Read-only and disabled edits keep their own
// background colour as inner line and never show the focus or hover colours.
class CTEdit final : public QLineEdit {
    Q_OBJECT
public:
    explicit CTEdit(QWidget* parent = nullptr);

    bool Hovered() const { return m_hover; }
    // The two frame colours as they are drawn now.
    QColor OuterFrameColour() const;
    QColor InnerFrameColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hover = false;
};
