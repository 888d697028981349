#include "updater/DownloadFigures.h"

#include <limits>

DownloadFigures ComputeFigures(qint64 total, qint64 received, qint64 elapsedMs) {
    const qint64 size = std::max<qint64>(total, 0);
    const qint64 kilobytes = received / 1024;
    const qint64 seconds = elapsedMs / 1000;
    const qint64 speed = seconds > 0 ? static_cast<qint64>(static_cast<double>(kilobytes) / seconds) : 0;
    const qint64 percent = size > 0 ? received * 100 / size : 0;

    int shift = 0;
    while ((size >> shift) > std::numeric_limits<int>::max())
        ++shift;

    DownloadFigures f;
    f.size = QString::number(size / 1024) + u"KB";
    f.received = QString::number(kilobytes) + u"KB";
    f.speed = QString::number(speed) + u"KB/秒";
    f.percent = QString::number(percent) + u'%';
    f.progressMaximum = static_cast<int>(size >> shift);
    f.progressValue = static_cast<int>(std::min(received, size) >> shift);
    return f;
}
