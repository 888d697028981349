#pragma once

#include <QSplitter>

// The main window's splitter: the navigation tree on the left, the function view on the
// right. While it is not movable its bar takes no mouse input.
class CMySplitterWnd final : public QSplitter {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMySplitterWnd)
public:
    explicit CMySplitterWnd(QWidget* parent = nullptr);

    bool m_movable = false;
    void SetMovable(bool movable);

protected:
    QSplitterHandle* createHandle() override;
};
