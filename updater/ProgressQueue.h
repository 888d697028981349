#pragma once

#include "updater/DownloadFigures.h"

#include <QList>
#include <QMutex>

// Hands the figures of every read from the download thread to the dialog's thread. The
// dialog is woken once per batch instead of once per 512-byte read, and still applies every
// read's figures in order. Called from any thread.
class ProgressQueue final {
public:
    // Returns true when the queue was empty, i.e. the reader must be told there is work.
    bool Push(DownloadFigures figures);
    QList<DownloadFigures> TakeAll();

private:
    QMutex m_mutex;
    QList<DownloadFigures> m_figures;
};
