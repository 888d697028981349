#pragma once

#include "updater/DownloadFigures.h"

#include <QList>

#include <mutex>

// Hands the figures of every read from the download thread to the dialog's thread. The
// dialog is woken once per batch instead of once per 512-byte read, and still applies every
// read's figures in order. Called from any thread.
class ProgressQueue final {
public:
    // Returns true when the queue was empty, i.e. the reader must be told there is work.
    bool Push(DownloadFigures figures);
    QList<DownloadFigures> TakeAll();

private:
    // A standard mutex rather than Qt's: a thread checker sees through it, so the hand-over of
    // the figures is checked too.
    std::mutex m_mutex;
    QList<DownloadFigures> m_figures;
};
