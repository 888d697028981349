#pragma once

#include <QWidget>

class CXPButton;

// What the locked main window shows instead of its content: a plain surface that names the
// lock and offers to unlock. It covers the whole window, so nothing behind it can be read
// or clicked, whether or not a window manager minimised the window.
class CLockCover final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLockCover)
public:
    explicit CLockCover(QWidget* parent = nullptr);

    CXPButton* UnlockButton() const { return m_unlock; }
    // Where the text stands (cover coordinates).
    QRect TextRect() const;
    // The text and the button stand above a free area of `height` pixels, where the password
    // dialog goes: without a window manager nothing else keeps it off them. Returns the
    // area's top (cover coordinates).
    int ReserveBelow(int height);

signals:
    // The user asked for the password dialog (the button, a click or Enter on the cover).
    void unlockRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Place();
    CXPButton* m_unlock = nullptr;
    int m_reserved = 0;
};
