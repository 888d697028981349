#pragma once

#include <QWidget>

class QToolButton;

// A pair of arrow buttons beside an edit, reporting steps like the platform's up-down
// control with its default range (minimum 100, maximum 0): the upper arrow reports a
// negative delta and the lower arrow a positive one. Holding an arrow repeats the step.
class CSpinButtons final : public QWidget {
    Q_OBJECT
public:
    explicit CSpinButtons(QWidget* parent = nullptr);

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

signals:
    void stepped(int delta);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
};
