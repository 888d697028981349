#pragma once

#include <QString>

// What the dialog shows for one state of a download, as numbers; the texts come from the
// functions below.
struct DownloadFigures {
    qint64 sizeKilobytes = 0;
    qint64 receivedKilobytes = 0;
    qint64 speedKilobytesPerSecond = 0;
    qint64 percent = 0;
    int progressMaximum = 0; // progress range 0..progressMaximum; 0 when the size is unknown
    int progressValue = 0;   // bytes received, on the same scale as progressMaximum

    bool operator==(const DownloadFigures&) const = default;
};

// Figures after `received` bytes of `total` (0 or less: unknown) in `elapsedMs` milliseconds.
// Kilobytes are whole (integer division by 1024); the speed divides the kilobytes by the whole
// seconds elapsed and shows 0 within the first second; an unknown size shows 0%. Sizes beyond
// the progress bar's range are scaled down for the bar only.
DownloadFigures ComputeFigures(qint64 total, qint64 received, qint64 elapsedMs);

QString KilobytesText(qint64 kilobytes);      // "2KB"
QString SpeedText(qint64 kilobytesPerSecond); // "1KB/秒"
QString PercentText(qint64 percent);          // "100%"
