#include "updater/ProgressQueue.h"

#include <utility>

bool ProgressQueue::Push(DownloadFigures figures) {
    std::lock_guard lock(m_mutex);
    m_figures.append(std::move(figures));
    return m_figures.size() == 1;
}

QList<DownloadFigures> ProgressQueue::TakeAll() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_figures, {});
}
