#include "shell/MySplitterWnd.h"

CMySplitterWnd::CMySplitterWnd(QWidget* parent)
    : QSplitter(Qt::Horizontal, parent) {
    setChildrenCollapsible(false);
}

void CMySplitterWnd::SetMovable(bool movable) {
    m_movable = movable;
    for (int i = 0; i < count(); ++i)
        handle(i)->setAttribute(Qt::WA_TransparentForMouseEvents, !m_movable);
}

QSplitterHandle* CMySplitterWnd::createHandle() {
    QSplitterHandle* bar = QSplitter::createHandle();
    bar->setAttribute(Qt::WA_TransparentForMouseEvents, !m_movable);
    return bar;
}
