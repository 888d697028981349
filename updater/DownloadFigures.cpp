#include "updater/DownloadFigures.h"

#include <algorithm>
#include <limits>

DownloadFigures ComputeFigures(qint64 total, qint64 received, qint64 elapsedMs) {
    const qint64 size = std::max<qint64>(total, 0);
    const qint64 seconds = elapsedMs / 1000;
    int shift = 0;
    while ((size >> shift) > std::numeric_limits<int>::max())
        ++shift;

    DownloadFigures f;
    f.sizeKilobytes = size / 1024;
    f.receivedKilobytes = received / 1024;
    f.speedKilobytesPerSecond =
        seconds > 0 ? static_cast<qint64>(static_cast<double>(f.receivedKilobytes) / seconds) : 0;
    // In 128 bits: a hundred times a large amount does not fit 64.
    const auto percent = size > 0 ? static_cast<__int128>(received) * 100 / size : 0;
    f.percent = static_cast<qint64>(std::min<__int128>(percent, std::numeric_limits<qint64>::max()));
    f.progressMaximum = static_cast<int>(size >> shift);
    f.progressValue = static_cast<int>(std::min(received, size) >> shift);
    return f;
}

QString KilobytesText(qint64 kilobytes) {
    return QString::number(kilobytes) + u"KB";
}

QString SpeedText(qint64 kilobytesPerSecond) {
    return QString::number(kilobytesPerSecond) + u"KB/秒";
}

QString PercentText(qint64 percent) {
    return QString::number(percent) + u'%';
}
