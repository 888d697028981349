#pragma once

#include <QBasicTimer>
#include <QComboBox>

// The flat combo box: a thin 3-D frame that rises while the mouse is over it and sinks while
// the left button is down. One hover flag is shared by every flat combo box of the process,
// so moving straight from one box onto another raises the second only after the first has
// seen the cursor leave.
class CFlatComboBox final : public QComboBox {
    Q_OBJECT
public:
    enum class Look { kNormal, kRaised, kPressed };

    explicit CFlatComboBox(QWidget* parent = nullptr);

    Look CurrentLook() const { return m_look; }
    static bool SharedHover();
    // Checks the cursor against the box (the 10 ms poll does this while the mouse moves).
    void PollCursor(const QPoint& globalCursor);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void SetLook(Look look);

    QBasicTimer m_poll;
    bool m_leftButtonDown = false;
    Look m_look = Look::kNormal;
};
