#pragma once

#include <QString>

// What the dialog shows for one state of a download.
struct DownloadFigures {
    QString size;        // total size, "2KB"
    QString received;    // bytes received so far, "2KB"
    QString speed;       // average speed, "1KB/秒"
    QString percent;     // "100%"
    int progressMaximum; // progress range 0..progressMaximum; 0 when the size is unknown
    int progressValue;   // bytes received, on the same scale as progressMaximum
};

// Figures after `received` bytes of `total` (0 or less: unknown) in `elapsedMs` milliseconds.
// Kilobytes are whole (integer division by 1024); the speed divides the kilobytes by the whole
// seconds elapsed and shows 0 within the first second; an unknown size shows 0%. Sizes beyond
// the progress bar's range are scaled down for the bar only.
DownloadFigures ComputeFigures(qint64 total, qint64 received, qint64 elapsedMs);
