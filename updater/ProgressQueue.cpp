#include "updater/ProgressQueue.h"

bool ProgressQueue::Push(DownloadFigures figures) {
    QMutexLocker lock(&m_mutex);
    m_figures.append(std::move(figures));
    return m_figures.size() == 1;
}

QList<DownloadFigures> ProgressQueue::TakeAll() {
    QMutexLocker lock(&m_mutex);
    return std::exchange(m_figures, {});
}
