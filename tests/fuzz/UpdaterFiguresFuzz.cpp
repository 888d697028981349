// The updater's progress figures for any size, amount received and time: the bar never
// runs past its end or below zero, and a known size gives a percentage within 0..100 while
// no more than the size has arrived.
#include "FuzzCheck.h"

#include "updater/DownloadFigures.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qint64 v[3] = {};
    std::memcpy(v, data, std::min(size, sizeof v));
    const qint64 total = v[0];
    // What the network reports: never a negative amount or time.
    const qint64 received = v[1] & INT64_MAX;
    const qint64 elapsedMs = v[2] & INT64_MAX;
    const DownloadFigures f = ComputeFigures(total, received, elapsedMs);
    FUZZ_CHECK(f.progressMaximum >= 0 && f.progressValue >= 0 && f.progressValue <= f.progressMaximum);
    FUZZ_CHECK(f.receivedKilobytes == received / 1024 && f.speedKilobytesPerSecond >= 0);
    if (total > 0 && received <= total)
        FUZZ_CHECK(f.percent >= 0 && f.percent <= 100);
    if (total <= 0)
        FUZZ_CHECK(f.percent == 0 && f.progressMaximum == 0);
    KilobytesText(f.sizeKilobytes);
    SpeedText(f.speedKilobytesPerSecond);
    PercentText(f.percent);
    return 0;
}
